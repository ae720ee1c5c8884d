// The optimized model file: its name, the rebuilt VAR and PARAM lines in
// every form the model reader accepts, and a write that either replaces the
// file whole or leaves everything as it was.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/text.h"
#include "model/expr.h"
#include "model/model.h"
#include "model/tokens.h"
#include "optimize/opt_file.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

TEST(OptFileName, ExtensionReplacedFromTheLastDot) {
    const struct {
        const char* path;
        const char* name;
    } cases[] = {
        {"yagi.ant", "yagi_opt.ant"},
        {"models/yagi.ant", "models/yagi_opt.ant"},
        {"yagi", "yagi_opt.ant"},
        {"YAGI.ANT", "YAGI_opt.ant"},
        {"yagi.v2.ant", "yagi.v2_opt.ant"},
        {"yagi_opt.ant", "yagi_opt_opt.ant"},
        // The last dot may sit in a directory name: the path is cut there.
        {"./yagi", "_opt.ant"},
        {"run.3/yagi", "run_opt.ant"},
    };
    for (const auto& c : cases) EXPECT_EQ(opt_file_name(c.path), c.name) << c.path;
}

const std::vector<OptVar> kVars = {{"LEN", 1, 2}, {"h", 4, 9}, {"f", 14, 15}, {"q", 0, 1}};
const std::vector<double> kBest = {1.234567, 7.5, 14.25, 0.123456789};

std::string rebuilt(const std::string& line) {
    std::string out = "(not rebuilt)";
    opt_rebuild_var_line(line, kVars, kBest, &out);
    return out;
}

// The tokens the reader takes from a line (before its comment).
Tokens reader_tokens(const std::string& line) {
    return tokenize(line.substr(0, line.find_first_of("#;")));
}

TEST(OptVarLine, EveryFormTheReaderAccepts) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        // Lower case, two assignments, irregular spacing, trailing comment,
        // the OPTVAR written in another case.
        {"  var   len=1.2     w=3   # element length", "VAR len=1.23457 w=3  # element length"},
        {"PARAM h=5.0", "PARAM h=7.5"},
        {"VAR h 5.0", "VAR h 7.5"},                            // name and value as two tokens
        {"VAR h=5.0,f=14.2", "VAR h=7.5 f=14.25"},             // commas separate
        {"VAR h=5.0;old value", "VAR h=7.5  ;old value"},      // ';' starts a comment
        {"VAR h=1 # a # b ; c", "VAR h=7.5  # a # b ; c"},     // from the first comment character
        {"VAR\th=1\tf 3 ,, w=h*2", "VAR h=7.5 f 14.25 w=h*2"}, // tabs, empty fields
        {"VAR a=1 b=a*2", "VAR a=1 b=a*2"},                    // nothing tuned: kept
        {"VAR h=1 h=2", "VAR h=7.5 h=7.5"},                    // every assignment of the name
        {"VAR,h=1", "VAR h=7.5"},
        {"\"VAR\" h=1", "VAR h=7.5"},
        {"VAR \"w=2 * 3\" q=0.5", "VAR \"w=2 * 3\" q=0.123457"}, // a quoted token stays one token
        {"VAR \"q\" \"0.5 + 0.1\"", "VAR q 0.123457"},
        {"VAR w \"h + 1\"", "VAR w \"h + 1\""},
        {"VAR \"\" =1", "VAR \"\" =1"},
        {"VAR", "VAR"},
        {"VAR   # only a comment", "VAR  # only a comment"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(rebuilt(c.in), c.out) << c.in;
        // The reader takes the rebuilt line as the same tokens, only the
        // tuned values changed.
        Tokens a = reader_tokens(c.in), b = reader_tokens(rebuilt(c.in));
        ASSERT_EQ(a.size(), b.size()) << c.in;
        ASSERT_FALSE(a.empty());
        EXPECT_TRUE(iequals(a[0], b[0]));
        for (size_t i = 1; i < a.size(); ++i)
            if (a[i] != b[i]) {
                bool value_of_tuned = b[i].find("=") != std::string::npos
                                          ? b[i].ends_with("=7.5") || b[i].ends_with("=14.25") ||
                                                b[i].ends_with("=1.23457") ||
                                                b[i].ends_with("=0.123457")
                                          : b[i] == "7.5" || b[i] == "14.25" || b[i] == "0.123457";
                EXPECT_TRUE(value_of_tuned) << c.in << ": token " << i << " " << b[i];
            }
    }
}

