// The data files of -csv and -s1p, end to end: read back, they must give
// the values of results.json of the same run within the digits both print.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

using nlohmann::json;
using cd = std::complex<double>;

struct Exported {
    RunResult r;
    std::string out;
    json j;
};

Exported run_exports(const std::string& model, std::vector<std::string> extra = {}) {
    Exported e;
    e.out = test_dir() + "/out";
    std::vector<std::string> args = {model, "-csv", "-s1p", "-o", e.out};
    args.insert(args.end(), extra.begin(), extra.end());
    e.r = run_quarlin(args);
    std::string text = read_file(e.out + "/results.json");
    if (!text.empty()) e.j = json::parse(text);
    return e;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
}

std::vector<std::string> fields(const std::string& line, char sep = ',') {
    std::vector<std::string> f;
    std::istringstream in(line);
    for (std::string x; std::getline(in, x, sep);) f.push_back(x);
    if (!line.empty() && line.back() == sep) f.push_back("");
    return f;
}

// Half a unit in the last place of v printed with "%.<digits>g".
double half_ulp(double v, int digits) {
    if (v == 0) return 0.5 * std::pow(10.0, -digits); // printed as "0": bound it loosely
    return 0.5 * std::pow(10.0, std::floor(std::log10(std::fabs(v))) - (digits - 1));
}

// |S11| in dB of an impedance against z0.
double s11_db(cd z, double z0) {
    return 20 * std::log10(std::abs((z - z0) / (z + z0)));
}

// Every sweep row of sweep.csv against the sweep of results.json, and the
// reflection loss against the impedance it comes from.
void expect_sweep_csv_matches(const Exported& e) {
    std::vector<std::string> rows = lines_of(read_file(e.out + "/sweep.csv"));
    const json& sw = e.j["sweep"];
    ASSERT_EQ(rows.size(), sw.size() + 1);
    EXPECT_EQ(rows[0], "f_MHz,R_ohm,X_ohm,SWR,Gmax_dBi,FB_dB,S11_dB");
    const double z0 = e.j["z0ref"].get<double>();
    for (size_t i = 0; i < sw.size(); ++i) {
        std::vector<std::string> f = fields(rows[i + 1]);
        ASSERT_EQ(f.size(), 7u) << rows[i + 1];
        std::vector<double> v;
        for (const auto& x : f) v.push_back(std::stod(x));
        // results.json: f "%.9g" Hz, R X "%.6g", SWR "%.5g", Gmax F/B "%.4g".
        const json& p = sw[i];
        double fj = p[0].get<double>(), rj = p[1].get<double>(), xj = p[2].get<double>();
        EXPECT_NEAR(v[0] * 1e6, fj, half_ulp(fj, 9) + half_ulp(v[0], 10) * 1e6);
        EXPECT_NEAR(v[1], rj, half_ulp(rj, 6));
        EXPECT_NEAR(v[2], xj, half_ulp(xj, 6));
        EXPECT_NEAR(v[3], p[3].get<double>(), half_ulp(p[3].get<double>(), 5));
        for (int k : {4, 5})
            EXPECT_NEAR(v[static_cast<size_t>(k)], p[k].get<double>(),
                        half_ulp(p[k].get<double>(), 4) + 5e-5);
        // |S11| from the printed impedance, with the spread that R and X
        // carry from their six digits.
        double spread = 0, s = s11_db(cd(rj, xj), z0);
        for (double dr : {-1.0, 1.0})
            for (double dx : {-1.0, 1.0})
                spread = std::max(
                    spread,
                    std::fabs(s11_db(cd(rj + dr * half_ulp(rj, 6), xj + dx * half_ulp(xj, 6)), z0) -
                              s));
        EXPECT_NEAR(v[6], s, spread + 5e-5) << rows[i + 1];
        // SWR and return loss describe one reflection: SWR = (1 + |S|)/(1 - |S|).
        double mag = std::pow(10.0, v[6] / 20);
        EXPECT_NEAR(v[3], (1 + mag) / (1 - mag), 2e-4 * v[3]) << rows[i + 1];
    }
}

TEST(Exports, SweepCsvGivesBackResultsJson) {
    for (const char* model : {"examples/dipole_free.ant", "examples/yagi3.ant"}) {
        Exported e = run_exports(source_path(model));
        ASSERT_EQ(e.r.code, 0) << e.r.out;
        EXPECT_NE(e.r.out.find("Table written to " + e.out + "/sweep.csv\n"), std::string::npos);
        expect_sweep_csv_matches(e);
    }
}

