// The X11 backend against a real X server (the private Xvfb of scripts/test).
// Input is synthesised through the backend and checked where a user would
// see it: in Qt widgets of this process, and in the server's own state.

#include "input/keycombination.h"
#include "platform/desktop_x11.h"
#include "platform/desktop_x11_keymap.h"
#include "run/operations.h"
#include "run/run.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <X11/XKBlib.h>

#include <atomic>
#include <memory>
#include <thread>

using platform::MouseButton;
using platform::X11Desktop;

namespace {

// A text with `distinct` characters outside the keymap (kana and emoji,
// some of them surrogate pairs), ASCII between them and repeats of earlier
// ones; the first of each kind appears before its repeats.
QString mixedText(int distinct)
{
    QString s;
    for (int i = 0; i < distinct; ++i) {
        if (i % 3 == 2)
            s += QString::fromUcs4(std::u32string(1, char32_t(0x1f600 + i)).data(), 1);
        else
            s += QChar(char16_t(0x3041 + i));
        s += QChar(char16_t('a' + i % 26));
        if (i % 4 == 3)
            s += s.at(0);
    }
    return s;
}

void tap(platform::Desktop &desktop, const QList<int> &codes)
{
    for (int code : codes)
        desktop.key(code, true);
    for (auto it = codes.rbegin(); it != codes.rend(); ++it)
        desktop.key(*it, false);
}

// A connection of the test's own, to look at the server without the backend.
struct Probe {
    Probe() : dpy(XOpenDisplay(nullptr)) {}
    ~Probe()
    {
        if (dpy)
            XCloseDisplay(dpy);
    }
    QList<int> keysDown() const
    {
        char keys[32] = {};
        XQueryKeymap(dpy, keys);
        QList<int> down;
        for (int kc = 0; kc < 256; ++kc) {
            if (keys[kc / 8] & (1 << (kc % 8)))
                down << kc;
        }
        return down;
    }
    unsigned int pointerMask(QPoint *pos = nullptr) const
    {
        Window root = 0, child = 0;
        int rx = 0, ry = 0, wx = 0, wy = 0;
        unsigned int mask = 0;
        XQueryPointer(dpy, DefaultRootWindow(dpy), &root, &child, &rx, &ry, &wx, &wy, &mask);
        if (pos)
            *pos = QPoint(rx, ry);
        return mask;
    }
    Display *dpy;
};

class HotKeySpy : public QAbstractNativeEventFilter {
public:
    explicit HotKeySpy(platform::Desktop &d) : desktop(d) {}
    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override
    {
        const int id = desktop.hotKeyFromNativeEvent(eventType.constData(), message);
        if (id)
            fired << id;
        return id != 0;
    }
    platform::Desktop &desktop;
    QList<int> fired;
};

} // namespace

class TestX11Desktop : public QObject {
    Q_OBJECT

    std::shared_ptr<X11Desktop> x11;
    std::unique_ptr<QWidget> window;
    QLineEdit *line = nullptr;
    QPlainTextEdit *text = nullptr;
    QPushButton *button = nullptr;

    std::shared_ptr<X11Desktop> openBackend()
    {
        std::string why;
        auto desktop = std::dynamic_pointer_cast<X11Desktop>(platform::createX11Desktop(&why));
        if (!desktop)
            qWarning("%s", why.c_str());
        return desktop;
    }

    // Gives the focus to a widget after every event still queued from
    // earlier steps has been delivered (where the focus was then).
    void focus(QWidget *w)
    {
        QTest::qWait(50);
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        w->setFocus();
        QTRY_VERIFY(w->hasFocus());
    }

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("No X display: these tests run under the Xvfb of scripts/test.");
        x11 = openBackend();
        QVERIFY(x11);
        platform::setDesktop(x11); // the engine's operations go through it
        QCOMPARE(QString::fromLatin1(x11->name()), QStringLiteral("x11"));

        window = std::make_unique<QWidget>();
        auto *layout = new QVBoxLayout(window.get());
        line = new QLineEdit;
        text = new QPlainTextEdit;
        text->setTabChangesFocus(false);
        button = new QPushButton(QStringLiteral("Press"));
        button->setContextMenuPolicy(Qt::CustomContextMenu);
        layout->addWidget(line);
        layout->addWidget(text);
        layout->addWidget(button);
        window->setGeometry(100, 100, 500, 400);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    void cleanupTestCase()
    {
        window.reset();
        x11.reset();
    }

    void openingNeedsUsableDisplay_data()
    {
        QTest::addColumn<QByteArray>("display");
        QTest::addColumn<QString>("why");
        QTest::newRow("unset") << QByteArray() << QStringLiteral("DISPLAY is not set");
        QTest::newRow("no server") << QByteArray(":9876") << QStringLiteral("cannot open the X display :9876");
    }

    void openingNeedsUsableDisplay()
    {
        QFETCH(QByteArray, display);
        QFETCH(QString, why);
        const QByteArray saved = qgetenv("DISPLAY");
        auto restore = qScopeGuard([&] { qputenv("DISPLAY", saved); });
        if (display.isEmpty())
            qunsetenv("DISPLAY");
        else
            qputenv("DISPLAY", display);
        std::string reason;
        QVERIFY(!platform::createX11Desktop(&reason));
        QCOMPARE(QString::fromStdString(reason), why);
    }

