// The validation mode end to end on the quarlin binary: runs, verdict
// lines, references, the report, the summary and the exit code, and checks
// files and results that are malformed.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>

#include "common/text.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

// A small half-wave dipole that solves in a few milliseconds.
const char* kDipole = "FREQ 30 MHz\nWIRE 0 0 -2.45 0 0 2.45 r=0.001 seg=11\nSOURCE 1 50\n"
                      "PATTERN dth=10 dph=30\n";

// A results.json cut down to what the checks read: the design object and
// the reflector's object after it.
std::string results_doc(const std::string& design) {
    return cat({"{\"program\":\"Quarlin 1.1\",\"mesh\":{\"nseg\":9},\"design\":{", design,
                "},\"match\":[],\"dish\":{\"eta_ap\":0.71},\"pattern\":{}}\n"});
}

void put_results(const std::string& outdir, const std::string& run, const std::string& text) {
    fs::create_directories(test_dir() + "/" + outdir + "/" + run);
    write_file(outdir + "/" + run + "/results.json", text);
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> v;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) v.push_back(l);
    return v;
}

// The verdict line of a check with a result, with the value and the
// reference as they should be printed.
std::string verdict(const char* pf, const std::string& name, const char* key, const char* value,
                    const char* ref, const char* tol, const char* source, const char* note) {
    return strfmt("%-4s %-22s %-5s %12s  ref %12s  tol %-6s  [%s] %s", pf, name.c_str(), key, value,
                  ref, tol, source, note);
}

std::string no_result(const std::string& name, const std::string& key, const std::string& model) {
    return strfmt("FAIL %-22s %-5s  no result                                   %s", name.c_str(),
                  key.c_str(), model.c_str());
}

TEST(Validate, ReferencesTolerancesAndTheReport) {
    put_results("out", "a", results_doc("\"zr\":36,\"zi\":-4,\"swr\":1.5,\"eff\":0.9"));
    put_results("out", "b", results_doc("\"zr\":50,\"zi\":-191,\"swr\":1.4,\"eff\":0.9"));
    put_results("out", "c", results_doc("\"zr\":73.5"));
    std::string checks = "# references to other runs, derived values, tolerances\r\n"
                         "c; m.ant; zr; @a.zr*2+1.5; 0; image; double plus offset\r\n"
                         "b; m.ant; swr; @a.swr-0.1; 1e-9; --; factor 1, offset -0.1\r\n"
                         "b; m.ant; zi; -200; 5%; --; 5 % of -200 is 10\r\n"
                         "b; m.ant; zi; -200; 4.5%; --; 9: the bound passes\r\n"
                         "b; m.ant; zi; -200; 4.4%; --; 8.8\r\n"
                         "b; m.ant; rloss; 5; 1e-9; --; (1 - 0.9) * 50\r\n"
                         "a; m.ant; zr; 36; 0; --; exact\n"
                         "a; m.ant; zr; 36.000001; 0; --; tol 0 passes only an exact match\n"
                         "a; m.ant; eta_ap; 0.7; 0.02; --; a key past the design object\n"
                         "b; m.ant; rloss; @a.rloss+1.4; 0.01; --; rloss as a reference\n"
                         "a; m.ant; zr; 36; 0; five fields only\n"
                         "\n\n   # indented comment\n\t\n";
    std::string path = write_file("checks.txt", checks);
    RunResult r = run_quarlin({"-check", path, "out", "-norun"});
    EXPECT_EQ(r.code, 1);
    std::vector<std::string> expect = {
        "Quarlin 1.1 - traceable validation (" + path + ")",
        "",
        verdict("PASS", "c", "zr", "73.5", "73.5", "0", "image", "double plus offset"),
        verdict("PASS", "b", "swr", "1.4", "1.4", "1e-9", "--", "factor 1, offset -0.1"),
        verdict("PASS", "b", "zi", "-191", "-200", "5%", "--", "5 % of -200 is 10"),
        verdict("PASS", "b", "zi", "-191", "-200", "4.5%", "--", "9: the bound passes"),
        verdict("FAIL", "b", "zi", "-191", "-200", "4.4%", "--", "8.8"),
        verdict("PASS", "b", "rloss", "5", "5", "1e-9", "--", "(1 - 0.9) * 50"),
        verdict("PASS", "a", "zr", "36", "36", "0", "--", "exact"),
        verdict("FAIL", "a", "zr", "36", "36", "0", "--", "tol 0 passes only an exact match"),
        verdict("PASS", "a", "eta_ap", "0.71", "0.7", "0.02", "--", "a key past the design object"),
        verdict("PASS", "b", "rloss", "5", "5", "0.01", "--", "rloss as a reference"),
        "",
        "8 of 10 checks passed",
        "Report: out/validation_report.txt",
    };
    EXPECT_EQ(lines_of(r.out), expect) << r.out;
    // The report holds the same lines without its own path.
    expect.pop_back();
    EXPECT_EQ(lines_of(read_file(test_dir() + "/out/validation_report.txt")), expect);
}

