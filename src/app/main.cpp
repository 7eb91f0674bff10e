#include "app/displaysession.h"
#include "app/logrules.h"
#include "app/player.h"
#include "app/tervalo.h"

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
    if (argc > 1)
        return Player::commandLineMain(argc, argv);

    QApplication app(argc, argv);
    QFont tipFont = QToolTip::font();
    tipFont.setPixelSize(18);
    QToolTip::setFont(tipFont);
    tervalo window;
    window.show();
    window.offerRecovery();
    return app.exec();
}
