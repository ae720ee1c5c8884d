// Reading PNG files (through libpng) for the tests that render the plots.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Rgb {
    int r = 255, g = 255, b = 255;
};

// An 8-bit RGBA image composited onto white, so that every pixel is what a
// viewer shows.
struct Image {
    int width = 0, height = 0;
    std::vector<Rgb> px; // row-major, top row first

    Rgb at(int x, int y) const; // white outside the image
    bool ok() const { return width > 0 && height > 0; }
};

// The image, or an empty one (width 0) with the reason in err.
Image png_read(const std::string& path, std::string& err);
