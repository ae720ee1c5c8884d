// Arithmetic expressions over named variables, as written in model files.
//
//   expression = term { ('+' | '-') term }
//   term       = power { ('*' | '/') power }
//   power      = primary [ '^' power ]            (right-associative)
//   primary    = { blank | '+' } ( '-' primary | '(' expression ')' | number
//                | identifier [ '(' expression [ ',' expression ] ')' ] )
//
// Unary minus binds tighter than '^' (-2^2 = 4). Identifiers are taken in
// lower case, at most 31 characters: "t" is the evaluation parameter, then a
// variable, then the constants pi and e, then a function call. Arithmetic is
// IEEE double: 1/0 is infinity, not an error.
#pragma once

#include <string>

constexpr int kMaxVars = 64;

// Process-wide variable table (at most 64 names of at most 31 characters,
// compared without regard to case).
void expr_clearvars();
int expr_setvar(const std::string& name, double value); // 0, or -1 when full
int expr_getvar(const std::string& name, double* out);  // 1 when it exists
int expr_nvar();

// Evaluates the whole text as one expression with t standing for the given
// value. Returns 0 with the result in *out, or -1 (out untouched) when the
// text is not one valid expression.
int expr_eval(const std::string& text, double t, double* out);

// The same where "t" is a variable like any other (the symbols of a NEC
// deck, where t often counts turns): an undefined t is an error.
int expr_eval_symbols(const std::string& text, double* out);
