// The picture matcher against a plain search over every place and every
// pixel, on seeded random screens with the picture planted where each row
// says.

#include "run/picturematch.h"

#include <QList>
#include <QPoint>
#include <QRandomGenerator>
#include <QSize>
#include <QtTest>

#include <cstdlib>
#include <vector>

using picturematch::Matcher;
using picturematch::Position;
using picturematch::View;

namespace {

struct Image {
    int width = 0, height = 0, stride = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t &at(int x, int y) { return pixels[std::size_t(y) * std::size_t(stride) + std::size_t(x)]; }
    View view() const { return {pixels.data(), width, height, stride}; }
};

// Random colours from `colours` (none: any colour), random top bytes when
// `topBytes`, and random padding past the width.
Image randomImage(QRandomGenerator &random, QSize size, int pad, const std::vector<std::uint32_t> &colours, bool topBytes)
{
    Image image{size.width(), size.height(), size.width() + pad, {}};
    image.pixels.resize(std::size_t(image.stride) * std::size_t(std::max(0, image.height)));
    for (auto &p : image.pixels) {
        const std::uint32_t rgb = colours.empty() ? random.generate() & 0xffffff
                                                  : colours[random.bounded(quint32(colours.size()))];
        p = rgb | (topBytes ? random.generate() & 0xff000000 : 0);
    }
    return image;
}

// Where the picture matches, by the rule as written: every place, every pixel.
QList<QPoint> reference(const View &screen, const View &picture, int tolerance, qsizetype limit = -1)
{
    QList<QPoint> found;
    if (picture.width <= 0 || picture.height <= 0)
        return found;
    for (int y = 0; y + picture.height <= screen.height; ++y)
        for (int x = 0; x + picture.width <= screen.width; ++x) {
            bool ok = true;
            for (int py = 0; py < picture.height && ok; ++py)
                for (int px = 0; px < picture.width && ok; ++px) {
                    const std::uint32_t s = screen.pixels[(y + py) * screen.stride + x + px];
                    const std::uint32_t p = picture.pixels[py * picture.stride + px];
                    for (int shift : {16, 8, 0})
                        ok = ok && std::abs(int((s >> shift) & 0xff) - int((p >> shift) & 0xff)) <= tolerance;
                }
            if (ok && found.size() != limit)
                found.append(QPoint(x, y));
        }
    return found;
}

QList<QPoint> points(const std::vector<Position> &positions)
{
    QList<QPoint> list;
    for (const Position &p : positions)
        list.append(QPoint(p.x, p.y));
    return list;
}

} // namespace

