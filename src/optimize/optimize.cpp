#include "optimize/optimize.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <span>
#include <utility>

#include "driver/outfile.h"
#include "driver/run.h"
#include "model/expr.h"
#include "optimize/opt_file.h"
#include "optimize/rng.h"

namespace {

constexpr int kPopPerVar = 10;   // default population: ten members per variable ...
constexpr int kPopSmallest = 16; // ... when that gives at least 16,
constexpr int kPopFew = 15;      // else 15
constexpr int kGenDefault = 40;
constexpr int kPopMin = 4; // three donors besides the member itself
constexpr double kCrossover = 0.9;
constexpr double kWeightMin = 0.5;   // mutation weight F in [0.5, 0.8),
constexpr double kWeightRange = 0.3; // drawn anew for every member

// Leaves the override table empty however the run ends, so that nothing
// read after the optimizer sees a candidate's values.
struct OverrideReset {
    ~OverrideReset() { model_clear_overrides(); }
};

// The output directory, created (one level) and usable for the final run.
bool outdir_usable(const std::string& dir) {
    make_dir(dir);
    struct stat st;
    return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           ::access(dir.c_str(), W_OK | X_OK) == 0;
}

void print_progress(int g, const OptResult& b) {
    std::printf("gen %3d  cost %10.4f  Z %8.2f %+8.2fj  SWR %6.3f  Gmax %6.2f dBi  F/B %6.2f dB\n",
                g, b.cost, b.zin.real(), b.zin.imag(), b.swr, b.gmax, b.fb);
    std::fflush(stdout);
}

// The population: P rows of n variables and the evaluation of each row.
struct Population {
    int P = 0, n = 0;
    std::vector<double> x; // row-major, member i is row i
    std::vector<OptResult> res;
    double& at(int i, int k) { return x[static_cast<size_t>(i) * n + k]; }
    std::span<const double> row(int i) const {
        return {x.data() + static_cast<size_t>(i) * n, static_cast<size_t>(n)};
    }
};

// The first evaluation that failed: its message and the exit code of its
// stage, reported when no candidate at all could be solved.
struct FirstFailure {
    int code = 0;
    std::string why;
};

} // namespace

int opt_population(const Model& m) {
    if (m.pop > 0) return m.pop;
    int p = kPopPerVar * m.nopt();
    return p >= kPopSmallest ? p : kPopFew;
}

int opt_generations(const Model& m) {
    return m.gen > 0 ? m.gen : kGenDefault;
}

int opt_best(const std::vector<OptResult>& res) {
    int best = -1, best_any = -1;
    for (size_t i = 0; i < res.size(); ++i) {
        double c = res[i].cost;
        if (std::isnan(c)) continue; // never the best, whatever its place
        if (best_any < 0 || c < res[static_cast<size_t>(best_any)].cost)
            best_any = static_cast<int>(i);
        if (res[i].ok && (best < 0 || c < res[static_cast<size_t>(best)].cost))
            best = static_cast<int>(i);
    }
    return best >= 0 ? best : best_any;
}

int opt_main(int argc, const char* const* argv) {
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) args.emplace_back(argv[i] ? argv[i] : "");
    return opt_main(args);
}

