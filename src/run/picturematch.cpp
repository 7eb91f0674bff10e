#include "run/picturematch.h"

#include <cstdlib>

namespace picturematch {

Matcher::Matcher(const View &picture, int tolerance)
    : width_(picture.width), height_(picture.height), tolerance_(tolerance)
{
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x)
            pixels_.push_back(picture.pixels[y * picture.stride + x]);
}

std::optional<Position> Matcher::first(const View &screen) const
{
    auto found = all(screen, 1);
    if (found.empty())
        return std::nullopt;
    return found.front();
}

std::vector<Position> Matcher::all(const View &screen, std::size_t limit) const
{
    std::vector<Position> out;
    if (width_ <= 0 || height_ <= 0 || width_ > screen.width || height_ > screen.height)
        return out;
    auto near = [this](std::uint32_t a, std::uint32_t b) {
        for (int s : {16, 8, 0})
            if (std::abs(int((a >> s) & 255) - int((b >> s) & 255)) > tolerance_)
                return false;
        return true;
    };
    for (int y = 0; y + height_ <= screen.height; ++y)
        for (int x = 0; x + width_ <= screen.width; ++x) {
            bool ok = true;
            for (int py = 0; py < height_ && ok; ++py)
                for (int px = 0; px < width_ && ok; ++px)
                    ok = near(pixels_[py * width_ + px], screen.pixels[(y + py) * screen.stride + x + px]);
            if (ok) {
                out.push_back({x, y});
                if (out.size() >= limit)
                    return out;
            }
        }
    return out;
}

} // namespace picturematch
