#include "app/tervalo.h"

#include <QApplication>
#include <QGuiApplication>
#include <QToolTip>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QFont tipFont = QToolTip::font();
    tipFont.setPixelSize(18);
    QToolTip::setFont(tipFont);
    tervalo window;
    window.show();
    return app.exec();
}