TEST(OptVarLine, OtherLinesAreNotRebuilt) {
    for (const char* line : {"", "   ", "# VAR h=1", "; VAR h=1", "TITLE VAR h=1",
                             "WIRE 0 0 0 0 0 h", "VARS h=1", "OPTVAR h 1 2", "  # var h=2"}) {
        std::string out = "untouched";
        EXPECT_FALSE(opt_rebuild_var_line(line, kVars, kBest, &out)) << line;
        EXPECT_EQ(out, "untouched");
    }
}

TEST(OptVarLine, LongNamesMatchAsTheReaderCutsThem) {
    // The reader keeps 31 characters of a name; the name is written as it was.
    std::vector<OptVar> vars = {{"abcdefghijklmnopqrstuvwxyz01234", 0, 1}};
    std::vector<double> best = {0.5};
    std::string out;
    ASSERT_TRUE(
        opt_rebuild_var_line("VAR abcdefghijklmnopqrstuvwxyz0123456789=2", vars, best, &out));
    EXPECT_EQ(out, "VAR abcdefghijklmnopqrstuvwxyz0123456789=0.5");
    // Of two OPTVARs of one name the last is the override that counts.
    std::vector<OptVar> twice = {{"h", 0, 1}, {"H", 0, 1}};
    std::vector<double> two = {0.25, 0.75};
    ASSERT_TRUE(opt_rebuild_var_line("VAR h=0.5", twice, two, &out));
    EXPECT_EQ(out, "VAR h=0.75");
}

// The model text with every form, a CRLF line, a line after END and a tuned
// name that only PARAM defines.
const char* kModel = "TITLE all forms ; VAR h=1 here is title text\n"
                     "  var   len=1.2     w=3   # element length\n"
                     "PARAM h 5.0\r\n"
                     "VAR f=14.2,g=2;old value\n"
                     "VAR \"q=1\"\n"
                     "FREQ f\n"
                     "WIRE 0 0 -len*h/2 0 0 len*h/2 r=0.001\n"
                     "SOURCE 1 50\n"
                     "END\n"
                     "VAR h=99\n";

TEST(OptModelText, HeaderThenTheModelWithItsVarLinesRebuilt) {
    std::string out = opt_model_text(kModel, kVars, kBest, -12.345678);
    EXPECT_EQ(out, "# optimized by Quarlin 1.1: cost -12.3457\n"
                   "TITLE all forms ; VAR h=1 here is title text\n"
                   "VAR len=1.23457 w=3  # element length\n"
                   "PARAM h 7.5\r\n"
                   "VAR f=14.25 g=2  ;old value\n"
                   "VAR q=0.123457\n"
                   "FREQ f\n"
                   "WIRE 0 0 -len*h/2 0 0 len*h/2 r=0.001\n"
                   "SOURCE 1 50\n"
                   "END\n"
                   "VAR h=99\n"); // after END the reader reads nothing
    // A last line without line end gets one.
    EXPECT_EQ(opt_model_text("VAR h=1", kVars, kBest, 0),
              "# optimized by Quarlin 1.1: cost 0.0000\n"
              "VAR h=7.5\n");
}

// Reads a model file without overrides and returns the value of a variable.
double var_after_read(const std::string& path, const char* name) {
    Model m;
    std::string err;
    model_clear_overrides();
    EXPECT_EQ(model_read(path, m, err), 0) << err;
    double v = -1e300;
    EXPECT_EQ(expr_getvar(name, &v), 1) << name;
    return v;
}

double printed(double v) {
    return std::strtod(strfmt("%.6g", v).c_str(), nullptr);
}

TEST(OptModelText, ReadingItBackGivesTheBestValues) {
    std::string path = write_file("m_opt.ant", opt_model_text(kModel, kVars, kBest, 1));
    for (size_t k = 0; k < kVars.size(); ++k)
        EXPECT_EQ(var_after_read(path, kVars[k].name.c_str()), printed(kBest[k])) << kVars[k].name;
    EXPECT_EQ(var_after_read(path, "w"), 3);
    EXPECT_EQ(var_after_read(path, "g"), 2);
    // The model made of them: a wire of length len * h.
    Model m;
    std::string err;
    ASSERT_EQ(model_read(path, m, err), 0) << err;
    EXPECT_DOUBLE_EQ(m.wires[0].z2 - m.wires[0].z1, printed(kBest[0]) * printed(kBest[1]));
}

