// quarlin model -mesh -o dir, end to end: mesh.json exactly as formatted,
// valid JSON with its keys in order, the error file, exit codes and the
// console line.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "test_support.h"

namespace fs = std::filesystem;

namespace {

// Runs a Python snippet on a file and returns what it prints ("" when
// python3 fails). The snippet sees the path as sys.argv[1].
std::string python(const std::string& code, const std::string& file) {
    std::string script = write_file("check.py", code);
    std::string out = test_dir() + "/python.out";
    std::string cmd = "python3 '" + script + "' '" + file + "' > '" + out + "' 2>&1";
    if (std::system(cmd.c_str()) != 0) return "python failed: " + read_file(out);
    return read_file(out);
}

// The keys of the document in order, one object per line, nested objects
// flattened with dots: proves both validity and key order.
const char* kKeyOrder = R"(import json, sys
doc = json.load(open(sys.argv[1]), object_pairs_hook=lambda pairs: pairs)
def walk(pairs, prefix):
    out = []
    for k, v in pairs:
        out.append(prefix + k)
        if isinstance(v, list) and v and isinstance(v, list) and all(isinstance(p, tuple) for p in v):
            out += walk(v, prefix + k + '.')
    return out
print(' '.join(walk(doc, '')))
)";

const char* kTiny = "TITLE tiny\n"
                    "FREQ 100 MHz\n"
                    "WIRE 0 0 -0.5 0 0 0.5 r=0.001 seg=4\n"
                    "SOURCE 1 50\n";

TEST(MeshOnly, WritesTheDocumentExactly) {
    std::string model = write_file("tiny.ant", kTiny);
    RunResult r = run_quarlin({model, "-mesh", "-o", "out"});
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_EQ(r.out, "Mesh written to out/mesh.json\n");
    EXPECT_EQ(r.err, "");
    std::string doc = read_file(test_dir() + "/out/mesh.json");
    EXPECT_EQ(
        doc, "{\"title\":\"tiny\",\"f0\":100000000,\"ground\":\"free space\",\"mesh\":{\"nwire\":1,"
             "\"nseg\":4,\"nunk\":3,\"minlen\":0.25,\"maxlen\":0.25,\"minlr\":250,\"warnings\":[]},"
             "\"segs\":[[0,0,-0.5,0,0,-0.25,1,0,0,0,0,0,0,1],[0,0,-0.25,0,0,0,1,0,0,0,0,0,0,1],"
             "[0,0,0,0,0,0.25,1,0,0,0,0,0,0,1],[0,0,0.25,0,0,0.5,1,0,0,0,0,0,0,1]],"
             "\"sources\":[{\"x\":0,\"y\":0,\"z\":0}],\"loads\":[]}\n");
    // Nothing but the document is left in the directory.
    int files = 0;
    for (const auto& e : fs::directory_iterator(test_dir() + "/out")) {
        (void)e;
        ++files;
    }
    EXPECT_EQ(files, 1);
}

// A model with a quoted title and a tab, a ground, warnings and two wires:
// valid JSON, keys in the fixed order, escaped title, warnings listed.
TEST(MeshOnly, ValidJsonWithKeysInOrder) {
    std::string model = write_file("t.ant", "TITLE T \"antenna\"\twith tab\n"
                                            "FREQ 15 MHz\n"
                                            "WIRE -5 0 10 5 0 10\n"
                                            "WIRE 1 0 6 1 0 10\n"
                                            "SOURCE 2 50\n"
                                            "GROUND perfect\n");
    RunResult r = run_quarlin({model, "-mesh", "-o", "out", "-q"});
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(r.out, ""); // quiet
    std::string path = test_dir() + "/out/mesh.json";
    EXPECT_EQ(python(kKeyOrder, path),
              "title f0 ground mesh mesh.nwire mesh.nseg mesh.nunk mesh.minlen mesh.maxlen "
              "mesh.minlr mesh.warnings segs sources loads\n");
    std::string doc = read_file(path);
    EXPECT_EQ(doc.rfind("{\"title\":\"T \\\"antenna\\\"with tab\",\"f0\":15000000,\"ground\":"
                        "\"perfect ground\",\"mesh\":{\"nwire\":2,",
                        0),
              0u)
        << doc.substr(0, 120);
    EXPECT_NE(doc.find("\"warnings\":[\"automatic junction: end of wire 2 joined to the middle of "
                       "wire 1\"]"),
              std::string::npos);
    EXPECT_EQ(doc.back(), '\n');
    // Every segment row has 14 numbers.
    EXPECT_EQ(
        python(
            "import json,sys\nd=json.load(open(sys.argv[1]))\n"
            "print(sorted(set(len(s) for s in d['segs'])), len(d['segs']) == d['mesh']['nseg'])\n",
            path),
        "[14] True\n");
}

// Every bundled model, native or NEC deck: a valid document with the keys
// in order, one 14-number row per segment and every source placed.
TEST(MeshOnly, BundledExamplesAreValidJson) {
    const char* check = R"(import json, sys
d = json.load(open(sys.argv[1]))
ok = (list(d) == ['title', 'f0', 'ground', 'mesh', 'segs', 'sources', 'loads'] and
      list(d['mesh']) == ['nwire', 'nseg', 'nunk', 'minlen', 'maxlen', 'minlr', 'warnings'] and
      len(d['segs']) == d['mesh']['nseg'] and all(len(s) == 14 for s in d['segs']) and
      all(list(p) == ['x', 'y', 'z'] for p in d['sources'] + d['loads']) and
      len(d['sources']) >= 1)
print(ok)
)";
    int models = 0;
    for (const auto& e : fs::directory_iterator(source_path("examples"))) {
        std::string ext = e.path().extension().string();
        if (ext != ".ant" && ext != ".nec") continue;
        ++models;
        RunResult r = run_quarlin({e.path().string(), "-mesh", "-q", "-o", "ex"});
        ASSERT_EQ(r.code, 0) << e.path() << "\n" << r.out;
        EXPECT_EQ(python(check, test_dir() + "/ex/mesh.json"), "True\n") << e.path();
    }
    EXPECT_GE(models, 1);
}

