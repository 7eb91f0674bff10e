#include "files/datafiles.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>

namespace {

QString installedFolder(const QString &folder)
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QLatin1Char('/')
                           + QStringLiteral(TERVALO_INSTALLED_DATA) + QLatin1Char('/') + folder);
}

// The first of the two places that holds `folder`; the first one when
// neither does, so that a missing file is looked for where it belongs.
QString locate(const QString &folder, const QString &designed)
{
    const QString installed = installedFolder(folder);
    if (QFileInfo(designed).isDir()) {
        qDebug().noquote() << "Data files:" << folder + QLatin1Char('/') << "found in" << QFileInfo(designed).absoluteFilePath();
        return designed;
    }
    if (QFileInfo(installed).isDir()) {
        qDebug().noquote() << "Data files:" << folder + QLatin1Char('/') << "found in" << installed;
        return installed;
    }
    qWarning().noquote() << "Data files:" << folder + QLatin1Char('/') << "not found in"
                         << QFileInfo(designed).absoluteFilePath() << "nor in" << installed;
    return designed;
}

} // namespace

QString DataFiles::image(const QString &name)
{
    static const QString folder = locate(QStringLiteral("image"), QStringLiteral("image"));
    return folder + QLatin1Char('/') + name;
}

QString DataFiles::document(const QString &name)
{
    static const QString folder
        = locate(QStringLiteral("licenses"), QCoreApplication::applicationDirPath() + QStringLiteral("/licenses"));
    return folder + QLatin1Char('/') + name;
}
