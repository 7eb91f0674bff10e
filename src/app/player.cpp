#include "app/player.h"

#include "app/programend.h"
#include "app/recordcommand.h"
#include "input/keycombination.h"
#include "platform/desktop_native.h"
#include "project/projectfile.h"
#include "run/picturewait.h"
#include "run/remotestop.h"
#include "run/run.h"
#include "run/runthread.h"
#include "run/stoprule.h"
#include "settings/settingsfile.h"
#include "settings/text.h"

#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QThread>

#include <cstdio>
#include <memory>

namespace {


// How a run ended, noted in the runner thread when it emits finished (the
// run is deleted soon after, in its own thread).
struct Outcome {
    int passes = 0;
    qint64 milliseconds = 0;
    bool inputFailed = false;
    int pictureNotFoundPage = 0;
};

} // namespace

QString Player::lostDisplayMessage(bool japanese)
{
    const QString display = qEnvironmentVariable("DISPLAY");
    return japanese ? QStringLiteral("画面 %1 との接続が切れました。終了します").arg(display)
                    : QStringLiteral("the connection to the display %1 was lost; ending").arg(display);
}

Player::Player(CommandLine::Options options_, bool japanese_)
    : options(std::move(options_))
    , japanese(japanese_)
{
}

Player::StopChoice Player::stopCommand(const QString &fromSettings) const
{
    if (options.noStopKey) {
        if (!Run::canStopWithoutStopCommand())
            return {QString(), Text{"システムトレイがないため、停止キーなしの再生は止められません。"
                                    "--stop-key で停止キーを指定してください。",
                                    "there is no system tray, so a run without a stop key could not be stopped; "
                                    "give a stop key with --stop-key"}.in(japanese)};
        return {KeyCombination::noneCode(), QString()};
    }
    if (options.stopKey)
        return {*options.stopKey, QString()};
    // Not given: the one of the run settings, which must be a usable key.
    // Its "none" needs the explicit --no-stop-key, as the dialog asks every
    // time before such a run.
    if (fromSettings == KeyCombination::noneCode())
        return {QString(), Text{"実行設定に停止キーがありません。--stop-key で指定するか、"
                                "--no-stop-key を付けてください。",
                                "the run settings have no stop key; give one with --stop-key, or give --no-stop-key"}.in(japanese)};
    if (!StopRule::isUsableStopCommand(fromSettings))
        return {QString(), Text{"実行設定の停止キー「%1」はキーコードではありません。--stop-key で指定してください。",
                                "the stop key of the run settings (%1) is not a key code; give one with --stop-key"}.in(japanese)
                               .arg(fromSettings)};
    return {fromSettings, QString()};
}

