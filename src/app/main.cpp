#include "app/displaysession.h"
#include "app/player.h"
#include "app/recordcommand.h"
#include "app/tervalo.h"

#include <QApplication>
#include <QGuiApplication>
#include <QToolTip>

int main(int argc, char *argv[])
{
    // Before any application object: it picks the platform when made.
    DisplaySession::requestPlatform();
    // Any argument makes it the command-line tool (recording or playing);
    // without one it is the desktop program exactly as always.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (RecordCommand::wanted(arguments))
        return RecordCommand::commandLineMain(argc, argv);
    if (argc > 1)
        return Player::commandLineMain(argc, argv);

    QApplication app(argc, argv);
    QFont tipFont = QToolTip::font();
    tipFont.setPixelSize(18);
    QToolTip::setFont(tipFont);
    tervalo window;
    window.show();
    return app.exec();
}
