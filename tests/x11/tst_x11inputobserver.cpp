// Input observers of the X11 backend against a real X server: the person is
// a separate XTest connection, and what the observer reports is compared
// with what the person did; a Qt window of the test shows that nothing was
// taken from the other clients.

#include "platform/desktop_x11.h"
#include "x11person.h"

#include <QLineEdit>
#include <QRegularExpression>
#include <QtTest>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <QDir>

#include <memory>
#include <mutex>

using platform::InputEvent;
using platform::MouseButton;
using platform::X11Desktop;
using Kind = platform::InputEvent::Kind;

namespace {

/// What an observer was told, written on its thread and read on the test's.
class Collector {
public:
    platform::InputObserver observer()
    {
        return [this](const InputEvent &e) {
            std::lock_guard<std::mutex> lock(mutex_);
            events_.push_back(e);
            if (std::this_thread::get_id() == mainThread_)
                onMainThread_ = true;
        };
    }
    std::vector<InputEvent> events() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }
    int count() const { return int(events().size()); }
    void clear()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.clear();
    }
    bool calledOnMainThread() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return onMainThread_;
    }
    /// One line per event, for comparing with a row: "v72 H", "^72", ...
    QStringList lines() const
    {
        QStringList out;
        for (const InputEvent &e : events()) {
            switch (e.kind) {
            case Kind::KeyDown:
                out << QStringLiteral("v%1%2%3").arg(e.vk)
                           .arg(e.character ? QStringLiteral(" U+%1").arg(uint(e.character), 4, 16, QLatin1Char('0')) : QString())
                           .arg(e.repeat ? QStringLiteral(" repeat") : QString());
                break;
            case Kind::KeyUp: out << QStringLiteral("^%1").arg(e.vk); break;
            case Kind::ButtonDown:
            case Kind::ButtonUp:
                out << QStringLiteral("%1 %2 %3,%4")
                           .arg(e.kind == Kind::ButtonDown ? "press" : "release")
                           .arg(e.button == MouseButton::Left ? "left" : "right")
                           .arg(e.pos.x).arg(e.pos.y);
                break;
            case Kind::Motion: out << QStringLiteral("move %1,%2").arg(e.pos.x).arg(e.pos.y); break;
            case Kind::Wheel: out << QStringLiteral("wheel %1 %2,%3").arg(e.wheel).arg(e.pos.x).arg(e.pos.y); break;
            }
        }
        return out;
    }

private:
    mutable std::mutex mutex_;
    std::vector<InputEvent> events_;
    std::thread::id mainThread_ = std::this_thread::get_id();
    bool onMainThread_ = false;
};

QString ch(char32_t c)
{
    return QStringLiteral(" U+%1").arg(uint(c), 4, 16, QLatin1Char('0'));
}

int countEntries(const char *dir)
{
    return int(QDir(QString::fromLatin1(dir)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size());
}

} // namespace

class TestX11InputObserver : public QObject {
    Q_OBJECT

