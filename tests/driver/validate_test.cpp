// The pieces of the validation mode: reading a whole file, reading one
// design value back from results.json, splitting a check line, references,
// tolerances and the names and paths a checks file may use.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>

#include "driver/validate.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

const double kInf = std::numeric_limits<double>::infinity();

TEST(Slurp, WholeFileByteForByte) {
    std::string bytes("line 1\r\nline 2\0tail\n", 20);
    std::string path = write_file("bytes.bin", bytes);
    std::optional<std::string> got = slurp(path);
    ASSERT_TRUE(got);
    EXPECT_EQ(*got, bytes); // carriage returns and the NUL kept
    EXPECT_EQ(slurp(write_file("empty.txt", "")).value_or("x"), "");
    EXPECT_FALSE(slurp(test_dir() + "/missing.txt"));
    EXPECT_FALSE(slurp(test_dir())); // a directory opens but cannot be read
}

// A results.json cut down to what design_val1 looks at.
std::string results_doc(const std::string& design) {
    return cat({"{\"program\":\"Quarlin 1.1\",\"mesh\":{\"nseg\":21,\"zr\":999},\"sources\":[{",
                "\"x\":0,\"zr\":998}],\"design\":{", design,
                "},\"match\":[],\"dish\":{\"eta_ap\":0.71,\"hpbw_e\":3.2},\"pattern\":{}}\n"});
}

void put_results(const std::string& run, const std::string& text) {
    fs::create_directories(test_dir() + "/" + run);
    write_file(run + "/results.json", text);
}

TEST(DesignVal1, ReadsTheKeyAfterTheDesignObject) {
    put_results("r", results_doc("\"fres\":13.8,\"fpeak\":-1,\"f\":14200000,\"zr\":36.5,\"zi\":-"
                                 "2.25e+01,\"eff\":0.9,\"fb\":null,\"gmax\":1e999,\"agt\":nan"));
    struct Case {
        const char* key;
        int rc;
        double val;
    } cases[] = {
        {"zr", 0, 36.5},     // not the mesh's or the source's "zr" before the design
        {"zi", 0, -22.5},    // exponent form
        {"f", 0, 14200000},  // "f" is not the start of "fres" or "fpeak"
        {"fpeak", 0, -1},    // the absent marker is a value
        {"eta_ap", 0, 0.71}, // the search reads on into the reflector's object
        {"hpbw_e", 0, 3.2},
        {"gmax", 0, kInf}, // out of range: infinite, and no check passes with it
        {"nseg", 1, 0},    // only before the design object
        {"fb", 1, 0},      // null (a value that was not finite) is no number
        {"bwel", 1, 0},    // absent
        {"", 1, 0},
    };
    for (const auto& c : cases) {
        double v = -12345;
        EXPECT_EQ(design_val1(test_dir(), "r", c.key, v), c.rc) << c.key;
        EXPECT_EQ(v, c.rc == 0 ? c.val : -12345) << c.key; // untouched without a value
    }
    double v = 0;
    EXPECT_EQ(design_val1(test_dir(), "r", "agt", v), 0);
    EXPECT_TRUE(std::isnan(v));
}

TEST(DesignVal1, FilesThatHoldNoValue) {
    std::string whole = results_doc("\"zr\":50,\"eff\":1");
    struct Case {
        const char* run;
        std::string text;
    } cases[] = {
        {"cut_in_design", whole.substr(0, whole.find("\"zr\":") + 5)}, // ends at the colon
        {"cut_before", whole.substr(0, whole.find("\"design\""))},
        {"not_json", "Segmentation fault (core dumped)\n"},
        {"empty", ""},
        {"nul_before", std::string("{\"x\":1\0", 7) + "\"design\":{\"zr\":50}}"},
    };
    for (const auto& c : cases) {
        put_results(c.run, c.text);
        double v = 0;
        EXPECT_EQ(design_val1(test_dir(), c.run, "zr", v), 1) << c.run;
    }
    double v = 0;
    EXPECT_EQ(design_val1(test_dir(), "no_such_run", "zr", v), 1);
    put_results("ok", whole);
    EXPECT_EQ(design_val1(test_dir(), "ok", "zr", v), 0);
    // A key whose search text would be longer than 63 characters is not
    // cut to a prefix that could match another key.
    put_results("long", results_doc(cat({"\"", std::string(70, 'k'), "\":1"})));
    EXPECT_EQ(design_val1(test_dir(), "long", std::string(70, 'k'), v), 1);
    EXPECT_EQ(design_val1(test_dir(), "long", std::string(59, 'k'), v), 1);
    // A results path longer than 1199 characters is not read.
    EXPECT_EQ(design_val1(test_dir() + "/" + std::string(1200, 'd'), "ok", "zr", v), 1);
}

TEST(CheckSplit, SevenTrimmedFields) {
    CheckLine c;
    ASSERT_TRUE(check_split("dip ;\tm/d.ant; zr ;@a.zr*2+1.5; 5% ;Kraus, Table 8-1 ; note\r", c));
    EXPECT_EQ(c.name, "dip");
    EXPECT_EQ(c.model, "m/d.ant");
    EXPECT_EQ(c.key, "zr");
    EXPECT_EQ(c.ref, "@a.zr*2+1.5");
    EXPECT_EQ(c.tol, "5%");
    EXPECT_EQ(c.source, "Kraus, Table 8-1");
    EXPECT_EQ(c.note, "note");

    ASSERT_TRUE(check_split("a;b;c;d;e;f;g;ignored;also", c));
    EXPECT_EQ(c.note, "g"); // the seventh field ends at a further ';'
    ASSERT_TRUE(check_split("a;b;c;d;e;f;", c));
    EXPECT_EQ(c.note, "");
    ASSERT_TRUE(check_split(";;;;;;", c));
    EXPECT_EQ(c.name, "");
    EXPECT_FALSE(check_split("a;b;c;d;e;f", c)); // five ';'
    EXPECT_FALSE(check_split("no separators", c));
}