class TestPictureMatch : public QObject {
    Q_OBJECT
private slots:
    void matchesTheReference_data()
    {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<int>("screenPad");
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<int>("picturePad");
        QTest::addColumn<int>("palette");
        QTest::addColumn<bool>("topBytes");
        QTest::addColumn<QList<QPoint>>("plants");
        QTest::addColumn<int>("channel"); // 16 red, 8 green, 0 blue: raised at plant 0, picture pixel (1, 1)
        QTest::addColumn<int>("raise");
        QTest::addColumn<int>("tolerance");
        QTest::addColumn<int>("expectedCount"); // -1: not known in advance

        const QSize s(64, 40), p(6, 5);
        using L = QList<QPoint>;
        auto planted = [&](const char *name, const QPoint &at) {
            QTest::newRow(name) << s << 0 << p << 0 << 0 << false << L{at} << 0 << 0 << 0 << 1;
        };
        planted("top left", {0, 0});
        planted("top right", {58, 0});
        planted("bottom left", {0, 35});
        planted("bottom right", {58, 35});
        planted("top edge", {27, 0});
        planted("left edge", {0, 17});
        planted("right edge", {58, 20});
        planted("bottom edge", {31, 35});
        planted("middle", {21, 13});
        for (int channel : {16, 8, 0}) {
            const char *c = channel == 16 ? "red" : channel == 8 ? "green" : "blue";
            QTest::addRow("%s off by 7, tolerance 7", c) << s << 0 << p << 0 << 0 << false << L{{9, 4}} << channel << 7 << 7 << -1;
            QTest::addRow("%s off by 7, tolerance 6", c) << s << 0 << p << 0 << 0 << false << L{{9, 4}} << channel << 7 << 6 << 0;
        }
        QTest::newRow("tolerance 255: everywhere") << s << 0 << p << 0 << 0 << false << L{} << 0 << 0 << 255 << 59 * 36;
        QTest::newRow("tolerance 0: nowhere") << s << 0 << p << 0 << 0 << false << L{} << 0 << 0 << 0 << 0;
        QTest::newRow("two, same row") << s << 0 << p << 0 << 0 << false << L{{40, 7}, {3, 7}} << 0 << 0 << 0 << 2;
        QTest::newRow("two, later row further left") << s << 0 << p << 0 << 0 << false << L{{50, 3}, {2, 30}} << 0 << 0 << 0 << 2;
        QTest::newRow("one pixel, three colours") << s << 0 << QSize(1, 1) << 0 << 3 << false << L{} << 0 << 0 << 0 << -1;
        QTest::newRow("one pixel, tolerance 40") << s << 0 << QSize(1, 1) << 0 << 0 << false << L{{5, 5}} << 0 << 0 << 40 << -1;
        QTest::newRow("two colours, tolerance 0") << s << 0 << QSize(3, 2) << 0 << 2 << false << L{} << 0 << 0 << 0 << -1;
        QTest::newRow("two colours, tolerance 30") << s << 0 << QSize(3, 3) << 0 << 2 << false << L{} << 0 << 0 << 30 << -1;
        QTest::newRow("one colour: everywhere") << s << 0 << p << 0 << 1 << false << L{} << 0 << 0 << 0 << 59 * 36;
        QTest::newRow("wider than the screen") << s << 0 << QSize(65, 2) << 0 << 1 << false << L{} << 0 << 0 << 255 << 0;
        QTest::newRow("taller than the screen") << s << 0 << QSize(2, 41) << 0 << 1 << false << L{} << 0 << 0 << 255 << 0;
        QTest::newRow("as large as the screen") << s << 0 << s << 0 << 0 << false << L{{0, 0}} << 0 << 0 << 0 << 1;
        QTest::newRow("empty picture") << s << 0 << QSize(0, 0) << 0 << 1 << false << L{} << 0 << 0 << 255 << 0;
        QTest::newRow("top bytes differ") << s << 0 << p << 0 << 0 << true << L{{30, 20}} << 0 << 0 << 0 << 1;
        QTest::newRow("top bytes, tolerance 3") << s << 0 << p << 0 << 0 << true << L{{30, 20}} << 8 << 3 << 3 << 1;
        QTest::newRow("strides past the width") << s << 13 << p << 5 << 0 << false << L{{58, 35}, {7, 2}} << 0 << 0 << 0 << 2;
        QTest::newRow("wide screen, strides, 4 colours") << QSize(301, 97) << 19 << QSize(3, 2) << 3 << 4 << true << L{{298, 95}} << 0 << 0 << 20 << -1;
    }
    void matchesTheReference()
    {
        QFETCH(QSize, screen);
        QFETCH(int, screenPad);
        QFETCH(QSize, picture);
        QFETCH(int, picturePad);
        QFETCH(int, palette);
        QFETCH(bool, topBytes);
        QFETCH(QList<QPoint>, plants);
        QFETCH(int, channel);
        QFETCH(int, raise);
        QFETCH(int, tolerance);
        QFETCH(int, expectedCount);

        QRandomGenerator random(quint32(qHash(QByteArray(QTest::currentDataTag()))));
        std::vector<std::uint32_t> colours(static_cast<std::size_t>(palette));
        for (auto &c : colours)
            c = random.generate() & 0xffffff;
        Image shown = randomImage(random, screen, screenPad, colours, topBytes);
        Image wanted = randomImage(random, picture, picturePad, colours, topBytes);
        for (const QPoint &at : plants)
            for (int y = 0; y < wanted.height; ++y)
                for (int x = 0; x < wanted.width; ++x)
                    shown.at(at.x() + x, at.y() + y) = (wanted.at(x, y) & 0xffffff) | (random.generate() & 0xff000000);
        if (raise) {
            // Away from the picture's own value in that channel, so the difference is exactly `raise`.
            std::uint32_t &px = shown.at(plants.front().x() + 1, plants.front().y() + 1);
            const int value = int((px >> channel) & 0xff);
            const int moved = value + raise <= 255 ? value + raise : value - raise;
            px = (px & ~(0xffu << channel)) | (std::uint32_t(moved) << channel);
        }

        const QList<QPoint> expected = reference(shown.view(), wanted.view(), tolerance);
        if (expectedCount >= 0)
            QCOMPARE(expected.size(), expectedCount);
        for (const QPoint &at : plants)
            if (expectedCount != 0)
                QVERIFY2(expected.contains(at), "the reference misses a planted picture");

        const Matcher matcher(wanted.view(), tolerance);
        QCOMPARE(matcher.width(), picture.width());
        QCOMPARE(matcher.height(), picture.height());
        QCOMPARE(points(matcher.all(shown.view())), expected);
        const auto first = matcher.first(shown.view());
        QCOMPARE(first.has_value(), !expected.isEmpty());
        if (first)
            QCOMPARE(QPoint(first->x, first->y), expected.front());
        for (std::size_t limit : {0, 1, 3})
            QCOMPARE(points(matcher.all(shown.view(), limit)), expected.mid(0, qsizetype(limit)));

        // The matcher keeps its own copy: the caller's picture may go away.
        std::fill(wanted.pixels.begin(), wanted.pixels.end(), ~0u);
        QCOMPARE(points(matcher.all(shown.view())), expected);
    }
};

QTEST_APPLESS_MAIN(TestPictureMatch)
#include "tst_picturematch.moc"
