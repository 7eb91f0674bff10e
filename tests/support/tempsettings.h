#pragma once

// Points the settings file at a temporary folder for one test object, so
// tests never read or write the user's own settings.

#include "project/recoverycopy.h"
#include "settings/settingsfile.h"

#include <QByteArray>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

struct TempSettings {
    TempSettings()
    {
        QStandardPaths::setTestModeEnabled(true);
        configDir = dir.path() + QStringLiteral("/config");
        appDir = dir.path() + QStringLiteral("/app");
        QDir().mkpath(appDir);
        SettingsFile::setDirectoriesForTesting(configDir, appDir);
        RecoveryCopy::setFolderForTesting(dir.path() + QStringLiteral("/data"));
    }
    ~TempSettings()
    {
        SettingsFile::setDirectoriesForTesting(QString(), QString());
        RecoveryCopy::setFolderForTesting(QString());
    }
    QString settingsFile() const { return configDir + QStringLiteral("/tervalo_free.json"); }
    /// Replaces the settings file with `json`; false when it cannot be written.
    bool write(const QByteArray &json) const
    {
        QDir().mkpath(configDir);
        QFile f(settingsFile());
        return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(json) == json.size();
    }

    QTemporaryDir dir;
    QString configDir;
    QString appDir;
};
