#include "wineprefix.h"

#include <QDir>
#include <QFileInfo>

WinePrefix::WinePrefix(QString wine, QString wineserver, QString dir)
    : wine(std::move(wine))
    , wineserver(std::move(wineserver))
    , prefixDir(QDir(dir).absolutePath()) // Wine wants an absolute path
{
}

WinePrefix::~WinePrefix()
{
    shutdown();
}

QProcessEnvironment WinePrefix::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("WINEPREFIX"), prefixDir);
    env.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
    // Mono and Gecko are not needed and their installers must not pop up.
    env.insert(QStringLiteral("WINEDLLOVERRIDES"), QStringLiteral("mscoree,mshtml="));
    return env;
}

bool WinePrefix::create(QString *error)
{
    QDir().mkpath(prefixDir);
    QProcess boot;
    boot.setProcessEnvironment(environment());
    boot.setProcessChannelMode(QProcess::MergedChannels);
    boot.start(wine, {QStringLiteral("wineboot"), QStringLiteral("-i")});
    if (!boot.waitForFinished(300000) || boot.exitCode() != 0) {
        *error = QStringLiteral("wineboot failed: ") + QString::fromLocal8Bit(boot.readAll());
        return false;
    }
    QProcess wait;
    wait.setProcessEnvironment(environment());
    wait.start(wineserver, {QStringLiteral("-w")});
    wait.waitForFinished(300000);
    if (userFolder().isEmpty()) {
        *error = QStringLiteral("no user profile in ") + prefixDir;
        return false;
    }
    return true;
}

QString WinePrefix::userFolder() const
{
    const QDir users(prefixDir + QStringLiteral("/drive_c/users"));
    for (const QString &name : users.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (name != QLatin1String("Public"))
            return users.absoluteFilePath(name);
    }
    return {};
}

QString WinePrefix::appConfigFolder(const QString &program) const
{
    return userFolder() + QStringLiteral("/AppData/Local/") + program;
}

QString WinePrefix::windowsPath(const QString &hostPath) const
{
    const QString absolute = QFileInfo(hostPath).absoluteFilePath();
    const QString driveC = prefixDir + QStringLiteral("/drive_c");
    QString path;
    if (absolute.startsWith(driveC + QLatin1Char('/')))
        path = QStringLiteral("C:") + absolute.mid(driveC.size());
    else
        path = QStringLiteral("Z:") + absolute;
    return path.replace(QLatin1Char('/'), QLatin1Char('\\'));
}

std::unique_ptr<QProcess> WinePrefix::start(const QString &exe, const QStringList &arguments, const QString &workDir,
                                            const QStringList &extraEnvironment) const
{
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment env = environment();
    for (const QString &entry : extraEnvironment)
        env.insert(entry.section(QLatin1Char('='), 0, 0), entry.section(QLatin1Char('='), 1));
    process->setProcessEnvironment(env);
    process->setWorkingDirectory(workDir);
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->start(wine, QStringList{exe} + arguments);
    process->waitForStarted(30000);
    return process;
}

void WinePrefix::shutdown() const
{
    QProcess kill;
    kill.setProcessEnvironment(environment());
    kill.start(wineserver, {QStringLiteral("-k")});
    kill.waitForFinished(30000);
    QProcess wait;
    wait.setProcessEnvironment(environment());
    wait.start(wineserver, {QStringLiteral("-w")});
    wait.waitForFinished(30000);
}
