#include "gui/widgets/hoverhidewindow.h"
#include "support/simfixture.h"

#include <QGuiApplication>
#include <QScreen>
#include <QtTest>

class TestHoverHideWindow : public QObject {
    Q_OBJECT

    static QRect available() { return QGuiApplication::primaryScreen()->availableGeometry(); }

private slots:
    void defaultCorner_data()
    {
        QTest::addColumn<QRect>("area");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("edge");
        QTest::addColumn<QPoint>("topLeft");
        // right() and bottom() are the last pixel inside: 1919 - 320 - 20.
        QTest::newRow("full HD with taskbar") << QRect(0, 0, 1920, 1040) << QSize(320, 100) << 20 << QPoint(1579, 919);
        QTest::newRow("screen left of primary") << QRect(-1280, 0, 1280, 1024) << QSize(320, 100) << 20 << QPoint(-341, 903);
        QTest::newRow("no margin") << QRect(100, 50, 800, 600) << QSize(320, 100) << 0 << QPoint(579, 549);
    }
    void defaultCorner()
    {
        QFETCH(QRect, area);
        QFETCH(QSize, size);
        QFETCH(int, edge);
        QFETCH(QPoint, topLeft);
        QCOMPARE(HoverHideWindow::defaultCorner(area, size, edge), topLeft);
    }

    void keepInside_data()
    {
        QTest::addColumn<QRect>("rect");
        QTest::addColumn<QRect>("area");
        QTest::addColumn<QRect>("expected");
        const QRect hd(0, 0, 1920, 1080);
        QTest::newRow("already inside") << QRect(500, 400, 320, 100) << hd << QRect(500, 400, 320, 100);
        QTest::newRow("null stays null") << QRect() << hd << QRect();
        QTest::newRow("off the right") << QRect(1800, 400, 320, 100) << hd << QRect(1579, 400, 320, 100);
        QTest::newRow("off the bottom") << QRect(500, 1050, 320, 100) << hd << QRect(500, 959, 320, 100);
        QTest::newRow("off the left") << QRect(-50, 400, 320, 100) << hd << QRect(20, 400, 320, 100);
        QTest::newRow("off the top") << QRect(500, -30, 320, 100) << hd << QRect(500, 20, 320, 100);
        QTest::newRow("inside but closer than the margin") << QRect(1590, 10, 320, 100) << hd << QRect(1579, 20, 320, 100);
        QTest::newRow("exactly at the margin") << QRect(1579, 959, 320, 100) << hd << QRect(1579, 959, 320, 100);
        QTest::newRow("resolution shrank") << QRect(1579, 919, 320, 100) << QRect(0, 0, 1280, 1024) << QRect(939, 903, 320, 100);
        QTest::newRow("too narrow: left and top win") << QRect(0, 0, 320, 100) << QRect(0, 0, 300, 90) << QRect(20, 20, 320, 100);
        QTest::newRow("area with an offset") << QRect(-2000, 400, 320, 100) << QRect(-1280, 0, 1280, 1024) << QRect(-1260, 400, 320, 100);
    }
    void keepInside()
    {
        QFETCH(QRect, rect);
        QFETCH(QRect, area);
        QFETCH(QRect, expected);
        QCOMPARE(HoverHideWindow::keepInside(rect, area, 20), expected);
    }

    void isNear_data()
    {
        QTest::addColumn<QPoint>("point");
        QTest::addColumn<bool>("near");
        // Window at x 100..419, y 100..199; margin 120.
        QTest::newRow("inside") << QPoint(200, 150) << true;
        QTest::newRow("120 right of the right edge") << QPoint(539, 150) << true;
        QTest::newRow("121 right of the right edge") << QPoint(540, 150) << false;
        QTest::newRow("120 left of the left edge") << QPoint(-20, 150) << true;
        QTest::newRow("121 left of the left edge") << QPoint(-21, 150) << false;
        QTest::newRow("120 above") << QPoint(200, -20) << true;
        QTest::newRow("121 above") << QPoint(200, -21) << false;
        QTest::newRow("120 below") << QPoint(200, 319) << true;
        QTest::newRow("121 below") << QPoint(200, 320) << false;
        QTest::newRow("zone corner") << QPoint(539, 319) << true;
        QTest::newRow("just past the zone corner") << QPoint(540, 320) << false;
    }
    void isNear()
    {
        QFETCH(QPoint, point);
        QFETCH(bool, near);
        QCOMPARE(HoverHideWindow::isNear(QRect(100, 100, 320, 100), point, 120), near);
    }

    void construction_data()
    {
        QTest::addColumn<bool>("japanese");
        QTest::addColumn<QString>("text");
        QTest::newRow("ja") << true << QString("マウスポインターの座標を取得中\nCtrl+Alt+Gを押してください。");
        QTest::newRow("en") << false << QString("Getting mouse pointer coordinates\nPress Ctrl+Alt+G.");
    }
    void construction()
    {
        QFETCH(bool, japanese);
        QFETCH(QString, text);
        HoverHideWindow w(120, 20, nullptr, japanese);
        QCOMPARE(w.text(), text);
        QCOMPARE(w.size(), QSize(320, 100));
        const Qt::WindowFlags flags = w.windowFlags();
        QVERIFY(flags.testFlag(Qt::FramelessWindowHint));
        QVERIFY(flags.testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY((flags & Qt::WindowType_Mask) == Qt::Tool);
        QCOMPARE(w.pos(), HoverHideWindow::defaultCorner(available(), QSize(320, 100), 20));
        w.setLanguage(!japanese);
        QVERIFY(w.text() != text);
        w.setLanguage(japanese);
        QCOMPARE(w.text(), text);
    }

    void hidesNearAndComesBackInPlace()
    {
        HoverHideWindow w(120, 20, nullptr, true);
        sim.sim->movePointer(0, 0);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QRect shown = w.frameGeometry();
        QVERIFY(!HoverHideWindow::isNear(shown, QPoint(0, 0), 120));

        // Near the right edge: the window's 100 ms timer hides it.
        sim.sim->movePointer(shown.right() + 120, shown.center().y());
        QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), 3000);
        QVERIFY(w.isHiddenByCursor());
        QCOMPARE(w.lastGeometry(), shown);

        // Still near where it was: it stays away.
        sim.sim->movePointer(shown.left() - 100, shown.top() - 100);
        w.checkCursor();
        QVERIFY(!w.isVisible());

        // Far enough: back at the same place.
        sim.sim->movePointer(shown.left() - 121, shown.center().y());
        QTRY_VERIFY_WITH_TIMEOUT(w.isVisible(), 3000);
        QVERIFY(!w.isHiddenByCursor());
        QCOMPARE(w.frameGeometry(), shown);
    }

    void notShownYetStaysHidden()
    {
        HoverHideWindow w(120, 20, nullptr, true);
        sim.sim->movePointer(w.x() + 10, w.y() + 10);
        w.checkCursor();
        sim.sim->movePointer(0, 0);
        w.checkCursor();
        QVERIFY(!w.isVisible());
        QVERIFY(!w.isHiddenByCursor());
    }

private:
    SimFixture sim;
};

QTEST_MAIN(TestHoverHideWindow)
#include "tst_hoverhidewindow.moc"