TEST(Exports, PatternCsvGivesBackResultsJson) {
    Exported e = run_exports(source_path("examples/yagi3.ant"));
    ASSERT_EQ(e.r.code, 0) << e.r.out;
    std::vector<std::string> rows = lines_of(read_file(e.out + "/pattern.csv"));
    const json& p = e.j["pattern"];
    const int nth = p["nth"].get<int>(), nph = p["nph"].get<int>();
    ASSERT_EQ(rows.size(), static_cast<size_t>(nth * nph) + 1);
    EXPECT_EQ(rows[0], "theta_deg,phi_deg,gt_dBi,gv_dBi,gh_dBi,gr_dBi,gl_dBi");
    const char* names[] = {"gt", "gv", "gh", "gr", "gl"};
    for (int i = 0; i < nth; ++i)
        for (int k = 0; k < nph; ++k) {
            size_t at = static_cast<size_t>(i * nph + k);
            std::vector<std::string> f = fields(rows[at + 1]);
            ASSERT_EQ(f.size(), 7u);
            EXPECT_EQ(std::stod(f[0]), i * p["dth"].get<double>());
            EXPECT_EQ(std::stod(f[1]), k * p["dph"].get<double>());
            for (size_t c = 0; c < 5; ++c) // both "%.2f" of the same value
                EXPECT_EQ(std::stod(f[c + 2]), p[names[c]][at].get<double>()) << rows[at + 1];
        }
}

struct Touchstone {
    std::vector<std::string> option; // tokens of the option line
    std::vector<double> f;           // Hz
    std::vector<cd> s;
    std::vector<std::string> s_text[2]; // the printed real and imaginary parts
};

// Reads a one-port Touchstone version 1 file: '!' comments, one option line
// before the data, then frequency and two numbers per line.
Touchstone read_s1p(const std::string& text) {
    Touchstone t;
    for (const std::string& l : lines_of(text)) {
        std::string line = l.substr(0, l.find('!'));
        std::istringstream in(line);
        std::vector<std::string> tok;
        for (std::string x; in >> x;) tok.push_back(x);
        if (tok.empty()) continue;
        if (tok[0] == "#") {
            EXPECT_TRUE(t.option.empty()) << "a second option line";
            EXPECT_TRUE(t.f.empty()) << "the option line after data";
            t.option = tok;
            continue;
        }
        EXPECT_EQ(tok.size(), 3u) << l;
        if (tok.size() != 3) continue;
        t.f.push_back(std::stod(tok[0]));
        t.s.emplace_back(std::stod(tok[1]), std::stod(tok[2]));
        t.s_text[0].push_back(tok[1]);
        t.s_text[1].push_back(tok[2]);
    }
    return t;
}

// Half a unit in the last printed digit of a number as text ("%.10g").
double printed_half_ulp(const std::string& s) {
    size_t e = s.find_first_of("eE");
    std::string mant = s.substr(0, e);
    int exp10 = e == std::string::npos ? 0 : std::stoi(s.substr(e + 1));
    size_t dot = mant.find('.');
    int decimals = dot == std::string::npos ? 0 : static_cast<int>(mant.size() - dot - 1);
    return 0.5 * std::pow(10.0, exp10 - decimals);
}

// S11 back to the impedance, Z = Z0 (1 + S)/(1 - S), against results.json:
// within the digits of both files (the rounding of S carried through
// dZ/dS = 2 Z0/(1 - S)^2).
void expect_s1p_gives_back_z(const Exported& e, double z0) {
    Touchstone t = read_s1p(read_file(e.out + "/sweep.s1p"));
    ASSERT_EQ(t.option.size(), 6u);
    EXPECT_EQ(t.option[1], "HZ");
    EXPECT_EQ(t.option[2], "S");
    EXPECT_EQ(t.option[3], "RI");
    EXPECT_EQ(t.option[4], "R");
    EXPECT_EQ(std::stod(t.option[5]), z0);
    for (size_t i = 1; i < t.f.size(); ++i) EXPECT_GT(t.f[i], t.f[i - 1]) << "not ascending";
    const json& sw = e.j["sweep"];
    size_t matched = 0;
    for (size_t i = 0; i < t.f.size(); ++i) {
        const json* pt = nullptr;
        for (const json& p : sw)
            if (std::fabs(p[0].get<double>() - t.f[i]) <= 1e-6 * t.f[i]) pt = &p;
        ASSERT_NE(pt, nullptr) << t.f[i] << " Hz is no sweep point";
        ++matched;
        cd s = t.s[i];
        cd z = z0 * (1.0 + s) / (1.0 - s);
        double ds = std::hypot(printed_half_ulp(t.s_text[0][i]), printed_half_ulp(t.s_text[1][i]));
        double dz = 2 * z0 / std::norm(1.0 - s) * ds;
        double rj = (*pt)[1].get<double>(), xj = (*pt)[2].get<double>();
        EXPECT_NEAR(z.real(), rj, half_ulp(rj, 6) + dz) << t.f[i];
        EXPECT_NEAR(z.imag(), xj, half_ulp(xj, 6) + dz) << t.f[i];
    }
    EXPECT_GT(matched, 0u);
}

