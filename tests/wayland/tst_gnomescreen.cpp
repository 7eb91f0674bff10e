// Reading the screen of a GNOME Wayland session: the GNOME backend's
// pixels against a real Mutter. A full-screen Wayland window of the test's
// own shows colours and a picture; the backend reads them from its screen
// cast, and the built program waits for a colour and clicks a picture with
// --play. Skipped without that session, unless TERVALO_GNOME_REQUIRED=1 (the
// GNOME stage of scripts/test) makes it a failure.

#include "app/commandline.h"
#include "platform/desktop.h"
#include "platform/desktop_gnome.h"
#include "project/pagekinds.h"
#include "project/picture.h"
#include "project/projectfile.h"
#include "wayland/session.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

#include <algorithm>

namespace {

// A window of one colour, with a patch of another colour and a picture
// where asked; it keeps where the left button went down and what colour it
// showed then.
class Board : public QWidget {
public:
    QColor background{Qt::white};
    QRect patch;
    QColor patchColor;
    QImage picture;
    QPoint pictureAt;
    QList<QPoint> leftPresses;
    QList<QColor> colorsAtPresses;
    QList<QPoint> moves;

    Board() { setMouseTracking(true); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), background);
        if (!patch.isEmpty())
            painter.fillRect(patch, patchColor);
        if (!picture.isNull())
            painter.drawImage(pictureAt, picture);
    }
    void mousePressEvent(QMouseEvent *e) override
    {
        if (e->button() != Qt::LeftButton)
            return;
        leftPresses.append(e->globalPosition().toPoint());
        colorsAtPresses.append(background);
    }
    void mouseMoveEvent(QMouseEvent *e) override { moves.append(e->globalPosition().toPoint()); }
};

QString hex(QRgb rgb)
{
    return QColor(rgb).name();
}

} // namespace

class TestGnomeScreen : public QObject {
    Q_OBJECT

    std::unique_ptr<Board> board;
    QTemporaryDir dir;
    std::shared_ptr<platform::Desktop> desktop;
    // Milliseconds from a repaint asked for to the first read that shows it.
    QList<qint64> latencies;

    // Starts the built program on a project with --play as on a GNOME
    // Wayland session, the backend left to its own choice.
    bool play(QProcess &program, const QString &file)
    {
        return waylandtest::play(program, file, waylandtest::sessionEnvironment("GNOME", dir.path()));
    }

    void finished(QProcess &program)
    {
        QTRY_VERIFY_WITH_TIMEOUT(program.state() == QProcess::NotRunning, 60000);
        const QString output = waylandtest::output(program);
        QVERIFY2(program.exitStatus() == QProcess::NormalExit, qPrintable(output));
        QVERIFY2(program.exitCode() == CommandLine::kExitDone, qPrintable(output));
    }

    // Paints the board afresh and waits until the screen shows `rgb` at `at`.
    void showAndRead(const QPoint &at, QRgb rgb)
    {
        QElapsedTimer clock;
        clock.start();
        board->update();
        QTRY_COMPARE_WITH_TIMEOUT(hex(desktop->pixel(at.x(), at.y()).value_or(0xFFFFFFFFu)), hex(rgb), 5000);
        latencies.append(clock.elapsed());
    }

private slots:
    void initTestCase()
    {
        const bool required = qEnvironmentVariableIntValue("TERVALO_GNOME_REQUIRED") == 1;
        if (QGuiApplication::platformName() != QLatin1String("wayland")) {
            if (required)
                QFAIL("no Wayland session: the GNOME stage of scripts/test starts one");
            QSKIP("No Wayland session: this test runs in the GNOME stage of scripts/test.");
        }
        std::string why;
        desktop = platform::createGnomeDesktop(&why);
        QVERIFY2(desktop, why.c_str());
        board = std::make_unique<Board>();
        QVERIFY(waylandtest::showFocused(*board));
    }

    void cleanupTestCase()
    {
        if (latencies.isEmpty())
            return;
        std::sort(latencies.begin(), latencies.end());
        qInfo("repaint to read: median %lld ms, longest %lld ms over %lld repaints", latencies.at(latencies.size() / 2),
              latencies.last(), qint64(latencies.size()));
    }

    // The screen is the monitor the window fills.
    void screenIsTheMonitor()
    {
        const QRect monitor = board->screen()->geometry();
        const platform::Rect screen = desktop->screenRect();
        QCOMPARE(QRect(screen.x, screen.y, screen.width, screen.height), monitor);
        QCOMPARE(board->geometry(), monitor);
    }

