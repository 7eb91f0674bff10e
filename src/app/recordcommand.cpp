#include "app/recordcommand.h"

#include "input/keycombination.h"
#include "project/pagekinds.h"
#include "project/projectfile.h"
#include "record/recordingsession.h"
#include "run/rundialog.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace {

const QString kRecord = QStringLiteral("--record");

void printLine(FILE *stream, const QString &line)
{
    std::fputs(qPrintable(line + QLatin1Char('\n')), stream);
    std::fflush(stream);
}

QString usage()
{
    return QStringLiteral("usage: tervalo_free --record OUT.cmdat [--delay SECONDS] [--stop-key CODE] [--force]");
}

} // namespace

bool RecordCommand::wanted(const QStringList &arguments)
{
    for (const QString &a : arguments) {
        if (a == kRecord || a.startsWith(kRecord + QLatin1Char('=')))
            return true;
    }
    return false;
}

RecordCommand::Parsed RecordCommand::parse(const QStringList &arguments)
{
    Parsed r;
    QStringList seen;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments[i];
        if (!arg.startsWith(QLatin1String("--"))) {
            r.error = QStringLiteral("unexpected argument: %1").arg(arg);
            return r;
        }
        QString name = arg;
        QString value;
        bool hasValue = false;
        const int eq = arg.indexOf(QLatin1Char('='));
        if (eq > 0) {
            name = arg.left(eq);
            value = arg.mid(eq + 1);
            hasValue = true;
        }
        if (seen.contains(name)) {
            r.error = QStringLiteral("%1 is given twice").arg(name);
            return r;
        }
        seen << name;
        const bool takesValue = name == kRecord || name == QLatin1String("--delay") || name == QLatin1String("--stop-key");
        if (name == QLatin1String("--force")) {
            if (hasValue) {
                r.error = QStringLiteral("--force takes no value");
                return r;
            }
            r.options.force = true;
            continue;
        }
        if (!takesValue) {
            r.error = QStringLiteral("unknown option: %1").arg(name);
            return r;
        }
        if (!hasValue) {
            if (i + 1 >= arguments.size()) {
                r.error = QStringLiteral("%1 needs a value").arg(name);
                return r;
            }
            value = arguments[++i];
        }
        if (name == kRecord) {
            if (value.isEmpty()) {
                r.error = QStringLiteral("--record needs a file name");
                return r;
            }
            r.options.file = value;
        } else if (name == QLatin1String("--delay")) {
            bool ok = false;
            const int seconds = value.toInt(&ok, 10);
            if (!ok || seconds < 0 || seconds > 9999) {
                r.error = QStringLiteral("--delay takes whole seconds from 0 to 9999, not %1").arg(value);
                return r;
            }
            r.options.delay = seconds;
        } else {
            const KeyCombination::Parsed p = KeyCombination::parse(value);
            if (!RunDialog::isUsableStopCommand(value) || p.parts > 2 || (p.parts == 2 && (!p.maskConverts || p.mask < 0 || p.mask > 15))) {
                r.error = QStringLiteral("--stop-key takes a key code such as 83,3 (Ctrl+Alt+S), not %1").arg(value);
                return r;
            }
            r.options.stopKey = KeyCombination::format(p.vk, p.mask);
        }
    }
    if (r.options.file.isEmpty()) {
        r.error = QStringLiteral("--record needs a file name");
        return r;
    }
    r.ok = true;
    return r;
}

QString RecordCommand::outputProblem(const Options &options)
{
    const QFileInfo file(options.file);
    if (file.exists() && !options.force)
        return QStringLiteral("%1 exists; --force replaces it").arg(options.file);
    if (file.exists() && !file.isFile())
        return QStringLiteral("%1 is not a file").arg(options.file);
    const QFileInfo dir(file.absolutePath());
    if (!dir.isDir() || !dir.isWritable())
        return QStringLiteral("cannot write in %1").arg(QDir::toNativeSeparators(file.absolutePath()));
    return QString();
}

int RecordCommand::commandLineMain(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const Parsed parsed = parse(arguments);
    if (!parsed.ok) {
        printLine(stderr, QStringLiteral("tervalo_free: ") + parsed.error);
        printLine(stderr, usage());
        return kExitUsage;
    }
    const Options &o = parsed.options;
    const QString problem = outputProblem(o);
    if (!problem.isEmpty()) {
        printLine(stderr, QStringLiteral("tervalo_free: ") + problem);
        return kExitOutput;
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && QString::fromLatin1(qgetenv("QT_QPA_PLATFORM")).isEmpty()) {
        printLine(stderr, QStringLiteral("tervalo_free: no display to record"));
        return kExitOutput;
    }
    QApplication app(argc, argv);
    RecordDialog::Values values; // the dialog's default switches
    values.startDelay = o.delay;
    values.stopCommand = o.stopKey;
    RecordingSession session(values);
    const QString stopLabel = RunDialog::keyLabelFor(o.stopKey);
    QObject::connect(&session, &RecordingSession::recording, [&] {
        printLine(stderr, QStringLiteral("Recording; %1 stops it.").arg(stopLabel));
    });
    int exitCode = kExitDone;
    QObject::connect(&session, &RecordingSession::finished,
                     [&](bool ok, const RecordMapping::Pages &pages, double seconds) {
                         if (!ok) {
                             printLine(stderr, QStringLiteral("tervalo_free: the input cannot be observed"));
                             exitCode = kExitOutput;
                         } else {
                             RecordList commands = pages.commands, conditions = pages.conditions;
                             if (commands.isEmpty()) { // a project has at least one page
                                 commands << PageKinds::blankCommand();
                                 conditions << PageKinds::blankCondition();
                             }
                             const ProjectFile::Result written = ProjectFile::write(o.file, commands, conditions);
                             if (!written.ok) {
                                 printLine(stderr, QStringLiteral("tervalo_free: ") + written.errorText);
                                 exitCode = kExitOutput;
                             } else {
                                 printLine(stdout, QStringLiteral("%1 pages recorded in %2 s")
                                                       .arg(pages.count())
                                                       .arg(QString::number(seconds, 'f', 1)));
                             }
                         }
                         QCoreApplication::quit();
                     });
    session.start();
    app.exec();
    return exitCode;
}
