#pragma once

// Finding a picture on a screen image: where the picture's top-left can sit,
// wholly inside the screen, so that every picture pixel's red, green and blue
// each lie within the tolerance of the screen pixel under it. Plain C++ with
// no Qt and no platform code, so that the run, the tests and the benchmark
// share one rule.

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
    int width() const;
    int height() const;

private:
    struct Probe {
        int x = 0;
        int y = 0;
        std::uint32_t rgb = 0;
    };
    std::vector<Position> search(const View &screen, std::size_t limit) const;
    std::vector<Probe> probeOrder(const View &screen) const;
    bool wholeMatch(const View &screen, int x, int y) const;

    std::vector<std::uint32_t> m_pixels; // width * height, top byte cleared
    int m_width = 0;
    int m_height = 0;
    int m_tolerance = 0;
    // Pixels of rare colours in the picture, tried first: their order is
    // decided per screen by how often each colour occurs there.
    std::vector<Probe> m_probes;
};

} // namespace picturematch