int Player::exec()
{
    SettingsValues settings;
    SettingsFile::read(settings);

    const StopChoice stop = stopCommand(settings.stopCommand);
    if (!stop.error.isEmpty())
        return CommandLine::usageError(stop.error, japanese);
    if (const QString missing = CommandLine::missingStopKey(stop.command, japanese); !missing.isEmpty())
        return CommandLine::usageError(missing, japanese);
    const int startDelay = options.delay.value_or(qBound(0, settings.stertTime, Run::kMaxStartDelay));
    int runCount = settings.runNumber == Run::kRepeatForever ? Run::kRepeatForever
                                                             : qBound(1, settings.runNumber, Run::kMaxRunCount);
    if (options.times)
        runCount = *options.times;
    if (options.untilStopped)
        runCount = Run::kRepeatForever;

    ProjectFile::ReadResult project = ProjectFile::read(options.readFrom.isEmpty() ? options.file : options.readFrom);
    if (!project.ok) {
        CommandLine::printError(project.message(japanese));
        return CommandLine::kExitNoInput;
    }
    // What Open repairs and what will not play as written, before playing.
    if (!options.quiet)
        printFindings(stderr, options.file, project.findings, japanese);
    if (const QString refusal = Run::untypableRefusal(project.commands, japanese); !refusal.isEmpty()) {
        CommandLine::printError(refusal);
        return CommandLine::kExitInputFailed;
    }
    // Said before the desktop's own dialog comes, even with --quiet: the
    // person must answer it before anything plays.
    if (const QString explanation = Run::consentExplanation(japanese); !explanation.isEmpty())
        CommandLine::printError(explanation);

    auto *run = new Run();
    run->setup(startDelay, runCount, stop.command, std::move(project.commands), std::move(project.conditions),
               ProjectFile::runProjectName(QFileInfo(options.file).absoluteFilePath()));

    auto outcome = std::make_shared<Outcome>();
    QElapsedTimer clock;
    clock.start();
    // Connected before the run's own wiring, so it runs first, in the runner
    // thread, while the run is sure to exist.
    QObject::connect(
        run, &Run::finished, run,
        [run, outcome, clock] {
            outcome->passes = run->passesPlayed();
            outcome->milliseconds = clock.elapsed();
            outcome->inputFailed = run->inputFailed();
            outcome->pictureNotFoundPage = run->pictureNotFoundPage();
        },
        Qt::DirectConnection);

    // The player is done once the run and its thread are gone.
    QEventLoop loop;
    QObject owner;
    QThread *thread = runthread::start(run, &owner, [] {});
    QObject::connect(thread, &QObject::destroyed, &loop, &QEventLoop::quit);
    loop.exec();

    if (outcome->pictureNotFoundPage) {
        CommandLine::printError(picturewait::notFoundMessage(outcome->pictureNotFoundPage, japanese));
        return CommandLine::kExitPictureNotFound;
    }
    if (outcome->inputFailed) {
        CommandLine::printError(Text{"入力をデスクトップに送れませんでした。再生を終えます（%1 回再生）",
                                     "could not send input to the desktop; the run ended there (%1 passes played)"}.in(japanese)
                                    .arg(outcome->passes));
        return CommandLine::kExitInputFailed;
    }
    const bool allPlayed = runCount != Run::kRepeatForever && outcome->passes == runCount;
    const int signal = programend::caughtSignal();
    const int code = signal ? programend::exitCodeFor(signal)
                            : allPlayed ? CommandLine::kExitDone : CommandLine::kExitStopped;
    if (!allPlayed || !options.quiet) {
        // Concatenated: the file name may hold '%', which chained arg()
        // calls would take for a place of the next value.
        const QString seconds = QString::number(double(outcome->milliseconds) / 1000.0, 'f', 1);
        const QString passes = QString::number(outcome->passes);
        const QString ending = allPlayed ? Text{"完了", "finished"}.in(japanese) : Text{"停止", "stopped"}.in(japanese);
        CommandLine::print(stdout, japanese ? options.file + QStringLiteral(": ") + passes + QStringLiteral(" 回再生、") + ending
                                                  + QStringLiteral("、") + seconds + QStringLiteral(" 秒\n")
                                            : options.file + QStringLiteral(": ") + passes
                                                  + QStringLiteral(" passes played, ") + ending + QStringLiteral(", ")
                                                  + seconds + QStringLiteral(" s\n"));
    }
    return code;
}

void Player::printFindings(std::FILE *stream, const QString &file, const QList<PageKinds::Finding> &findings,
                           bool japanese)
{
    for (const PageKinds::Finding &finding : findings)
        CommandLine::print(stream, file + QStringLiteral(": ") + finding.describe(japanese) + QLatin1Char('\n'));
}

int Player::check(const QString &file, const QString &readFrom, bool japanese)
{
    const ProjectFile::ReadResult project = ProjectFile::read(readFrom.isEmpty() ? file : readFrom);
    if (!project.ok) {
        CommandLine::printError(project.message(japanese));
        return CommandLine::kExitNoInput;
    }
    printFindings(stdout, file, project.findings, japanese);
    return project.findings.isEmpty() ? CommandLine::kExitDone : CommandLine::kExitFound;
}

int Player::stopPlaying(char *program, bool japanese)
{
    int qtArgc = 1;
    char *qtArgv[] = {program, nullptr};
    QCoreApplication app(qtArgc, qtArgv);
    const int stopped = remotestop::stopAll();
    if (stopped < 0) {
        CommandLine::printError(Text{"実行を止める場所（%1）が使えません", "cannot use the folder that reaches runs (%1)"}
                                    .in(japanese)
                                    .arg(QDir::toNativeSeparators(remotestop::folder())));
        return CommandLine::kExitNoInput;
    }
    if (stopped == 0) {
        CommandLine::printError(Text{"再生中の実行はありません", "no run is playing"}.in(japanese));
        return CommandLine::kExitNotPlaying;
    }
    return CommandLine::kExitDone;
}

