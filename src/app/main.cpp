#include "app/logrules.h"
#include "platform/displaysession.h"
#include "app/player.h"
#include "app/programend.h"
#include "app/tervalo.h"
#include "platform/processend.h"

#include <QApplication>
#include <QGuiApplication>
#include <QToolTip>

int main(int argc, char *argv[])
{
    LogRules::apply();
    // Before any application object: it picks the platform when made.
    DisplaySession::requestPlatform();
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
    const int code = app.exec();
    programend::leavingMain();
    return code;
}
