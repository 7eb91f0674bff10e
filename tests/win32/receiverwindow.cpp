#include "receiverwindow.h"

#include "wineprefix.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>

namespace {
constexpr int kPollMs = 50;
const QString kLog = QStringLiteral("receiver.log");
const QString kRequest = QStringLiteral("request");
} // namespace

ReceiverWindow::ReceiverWindow(const WinePrefix &prefix, QString exe, QString folder, QRect rect)
    : prefix(prefix)
    , exe(std::move(exe))
    , folder(std::move(folder))
    , area(rect)
{
}

ReceiverWindow::~ReceiverWindow()
{
    if (process && process->state() != QProcess::NotRunning) {
        ask(QStringLiteral("quit"), QStringLiteral("never"), 0);
        if (!process->waitForFinished(10000))
            process->kill();
        process->waitForFinished(5000);
    }
}

bool ReceiverWindow::start()
{
    QDir().mkpath(folder);
    QFile::remove(folder + QLatin1Char('/') + kLog);
    QFile::remove(folder + QLatin1Char('/') + kRequest);
    process = prefix.start(exe,
                           {prefix.windowsPath(folder + QLatin1Char('/') + kLog),
                            prefix.windowsPath(folder + QLatin1Char('/') + kRequest), QString::number(area.x()),
                            QString::number(area.y()), QString::number(area.width()),
                            QString::number(area.height())},
                           folder);
    return waitUntil([](const QStringList &l) { return !l.isEmpty() && l.first().startsWith(QLatin1String("ready")); },
                     120000);
}

QStringList ReceiverWindow::lines() const
{
    QFile file(folder + QLatin1Char('/') + kLog);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList all = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return all.mid(skipped);
}

QStringList ReceiverWindow::linesStarting(const QString &prefixWord) const
{
    QStringList out;
    for (const QString &line : lines()) {
        if (line.startsWith(prefixWord + QLatin1Char(' ')) || line == prefixWord)
            out << line;
    }
    return out;
}

bool ReceiverWindow::waitUntil(const std::function<bool(const QStringList &)> &done, int ms) const
{
    QDeadlineTimer deadline(ms);
    while (!done(lines())) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(kPollMs);
    }
    return true;
}

QString ReceiverWindow::ask(const QString &request, const QString &answerWord, int ms) const
{
    const int before = lines().size();
    const QString path = folder + QLatin1Char('/') + kRequest;
    QFile part(path + QStringLiteral(".part"));
    if (!part.open(QIODevice::WriteOnly))
        return {};
    part.write(request.toUtf8());
    part.close();
    QFile::remove(path);
    QFile::rename(part.fileName(), path);

    QString answer;
    waitUntil(
        [&](const QStringList &l) {
            for (int i = before; i < l.size(); ++i) {
                if (l[i] == answerWord || l[i].startsWith(answerWord + QLatin1Char(' '))) {
                    answer = l[i];
                    return true;
                }
            }
            return false;
        },
        ms);
    return answer;
}

void ReceiverWindow::forget()
{
    skipped += lines().size();
}
