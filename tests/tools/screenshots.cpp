// Saves pictures of the main window (start screen and a new project), the run
// settings and the record settings, in both languages, as PNG files in the
// folder given, so that two builds can be compared pixel by pixel
// (scripts/screenshots). Offscreen, on the simulated desktop, with settings
// in a temporary folder. With --compare A B it compares two such folders
// picture by picture, pixel by pixel, and names every picture that differs.

#include "gui/dialogs/recorddialog.h"
#include "gui/dialogs/rundialog.h"
#include "gui/mainwindow/tervalo.h"
#include "support/simfixture.h"
#include "support/tempsettings.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPushButton>
#include <QTextStream>

namespace {

bool save(QWidget &w, const QString &path)
{
    w.show();
    QCoreApplication::processEvents();
    const bool ok = w.grab().save(path);
    QTextStream(stdout) << (ok ? "saved " : "could not save ") << path << '\n';
    return ok;
}

int compare(const QString &a, const QString &b)
{
    const QStringList names = QDir(a).entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name);
    int differ = names.isEmpty() ? 1 : 0;
    for (const QString &name : names) {
        const QImage left(a + QLatin1Char('/') + name);
        const QImage right(b + QLatin1Char('/') + name);
        const bool same = !left.isNull() && left.convertToFormat(QImage::Format_ARGB32)
                                                == right.convertToFormat(QImage::Format_ARGB32);
        QTextStream(stdout) << (same ? "same    " : "DIFFERS ") << name << '\n';
        differ += same ? 0 : 1;
    }
    return differ == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc == 4 && QByteArray(argv[1]) == "--compare")
        return compare(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    if (argc != 2) {
        QTextStream(stderr) << "usage: tervalo_screenshots FOLDER | --compare FOLDER FOLDER\n";
        return 64;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    SimFixture fx;
    TempSettings settings;
    bool ok = true;
    for (const bool japanese : {true, false}) {
        const QString lang = japanese ? QStringLiteral("ja") : QStringLiteral("en");
        settings.write(japanese ? "{\"is_used_this\": true}" : "{\"is_used_this\": true, \"is_japanese\": false}");
        tervalo window;
        ok &= save(window, out + QStringLiteral("/window-start-%1.png").arg(lang));
        if (auto *create = window.findChild<QPushButton *>(QStringLiteral("newProjectButton")))
            create->click();
        ok &= save(window, out + QStringLiteral("/window-project-%1.png").arg(lang));
        RunDialog run(3, 2, QStringLiteral("83,3"), false, japanese);
        ok &= save(run, out + QStringLiteral("/run-%1.png").arg(lang));
        RecordDialog record(RecordDialog::Values{}, japanese, false);
        ok &= save(record, out + QStringLiteral("/record-%1.png").arg(lang));
    }
    return ok ? 0 : 1;
}
