#pragma once

// What the Wayland tests do alike: start the built program with --play as a
// session of their desktop starts it, press its stop key as the person does,
// show a window full screen with the keyboard focus, reach gnome-shell's own
// controls, and play one page of each operation.

#include "platform/desktop.h"
#include "project/pagekinds.h"
#include "project/projectfile.h"
#include "wayland/receiver.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QString>
#include <QWidget>
#include <QtTest>

namespace waylandtest {

/// The built program, beside the test.
inline QString program()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/tervalo_free");
}

/// The environment of a program started on a Wayland session of `desktop`
/// (as XDG_CURRENT_DESKTOP names it), its backend left to its own choice
/// and its settings under `home`.
inline QProcessEnvironment sessionEnvironment(const QString &desktop, const QString &home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("TERVALO_BACKEND");
    env.insert("QT_QPA_PLATFORM", "wayland");
    env.insert("XDG_SESSION_TYPE", "wayland");
    env.insert("XDG_CURRENT_DESKTOP", desktop);
    env.insert("HOME", home);
    return env;
}

/// Starts the built program on `file` with --play: one run, no delay, and
/// Ctrl+Alt+S to stop it. False when it did not start.
inline bool play(QProcess &process, const QString &file, const QProcessEnvironment &env)
{
    process.setProcessEnvironment(env);
    process.start(program(), {"--play", file, "--times", "1", "--delay", "0", "--stop-key", "83,3"});
    return process.waitForStarted(10000);
}

/// What the program said, on either channel.
inline QString output(QProcess &process)
{
    return QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
}

/// Ctrl+Alt+S as the person presses it: down in order, up in reverse,
/// `paceMs` after each key.
inline void pressStopKey(platform::Desktop &person, int paceMs = 0)
{
    const auto key = [&](int vk, bool down) {
        person.key(vk, down);
        if (paceMs > 0)
            QTest::qWait(paceMs);
    };
    for (int vk : {platform::vk::LControl, platform::vk::LMenu, int('S')})
        key(vk, true);
    for (int vk : {int('S'), platform::vk::LMenu, platform::vk::LControl})
        key(vk, false);
}

/// Shows `window` full screen; true once the compositor gave it the
/// keyboard focus, where the person's keys go.
[[nodiscard]] inline bool showFocused(QWidget &window)
{
    window.showFullScreen();
    return QTest::qWaitForWindowExposed(&window) && QTest::qWaitFor([&] { return window.isActiveWindow(); }, 10000);
}

/// Runs JavaScript in gnome-shell (scripts/gnome-session --shell starts it in
/// unsafe mode, so that a test can reach the shell's own controls as a click
/// would); false when there is no shell, it refused or the code threw.
inline bool gnomeShellEval(const QString &code)
{
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/gnome/Shell"),
                                                       QStringLiteral("org.gnome.Shell"), QStringLiteral("Eval"));
    call.setArguments({code});
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call);
    return reply.type() == QDBusMessage::ReplyMessage && reply.arguments().value(0).toBool();
}

/// Writes a project of one page of each operation to `file`: a click at a
/// place, a glide and a right click where it ended, Shift+A, a text of the
/// layout and the wheel. False when it could not be written.
[[nodiscard]] inline bool writeEveryOperation(const QString &file)
{
    const RecordList commands{
        {PageKinds::kMousePointer, "300", "200"},
        {PageKinds::kClick, PageKinds::kLeft, "0.05"},
        {PageKinds::kSmoothMove, "500", "400", "0.2"},
        {PageKinds::kClick, PageKinds::kRight, "0.05"},
        {PageKinds::kKey, "65,4", "0.05"},
        {PageKinds::kEnterText, "Hi there", "0.3"},
        {PageKinds::kWheel, PageKinds::WheelOperation::kUp, "2"},
    };
    return ProjectFile::write(file, commands, RecordList(commands.size(), {PageKinds::kWaitUntilOver, "0.2"})).ok;
}

/// Checks that what writeEveryOperation's project plays reached `receiver`,
/// each where and as it should.
inline void checkEveryOperation(const Receiver &receiver)
{
    QTRY_COMPARE_WITH_TIMEOUT(receiver.text, QStringLiteral("AHi there"), 5000);
    QCOMPARE(receiver.leftPresses, QList<QPoint>{QPoint(300, 200)});
    QCOMPARE(receiver.rightPresses, QList<QPoint>{QPoint(500, 400)});
    QTRY_COMPARE_WITH_TIMEOUT(receiver.wheel, 2 * 120, 5000);
}

} // namespace waylandtest
