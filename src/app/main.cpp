#include "app/recordcommand.h"
#include "app/tervalo.h"

#include <QApplication>
#include <QGuiApplication>
#include <QToolTip>

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (RecordCommand::wanted(arguments))
        return RecordCommand::main(argc, argv);

    QApplication app(argc, argv);
    QFont tipFont = QToolTip::font();
    tipFont.setPixelSize(18);
    QToolTip::setFont(tipFont);
    tervalo window;
    window.show();
    return app.exec();
}
