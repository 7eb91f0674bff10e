#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace picturematch {
/// Pixels 0x00RRGGBB (top byte ignored), row after row, `stride` pixels from one row to the next.
struct View {
    const std::uint32_t *pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
};
struct Position {
    int x = 0;
    int y = 0;
    bool operator==(const Position &o) const { return x == o.x && y == o.y; }
};

/// A picture prepared once for many searches (a condition polls every 100 ms): it keeps its own copy of the pixels.
class Matcher {
public:
    Matcher(const View &picture, int tolerance);
    /// The first match in reading order, or none.
    std::optional<Position> first(const View &screen) const;
    /// Every match in reading order, at most `limit`.
    std::vector<Position> all(const View &screen, std::size_t limit = SIZE_MAX) const;
    int width() const { return width_; }
    int height() const { return height_; }

private:
    std::vector<std::uint32_t> pixels_;
    int width_ = 0;
    int height_ = 0;
    int tolerance_ = 0;
};
} // namespace picturematch
