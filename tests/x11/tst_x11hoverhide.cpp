// The pointer-capture notice on a real X server under display scaling: CTest
// runs this test at QT_SCALE_FACTOR 1, 2 and 1.5. The pointer comes from the
// X11 backend in device pixels; the notice's geometry is Qt's, in
// device-independent pixels. The notice must hide when the pointer comes
// near it and come back once the pointer has left, wherever the numbers of
// the two coordinate systems happen to meet.

#include "gui/widgets/hoverhidewindow.h"
#include "platform/desktop.h"

#include <QApplication>
#include <QScreen>
#include <QtTest>

#include <cmath>

namespace {
constexpr int kNear = 30;
constexpr int kEdge = 20;
} // namespace

class TestX11HoverHide : public QObject {
    Q_OBJECT

    qreal ratio = 1;

    // Puts the real pointer at the device pixel that shows the Qt point.
    void pointAt(const QPointF &qtPoint)
    {
        platform::desktop().setCursorPos(int(std::lround(qtPoint.x() * ratio)), int(std::lround(qtPoint.y() * ratio)));
    }
    // Puts the real pointer at these device-pixel numbers.
    void pointAtDevicePixel(const QPoint &p) { platform::desktop().setCursorPos(p.x(), p.y()); }

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("No X display: this test runs under the Xvfb of scripts/test.");
        QCOMPARE(QString::fromLatin1(platform::desktop().name()), QStringLiteral("x11"));
        ratio = QGuiApplication::primaryScreen()->devicePixelRatio();
        bool given = false;
        const double factor = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble(&given);
        QCOMPARE(ratio, given ? factor : 1.0); // the scaling really is on
        qInfo("device pixel ratio %.2f", ratio);
    }

    void followsThePointer_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<bool>("hides");
        QTest::newRow("on the notice") << "centre" << true;
        QTest::newRow("just inside the near margin") << "inside margin" << true;
        QTest::newRow("beyond the near margin") << "beyond margin" << false;
        // The device pixel whose numbers are the notice's own Qt position:
        // on the notice only when nothing is scaled.
        QTest::newRow("device pixel with the notice's numbers") << "same numbers" << (ratio == 1);
    }

    void followsThePointer()
    {
        QFETCH(QString, where);
        QFETCH(bool, hides);
        HoverHideWindow notice(kNear, kEdge, nullptr, true);
        pointAt(QPointF(5, 5)); // far from the corner the notice takes
        notice.show();
        QVERIFY(QTest::qWaitForWindowExposed(&notice));
        const QRect g = notice.frameGeometry();
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY2(available.contains(g), "the notice sits inside the screen, in Qt's pixels");

        const QPointF centre = QRectF(g).center();
        if (where == QLatin1String("centre"))
            pointAt(centre);
        else if (where == QLatin1String("inside margin"))
            pointAt(QPointF(g.left() - kNear / 2.0, centre.y()));
        else if (where == QLatin1String("beyond margin"))
            pointAt(QPointF(g.left() - 2.0 * kNear, centre.y()));
        else
            pointAtDevicePixel(centre.toPoint());
        notice.checkCursor();
        QCOMPARE(notice.isHidden(), hides);
        QCOMPARE(notice.isHiddenByCursor(), hides);
        if (!hides)
            return;

        // Back, at the same place, once the pointer is far away in Qt's
        // pixels, even where the device-pixel numbers lie on the old place.
        QCOMPARE(notice.lastGeometry(), g);
        pointAt(QPointF(5, 5));
        notice.checkCursor();
        QVERIFY(notice.isVisible());
        QCOMPARE(notice.frameGeometry(), g);
        if (ratio > 1) {
            pointAt(centre);
            notice.checkCursor();
            QVERIFY(notice.isHidden());
            pointAtDevicePixel(centre.toPoint());
            notice.checkCursor();
            QVERIFY2(notice.isVisible(), "the pointer is far from the notice in Qt's pixels");
        }
    }
};

int main(int argc, char **argv)
{
    // Without a display the xcb platform cannot start at all; start without
    // one so that the test case can say it skips.
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TestX11HoverHide test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_x11hoverhide.moc"
