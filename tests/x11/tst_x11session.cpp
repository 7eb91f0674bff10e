// The main window on a real X server whose desktop lacks what some features
// lean on: another client owns Ctrl+Alt+G, and there is no system tray.

#include "gui/dialogs/rundialog.h"
#include "gui/mainwindow/tervalo.h"
#include "gui/widgets/hoverhidewindow.h"
#include "platform/desktop.h"
#include "platform/desktop_x11_keymap.h"
#include "run/stoprule.h"
#include "support/dialoganswerer.h"
#include "support/tempsettings.h"
#include "support/windowparts.h"

#include <QCheckBox>
#include <QPushButton>
#include <QThread>
#include <QtTest>

#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <memory>

class TestX11Session : public QObject {
    Q_OBJECT

    std::unique_ptr<tervalo> makeWindow()
    {
        auto w = std::make_unique<tervalo>();
        w->addNewCommand();
        w->project().setCommands(RecordList{{"マウスポインター", "1", "2"}});
        w->project().setConditions(RecordList{{"即時"}});
        w->renderPage();
        w->show();
        return w;
    }

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("No X display: these tests run under the Xvfb of scripts/test.");
        QCOMPARE(QString::fromLatin1(platform::desktop().name()), QStringLiteral("x11"));
        // An X11 session, whatever the machine running the tests is.
        qunsetenv("WAYLAND_DISPLAY");
        qputenv("XDG_SESSION_TYPE", "x11");
        settings = std::make_unique<TempSettings>();
        QVERIFY(settings->write("{\"is_used_this\": true, \"is_used_stert\": true}"));
    }

    void hotKeyOwnedByAnotherClient_data()
    {
        QTest::addColumn<bool>("japanese");
        QTest::newRow("ja") << true;
        QTest::newRow("en") << false;
    }
    void hotKeyOwnedByAnotherClient()
    {
        QFETCH(bool, japanese);
        Display *other = XOpenDisplay(nullptr);
        QVERIFY(other);
        auto closeOther = qScopeGuard([other] { XCloseDisplay(other); });
        platform::X11Keymap keymap;
        keymap.load(other);
        const auto gs = keymap.keycodesOf(XK_g);
        QVERIFY(!gs.empty());
        XGrabKey(other, gs.front(), ControlMask | Mod1Mask, DefaultRootWindow(other), True, GrabModeAsync,
                 GrabModeAsync);
        XSync(other, False);

        auto w = makeWindow();
        w->settings().is_japanese = japanese;
        w->changeLanguage();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        DialogAnswerer answerer;
        answerer.answerMessageBox(QMessageBox::Ok);
        QTest::ignoreMessage(QtWarningMsg, "RegisterHotKey failed.");
        QTest::mouseClick(windowparts::get<QPushButton>(*w, "getButton1"), Qt::LeftButton);
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen.first().icon, QMessageBox::Warning);
        const QString text = answerer.seen.first().text;
        QVERIFY2(text.startsWith(japanese ? "Ctrl+Alt+G は他のプログラムが使用中" : "Ctrl+Alt+G is in use by another program"),
                 qPrintable(text));
        QVERIFY2(!text.contains("X11"), qPrintable(text)); // this is an X11 session
        QVERIFY(w->isVisible());
        QVERIFY(windowparts::topLevels<HoverHideWindow>().isEmpty());
        QVERIFY(!w->isHotkeyRegistered());

        // The other client lets go: the capture starts as ever.
        XUngrabKey(other, gs.front(), ControlMask | Mod1Mask, DefaultRootWindow(other));
        XSync(other, False);
        QTest::mouseClick(windowparts::get<QPushButton>(*w, "getButton1"), Qt::LeftButton);
        QVERIFY(w->isHotkeyRegistered());
        const QList<HoverHideWindow *> notices = windowparts::topLevels<HoverHideWindow>();
        QCOMPARE(notices.size(), 1);
        QTRY_VERIFY(!w->isVisible());
        notices.first()->close();
        QTRY_VERIFY(w->isVisible());
        QVERIFY(!w->isHotkeyRegistered());
    }

    void bareServerHasNoTrayForARunWithoutExitCommand()
    {
        StopRule::setTrayAvailableForTesting(std::nullopt);
        QVERIFY2(!StopRule::trayAvailable(), "a bare Xvfb has no system tray");
        auto w = makeWindow();
        w->settings().stertTime = 1;
        w->settings().runNumber = 114514;
        w->settings().stopCommand = "なし";
        DialogAnswerer answerer;
        answerer.answerMessageBox(QMessageBox::Ok);
        bool refused = false;
        auto *poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, [poll, &refused, &answerer] {
            if (auto *d = qobject_cast<RunDialog *>(QApplication::activeModalWidget())) {
                poll->stop();
                poll->deleteLater();
                d->startButton->click();
                refused = answerer.seen.size() == 1 && d->isVisible();
                d->reject();
            }
        });
        poll->start(10);
        windowparts::get<QPushButton>(*w, "runButton")->click();
        QVERIFY(refused);
        QVERIFY(w->isVisible());
        QVERIFY(w->findChildren<QThread *>().isEmpty());
    }

    void cleanupTestCase() { settings.reset(); }

private:
    std::unique_ptr<TempSettings> settings;
};

QTEST_MAIN(TestX11Session)
#include "tst_x11session.moc"
