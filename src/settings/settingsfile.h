#pragma once

// The user's settings: eleven values (and one flag added later) in "tervalo_free.json" in the per-user
// configuration directory, loaded once at start and saved once at close.

#include "input/keycombination.h"

#include <QString>

/// The values the main window keeps between runs, with their defaults.
struct SettingsValues {
    int stertTime = 5;
    int runNumber = 1;
    QString stopCommand = KeyCombination::defaultStopCommand();
    QString projectPath;   ///< the Desktop directory while the project has no file
    QString lastUsedPath;  ///< "file_path" as read at start; empty when none
    bool is_used_stert = false;
    bool is_used_this = false;
    bool is_help = false;
    bool is_message_file = true;
    bool is_message_paste = false;
    bool is_message_delete = true;
    bool is_japanese = true;
    // The record dialog's values (keys added with the recorder; older
    // readers ignore them).
    int record_delay = 5;
    QString record_stop_command = KeyCombination::defaultStopCommand();
    bool record_glides = true;
    bool record_join_text = true;
    bool record_keep_pauses = true;
    /// The notice about Wayland sessions has been shown (saved only when true).
    bool is_used_wayland = false;
};

class SettingsFile {
public:
    static constexpr const char *kFileName = "tervalo_free.json";
    /// Key of the one-time Wayland notice flag; older readers ignore it.
    static constexpr const char *kWaylandNoticeKey = "is_used_wayland";

    /// Full path of the settings file (creates its directory; falls back to
    /// the executable's directory when that cannot be made).
    static QString settingsPath();
    /// Copies an older file from the executable's directory, never overwriting.
    static void migrate();
    /// Loads into `values`, which must hold the defaults; any failure keeps them.
    static void load(SettingsValues &values);
    /// Loads like load but writes nothing: no migration copy and no folder
    /// is made; a file found only in the executable's directory is read there.
    static void read(SettingsValues &values);
    /// Saves atomically; returns false (and logs) when the file could not be written.
    static bool save(const SettingsValues &values);

    /// The user's Desktop directory: the project path of a project without file.
    static QString desktopPath();

    /// Tests point the configuration and executable directories elsewhere;
    /// empty texts restore the real ones.
    static void setDirectoriesForTesting(const QString &configDir, const QString &appDir);

private:
    static void loadFrom(SettingsValues &values, const QString &path);
    static QString configDir();
    static QString appDir();
};
