#include "app/displaysession.h"
#include "app/tervalo.h"

#include <QApplication>
#include <QGuiApplication>
#include <QToolTip>

int main(int argc, char *argv[])
{
    // Before the application object: it picks the platform when made.
    DisplaySession::requestPlatform();
    QApplication app(argc, argv);
    QFont tipFont = QToolTip::font();
    tipFont.setPixelSize(18);
    QToolTip::setFont(tipFont);
    tervalo window;
    window.show();
    return app.exec();
}
