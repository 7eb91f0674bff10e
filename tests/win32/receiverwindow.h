#pragma once

// Our Win32 receiver (receiver.cpp) running under Wine: a frameless window
// at a known place that writes down every input message it gets, and
// answers requests for GetCursorPos and GetAsyncKeyState.

#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QProcess;
class WinePrefix;

class ReceiverWindow
{
public:
    /// `folder` holds the log and the request file.
    ReceiverWindow(const WinePrefix &prefix, QString exe, QString folder, QRect rect);
    ~ReceiverWindow();

    /// Starts it and waits for its "ready" line.
    bool start();
    QRect rect() const { return area; }
    QPoint centre() const { return area.center(); }

    /// Every line written so far.
    QStringList lines() const;
    /// The lines that start with `prefix` followed by a space.
    QStringList linesStarting(const QString &prefix) const;
    /// Waits until `done` holds for the lines; false after `ms`.
    bool waitUntil(const std::function<bool(const QStringList &)> &done, int ms) const;
    /// Sends a request and returns the first line written after it that
    /// starts with `answerWord`; empty after `ms` without an answer.
    QString ask(const QString &request, const QString &answerWord, int ms = 20000) const;
    /// Drops what was logged so far (lines() starts again empty).
    void forget();

private:
    const WinePrefix &prefix;
    QString exe;
    QString folder;
    QRect area;
    std::unique_ptr<QProcess> process;
    int skipped = 0;
};
