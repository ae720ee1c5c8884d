// A small builder of self-contained SVG documents for the plots: elements
// are appended as text in user units (one unit is one pixel of the
// document's size), coordinates with two decimals, texts escaped for XML.
// Generic font families only, no scripts, no external references.
#pragma once

#include <string>
#include <vector>

// The text with & < > " ' written as XML references, control characters
// dropped and bytes that are not UTF-8 taken as Latin-1 characters, so that
// any title makes a well-formed document.
std::string xml_escape(const std::string& s);

// Style of a stroked or filled shape: colours as "#rrggbb" or "none".
struct SvgStyle {
    const char* stroke = "none";
    double width = 1;
    const char* fill = "none";
    const char* dash = nullptr; // stroke-dasharray, e.g. "4 3"
};

class Svg {
  public:
    Svg(double width, double height, const std::string& title);

    void line(double x1, double y1, double x2, double y2, const SvgStyle& st);
    void circle(double cx, double cy, double r, const SvgStyle& st);
    void rect(double x, double y, double w, double h, const SvgStyle& st);
    void path(const std::string& d, const SvgStyle& st);
    // anchor: "start", "middle" or "end"; the text is escaped here.
    // halo: a white outline under the letters, for labels that sit on lines.
    void text(double x, double y, const std::string& s, double size, const char* anchor = "middle",
              const char* fill = "#202020", bool halo = false);
    // A clip region: a rectangle or a circle, referred to as url(#id).
    void clip_rect(const char* id, double x, double y, double w, double h);
    void clip_circle(const char* id, double cx, double cy, double r);
    // <g> with attributes given as ready text (e.g. clip-path="url(#a)").
    void group_open(const std::string& attrs);
    void group_close();

    // The finished document.
    std::string finish();

  private:
    std::string doc_;
};

// Number for an SVG attribute: two decimals, bounded so that wild values
// stay valid numbers.
std::string svg_num(double v);

// Path data of a polyline through the points; a point whose coordinates are
// not finite breaks the line there.
std::string svg_polyline(const std::vector<double>& x, const std::vector<double>& y);
