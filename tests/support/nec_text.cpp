#include "nec_text.h"

#include <cstdio>
#include <memory>

#include "model/expr.h"
#include "model/nec.h"

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

} // namespace

int read_nec_text(const std::string& text, Model& m, std::string& err) {
    std::unique_ptr<std::FILE, FileCloser> f(std::tmpfile());
    if (!f) return -99;
    std::fwrite(text.data(), 1, text.size(), f.get());
    std::rewind(f.get());
    m = Model();
    m.is_nec = 1;
    expr_clearvars();
    return read_nec(f.get(), m, err);
}
