#include "app/recordcommand.h"

#include "app/player.h"
#include "app/programend.h"
#include "project/pagekinds.h"
#include "project/projectfile.h"
#include "record/recordingsession.h"
#include "settings/text.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <mutex>

RecordCommand::RecordCommand(CommandLine::Options options_, bool japanese_)
    : options(std::move(options_))
    , japanese(japanese_)
{
}

QString RecordCommand::outputProblem() const
{
    const QFileInfo file(options.file);
    // exists() follows a link: one that points nowhere is still there, and
    // writing through it would put the recording wherever it points.
    if (file.isSymLink() && !options.force)
        return Text{"%1 はシンボリックリンクです。置き換えるには --force を付けてください",
                    "%1 is a symbolic link; --force replaces it"}.in(japanese)
            .arg(options.file);
    if (file.exists() && !options.force)
        return Text{"%1 はすでにあります。置き換えるには --force を付けてください",
                    "%1 exists; --force replaces it"}.in(japanese)
            .arg(options.file);
    if (file.exists() && !file.isFile() && !file.isSymLink())
        return Text{"%1 はファイルではありません", "%1 is not a file"}.in(japanese).arg(options.file);
    const QFileInfo dir(file.absolutePath());
    if (!dir.isDir() || !dir.isWritable())
        return Text{"%1 に書き込めません", "cannot write in %1"}.in(japanese).arg(QDir::toNativeSeparators(file.absolutePath()));
    return QString();
}

bool RecordCommand::write(const RecordMapping::Pages &pages, double seconds) const
{
    RecordList commands = pages.commands, conditions = pages.conditions;
    if (commands.isEmpty()) { // a project has at least one page
        commands << PageKinds::blankCommand();
        conditions << PageKinds::blankCondition();
    }
    const ProjectFile::Result written = writeOutput(commands, conditions);
    if (!written.ok) {
        keepElsewhere(written, commands, conditions);
        return false;
    }
    CommandLine::print(stdout, Text{"%1 ページを %2 秒で記録しました\n", "%1 pages recorded in %2 s\n"}.in(japanese)
                                   .arg(pages.count())
                                   .arg(QString::number(seconds, 'f', 1)));
    return true;
}

ProjectFile::Result RecordCommand::writeOutput(const RecordList &commands, const RecordList &conditions) const
{
    // Asked again now: the answer at the start is minutes old.
    if (const QString problem = outputProblem(); !problem.isEmpty()) {
        ProjectFile::Result r;
        const QFileInfo there(options.file);
        r.problem = there.exists() || there.isSymLink() ? ProjectFile::Problem::Exists
                                                        : ProjectFile::Problem::CannotWrite;
        r.detail = options.file;
        return r;
    }
    if (!options.force)
        return ProjectFile::create(options.file, commands, conditions);
    // --force replaces what is there; a link is replaced, never followed.
    if (QFileInfo(options.file).isSymLink())
        QFile::remove(options.file);
    return ProjectFile::write(options.file, commands, conditions);
}

void RecordCommand::keepElsewhere(const ProjectFile::Result &failed, const RecordList &commands,
                                  const RecordList &conditions) const
{
    const QFileInfo wanted(options.file);
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(folder);
    const QString base = wanted.completeBaseName().isEmpty() ? QStringLiteral("recording") : wanted.completeBaseName();
    // Beside the file first, then the per-user data folder; each candidate
    // is created exclusively, so nothing there is ever replaced.
    for (const QString &dir : {wanted.absolutePath(), folder}) {
        for (int n = 1; n <= 99; ++n) {
            const QString path = dir + QLatin1Char('/') + base + QLatin1Char('-') + QString::number(n)
                + ProjectFile::kExtension;
            if (ProjectFile::create(path, commands, conditions).ok) {
                CommandLine::printError(failed.message(japanese) + Text{"。記録は次に保存しました: ", "; the recording was saved as "}.in(japanese)
                                        + QDir::toNativeSeparators(path));
                return;
            }
        }
    }
    CommandLine::printError(failed.message(japanese) + Text{"。記録はどこにも保存できませんでした",
                                                             "; the recording could not be saved anywhere"}.in(japanese));
}

int RecordCommand::exec()
{
    RecordingOptions values; // the dialog's defaults, switches included
    if (options.delay)
        values.startDelay = *options.delay;
    if (options.stopKey)
        values.stopCommand = *options.stopKey;
    if (const QString missing = CommandLine::missingStopKey(values.stopCommand, japanese); !missing.isEmpty())
        return CommandLine::usageError(missing, japanese);
    RecordingSession session(values);
    const QString stopLabel = KeyCombination::stopLabel(values.stopCommand);
    // Asked to end from outside: the recording ends as with the stop key
    // (kept, or cancelled during the delay), with the signal's exit code.
    programend::catchRequests([&session](int) { session.finishNow(); });
    // The display gone: what was recorded so far is still written. Only
    // the recorder's own lock is taken; its observer may be stuck.
    std::mutex writing; // one writer: the normal end or this
    programend::watchDisplay([&] {
        std::lock_guard<std::mutex> lock(writing);
        CommandLine::printError(Player::lostDisplayMessage(japanese));
        const RecordMapping::Pages pages = session.recorder().pages(values.options);
        write(pages, session.recorder().secondsSoFar());
        return CommandLine::kExitNoInput;
    });
    QObject::connect(&session, &RecordingSession::recording, [&] {
        CommandLine::print(stderr, Text{"記録中です。%1 で終わります。\n", "Recording; %1 stops it.\n"}.in(japanese).arg(stopLabel));
    });
    int exitCode = CommandLine::kExitDone;
    QObject::connect(&session, &RecordingSession::finished,
                     [&](bool cancelled, const RecordMapping::Pages &pages, double seconds) {
                         QCoreApplication::quit();
                         if (cancelled) {
                             CommandLine::printError(Text{"記録が始まる前に停止キーが押されました。何も書き込んでいません",
                                                          "the stop key came before the recording started; "
                                                          "nothing was written"}.in(japanese));
                             exitCode = CommandLine::kExitStopped;
                         } else {
                             std::lock_guard<std::mutex> lock(writing);
                             exitCode = write(pages, seconds) ? CommandLine::kExitDone : CommandLine::kExitNoInput;
                         }
                         if (const int signal = programend::caughtSignal())
                             exitCode = programend::exitCodeFor(signal);
                     });
    // The parser lets through only stop keys a recording can use.
    if (!session.start()) {
        CommandLine::printError(RecordingSession::cannotObserveMessage(japanese));
        return CommandLine::kExitNoInput;
    }
    CommandLine::print(stderr, Text{"%1 秒後に記録を始めます。それまでに %2 を押すと取りやめます。\n",
                                    "Recording starts in %1 s; %2 before then cancels it.\n"}.in(japanese)
                                   .arg(values.startDelay)
                                   .arg(stopLabel));
    QCoreApplication::exec();
    programend::requestHandled();
    return exitCode;
}