int opt_main(const std::vector<std::string>& args) {
    OverrideReset reset;
    const std::string path = args.size() > 2 ? args[2] : std::string();
    std::string outdir = ".";
    for (size_t i = 3; i < args.size(); ++i)
        if (args[i] == "-o" && i + 1 < args.size()) outdir = args[++i];

    // Set-up: the model as written, without overrides.
    model_clear_overrides();
    Model base;
    std::string err;
    if (model_read(path, base, err) != 0) {
        std::printf("ERROR: %s\n", err.c_str());
        std::fflush(stdout);
        return EXIT_MODEL;
    }
    if (base.opt.empty() || base.goal.empty()) {
        std::printf("ERROR: the model needs OPTVAR and GOAL lines\n");
        std::fflush(stdout);
        return EXIT_MODEL;
    }
    const int n = base.nopt();
    const int P = opt_population(base), G = opt_generations(base);
    if (P < kPopMin) { // the reader refuses such a pop; kept as a guard
        std::printf("ERROR: the population must be at least %d\n", kPopMin);
        std::fflush(stdout);
        return EXIT_MODEL;
    }
    // The model's own values, for member 0, as read just now.
    std::vector<double> own(static_cast<size_t>(n), 0.0);
    std::vector<int> has_own(static_cast<size_t>(n), 0);
    for (int k = 0; k < n; ++k)
        has_own[static_cast<size_t>(k)] =
            expr_getvar(base.opt[static_cast<size_t>(k)].name, &own[static_cast<size_t>(k)]);
    // Bounds given in reverse order are searched between them.
    std::vector<double> lo(static_cast<size_t>(n)), hi(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k) {
        const OptVar& v = base.opt[static_cast<size_t>(k)];
        lo[static_cast<size_t>(k)] = std::min(v.lo, v.hi);
        hi[static_cast<size_t>(k)] = std::max(v.lo, v.hi);
    }

    // Outputs that cannot be written are known now, not after the search.
    const std::string out_name = opt_file_name(path);
    if (!opt_can_write(out_name)) {
        std::printf("ERROR: cannot write %s\n", out_name.c_str());
        std::fflush(stdout);
        return EXIT_WRITE;
    }
    if (!outdir_usable(outdir)) {
        std::printf("ERROR: cannot create the output directory %s\n", outdir.c_str());
        std::fflush(stdout);
        return EXIT_WRITE;
    }

    opt_rng_seed(base.seed);

    std::printf("Quarlin %s - optimizer (differential evolution)\n\n", kVersion);
    std::printf("Model      : %s\nVariables  :", path.c_str());
    for (const OptVar& v : base.opt) std::printf(" %s [%g, %g]", v.name.c_str(), v.lo, v.hi);
    std::printf("\nGoals      :");
    for (const Goal& g : base.goal)
        std::printf(" %s(w=%g%s)", opt_goal_name(g.kind), g.weight,
                    g.kind == GOAL_GAIN ? ", direction" : "");
    std::printf("\nPopulation : %d, generations %d (%lld evaluations)\n\n", P, G,
                (static_cast<long long>(G) + 1) * P);
    for (int k = 0; k < n; ++k) {
        const OptVar& v = base.opt[static_cast<size_t>(k)];
        if (v.lo > v.hi)
            std::printf("WARNING: OPTVAR %s has its bounds in reverse order: searched from %g to "
                        "%g\n",
                        v.name.c_str(), v.hi, v.lo);
        if (!has_own[static_cast<size_t>(k)])
            std::printf("WARNING: OPTVAR %s names no VAR of the model; its value is not written "
                        "to the optimized model\n",
                        v.name.c_str());
    }
    std::fflush(stdout);

    FirstFailure first;
    auto evaluate = [&](OptResult& r, std::span<const double> x) {
        std::string why;
        int rc = opt_eval(r, path, base, x, &why);
        if (rc != 0 && first.code == 0) first = {rc, why};
    };

    // Initial population: member 0 from the model's own values where they
    // lie inside the bounds, every other value drawn uniformly.
    Population pop;
    pop.P = P;
    pop.n = n;
    pop.x.assign(static_cast<size_t>(P) * n, 0.0);
    pop.res.assign(static_cast<size_t>(P), OptResult{});
    for (int i = 0; i < P; ++i) {
        for (int k = 0; k < n; ++k) {
            const size_t ks = static_cast<size_t>(k);
            if (i == 0 && has_own[ks] && lo[ks] <= own[ks] && own[ks] <= hi[ks])
                pop.at(i, k) = own[ks];
            else
                pop.at(i, k) = lo[ks] + (hi[ks] - lo[ks]) * opt_rand();
        }
        evaluate(pop.res[static_cast<size_t>(i)], pop.row(i));
    }
    const OptResult start = pop.res[0];

    // Generations of DE/rand/1/bin: a trial from three distinct donors
    // replaces its member at once when it costs no more.
    std::vector<double> trial(static_cast<size_t>(n));
    for (int g = 1; g <= G; ++g) {
        for (int i = 0; i < P; ++i) {
            int r1, r2, r3;
            do r1 = opt_rand_index(P);
            while (r1 == i);
            do r2 = opt_rand_index(P);
            while (r2 == i || r2 == r1);
            do r3 = opt_rand_index(P);
            while (r3 == i || r3 == r1 || r3 == r2);
            const int jrand = opt_rand_index(n);
            const double F = kWeightMin + kWeightRange * opt_rand();
            for (int k = 0; k < n; ++k) {
                const size_t ks = static_cast<size_t>(k);
                const double xi = pop.at(i, k);
                double t = opt_rand() < kCrossover || k == jrand
                               ? pop.at(r1, k) + F * (pop.at(r2, k) - pop.at(r3, k))
                               : xi;
                // Outside the bounds: a random point between the bound and
                // the member's own value.
                if (t < lo[ks]) t = lo[ks] + opt_rand() * (xi - lo[ks]);
                if (t > hi[ks]) t = hi[ks] - opt_rand() * (hi[ks] - xi);
                trial[ks] = t;
            }
            OptResult tr;
            evaluate(tr, trial);
            OptResult& cur = pop.res[static_cast<size_t>(i)];
            if (cur.cost >= tr.cost) { // false when either is not a number
                for (int k = 0; k < n; ++k) pop.at(i, k) = trial[static_cast<size_t>(k)];
                cur = tr;
            }
        }
        int b = opt_best(pop.res);
        print_progress(g, pop.res[static_cast<size_t>(b < 0 ? 0 : b)]);
    }

    const int b = opt_best(pop.res);
    if (b < 0 || !pop.res[static_cast<size_t>(b)].ok) {
        if (first.code != 0) {
            std::printf("ERROR: no candidate could be solved; the first failed with: %s\n",
                        first.why.c_str());
        } else {
            std::printf("ERROR: no candidate could be solved to a cost that is a number\n");
        }
        std::fflush(stdout);
        return first.code != 0 ? first.code : EXIT_SOLVE;
    }
    const OptResult& best = pop.res[static_cast<size_t>(b)];
    std::span<const double> bx = pop.row(b);

    std::printf("\nResult (start -> optimized):\n");
    for (size_t j = 0; j < base.goal.size() && j < best.goal_val.size(); ++j)
        std::printf("  %-5s %10.4g -> %10.4g\n", opt_goal_name(base.goal[j].kind),
                    start.goal_val[j], best.goal_val[j]);

    int w = opt_write_model(path, out_name, base.opt, bx, best.cost);
    std::printf("\nOptimized variables:");
    for (int k = 0; k < n; ++k)
        std::printf(" %s=%.6g", base.opt[static_cast<size_t>(k)].name.c_str(),
                    bx[static_cast<size_t>(k)]);
    if (w == OPT_CANNOT_READ) {
        std::printf("\nERROR: cannot open %s\n", path.c_str());
        std::fflush(stdout);
        return EXIT_MODEL;
    }
    if (w == OPT_CANNOT_WRITE) {
        std::printf("\nERROR: cannot write %s\n", out_name.c_str());
        std::fflush(stdout);
        return EXIT_WRITE;
    }
    std::printf("\nOptimized model written to %s\n\n", out_name.c_str());
    std::fflush(stdout);

    // The final run analyses the optimized file as it was written.
    // A name that begins with '-' would be taken for an option.
    model_clear_overrides();
    std::string input = out_name.starts_with('-') ? "./" + out_name : out_name;
    return run_main(std::vector<std::string>{"quarlin", "-o", outdir, input});
}
