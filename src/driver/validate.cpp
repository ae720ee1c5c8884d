#include "driver/validate.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>
#include <set>

#include "common/text.h"
#include "driver/outfile.h"
#include "driver/run.h"

std::optional<std::string> slurp(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return std::nullopt;
    std::string text;
    bool ok = true;
    try {
        char buf[65536];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
        ok = !std::ferror(f);
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    std::fclose(f);
    if (!ok) return std::nullopt;
    return text;
}

namespace {

// The text as a zero-terminated string would hold it: up to its first NUL.
void cut_at_nul(std::string& s) {
    std::size_t z = s.find('\0');
    if (z != std::string::npos) s.resize(z);
}

// The number at the start of s (leading white space skipped); false when
// none can be read.
bool number_at(const char* s, double& v, const char** end = nullptr) {
    char* e = nullptr;
    v = std::strtod(s, &e);
    if (e == s) return false;
    if (end) *end = e;
    return true;
}

} // namespace

int design_val1(const std::string& outdir, const std::string& name, const std::string& key,
                double& val) {
    std::string path = outdir + "/" + name + "/results.json";
    if (path.size() > kCheckMaxResultPath) return 1;
    std::optional<std::string> text = slurp(path);
    if (!text) return 1;
    cut_at_nul(*text);
    std::size_t d = text->find("\"design\":{");
    if (d == std::string::npos) return 1;
    std::string pat = "\"" + key + "\":";
    if (pat.size() > kCheckMaxKeySearch) return 1; // a cut key would match another one
    std::size_t k = text->find(pat, d);
    if (k == std::string::npos) return 1;
    double v;
    if (!number_at(text->c_str() + k + pat.size(), v)) return 1;
    val = v;
    return 0;
}

std::string check_trim(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n'))
        --e;
    return s.substr(b, e - b);
}

bool check_split(const std::string& line, CheckLine& c) {
    std::string* fields[7] = {&c.name, &c.model, &c.key, &c.ref, &c.tol, &c.source, &c.note};
    std::size_t start = 0;
    for (int i = 0; i < 6; ++i) {
        std::size_t semi = line.find(';', start);
        if (semi == std::string::npos) return false;
        *fields[i] = check_trim(line.substr(start, semi - start));
        start = semi + 1;
    }
    std::size_t semi = line.find(';', start);
    std::size_t end = semi == std::string::npos ? line.size() : semi;
    c.note = check_trim(line.substr(start, end - start));
    return true;
}

bool check_parse_ref(const std::string& ref, CheckRef& r) {
    if (ref.empty() || ref[0] != '@') return false;
    std::size_t dot = ref.find('.');
    if (dot == std::string::npos) return false;
    r = CheckRef();
    r.run = ref.substr(1, dot - 1);
    cut(r.run, kCheckMaxRefName);
    std::size_t k = ref.find_first_of("*+-", dot + 1);
    std::size_t kend = k == std::string::npos ? ref.size() : k;
    r.key = ref.substr(dot + 1, kend - dot - 1);
    cut(r.key, kCheckMaxRefKey);
    if (k == std::string::npos) return true;
    const char* p = ref.c_str() + k;
    if (*p == '*') {
        const char* e;
        if (!number_at(p + 1, r.factor, &e)) return false;
        p = e;
    }
    if (*p == '+' || *p == '-') {
        if (!number_at(p, r.offset)) return false;
    }
    return true;
}

double check_tolerance(const std::string& tol, double expected) {
    double t;
    if (!number_at(tol.c_str(), t)) t = 0;
    if (tol.find('%') != std::string::npos) t *= std::fabs(expected) / 100;
    return t;
}

bool check_passes(double value, double expected, double tol) {
    if (!std::isfinite(value) || !std::isfinite(expected)) return false;
    return tol >= std::fabs(value - expected); // false when the tolerance is NaN
}

bool check_name_ok(const std::string& name) {
    if (name.empty() || name.size() > kCheckMaxNameLen || name == "." || name == "..") return false;
    for (char ch : name) {
        unsigned char u = static_cast<unsigned char>(ch);
        if (ch == '/' || ch == '\\' || u < 32 || u == 127) return false;
    }
    return true;
}

bool check_model_ok(const std::string& model) {
    if (model.empty() || model[0] == '/' || model[0] == '\\') return false;
    if (model.size() >= 2 && model[1] == ':') return false; // a drive letter
    std::size_t start = 0;
    while (start <= model.size()) {
        std::size_t sep = model.find_first_of("/\\", start);
        std::size_t end = sep == std::string::npos ? model.size() : sep;
        if (model.compare(start, end - start, "..") == 0) return false;
        if (sep == std::string::npos) break;
        start = sep + 1;
    }
    for (char ch : model)
        if (ch == '\0') return false;
    return true;
}

namespace {

// Console and report output of one invocation.
class Output {
  public:
    explicit Output(std::string report_path) : report_(std::move(report_path)) {
        have_report_ = report_.open();
    }
    // Prints the line with a line end and writes it to the report.
    void line(const std::string& s) {
        std::printf("%s\n", s.c_str());
        std::fflush(stdout);
        if (have_report_) std::fprintf(report_.file(), "%s\n", s.c_str());
    }
    // Prints text as it is (console only).
    void console(const std::string& s) {
        std::fputs(s.c_str(), stdout);
        std::fflush(stdout);
    }
    // Closes the report; false when there is none.
    bool finish() { return have_report_ && report_.commit(); }

  private:
    OutFile report_;
    bool have_report_ = false;
};

// A run name shown in a message: long names are cut.
std::string shown(const std::string& name) {
    if (name.size() <= kCheckMaxNameLen) return name;
    return name.substr(0, kCheckMaxNameLen) + "...";
}

struct Invocation {
    std::string outdir;
    std::string base; // the checks file's directory, with its separator
    bool norun = false;
    std::vector<std::string> remembered; // run names not to run again
    std::map<std::string, bool> ran_ok;  // outcome of each run of this invocation
    std::set<std::string> refused;       // names already reported as unusable

    bool is_remembered(const std::string& name) const {
        for (const std::string& r : remembered)
            if (r == name) return true;
        return false;
    }

    // Runs the line's model unless its name was run before (or runs are
    // off), and reports a refused name or model and a failed run.
    void run(const CheckLine& c, Output& out) {
        if (!check_name_ok(c.name)) {
            if (refused.insert(c.name).second)
                out.console(strfmt("  (run name %s refused: a run name is one directory level "
                                   "of at most 63 characters, without \"/\" or \"\\\")\n",
                                   shown(c.name).c_str()));
            return;
        }
        if (norun || is_remembered(c.name)) return;
        bool ok;
        if (!check_model_ok(c.model)) {
            out.console(strfmt("  (model %s refused: it must be a relative path inside the "
                               "checks file's directory)\n",
                               c.model.c_str()));
            ok = false;
        } else {
            std::string model = base + c.model;
            if (!model.empty() && model[0] == '-') model = "./" + model; // never an option
            int rc = run_main(
                std::vector<std::string>{"quarlin", "-q", "-o", outdir + "/" + c.name, model});
            ok = rc == 0;
            if (!ok) out.console(strfmt("  (run of %s failed)\n", c.model.c_str()));
        }
        ran_ok[c.name] = ok;
        if (remembered.size() < kCheckMaxNames) remembered.push_back(c.name);
    }

    // One value of a run, "rloss" derived from "eff" and "zr". Nothing when
    // the name is unusable, when its run failed in this invocation (an
    // older results.json must not stand in for it), or when the file lacks
    // the value.
    std::optional<double> value(const std::string& name, const std::string& key) const {
        if (!check_name_ok(name)) return std::nullopt;
        auto it = ran_ok.find(name);
        if (it != ran_ok.end() && !it->second) return std::nullopt;
        if (key == "rloss") {
            double zr, eff;
            if (design_val1(outdir, name, "zr", zr) != 0) return std::nullopt;
            if (design_val1(outdir, name, "eff", eff) != 0) return std::nullopt;
            return (1 - eff) * zr;
        }
        double v;
        if (design_val1(outdir, name, key, v) != 0) return std::nullopt;
        return v;
    }

    // The expected value of a check.
    std::optional<double> expected(const std::string& ref) const {
        if (!ref.empty() && ref[0] == '@') {
            CheckRef r;
            if (!check_parse_ref(ref, r)) return std::nullopt;
            std::optional<double> v = value(r.run, r.key);
            if (!v) return std::nullopt;
            return r.factor * *v + r.offset;
        }
        double v;
        if (!number_at(ref.c_str(), v)) return std::nullopt;
        return v;
    }
};

} // namespace

int validate_main(const std::vector<std::string>& args) {
    const std::string checks = args.size() > 2 ? args[2] : std::string();
    Invocation inv;
    inv.outdir = args.size() > 3 ? args[3] : std::string("validation_out");
    inv.norun = args.size() > 4 && args[4] == "-norun";

    // 1. The checks file.
    std::optional<std::string> text = slurp(checks);
    if (!text) {
        std::printf("cannot read %s\n", checks.c_str());
        std::fflush(stdout);
        return 1;
    }
    cut_at_nul(*text);

    // 2. Base directory: up to and including the last separator.
    std::size_t sep = checks.find_last_of("/\\");
    inv.base = sep == std::string::npos ? std::string() : checks.substr(0, sep + 1);

    // 3. Output directory and report.
    make_dir(inv.outdir);
    const std::string report_path = inv.outdir + "/validation_report.txt";
    Output out(report_path);

    // 4. Lines at line feeds; empty lines disappear; the first 600 count.
    struct Line {
        std::string text;
        int lineno;
    };
    std::vector<Line> lines;
    bool more_lines = false;
    int lineno = 1;
    for (std::size_t pos = 0; pos < text->size();) {
        std::size_t lf = text->find('\n', pos);
        std::size_t end = lf == std::string::npos ? text->size() : lf;
        if (end > pos) {
            if (lines.size() == kCheckMaxLines) {
                more_lines = true;
                break;
            }
            lines.push_back({text->substr(pos, end - pos), lineno});
        }
        if (lf == std::string::npos) break;
        pos = lf + 1;
        ++lineno;
    }
    text.reset();

    // 5. Header.
    out.line(strfmt("Quarlin %s - traceable validation (%s)\n", kVersion, checks.c_str()));
    if (more_lines)
        out.line(strfmt("WARNING: only the first %zu lines of %s are read", kCheckMaxLines,
                        checks.c_str()));

    // 6. The checks.
    int passed = 0, failed = 0;
    for (Line& ln : lines) {
        if (ln.text.size() > kCheckMaxLineLen) {
            ln.text.resize(kCheckMaxLineLen);
            out.line(strfmt("WARNING: line %d is longer than %zu characters; the rest is not read",
                            ln.lineno, kCheckMaxLineLen));
        }
        std::string t = check_trim(ln.text);
        if (t.empty() || t[0] == '#') continue;
        CheckLine c;
        if (!check_split(t, c)) continue;

        inv.run(c, out);

        std::optional<double> value = inv.value(c.name, c.key);
        std::optional<double> expected;
        if (value) expected = inv.expected(c.ref);
        std::string verdict;
        if (!expected) {
            verdict = strfmt("%-4s %-22s %-5s  no result                                   %s",
                             "FAIL", c.name.c_str(), c.key.c_str(), c.model.c_str());
            ++failed;
        } else {
            double tol = check_tolerance(c.tol, *expected);
            bool pass = check_passes(*value, *expected, tol);
            verdict = strfmt("%-4s %-22s %-5s %12.5g  ref %12.5g  tol %-6s  [%s] %s",
                             pass ? "PASS" : "FAIL", c.name.c_str(), c.key.c_str(), *value,
                             *expected, c.tol.c_str(), c.source.c_str(), c.note.c_str());
            ++(pass ? passed : failed);
        }
        cut(verdict, kCheckMaxVerdict);
        out.line(verdict);
    }

    // 7. Summary and report.
    out.line(strfmt("\n%d of %d checks passed", passed, passed + failed));
    if (out.finish()) out.console(strfmt("Report: %s\n", report_path.c_str()));

    // 8. Exit code.
    return failed > 0 ? 1 : 0;
}