int Player::commandLineMain(int argc, char **argv)
{
    const bool japanese = CommandLine::japaneseEnvironment();
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QFile::decodeName(argv[i])); // file names come back whole through encodeName
    CommandLine::Result parsed = CommandLine::parse(arguments, japanese);
    if (!parsed.ok)
        return CommandLine::usageError(parsed.error, japanese);
    // A file name whose bytes are not text decodes to a string that names
    // another file; find its bytes again.
    if (!parsed.options.file.isEmpty() && parsed.options.mode != CommandLine::Mode::Help) {
        QByteArray bytes;
        for (int i = 1; i < argc; ++i) {
            QByteArray argument(argv[i]);
            if (const qsizetype eq = argument.indexOf('='); argument.startsWith("--") && eq > 0)
                argument = argument.mid(eq + 1);
            if (QFile::decodeName(argument) == parsed.options.file)
                bytes = argument;
        }
        if (!bytes.isEmpty() && QFile::encodeName(parsed.options.file) != bytes) {
            if (parsed.options.mode == CommandLine::Mode::Record) {
                CommandLine::printError(parsed.options.file
                                        + (japanese ? QStringLiteral(": この名前は文字として読めないため、書き込めません。別の名前にしてください")
                                                    : QStringLiteral(": this name is not text and cannot be written; choose another name")));
                return CommandLine::kExitNoInput;
            }
            parsed.options.readFrom = QString::fromStdString(platform::pathOfOpenedFile(bytes.constData()));
        }
    }
    const CommandLine::Mode mode = parsed.options.mode;
    switch (mode) {
    case CommandLine::Mode::Help:
        CommandLine::print(stdout, CommandLine::usage(japanese));
        return CommandLine::kExitDone;
    case CommandLine::Mode::Version:
        CommandLine::print(stdout, CommandLine::versionLine() + QLatin1Char('\n'));
        return CommandLine::kExitDone;
    case CommandLine::Mode::Check: // needs no display
        return check(parsed.options.file, parsed.options.readFrom, japanese);
    case CommandLine::Mode::Stop: // needs no display either
        return stopPlaying(argv[0], japanese);
    case CommandLine::Mode::Record:
        // Refused before anything is recorded.
        if (const QString problem = RecordCommand(parsed.options, japanese).outputProblem(); !problem.isEmpty()) {
            CommandLine::printError(problem);
            return CommandLine::kExitNoInput;
        }
        break;
    case CommandLine::Mode::Window:
    case CommandLine::Mode::Play:
        break;
    }
    const bool recording = mode == CommandLine::Mode::Record;

    // Only a real desktop: a scheduled run that played into the simulated
    // one would report success while nothing happened, and a recording of it
    // would hold nothing. Opened before the application object, which ends
    // the process when it finds no display.
    std::string why;
    std::shared_ptr<platform::Desktop> desktop = platform::createNativeDesktop(&why);
    if (!desktop) {
        const QString reason = QString::fromStdString(why);
        const QString message = japanese
            ? QStringLiteral("%1する画面がありません（%2）。デスクトップのセッションで起動するか、"
                             "X11 では DISPLAY と XAUTHORITY を設定してください。")
                  .arg(recording ? QStringLiteral("記録") : QStringLiteral("再生"), reason)
            : QStringLiteral("no display to %1 on (%2); start it in a desktop session, "
                             "or on X11 set DISPLAY and XAUTHORITY")
                  .arg(recording ? QStringLiteral("record") : QStringLiteral("play"), reason);
        CommandLine::printError(message);
        return CommandLine::kExitNoInput;
    }
    platform::setDesktop(desktop);

    // A scheduler mails whatever a job prints: the log's debug lines stay
    // out, and with --quiet its warnings too. QT_LOGGING_RULES still wins.
    // Characters that could not be typed are told even with --quiet.
    QLoggingCategory::setFilterRules(parsed.options.quiet
                                         ? QStringLiteral("*.debug=false\n*.info=false\n*.warning=false\n"
                                                          "tervalo.untyped.warning=true")
                                         : QStringLiteral("*.debug=false"));
    // Qt sees no arguments: none of the command line's options is Qt's.
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    if (recording)
        return RecordCommand(parsed.options, japanese).exec();
    // A request to end stops the run (the keys let go); the run then ends
    // as a stopped one, and exec() tells the signal by its exit code.
    programend::catchRequests([](int) {});
    programend::watchDisplay([japanese] {
        CommandLine::printError(lostDisplayMessage(japanese));
        return CommandLine::kExitNoInput;
    });
    const int code = Player(parsed.options, japanese).exec();
    programend::requestHandled();
    return code;
}
