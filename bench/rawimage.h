#pragma once

// The picture benchmark's images, in memory and as the files bench_picture
// hands to its Windows helper under Wine: two 32-bit little-endian words
// (width, height), then width * height pixels 0x00RRGGBB, row after row.
// Plain C++, so that both sides share one format.

#include "run/picturematch.h"

#include <cstdint>
#include <cstdio>
#include <vector>

namespace rawimage {

struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    picturematch::View view() const { return {pixels.data(), width, height, width}; }
};

inline bool write(const char *path, const Image &image)
{
    std::FILE *f = std::fopen(path, "wb");
    if (!f)
        return false;
    const std::int32_t size[2] = {image.width, image.height};
    bool ok = std::fwrite(size, sizeof size, 1, f) == 1
        && std::fwrite(image.pixels.data(), sizeof(std::uint32_t), image.pixels.size(), f) == image.pixels.size();
    ok = std::fclose(f) == 0 && ok;
    return ok;
}

inline bool read(const char *path, Image &image)
{
    std::FILE *f = std::fopen(path, "rb");
    if (!f)
        return false;
    std::int32_t size[2] = {0, 0};
    bool ok = std::fread(size, sizeof size, 1, f) == 1 && size[0] > 0 && size[1] > 0;
    if (ok) {
        image.width = size[0];
        image.height = size[1];
        image.pixels.resize(std::size_t(size[0]) * std::size_t(size[1]));
        ok = std::fread(image.pixels.data(), sizeof(std::uint32_t), image.pixels.size(), f) == image.pixels.size();
    }
    std::fclose(f);
    return ok;
}

} // namespace rawimage
