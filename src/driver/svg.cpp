#include "driver/svg.h"

#include <algorithm>
#include <cmath>

#include "common/text.h"

namespace {

// Coordinates beyond this are clamped: the plots never need them, and the
// numbers stay short.
constexpr double kMaxCoord = 1e6;

const char* kFont = "DejaVu Sans, Helvetica, Arial, sans-serif";

std::string style_attrs(const SvgStyle& st) {
    std::string s = strfmt(" stroke=\"%s\" fill=\"%s\"", st.stroke, st.fill);
    if (std::string(st.stroke) != "none") s += " stroke-width=\"" + svg_num(st.width) + "\"";
    if (st.dash) s += strfmt(" stroke-dasharray=\"%s\"", st.dash);
    return s;
}

} // namespace

std::string xml_escape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        size_t n = utf8_len(s, i);
        if (n == 0) { // not UTF-8: the Latin-1 character of the byte
            out += strfmt("&#x%02X;", static_cast<unsigned>(c));
            ++i;
            continue;
        }
        if (n == 1) {
            switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                if (c >= 32 && c != 127) out += static_cast<char>(c);
            }
        } else if (!(n == 3 && c == 0xEF && static_cast<unsigned char>(s[i + 1]) == 0xBF &&
                     static_cast<unsigned char>(s[i + 2]) >= 0xBE)) {
            out.append(s, i, n); // U+FFFE and U+FFFF are no XML characters
        }
        i += n;
    }
    return out;
}

std::string svg_num(double v) {
    if (!std::isfinite(v)) v = 0;
    v = std::clamp(v, -kMaxCoord, kMaxCoord);
    std::string s = strfmt("%.2f", v);
    if (s == "-0.00") s = "0.00";
    return s;
}

std::string svg_polyline(const std::vector<double>& x, const std::vector<double>& y) {
    std::string d;
    bool pen = false;
    const size_t n = std::min(x.size(), y.size());
    for (size_t i = 0; i < n; ++i) {
        if (!std::isfinite(x[i]) || !std::isfinite(y[i])) {
            pen = false;
            continue;
        }
        d += pen ? " L" : (d.empty() ? "M" : " M");
        d += svg_num(x[i]) + "," + svg_num(y[i]);
        pen = true;
    }
    return d;
}

Svg::Svg(double width, double height, const std::string& title) {
    doc_ = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    doc_ += "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" + svg_num(width) +
            "\" height=\"" + svg_num(height) + "\" viewBox=\"0 0 " + svg_num(width) + " " +
            svg_num(height) + "\" font-family=\"" + kFont + "\">\n";
    doc_ += "<title>" + xml_escape(title) + "</title>\n";
    rect(0, 0, width, height, {"none", 0, "#ffffff"});
}

void Svg::line(double x1, double y1, double x2, double y2, const SvgStyle& st) {
    doc_ += "<line x1=\"" + svg_num(x1) + "\" y1=\"" + svg_num(y1) + "\" x2=\"" + svg_num(x2) +
            "\" y2=\"" + svg_num(y2) + "\"" + style_attrs(st) + "/>\n";
}

void Svg::circle(double cx, double cy, double r, const SvgStyle& st) {
    doc_ += "<circle cx=\"" + svg_num(cx) + "\" cy=\"" + svg_num(cy) + "\" r=\"" +
            svg_num(std::max(r, 0.0)) + "\"" + style_attrs(st) + "/>\n";
}

void Svg::rect(double x, double y, double w, double h, const SvgStyle& st) {
    doc_ += "<rect x=\"" + svg_num(x) + "\" y=\"" + svg_num(y) + "\" width=\"" +
            svg_num(std::max(w, 0.0)) + "\" height=\"" + svg_num(std::max(h, 0.0)) + "\"" +
            style_attrs(st) + "/>\n";
}

void Svg::path(const std::string& d, const SvgStyle& st) {
    if (d.empty()) return;
    doc_ += "<path d=\"" + d + "\"" + style_attrs(st) + " stroke-linejoin=\"round\"/>\n";
}

void Svg::text(double x, double y, const std::string& s, double size, const char* anchor,
               const char* fill, bool halo) {
    doc_ += "<text x=\"" + svg_num(x) + "\" y=\"" + svg_num(y) + "\" font-size=\"" + svg_num(size) +
            "\" text-anchor=\"" + anchor + "\" fill=\"" + fill + "\"";
    if (halo) doc_ += " stroke=\"#ffffff\" stroke-width=\"3\" paint-order=\"stroke\"";
    doc_ += '>';
    doc_ += xml_escape(s);
    doc_ += "</text>\n";
}

void Svg::clip_rect(const char* id, double x, double y, double w, double h) {
    doc_ += strfmt("<clipPath id=\"%s\"><rect x=\"", id) + svg_num(x) + "\" y=\"" + svg_num(y) +
            "\" width=\"" + svg_num(w) + "\" height=\"" + svg_num(h) + "\"/></clipPath>\n";
}

void Svg::clip_circle(const char* id, double cx, double cy, double r) {
    doc_ += strfmt("<clipPath id=\"%s\"><circle cx=\"", id) + svg_num(cx) + "\" cy=\"" +
            svg_num(cy) + "\" r=\"" + svg_num(r) + "\"/></clipPath>\n";
}

void Svg::group_open(const std::string& attrs) {
    doc_ += "<g " + attrs + ">\n";
}

void Svg::group_close() {
    doc_ += "</g>\n";
}

std::string Svg::finish() {
    return doc_ + "</svg>\n";
}
