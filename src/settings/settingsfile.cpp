#include "settings/settingsfile.h"

#include "files/filebytes.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

namespace {
// The program writes a few hundred bytes plus one path; anything much larger
// is not its file, and reading a huge one would hold up or end every start.
constexpr qint64 kMaxFileSize = 1024 * 1024;

QString g_testConfigDir;
QString g_testAppDir;
} // namespace

void SettingsFile::setDirectoriesForTesting(const QString &configDir, const QString &appDirectory)
{
    g_testConfigDir = configDir;
    g_testAppDir = appDirectory;
}

QString SettingsFile::configDir()
{
    if (!g_testConfigDir.isEmpty())
        return g_testConfigDir;
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
}

QString SettingsFile::appDir()
{
    if (!g_testAppDir.isEmpty())
        return g_testAppDir;
    return QCoreApplication::applicationDirPath();
}

QString SettingsFile::desktopPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
}

QString SettingsFile::settingsPath()
{
    const QString dirPath = configDir();
    QDir dir(dirPath);
    if (dirPath.isEmpty() || !dir.mkpath(QStringLiteral("."))) {
        qWarning() << "Failed to create config dir:" << dirPath;
        return QDir::cleanPath(appDir() + QLatin1Char('/') + QLatin1String(kFileName));
    }
    return QDir::cleanPath(dir.absoluteFilePath(QLatin1String(kFileName)));
}

void SettingsFile::migrate()
{
    const QString oldPath = QDir(appDir()).filePath(QLatin1String(kFileName));
    const QFileInfo old(oldPath);
    if (!old.exists() || !old.isFile())
        return;
    const QString newPath = settingsPath();
    // QFile::copy refuses to overwrite, so a newer file is never replaced;
    // when both paths are the same file (fallback location) it fails harmlessly.
    QFile::copy(oldPath, newPath);
    qDebug() << "Migrated config from" << oldPath << "to" << newPath;
}

void SettingsFile::load(SettingsValues &v)
{
    v.projectPath = desktopPath();
    migrate();
    loadFrom(v, settingsPath());
}

void SettingsFile::read(SettingsValues &v)
{
    v.projectPath = desktopPath();
    // Where load would read after its migration step, without the copy and
    // without making the settings folder.
    QString path;
    const QString dirPath = configDir();
    if (!dirPath.isEmpty())
        path = QDir::cleanPath(QDir(dirPath).absoluteFilePath(QLatin1String(kFileName)));
    if (path.isEmpty() || !QFileInfo::exists(path)) {
        const QString old = QDir::cleanPath(appDir() + QLatin1Char('/') + QLatin1String(kFileName));
        if (QFileInfo(old).isFile())
            path = old;
    }
    loadFrom(v, path);
}

