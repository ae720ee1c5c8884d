#include "png_image.h"

#include <png.h>

#include <cstring>

Rgb Image::at(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return Rgb{};
    return px[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
}

Image png_read(const std::string& path, std::string& err) {
    Image img;
    png_image pi;
    std::memset(&pi, 0, sizeof pi);
    pi.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&pi, path.c_str())) {
        err = pi.message;
        return img;
    }
    pi.format = PNG_FORMAT_RGBA;
    std::vector<unsigned char> buf(PNG_IMAGE_SIZE(pi));
    if (!png_image_finish_read(&pi, nullptr, buf.data(), 0, nullptr)) {
        err = pi.message;
        png_image_free(&pi);
        return img;
    }
    img.width = static_cast<int>(pi.width);
    img.height = static_cast<int>(pi.height);
    img.px.resize(static_cast<size_t>(img.width) * static_cast<size_t>(img.height));
    for (size_t i = 0; i < img.px.size(); ++i) {
        const unsigned char* p = &buf[4 * i];
        auto over_white = [&](int c) { return (c * p[3] + 255 * (255 - p[3]) + 127) / 255; };
        img.px[i] = Rgb{over_white(p[0]), over_white(p[1]), over_white(p[2])};
    }
    return img;
}
