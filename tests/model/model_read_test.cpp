// model_read: the format choice, the checks and completions after reading,
// and the override table.
#include <gtest/gtest.h>

#include <string>

#include "model/expr.h"
#include "model/model.h"
#include "test_support.h"

namespace {

struct Sniff {
    const char* file;
    const char* text;
    int is_nec;
};

class FormatChoice : public ::testing::TestWithParam<Sniff> {};

TEST_P(FormatChoice, ByExtensionOrFirstCard) {
    model_clear_overrides();
    Model m;
    std::string err;
    model_read(write_file(GetParam().file, GetParam().text), m, err);
    EXPECT_EQ(m.is_nec, GetParam().is_nec) << GetParam().file << ": " << err;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FormatChoice,
    ::testing::Values(Sniff{"x.NEC2", "WIRE 0 0 0 0 0 1\n", 1}, Sniff{"x.nec", "", 1},
                      Sniff{"x.txt", "GW 1 9 0 0 0 0 0 1 0.001\n", 1},
                      Sniff{"y.txt", "\n# comment\n; another\n   \nCM a deck\n", 1},
                      Sniff{"z.txt", "ce,\n", 1}, Sniff{"w.txt", "Gw\t1\n", 1},
                      Sniff{"a.txt", "GWX 1\n", 0}, Sniff{"b.txt", "GW", 0},
                      Sniff{"c.txt", "  CM indented\n", 0}, Sniff{"d.ant", "WIRE 0 0 0 0 0 1\n", 0},
                      Sniff{"e.nec.ant", "TITLE x\n", 0}));

struct CheckCase {
    const char* text;
    const char* message;
};

class Checks : public ::testing::TestWithParam<CheckCase> {};

TEST_P(Checks, StopAtTheFirstFailure) {
    model_clear_overrides();
    Model m;
    std::string err;
    EXPECT_EQ(model_read(write_file("m.ant", GetParam().text), m, err), -1);
    EXPECT_EQ(err, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, Checks,
    ::testing::Values(CheckCase{"", "no wires defined"}, CheckCase{"FREQ 14\n", "no wires defined"},
                      CheckCase{"WIRE 0 0 0 0 0 1\nSOURCE 1 50\n", "no frequency (FREQ) given"},
                      CheckCase{"WIRE 0 0 0 0 0 1\nFREQ 0\nSWEEP 10 20 1\nSOURCE 1 50\n",
                                "no frequency (FREQ) given"},
                      CheckCase{"WIRE 0 0 0 0 0 1\nFREQ -3\n", "no frequency (FREQ) given"},
                      CheckCase{"WIRE 0 0 0 0 0 1\nFREQ 14\n", "no source defined"},
                      CheckCase{"WIRE 0 0 0 0 0 1\nSOURCE 1 50\nSWEEP 1 2 1000000000\n",
                                "sweep of 1000000000 points is too long (at most 100000)"}));

TEST(ModelRead, CannotOpen) {
    Model m;
    std::string err;
    EXPECT_EQ(model_read("/nonexistent/dir/model.ant", m, err), -1);
    EXPECT_EQ(err, "cannot open /nonexistent/dir/model.ant");
    std::string longpath = "/nonexistent/" + std::string(1000, 'p');
    EXPECT_EQ(model_read(longpath, m, err), -1);
    EXPECT_EQ(err.size(), 511u); // cut to the size of the error text
}

TEST(ModelRead, Completions) {
    model_clear_overrides();
    Model m;
    std::string err;
    ASSERT_EQ(
        model_read(write_file("m.ant",
                              "WIRE 0 0 0 0 0 1\nWIRE 0 0 1 0 0 2 mat=steel\nMATERIAL copper\n"
                              "SWEEP 14 10 5\nSOURCE 1 50\n"),
                   m, err),
        0)
        << err;
    EXPECT_DOUBLE_EQ(m.f0, 12e6);       // middle of the sweep
    EXPECT_DOUBLE_EQ(m.fmax, 14e6);     // the larger sweep end
    EXPECT_EQ(m.wires[0].sigma, 5.8e7); // MATERIAL after the wire still applies
    EXPECT_EQ(m.wires[1].sigma, 1e7);   // its own material wins
    EXPECT_EQ(m.z0ref, 50);
    EXPECT_EQ(m.segwl, 30);
    EXPECT_EQ(m.taper, 1);
    EXPECT_EQ(m.dth, 2);
    EXPECT_EQ(m.dph, 5);
    EXPECT_EQ(m.eps, 13);
    EXPECT_EQ(m.sigma, 0.005);
}

TEST(ModelRead, FmaxFromTheFileIsKeptElseTheDesignFrequency) {
    model_clear_overrides();
    Model m;
    std::string err;
    ASSERT_EQ(
        model_read(write_file("a.ant", "WIRE 0 0 0 0 0 1\nSOURCE 1 50\nFREQ 7\nMESH fmax=7.3\n"), m,
                   err),
        0);
    EXPECT_DOUBLE_EQ(m.fmax, 7.3e6);
    ASSERT_EQ(model_read(write_file("b.ant", "WIRE 0 0 0 0 0 1\nSOURCE 1 50\nFREQ 7\n"), m, err),
              0);
    EXPECT_DOUBLE_EQ(m.fmax, 7e6);
}

TEST(ModelRead, TheRecordIsResetForEveryRead) {
    model_clear_overrides();
    Model m;
    std::string err;
    const char* text = "WIRE 0 0 0 0 0 1\nSOURCE 1 50\nFREQ 7\nZ0 75\n";
    ASSERT_EQ(model_read(write_file("a.ant", text), m, err), 0);
    ASSERT_EQ(model_read(write_file("a.ant", text), m, err), 0);
    EXPECT_EQ(m.nwire(), 1);
    EXPECT_EQ(m.nsrc(), 1);
    ASSERT_EQ(model_read(write_file("b.ant", "WIRE 0 0 0 0 0 1\nSOURCE 1 50\nFREQ 7\n"), m, err),
              0);
    EXPECT_EQ(m.z0ref, 50);
}

TEST(ModelRead, OverridesFixVariablesWhateverTheFileSays) {
    model_clear_overrides();
    model_set_override("L", 2);
    Model m;
    std::string err;
    ASSERT_EQ(model_read(write_file("m.ant", "VAR l=5 k=l*10\nWIRE 0 0 0 0 0 l\nWIRE 0 0 0 0 0 k\n"
                                             "SOURCE 1 50\nFREQ 7\nVAR l=undefined_thing\n"),
                         m, err),
              0)
        << err; // the override value replaces even a text that would not evaluate
    EXPECT_EQ(m.wires[0].z2, 2);
    EXPECT_EQ(m.wires[1].z2, 20);
    model_set_override("l", 3); // same name, any case: replaced
    EXPECT_EQ(model_override_count(), 1);
    ASSERT_EQ(model_read(write_file("m2.ant", "WIRE 0 0 0 0 0 l\nSOURCE 1 50\nFREQ 7\n"), m, err),
              0)
        << err; // visible before any VAR line
    EXPECT_EQ(m.wires[0].z2, 3);
    model_clear_overrides();
    EXPECT_EQ(model_override_count(), 0);
}

TEST(ModelRead, AtMostThirtyTwoOverrides) {
    model_clear_overrides();
    for (int i = 0; i < 33; ++i) model_set_override(std::string(1, 'a') + std::to_string(i), i);
    EXPECT_EQ(model_override_count(), 32);
    double v = 0;
    EXPECT_EQ(model_get_override("A31", &v), 1);
    EXPECT_EQ(v, 31);
    EXPECT_EQ(model_get_override("a32", &v), 0);
    model_clear_overrides();
}

} // namespace