TEST(Validate, NorunOnAnEmptyDirectoryFailsEveryCheck) {
    std::string path = write_file("checks.txt", "d; d.ant; zr; 73; 10%; Kraus; half wave\n"
                                                "d; d.ant; gmax; 2.15; 0.1; --; directivity\n"
                                                "e; e.ant; zr; @d.zr; 1; --; reference\n");
    RunResult r = run_quarlin({"-check", path, "empty", "-norun"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find(no_result("d", "zr", "d.ant") + "\n" + no_result("d", "gmax", "d.ant") +
                         "\n" + no_result("e", "zr", "e.ant") + "\n\n0 of 3 checks passed\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("(run of"), std::string::npos); // nothing was run
    EXPECT_FALSE(file_exists(test_dir() + "/empty/d"));
}

TEST(Validate, OneRunPerNameAndForwardReferences) {
    write_file("dip.ant", kDipole);
    // The second "dip" line names a model that does not exist: it is not
    // run, its value comes from the first line's run. "late" is referenced
    // before its own line.
    std::string path = write_file("checks.txt", "dip; dip.ant; zr; 70; 40%; --; first\n"
                                                "dip; missing.ant; gmax; 2.15; 0.2; --; shared\n"
                                                "early; dip.ant; zr; @late.zr; 1e-9; --; fwd\n"
                                                "late; dip.ant; zr; @dip.zr; 1e-9; --; same\n");
    RunResult r = run_quarlin({"-check", path});
    EXPECT_EQ(r.code, 1) << r.out;
    std::vector<std::string> l = lines_of(r.out);
    ASSERT_EQ(l.size(), 9u) << r.out; // no "(run of ... failed)" line
    EXPECT_EQ(l[2].substr(0, 4), "PASS") << l[2];
    EXPECT_EQ(l[3].substr(0, 4), "PASS") << l[3];
    EXPECT_EQ(l[4], no_result("early", "zr", "dip.ant")); // fresh directory
    EXPECT_EQ(l[5].substr(0, 4), "PASS") << l[5];
    EXPECT_EQ(l[7], "3 of 4 checks passed");
    EXPECT_EQ(l[8], "Report: validation_out/validation_report.txt");
    EXPECT_TRUE(file_exists(test_dir() + "/validation_out/dip/results.json"));

    // On the reused directory the forward reference reads the earlier
    // invocation's results.
    r = run_quarlin({"-check", path});
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("4 of 4 checks passed"), std::string::npos) << r.out;
}

TEST(Validate, ARunThatFailsNowIsNotJudgedByOldResults) {
    write_file("dip.ant", kDipole);
    std::string path = write_file("checks.txt", "dip; dip.ant; zr; 70; 40%; --; own key\n"
                                                "ref; ref.ant; zr; @dip.zr; 40%; --; referenced\n"
                                                "dip; dip.ant; rloss; 0; 0.05; --; derived\n");
    write_file("ref.ant", kDipole);
    RunResult r = run_quarlin({"-check", path, "out"});
    ASSERT_EQ(r.code, 0) << r.out;

    // The model breaks; the old results.json of "dip" is still there.
    write_file("dip.ant", "FREQ 30 MHz\nWIRES 0 0 -2 0 0 2\n");
    r = run_quarlin({"-check", path, "out"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out,
              cat({"Quarlin 1.1 - traceable validation (", path, ")\n\n",
                   "ERROR: line 2: unknown keyword 'WIRES'\n", "  (run of dip.ant failed)\n",
                   no_result("dip", "zr", "dip.ant"), "\n", no_result("ref", "zr", "ref.ant"), "\n",
                   no_result("dip", "rloss", "dip.ant"),
                   "\n\n0 of 3 checks passed\nReport: out/validation_report.txt\n"}));
    EXPECT_TRUE(file_exists(test_dir() + "/out/dip/results.json")); // kept, not compared

    // -norun compares what the directory holds.
    r = run_quarlin({"-check", path, "out", "-norun"});
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("3 of 3 checks passed"), std::string::npos);
}

TEST(Validate, NorunInThePlaceOfTheDirectoryIsItsName) {
    write_file("dip.ant", kDipole);
    std::string path = write_file("checks.txt", "dip; dip.ant; gmax; 2.15; 0.2; --; --\n");
    RunResult r = run_quarlin({"-check", path, "-norun"});
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_TRUE(file_exists(test_dir() + "/-norun/dip/results.json"));
    EXPECT_NE(r.out.find("Report: -norun/validation_report.txt"), std::string::npos);
}

TEST(Validate, ModelsAreFoundBesideTheChecksFile) {
    fs::create_directories(test_dir() + "/suite/free");
    write_file("suite/free/dip.ant", kDipole);
    write_file("suite/checks.txt", "dip; free/dip.ant; gmax; 2.15; 0.2; --; --\n");
    RunResult r = run_quarlin({"-check", "suite/checks.txt", "out"});
    EXPECT_EQ(r.code, 0) << r.out;
    std::string json = read_file(test_dir() + "/out/dip/results.json");
    EXPECT_NE(json.find("\"input\":\"suite/free/dip.ant\""), std::string::npos);
}

TEST(Validate, ChecksFilesWithoutChecks) {
    RunResult r = run_quarlin({"-check", "missing.txt", "out"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "cannot read missing.txt\n");
    EXPECT_FALSE(file_exists(test_dir() + "/out"));

    std::string path = write_file("c.txt", "# only a comment\nfive;fields;only;here;x;y\n");
    r = run_quarlin({"-check", path, "out"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "Quarlin 1.1 - traceable validation (" + path +
                         ")\n\n\n0 of 0 checks passed\nReport: out/validation_report.txt\n");
}

TEST(Validate, AReportThatCannotBeWrittenLeavesTheConsoleAlone) {
    put_results("out", "a", results_doc("\"zr\":36"));
    fs::create_directories(test_dir() + "/out/validation_report.txt"); // in the way
    std::string path = write_file("c.txt", "a; a.ant; zr; 36; 0; --; --\n");
    RunResult r = run_quarlin({"-check", path, "out", "-norun"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out.find("Report:"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("1 of 1 checks passed\n"), std::string::npos);
    for (const auto& e : fs::directory_iterator(test_dir() + "/out")) // no stray temporary file
        EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos);
}

// Names and paths that would leave the output directory, and names beyond
// the limits: refused with a message, their checks fail, nothing is written
// outside the output directory.
TEST(Validate, RunNamesAndModelPathsThatLeaveTheirDirectories) {
    fs::create_directories(test_dir() + "/suite");
    write_file("dip.ant", kDipole); // outside the checks file's directory
    write_file("suite/dip.ant", kDipole);
    std::string long_name(500, 'n');
    std::string checks = cat(
        {"../escape; dip.ant; zr; 70; 50%; --; up\n", "a/b; dip.ant; zr; 70; 50%; --; nested\n",
         "..; dip.ant; zr; 70; 50%; --; parent\n", long_name, "; dip.ant; zr; 70; 50%; --; long\n",
         "outside; ../dip.ant; zr; 70; 50%; --; model up\n", "absolute; ", test_dir(),
         "/dip.ant; zr; 70; 50%; --; absolute\n",
         "ok; dip.ant; zr; @../escape.zr; 50%; --; ref up\n",
         "ok; dip.ant; zr; @a/b.zr; 50%; --; ref nested\n",
         "ok; dip.ant; zr; 70; 50%; --; fine\n"});
    write_file("suite/checks.txt", checks);
    RunResult r = run_quarlin({"-check", "suite/checks.txt", "out"});
    EXPECT_EQ(r.code, 1);
    const std::string refused = "refused: a run name is one directory level of at most 63 "
                                "characters, without \"/\" or \"\\\")";
    EXPECT_NE(r.out.find("  (run name ../escape " + refused), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  (run name a/b " + refused), std::string::npos);
    EXPECT_NE(r.out.find("  (run name .. " + refused), std::string::npos);
    EXPECT_NE(r.out.find("  (run name " + std::string(63, 'n') + "... " + refused),
              std::string::npos);
    EXPECT_NE(r.out.find("  (model ../dip.ant refused: it must be a relative path inside the "
                         "checks file's directory)"),
              std::string::npos);
    EXPECT_NE(r.out.find(no_result(long_name, "zr", "dip.ant")), std::string::npos);
    EXPECT_NE(r.out.find(no_result("outside", "zr", "../dip.ant")), std::string::npos);
    EXPECT_NE(r.out.find("\n1 of 9 checks passed\n"), std::string::npos) << r.out;
    // Only the two usable run names got directories, all inside out/.
    EXPECT_FALSE(file_exists(test_dir() + "/escape"));
    EXPECT_FALSE(file_exists(test_dir() + "/a"));
    std::set<std::string> made;
    for (const auto& e : fs::directory_iterator(test_dir() + "/out"))
        made.insert(e.path().filename().string());
    EXPECT_EQ(made, (std::set<std::string>{"ok", "validation_report.txt"}));
    std::set<std::string> top;
    for (const auto& e : fs::directory_iterator(test_dir())) top.insert(e.path().filename());
    EXPECT_EQ(top, (std::set<std::string>{".stderr", ".stdout", "dip.ant", "out", "suite"}));
}

TEST(Validate, NumbersThatAreNoNumbers) {
    put_results("out", "a",
                results_doc("\"zr\":1e999,\"zi\":nan,\"swr\":null,\"eff\":0.5,\"gmax\":2.1"));
    put_results("out", "cut", results_doc("\"zr\":50").substr(0, 40));
    put_results("out", "junk", "<html>502 Bad Gateway</html>\n");
    std::string checks = "a; m; zr; 73; 1; --; infinite value\n"
                         "a; m; zi; 0; 1e999; --; nan value, infinite tolerance\n"
                         "a; m; swr; 1; 1; --; null value\n"
                         "a; m; gmax; 1e999; 1; --; infinite reference\n"
                         "a; m; gmax; nan; 1; --; nan reference\n"
                         "a; m; gmax; 2; nan; --; nan tolerance\n"
                         "a; m; gmax; 2; 1e999; --; infinite tolerance passes any number\n"
                         "a; m; gmax; @a.gmax*nan; 1; --; nan factor\n"
                         "a; m; gmax; @a.gmax*1e999; 1e999; --; infinite factor\n"
                         "a; m; rloss; 0; 1e999; --; from an infinite zr\n"
                         "a; m; gmax; ; 1; --; empty reference\n"
                         "a; m; gmax; abc; 1; --; reference that is no number\n"
                         "a; m; gmax; @a; 1; --; reference without a dot\n"
                         "cut; m; zr; 50; 1; --; truncated file\n"
                         "junk; m; zr; 50; 1; --; not JSON\n";
    std::string path = write_file("c.txt", checks);
    RunResult r = run_quarlin({"-check", path, "out", "-norun"});
    EXPECT_EQ(r.code, 1);
    std::vector<std::string> l = lines_of(r.out);
    ASSERT_EQ(l.size(), 20u) << r.out;
    struct Expect {
        const char *pf, *name, *key, *rest;
    } expect[] = {
        {"FAIL", "a", "zr", "          inf  ref           73"},
        {"FAIL", "a", "zi", ""}, // nan, whatever its sign
        {"FAIL", "a", "swr", "  no result"},
        {"FAIL", "a", "gmax", "          2.1  ref          inf"},
        {"FAIL", "a", "gmax", "          2.1  ref "},
        {"FAIL", "a", "gmax", "          2.1  ref            2  tol nan"},
        {"PASS", "a", "gmax", "          2.1  ref            2  tol 1e999"},
        {"FAIL", "a", "gmax", "          2.1  ref "},
        {"FAIL", "a", "gmax", "          2.1  ref          inf"},
        {"FAIL", "a", "rloss", "          inf  ref            0"},
        {"FAIL", "a", "gmax", "  no result"},
        {"FAIL", "a", "gmax", "  no result"},
        {"FAIL", "a", "gmax", "  no result"},
        {"FAIL", "cut", "zr", "  no result"},
        {"FAIL", "junk", "zr", "  no result"},
    };
    for (size_t i = 0; i < std::size(expect); ++i) {
        std::string head = strfmt("%-4s %-22s %-5s", expect[i].pf, expect[i].name, expect[i].key);
        EXPECT_EQ(l[i + 2].substr(0, head.size()), head) << l[i + 2];
        EXPECT_EQ(l[i + 2].substr(head.size(), std::string(expect[i].rest).size()), expect[i].rest)
            << l[i + 2];
    }
    EXPECT_EQ(l[18], "1 of 15 checks passed");
}

TEST(Validate, HugeChecksFilesAndLongLines) {
    put_results("out", "a", results_doc("\"zr\":36"));
    std::string note(10000, 'x');
    std::string checks;
    checks += "a; m; zr; 36; 0; --; " + note + "\n"; // cut at 2047 characters
    checks += std::string(10000, ';') + "\n";        // empty fields: no run name
    for (int i = 0; i < 100000; ++i) checks += "a; m; zr; 36; 0; --; again\n";
    std::string path = write_file("c.txt", checks);
    RunResult r = run_quarlin({"-check", path, "out", "-norun"});
    EXPECT_EQ(r.code, 1);
    std::vector<std::string> l = lines_of(r.out);
    // Header, the warning about the lines not read, two long-line warnings,
    // the refused empty run name, 600 verdicts, the summary and the report
    // line.
    ASSERT_EQ(l.size(), 2u + 1 + 2 + 1 + 600 + 2 + 1) << r.out.substr(0, 2000);
    EXPECT_EQ(l[2], "WARNING: only the first 600 lines of " + path + " are read");
    EXPECT_EQ(l[3], "WARNING: line 1 is longer than 2047 characters; the rest is not read");
    std::string first = l[4];
    EXPECT_EQ(first.size(), 1599u); // a verdict line is cut to 1599 characters
    EXPECT_EQ(first.substr(0, 4), "PASS");
    EXPECT_EQ(l[5], "WARNING: line 2 is longer than 2047 characters; the rest is not read");
    EXPECT_EQ(l[6].substr(0, 16), "  (run name  ref");
    EXPECT_EQ(l[7], no_result("", "", ""));
    EXPECT_EQ(l[607], "599 of 600 checks passed");
}

} // namespace
