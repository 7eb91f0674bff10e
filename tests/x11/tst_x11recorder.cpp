// The recorder against a real X server: the person is a separate XTest
// connection, a Qt window of the test receives what the person does (and,
// afterwards, what the played recording does), and the recording is made
// from the main window's menu and dialog or by the command line.

#include "app/commandline.h"
#include "gui/dialogs/recorddialog.h"
#include "gui/mainwindow/tervalo.h"
#include "gui/widgets/recordingindicator.h"
#include "platform/desktop_x11.h"
#include "project/projectfile.h"
#include "record/recordingsession.h"
#include "support/tempsettings.h"
#include "support/windowparts.h"
#include "x11person.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <chrono>

using Clock = std::chrono::steady_clock;

namespace {

/// A window that notes every key and button it receives, with the X
/// server's time of each.
class Receiver : public QWidget {
public:
    struct Got {
        QString what; ///< "key 43 down", "button 1 up"
        quint64 time; ///< milliseconds, server time
    };
    QList<Got> got;

protected:
    void keyPressEvent(QKeyEvent *e) override { note(e, true); }
    void keyReleaseEvent(QKeyEvent *e) override { note(e, false); }
    void mousePressEvent(QMouseEvent *e) override { note(e, true); }
    void mouseReleaseEvent(QMouseEvent *e) override { note(e, false); }

private:
    void note(QKeyEvent *e, bool down)
    {
        if (!e->isAutoRepeat())
            got << Got{QStringLiteral("key %1 %2").arg(e->nativeScanCode()).arg(down ? "down" : "up"), e->timestamp()};
    }
    void note(QMouseEvent *e, bool down)
    {
        got << Got{QStringLiteral("button %1 %2").arg(int(e->button())).arg(down ? "down" : "up"), e->timestamp()};
    }
};

/// One action of the person, with the steady clock before and after it:
/// the server handled it in between.
struct Stamp {
    Clock::time_point before;
    Clock::time_point after;
};

// Typed by the person in the session below, one character each 40 ms. The
// recorder makes one text page of it, and a text page spreads its time
// evenly over its characters: the gaps inside it are played as their
// average, and only the text's whole span is kept.
const QString kTypedText = QStringLiteral("Hello, world");
// The text's characters among the session's presses that start an action:
// after the left and the right button.
constexpr int kFirstTypedStart = 2;

/// The scripted session: a glide, a left click, a right-button hold of
/// 0.5 s, kTypedText typed with Shift, Ctrl+S, a 1 s pause, the stop
/// combination Ctrl+Alt+S. Stamps: glide start and end, left press, left
/// release, right press, right release, first and last character, S down,
/// S up, stop.
QList<Stamp> playSession(X11Person &p)
{
    QList<Stamp> s;
    auto act = [&](const std::function<void()> &f) {
        const Clock::time_point before = Clock::now();
        f();
        s << Stamp{before, Clock::now()};
    };
    auto pause = [](int ms) { QTest::qWait(ms); };
    for (int i = 1; i <= 10; ++i) {
        const int x = 100 + 20 * i, y = 100 + 10 * i;
        if (i == 1 || i == 10)
            act([&] { p.moveTo(x, y); });
        else
            p.moveTo(x, y);
        pause(20);
    }
    pause(280);
    act([&] { p.button(1, true); });
    pause(60);
    act([&] { p.button(1, false); });
    pause(300);
    act([&] { p.button(3, true); });
    pause(500);
    act([&] { p.button(3, false); });
    pause(300);
    const QString text = kTypedText;
    for (int i = 0; i < text.size(); ++i) {
        if (i == 0 || i == text.size() - 1)
            act([&] { p.type(text.mid(i, 1)); });
        else
            p.type(text.mid(i, 1));
        pause(40);
    }
    pause(260);
    p.key(XK_Control_L, true);
    pause(30);
    act([&] { p.key(XK_s, true); });
    pause(80);
    act([&] { p.key(XK_s, false); });
    p.key(XK_Control_L, false);
    pause(1000);
    act([&] {
        p.key(XK_Control_L, true);
        p.key(XK_Alt_L, true);
        p.key(XK_s, true);
    });
    p.key(XK_s, false);
    p.key(XK_Alt_L, false);
    p.key(XK_Control_L, false);
    return s;
}

/// Seconds between two actions, as the server can have seen them: at least
/// from the end of the first to the start of the second, at most from the
/// start of the first to the end of the second; one millisecond either way
/// for the server's whole-millisecond clock and the rounding to milliseconds.
bool within(const QString &value, const Stamp &from, const Stamp &to)
{
    const double seconds = value.toDouble();
    const double low = std::chrono::duration<double>(to.before - from.after).count() - 0.002;
    const double high = std::chrono::duration<double>(to.after - from.before).count() + 0.002;
    if (seconds >= low && seconds <= high)
        return true;
    qWarning("%s s is not within [%.4f, %.4f]", qPrintable(value), low, high);
    return false;
}

/// The pages of the scripted session, every element exact but the times,
/// which must lie where the person's stamps put them.
void checkSessionPages(const RecordList &commands, const RecordList &conditions, const QList<Stamp> &s)
{
    QCOMPARE(commands.size(), 7);
    QCOMPARE(conditions.size(), 7);
    const RecordList kinds{
        {"スムーズムーブ", "300", "200"}, {"マウスポインター", "300", "200"}, {"クリック", "左"},
        {"マウスポインター", "300", "200"}, {"クリック", "右"}, {"入力", "Hello, world"}, {"キー", "83,2"}};
    for (int i = 0; i < kinds.size(); ++i)
        QCOMPARE(commands[i].mid(0, kinds[i].size()), kinds[i]);
    const QStringList conditionKinds{"時間", "即時", "時間", "即時", "時間", "時間", "時間"};
    for (int i = 0; i < conditionKinds.size(); ++i)
        QCOMPARE(conditions[i].value(0), conditionKinds[i]);
    // Stamps: 0 glide start, 1 glide end, 2 left down, 3 left up, 4 right
    // down, 5 right up, 6 first character, 7 last character, 8 S down, 9 S
    // up, 10 stop.
    QVERIFY(within(commands[0][3], s[0], s[1]));
    QVERIFY(within(conditions[0][1], s[0], s[2]));
    QVERIFY(within(commands[2][2], s[2], s[3]));
    QVERIFY(within(conditions[2][1], s[2], s[4]));
    QVERIFY(within(commands[4][2], s[4], s[5]));
    QVERIFY(within(conditions[4][1], s[4], s[6]));
    // The text's time is the span of its keys stretched by 12 / 11.
    QVERIFY(within(QString::number(commands[5][2].toDouble() * 11 / 12), s[6], s[7]));
    QVERIFY(within(conditions[5][1], s[6], s[8]));
    QVERIFY(within(commands[6][2], s[8], s[9]));
    QVERIFY(within(conditions[6][1], s[8], s[10]));
}

} // namespace

