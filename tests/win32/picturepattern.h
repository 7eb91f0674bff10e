#pragma once

// A small picture whose pixels all differ, that the receiver window paints on
// request and the Wine tests look for: the same formula on both sides.

constexpr int kPatternWidth = 20;
constexpr int kPatternHeight = 14;

/// 0xRRGGBB of the pattern's pixel (x, y).
inline unsigned patternPixel(int x, int y)
{
    const unsigned r = unsigned(37 * x + 11 * y) & 255u;
    const unsigned g = unsigned(5 * x * y + 60) & 255u;
    const unsigned b = unsigned(200 - 7 * y + 3 * x) & 255u;
    return r << 16 | g << 8 | b;
}
