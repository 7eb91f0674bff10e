#include "app/recordcommand.h"

#include "project/pagekinds.h"
#include "project/projectfile.h"
#include "record/recordingsession.h"
#include "run/rundialog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

RecordCommand::RecordCommand(CommandLine::Options options_, bool japanese_)
    : options(std::move(options_))
    , japanese(japanese_)
{
}

QString RecordCommand::text(const char *japaneseText, const char *englishText) const
{
    return QString::fromUtf8(japanese ? japaneseText : englishText);
}

QString RecordCommand::outputProblem() const
{
    const QFileInfo file(options.file);
    if (file.exists() && !options.force)
        return text("%1 はすでにあります。置き換えるには --force を付けてください",
                    "%1 exists; --force replaces it")
            .arg(options.file);
    if (file.exists() && !file.isFile())
        return text("%1 はファイルではありません", "%1 is not a file").arg(options.file);
    const QFileInfo dir(file.absolutePath());
    if (!dir.isDir() || !dir.isWritable())
        return text("%1 に書き込めません", "cannot write in %1").arg(QDir::toNativeSeparators(file.absolutePath()));
    return QString();
}

int RecordCommand::exec()
{
    RecordDialog::Values values; // the dialog's defaults, switches included
    if (options.delay)
        values.startDelay = *options.delay;
    if (options.stopKey)
        values.stopCommand = *options.stopKey;
    RecordingSession session(values);
    const QString stopLabel = RunDialog::keyLabelFor(values.stopCommand);
    QObject::connect(&session, &RecordingSession::recording, [&] {
        CommandLine::print(stderr, text("記録中です。%1 で終わります。\n", "Recording; %1 stops it.\n").arg(stopLabel));
    });
    int exitCode = CommandLine::kExitDone;
    QObject::connect(&session, &RecordingSession::finished,
                     [&](bool cancelled, const RecordMapping::Pages &pages, double seconds) {
                         QCoreApplication::quit();
                         if (cancelled) {
                             CommandLine::printError(text("記録が始まる前に停止キーが押されました。何も書き込んでいません",
                                                          "the stop key came before the recording started; "
                                                          "nothing was written"));
                             exitCode = CommandLine::kExitStopped;
                             return;
                         }
                         RecordList commands = pages.commands, conditions = pages.conditions;
                         if (commands.isEmpty()) { // a project has at least one page
                             commands << PageKinds::blankCommand();
                             conditions << PageKinds::blankCondition();
                         }
                         const ProjectFile::Result written = ProjectFile::write(options.file, commands, conditions);
                         if (!written.ok) {
                             CommandLine::printError(written.errorText);
                             exitCode = CommandLine::kExitNoInput;
                             return;
                         }
                         CommandLine::print(stdout, text("%1 ページを %2 秒で記録しました\n", "%1 pages recorded in %2 s\n")
                                                        .arg(pages.count())
                                                        .arg(QString::number(seconds, 'f', 1)));
                     });
    // The parser lets through only stop keys a recording can use.
    if (!session.start()) {
        CommandLine::printError(text("入力を観察できません", "the input cannot be observed"));
        return CommandLine::kExitNoInput;
    }
    CommandLine::print(stderr, text("%1 秒後に記録を始めます。それまでに %2 を押すと取りやめます。\n",
                                    "Recording starts in %1 s; %2 before then cancels it.\n")
                                   .arg(values.startDelay)
                                   .arg(stopLabel));
    QCoreApplication::exec();
    return exitCode;
}
