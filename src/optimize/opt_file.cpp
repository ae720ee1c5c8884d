#include "optimize/opt_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>

#include "common/text.h"
#include "driver/outfile.h"
#include "driver/run.h"
#include "model/tokens.h"

namespace {

bool is_sep(char c) {
    return c == ',' || std::isspace(static_cast<unsigned char>(c));
}

// A line as the model reader sees it: a TITLE line, or the tokens before
// the first '#' or ';' (at most 64, split exactly as the reader splits
// them), the text beyond the 64th token that the reader ignores, and the
// comment.
struct Parsed {
    bool title = false;
    Tokens t;
    std::string tail;
    std::string comment;
};

// "TITLE" after leading white space, followed by white space: the reader
// takes the rest of the line as the title.
bool title_line(const std::string& line) {
    size_t i = 0;
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    return line.size() >= i + 6 && iequals(line.substr(i, 5), "TITLE") &&
           std::isspace(static_cast<unsigned char>(line[i + 5]));
}

Parsed parse(const std::string& line) {
    Parsed p;
    if (title_line(line)) {
        p.title = true;
        return p;
    }
    size_t cmt = line.find_first_of("#;");
    std::string body = line.substr(0, cmt);
    if (cmt != std::string::npos) p.comment = line.substr(cmt);
    size_t i = 0, n = body.size();
    while (i < n && static_cast<int>(p.t.size()) < kMaxTokens) {
        while (i < n && is_sep(body[i])) ++i;
        if (i >= n) break;
        if (body[i] == '"') {
            size_t close = body.find('"', i + 1);
            if (close == std::string::npos) {
                p.t.push_back(body.substr(i + 1));
                i = n;
            } else {
                p.t.push_back(body.substr(i + 1, close - i - 1));
                i = close + 1;
            }
        } else {
            size_t s = i;
            while (i < n && !is_sep(body[i])) ++i;
            p.t.push_back(body.substr(s, i - s));
        }
    }
    while (i < n && is_sep(body[i])) ++i;
    size_t e = n;
    while (e > i && is_sep(body[e - 1])) --e;
    if (e > i) p.tail = body.substr(i, e - i);
    return p;
}

// A token written so that the reader reads it back as the same single
// token: in double quotes when it is empty or holds a separator.
std::string quoted(const std::string& tok) {
    bool plain = !tok.empty() && tok[0] != '"' && std::none_of(tok.begin(), tok.end(), is_sep);
    if (plain) return tok;
    std::string q = "\"";
    q += tok;
    q += '"';
    return q;
}

// Index of the OPTVAR that an assignment to name sets (the reader cuts
// names to 31 characters and compares them without regard to case; the
// last OPTVAR of a name is the override that counts), or -1.
int tuned_index(const std::vector<OptVar>& vars, size_t nbest, std::string name) {
    cut(name, kNameMax);
    int k = -1;
    for (size_t i = 0; i < vars.size() && i < nbest; ++i)
        if (iequals(vars[i].name, name)) k = static_cast<int>(i);
    return k;
}

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f) std::fclose(f);
    }
};

bool read_whole(const std::string& path, std::string* text) {
    std::unique_ptr<std::FILE, FileCloser> f(std::fopen(path.c_str(), "rb"));
    if (!f) return false;
    text->clear();
    std::vector<char> buf(65536);
    size_t got;
    while ((got = std::fread(buf.data(), 1, buf.size(), f.get())) > 0)
        text->append(buf.data(), got);
    return !std::ferror(f.get());
}

} // namespace

std::string opt_file_name(const std::string& model_path) {
    size_t dot = model_path.rfind('.');
    std::string name = dot == std::string::npos ? model_path : model_path.substr(0, dot);
    name += "_opt.ant";
    return name;
}

