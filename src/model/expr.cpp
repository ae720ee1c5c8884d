#include "model/expr.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "common/constants.h"
#include "common/text.h"

namespace {

struct Var {
    std::string name;
    double value;
};
std::vector<Var> g_vars; // the variable table

// Deeper nesting than this (parentheses, unary minus, right-nested powers)
// is a syntax error rather than a risk to the stack.
constexpr int kMaxDepth = 256;

int find_var(const std::string& name) {
    for (size_t i = 0; i < g_vars.size(); ++i)
        if (iequals(g_vars[i].name, name)) return static_cast<int>(i);
    return -1;
}

} // namespace

void expr_clearvars() {
    g_vars.clear();
}

int expr_setvar(const std::string& name, double value) {
    std::string n = name;
    cut(n, 31);
    int i = find_var(n);
    if (i >= 0) {
        g_vars[static_cast<size_t>(i)].value = value;
        return 0;
    }
    if (static_cast<int>(g_vars.size()) >= kMaxVars) return -1;
    g_vars.push_back({n, value});
    return 0;
}

int expr_getvar(const std::string& name, double* out) {
    int i = find_var(name);
    if (i < 0) return 0;
    if (out) *out = g_vars[static_cast<size_t>(i)].value;
    return 1;
}

int expr_nvar() {
    return static_cast<int>(g_vars.size());
}

// One evaluation: the text, the current place in it, t and the error flag.
struct ExprState {
    const std::string& s;
    size_t pos = 0;
    double t = 0;
    bool t_param = true; // "t" is the evaluation parameter, not a variable
    int err = 0;
    int depth = 0;
    char peek() const { return pos < s.size() ? s[pos] : '\0'; }
};

static void skip(ExprState& st) {
    while (st.pos < st.s.size() && std::isspace(static_cast<unsigned char>(st.s[st.pos]))) ++st.pos;
}

static double e_expr(ExprState& st);
static double e_pow(ExprState& st);

static double call_fn(const std::string& name, double a, double b, int* ok) {
    *ok = 1;
    if (name == "sin") return std::sin(a);
    if (name == "cos") return std::cos(a);
    if (name == "tan") return std::tan(a);
    if (name == "asin") return std::asin(a);
    if (name == "acos") return std::acos(a);
    if (name == "atan") return std::atan(a);
    if (name == "sinh") return std::sinh(a);
    if (name == "cosh") return std::cosh(a);
    if (name == "tanh") return std::tanh(a);
    if (name == "exp") return std::exp(a);
    if (name == "log" || name == "ln") return std::log(a);
    if (name == "log10") return std::log10(a);
    if (name == "sqrt") return std::sqrt(a);
    if (name == "abs") return std::fabs(a);
    if (name == "pow") return std::pow(a, b);
    if (name == "atan2") return std::atan2(a, b);
    *ok = 0;
    return 0;
}

static double e_prim(ExprState& st) {
    if (++st.depth > kMaxDepth) {
        st.err = 1;
        return 0;
    }
    struct DepthGuard {
        ExprState& s;
        ~DepthGuard() { --s.depth; }
    } guard{st};

    while (st.pos < st.s.size() &&
           (std::isspace(static_cast<unsigned char>(st.s[st.pos])) || st.s[st.pos] == '+'))
        ++st.pos;
    char c = st.peek();
    if (c == '-') {
        ++st.pos;
        return -e_prim(st);
    }
    if (c == '(') {
        ++st.pos;
        double v = e_expr(st);
        skip(st);
        if (st.peek() != ')') {
            st.err = 1;
            return v;
        }
        ++st.pos;
        return v;
    }
    if (std::isdigit(static_cast<unsigned char>(c)) || c == '.') {
        const char* start = st.s.c_str() + st.pos;
        char* end = nullptr;
        double v = std::strtod(start, &end);
        if (end == start) {
            st.err = 1;
            return 0;
        }
        st.pos += static_cast<size_t>(end - start);
        return v;
    }
    if (std::isalpha(static_cast<unsigned char>(c))) {
        std::string id;
        while (st.pos < st.s.size() && id.size() < 31) {
            unsigned char ch = static_cast<unsigned char>(st.s[st.pos]);
            if (!(std::isalnum(ch) || ch == '_')) break;
            id += static_cast<char>(std::tolower(ch));
            ++st.pos;
        }
        if (id == "t" && st.t_param) return st.t;
        skip(st);
        double v = 0;
        if (st.peek() != '(' && expr_getvar(id, &v)) return v;
        if (id == "pi") return phys::pi;
        if (id == "e") return 2.718281828459045;
        if (st.peek() != '(') {
            st.err = 1;
            return 0;
        }
        ++st.pos;
        double a = e_expr(st), b = 0;
        skip(st);
        if (st.peek() == ',') {
            ++st.pos;
            b = e_expr(st);
            skip(st);
        }
        if (st.peek() != ')') {
            st.err = 1;
            return 0;
        }
        ++st.pos;
        int ok = 0;
        double r = call_fn(id, a, b, &ok);
        if (!ok) {
            st.err = 1;
            return 0;
        }
        return r;
    }
    st.err = 1;
    return 0;
}

static double e_pow(ExprState& st) {
    if (++st.depth > kMaxDepth) {
        st.err = 1;
        return 0;
    }
    double base = e_prim(st);
    skip(st);
    if (!st.err && st.peek() == '^') {
        ++st.pos;
        double ex = e_pow(st);
        base = std::pow(base, ex);
    }
    --st.depth;
    return base;
}

static double e_term(ExprState& st) {
    double v = e_pow(st);
    for (;;) {
        if (st.err) return v;
        skip(st);
        char c = st.peek();
        if (c == '*') {
            ++st.pos;
            v *= e_pow(st);
        } else if (c == '/') {
            ++st.pos;
            v /= e_pow(st);
        } else {
            return v;
        }
    }
}

static double e_expr(ExprState& st) {
    if (++st.depth > kMaxDepth) {
        st.err = 1;
        return 0;
    }
    double v = e_term(st);
    for (;;) {
        if (st.err) break;
        skip(st);
        char c = st.peek();
        if (c == '+') {
            ++st.pos;
            v += e_term(st);
        } else if (c == '-') {
            ++st.pos;
            v -= e_term(st);
        } else {
            break;
        }
    }
    --st.depth;
    return v;
}

namespace {

int eval_whole(ExprState& st, double* out) {
    double v = e_expr(st);
    skip(st);
    if (st.err || st.pos != st.s.size()) return -1;
    if (out) *out = v;
    return 0;
}

} // namespace

int expr_eval(const std::string& text, double t, double* out) {
    ExprState st{text};
    st.t = t;
    return eval_whole(st, out);
}

int expr_eval_symbols(const std::string& text, double* out) {
    ExprState st{text};
    st.t_param = false;
    return eval_whole(st, out);
}
