#pragma once

// `tervalo_free --record OUT.cmdat [--delay SECONDS] [--stop-key CODE]
// [--force]`: records without a window, with the record dialog's default
// switches, until the stop combination, then writes the project through the
// same crash-safe writer as Save and prints one line (pages, seconds).
// Option rules: "--name value" or "--name=value", each option at most once,
// no other arguments. Exit codes: 0 done, 2 the output cannot be written (or
// exists and --force is not given, or there is no display), 64 bad usage.

#include <QString>
#include <QStringList>

class RecordCommand {
public:
    static constexpr int kExitDone = 0;
    static constexpr int kExitOutput = 2;
    static constexpr int kExitUsage = 64;

    struct Options {
        QString file;
        int delay = 5;                              ///< seconds
        QString stopKey = QStringLiteral("83,3");   ///< Ctrl+Alt+S
        bool force = false;
    };
    struct Parsed {
        bool ok = false;
        Options options;
        QString error; ///< one line; empty when ok
    };

    /// True when the arguments (after the program name) ask for recording.
    static bool wanted(const QStringList &arguments);
    /// Parses the arguments after the program name.
    static Parsed parse(const QStringList &arguments);
    /// Why the file cannot be the output (empty when it can).
    static QString outputProblem(const Options &options);
    /// The whole command: parses, records, writes; returns the exit code.
    static int commandLineMain(int argc, char **argv);
};
