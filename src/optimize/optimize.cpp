#include "optimize/optimize.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
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

// Prints one "ERROR: ..." line and returns the exit code.
int stop(int code, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
int stop(int code, const char* fmt, ...) {
    std::va_list ap;
    va_start(ap, fmt);
    std::printf("ERROR: ");
    std::vprintf(fmt, ap);
    std::printf("\n");
    va_end(ap);
    std::fflush(stdout);
    return code;
}

// The output directory, created (one level) and usable for the final run.
bool outdir_usable(const std::string& dir) {
    make_dir(dir);
    struct stat st;
    return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           ::access(dir.c_str(), W_OK | X_OK) == 0;
}

// The search space: the bounds of each variable in ascending order (bounds
// given in reverse are searched between them) and the model's own value
// of it, when the model defines it.
struct Space {
    size_t n = 0;
    std::vector<double> lo, hi, own;
    std::vector<int> has_own;
};

// Taken right after the model was read without overrides: the variable
// table then holds the model's own values.
Space space_of(const Model& base) {
    Space s;
    s.n = base.opt.size();
    for (const OptVar& v : base.opt) {
        s.lo.push_back(std::min(v.lo, v.hi));
        s.hi.push_back(std::max(v.lo, v.hi));
        double value = 0;
        s.has_own.push_back(expr_getvar(v.name, &value));
        s.own.push_back(value);
    }
    return s;
}

void print_header(const std::string& path, const Model& base, const Space& s, int P, int G) {
    std::printf("Quarlin %s - optimizer (differential evolution)\n\n", kVersion);
    std::printf("Model      : %s\nVariables  :", path.c_str());
    for (const OptVar& v : base.opt) std::printf(" %s [%g, %g]", v.name.c_str(), v.lo, v.hi);
    std::printf("\nGoals      :");
    for (const Goal& g : base.goal)
        std::printf(" %s(w=%g%s)", opt_goal_name(g.kind), g.weight,
                    g.kind == GOAL_GAIN ? ", direction" : "");
    std::printf("\nPopulation : %d, generations %d (%lld evaluations)\n\n", P, G,
                (static_cast<long long>(G) + 1) * P);
    for (size_t k = 0; k < s.n; ++k) {
        const OptVar& v = base.opt[k];
        if (v.lo > v.hi)
            std::printf("WARNING: OPTVAR %s has its bounds in reverse order: searched from %g to "
                        "%g\n",
                        v.name.c_str(), v.hi, v.lo);
        if (!s.has_own[k])
            std::printf("WARNING: OPTVAR %s names no VAR of the model; its value is not written "
                        "to the optimized model\n",
                        v.name.c_str());
    }
    std::fflush(stdout);
}

void print_progress(long long g, const OptResult& b) {
    std::printf(
        "gen %3lld  cost %10.4f  Z %8.2f %+8.2fj  SWR %6.3f  Gmax %6.2f dBi  F/B %6.2f dB\n", g,
        b.cost, b.zin.real(), b.zin.imag(), b.swr, b.gmax, b.fb);
    std::fflush(stdout);
}

// Evaluates candidates of one model file and keeps the first failure (its
// message and the exit code of its stage), reported when no candidate at
// all could be solved.
struct Evaluator {
    const std::string& path;
    const Model& base;
    int first_code = 0;
    std::string first_why;

    void operator()(OptResult& r, std::span<const double> x) {
        std::string why;
        int rc = opt_eval(r, path, base, x, &why);
        if (rc != 0 && first_code == 0) {
            first_code = rc;
            first_why = why;
        }
    }
};

// The population: P rows of n variables and the evaluation of each row.
struct Population {
    int P = 0;
    size_t n = 0;
    std::vector<double> x; // row-major, member i is row i
    std::vector<OptResult> res;
    double& at(int i, size_t k) { return x[static_cast<size_t>(i) * n + k]; }
    std::span<const double> row(int i) const { return {x.data() + static_cast<size_t>(i) * n, n}; }
    OptResult& result(int i) { return res[static_cast<size_t>(i)]; }
};

// Member 0 from the model's own values where they lie inside the bounds,
// every other value drawn uniformly between the bounds; each member is
// evaluated as soon as its vector is complete.
Population initial_population(int P, const Space& s, Evaluator& eval) {
    Population pop;
    pop.P = P;
    pop.n = s.n;
    pop.x.assign(static_cast<size_t>(P) * s.n, 0.0);
    pop.res.assign(static_cast<size_t>(P), OptResult{});
    for (int i = 0; i < P; ++i) {
        for (size_t k = 0; k < s.n; ++k) {
            if (i == 0 && s.has_own[k] && s.lo[k] <= s.own[k] && s.own[k] <= s.hi[k])
                pop.at(i, k) = s.own[k];
            else
                pop.at(i, k) = s.lo[k] + (s.hi[k] - s.lo[k]) * opt_rand();
        }
        eval(pop.result(i), pop.row(i));
    }
    return pop;
}

// One generation of DE/rand/1/bin: for every member in turn a trial from
// three distinct other members, x_r1 + F (x_r2 - x_r3), crossed with the
// member (each variable taken from the mutant with probability 0.9, one
// always), replaces the member at once when it costs no more, so that
// later members already draw on it.
void generation(Population& pop, const Space& s, Evaluator& eval, std::vector<double>& trial) {
    const int P = pop.P;
    for (int i = 0; i < P; ++i) {
        int r1, r2, r3;
        do r1 = opt_rand_index(P);
        while (r1 == i);
        do r2 = opt_rand_index(P);
        while (r2 == i || r2 == r1);
        do r3 = opt_rand_index(P);
        while (r3 == i || r3 == r1 || r3 == r2);
        const size_t jrand = static_cast<size_t>(opt_rand_index(static_cast<int>(s.n)));
        const double F = kWeightMin + kWeightRange * opt_rand();
        for (size_t k = 0; k < s.n; ++k) {
            const double xi = pop.at(i, k);
            double t = opt_rand() < kCrossover || k == jrand
                           ? pop.at(r1, k) + F * (pop.at(r2, k) - pop.at(r3, k))
                           : xi;
            // Outside the bounds: a random point between the bound and the
            // member's own value.
            if (t < s.lo[k]) t = s.lo[k] + opt_rand() * (xi - s.lo[k]);
            if (t > s.hi[k]) t = s.hi[k] - opt_rand() * (s.hi[k] - xi);
            trial[k] = t;
        }
        OptResult tr;
        eval(tr, trial);
        OptResult& cur = pop.result(i);
        if (cur.cost >= tr.cost) { // false when either is not a number
            for (size_t k = 0; k < s.n; ++k) pop.at(i, k) = trial[k];
            cur = tr;
        }
    }
}

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
    if (model_read(path, base, err) != 0) return stop(EXIT_MODEL, "%s", err.c_str());
    if (base.opt.empty() || base.goal.empty())
        return stop(EXIT_MODEL, "the model needs OPTVAR and GOAL lines");
    const Space space = space_of(base);
    const int P = opt_population(base), G = opt_generations(base);
    if (P < kPopMin) // the reader refuses such a pop; kept as a guard
        return stop(EXIT_MODEL, "the population must be at least %d", kPopMin);
    // Outputs that cannot be written are known now, not after the search.
    const std::string out_name = opt_file_name(path);
    if (!opt_can_write(out_name)) return stop(EXIT_WRITE, "cannot write %s", out_name.c_str());
    if (!outdir_usable(outdir))
        return stop(EXIT_WRITE, "cannot create the output directory %s", outdir.c_str());

    opt_rng_seed(base.seed);
    print_header(path, base, space, P, G);

    Evaluator eval{path, base, 0, {}};
    Population pop = initial_population(P, space, eval);
    const OptResult start = pop.result(0);
    std::vector<double> trial(space.n);
    for (long long g = 1; g <= G; ++g) { // G may be the largest int
        generation(pop, space, eval, trial);
        int b = opt_best(pop.res);
        print_progress(g, pop.result(b < 0 ? 0 : b));
    }

    const int b = opt_best(pop.res);
    if (b < 0 || !pop.result(b).ok) {
        if (eval.first_code == 0)
            return stop(EXIT_SOLVE, "no candidate could be solved to a cost that is a number");
        return stop(eval.first_code, "no candidate could be solved; the first failed with: %s",
                    eval.first_why.c_str());
    }
    const OptResult& best = pop.result(b);
    std::span<const double> bx = pop.row(b);

    std::printf("\nResult (start -> optimized):\n");
    for (size_t j = 0; j < base.goal.size() && j < best.goal_val.size(); ++j)
        std::printf("  %-5s %10.4g -> %10.4g\n", opt_goal_name(base.goal[j].kind),
                    start.goal_val[j], best.goal_val[j]);

    int written = opt_write_model(path, out_name, base.opt, bx, best.cost);
    std::printf("\nOptimized variables:");
    for (size_t k = 0; k < space.n; ++k) std::printf(" %s=%.6g", base.opt[k].name.c_str(), bx[k]);
    std::printf("\n");
    if (written == OPT_CANNOT_READ) return stop(EXIT_MODEL, "cannot open %s", path.c_str());
    if (written == OPT_CANNOT_WRITE) return stop(EXIT_WRITE, "cannot write %s", out_name.c_str());
    std::printf("Optimized model written to %s\n\n", out_name.c_str());
    std::fflush(stdout);

    // The final run analyses the optimized file as it was written. A name
    // that begins with '-' would be taken for an option.
    model_clear_overrides();
    std::string input = out_name.starts_with('-') ? "./" + out_name : out_name;
    return run_main(std::vector<std::string>{"quarlin", "-o", outdir, input});
}
