#pragma once

// The command-line player: plays one project file without opening a window,
// for scripts and schedules. It reads the file as Open does and plays it as
// the Run button does (same run engine, tray icon and stop watcher), takes
// the values not given on the command line from the settings file, never
// writes that file, and tells the result by its exit code and one line.

#include "app/commandline.h"
#include "project/pagekinds.h"

#include <QString>

#include <cstdio>

class Player {
public:
    Player(CommandLine::Options options, bool japanese);

    /// Plays as the options say and returns the exit code. Needs the
    /// application object and the desktop to play on.
    int exec();

    /// The command-line path of the program, for main() when it has
    /// arguments: help, version and usage errors, then the display, then
    /// the play (or, with --record, the recording). Returns the exit code.
    /// Not called main: Qt's Windows entry point defines main as a macro.
    static int commandLineMain(int argc, char **argv);

    /// What the command line says when its display goes away.
    static QString lostDisplayMessage(bool japanese);
    /// --check FILE: prints one line per finding of the file on stdout and
    /// returns 0 (clean), 1 (something found) or 2 (unreadable).
    static int check(const QString &file, const QString &readFrom, bool japanese);
    /// --stop: asks every run of this user that is playing to stop; returns
    /// 0 (one or more stopped), 1 (none playing) or 2 (no folder to ask in).
    static int stopPlaying(char *program, bool japanese);
    /// "FILE: page 3, ..." for each finding.
    static void printFindings(std::FILE *stream, const QString &file, const QList<PageKinds::Finding> &findings,
                              bool japanese);

private:
    /// The stop command the run gets, or an error for a usage error.
    struct StopChoice {
        QString command;
        QString error;
    };
    StopChoice stopCommand(const QString &fromSettings) const;

    CommandLine::Options options;
    bool japanese;
};