TEST(OptModelText, LinesThatWouldOutgrowOnePieceAreSplit) {
    // 25 assignments to h and 20 long untuned ones: the original line fits
    // the reader's 1023 characters, the rebuilt one would not.
    std::string line = "VAR";
    for (int i = 0; i < 20; ++i)
        line += strfmt(" v%02d=1.0000000000000000000000000000000000001", i);
    for (int i = 0; i < 25; ++i) line += " h=1";
    line += " # tuned";
    ASSERT_LE(line.size(), kLineMax);
    std::string model = line + "\nFREQ 14\nWIRE 0 0 0 0 0 h\nSOURCE 1 50\n";
    std::string out = opt_model_text(model, kVars, kBest, 0);
    size_t start = 0;
    while (start < out.size()) {
        size_t nl = out.find('\n', start);
        EXPECT_LE(nl - start, kLineMax) << out.substr(start, 60);
        start = nl + 1;
    }
    std::string path = write_file("split_opt.ant", out);
    EXPECT_EQ(var_after_read(path, "h"), 7.5);
    EXPECT_EQ(var_after_read(path, "v19"), 1);
    EXPECT_NE(out.find("  # tuned\n"), std::string::npos);
}

TEST(OptModelText, TokensBeyondWhatTheReaderTakesStayIgnored) {
    // The reader takes 64 tokens of a line: a63 is its last assignment.
    std::string line = "VAR h=1";
    for (int i = 2; i <= 70; ++i) line += strfmt(" a%d=%d", i, i);
    std::string model = line + "\nFREQ 14\nWIRE 0 0 0 0 0 h\nSOURCE 1 50\n";
    std::string path = write_file("tail_opt.ant", opt_model_text(model, kVars, kBest, 0));
    EXPECT_EQ(var_after_read(path, "h"), 7.5);
    EXPECT_EQ(var_after_read(path, "a63"), 63);
    EXPECT_EQ(expr_getvar("a64", nullptr), 0);
    EXPECT_NE(read_file(path).find(" a70=70\n"), std::string::npos); // kept as written
}

TEST(OptWriteModel, ReplacesTheFileWholeOrLeavesItAlone) {
    std::string dir = test_dir();
    std::string model = write_file("m.ant", "VAR h=1\nFREQ 14\nWIRE 0 0 0 0 0 h\nSOURCE 1 50\n");
    std::string target = dir + "/m_opt.ant";
    write_file_at(target, "stale text from an earlier run, longer than the new file ........\n");
    ASSERT_EQ(opt_write_model(model, target, kVars, kBest, 2.5), OPT_WRITTEN);
    EXPECT_EQ(read_file(target), "# optimized by Quarlin 1.1: cost 2.5000\nVAR h=7.5\nFREQ 14\n"
                                 "WIRE 0 0 0 0 0 h\nSOURCE 1 50\n");
    for (const auto& e : fs::directory_iterator(dir))
        EXPECT_EQ(e.path().extension(), ".ant") << "left behind: " << e.path();

    // The model file cannot be read: nothing is written.
    std::string other = dir + "/other_opt.ant";
    EXPECT_EQ(opt_write_model(dir + "/missing.ant", other, kVars, kBest, 0), OPT_CANNOT_READ);
    EXPECT_FALSE(file_exists(other));

    // The target is a directory, or its name is longer than a file name can
    // be: nothing changes on disk.
    fs::create_directory(dir + "/d_opt.ant");
    EXPECT_FALSE(opt_can_write(dir + "/d_opt.ant"));
    EXPECT_EQ(opt_write_model(model, dir + "/d_opt.ant", kVars, kBest, 0), OPT_CANNOT_WRITE);
    EXPECT_TRUE(fs::is_directory(dir + "/d_opt.ant"));
    std::string long_name = dir + "/" + std::string(300, 'x') + "_opt.ant";
    EXPECT_FALSE(opt_can_write(long_name));
    EXPECT_EQ(opt_write_model(model, long_name, kVars, kBest, 0), OPT_CANNOT_WRITE);
    std::string too_long = dir + "/" + std::string(kOptFileNameMax, 'y');
    EXPECT_FALSE(opt_can_write(too_long));
    EXPECT_TRUE(opt_can_write(target));
    size_t files = 0;
    for (const auto& e : fs::directory_iterator(dir)) {
        (void)e;
        ++files;
    }
    EXPECT_EQ(files, 3u); // m.ant, m_opt.ant and the directory: no temporary file left
}

} // namespace