    void typedTextArrivesExactly_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("expected");
        QTest::newRow("mixed scripts, astral, controls")
            << QStringLiteral("aあ日A😀\n\tz") << QStringLiteral("aあ日A😀\n\tz");
        QTest::newRow("letters whose case the keymap lacks") << QStringLiteral("ÉéЖжΩω") << QStringLiteral("ÉéЖжΩω");
        QTest::newRow("shifted and plain punctuation") << QStringLiteral("Hello, World! {x}=~1;") << QStringLiteral("Hello, World! {x}=~1;");
        // More distinct characters than the keymap has spare keycodes, and
        // repeats of early ones after the pool has turned over.
        const QString many = QStringLiteral("いろはにほへとちりぬるをわかよたれそつねならむうゐのおくやまけふこえてあさきゆめみしゑひもせすいろは");
        QTest::newRow("pool turns over") << many << many;
        QTest::newRow("Windows line end is one break") << QStringLiteral("a\r\nb\rc") << QStringLiteral("a\nb\nc");
        QTest::newRow("astral after astral") << QStringLiteral("😀😁🎉x😀") << QStringLiteral("😀😁🎉x😀");
    }

    void typedTextArrivesExactly()
    {
        QFETCH(QString, typed);
        QFETCH(QString, expected);
        text->clear();
        focus(text);
        platform::X11Keymap before;
        before.load(Probe().dpy);

        QElapsedTimer clock;
        clock.start();
        qint64 typedAt = 0;
        // The engine's Enter Text at its shortest time.
        std::thread typist([&] {
            Run run;
            operations::typeText(run, typed, 0.001);
            typedAt = clock.elapsed();
        });
        auto joiner = qScopeGuard([&] { typist.join(); });
        QTRY_COMPARE_WITH_TIMEOUT(text->toPlainText(), expected, 15000);
        qDebug() << "arrived after" << clock.elapsed() << "ms";
        joiner.dismiss();
        typist.join();
        qDebug() << "typed in" << typedAt << "ms";

        // Every spare row is back as it was soon after, and nothing is held.
        QTRY_COMPARE(x11->boundSpareKeys(), 0);
        platform::X11Keymap after;
        after.load(Probe().dpy);
        for (int kc = before.minKeycode(); kc <= before.maxKeycode(); ++kc)
            QCOMPARE(after.row(kc), before.row(kc));
        QVERIFY(x11->heldKeycodes().empty());
        QCOMPARE(Probe().keysDown(), QList<int>());
    }

    // Typing a character whose key another client holds (the person's stop
    // command, say) must not let go of that key.
    void typingLeavesHeldKeyDown_data()
    {
        QTest::addColumn<int>("heldKeysym");
        QTest::addColumn<QString>("typed");
        QTest::newRow("the held letter") << int(XK_s) << QStringLiteral("sss");
        QTest::newRow("both cases of the held letter") << int(XK_a) << QStringLiteral("AaA");
        QTest::newRow("the held digit and its shifted sign") << int(XK_1) << QStringLiteral("1!1");
    }

    void typingLeavesHeldKeyDown()
    {
        QFETCH(int, heldKeysym);
        QFETCH(QString, typed);
        Probe person;
        const int kc = XKeysymToKeycode(person.dpy, KeySym(heldKeysym));
        QVERIFY(kc > 0);
        // The person's own press goes to the line; a held key would
        // otherwise repeat into it.
        line->clear();
        focus(line);
        XAutoRepeatOff(person.dpy);
        XTestFakeKeyEvent(person.dpy, unsigned(kc), True, CurrentTime);
        XSync(person.dpy, False);
        auto letGo = qScopeGuard([&] {
            XTestFakeKeyEvent(person.dpy, unsigned(kc), False, CurrentTime);
            XAutoRepeatOn(person.dpy);
            XSync(person.dpy, False);
        });
        QTRY_COMPARE(line->text().size(), 1);
        text->clear();
        focus(text);

        std::thread typist([&] {
            Run run;
            operations::typeText(run, typed, 0.001);
        });
        auto joiner = qScopeGuard([&] { typist.join(); });
        QTRY_COMPARE_WITH_TIMEOUT(text->toPlainText(), typed, 15000);
        joiner.dismiss();
        typist.join();
        QVERIFY(person.keysDown().contains(kc));
        QVERIFY(x11->heldKeycodes().empty());
        QTRY_COMPARE(x11->boundSpareKeys(), 0); // the spare keys it borrowed are given back
    }

    void keyOperationTypesCharacter_data()
    {
        QTest::addColumn<QString>("parameter");
        QTest::addColumn<QString>("expected");
        QTest::newRow("65,4 is A") << QStringLiteral("65,4,0") << QStringLiteral("A");
        QTest::newRow("65,0 is a") << QStringLiteral("65,0,0.05") << QStringLiteral("a");
        QTest::newRow("shift 1") << QStringLiteral("49,4,0") << QStringLiteral("!");
        QTest::newRow("oem 186") << QStringLiteral("186,0,0") << QStringLiteral(";");
        QTest::newRow("oem 222 shifted") << QStringLiteral("222,4,0") << QStringLiteral("\"");
        QTest::newRow("oem 192") << QStringLiteral("192,0,0") << QStringLiteral("`");
        QTest::newRow("space") << QStringLiteral("32,0,0") << QStringLiteral(" ");
        QTest::newRow("keypad minus") << QStringLiteral("109,0,0") << QStringLiteral("-");
        QTest::newRow("keypad divide") << QStringLiteral("111,0,0") << QStringLiteral("/");
    }

    void keyOperationTypesCharacter()
    {
        QFETCH(QString, parameter);
        QFETCH(QString, expected);
        line->clear();
        focus(line);
        Run run;
        operations::pressKey(run, parameter);
        QTRY_COMPARE(line->text(), expected);
        QVERIFY(x11->heldKeycodes().empty());
    }

    void sideSpecificModifiersType_data()
    {
        QTest::addColumn<QList<int>>("codes");
        QTest::addColumn<QString>("expected");
        QTest::newRow("left shift") << QList<int>{160, 49} << QStringLiteral("!");
        QTest::newRow("right shift") << QList<int>{161, 50} << QStringLiteral("@");
    }

    void sideSpecificModifiersType()
    {
        QFETCH(QList<int>, codes);
        QFETCH(QString, expected);
        line->clear();
        focus(line);
        tap(*x11, codes);
        QTRY_COMPARE(line->text(), expected);
        QVERIFY(x11->heldKeycodes().empty());
    }

    void keyWithoutKeyDoesNothing()
    {
        line->clear();
        focus(line);
        // F24 has no key on the default keymap; the next key still works.
        x11->key(135, true);
        x11->key(135, false);
        tap(*x11, {66});
        QTRY_COMPARE(line->text(), QStringLiteral("b"));
        QVERIFY(x11->heldKeycodes().empty());
    }

    void glideEndsOnTarget_data()
    {
        QTest::addColumn<QPoint>("target");
        QTest::addColumn<QPoint>("expected");
        QTest::newRow("inside") << QPoint(300, 200) << QPoint(300, 200);
        QTest::newRow("corner") << QPoint(1279, 1023) << QPoint(1279, 1023);
        QTest::newRow("origin") << QPoint(0, 0) << QPoint(0, 0);
        QTest::newRow("left of the screen") << QPoint(-40, 500) << QPoint(0, 500);
    }

    void glideEndsOnTarget()
    {
        QFETCH(QPoint, target);
        QFETCH(QPoint, expected);
        x11->setCursorPos(640, 512);
        QCOMPARE(x11->cursorPos(), (platform::Point{640, 512}));
        // The server's own count of the pointer's moves (XInput2 raw
        // motion, queued for another connection however busy this machine
        // is; a thread that looked at the pointer now and then could miss
        // the whole glide under load).
        Probe probe;
        int xiOpcode = 0, event = 0, error = 0;
        QVERIFY(XQueryExtension(probe.dpy, "XInputExtension", &xiOpcode, &event, &error));
        unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
        XISetMask(bits, XI_RawMotion);
        XIEventMask mask{XIAllMasterDevices, int(sizeof bits), bits};
        XISelectEvents(probe.dpy, DefaultRootWindow(probe.dpy), &mask, 1);
        XSync(probe.dpy, False);
        Run run;
        operations::smoothMove(run, target.x(), target.y(), 0.2);
        XSync(probe.dpy, False);
        int moves = 0;
        while (XPending(probe.dpy)) {
            XEvent e;
            XNextEvent(probe.dpy, &e);
            if (e.xcookie.type == GenericEvent && e.xcookie.extension == xiOpcode && e.xcookie.evtype == XI_RawMotion)
                ++moves;
        }
        QVERIFY2(moves > 3, "the pointer jumped instead of gliding");
        QPoint seen;
        Probe().pointerMask(&seen);
        QCOMPARE(seen, expected);
        QCOMPARE(x11->cursorPos(), (platform::Point{expected.x(), expected.y()}));
    }

    void clickLandsOnButton_data()
    {
        QTest::addColumn<bool>("left");
        QTest::newRow("left") << true;
        QTest::newRow("right") << false;
    }

    void clickLandsOnButton()
    {
        QFETCH(bool, left);
        QSignalSpy clicked(button, &QPushButton::clicked);
        QSignalSpy menu(button, &QWidget::customContextMenuRequested);
        const QPoint centre = button->mapToGlobal(button->rect().center());
        x11->setCursorPos(centre.x(), centre.y());
        const MouseButton which = left ? MouseButton::Left : MouseButton::Right;
        // The button is down while the click holds it, and up after.
        std::atomic<bool> sawDown{false}, sawOther{false};
        Run run;
        std::thread clicker([&] { operations::clickButton(run, which, 0.2); });
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 150) {
            sawDown = sawDown || x11->isKeyDown(left ? 1 : 2);
            sawOther = sawOther || x11->isKeyDown(left ? 2 : 1);
            QThread::msleep(5);
        }
        clicker.join();
        QVERIFY(sawDown);
        QVERIFY(!sawOther);
        QVERIFY(!x11->isKeyDown(left ? 1 : 2));
        if (left) {
            QTRY_COMPARE(clicked.count(), 1);
            QCOMPARE(menu.count(), 0);
        } else {
            QTRY_COMPARE(menu.count(), 1);
            QCOMPARE(clicked.count(), 0);
        }
    }

    void keyStateSeesOwnKeys_data()
    {
        QTest::addColumn<int>("pressed");
        QTest::addColumn<QList<int>>("down");
        QTest::addColumn<QList<int>>("up");
        QTest::newRow("generic ctrl") << 17 << QList<int>{17, 162} << QList<int>{163, 18, 16};
        QTest::newRow("right ctrl") << 163 << QList<int>{17, 163} << QList<int>{162};
        QTest::newRow("left shift") << 160 << QList<int>{16, 160} << QList<int>{161, 17};
        QTest::newRow("right alt") << 165 << QList<int>{18, 165} << QList<int>{164};
        QTest::newRow("left win") << 91 << QList<int>{91} << QList<int>{92};
        QTest::newRow("letter") << 71 << QList<int>{71} << QList<int>{72, 17};
        QTest::newRow("keypad 5") << 101 << QList<int>{101} << QList<int>{53};
    }

    void keyStateSeesOwnKeys()
    {
        QFETCH(int, pressed);
        QFETCH(QList<int>, down);
        QFETCH(QList<int>, up);
        // Keys go to a window that ignores them.
        focus(button);
        auto stateFromOtherThread = [this](int code) {
            bool result = false;
            std::thread t([&] { result = x11->isKeyDown(code); });
            t.join();
            return result;
        };
        x11->key(pressed, true);
        for (int code : down) {
            QVERIFY2(x11->isKeyDown(code), qPrintable(QString::number(code)));
            QVERIFY(stateFromOtherThread(code));
        }
        for (int code : up)
            QVERIFY2(!x11->isKeyDown(code), qPrintable(QString::number(code)));
        x11->key(pressed, false);
        for (int code : down) {
            QVERIFY(!x11->isKeyDown(code));
            QVERIFY(!stateFromOtherThread(code));
        }
    }

    void captureSwallowsAndReportsSides_data()
    {
        QTest::addColumn<QList<int>>("pressed");
        QTest::addColumn<QList<int>>("reported");
        QTest::addColumn<QString>("combination");
        QTest::newRow("ctrl+alt+g") << QList<int>{17, 18, 71} << QList<int>{162, 164, 71} << QStringLiteral("71,3");
        QTest::newRow("shift+a") << QList<int>{161, 65} << QList<int>{161, 65} << QStringLiteral("65,4");
        QTest::newRow("win+f5") << QList<int>{92, 116} << QList<int>{92, 116} << QStringLiteral("116,8");
        QTest::newRow("lone right ctrl") << QList<int>{163} << QList<int>{163} << QStringLiteral("163,0");
        QTest::newRow("lone left shift") << QList<int>{16} << QList<int>{160} << QStringLiteral("160,0");
        QTest::newRow("lone right alt") << QList<int>{165} << QList<int>{165} << QStringLiteral("165,0");
        QTest::newRow("lone left win") << QList<int>{91} << QList<int>{91} << QStringLiteral("91,0");
        QTest::newRow("keypad 7 with num lock off") << QList<int>{103} << QList<int>{36} << QStringLiteral("36,0");
        QTest::newRow("oem key") << QList<int>{219} << QList<int>{219} << QStringLiteral("219,0");
        QTest::newRow("ctrl+enter") << QList<int>{162, 13} << QList<int>{162, 13} << QStringLiteral("13,2");
    }

    void captureSwallowsAndReportsSides()
    {
        QFETCH(QList<int>, pressed);
        QFETCH(QList<int>, reported);
        QFETCH(QString, combination);
        line->clear();
        focus(line);

        struct Seen {
            std::mutex m;
            QList<QPair<int, bool>> events;
        } seen;
        const int hook = x11->installKeyboardHook([&seen](int code, bool down) {
            std::lock_guard<std::mutex> lock(seen.m);
            seen.events.append({code, down});
            return true;
        });
        QVERIFY(hook > 0);
        auto removeHook = qScopeGuard([&] { x11->removeKeyboardHook(hook); });
        QVERIFY(x11->keyboardGrabbed());
        tap(*x11, pressed);
        tap(*x11, {66}); // a plain key, to show that the window gets nothing
        QList<QPair<int, bool>> expected;
        for (int code : reported)
            expected.append({code, true});
        for (auto it = reported.rbegin(); it != reported.rend(); ++it)
            expected.append({*it, false});
        expected.append({66, true});
        expected.append({66, false});
        auto events = [&seen] {
            std::lock_guard<std::mutex> lock(seen.m);
            return seen.events;
        };
        QTRY_COMPARE(events(), expected);

        // What a capture makes of it: the modifiers held when the key went
        // down, or the lone modifier itself.
        int mask = 0;
        int keyCode = 0;
        for (const auto &[code, down] : expected) {
            if (!down)
                continue;
            if (KeyCombination::isModifierKey(code) && code != reported.last())
                mask |= KeyCombination::modifierMaskOf(code);
            else if (!keyCode)
                keyCode = code;
        }
        QCOMPARE(KeyCombination::format(keyCode, mask), combination);

        QVERIFY(x11->removeKeyboardHook(hook));
        QVERIFY(!x11->removeKeyboardHook(hook));
        QVERIFY(!x11->keyboardGrabbed());
        QTest::qWait(100);
        QCOMPARE(line->text(), QString()); // nothing reached the window during the capture
        tap(*x11, {67});
        QTRY_COMPARE(line->text(), QStringLiteral("c")); // and typing works again after it
    }

    void disarmedHookFreesKeyboard()
    {
        line->clear();
        focus(line);
        std::atomic<int> calls{0};
        const int hook = x11->installKeyboardHook([&calls](int, bool) {
            ++calls;
            return true;
        });
        QVERIFY(hook > 0);
        auto removeHook = qScopeGuard([&] { x11->removeKeyboardHook(hook); });
        x11->setKeyboardHookActive(hook, false);
        QVERIFY(!x11->keyboardGrabbed());
        tap(*x11, {68});
        QTRY_COMPARE(line->text(), QStringLiteral("d"));
        QCOMPARE(calls.load(), 0);
        x11->setKeyboardHookActive(hook, true);
        QVERIFY(x11->keyboardGrabbed());
        tap(*x11, {69});
        QTRY_COMPARE(calls.load(), 2);
        QCOMPARE(line->text(), QStringLiteral("d"));
        QVERIFY(x11->removeKeyboardHook(hook));
        QVERIFY(!x11->keyboardGrabbed());
    }

    void hookFailsWhileAnotherClientHoldsTheKeyboard()
    {
        Probe other;
        QCOMPARE(XGrabKeyboard(other.dpy, DefaultRootWindow(other.dpy), False, GrabModeAsync, GrabModeAsync, CurrentTime),
                 GrabSuccess);
        XSync(other.dpy, False);
        QElapsedTimer waited;
        waited.start();
        QCOMPARE(x11->installKeyboardHook([](int, bool) { return true; }), 0);
        QVERIFY(waited.elapsed() >= 300); // it retried before giving up
        QCOMPARE(x11->lastError(), (unsigned long)AlreadyGrabbed);
        QVERIFY(!x11->keyboardGrabbed());

        // A grab let go while we retry is taken.
        std::thread release([&other] {
            QThread::msleep(150);
            XUngrabKeyboard(other.dpy, CurrentTime);
            XSync(other.dpy, False);
        });
        const int hook = x11->installKeyboardHook([](int, bool) { return true; });
        release.join();
        QVERIFY(hook > 0);
        QVERIFY(x11->removeKeyboardHook(hook));
    }

    void hotKeyFiresOnceThroughNativeFilter_data()
    {
        QTest::addColumn<bool>("numLock");
        QTest::newRow("plain") << false;
        QTest::newRow("num lock on") << true;
    }

    void hotKeyFiresOnceThroughNativeFilter()
    {
        QFETCH(bool, numLock);
        HotKeySpy spy(*x11);
        qApp->installNativeEventFilter(&spy);
        QVERIFY(x11->registerHotKey(1001, 3, 71));
        QVERIFY(!x11->registerHotKey(1001, 3, 71)); // one registration per id
        if (numLock)
            tap(*x11, {144});
        tap(*x11, {17, 65}); // another combination: not the hot key
        tap(*x11, {17, 18, 16, 71}); // an extra modifier: not the hot key
        tap(*x11, {162, 164, 71});
        QTRY_COMPARE(spy.fired, QList<int>{1001});
        QTest::qWait(100);
        QCOMPARE(spy.fired, QList<int>{1001});
        if (numLock)
            tap(*x11, {144});
        x11->unregisterHotKey(1001);
        x11->unregisterHotKey(1001); // harmless twice
        tap(*x11, {162, 164, 71});
        QTest::qWait(100);
        QCOMPARE(spy.fired, QList<int>{1001});
        qApp->removeNativeEventFilter(&spy);
        QVERIFY(Probe().keysDown().isEmpty());
    }

    void hotKeyOwnedByAnotherClientFails()
    {
        Probe other;
        platform::X11Keymap keymap;
        keymap.load(other.dpy);
        const auto gs = keymap.keycodesOf(XK_g);
        const int g = gs.empty() ? 0 : gs.front();
        QVERIFY(g);
        XGrabKey(other.dpy, g, ControlMask | Mod1Mask, DefaultRootWindow(other.dpy), True, GrabModeAsync, GrabModeAsync);
        XSync(other.dpy, False);
        QVERIFY(!x11->registerHotKey(1001, 3, 71));
        XUngrabKey(other.dpy, g, ControlMask | Mod1Mask, DefaultRootWindow(other.dpy));
        XSync(other.dpy, False);
        QVERIFY(x11->registerHotKey(1001, 3, 71));
        // Now we own it, and the other client's grab fails.
        x11->unregisterHotKey(1001);
    }

    // A Key operation holds a key while the layout changes under it; its
    // release must let go of the keycode it pressed, not of the one that
    // carries the key's symbol now.
    void keyReleasedWhereItWasPressed_data()
    {
        QTest::addColumn<QString>("combination");
        QTest::addColumn<int>("keysym");
        QTest::addColumn<QString>("layout");
        QTest::newRow("Q under French AZERTY") << QStringLiteral("81,0") << int(XK_q) << QStringLiteral("fr");
        QTest::newRow("A under French AZERTY") << QStringLiteral("65,0") << int(XK_a) << QStringLiteral("fr");
        QTest::newRow("Z under German QWERTZ") << QStringLiteral("90,0") << int(XK_z) << QStringLiteral("de");
        QTest::newRow("Ctrl+Shift+Y under German QWERTZ") << QStringLiteral("89,6") << int(XK_y) << QStringLiteral("de");
    }

    void keyReleasedWhereItWasPressed()
    {
        QFETCH(QString, combination);
        QFETCH(int, keysym);
        QFETCH(QString, layout);
        focus(button);
        Probe probe;
        platform::X11Keymap before;
        before.load(probe.dpy);
        const int pressedAt = XKeysymToKeycode(probe.dpy, KeySym(keysym));
        QVERIFY(pressedAt > 0);

        // The server's whole keyboard description, loaded back afterwards.
        QTemporaryDir dir;
        const QString saved = dir.filePath(QStringLiteral("keymap.xkb"));
        const QString display = QString::fromLocal8Bit(qgetenv("DISPLAY"));
        QCOMPARE(QProcess::execute(QStringLiteral("xkbcomp"), {QStringLiteral("-xkb"), display, saved}), 0);
        auto putBack = qScopeGuard([&] { QProcess::execute(QStringLiteral("xkbcomp"), {QStringLiteral("-w0"), saved, display}); });

        Run run;
        std::thread holder([&] { operations::pressKey(run, combination + QStringLiteral(",600")); });
        auto stopper = qScopeGuard([&] {
            run.requestStop();
            holder.join();
        });
        QTRY_VERIFY(probe.keysDown().contains(pressedAt));

        QCOMPARE(QProcess::execute(QStringLiteral("setxkbmap"), {QStringLiteral("-layout"), layout}), 0);
        // The symbol moved (a fresh copy: Xlib's own is read only on events).
        auto keycodesNow = [&] {
            platform::X11Keymap now;
            now.load(probe.dpy);
            return now.keycodesOf(unsigned(keysym));
        };
        QTRY_VERIFY(!keycodesNow().empty() && keycodesNow().front() != pressedAt);
        QVERIFY(probe.keysDown().contains(pressedAt));

        stopper.dismiss();
        run.requestStop();
        holder.join();
        QCOMPARE(probe.keysDown(), QList<int>());
        QVERIFY(x11->heldKeycodes().empty());

        putBack.dismiss();
        QCOMPARE(QProcess::execute(QStringLiteral("xkbcomp"), {QStringLiteral("-w0"), saved, display}), 0);
        platform::X11Keymap after;
        QTRY_VERIFY((after.load(probe.dpy), after.row(pressedAt) == before.row(pressedAt)));
        for (int kc = before.minKeycode(); kc <= before.maxKeycode(); ++kc)
            QCOMPARE(after.row(kc), before.row(kc));
    }

    // Typing that waits for a spare key to settle does so without the
    // backend's lock: other operations go on meanwhile, and a stop ends the
    // wait at once (the character it waited for is not typed then).
    void typingWaitsWithoutHoldingOthers_data()
    {
        QTest::addColumn<bool>("stop");
        QTest::newRow("the spare key settles") << false;
        QTest::newRow("a stop ends the wait") << true;
    }

    void typingWaitsWithoutHoldingOthers()
    {
        QFETCH(bool, stop);
        QTRY_COMPARE(x11->boundSpareKeys(), 0); // the rows of earlier tests are back
        Probe probe;
        platform::X11Keymap before;
        before.load(probe.dpy);
        const int columns = 2 * int(before.spareKeycodes().size());
        QVERIFY(columns > 0);
        // One distinct character more than the spare keys hold: the last
        // one waits until a spare key may be bound again.
        QString typed;
        for (int i = 0; i <= columns; ++i)
            typed += QChar(char16_t(0x4e00 + i));

        // A backend of its own, whose settle time outlasts the test, and
        // which does not ask the window whether it has read its keys.
        auto desktop = openBackend();
        QVERIFY(desktop);
        desktop->setSettleTime(std::chrono::minutes(10));
        desktop->setReceiverPings(false);
        platform::setDesktop(desktop);
        auto backToShared = qScopeGuard([&] { platform::setDesktop(x11); });
        text->clear();
        focus(text);

        Run run;
        std::atomic<bool> returned{false};
        std::thread typist([&] {
            operations::typeText(run, typed, 0.001);
            returned = true;
        });
        auto ender = qScopeGuard([&] {
            desktop->setSettleTime(std::chrono::milliseconds(150));
            run.requestStop();
            typist.join();
        });
        QTRY_COMPARE_WITH_TIMEOUT(text->toPlainText(), typed.left(columns), 15000);

        // Another operation's key, click and pointer move go through while
        // the typist waits.
        std::atomic<bool> othersDone{false};
        std::thread other([&] {
            desktop->key(66, true); // B
            desktop->key(66, false);
            desktop->setCursorPos(700, 20);
            desktop->mouseButton(MouseButton::Right, true);
            desktop->mouseButton(MouseButton::Right, false);
            othersDone = true;
        });
        auto otherJoiner = qScopeGuard([&] { other.join(); });
        QTRY_VERIFY_WITH_TIMEOUT(othersDone.load(), 20000);
        QTRY_COMPARE(text->toPlainText(), typed.left(columns) + QLatin1Char('b'));
        QVERIFY(!returned.load()); // still waiting: it did not hold them up
        otherJoiner.dismiss();
        other.join();

        if (stop) {
            run.requestStop();
            QTRY_VERIFY_WITH_TIMEOUT(returned.load(), 20000);
            QTest::qWait(100);
            QCOMPARE(text->toPlainText(), typed.left(columns) + QLatin1Char('b'));
        } else {
            desktop->setSettleTime(std::chrono::milliseconds(150));
            QTRY_VERIFY_WITH_TIMEOUT(returned.load(), 20000);
            QTRY_COMPARE(text->toPlainText(), typed.left(columns) + QLatin1Char('b') + typed.mid(columns));
        }
        ender.dismiss();
        typist.join();

        // The rows come back, and nothing is held.
        desktop->setSettleTime(std::chrono::milliseconds(150));
        backToShared.dismiss();
        platform::setDesktop(x11);
        desktop.reset();
        QCOMPARE(probe.keysDown(), QList<int>());
        QCOMPARE(probe.pointerMask() & (Button1Mask | Button2Mask | Button3Mask), 0u);
        platform::X11Keymap after;
        after.load(probe.dpy);
        for (int kc = before.minKeycode(); kc <= before.maxKeycode(); ++kc)
            QCOMPARE(after.row(kc), before.row(kc));
    }

    // Threads that start while a text types open connections of their own
    // (the stop watcher of every new run does). Typing holds the server
    // grabbed around each character; an opening that waited for the server
    // inside Xlib's process-wide lock used to leave the typist waiting for
    // that lock, with the server held, for ever: the run could not even be
    // stopped.
    void newConnectionsWhileTextTypes()
    {
        QTRY_COMPARE(x11->boundSpareKeys(), 0);
        // Hiragana, outside the keymap, but no more distinct ones than the
        // spare keys hold: no binding changes while the text types, so a
        // busy machine cannot make the test's window read one late.
        Probe keys;
        platform::X11Keymap keymap;
        keymap.load(keys.dpy);
        const int distinct = std::min(2 * int(keymap.spareKeycodes().size()), 20);
        QVERIFY(distinct > 0);
        QString typed;
        for (int i = 0; i < 400; ++i)
            typed += QChar(char16_t(0x3042 + i % distinct));
        text->clear();
        focus(text);

        // Another client of this process that uses XTest too, as the
        // person of a test or a second desktop does: Xlib then looks the
        // extension up again under its process-wide lock at the typist's
        // next XTest call.
        Probe other;
        std::atomic<bool> typing{true};
        std::atomic<int> opened{0};
        std::thread opener([&] {
            // One short-lived thread after another, each with its own
            // connection, until the text is typed.
            while (typing) {
                XTestGrabControl(other.dpy, False);
                XFlush(other.dpy);
                std::thread([&] {
                    x11->isKeyDown(16); // Shift: any query opens the connection
                    ++opened;
                }).join();
            }
        });
        std::atomic<bool> returned{false};
        std::thread typist([&] {
            Run run;
            operations::typeText(run, typed, 0.001);
            returned = true;
        });
        auto joiner = qScopeGuard([&] {
            typist.join();
            typing = false;
            opener.join();
        });
        // A bound for a hang, not a timing: the text takes about a second.
        QTRY_VERIFY_WITH_TIMEOUT(returned.load(), 60000);
        QTRY_COMPARE_WITH_TIMEOUT(text->toPlainText(), typed, 15000);
        typing = false;
        joiner.dismiss();
        typist.join();
        opener.join();
        qInfo("%d connections opened and closed while the text typed", opened.load());
        QVERIFY(opened.load() > 0);
        QVERIFY(x11->heldKeycodes().empty());
        QTRY_COMPARE(x11->boundSpareKeys(), 0); // the spare keys it borrowed are given back
    }

    // Texts whose characters outside the keymap outnumber the spare keys:
    // the backend binds the announced text ahead in batches and rebinds
    // keys once they have settled. Order, repeats across batches, surrogate
    // pairs and ASCII between them must all come through.
    void textBoundAheadArrivesExactly_data()
    {
        QTest::addColumn<QString>("typed");
        platform::X11Keymap keymap;
        keymap.load(Probe().dpy);
        const int columns = 2 * int(keymap.spareKeycodes().size());
        QVERIFY(columns > 0);
        QString repeats;
        for (int i = 0; i < 2 * columns + 6; ++i) {
            repeats += QChar(char16_t(0x4e00 + i));
            if (i % 5 == 0) // one bound in an earlier batch
                repeats += QChar(char16_t(0x4e00 + i / 5));
        }
        QTest::newRow("more distinct than spare keys, repeats across batches") << repeats;
        QTest::newRow("ASCII, kana and emoji pairs mixed") << mixedText(columns + 8);
        QString back;
        for (int i = 0; i < 2 * columns; ++i)
            back += QChar(char16_t(0x3041 + i));
        for (int i = columns - 1; i >= 0; --i)
            back += QChar(char16_t(0x3041 + i)); // their keys were taken meanwhile
        QTest::newRow("early characters again after their keys were taken") << back;
    }

    void textBoundAheadArrivesExactly()
    {
        QFETCH(QString, typed);
        QTRY_COMPARE(x11->boundSpareKeys(), 0);
        Probe probe;
        platform::X11Keymap before;
        before.load(probe.dpy);
        text->clear();
        focus(text);
        std::thread typist([&] {
            Run run;
            operations::typeText(run, typed, 0.001);
        });
        auto joiner = qScopeGuard([&] { typist.join(); });
        QTRY_COMPARE_WITH_TIMEOUT(text->toPlainText(), typed, 15000);
        joiner.dismiss();
        typist.join();
        QVERIFY(x11->heldKeycodes().empty());
        QCOMPARE(probe.keysDown(), QList<int>());
        QTRY_COMPARE(x11->boundSpareKeys(), 0);
        platform::X11Keymap after;
        after.load(probe.dpy);
        for (int kc = before.minKeycode(); kc <= before.maxKeycode(); ++kc)
            QCOMPARE(after.row(kc), before.row(kc));
        QCOMPARE(text->toPlainText(), typed); // nothing typed late, nothing read again
    }

    // The whole batch goes out at once: one keymap change (each makes every
    // client read the keymap again), and the restore likewise. A stop
    // while a key settles ends the text right before the character that
    // waits: the part before it arrives exactly, nothing after it.
    void textBoundAheadInOneChange_data()
    {
        QTest::addColumn<int>("extra"); // distinct characters beyond the spare columns
        QTest::addColumn<bool>("stop");
        QTest::newRow("as many as the spare keys hold") << 0 << false;
        QTest::newRow("fewer than they hold") << -5 << false;
        QTest::newRow("one more: the stop comes while a key settles") << 1 << true;
        QTest::newRow("many more: the stop comes while a key settles") << 30 << true;
    }

    void textBoundAheadInOneChange()
    {
        QFETCH(int, extra);
        QFETCH(bool, stop);
        QTRY_COMPARE(x11->boundSpareKeys(), 0);
        Probe probe;
        platform::X11Keymap before;
        before.load(probe.dpy);
        const int columns = 2 * int(before.spareKeycodes().size());
        QVERIFY(columns > 5);
        const QString typed = mixedText(columns + extra);
        // Where the first character beyond the spare columns begins.
        qsizetype waitsAt = typed.size();
        {
            QSet<char32_t> seen;
            for (qsizetype k = 0; k < typed.size(); k += typed.at(k).isHighSurrogate() ? 2 : 1) {
                const char32_t cp = typed.at(k).isHighSurrogate() ? QChar::surrogateToUcs4(typed.at(k), typed.at(k + 1)) : typed.at(k).unicode();
                if (cp >= 0x80 && !seen.contains(cp)) {
                    seen.insert(cp);
                    if (seen.size() > columns) {
                        waitsAt = k;
                        break;
                    }
                }
            }
        }
        QCOMPARE(waitsAt < typed.size(), stop);

        // A backend of its own whose keys never settle during the test: its
        // rows stay bound until it goes.
        auto desktop = openBackend();
        QVERIFY(desktop);
        desktop->setSettleTime(std::chrono::minutes(10));
        desktop->setReceiverPings(false);
        platform::setDesktop(desktop);
        auto backToShared = qScopeGuard([&] {
            platform::setDesktop(x11);
            desktop->setSettleTime(std::chrono::milliseconds(150)); // its end waits for that
        });
        text->clear();
        focus(text);
        Probe changes;
        int xkbEvent = 0;
        QVERIFY(XkbQueryExtension(changes.dpy, nullptr, &xkbEvent, nullptr, nullptr, nullptr));
        QVERIFY(XkbSelectEvents(changes.dpy, XkbUseCoreKbd, XkbMapNotifyMask, XkbMapNotifyMask));
        XSync(changes.dpy, True); // from here on, count the keymap changes

        Run run;
        std::atomic<bool> returned{false};
        std::thread typist([&] {
            operations::typeText(run, typed, 0.001);
            returned = true;
        });
        auto ender = qScopeGuard([&] {
            run.requestStop();
            typist.join();
        });
        QTRY_COMPARE_WITH_TIMEOUT(text->toPlainText(), typed.left(waitsAt), 15000);
        if (stop) {
            QVERIFY(!returned.load()); // it waits for a key to settle
            run.requestStop();
        }
        QTRY_VERIFY_WITH_TIMEOUT(returned.load(), 15000);
        ender.dismiss();
        typist.join();
        // Each keyboard device tells of every change. One change: each
        // slave device hears of it once; the core keyboard, which clients
        // read, once more when it takes its copy from the XTest keyboard.
        XkbDeviceInfoPtr coreInfo = XkbGetDeviceInfo(changes.dpy, 0, XkbUseCoreKbd, 0, 0);
        QVERIFY(coreInfo);
        const int coreKeyboard = coreInfo->device_spec;
        XkbFreeDeviceInfo(coreInfo, XkbXI_AllDeviceFeaturesMask, True);
        QVERIFY(coreKeyboard != XkbUseCoreKbd);
        auto isOneChange = [&changes, xkbEvent, coreKeyboard] {
            XSync(changes.dpy, False);
            QMap<int, int> perDevice;
            while (XPending(changes.dpy)) {
                XEvent ev;
                XNextEvent(changes.dpy, &ev);
                const XkbEvent &xkb = reinterpret_cast<XkbEvent &>(ev);
                if (ev.type == xkbEvent && xkb.any.xkb_type == XkbMapNotify && (xkb.map.changed & XkbKeySymsMask))
                    ++perDevice[xkb.any.device];
            }
            bool one = perDevice.contains(coreKeyboard);
            for (auto it = perDevice.begin(); it != perDevice.end(); ++it) {
                one = one && (it.value() == 1 || (it.key() == coreKeyboard && it.value() == 2));
                qInfo("keyboard device %d: %d keymap changes", it.key(), it.value());
            }
            return one;
        };
        // Filled key by key, from the top spare keycode down, in one change.
        const int boundKeys = (std::min(columns, columns + extra) + 1) / 2;
        QCOMPARE(desktop->boundSpareKeys(), boundKeys);
        QVERIFY(isOneChange());
        QTest::qWait(200);
        QCOMPARE(text->toPlainText(), typed.left(waitsAt)); // nothing after the stop

        backToShared.dismiss();
        platform::setDesktop(x11);
        desktop->setSettleTime(std::chrono::milliseconds(150));
        desktop.reset(); // gives the rows back
        QVERIFY(isOneChange());
        QCOMPARE(probe.keysDown(), QList<int>());
        platform::X11Keymap after;
        after.load(probe.dpy);
        for (int kc = before.minKeycode(); kc <= before.maxKeycode(); ++kc)
            QCOMPARE(after.row(kc), before.row(kc));
    }

    // A spare key is bound again once the receiving window has answered a
    // ping sent after the key's last press, not after a settle time: with a
    // settle time longer than the test, a text with three times more
    // distinct characters than the spare keys hold still arrives whole. A
    // window that says it answers pings but does not leaves the typing to
    // the settle time: every character is still pressed, once.
    void spareKeysFreedByReceiverAnswers_data()
    {
        QTest::addColumn<bool>("answers");
        QTest::newRow("a Qt window answers") << true;
        QTest::newRow("a window that never answers") << false;
    }

    void spareKeysFreedByReceiverAnswers()
    {
        QFETCH(bool, answers);
        QTRY_COMPARE(x11->boundSpareKeys(), 0);
        Probe probe;
        platform::X11Keymap before;
        before.load(probe.dpy);
        const std::vector<int> spare = before.spareKeycodes();
        const int columns = 2 * int(spare.size());
        QVERIFY(columns > 0);
        QString typed;
        for (int i = 0; i < 3 * columns; ++i)
            typed += QChar(char16_t(0x4e00 + i));

        auto desktop = openBackend();
        QVERIFY(desktop);
        desktop->setSettleTime(answers ? std::chrono::milliseconds(std::chrono::minutes(10)) : std::chrono::milliseconds(150));
        platform::setDesktop(desktop);
        auto backToShared = qScopeGuard([&] {
            platform::setDesktop(x11);
            desktop->setSettleTime(std::chrono::milliseconds(150));
        });

        // The silent window: a bare X window that lists the ping among its
        // protocols, has the focus and counts the key presses it gets.
        Window silent = 0;
        if (answers) {
            text->clear();
            focus(text);
        } else {
            const Window root = DefaultRootWindow(probe.dpy);
            silent = XCreateSimpleWindow(probe.dpy, root, 0, 0, 200, 100, 0, 0, 0);
            Atom ping = XInternAtom(probe.dpy, "_NET_WM_PING", False);
            XSetWMProtocols(probe.dpy, silent, &ping, 1);
            XSelectInput(probe.dpy, silent, KeyPressMask | ExposureMask);
            XMapRaised(probe.dpy, silent);
            XSync(probe.dpy, False);
            QTRY_VERIFY((XSetInputFocus(probe.dpy, silent, RevertToParent, CurrentTime), XSync(probe.dpy, False), [&] {
                Window f = 0;
                int revert = 0;
                XGetInputFocus(probe.dpy, &f, &revert);
                return f == silent;
            }()));
            QTest::ignoreMessage(QtWarningMsg, "The window receiving the text did not answer a ping; typing waits the settle time instead.");
        }
        // The focus goes back to the test's window by the same means: Qt asks
        // for it with the time of the last event it saw, which is older than
        // our change, so the server would refuse Qt's own request.
        auto destroySilent = qScopeGuard([&] {
            if (!silent)
                return;
            XDestroyWindow(probe.dpy, silent);
            XSetInputFocus(probe.dpy, Window(window->winId()), RevertToParent, CurrentTime);
            XSync(probe.dpy, False);
        });

        std::atomic<bool> returned{false};
        std::thread typist([&] {
            Run run;
            operations::typeText(run, typed, 0.001);
            returned = true;
        });
        auto joiner = qScopeGuard([&] { typist.join(); });
        // Bounds for a hang, not timings: the text takes well under a second
        // with answers, a few seconds without.
        QTRY_VERIFY_WITH_TIMEOUT(returned.load(), 60000);
        joiner.dismiss();
        typist.join();
        if (answers) {
            QTRY_COMPARE_WITH_TIMEOUT(text->toPlainText(), typed, 15000);
        } else {
            int presses = 0;
            XSync(probe.dpy, False);
            while (XPending(probe.dpy)) {
                XEvent ev;
                XNextEvent(probe.dpy, &ev);
                if (ev.type == KeyPress && std::count(spare.begin(), spare.end(), int(ev.xkey.keycode)))
                    ++presses;
            }
            QCOMPARE(presses, int(typed.size()));
        }
        QVERIFY(desktop->heldKeycodes().empty());
        QCOMPARE(probe.keysDown(), QList<int>());

        destroySilent.dismiss();
        if (silent) {
            XDestroyWindow(probe.dpy, silent);
            XSetInputFocus(probe.dpy, Window(window->winId()), RevertToParent, CurrentTime);
            XSync(probe.dpy, False);
            QTRY_VERIFY(window->isActiveWindow());
        }
        backToShared.dismiss();
        platform::setDesktop(x11);
        desktop->setSettleTime(std::chrono::milliseconds(150));
        desktop.reset(); // gives the rows back
        platform::X11Keymap after;
        after.load(probe.dpy);
        for (int kc = before.minKeycode(); kc <= before.maxKeycode(); ++kc)
            QCOMPARE(after.row(kc), before.row(kc));
    }

    void stoppedRunsLeaveNothingHeld_data()
    {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed : {11u, 12u, 13u, 14u, 15u, 16u})
            QTest::newRow(qPrintable(QStringLiteral("seed %1").arg(seed))) << seed;
    }

    void stoppedRunsLeaveNothingHeld()
    {
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        focus(button);
        platform::X11Keymap before;
        before.load(Probe().dpy);
        // The engine's workers, each repeating its operation until the stop,
        // which comes at a random moment.
        Run run;
        std::vector<std::thread> workers;
        workers.emplace_back([&] {
            while (!run.isStopRequested())
                operations::pressKey(run, QStringLiteral("70,15,0.03"));
        });
        workers.emplace_back([&] {
            while (!run.isStopRequested())
                operations::clickButton(run, MouseButton::Right, 0.02);
        });
        workers.emplace_back([&] {
            while (!run.isStopRequested())
                operations::typeText(run, QStringLiteral("日本語のテキストAbc😀ЖЖ"), 0.05);
        });
        QTest::qWait(20 + int(random.bounded(300)));
        run.requestStop();
        for (auto &w : workers)
            w.join();

        Probe probe;
        QCOMPARE(probe.keysDown(), QList<int>());
        QCOMPARE(probe.pointerMask() & (Button1Mask | Button2Mask | Button3Mask), 0u);
        QVERIFY(x11->heldKeycodes().empty());
        QVERIFY(x11->heldButtons().empty());
        QTRY_COMPARE(x11->boundSpareKeys(), 0);
        platform::X11Keymap after;
        after.load(probe.dpy);
        for (int kc = before.minKeycode(); kc <= before.maxKeycode(); ++kc)
            QCOMPARE(after.row(kc), before.row(kc));
    }

    void backendReleasesOnDestruction_data()
    {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed : {1u, 2u, 3u, 4u})
            QTest::newRow(qPrintable(QStringLiteral("seed %1").arg(seed))) << seed;
    }

    void backendReleasesOnDestruction()
    {
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        focus(button);
        auto desktop = openBackend();
        QVERIFY(desktop);
        platform::X11Keymap before;
        before.load(Probe().dpy);
        // Workers of a run press modifiers, keys, buttons and characters; a
        // stop comes at a random moment, and the run's backend goes away.
        std::atomic<bool> stop{false};
        std::vector<std::thread> workers;
        workers.emplace_back([&] {
            for (int i = 0; !stop; ++i) {
                desktop->key(17, true);
                desktop->key(160, true);
                desktop->key(70 + i % 5, true);
                if (stop)
                    return; // as a stop between press and release would leave it
                desktop->key(70 + i % 5, false);
                desktop->key(160, false);
                desktop->key(17, false);
            }
        });
        workers.emplace_back([&] {
            while (!stop) {
                desktop->mouseButton(MouseButton::Right, true);
                if (stop)
                    return;
                desktop->mouseButton(MouseButton::Right, false);
            }
        });
        workers.emplace_back([&] {
            const QString chars = QStringLiteral("日本語のテキストAbc😀");
            while (!stop) {
                for (QChar c : chars) {
                    desktop->unicodeUnit(c.unicode(), true);
                    if (stop)
                        return; // stopped between down and up
                    desktop->unicodeUnit(c.unicode(), false);
                }
                desktop->textDone();
            }
        });
        QTest::qWait(20 + int(random.bounded(200)));
        stop = true;
        for (auto &w : workers)
            w.join();
        desktop.reset();

        Probe probe;
        QCOMPARE(probe.keysDown(), QList<int>());
        QCOMPARE(probe.pointerMask() & (Button1Mask | Button2Mask | Button3Mask), 0u);
        platform::X11Keymap after;
        after.load(probe.dpy);
        for (int kc = before.minKeycode(); kc <= before.maxKeycode(); ++kc)
            QCOMPARE(after.row(kc), before.row(kc));
    }
};

int main(int argc, char **argv)
{
    // Without a display the xcb platform cannot start at all; start without
    // one so that the test case can say it skips.
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TestX11Desktop test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_x11desktop.moc"
