// JSON strings and numbers, and output files that replace their target only
// when complete.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <limits>
#include <vector>

#include "driver/json.h"
#include "driver/outfile.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

template <class Write> std::string through(Write write) {
    std::string path = test_dir() + "/j.txt";
    std::FILE* f = std::fopen(path.c_str(), "w");
    write(f);
    std::fclose(f);
    return read_file(path);
}

TEST(JsonStr, EscapesAndDrops) {
    struct Case {
        std::string in, out;
    };
    const Case cases[] = {
        {"", "\"\""},
        {"plain text", "\"plain text\""},
        {"say \"hi\"", "\"say \\\"hi\\\"\""},
        {"C:\\dir\\", "\"C:\\\\dir\\\\\""},
        {"tab\there", "\"tabhere\""},
        {"line\r\nend\x1f!", "\"lineend!\""},
        {"\xc3\xa9t\xc3\xa9 \x7f", "\"\xc3\xa9t\xc3\xa9 \x7f\""}, // UTF-8 and DEL stay
        {std::string("a\0b", 3), "\"ab\""},                       // NUL is a control byte
        // Two-, three- and four-byte UTF-8 characters stay as they are.
        {"\xe2\x82\xac \xf0\x9d\x84\x9e \xef\xbf\xbd",
         "\"\xe2\x82\xac \xf0\x9d\x84\x9e \xef\xbf\xbd\""},
        // Bytes that are no UTF-8 are read as Latin-1: an ISO 8859-1 title.
        {"Antenne f\xfcr 40 m", "\"Antenne f\\u00fcr 40 m\""},
        {"\x80\xbf", "\"\\u0080\\u00bf\""},                       // stray continuation bytes
        {"\xc0\xaf", "\"\\u00c0\\u00af\""},                       // overlong '/'
        {"\xed\xa0\x80", "\"\\u00ed\\u00a0\\u0080\""},            // a surrogate half
        {"\xf4\x90\x80\x80", "\"\\u00f4\\u0090\\u0080\\u0080\""}, // above U+10FFFF
        {"end \xe2\x82", "\"end \\u00e2\\u0082\""},               // cut short at the end
        {"\xe2\x82x", "\"\\u00e2\\u0082x\""},                     // cut short by ASCII
        {"\xff\\\"", "\"\\u00ff\\\\\\\"\""},                      // then the escapes
    };
    for (const Case& c : cases) {
        std::string path = test_dir() + "/s.txt";
        std::FILE* f = std::fopen(path.c_str(), "w");
        EXPECT_EQ(json_str(f, c.in), '"');
        std::fclose(f);
        EXPECT_EQ(read_file(path), c.out) << c.in;
    }
}

TEST(JsonNum, NonFiniteBecomesNull) {
    EXPECT_EQ(through([](std::FILE* f) {
                  json_num(f, "%g", 1e-5);
                  std::fputc(',', f);
                  json_num(f, "%.6g", std::numeric_limits<double>::quiet_NaN());
                  std::fputc(',', f);
                  json_num(f, "%g", -std::numeric_limits<double>::infinity());
              }),
              "1e-05,null,null");
}

TEST(JsonNum, WritesWhatPrintfWrites) {
    // Every conversion the writers use, on values that exercise rounding
    // (halfway cases in binary and decimal), exponents, signs and zeros:
    // the same characters as printf's.
    const char* fmts[] = {"%g", "%.4g", "%.5g", "%.6g", "%.8g", "%.9g", "%.10g", "%.2f", "%.3f"};
    const double values[] = {
        0.0,      -0.0,   1e-5,        -1e-5,     0.125,   0.375,
        2.5,      -2.5,   0.005,       -0.005,    1.0 / 3, 123456.5,
        9.99995,  99.995, -99.0,       -98.99999, 1e300,   -2.2250738585072014e-308,
        4.9e-324, 14.2e6, 299792458.0, 0.999999,  1e15,    123456789012.0};
    for (const char* fmt : fmts)
        for (double v : values) {
            char want[512];
            std::snprintf(want, sizeof want, fmt, v);
            EXPECT_EQ(through([&](std::FILE* f) { json_num(f, fmt, v); }), want) << fmt << " " << v;
        }
}

TEST(JsonNum, FixedTwoDigitsOfPatternGainsAsPrintf) {
    // Gains are single precision: every float from -120 to 120 dB in steps
    // that hit the halfway cases (x.xx5 exactly representable ones among
    // them), zeros of both signs, and values beyond single precision.
    std::vector<double> v = {0.0, -0.0, 0.125, -0.125, 0.375, 2.675, -0.004, -0.005, 1e7, -99.0};
    for (int i = -480000; i <= 480000; i += 7) v.push_back(static_cast<float>(i * 2.5e-4));
    v.push_back(0.1); // not a float: the general path
    v.push_back(1.0 / 3);
    std::string got;
    char want[64];
    for (double x : v) {
        got.clear();
        json_append_fixed2(got, x);
        std::snprintf(want, sizeof want, "%.2f", x);
        ASSERT_EQ(got, want) << x;
    }
}

TEST(OutFile, ReplacesOnlyWhenCommitted) {
    std::string target = test_dir() + "/doc.json";
    write_file_at(target, "old");
    {
        OutFile out(target);
        ASSERT_TRUE(out.open());
        std::fputs("half written", out.file());
        // Not committed: as after a failed write.
    }
    EXPECT_EQ(read_file(target), "old");
    {
        OutFile out(target);
        ASSERT_TRUE(out.open());
        std::fputs("new", out.file());
        EXPECT_TRUE(out.commit());
    }
    EXPECT_EQ(read_file(target), "new");
    int files = 0;
    for (const auto& e : fs::directory_iterator(test_dir())) {
        (void)e;
        ++files;
    }
    EXPECT_EQ(files, 1); // no temporary file left
}

TEST(OutFile, FailuresAreReported) {
    OutFile nodir(test_dir() + "/missing/doc.json");
    EXPECT_FALSE(nodir.open());
    EXPECT_FALSE(nodir.commit());

    // The rename onto a directory fails after every byte was written.
    std::string dir = test_dir() + "/target_is_dir";
    fs::create_directories(dir);
    OutFile ontodir(dir);
    ASSERT_TRUE(ontodir.open());
    std::fputs("x", ontodir.file());
    EXPECT_FALSE(ontodir.commit());
    EXPECT_TRUE(fs::is_directory(dir));
}

TEST(MakeDir, OneLevel) {
    make_dir(test_dir() + "/a");
    EXPECT_TRUE(fs::is_directory(test_dir() + "/a"));
    make_dir(test_dir() + "/a"); // existing: no harm
    make_dir(test_dir() + "/b/c");
    EXPECT_FALSE(fs::exists(test_dir() + "/b"));
}

} // namespace
