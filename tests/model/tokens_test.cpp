// The line tokenizer and the field helpers of the model readers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "model/expr.h"
#include "model/tokens.h"
#include "test_support.h"

namespace {

struct TokCase {
    const char* line;
    std::vector<std::string> tokens;
};

class Tokenize : public ::testing::TestWithParam<TokCase> {};

TEST_P(Tokenize, Splits) {
    EXPECT_EQ(tokenize(GetParam().line), GetParam().tokens);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, Tokenize,
    ::testing::Values(TokCase{"WIRE 0 0 0", {"WIRE", "0", "0", "0"}},
                      TokCase{"  a,,b , c\t\td\r\n", {"a", "b", "c", "d"}}, TokCase{"", {}},
                      TokCase{" ,, \t", {}}, TokCase{"\"name=my wire\" x", {"name=my wire", "x"}},
                      TokCase{"name=\"my wire\"", {"name=\"my", "wire\""}},
                      TokCase{"\"unterminated quote, here", {"unterminated quote, here"}},
                      TokCase{"\"a\"b c", {"a", "b", "c"}}, TokCase{"\"\" x", {"", "x"}},
                      TokCase{"ab\"cd ef", {"ab\"cd", "ef"}}));

TEST(Tokenize, KeepsTheFirstSixtyFourTokens) {
    std::string line;
    for (int i = 1; i <= 70; ++i) {
        line += 't';
        line += std::to_string(i);
        line += ' ';
    }
    Tokens t = tokenize(line);
    ASSERT_EQ(t.size(), 64u);
    EXPECT_EQ(t.front(), "t1");
    EXPECT_EQ(t.back(), "t64");
}

TEST(Tokens, KvFindsTheFirstKeyAnyCaseFromAPosition) {
    Tokens t = {"WIRE", "r=1", "R=2", "rr=3", "r", "d=4"};
    EXPECT_EQ(kv(t, 1, "r").value(), "1");
    EXPECT_EQ(kv(t, 2, "r").value(), "2");
    EXPECT_EQ(kv(t, 0, "rr").value(), "3");
    EXPECT_FALSE(kv(t, 3, "r").has_value());
    EXPECT_EQ(kv(t, 0, "D").value(), "4");
    EXPECT_FALSE(kv(t, 0, "x").has_value());
    EXPECT_EQ(flag(t, 1, "R"), 1);
    EXPECT_EQ(flag(t, 5, "r"), 0);
}

struct SubstCase {
    const char* in;
    const char* out;
};

class Subst : public ::testing::TestWithParam<SubstCase> {};

TEST_P(Subst, Rewrites) {
    expr_clearvars();
    expr_setvar("h", 2);
    expr_setvar("copper", 7); // a variable named like a material
    Tokens t = {"KW", GetParam().in};
    subst_tokens(t, 1);
    EXPECT_EQ(t[1], GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, Subst,
    ::testing::Values(SubstCase{"12", "12"}, SubstCase{"-3.5", "-3.5"}, SubstCase{"1e-3", "1e-3"},
                      SubstCase{"h/2", "1"}, SubstCase{"-h", "-2"},
                      SubstCase{"1*pi", "3.14159265359"},
                      SubstCase{"pi", "pi"}, // a bare word that is no variable stays
                      SubstCase{"perfect", "perfect"}, SubstCase{"h", "2"},
                      SubstCase{"r=h*3", "r=6"}, SubstCase{"r=1mm", "r=1mm"},
                      SubstCase{"name=h", "name=h"}, SubstCase{"MAT=copper", "MAT=copper"},
                      SubstCase{"insul=h", "insul=h"}, SubstCase{"axis=h", "axis=h"},
                      SubstCase{"type=h", "type=h"}, SubstCase{"seg=2*5", "seg=10"},
                      SubstCase{"=h", "=h"}, SubstCase{"x=", "x="},
                      SubstCase{"1/3", "0.333333333333"}, SubstCase{"copper", "7"}));

TEST(Tokens, NumbersReadTheLeadingNumber) {
    EXPECT_EQ(num_d("12.5abc"), 12.5);
    EXPECT_EQ(num_d("abc"), 0.0);
    EXPECT_EQ(num_i("12.7"), 12);
    EXPECT_EQ(num_i("-3"), -3);
    EXPECT_EQ(num_i("1e9"), 1);
    EXPECT_EQ(num_i("99999999999999"), 2147483647);
    EXPECT_EQ(num_i("-99999999999999"), -2147483647 - 1);
    EXPECT_TRUE(std::isinf(num_d("1e999")));
}

TEST(Tokens, LengthAndFrequencyUnits) {
    EXPECT_DOUBLE_EQ(len_unit("2mm", 1), 0.002);
    EXPECT_DOUBLE_EQ(len_unit("2CM", 1), 0.02);
    EXPECT_DOUBLE_EQ(len_unit("2m", 0.001), 2);
    EXPECT_DOUBLE_EQ(len_unit("2in", 1), 0.0508);
    EXPECT_DOUBLE_EQ(len_unit("10mil", 1), 0.000254);
    EXPECT_DOUBLE_EQ(len_unit("2", 0.3048), 0.6096);
    EXPECT_DOUBLE_EQ(len_unit("2furlong", 0.01), 0.02);
    EXPECT_EQ(freq_unit("Hz"), 1.0);
    EXPECT_EQ(freq_unit("KHZ"), 1e3);
    EXPECT_EQ(freq_unit("mhz"), 1e6);
    EXPECT_EQ(freq_unit("GHz"), 1e9);
    EXPECT_EQ(freq_unit(""), 1e6);
    EXPECT_EQ(freq_unit("THz"), 1e6);
}

TEST(LineReader, ReadsPiecesLikeFgets) {
    std::string text = "ab\n";
    text += std::string(1030, 'x');
    text += std::string("\nlast\0hidden\nend", 16);
    std::string path = write_file("lines.txt", text);
    std::FILE* f = std::fopen(path.c_str(), "r");
    ASSERT_NE(f, nullptr);
    LineReader in(f);
    std::string p;
    ASSERT_TRUE(in.next(p));
    EXPECT_EQ(p, "ab\n");
    ASSERT_TRUE(in.next(p));
    EXPECT_EQ(p.size(), 1023u); // a long line continues as the next piece
    ASSERT_TRUE(in.next(p));
    EXPECT_EQ(p, std::string(7, 'x') + "\n");
    ASSERT_TRUE(in.next(p));
    EXPECT_EQ(p, "last"); // cut at the NUL byte
    ASSERT_TRUE(in.next(p));
    EXPECT_EQ(p, "end");
    EXPECT_FALSE(in.next(p));
    std::fclose(f);
}

} // namespace