void SettingsFile::loadFrom(SettingsValues &v, const QString &path)
{
    qDebug() << "Loading config from:" << path;

    if (path.isEmpty() || !QFile::exists(path)) {
        qDebug() << "Config file does not exist. Using defaults.";
        return;
    }
    // Plain files of sensible size only: a pipe or a device would hold up
    // every start.
    QByteArray bytes;
    QString why;
    if (!FileBytes::read(path, kMaxFileSize, &bytes, &why)) {
        qWarning() << "Failed to open config file for reading:" << path << " error:" << why;
        return;
    }
    if (bytes.isEmpty()) {
        qDebug() << "Config file is empty. Using defaults.";
        return;
    }
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        qWarning() << "Failed to parse config JSON:" << error.errorString() << " offset:" << error.offset;
        return;
    }
    if (!doc.isObject()) {
        qWarning() << "Config JSON is not an object.";
        return;
    }
    const QJsonObject o = doc.object();
    auto readInt = [&o](const char *key, int &value) {
        if (o.contains(QLatin1String(key)))
            value = o.value(QLatin1String(key)).toInt(value);
    };
    auto readBool = [&o](const char *key, bool &value) {
        if (o.contains(QLatin1String(key)))
            value = o.value(QLatin1String(key)).toBool(value);
    };
    readInt("stert_time", v.stertTime);
    readInt("run_number", v.runNumber);
    if (o.contains(QLatin1String("stop_command")))
        v.stopCommand = o.value(QLatin1String("stop_command")).toString(v.stopCommand);
    if (o.contains(QLatin1String("file_path"))) {
        const QString p = o.value(QLatin1String("file_path")).toString();
        if (!p.isEmpty()) {
            // Backslashes are separators here whatever the platform, so a file
            // written on Windows reads the same on every machine.
            QString clean = QDir::fromNativeSeparators(p);
            clean.replace(QLatin1Char('\\'), QLatin1Char('/'));
            clean = QDir::cleanPath(clean);
            v.projectPath = clean;
            v.lastUsedPath = clean;
        }
    }
    readBool("is_used_stert", v.is_used_stert);
    readBool("is_used_this", v.is_used_this);
    readBool("is_help", v.is_help);
    readBool("is_message_file", v.is_message_file);
    readBool("is_message_paste", v.is_message_paste);
    readBool("is_message_delete", v.is_message_delete);
    readBool("is_japanese", v.is_japanese);
    readInt("record_delay", v.record_delay);
    if (o.contains(QLatin1String("record_stop_command")))
        v.record_stop_command = o.value(QLatin1String("record_stop_command")).toString(v.record_stop_command);
    readBool("record_glides", v.record_glides);
    readBool("record_join_text", v.record_join_text);
    readBool("record_keep_pauses", v.record_keep_pauses);
    readBool(kWaylandNoticeKey, v.is_used_wayland);

    qDebug() << "Config loaded:" << "stertTime =" << v.stertTime << "runNumber =" << v.runNumber
             << "stopCommand =" << v.stopCommand << "filePath =" << v.projectPath;
}

bool SettingsFile::save(const SettingsValues &v)
{
    migrate();
    QString path = v.projectPath;
    if (path == desktopPath())
        path = v.lastUsedPath;
    QString filePath = QDir::fromNativeSeparators(path);
    filePath.replace(QLatin1Char('\\'), QLatin1Char('/'));
    filePath = QDir::cleanPath(filePath);

    QJsonObject o;
    o.insert(QStringLiteral("stert_time"), v.stertTime);
    o.insert(QStringLiteral("run_number"), v.runNumber);
    o.insert(QStringLiteral("stop_command"), v.stopCommand);
    o.insert(QStringLiteral("file_path"), filePath);
    o.insert(QStringLiteral("is_used_stert"), v.is_used_stert);
    o.insert(QStringLiteral("is_used_this"), v.is_used_this);
    o.insert(QStringLiteral("is_help"), v.is_help);
    o.insert(QStringLiteral("is_message_file"), v.is_message_file);
    o.insert(QStringLiteral("is_message_paste"), v.is_message_paste);
    o.insert(QStringLiteral("is_message_delete"), v.is_message_delete);
    o.insert(QStringLiteral("is_japanese"), v.is_japanese);
    o.insert(QStringLiteral("record_delay"), v.record_delay);
    o.insert(QStringLiteral("record_stop_command"), v.record_stop_command);
    o.insert(QStringLiteral("record_glides"), v.record_glides);
    o.insert(QStringLiteral("record_join_text"), v.record_join_text);
    o.insert(QStringLiteral("record_keep_pauses"), v.record_keep_pauses);
    // Written only once it is set, so the file stays as it always was on
    // desktops that never show the notice.
    if (v.is_used_wayland)
        o.insert(QLatin1String(kWaylandNoticeKey), true);
    const QByteArray bytes = QJsonDocument(o).toJson(QJsonDocument::Indented);

    const QString settings = settingsPath();
    qDebug() << "Trying to save config to:" << settings;
    QString why;
    switch (FileBytes::write(settings, bytes, &why)) {
    case FileBytes::WriteFailure::None:
        break;
    case FileBytes::WriteFailure::Open:
        qWarning() << "Cannot open config file for writing:" << settings << " error:" << why;
        return false;
    case FileBytes::WriteFailure::Write:
        qWarning() << "Write failed:" << why;
        return false;
    case FileBytes::WriteFailure::Commit:
    case FileBytes::WriteFailure::Exists: // write() replaces; it never says so
        qWarning() << "Commit failed:" << why;
        return false;
    }
    qDebug() << "Config saved OK. path =" << settings;
    qDebug() << v.is_japanese;
    return true;
}
