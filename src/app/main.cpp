#include "app/commandline.h"
#include "app/logrules.h"
#include "app/player.h"
#include "app/programend.h"
#include "gui/mainwindow/tervalo.h"
#include "gui/widgets/trayicon.h"
#include "platform/displaysession.h"
#include "platform/processend.h"
#include "run/run.h"

#include <QApplication>
#include <QGuiApplication>
#include <QSessionManager>
#include <QTimer>
#include <QToolTip>

int main(int argc, char *argv[])
{
    LogRules::apply();
    // Before any application object: it picks the platform when made.
    DisplaySession::requestPlatform();
    // Runs and recordings show their tray icon and beep through it.
    installDesktopShell();
    // Any argument makes it the command-line tool (playing or recording);
    // without one it is the desktop program exactly as always.
    if (argc > 1) {
        // Started from a Windows console, its messages belong there.
        platform::attachParentConsole();
        const int code = Player::commandLineMain(argc, argv);
        programend::leavingMain();
        return code;
    }

    QApplication app(argc, argv);
    QFont tipFont = QToolTip::font();
    tipFont.setPixelSize(18);
    QToolTip::setFont(tipFont);
    tervalo window;
    window.show();
    window.offerRecovery();
    // Asked to end (Ctrl+C in the terminal, kill, the session's end): a run
    // stops at once through its own stop; once it is gone the window closes
    // as at the end of the session, keeping unsaved work for recovery.
    QTimer ending;
    ending.setInterval(20);
    QObject::connect(&ending, &QTimer::timeout, &window, [&] {
        if (Run::instanceCount() > 0)
            return;
        ending.stop();
        window.endSession();
        QCoreApplication::exit(programend::exitCodeFor(programend::caughtSignal()));
    });
    programend::catchRequests([&ending](int) { ending.start(); });
    // The desktop's session manager (or Windows' end of the session) asks
    // the same before it ends the program.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window, [&window](QSessionManager &) {
        window.endSession();
    });
    programend::watchDisplay([] {
        CommandLine::printError(Player::lostDisplayMessage(CommandLine::japaneseEnvironment()));
        return CommandLine::kExitNoInput;
    });
    const int code = app.exec();
    programend::requestHandled();
    programend::leavingMain();
    return code;
}
