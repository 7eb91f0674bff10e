#include "project/picture.h"

#include <QBuffer>
#include <QByteArray>

namespace picture {

QImage decode(const QString &text)
{
    if (text.isEmpty())
        return QImage();
    const QByteArray bytes = QByteArray::fromBase64(text.toLatin1());
    // PNG only: a project file may come from anyone, and every other
    // decoder Qt has would otherwise read what it holds.
    return QImage::fromData(bytes, "PNG");
}

QString encode(const QImage &image)
{
    if (image.isNull())
        return QString();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.convertToFormat(QImage::Format_RGB32).save(&buffer, "PNG");
    return QString::fromLatin1(bytes.toBase64());
}

bool fits(const QImage &image)
{
    return image.width() <= kLargest && image.height() <= kLargest;
}

std::vector<std::uint32_t> pixelsOf(const QImage &image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    std::vector<std::uint32_t> pixels;
    pixels.reserve(size_t(rgb.width()) * size_t(rgb.height()));
    for (int y = 0; y < rgb.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x)
            pixels.push_back(std::uint32_t(line[x]) & 0xFFFFFFu);
    }
    return pixels;
}

} // namespace picture
