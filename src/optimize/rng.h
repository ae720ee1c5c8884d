// The optimizer's random numbers: a 32-bit linear congruential generator
// whose sequence of draws is fixed, so that the same seed, model and program
// give the same search.
//
//   s <- s * 1103515245 + 12345  (mod 2^32),   u = (s >> 8) * 2^-24
//
// u is uniform in [0, 1) with 24 random bits. The state is process-wide and
// touched only by the calling thread of the optimizer.
#pragma once

#include <cstdint>

// Starts the sequence: the state becomes seed, or 1 when seed is 0 (so that
// seeds 0 and 1 give the same run).
void opt_rng_seed(int seed);
// The current state (after the last draw).
std::uint32_t opt_rng_state();
// One draw: advances the state and returns u in [0, 1).
double opt_rand();
// An index in 0 .. m-1 from one draw: the integer part of u * m.
int opt_rand_index(int m);