TEST(CheckTrim, BlanksTabsAndLineEnds) {
    EXPECT_EQ(check_trim(" \t x y \t\r\n"), "x y");
    EXPECT_EQ(check_trim("\r\nx"), "\r\nx"); // leading line ends are not blanks
    EXPECT_EQ(check_trim(" \t\r"), "");
}

TEST(CheckParseRef, FactorAndOffset) {
    struct Case {
        const char* ref;
        const char *run, *key;
        double factor, offset;
    } cases[] = {
        {"@run.zr*2+1.5", "run", "zr", 2, 1.5},
        {"@run.swr-0.1", "run", "swr", 1, -0.1},
        {"@run.zr", "run", "zr", 1, 0},
        {"@run.gmax*0.5", "run", "gmax", 0.5, 0},
        {"@run.gmax*-1", "run", "gmax", -1, 0},
        {"@run.zr*1e-3-2", "run", "zr", 1e-3, -2}, // an exponent's sign is the factor's
        {"@run.zr+3dB", "run", "zr", 1, 3},
        {"@a.b.c*2", "a", "b.c", 2, 0}, // the run name ends at the first '.'
        {"@.zr", "", "zr", 1, 0},
    };
    for (const auto& c : cases) {
        CheckRef r;
        ASSERT_TRUE(check_parse_ref(c.ref, r)) << c.ref;
        EXPECT_EQ(r.run, c.run) << c.ref;
        EXPECT_EQ(r.key, c.key) << c.ref;
        EXPECT_DOUBLE_EQ(r.factor, c.factor) << c.ref;
        EXPECT_DOUBLE_EQ(r.offset, c.offset) << c.ref;
    }
    CheckRef r;
    for (const char* bad : {"@nodot", "@run.zr*", "@run.zr*x", "@run.zr+", "@run.zr-dB", "73"})
        EXPECT_FALSE(check_parse_ref(bad, r)) << bad;
    // Long names and keys are cut to 127 and 31 characters.
    ASSERT_TRUE(check_parse_ref(cat({"@", std::string(200, 'n'), ".", std::string(40, 'k')}), r));
    EXPECT_EQ(r.run, std::string(127, 'n'));
    EXPECT_EQ(r.key, std::string(31, 'k'));
}

TEST(CheckTolerance, AbsoluteOrPercent) {
    EXPECT_DOUBLE_EQ(check_tolerance("5%", -200), 10);
    EXPECT_DOUBLE_EQ(check_tolerance("5 %", 200), 10);
    EXPECT_DOUBLE_EQ(check_tolerance("2.5", -200), 2.5);
    EXPECT_DOUBLE_EQ(check_tolerance("0", 1), 0);
    EXPECT_DOUBLE_EQ(check_tolerance("", 1), 0);
    EXPECT_DOUBLE_EQ(check_tolerance("ohm", 1), 0);
    EXPECT_DOUBLE_EQ(check_tolerance("%", 50), 0);
    EXPECT_EQ(check_tolerance("1e999", 1), kInf);
    EXPECT_TRUE(std::isnan(check_tolerance("nan", 1)));
    EXPECT_TRUE(std::isnan(check_tolerance("1e999%", 0))); // inf * 0
}

TEST(CheckPasses, ToleranceIsInclusiveAndNaNFails) {
    EXPECT_TRUE(check_passes(73.5, 73.5, 0)); // tol 0: only an exact match
    EXPECT_FALSE(check_passes(73.5, std::nextafter(73.5, 0.0), 0));
    EXPECT_TRUE(check_passes(-190, -200, 10));
    EXPECT_FALSE(check_passes(-189.99, -200, 10));
    const double nan = std::nan("");
    EXPECT_FALSE(check_passes(nan, 1, 10));
    EXPECT_FALSE(check_passes(1, nan, 10));
    EXPECT_FALSE(check_passes(1, 1, nan));
    EXPECT_FALSE(check_passes(kInf, kInf, kInf)); // inf - inf is no number
    EXPECT_FALSE(check_passes(kInf, 1, 1e300));
    EXPECT_FALSE(check_passes(1, 1, -1)); // a negative tolerance passes nothing
}

TEST(CheckNames, PlainDirectoryNamesAndPathsInside) {
    for (const std::string& ok :
         {std::string("dipole_thin"), std::string("a.b"), std::string("-norun"),
          std::string(63, 'x'), std::string("with blank")})
        EXPECT_TRUE(check_name_ok(ok)) << ok;
    for (const std::string& bad :
         {std::string(""), std::string("."), std::string(".."), std::string("a/b"),
          std::string("../up"), std::string("a\\b"), std::string("/abs"), std::string(64, 'x'),
          std::string("tab\there"), std::string("nul\0x", 5)})
        EXPECT_FALSE(check_name_ok(bad)) << bad;

    for (const char* ok : {"dipole.ant", "free/dipole.ant", "a..b/c.ant", "./x.ant"})
        EXPECT_TRUE(check_model_ok(ok)) << ok;
    for (const char* bad : {"", "../x.ant", "free/../../x.ant", "a\\..\\x.ant", "/etc/passwd",
                            "\\\\server\\x.ant", "C:\\x.ant", "free/.."})
        EXPECT_FALSE(check_model_ok(bad)) << bad;
}

} // namespace