TEST(Exports, TouchstoneGivesBackTheImpedance) {
    Exported e = run_exports(source_path("examples/dipole_free.ant"));
    ASSERT_EQ(e.r.code, 0) << e.r.out;
    EXPECT_NE(e.r.out.find("Touchstone file written to " + e.out + "/sweep.s1p\n"),
              std::string::npos);
    expect_s1p_gives_back_z(e, 50);
    EXPECT_EQ(read_s1p(read_file(e.out + "/sweep.s1p")).f.size(), 21u);
}

// A downward sweep against 75 ohm: the file still runs upward, every point
// once, against the model's reference.
TEST(Exports, DownwardSweepAgainstItsOwnReference) {
    std::string model = write_file("down.ant", "VAR lam=300/14.2\nFREQ 14.2 MHz\n"
                                               "SWEEP 15.2 13.2 11\nZ0 75\n"
                                               "WIRE 0 0 -lam/4 0 0 lam/4 r=0.001\nSOURCE 1 50\n");
    Exported e = run_exports(model);
    ASSERT_EQ(e.r.code, 0) << e.r.out;
    Touchstone t = read_s1p(read_file(e.out + "/sweep.s1p"));
    ASSERT_EQ(t.f.size(), 11u);
    EXPECT_EQ(t.f.front(), 13.2e6);
    EXPECT_EQ(t.f.back(), 15.2e6);
    expect_s1p_gives_back_z(e, 75);
    expect_sweep_csv_matches(e); // sweep.csv keeps the order of the run
    EXPECT_EQ(fields(lines_of(read_file(e.out + "/sweep.csv"))[1])[0], "15.2");
}

// One frequency, a sweep that starts and stops at one frequency, and an
// empty pattern grid: the files stay well-formed.
TEST(Exports, DegenerateSweepsAndGrids) {
    struct Case {
        const char* name;
        const char* lines;
        size_t points;
    } cases[] = {
        {"single", "FREQ 28\n", 1},
        {"same", "FREQ 28\nSWEEP 28 28 3\n", 1},
        {"nogrid", "FREQ 28\nSWEEP 27 29 3\nPATTERN dth=0\n", 3},
    };
    for (const Case& c : cases) {
        std::string model =
            write_file(std::string(c.name) + ".ant",
                       cat({"WIRE 0 0 -2.5 0 0 2.5 seg=9\nSOURCE 1 50\n", c.lines}));
        Exported e = run_exports(model, {"-plot"});
        ASSERT_EQ(e.r.code, 0) << e.r.out;
        expect_s1p_gives_back_z(e, 50);
        EXPECT_EQ(read_s1p(read_file(e.out + "/sweep.s1p")).f.size(), c.points) << c.name;
        EXPECT_EQ(file_exists(e.out + "/swr.svg"), c.points > 1) << c.name;
        std::vector<std::string> pat = lines_of(read_file(e.out + "/pattern.csv"));
        size_t cells = e.j["pattern"]["gt"].size();
        EXPECT_EQ(pat.size(), cells + 1) << c.name;
        std::filesystem::remove_all(e.out);
    }
}

// A file that cannot be written is named with exit code 5; what stands in
// its place stays, results.json is complete and no temporary file remains.
TEST(Exports, UnwritableFileIsReported) {
    std::string out = test_dir() + "/out";
    std::filesystem::create_directories(out + "/pattern.csv/keep");
    RunResult r = run_quarlin({source_path("examples/monopole.ant"), "-q", "-csv", "-o", out});
    EXPECT_EQ(r.code, 5);
    EXPECT_EQ(r.out, "ERROR: cannot write " + out + "/pattern.csv\n");
    EXPECT_TRUE(std::filesystem::is_directory(out + "/pattern.csv/keep"));
    EXPECT_NO_THROW(json::parse(read_file(out + "/results.json")));
    for (const auto& f : std::filesystem::directory_iterator(out))
        EXPECT_EQ(f.path().string().find(".tmp"), std::string::npos) << f.path();
}

TEST(Exports, QuietRunWritesSilently) {
    Exported e = run_exports(source_path("examples/monopole.ant"), {"-q", "-plot"});
    EXPECT_EQ(e.r.code, 0);
    EXPECT_EQ(e.r.out, "");
    for (const char* f :
         {"pattern.svg", "swr.svg", "smith.svg", "sweep.csv", "pattern.csv", "sweep.s1p"})
        EXPECT_TRUE(file_exists(e.out + "/" + f)) << f;
}

} // namespace