    // A colour and a patch of another read as painted, each at its place,
    // then again after the window changed both: a read after a change sees
    // the change. Red and blue differ in each colour, so a swapped byte
    // order shows.
    void pixelsRead_data()
    {
        QTest::addColumn<QRgb>("first");
        QTest::addColumn<QRgb>("second");
        QTest::addColumn<QRect>("patch");
        QTest::newRow("near the top left") << qRgb(0x12, 0x34, 0x56) << qRgb(0xfe, 0x80, 0x01) << QRect(3, 5, 40, 30);
        QTest::newRow("in the middle") << qRgb(0x00, 0xc8, 0xff) << qRgb(0x9a, 0x00, 0x21) << QRect(611, 487, 9, 7);
        QTest::newRow("at the bottom right") << qRgb(0xf0, 0x0f, 0x77) << qRgb(0x01, 0x02, 0x03)
                                             << QRect(1260, 1010, 20, 14);
    }
    void pixelsRead()
    {
        QFETCH(QRgb, first);
        QFETCH(QRgb, second);
        QFETCH(QRect, patch);
        const QPoint inPatch = patch.center();
        const QPoint outside = patch.topLeft() - QPoint(patch.left() > 0 ? 1 : -patch.width(), 0);
        board->patch = patch;
        for (const auto &[background, inside] : {std::pair{first, second}, std::pair{second, first}}) {
            board->background = QColor(background);
            board->patchColor = QColor(inside);
            showAndRead(inPatch, inside);
            QCOMPARE(hex(desktop->pixel(outside.x(), outside.y()).value_or(0xFFFFFFFFu)), hex(background));
            // A grab of the patch with its border holds both, row after row.
            const platform::Rect area{patch.x() - 1, patch.y() - 1, patch.width() + 2, patch.height() + 2};
            platform::ScreenImage image;
            QVERIFY(desktop->grab(area, image));
            const platform::Rect part = area.intersected(desktop->screenRect());
            QVERIFY(image.area == part);
            for (int y = part.y; y < part.y + part.height; ++y) {
                for (int x = part.x; x < part.x + part.width; ++x) {
                    const QRgb want = patch.contains(x, y) ? inside : background;
                    const std::uint32_t got = image.pixels[std::size_t((y - part.y) * part.width + (x - part.x))];
                    QVERIFY2((got & 0xFFFFFF) == (want & 0xFFFFFF),
                             qPrintable(QStringLiteral("%1,%2: %3").arg(x).arg(y).arg(hex(got))));
                }
            }
        }
        board->patch = QRect();
    }

    // A page whose Color condition waits until the window turns that colour:
    // the next page's click comes only then.
    void colorConditionWaits_data()
    {
        QTest::addColumn<QRgb>("before");
        QTest::addColumn<QRgb>("awaited");
        QTest::addColumn<QPoint>("at");
        QTest::newRow("dark to orange") << qRgb(0x20, 0x20, 0x20) << qRgb(0xff, 0x88, 0x11) << QPoint(701, 333);
        QTest::newRow("white to teal, a corner") << qRgb(0xff, 0xff, 0xff) << qRgb(0x11, 0x88, 0x99) << QPoint(2, 1020);
    }
    void colorConditionWaits()
    {
        QFETCH(QRgb, before);
        QFETCH(QRgb, awaited);
        QFETCH(QPoint, at);
        board->background = QColor(before);
        showAndRead(at, before);
        board->leftPresses.clear();
        board->colorsAtPresses.clear();
        board->moves.clear();

        const QString x = QString::number(at.x()), y = QString::number(at.y());
        const QString file = dir.filePath("colour.cmdat");
        QVERIFY(ProjectFile::write(file, {{PageKinds::kMousePointer, x, y}, {PageKinds::kClick, PageKinds::kLeft, "0.05"}},
                                   {{PageKinds::kColor, x, y, hex(awaited), "0"}, {PageKinds::kWaitUntilOver, "0.2"}})
                    .ok);
        QProcess program;
        QVERIFY(play(program, file));
        // The pointer came: the program waits for the colour now. It keeps
        // waiting while the window stays as it is.
        QTRY_VERIFY_WITH_TIMEOUT(board->moves.contains(at), 20000);
        QTest::qWait(500);
        QCOMPARE(board->leftPresses.size(), 0);
        board->background = QColor(awaited);
        board->update();
        finished(program);
        QCOMPARE(board->leftPresses, QList<QPoint>{at});
        QCOMPARE(hex(board->colorsAtPresses.first().rgb()), hex(awaited));
    }

    // A Click Image page clicks the centre of its picture where the window
    // shows it.
    void pictureClicked_data()
    {
        QTest::addColumn<QPoint>("at");
        QTest::newRow("left half") << QPoint(137, 402);
        QTest::newRow("bottom right") << QPoint(1201, 977);
    }
    void pictureClicked()
    {
        QFETCH(QPoint, at);
        QImage image(23, 17, QImage::Format_RGB32);
        for (int py = 0; py < image.height(); ++py)
            for (int px = 0; px < image.width(); ++px)
                image.setPixel(px, py, qRgb(11 * px, 255 - 15 * py, (px * py * 7) % 256));
        board->background = QColor(0xdd, 0xee, 0xff);
        board->picture = image;
        board->pictureAt = at;
        showAndRead(at, image.pixel(0, 0));
        board->leftPresses.clear();

        const QString file = dir.filePath("picture.cmdat");
        QVERIFY(ProjectFile::write(file, {{PageKinds::kClickImage, picture::encode(image), PageKinds::kLeft, "0", "10"}},
                                   {{PageKinds::kWaitUntilOver, "0.2"}})
                    .ok);
        QProcess program;
        QVERIFY(play(program, file));
        finished(program);
        QTRY_COMPARE_WITH_TIMEOUT(board->leftPresses.size(), 1, 5000);
        QCOMPARE(board->leftPresses.first(), at + QPoint(image.width() / 2, image.height() / 2));
        board->picture = QImage();
    }
};

QTEST_MAIN(TestGnomeScreen)
#include "tst_gnomescreen.moc"
