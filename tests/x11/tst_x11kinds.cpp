// Pages of the kinds added after the kinds table, played by a real run
// through the X11 backend into Qt widgets of this process (the private Xvfb
// of scripts/test).

#include "platform/desktop_x11.h"
#include "project/pagekinds.h"
#include "project/picture.h"
#include "run/run.h"
#include "support/runprobe.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPalette>
#include <QScrollBar>
#include <QWidget>
#include <QtTest>

#include <memory>

using platform::X11Desktop;

class TestX11Kinds : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("No X display: these tests run under the Xvfb of scripts/test.");
        std::string why;
        x11 = std::dynamic_pointer_cast<X11Desktop>(platform::createX11Desktop(&why));
        QVERIFY2(x11, why.c_str());
        platform::setDesktop(x11);
    }
    void cleanupTestCase() { x11.reset(); }

    // A wheel page turns a real list view: each notch scrolls the lines
    // Qt's settings say a notch is worth.
    void wheelScrollsAListView_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<QString>("direction");
        QTest::addColumn<QString>("notches");
        QTest::addColumn<int>("rows"); // scrolled rows, positive downwards
        QTest::newRow("down 3") << 0 << "下" << "3" << 3;
        QTest::newRow("up 2") << 40 << "上" << "2" << -2;
        QTest::newRow("down 1") << 0 << "下" << "1" << 1;
    }
    void wheelScrollsAListView()
    {
        QFETCH(int, start);
        QFETCH(QString, direction);
        QFETCH(QString, notches);
        QFETCH(int, rows);
        QListWidget list;
        for (int i = 0; i < 500; ++i)
            list.addItem(QStringLiteral("row %1").arg(i));
        list.setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
        list.setGeometry(100, 100, 300, 300);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        QScrollBar *bar = list.verticalScrollBar();
        bar->setValue(start);
        const QPoint centre = list.viewport()->mapToGlobal(list.viewport()->rect().center());
        x11->setCursorPos(centre.x(), centre.y());
        QTRY_COMPARE(QCursor::pos(), centre);

        RunProbe probe;
        probe.run->setup(0, 1, QStringLiteral("なし"), {{QStringLiteral("ホイール"), direction, notches}},
                         {{QStringLiteral("即時")}}, QStringLiteral("wheel"));
        probe.run->start();
        QVERIFY(probe.waitFinished(10000));
        const int want = start + rows * QApplication::wheelScrollLines();
        QTRY_COMPARE(bar->value(), want);
        // And no further: every notch arrived once.
        QTest::qWait(100);
        QCOMPARE(bar->value(), want);
    }

    // A colour page waits while a real window shows another colour, and
    // moves on once it shows the colour; the pixel is read from the server.
    void colorConditionWaitsForAWindow_data()
    {
        QTest::addColumn<QColor>("before");
        QTest::addColumn<QColor>("after");
        QTest::addColumn<QString>("wanted");
        QTest::addColumn<QString>("tolerance");
        QTest::newRow("exact") << QColor(200, 0, 0) << QColor(0, 255, 0) << "#00ff00" << "0";
        QTest::newRow("within the tolerance") << QColor(20, 200, 30) << QColor(5, 250, 3) << "#00ff00" << "10";
    }
    void colorConditionWaitsForAWindow()
    {
        QFETCH(QColor, before);
        QFETCH(QColor, after);
        QFETCH(QString, wanted);
        QFETCH(QString, tolerance);
        QWidget patch;
        patch.setAutoFillBackground(true);
        auto paint = [&patch](const QColor &c) {
            QPalette p = patch.palette();
            p.setColor(QPalette::Window, c);
            patch.setPalette(p);
            patch.repaint();
        };
        paint(before);
        patch.setGeometry(600, 100, 120, 120);
        patch.show();
        QVERIFY(QTest::qWaitForWindowExposed(&patch));
        const QPoint spot = patch.mapToGlobal(QPoint(60, 60));
        const std::uint32_t beforeRgb = before.rgb() & 0xffffffu;
        QTRY_COMPARE(x11->pixel(spot.x(), spot.y()).value_or(1u << 24), beforeRgb);
        x11->setCursorPos(0, 0);

        RunProbe probe;
        probe.run->setup(0, 1, QStringLiteral("なし"),
                         {{QStringLiteral("なし")}, {QStringLiteral("マウスポインター"), QStringLiteral("7"), QStringLiteral("8")}},
                         {{QStringLiteral("色"), QString::number(spot.x()), QString::number(spot.y()), wanted, tolerance},
                          {QStringLiteral("即時")}},
                         QStringLiteral("color"));
        probe.run->start();
        QTest::qWait(400);
        QCOMPARE(x11->cursorPos(), (platform::Point{0, 0})); // still waiting
        paint(after);
        QTRY_COMPARE(x11->pixel(spot.x(), spot.y()).value_or(1u << 24), after.rgb() & 0xffffffu);
        QTRY_COMPARE_WITH_TIMEOUT(x11->cursorPos(), (platform::Point{7, 8}), 5000);
        QVERIFY(probe.waitFinished(10000));
    }

    // An Image page holds the run while a real window does not show the
    // picture (or, for a vanish, still shows it) and moves on once it does;
    // the screen is read from the server in one piece.
    void pictureConditionWaitsForAWindow_data()
    {
        QTest::addColumn<QString>("appearance");
        QTest::newRow("appears") << PageKinds::ImageCondition::kAppears;
        QTest::newRow("vanishes") << PageKinds::ImageCondition::kVanishes;
    }
    void pictureConditionWaitsForAWindow()
    {
        QFETCH(QString, appearance);
        const bool vanish = appearance == PageKinds::ImageCondition::kVanishes;
        QImage image(16, 12, QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                image.setPixel(x, y, qRgb(255 - 15 * x, 20 * y, 7 * x + 3 * y));
        QLabel board;
        board.setWindowFlags(Qt::FramelessWindowHint);
        board.setStyleSheet(QStringLiteral("background: #fafafa"));
        board.setAlignment(Qt::AlignCenter);
        auto show = [&](bool on) {
            board.setPixmap(on ? QPixmap::fromImage(image) : QPixmap());
            board.repaint();
        };
        show(vanish);
        board.setGeometry(700, 600, 100, 80);
        board.show();
        QVERIFY(QTest::qWaitForWindowExposed(&board));
        x11->setCursorPos(0, 0);

        RunProbe probe;
        probe.run->setup(0, 1, QStringLiteral("なし"),
                         {{PageKinds::kNone}, {PageKinds::kMousePointer, QStringLiteral("7"), QStringLiteral("8")}},
                         {{PageKinds::kImage, appearance, picture::encode(image), QStringLiteral("0")},
                          {PageKinds::kImmediately}},
                         QStringLiteral("picture"));
        probe.run->start();
        QTest::qWait(400);
        QCOMPARE(x11->cursorPos(), (platform::Point{0, 0})); // still waiting
        show(!vanish);
        QTRY_COMPARE_WITH_TIMEOUT(x11->cursorPos(), (platform::Point{7, 8}), 5000);
        QVERIFY(probe.waitFinished(10000));
        QVERIFY(!probe.run->inputFailed());
    }

    // Reading a pixel is exact for what the server shows, and empty off it.
    void pixelReadsTheScreen()
    {
        QWidget patch;
        patch.setAutoFillBackground(true);
        QPalette p = patch.palette();
        p.setColor(QPalette::Window, QColor(0x12, 0x34, 0x56));
        patch.setPalette(p);
        patch.setGeometry(300, 500, 50, 50);
        patch.show();
        QVERIFY(QTest::qWaitForWindowExposed(&patch));
        const QPoint spot = patch.mapToGlobal(QPoint(25, 25));
        QTRY_COMPARE(x11->pixel(spot.x(), spot.y()).value_or(1u << 24), 0x123456u);
        QVERIFY(!x11->pixel(-1, 0).has_value());
        QVERIFY(!x11->pixel(0, 100000).has_value());
    }

    // Four hundred glides that each move on at once play side by side: the
    // threads and X connections they hold stay within a fixed bound instead
    // of one each (the server takes only so many clients), the run ends as
    // played, and the pointer ends where the last page puts it.
    void overlappingGlidesStayBounded()
    {
        const auto threads = [] { return int(QDir(QStringLiteral("/proc/self/task")).count()) - 2; };
        const int threadsBefore = threads();
        const int connectionsBefore = X11Desktop::openConnectionCount();
        QList<QStringList> commands, conditions;
        for (int i = 0; i < 400; ++i) {
            commands.append({PageKinds::kSmoothMove, QString::number(100 + i), QStringLiteral("300"),
                             QStringLiteral("0.2")});
            conditions.append({PageKinds::kImmediately});
        }
        commands.append({PageKinds::kSmoothMove, QStringLiteral("777"), QStringLiteral("555"), QStringLiteral("0.5")});
        conditions.append({PageKinds::kWaitUntilOver, QStringLiteral("0")});

        RunProbe probe;
        probe.run->setup(0, 1, QStringLiteral("なし"), commands, conditions, QStringLiteral("glides"));
        probe.run->start();
        int mostThreads = 0, mostConnections = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (probe.finishedCount.load() == 0 && std::chrono::steady_clock::now() < deadline) {
            mostThreads = std::max(mostThreads, threads() - threadsBefore);
            mostConnections = std::max(mostConnections, X11Desktop::openConnectionCount() - connectionsBefore);
            QTest::qWait(1);
        }
        QCOMPARE(probe.finishedCount.load(), 1);
        QCOMPARE(probe.run->passesPlayed(), 1);
        QVERIFY(!probe.run->inputFailed());
        QVERIFY2(probe.run->peakWorkerCount() <= int(Run::kMaxWorkers), qPrintable(QString::number(probe.run->peakWorkerCount())));
        // The workers, the runner and the thread of the run's own.
        QVERIFY2(mostThreads <= int(Run::kMaxWorkers) + 2, qPrintable(QString::number(mostThreads)));
        QVERIFY2(mostConnections <= int(X11Desktop::kQueryConnections), qPrintable(QString::number(mostConnections)));
        QCOMPARE(x11->cursorPos(), (platform::Point{777, 555}));
    }

private:
    std::shared_ptr<X11Desktop> x11;
};

QTEST_MAIN(TestX11Kinds)
#include "tst_x11kinds.moc"
