#pragma once

// The program's command-line options. Without any argument the program opens
// its window; with arguments it works as a command-line tool, whose modes
// (playing a project, recording one, checking one, stopping a run, help,
// version) and their options are
// described by one table in commandline.cpp. The parser needs no application object, so a
// usage error is told before any display is opened.
//
// Option rules, the same for every mode: "--name value" or "--name=value";
// each option at most once; no positional arguments; an option belongs to
// one or more modes and is refused without one of them; some pairs exclude
// each other (--times and --until-stopped, --stop-key and --no-stop-key).
// Whatever the arguments ask for is done elsewhere (Player, RecordCommand).

#include <QString>
#include <QStringList>

#include <cstdio>
#include <optional>

class CommandLine {
public:
    enum class Mode { Window, Play, Record, Check, Stop, Help, Version };

    /// Exit codes of the command-line modes.
    static constexpr int kExitDone = 0;     ///< every pass played, the recording written, the file clean (or help, version)
    /// --check: something will be repaired or cannot play as written.
    static constexpr int kExitFound = 1;
    /// --stop: no run of this user was playing.
    static constexpr int kExitNotPlaying = 1;
    /// The file could not be read (--play) or must not or cannot be written
    /// (--record), or there is no display, or it went away.
    static constexpr int kExitNoInput = 2;
    /// Stopped by the stop key or the tray icon (a recording: during its delay).
    static constexpr int kExitStopped = 3;
    /// A Click Image page did not find its picture in time (and the run ended there).
    static constexpr int kExitPictureNotFound = 4;
    /// The run could not send its input to the desktop (and ended there).
    static constexpr int kExitInputFailed = 5;
    static constexpr int kExitUsage = 64;   ///< bad usage (the usage text goes to stderr)
    // Asked to end from outside (a signal): 128 + the signal number, as a
    // shell reports a process that a signal ended.

    /// What the arguments ask for. Options not given stay empty: their
    /// values come from the settings file.
    struct Options {
        Mode mode = Mode::Window;
        QString file;                   ///< --play FILE, --record FILE or --check FILE
        /// Where FILE is read from when its name is not text (see
        /// platform::pathOfOpenedFile); empty: FILE itself. Set by the caller.
        QString readFrom;
        std::optional<int> times;       ///< --times N
        bool untilStopped = false;      ///< --until-stopped
        std::optional<int> delay;       ///< --delay SECONDS
        std::optional<QString> stopKey; ///< --stop-key CODE, a usable key code
        bool noStopKey = false;         ///< --no-stop-key
        bool quiet = false;             ///< --quiet
        bool force = false;             ///< --force (--record replaces an existing file)
    };

    struct Result {
        bool ok = false;
        Options options;
        QString error; ///< one line, in the language asked for; empty when ok
    };

    /// Parses the arguments after the program name.
    static Result parse(const QStringList &arguments, bool japanese);

    /// The usage text (for --help on stdout, after an error on stderr).
    static QString usage(bool japanese);
    /// The line --version prints.
    static QString versionLine();

    /// Whether the command line speaks Japanese: the first of LC_ALL,
    /// LC_MESSAGES and LANG that is set names a Japanese locale.
    static bool japaneseEnvironment();

    /// A stop key given on the command line: "key" or "key,modifiers" in
    /// decimal, a key the run can watch for and a modifier mask of 0 to 15.
    static bool isStopKeyCode(const QString &code);

    /// Empty when every key of a stop key code (the key and its modifiers)
    /// is a key of the current desktop; otherwise the message that refuses
    /// it, naming the key. Needs the desktop (platform::currentDesktop).
    static QString missingStopKey(const QString &code, bool japanese);

    /// "tervalo_free" (the name used in messages and in the usage text).
    static QString programName();

    /// Writes `text` to `stream` as UTF-8, at once.
    static void print(std::FILE *stream, const QString &text);
    /// Prints "tervalo_free: `message`" as one line on stderr.
    static void printError(const QString &message);
    /// Prints "tervalo_free: `message`" and the usage text on stderr and
    /// returns kExitUsage.
    static int usageError(const QString &message, bool japanese);
};