// Failures in mesh-only mode leave the error file; the exit code tells
// what failed.
struct ErrorCase {
    const char* name;
    const char* model; // nullptr: the model file does not exist
    int code;
    const char* message;
};

class MeshOnlyErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(MeshOnlyErrors, ErrorFile) {
    const ErrorCase& c = GetParam();
    std::string model = c.model ? write_file("m.ant", c.model) : test_dir() + "/missing.ant";
    std::string message = c.message ? c.message : "cannot open " + model;
    RunResult r = run_quarlin({model, "-mesh", "-q", "-o", "errdir"});
    EXPECT_EQ(r.code, c.code);
    EXPECT_EQ(r.out, "ERROR: " + message + "\n"); // printed even when quiet
    std::string expect = "{\"error\":\"";
    for (char ch : message) {
        if (ch == '"' || ch == '\\') expect += '\\';
        expect += ch;
    }
    EXPECT_EQ(read_file(test_dir() + "/errdir/mesh.json"), expect + "\"}\n");
    // Without -mesh the same failure writes no file.
    fs::remove_all(test_dir() + "/errdir");
    r = run_quarlin({model, "-o", "errdir"});
    EXPECT_EQ(r.code, c.code);
    EXPECT_FALSE(file_exists(test_dir() + "/errdir/mesh.json"));
}

INSTANTIATE_TEST_SUITE_P(
    Failures, MeshOnlyErrors,
    ::testing::Values(
        ErrorCase{"missing_model", nullptr, 2, nullptr},
        ErrorCase{"no_source", "FREQ 10 MHz\nWIRE 0 0 0 0 0 1\n", 2, "no source defined"},
        ErrorCase{"free_end", "FREQ 10 MHz\nWIRE 0 0 1 0 0 5\nSOURCE 1 0\n", 3,
                  "source/load at a free wire end (no current there)"},
        ErrorCase{"no_unknowns", "FREQ 10 MHz\nWIRE 0 0 1 0 0 2 seg=1\nSOURCE 1 100\n", 3,
                  "the structure has no current unknowns (single straight segments?)"},
        ErrorCase{"below_ground", "FREQ 10 MHz\nGROUND perfect\nWIRE 0 0 -1 0 0 5\nSOURCE 1 50\n",
                  3, "wire 1 extends below ground (z < 0)"},
        ErrorCase{"million_segments",
                  "FREQ 10 MHz\nWIRE 0 0 1 10 0 1 r=1e-6 seg=1000000\nSOURCE 1 50\n", 3,
                  "wire 1: too many segments (a mesh holds at most 100000)"},
        ErrorCase{"kilometre_wire", "FREQ 10 MHz\nWIRE 0 0 1 1e6 0 1\nSOURCE 1 50\n", 3,
                  "wire 1 needs more than 2048 segments between two breakpoints; lower segwl or "
                  "give the wire an explicit segment count"},
        ErrorCase{"duplicated_wire",
                  "FREQ 14.2 MHz\nWIRE 0 -5 10 0 5 10\nWIRE 0 -5 10 0 5 10\nSOURCE 1 50\n", 3,
                  "wires 1 and 2 lie on top of each other"},
        ErrorCase{"huge_fmax", "FREQ 10 MHz\nMESH fmax=1e400\nWIRE 0 0 1 1 0 1\nSOURCE 1 50\n", 2,
                  "line 2: MESH values must be finite numbers"}),
    [](const auto& info) { return std::string(info.param.name); });

// mesh.json that cannot be written: code 5 and no message; a directory in
// its place stays as it was and no temporary file is left behind. An output
// directory that cannot be made is named.
TEST(MeshOnly, UnwritableFile) {
    std::string model = write_file("tiny.ant", kTiny);
    RunResult r = run_quarlin({model, "-mesh", "-o", "no/such/dir"});
    EXPECT_EQ(r.code, 5);
    EXPECT_EQ(
        r.out,
        "ERROR: cannot create the output directory 'no/such/dir' (No such file or directory)\n");

    fs::create_directories(test_dir() + "/out/mesh.json");
    r = run_quarlin({model, "-mesh", "-o", "out"});
    EXPECT_EQ(r.code, 5);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(fs::is_directory(test_dir() + "/out/mesh.json"));
    int files = 0;
    for (const auto& e : fs::directory_iterator(test_dir() + "/out")) {
        (void)e;
        ++files;
    }
    EXPECT_EQ(files, 1);
}

// The output directory is created (one level), and an existing mesh.json
// is replaced.
TEST(MeshOnly, CreatesDirectoryAndReplacesFile) {
    std::string model = write_file("tiny.ant", kTiny);
    write_file_at(test_dir() + "/mesh.json", std::string(100000, 'x'));
    RunResult r = run_quarlin({model, "-mesh"});
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "Mesh written to ./mesh.json\n");
    std::string doc = read_file(test_dir() + "/mesh.json");
    EXPECT_EQ(doc.rfind("{\"title\":\"tiny\"", 0), 0u);
    EXPECT_EQ(doc.find("xxx"), std::string::npos);
    EXPECT_LT(doc.size(), 1000u);

    r = run_quarlin({model, "-mesh", "-o", "fresh"});
    ASSERT_EQ(r.code, 0);
    EXPECT_TRUE(file_exists(test_dir() + "/fresh/mesh.json"));
}

} // namespace
