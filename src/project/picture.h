#pragma once

// A picture a page looks for on the screen, as its record stores it: the PNG
// file's bytes in base64, so that a project stays one text file.

#include <QImage>
#include <QString>

#include <cstdint>
#include <vector>

namespace picture {

/// Largest width and height a page's picture may have, in pixels: a search
/// costs time with the picture's size, and a bigger one is rarely what a
/// person means to wait for.
constexpr int kLargest = 512;

/// The picture a record's text holds; a null image for an empty text, or
/// one that is not a base64 PNG.
QImage decode(const QString &text);
/// The record's text for a picture: PNG, base64. Empty for a null image.
QString encode(const QImage &image);
/// True when the image is within kLargest in both directions.
bool fits(const QImage &image);

/// The picture's pixels as 0x00RRGGBB words, row after row (what the
/// matcher and the screen grab speak). Transparency is dropped: every
/// pixel counts.
std::vector<std::uint32_t> pixelsOf(const QImage &image);

} // namespace picture
