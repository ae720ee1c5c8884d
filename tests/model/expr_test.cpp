// The expression evaluator: grammar, precedence, functions, constants,
// variables and syntax errors.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "model/expr.h"

namespace {

struct EvalCase {
    const char* text;
    double value;
};

class ExprValue : public ::testing::TestWithParam<EvalCase> {};

TEST_P(ExprValue, Evaluates) {
    expr_clearvars();
    expr_setvar("a", 2);
    expr_setvar("Lam", 21.126760563380282);
    double v = -12345;
    ASSERT_EQ(expr_eval(GetParam().text, 0.25, &v), 0) << GetParam().text;
    EXPECT_DOUBLE_EQ(v, GetParam().value) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Grammar, ExprValue,
    ::testing::Values(EvalCase{"1+2*3", 7}, EvalCase{"(1+2)*3", 9}, EvalCase{"10-4-3", 3},
                      EvalCase{"16/4/2", 2}, EvalCase{"2^3^2", 512}, EvalCase{"-2^2", 4},
                      EvalCase{"2^-1", 0.5}, EvalCase{"--3", 3}, EvalCase{"+ +3", 3},
                      EvalCase{"2 - -3", 5}, EvalCase{"  7 ", 7}, EvalCase{".5", 0.5},
                      EvalCase{"2.", 2}, EvalCase{"1e-3", 1e-3}, EvalCase{"3*a", 6},
                      EvalCase{"A*a", 4}, EvalCase{"lam/4", 21.126760563380282 / 4},
                      EvalCase{"t", 0.25}, EvalCase{"T*4", 1}, EvalCase{"pi", 3.141592653589793},
                      EvalCase{"PI", 3.141592653589793}, EvalCase{"Pi", 3.141592653589793},
                      EvalCase{"e", 2.718281828459045}, EvalCase{"sin(pi/2)", 1},
                      EvalCase{"cos(0)", 1}, EvalCase{"sqrt(16)", 4}, EvalCase{"abs(-3)", 3},
                      EvalCase{"log(e)", 1}, EvalCase{"ln(1)", 0}, EvalCase{"log10(1000)", 3},
                      EvalCase{"exp(0)", 1}, EvalCase{"pow(2,10)", 1024}, EvalCase{"pow(2)", 1},
                      EvalCase{"atan2(1)", std::atan2(1.0, 0.0)},
                      EvalCase{"atan2(1, 1)", std::atan(1.0)}, EvalCase{"sin(0, 5)", 0},
                      EvalCase{"sqrt (4)", 2}, EvalCase{"tanh(0)", 0}, EvalCase{"2*(3+4)", 14}));

TEST(Expr, SyntaxErrorsLeaveOutputUntouched) {
    expr_clearvars();
    const char* bad[] = {"2*(3+4", "foo(1)", "sin 1", "",   "1 2",        "x",     "sin(1", "(",
                         "1+",     "*2",     "nan",   "3)", "pow(1,2,3)", "sin()", "."};
    for (const char* text : bad) {
        double v = 42;
        EXPECT_EQ(expr_eval(text, 0, &v), -1) << "'" << text << "'";
        EXPECT_EQ(v, 42) << text;
    }
}

TEST(Expr, IeeeArithmeticIsNoError) {
    double v = 0;
    ASSERT_EQ(expr_eval("1/0", 0, &v), 0);
    EXPECT_TRUE(std::isinf(v));
    ASSERT_EQ(expr_eval("sqrt(-1)", 0, &v), 0);
    EXPECT_TRUE(std::isnan(v));
    ASSERT_EQ(expr_eval("1e999", 0, &v), 0);
    EXPECT_TRUE(std::isinf(v));
}

TEST(Expr, VariableNamedTIsHiddenByTheParameter) {
    expr_clearvars();
    expr_setvar("t", 5);
    double v = 0;
    ASSERT_EQ(expr_eval("t", 0, &v), 0);
    EXPECT_EQ(v, 0);
}

TEST(Expr, VariablesHideConstantsButNotFunctions) {
    expr_clearvars();
    expr_setvar("pi", 3);
    expr_setvar("sin", 7);
    double v = 0;
    ASSERT_EQ(expr_eval("pi", 0, &v), 0);
    EXPECT_EQ(v, 3);
    ASSERT_EQ(expr_eval("sin", 0, &v), 0);
    EXPECT_EQ(v, 7);
    ASSERT_EQ(expr_eval("sin(0)", 0, &v), 0);
    EXPECT_EQ(v, 0);
}

TEST(Expr, DeepNestingIsAnErrorNotACrash) {
    std::string deep(10000, '(');
    deep += "1";
    deep += std::string(10000, ')');
    double v = 0;
    EXPECT_EQ(expr_eval(deep, 0, &v), -1);
    EXPECT_EQ(expr_eval(std::string(10000, '-') + "1", 0, &v), -1);
    std::string pow_chain = "1";
    for (int i = 0; i < 5000; ++i) pow_chain += "^1";
    EXPECT_EQ(expr_eval(pow_chain, 0, &v), -1);
    // Moderate nesting is fine.
    std::string ok = std::string(50, '(') + "2" + std::string(50, ')');
    ASSERT_EQ(expr_eval(ok, 0, &v), 0);
    EXPECT_EQ(v, 2);
}

TEST(Expr, VariableTableHoldsSixtyFourNames) {
    expr_clearvars();
    for (int i = 0; i < 64; ++i) {
        std::string name = "v";
        name += std::to_string(i);
        EXPECT_EQ(expr_setvar(name, i), 0);
    }
    EXPECT_EQ(expr_setvar("one_too_many", 1), -1);
    EXPECT_EQ(expr_setvar("V3", 33), 0); // existing name, any case
    double v = 0;
    EXPECT_EQ(expr_getvar("v3", &v), 1);
    EXPECT_EQ(v, 33);
    EXPECT_EQ(expr_getvar("one_too_many", &v), 0);
    EXPECT_EQ(expr_eval("one_too_many", 0, &v), -1);
}

TEST(Expr, LongNamesAreCutToThirtyOneCharacters) {
    expr_clearvars();
    std::string name(40, 'q');
    expr_setvar(name, 9);
    double v = 0;
    EXPECT_EQ(expr_getvar(std::string(31, 'q'), &v), 1);
    EXPECT_EQ(v, 9);
    EXPECT_EQ(expr_eval(std::string(31, 'q'), 0, &v), 0);
    // The rest of a longer identifier stays in the text and spoils it.
    EXPECT_EQ(expr_eval(name, 0, &v), -1);
}

} // namespace
