#include "optimize/rng.h"

namespace {
std::uint32_t rng_s = 1; // generator state
}

void opt_rng_seed(int seed) {
    rng_s = seed == 0 ? 1u : static_cast<std::uint32_t>(seed);
}

std::uint32_t opt_rng_state() {
    return rng_s;
}

double opt_rand() {
    rng_s = rng_s * 1103515245u + 12345u; // unsigned arithmetic wraps mod 2^32
    return static_cast<double>(rng_s >> 8) * (1.0 / 16777216.0);
}

int opt_rand_index(int m) {
    return static_cast<int>(opt_rand() * m);
}