bool opt_rebuild_var_line(const std::string& text, const std::vector<OptVar>& vars,
                          std::span<const double> best, std::string* out) {
    Parsed p = parse(text);
    if (p.title || p.t.empty() || !(iequals(p.t[0], "VAR") || iequals(p.t[0], "PARAM")))
        return false;

    // One item per assignment as the reader pairs them: "name=value" or the
    // two tokens "name value".
    std::vector<std::string> items;
    for (size_t i = 1; i < p.t.size(); ++i) {
        const std::string& tok = p.t[i];
        size_t eq = tok.find('=');
        if (eq != std::string::npos) {
            int k = tuned_index(vars, best.size(), tok.substr(0, eq));
            if (k < 0)
                items.push_back(quoted(tok));
            else
                items.push_back(quoted(tok.substr(0, eq) + strfmt("=%.6g", best[k])));
        } else if (i + 1 < p.t.size()) {
            int k = tuned_index(vars, best.size(), tok);
            std::string item = quoted(tok);
            item += ' ';
            item += k < 0 ? quoted(p.t[i + 1]) : strfmt("%.6g", best[k]);
            items.push_back(item);
            ++i;
        } else {
            items.push_back(quoted(tok)); // a name without value (the reader refuses it)
        }
    }

    const std::string kw = upper(p.t[0]);
    std::string line = kw;
    for (const std::string& it : items) {
        line += ' ';
        line += it;
    }
    if (!p.tail.empty()) {
        line += ' ';
        line += p.tail; // beyond the 64th token: still ignored by the reader
    }
    if (!p.comment.empty()) {
        line += "  ";
        line += p.comment;
    }
    if (line.size() <= kLineMax) {
        *out = line;
        return true;
    }

    // Longer than the reader takes in one piece (the rest would be read as
    // a line of its own): several lines of the same keyword, split between
    // assignments, which the reader applies in the same order. Text beyond
    // the 64th token cannot stay ignored on shorter lines and is left out.
    std::string lines, cur = kw;
    bool cur_items = false;
    for (const std::string& it : items) {
        if (cur_items && cur.size() + 1 + it.size() > kLineMax) {
            lines += cur;
            lines += '\n';
            cur = kw;
        }
        cur += ' ';
        cur += it;
        cur_items = true;
    }
    if (!p.comment.empty()) {
        if (cur.size() + 2 + p.comment.size() > kLineMax) {
            lines += cur;
            lines += '\n';
            cur.clear();
        }
        cur += "  ";
        cur += p.comment;
    }
    lines += cur;
    *out = lines;
    return true;
}

std::string opt_model_text(const std::string& model_text, const std::vector<OptVar>& vars,
                           std::span<const double> best, double cost) {
    std::string out = strfmt("# optimized by Quarlin %s: cost %.4f\n", kVersion, cost);
    bool ended = false; // after END the reader reads nothing more
    size_t pos = 0;
    while (pos < model_text.size()) {
        // The pieces the reader takes: up to a line feed, at most kLineMax
        // characters.
        size_t nl = model_text.find('\n', pos);
        size_t end = nl == std::string::npos ? model_text.size() : nl + 1;
        end = std::min(end, pos + kLineMax);
        std::string piece = model_text.substr(pos, end - pos);
        pos = end;
        if (ended) {
            out += piece;
            continue;
        }
        // The reader sees a piece up to its first NUL byte.
        std::string line = piece.substr(0, piece.find('\0'));
        const char* eol = "\n";
        if (line.ends_with("\r\n")) {
            line.resize(line.size() - 2);
            eol = "\r\n";
        } else if (line.ends_with('\n')) {
            line.resize(line.size() - 1);
        }
        std::string rebuilt;
        if (opt_rebuild_var_line(line, vars, best, &rebuilt)) {
            out += rebuilt;
            out += eol;
            continue;
        }
        Parsed p = parse(line);
        if (!p.title && !p.t.empty() && iequals(p.t[0], "END")) ended = true;
        out += piece;
    }
    return out;
}

int opt_write_model(const std::string& model_path, const std::string& out_path,
                    const std::vector<OptVar>& vars, std::span<const double> best, double cost) {
    std::string text;
    if (!read_whole(model_path, &text)) return OPT_CANNOT_READ;
    if (out_path.size() > kOptFileNameMax) return OPT_CANNOT_WRITE;
    std::string opt_text = opt_model_text(text, vars, best, cost);
    OutFile f(out_path);
    if (!f.open()) return OPT_CANNOT_WRITE;
    std::fwrite(opt_text.data(), 1, opt_text.size(), f.file());
    return f.commit() ? OPT_WRITTEN : OPT_CANNOT_WRITE;
}

bool opt_can_write(const std::string& out_path) {
    if (out_path.size() > kOptFileNameMax) return false;
    struct stat st;
    if (::stat(out_path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return false;
    OutFile probe(out_path); // its temporary file is removed again
    return probe.open();
}
