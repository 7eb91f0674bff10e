// Pages of the kinds added after the kinds table, played by a real run
// through the X11 backend into Qt widgets of this process (the private Xvfb
// of scripts/test).

#include "platform/desktop_x11.h"
#include "run/run.h"
#include "support/runprobe.h"

#include <QApplication>
#include <QListWidget>
#include <QScrollBar>
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

private:
    std::shared_ptr<X11Desktop> x11;
};

QTEST_MAIN(TestX11Kinds)
#include "tst_x11kinds.moc"