class TestX11Recorder : public QObject {
    Q_OBJECT

    std::shared_ptr<platform::X11Desktop> x11;
    std::unique_ptr<X11Person> person;
    std::unique_ptr<Receiver> receiver;

    /// Starts the program with `arguments` and waits until it says
    /// `ready` on standard error (false, with what it said, if it ended).
    bool startProgram(QProcess &program, const TempSettings &settings, const QStringList &arguments,
                      const QByteArray &ready, QByteArray *said)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), settings.configDir);
        env.remove(QStringLiteral("LC_ALL"));
        env.remove(QStringLiteral("LC_MESSAGES"));
        env.insert(QStringLiteral("LANG"), QStringLiteral("C"));
        program.setProcessEnvironment(env);
        program.start(QCoreApplication::applicationDirPath() + QStringLiteral("/tervalo_free"), arguments);
        if (!program.waitForStarted())
            return false;
        QDeadlineTimer bound(10000); // for a program that never says it, not a timing
        while (!(*said += program.readAllStandardError()).contains(ready) && program.state() == QProcess::Running
               && !bound.hasExpired())
            program.waitForReadyRead(100);
        return said->contains(ready) && program.state() == QProcess::Running;
    }

    void focusReceiver()
    {
        QTest::qWait(50);
        receiver->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(receiver.get()));
        receiver->setFocus();
        QTRY_VERIFY(receiver->hasFocus());
        receiver->got.clear();
    }

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("No X display: these tests run under the Xvfb of scripts/test.");
        std::string why;
        x11 = std::dynamic_pointer_cast<platform::X11Desktop>(platform::createX11Desktop(&why));
        QVERIFY2(x11, why.c_str());
        platform::setDesktop(x11);
        person = std::make_unique<X11Person>();
        QVERIFY(person->ok());
        receiver = std::make_unique<Receiver>();
        receiver->setFocusPolicy(Qt::StrongFocus);
        receiver->setGeometry(0, 0, 800, 600);
        receiver->show();
        QVERIFY(QTest::qWaitForWindowExposed(receiver.get()));
    }

    void cleanupTestCase()
    {
        receiver.reset();
        person.reset();
        platform::setDesktop(nullptr);
        x11.reset();
    }

    // From the menu, through the dialog, into the project: the pages go
    // after the current page as one undo step, and the receiver got every
    // key the person typed while the recorder listened.
    void scriptedSessionFromTheDialog()
    {
        TempSettings settings;
        QVERIFY(settings.write("{\"is_used_this\": true}"));
        tervalo window;
        window.addNewCommand();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *record = qobject_cast<QAction *>(windowparts::find(window, QStringLiteral("recordAction")));
        QVERIFY(record);
        QCOMPARE(windowparts::text(record), QStringLiteral("操作を記録..."));

        bool answered = false;
        QTimer::singleShot(0, this, [&] {
            QTRY_VERIFY(qobject_cast<RecordDialog *>(QApplication::activeModalWidget()));
            auto *dialog = qobject_cast<RecordDialog *>(QApplication::activeModalWidget());
            dialog->startDelaySpin->setValue(1);
            QCOMPARE(dialog->hotKeyLabel->text(), QStringLiteral("Ctrl+Alt+S"));
            QVERIFY(dialog->glidesCheck->isChecked());
            QVERIFY(dialog->joinTextCheck->isChecked());
            QVERIFY(dialog->keepPausesCheck->isChecked());
            dialog->startButton->click();
            answered = true;
        });
        person->moveTo(100, 100);
        record->trigger();
        QVERIFY(answered);
        QVERIFY(!window.isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(window.recordingSession() && window.recordingSession()->recorder().isRecording(), 5000);
        focusReceiver();

        const QList<Stamp> stamps = playSession(*person);
        QTRY_VERIFY_WITH_TIMEOUT(window.isVisible(), 5000);
        QVERIFY(!window.recordingSession());
        QCOMPARE(window.project().commands().size(), 8);
        QCOMPARE(window.project().commands()[0], QStringList{"なし"});
        QCOMPARE(window.project().currentPage(), 2);
        checkSessionPages(window.project().commands().mid(1), window.project().conditions().mid(1), stamps);
        // Every key reached the receiver: 12 characters and Shift once, Ctrl+S
        // and the stop combination, each down and up.
        int keys = 0;
        for (const auto &g : receiver->got)
            keys += g.what.startsWith(QLatin1String("key")) ? 1 : 0;
        QCOMPARE(keys, 2 * (12 + 1 + 2 + 3));
        QCOMPARE(person->keysDown(), QList<int>());

        window.pageBack(); // one step takes all of them away
        QCOMPARE(window.project().commands().size(), 1);

        // What the dialog was given is remembered.
        QCOMPARE(window.settings().record_delay, 1);
        QCOMPARE(window.settings().record_stop_command, QStringLiteral("83,3"));
    }

    // The same session with --record: no window, the project written to the
    // file, one line on standard output.
    void scriptedSessionFromTheCommandLine()
    {
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("session.cmdat"));
        TempSettings settings;
        QProcess program;
        person->moveTo(100, 100);
        // It says on standard error when it listens.
        QByteArray said;
        QVERIFY2(startProgram(program, settings, {QStringLiteral("--record"), out, QStringLiteral("--delay"), QStringLiteral("1")},
                              "Ctrl+Alt+S stops it", &said),
                 said.constData());
        focusReceiver();
        const QList<Stamp> stamps = playSession(*person);
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitCode(), 0);
        const QString line = QString::fromUtf8(program.readAllStandardOutput()).trimmed();
        QVERIFY2(line.startsWith(QLatin1String("7 pages recorded")), qPrintable(line));

        const ProjectFile::ReadResult file = ProjectFile::read(out);
        QVERIFY2(file.ok, qPrintable(file.errorText));
        checkSessionPages(file.commands, file.conditions, stamps);
    }

    // A person who changes their mind: the stop combination during the
    // delay ends the program at once with exit code 3 and writes nothing.
    void commandLineCancelledDuringTheDelay()
    {
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("never.cmdat"));
        TempSettings settings;
        QProcess program;
        QByteArray said;
        QVERIFY2(startProgram(program, settings, {QStringLiteral("--record"), out, QStringLiteral("--delay"), QStringLiteral("60")},
                              "Ctrl+Alt+S before then cancels it", &said),
                 said.constData());
        person->tap({XK_Control_L, XK_Alt_L, XK_s});
        QVERIFY(program.waitForFinished(10000)); // long before the 60 s
        QCOMPARE(program.exitCode(), CommandLine::kExitStopped);
        said += program.readAllStandardError();
        QVERIFY2(said.contains("tervalo_free: the stop key came before the recording started; nothing was written"),
                 said.constData());
        QVERIFY(!said.contains("Recording;"));
        QCOMPARE(program.readAllStandardOutput(), QByteArray());
        QVERIFY(!QFile::exists(out));
        QCOMPARE(person->keysDown(), QList<int>());
    }

    // The output as it is when the recording ends decides: a file or a link
    // put there meanwhile is never replaced or followed (the recording goes
    // beside it, and the message says where); --force replaces a link itself,
    // not what it points to. A stop key this desktop lacks is refused.
    void commandLineOutput_data()
    {
        QTest::addColumn<QString>("atStart");   // "", "link": what is at the output before
        QTest::addColumn<QString>("meanwhile"); // "", "file", "link": put there while recording
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("says"); // in standard error
        QTest::newRow("file written meanwhile") << "" << "file" << QStringList() << int(CommandLine::kExitNoInput)
                                                << "the recording was saved as ";
        QTest::newRow("link put meanwhile") << "" << "link" << QStringList() << int(CommandLine::kExitNoInput)
                                            << "the recording was saved as ";
        QTest::newRow("link replaced with --force") << "link" << "" << QStringList{"--force"}
                                                    << int(CommandLine::kExitDone) << "Recording;";
        QTest::newRow("stop key 7") << "" << "" << QStringList{"--stop-key", "7"} << int(CommandLine::kExitUsage)
                                    << "tervalo_free: the stop key 7";
    }

    void commandLineOutput()
    {
        QFETCH(QString, atStart);
        QFETCH(QString, meanwhile);
        QFETCH(QStringList, options);
        QFETCH(int, code);
        QFETCH(QString, says);
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("out.cmdat"));
        const QString pointedTo = dir.filePath(QStringLiteral("elsewhere.cmdat"));
        if (atStart == QStringLiteral("link"))
            QVERIFY(QFile::link(pointedTo, out));
        TempSettings settings;
        QProcess program;
        QByteArray said;
        const bool started = startProgram(program, settings,
                                          QStringList{QStringLiteral("--record"), out, QStringLiteral("--delay"),
                                                      QStringLiteral("0")} + options,
                                          "Ctrl+Alt+S stops it", &said);
        if (code == CommandLine::kExitUsage) {
            QVERIFY(!started);
            QVERIFY(program.state() == QProcess::NotRunning || program.waitForFinished(10000));
        } else {
            QVERIFY2(started, said.constData());
            if (meanwhile == QStringLiteral("file")) {
                QFile f(out);
                QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::NewOnly));
                f.write("theirs");
            } else if (meanwhile == QStringLiteral("link")) {
                QVERIFY(QFile::link(pointedTo, out));
            }
            person->tap({XK_Control_L, XK_Alt_L, XK_s});
            QVERIFY(program.waitForFinished(10000));
        }
        said += program.readAllStandardError();
        QCOMPARE(program.exitCode(), code);
        QVERIFY2(QString::fromUtf8(said).contains(says), said.constData());
        QCOMPARE(person->keysDown(), QList<int>());
        if (code == CommandLine::kExitUsage) {
            QVERIFY(!QFileInfo(out).exists());
            return;
        }
        // Nothing was written through a link.
        QVERIFY(!QFileInfo::exists(pointedTo));
        if (meanwhile == QStringLiteral("file")) {
            QFile f(out);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), QByteArray("theirs"));
        } else if (meanwhile == QStringLiteral("link")) {
            QVERIFY(QFileInfo(out).isSymLink());
        }
        // Where the recording is: the file asked for, or the one the message names.
        QString written = out;
        if (!meanwhile.isEmpty()) {
            const QString text = QString::fromUtf8(said);
            written = text.mid(text.indexOf(says) + says.size()).section(QLatin1Char('\n'), 0, 0);
            QCOMPARE(QFileInfo(written).absolutePath(), QFileInfo(out).absolutePath());
        }
        QVERIFY(!QFileInfo(written).isSymLink());
        const ProjectFile::ReadResult file = ProjectFile::read(written);
        QVERIFY2(file.ok, qPrintable(written + QLatin1Char(' ') + file.errorText));
        QVERIFY(!file.commands.isEmpty());
    }

    // Without a tray (this server has none) a label in the screen's corner
    // tells of the recording. It takes no input: a click on it reaches the
    // window below and is recorded as a click there, like any other.
    void noticeTakesNoInput()
    {
        TempSettings settings;
        QVERIFY(settings.write("{\"is_used_this\": true}"));
        tervalo window;
        window.addNewCommand();
        RecordDialog::Values values;
        values.startDelay = 1;
        QVERIFY(window.startRecording(values));
        QTRY_VERIFY_WITH_TIMEOUT(window.recordingSession() && window.recordingSession()->recorder().isRecording(), 5000);
        QLabel *notice = window.recordingSession()->findChild<RecordingIndicator *>()->notice();
        QVERIFY(notice);
        QVERIFY(QTest::qWaitForWindowExposed(notice));
        const QPoint at = notice->frameGeometry().center();
        const QRect receiverWas = receiver->geometry();
        auto putBack = qScopeGuard([&] { receiver->setGeometry(receiverWas); });
        receiver->setGeometry(QRect(at - QPoint(100, 50), QSize(200, 100)));
        QVERIFY(QTest::qWaitForWindowExposed(receiver.get()));
        notice->raise(); // above the receiver, as above any window
        focusReceiver();
        person->moveTo(at.x(), at.y());
        person->click(1);
        QTRY_COMPARE(receiver->got.size(), 2);
        person->tap({XK_Control_L, XK_Alt_L, XK_s});
        QTRY_VERIFY_WITH_TIMEOUT(!window.recordingSession(), 5000);
        const RecordList made = window.project().commands().mid(1);
        QVERIFY(made.contains(QStringList{"マウスポインター", QString::number(at.x()), QString::number(at.y())}));
        QCOMPARE(made.last().mid(0, 2), (QStringList{"クリック", "左"}));
    }

    // Wheel turns: notches that come together are one Wheel page, a pause
    // between two turns is the first one's Time.
    void wheelTurns()
    {
        TempSettings settings;
        QVERIFY(settings.write("{\"is_used_this\": true}"));
        tervalo window;
        window.addNewCommand();
        RecordDialog::Values values;
        values.startDelay = 1;
        person->moveTo(100, 100);
        QVERIFY(window.startRecording(values));
        QTRY_VERIFY_WITH_TIMEOUT(window.recordingSession() && window.recordingSession()->recorder().isRecording(), 5000);
        auto act = [](const std::function<void()> &f) {
            const Clock::time_point before = Clock::now();
            f();
            return Stamp{before, Clock::now()};
        };
        const Stamp up = act([&] { person->turnWheel(3); });
        QTest::qWait(300);
        const Stamp down = act([&] { person->turnWheel(-2); });
        QTest::qWait(200);
        const Stamp stop = act([&] { person->tap({XK_Control_L, XK_Alt_L, XK_s}); });
        QTRY_VERIFY_WITH_TIMEOUT(!window.recordingSession(), 5000);

        QCOMPARE(window.project().commands().mid(1), (RecordList{{"ホイール", "上", "3"}, {"ホイール", "下", "2"}}));
        QCOMPARE(window.project().conditions()[1].value(0), QStringLiteral("時間"));
        QCOMPARE(window.project().conditions()[2].value(0), QStringLiteral("時間"));
        QVERIFY(within(window.project().conditions()[1][1], up, down));
        QVERIFY(within(window.project().conditions()[2][1], down, stop));
    }

    // Played back, the recording gives the receiver the same keys and
    // buttons in the same order, each action as far from the one before as
    // when the person did it, within 20 ms.
    void roundTrip()
    {
        TempSettings settings;
        QVERIFY(settings.write("{\"is_used_this\": true}"));
        tervalo window;
        window.addNewCommand();
        RecordDialog::Values values;
        values.startDelay = 1;
        person->moveTo(100, 100);
        QVERIFY(window.startRecording(values));
        QTRY_VERIFY_WITH_TIMEOUT(window.recordingSession() && window.recordingSession()->recorder().isRecording(), 5000);
        focusReceiver();
        playSession(*person);
        QTRY_VERIFY_WITH_TIMEOUT(!window.recordingSession(), 5000);
        QCOMPARE(window.project().commands().size(), 8);
        QList<Receiver::Got> original = receiver->got;
        original = original.mid(0, original.size() - 6); // the stop combination

        // Play it: start delay 1 s, once, no stop key needed.
        window.settings().stertTime = 1;
        window.settings().runNumber = 1;
        window.settings().stopCommand = QStringLiteral("123,15"); // nobody presses F12 with all four
        person->moveTo(100, 100);
        focusReceiver();
        window.launchRun();
        QTRY_VERIFY_WITH_TIMEOUT(window.isVisible(), 20000);
        const QList<Receiver::Got> played = receiver->got;

        QStringList originalOrder, playedOrder;
        for (const auto &g : original)
            originalOrder << g.what;
        for (const auto &g : played)
            playedOrder << g.what;
        QCOMPARE(playedOrder, originalOrder);

        // Pauses between the starts of actions: presses of buttons and of
        // keys that are not modifiers.
        QList<int> modifiers;
        for (unsigned long sym : {XK_Shift_L, XK_Shift_R, XK_Control_L, XK_Control_R, XK_Alt_L, XK_Alt_R})
            modifiers << int(XKeysymToKeycode(person->display(), sym));
        auto starts = [&](const QList<Receiver::Got> &list) {
            QList<quint64> t;
            for (const auto &g : list) {
                const bool down = g.what.endsWith(QLatin1String("down"));
                const int code = g.what.section(QLatin1Char(' '), 1, 1).toInt();
                const bool modifier = g.what.startsWith(QLatin1String("key")) && modifiers.contains(code);
                if (down && !modifier)
                    t << g.time;
            }
            return t;
        };
        const QList<quint64> a = starts(original), b = starts(played);
        QCOMPARE(b.size(), a.size());
        const int lastTyped = kFirstTypedStart + int(kTypedText.size()) - 1;
        QVERIFY(lastTyped < a.size());
        for (int i = 1; i < a.size(); ++i) {
            // Inside the text only its span counts (a person slowed by a busy
            // machine types unevenly; the page plays the average).
            if (i > kFirstTypedStart && i <= lastTyped)
                continue;
            const qint64 recorded = qint64(a[i] - a[i - 1]);
            const qint64 replayed = qint64(b[i] - b[i - 1]);
            QVERIFY2(qAbs(replayed - recorded) <= 20,
                     qPrintable(QStringLiteral("pause %1: %2 ms recorded, %3 ms played").arg(i).arg(recorded).arg(replayed)));
        }
        const qint64 recordedSpan = qint64(a[lastTyped] - a[kFirstTypedStart]);
        const qint64 replayedSpan = qint64(b[lastTyped] - b[kFirstTypedStart]);
        QVERIFY2(qAbs(replayedSpan - recordedSpan) <= 20,
                 qPrintable(QStringLiteral("typed text: %1 ms recorded, %2 ms played").arg(recordedSpan).arg(replayedSpan)));
        QCOMPARE(person->keysDown(), QList<int>());
    }
};

QTEST_MAIN(TestX11Recorder)
#include "tst_x11recorder.moc"
