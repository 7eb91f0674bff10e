#pragma once

// A Wine prefix of the tests' own (nothing of the user's Wine set-up is
// touched), the programs started in it and the paths as Windows sees them.

#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>

class WinePrefix
{
public:
    WinePrefix(QString wine, QString wineserver, QString dir);
    ~WinePrefix();

    /// Creates the prefix on first use (wineboot, 15 to 60 s) and waits
    /// until it is ready; false with a message when Wine cannot.
    bool create(QString *error);
    QString dir() const { return prefixDir; }
    /// Host path of C:\users\<name>, the Windows user's profile folder.
    QString userFolder() const;
    /// The folder QStandardPaths gives a program as its per-user
    /// configuration folder on Windows (AppData\Local\<program>).
    QString appConfigFolder(const QString &program) const;
    /// A host path as a Windows program sees it: C:\... inside the prefix's
    /// drive C, otherwise Z:\... (Wine's drive for the whole file system).
    QString windowsPath(const QString &hostPath) const;

    /// Starts a Windows program in `workDir`; stdout and stderr are merged.
    std::unique_ptr<QProcess> start(const QString &exe, const QStringList &arguments, const QString &workDir,
                                    const QStringList &extraEnvironment = {}) const;
    /// Ends every program of this prefix and its wineserver.
    void shutdown() const;

private:
    QProcessEnvironment environment() const;

    QString wine;
    QString wineserver;
    QString prefixDir;
};
