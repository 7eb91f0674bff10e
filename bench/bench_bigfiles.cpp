// Measures opening 100 MB files: a project of many short pages, a project
// with one 100 MB text, 100 MB of junk as a project and as the settings, and
// a sparse 3 GB project. Each case runs in a fresh process, three times, so
// its peak memory is its own; prints the median time and the median growth
// of the peak memory, also as a ratio to the file size.
// Targets: every open ends within 30 s and grows the peak memory by less than
// 15 times the file's size. Exits non-zero when one is missed.

#include "gui/mainwindow/tervalo.h"
#include "platform/desktop.h"
#include "platform/desktop_sim.h"
#include "project/projectfile.h"
#include "settings/settingsfile.h"

#include "benchstats.h"
#include "support/junkbytes.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

namespace {
constexpr qint64 kSize = 100 * 1000 * 1000;
constexpr double kMaxSeconds = 30;
constexpr double kMaxGrowth = 15;

/// The process's peak resident memory. Read from /proc rather than
/// getrusage, whose figure carries over the parent's peak through fork/exec.
long peakKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return 0;
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

QByteArray manyPages(qint64 size)
{
    const QByteArray page = "        [\n            \"入力\",\n            \"abcdefghij\",\n            \"3\"\n        ],\n";
    QByteArray json = "{\n    \"list_command\": [\n" + page.repeated((size - 64) / page.size());
    json.chop(2);
    return json + "\n    ],\n    \"list_condition\": [\n    ]\n}\n";
}

/// One case in this process: prints "<ms> <peak KB before> <peak KB after> <result>".
int runOne(const QString &what, const QString &path)
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    QTemporaryDir dir;
    SettingsFile::setDirectoriesForTesting(dir.filePath("config"), dir.filePath("app"));
    QDir().mkpath(dir.filePath("config"));
    writeFile(dir.filePath("config/tervalo_free.json"), "{\"is_used_this\": true}");
    platform::setDesktop(std::make_shared<platform::SimDesktop>());
    tervalo w;
    w.addNewCommand();

    QString result;
    const long before = peakKilobytes();
    QElapsedTimer t;
    t.start();
    if (what == QLatin1String("project")) {
        // What Open does once the file is chosen: read, parse, repair, refresh.
        ProjectFile::ReadResult r = ProjectFile::read(path);
        if (r.ok) {
            w.showProject(std::move(r.commands), std::move(r.conditions));
            result = QStringLiteral("loaded %1 pages").arg(w.project().pageCount());
        } else {
            result = QStringLiteral("message: ") + r.errorText.left(60);
        }
    } else {
        QFile::remove(dir.filePath("config/tervalo_free.json"));
        QFile::link(path, dir.filePath("config/tervalo_free.json"));
        SettingsValues v;
        SettingsFile::load(v);
        result = v.is_japanese ? QStringLiteral("defaults kept") : QStringLiteral("loaded");
    }
    const qint64 ms = t.elapsed();
    std::printf("%lld %ld %ld %s\n", static_cast<long long>(ms), before, peakKilobytes(), qPrintable(result));
    SettingsFile::setDirectoriesForTesting(QString(), QString());
    return 0;
}
} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args.at(1) == QLatin1String("--one"))
        return runOne(args.at(2), args.at(3));

    QTemporaryDir dir;
    struct Case {
        const char *label;
        const char *what;
        QByteArray (*make)();
        qint64 sparse; ///< size of a file with nothing written, instead of make
    };
    const Case cases[] = {
        {"project: many short pages", "project", [] { return manyPages(kSize); }, 0},
        {"project: one 100 MB text", "project",
         [] { return "{\"list_command\": [[\"入力\", \"" + QByteArray(kSize, 'x') + "\", \"3\"]], \"list_condition\": []}"; }, 0},
        {"project: junk", "project", [] { return junk(kSize); }, 0},
        {"project: sparse 3 GB", "project", nullptr, qint64(3) << 30},
        {"settings: junk", "settings", [] { return junk(kSize); }, 0},
    };
    bool ok = true;
    std::printf("Opening 100 MB files (medians of 3 fresh processes)\n");
    std::fflush(stdout);
    for (const Case &c : cases) {
        const QString path = dir.filePath(QStringLiteral("input"));
        qint64 size = c.sparse;
        bool written = false;
        if (c.make) {
            const QByteArray bytes = c.make();
            size = bytes.size();
            written = writeFile(path, bytes);
        } else {
            QFile f(path);
            written = f.open(QIODevice::WriteOnly) && f.resize(size);
        }
        if (!written) {
            std::printf("%-32s cannot write the file\n", c.label);
            return 1;
        }
        std::vector<double> ms, growthMB;
        QString result;
        for (int run = 0; run < 3; ++run) {
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            child.start(QCoreApplication::applicationFilePath(), {"--one", c.what, path});
            if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
                std::printf("%-32s the process failed (%s)\n", c.label, qPrintable(child.errorString()));
                ok = false;
                break;
            }
            const QList<QByteArray> fields = child.readAllStandardOutput().trimmed().split(' ');
            if (fields.size() < 4)
                continue;
            ms.push_back(fields.at(0).toDouble());
            growthMB.push_back((fields.at(2).toDouble() - fields.at(1).toDouble()) / 1024.0);
            result = QString::fromUtf8(fields.mid(3).join(' '));
        }
        const double medianMs = benchstats::median(ms);
        const double medianGrowth = benchstats::median(growthMB);
        const double ratio = medianGrowth * 1024 * 1024 / double(size);
        const bool met = !ms.empty() && medianMs < kMaxSeconds * 1000 && ratio < kMaxGrowth;
        ok &= met;
        std::printf("%-32s %9.0f ms   peak +%7.1f MB = %5.2f x file   %s%s\n", c.label, medianMs, medianGrowth, ratio,
                    qPrintable(result), met ? "" : "   TARGET MISSED");
        std::fflush(stdout);
        QFile::remove(path);
    }
    std::printf("%s\n", ok ? "big files benchmark: all targets met" : "big files benchmark: TARGET MISSED");
    return ok ? 0 : 1;
}
