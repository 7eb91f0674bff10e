// Settings-file bytes: load, save, load again. The second load must give the
// values of the first, and saving those values again must write the same
// bytes. Odd-length inputs are placed beside the executable instead, so the
// one-time migration into the configuration directory is exercised too.

#include "fuzzcheck.h"

#include "settings/settingsfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdint>
#include <memory>

namespace {
std::unique_ptr<QTemporaryDir> g_dir;
QString g_configFile;
QString g_appFile;

bool equal(const SettingsValues &a, const SettingsValues &b)
{
    return a.stertTime == b.stertTime && a.runNumber == b.runNumber && a.stopCommand == b.stopCommand
        && a.projectPath == b.projectPath && a.lastUsedPath == b.lastUsedPath
        && a.is_used_stert == b.is_used_stert && a.is_used_this == b.is_used_this && a.is_help == b.is_help
        && a.is_message_file == b.is_message_file && a.is_message_paste == b.is_message_paste
        && a.is_message_delete == b.is_message_delete && a.is_japanese == b.is_japanese;
}

void dumpValues(const char *what, const SettingsValues &v)
{
    const auto flag = [](bool b) { return b ? QStringLiteral("1") : QStringLiteral("0"); };
    fuzzsupport::dump(what, QString::number(v.stertTime) + QLatin1Char(' ') + QString::number(v.runNumber)
                                + QStringLiteral(" [") + v.stopCommand + QStringLiteral("] [") + v.projectPath
                                + QStringLiteral("] [") + v.lastUsedPath + QStringLiteral("] ")
                                + flag(v.is_used_stert) + flag(v.is_used_this) + flag(v.is_help)
                                + flag(v.is_message_file) + flag(v.is_message_paste) + flag(v.is_message_delete)
                                + flag(v.is_japanese));
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    FUZZ_CHECK(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(f.write(bytes) == bytes.size());
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    fuzzsupport::silenceLog();
    QStandardPaths::setTestModeEnabled(true);
    // Memory-backed when it can be: every save syncs the file to disk.
    const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm/tervalo-fuzz-XXXXXX")
                                                                 : QString();
    g_dir = base.isEmpty() ? std::make_unique<QTemporaryDir>() : std::make_unique<QTemporaryDir>(base);
    FUZZ_CHECK(g_dir->isValid());
    const QString configDir = g_dir->filePath(QStringLiteral("config"));
    const QString appDir = g_dir->filePath(QStringLiteral("app"));
    FUZZ_CHECK(QDir().mkpath(configDir) && QDir().mkpath(appDir));
    SettingsFile::setDirectoriesForTesting(configDir, appDir);
    g_configFile = QDir(configDir).filePath(QLatin1String(SettingsFile::kFileName));
    g_appFile = QDir(appDir).filePath(QLatin1String(SettingsFile::kFileName));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QFile::remove(g_configFile);
    QFile::remove(g_appFile);
    const bool migrated = size % 2 == 1;
    writeFile(migrated ? g_appFile : g_configFile, bytes);

    SettingsValues first;
    SettingsFile::load(first);
    if (migrated) {
        // The old file is copied, never moved, and the copy is what was read.
        FUZZ_CHECK(readFile(g_configFile) == bytes);
        FUZZ_CHECK(QFile::remove(g_appFile));
    }
    FUZZ_CHECK(SettingsFile::save(first));
    const QByteArray written = readFile(g_configFile);

    SettingsValues second;
    SettingsFile::load(second);
    if (!equal(first, second)) {
        dumpValues("first load", first);
        dumpValues("reloaded", second);
        FUZZ_CHECK(equal(first, second));
    }
    FUZZ_CHECK(SettingsFile::save(second));
    FUZZ_CHECK(readFile(g_configFile) == written);
    return 0;
}