    std::shared_ptr<X11Desktop> x11;
    std::unique_ptr<X11Person> person;

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("No X display: these tests run under the Xvfb of scripts/test.");
        std::string why;
        x11 = std::dynamic_pointer_cast<X11Desktop>(platform::createX11Desktop(&why));
        QVERIFY2(x11, why.c_str());
        person = std::make_unique<X11Person>();
        QVERIFY(person->ok());
    }

    void cleanupTestCase()
    {
        person.reset();
        x11.reset();
    }

    void keysCarryCodeAndCharacter_data()
    {
        QTest::addColumn<QList<QPair<unsigned long, bool>>>("script");
        QTest::addColumn<QStringList>("expected");
        using Step = QPair<unsigned long, bool>;
        QTest::newRow("Shift gives the capital")
            << QList<Step>{{XK_Shift_L, true}, {XK_h, true}, {XK_h, false}, {XK_Shift_L, false}, {XK_i, true}, {XK_i, false}}
            << QStringList{"v160", "v72" + ch('H'), "^72", "^160", "v73" + ch('i'), "^73"};
        QTest::newRow("digits and punctuation, shifted and not")
            << QList<Step>{{XK_1, true}, {XK_1, false}, {XK_Shift_R, true}, {XK_1, true}, {XK_1, false},
                           {XK_comma, true}, {XK_comma, false}, {XK_Shift_R, false}, {XK_comma, true}, {XK_comma, false}}
            << QStringList{"v49" + ch('1'), "^49", "v161", "v49" + ch('!'), "^49",
                           "v188" + ch('<'), "^188", "^161", "v188" + ch(','), "^188"};
        QTest::newRow("keys that type control characters")
            << QList<Step>{{XK_Return, true}, {XK_Return, false}, {XK_Tab, true}, {XK_Tab, false}, {XK_Escape, true}, {XK_Escape, false}}
            << QStringList{"v13" + ch('\r'), "^13", "v9" + ch('\t'), "^9", "v27" + ch(0x1b), "^27"};
        QTest::newRow("keys that type nothing")
            << QList<Step>{{XK_F5, true}, {XK_F5, false}, {XK_Left, true}, {XK_Left, false}, {XK_Control_L, true}, {XK_Control_L, false}}
            << QStringList{"v116", "^116", "v37", "^37", "v162", "^162"};
        QTest::newRow("Ctrl leaves the character alone")
            << QList<Step>{{XK_Control_L, true}, {XK_s, true}, {XK_s, false}, {XK_Control_L, false}}
            << QStringList{"v162", "v83" + ch('s'), "^83", "^162"};
        QTest::newRow("Caps Lock")
            << QList<Step>{{XK_Caps_Lock, true}, {XK_Caps_Lock, false}, {XK_a, true}, {XK_a, false}, {XK_Caps_Lock, true}, {XK_Caps_Lock, false}, {XK_a, true}, {XK_a, false}}
            << QStringList{"v20", "^20", "v65" + ch('A'), "^65", "v20", "^20", "v65" + ch('a'), "^65"};
        QTest::newRow("a key pressed twice is a repeat")
            << QList<Step>{{XK_z, true}, {XK_z, true}, {XK_z, false}}
            << QStringList{"v90" + ch('z'), "v90" + ch('z') + " repeat", "^90"};
    }

    void keysCarryCodeAndCharacter()
    {
        using Step = QPair<unsigned long, bool>;
        QFETCH(QList<Step>, script);
        QFETCH(QStringList, expected);
        Collector collector;
        const int handle = x11->startInputObserver(collector.observer(), platform::observe::Keys);
        QVERIFY(handle > 0);
        auto stop = qScopeGuard([&] { x11->stopInputObserver(handle); });
        for (const Step &step : script)
            person->key(step.first, step.second);
        QTRY_COMPARE(collector.lines(), expected);
        QVERIFY(!collector.calledOnMainThread());
        const auto events = collector.events();
        for (size_t i = 1; i < events.size(); ++i)
            QVERIFY(events[i - 1].time <= events[i].time);
        QCOMPARE(person->keysDown(), QList<int>());
    }

    // Text our own backend types is told as characters sent as characters,
    // as a hook sees Unicode text on Windows: no key code, and none of the
    // Shift presses it needed. The person's keys keep their codes, also the
    // key our typing used a moment before.
    void ourTypedTextIsCharacters()
    {
        Collector collector;
        const int handle = x11->startInputObserver(collector.observer(), platform::observe::Keys);
        QVERIFY(handle > 0);
        auto stop = qScopeGuard([&] { x11->stopInputObserver(handle); });
        const std::u16string text = u"sSあ";
        x11->textBegins(text, nullptr);
        for (char16_t unit : text) {
            x11->unicodeUnit(unit, true);
            x11->unicodeUnit(unit, false);
        }
        x11->textDone();
        const QString packet = QString::number(platform::vk::Packet);
        const QStringList typed{"v" + packet + ch('s'), "^" + packet, "v" + packet + ch('S'), "^" + packet,
                                "v" + packet + ch(0x3042), "^" + packet};
        QTRY_COMPARE(collector.lines(), typed);
        person->tap({XK_Shift_L, XK_s});
        QTRY_COMPARE(collector.lines(), typed + QStringList({"v160", "v83" + ch('S'), "^83", "^160"}));
        QTRY_COMPARE(person->keysDown(), QList<int>());
    }

    // Event times are the server's: a pause between two keys is seen as long
    // as the person made it, however late the observer's thread wakes.
    void pausesAreMeasuredWhereTheyHappen()
    {
        Collector collector;
        const int handle = x11->startInputObserver(collector.observer(), platform::observe::Keys);
        QVERIFY(handle > 0);
        auto stop = qScopeGuard([&] { x11->stopInputObserver(handle); });
        using Clock = std::chrono::steady_clock;
        const Clock::time_point firstBefore = Clock::now();
        person->key(XK_x, true); // returns once the server has handled it
        const Clock::time_point firstAfter = Clock::now();
        QTest::qSleep(150);
        const Clock::time_point secondBefore = Clock::now();
        person->key(XK_y, true);
        const Clock::time_point secondAfter = Clock::now();
        person->key(XK_x, false);
        person->key(XK_y, false);
        QTRY_COMPARE(collector.count(), 4);
        const auto events = collector.events();
        const auto seen = events[1].time - events[0].time;
        // The server's clock counts whole milliseconds: one either way.
        const auto slack = std::chrono::milliseconds(1);
        QVERIFY(seen >= secondBefore - firstAfter - slack);
        QVERIFY(seen <= secondAfter - firstBefore + slack);
        // On the steady clock of this process too, up to how well one round
        // trip at the start could tie the two clocks together.
        const auto tie = std::chrono::milliseconds(100);
        QVERIFY(events[0].time >= firstBefore - tie);
        QVERIFY(events[0].time <= firstAfter + tie);
    }

    // Nothing is taken: a window of another client gets every key, and that
    // client can even grab the keyboard, which the observer then still sees.
    void otherClientsKeepTheirInput()
    {
        QLineEdit line;
        line.setGeometry(100, 100, 300, 40);
        line.show();
        QVERIFY(QTest::qWaitForWindowExposed(&line));
        line.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&line));
        line.setFocus();
        QTRY_VERIFY(line.hasFocus());

        Collector collector;
        const int handle = x11->startInputObserver(collector.observer(), platform::observe::All);
        QVERIFY(handle > 0);
        auto stop = qScopeGuard([&] { x11->stopInputObserver(handle); });
        person->type(QStringLiteral("Hi, X!"));
        QTRY_COMPARE(line.text(), QStringLiteral("Hi, X!"));
        QString seen;
        QTRY_VERIFY((seen.clear(), [&] {
            for (const InputEvent &e : collector.events())
                if (e.kind == Kind::KeyDown && e.character)
                    seen += QString::fromUcs4(&e.character, 1);
            return seen == QStringLiteral("Hi, X!");
        }()));

        X11Person grabber;
        QCOMPARE(XGrabKeyboard(grabber.display(), DefaultRootWindow(grabber.display()), False, GrabModeAsync,
                               GrabModeAsync, CurrentTime),
                 GrabSuccess);
        XSync(grabber.display(), False);
        collector.clear();
        person->tap({XK_q});
        QTRY_COMPARE(collector.lines(), (QStringList{"v81" + ch('q'), "^81"}));
        XUngrabKeyboard(grabber.display(), CurrentTime);
        XSync(grabber.display(), False);
        QCOMPARE(line.text(), QStringLiteral("Hi, X!")); // the grab had the q
    }

    void pointerEventsCarryThePosition()
    {
        person->moveTo(10, 10);
        Collector collector;
        const int handle = x11->startInputObserver(collector.observer(), platform::observe::All);
        QVERIFY(handle > 0);
        auto stop = qScopeGuard([&] { x11->stopInputObserver(handle); });
        person->moveTo(200, 300);
        QTRY_COMPARE(collector.lines(), QStringList{"move 200,300"});
        person->click(1);
        person->click(3);
        person->click(2); // the middle button is not reported
        person->click(4);
        person->click(5);
        person->click(5);
        person->moveTo(200, 300); // no move: nothing to tell
        person->moveTo(201, 300);
        QTRY_COMPARE(collector.lines(),
                     (QStringList{"move 200,300", "press left 200,300", "release left 200,300",
                                  "press right 200,300", "release right 200,300", "wheel 1 200,300",
                                  "wheel -1 200,300", "wheel -1 200,300", "move 201,300"}));
    }

    // A button takes the pointer's place at its own moment, also when the
    // pointer got there without motion events (a warp, as remote desktops,
    // absolute tablets and other tools move it) or by relative moves.
    void buttonsTakeThePlaceOfTheirMoment_data()
    {
        QTest::addColumn<bool>("warp");
        QTest::newRow("absolute warp") << true;
        QTest::newRow("relative move") << false;
    }
    void buttonsTakeThePlaceOfTheirMoment()
    {
        QFETCH(bool, warp);
        Display *dpy = person->display();
        person->moveTo(800, 200);
        Collector collector;
        const int handle = x11->startInputObserver(collector.observer(), platform::observe::Buttons);
        QVERIFY(handle > 0);
        auto stop = qScopeGuard([&] { x11->stopInputObserver(handle); });
        person->click(1);
        QTRY_COMPARE(collector.lines(), (QStringList{"press left 800,200", "release left 800,200"}));
        collector.clear();
        if (warp)
            XWarpPointer(dpy, None, DefaultRootWindow(dpy), 0, 0, 0, 0, 950, 350);
        else
            XTestFakeRelativeMotionEvent(dpy, 150, 150, CurrentTime);
        XSync(dpy, False);
        Window root = 0, child = 0;
        int x = 0, y = 0, wx = 0, wy = 0;
        unsigned int mask = 0;
        XQueryPointer(dpy, DefaultRootWindow(dpy), &root, &child, &x, &y, &wx, &wy, &mask);
        QVERIFY(x != 800 && y != 200);
        const QString at = QStringLiteral("%1,%2").arg(x).arg(y);
        person->click(3);
        person->click(4);
        QTRY_COMPARE(collector.lines(), (QStringList{"press right " + at, "release right " + at, "wheel 1 " + at}));
    }

    // The pointer is looked at only now and then while it keeps moving; a
    // press in the middle of a glide, and the end of a glide, must still
    // carry the exact position.
    void glidesEndAtTheExactPosition_data()
    {
        QTest::addColumn<int>("xbutton");
        QTest::addColumn<QString>("pressLine");
        QTest::newRow("glide, then a press") << 1 << QStringLiteral("press left 499,300");
        QTest::newRow("glide that just stops") << 0 << QString();
    }

    void glidesEndAtTheExactPosition()
    {
        QFETCH(int, xbutton);
        QFETCH(QString, pressLine);
        person->moveTo(100, 300);
        Collector collector;
        const int handle = x11->startInputObserver(collector.observer(), platform::observe::All);
        QVERIFY(handle > 0);
        auto stop = qScopeGuard([&] { x11->stopInputObserver(handle); });
        for (int x = 101; x < 500; ++x)
            person->moveTo(x, 300);
        if (xbutton)
            person->click(xbutton);
        QStringList expectedEnd{"move 499,300"};
        if (xbutton)
            expectedEnd << pressLine << QStringLiteral("release left 499,300");
        QTRY_VERIFY(collector.lines().size() >= expectedEnd.size()
                    && collector.lines().mid(collector.lines().size() - expectedEnd.size()) == expectedEnd);
        // Every motion told of is a place the pointer was, in order.
        const QStringList lines = collector.lines();
        int lastX = 100;
        for (const QString &line : lines.mid(0, lines.size() - expectedEnd.size() + 1)) {
            const QRegularExpressionMatch m = QRegularExpression("^move (\\d+),300$").match(line);
            QVERIFY2(m.hasMatch(), qPrintable(line));
            QVERIFY2(m.captured(1).toInt() > lastX, qPrintable(line));
            lastX = m.captured(1).toInt();
        }
    }

    void kindsNotAskedForAreNotTold()
    {
        Collector keys;
        Collector buttons;
        const int k = x11->startInputObserver(keys.observer(), platform::observe::Keys);
        const int b = x11->startInputObserver(buttons.observer(), platform::observe::Buttons);
        QVERIFY(k > 0);
        QVERIFY(b > 0);
        auto stop = qScopeGuard([&] {
            x11->stopInputObserver(k);
            x11->stopInputObserver(b);
        });
        // A person's actions are milliseconds apart: each is seen before the next.
        person->moveTo(50, 60);
        person->click(1);
        QTRY_COMPARE(buttons.count(), 2);
        person->tap({XK_b});
        QTRY_COMPARE(keys.count(), 2);
        person->moveTo(70, 60);
        person->click(3);
        QTRY_COMPARE(buttons.count(), 4);
        QCOMPARE(keys.lines(), (QStringList{"v66" + ch('b'), "^66"}));
        QCOMPARE(buttons.lines(), (QStringList{"press left 50,60", "release left 50,60", "press right 70,60",
                                               "release right 70,60"}));
    }

    // Stopping ends the observer's thread and closes its connection and pipe;
    // a stopped observer is told nothing more.
    void stopEndsThreadAndConnection()
    {
        const int threadsBefore = countEntries("/proc/self/task");
        const int filesBefore = countEntries("/proc/self/fd");
        Collector collector;
        const int handle = x11->startInputObserver(collector.observer(), platform::observe::All);
        QVERIFY(handle > 0);
        QCOMPARE(countEntries("/proc/self/task"), threadsBefore + 1);
        QVERIFY(countEntries("/proc/self/fd") > filesBefore);
        person->tap({XK_c});
        QTRY_COMPARE(collector.count(), 2);
        QVERIFY(x11->stopInputObserver(handle));
        QVERIFY(!x11->stopInputObserver(handle));
        QCOMPARE(countEntries("/proc/self/task"), threadsBefore);
        QCOMPARE(countEntries("/proc/self/fd"), filesBefore);
        person->tap({XK_c});
        // A sentinel observer started after the tap has its selection in
        // force only afterwards, so it proves the server has sent the tap.
        Collector sentinel;
        const int late = x11->startInputObserver(sentinel.observer(), platform::observe::Keys);
        person->tap({XK_d});
        QTRY_COMPARE(sentinel.count(), 2);
        x11->stopInputObserver(late);
        QCOMPARE(collector.count(), 2);
    }

    void observerCannotStopItselfAndEndsWithItsDesktop()
    {
        const int threadsBefore = countEntries("/proc/self/task");
        std::atomic<int> selfStop{-1};
        {
            std::string why;
            auto local = std::dynamic_pointer_cast<X11Desktop>(platform::createX11Desktop(&why));
            QVERIFY(local);
            std::atomic<int> handle{0};
            X11Desktop *raw = local.get();
            handle = local->startInputObserver(
                [&, raw](const InputEvent &e) {
                    if (e.kind == Kind::KeyDown)
                        selfStop = raw->stopInputObserver(handle) ? 1 : 0;
                },
                platform::observe::Keys);
            QVERIFY(handle > 0);
            person->tap({XK_e});
            QTRY_VERIFY(selfStop >= 0);
        } // the desktop goes, and its observer with it
        QCOMPARE(selfStop.load(), 0);
        QCOMPARE(countEntries("/proc/self/task"), threadsBefore);
    }
};

QTEST_MAIN(TestX11InputObserver)
#include "tst_x11inputobserver.moc"
