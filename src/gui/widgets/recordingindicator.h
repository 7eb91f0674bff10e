#pragma once

// What shows while the window is hidden for a recording: that it waits for
// its start or records, and how to end it. Where the desktop has a system
// tray, an icon there (a click on it ends the recording, as a run's icon
// ends a run); elsewhere a small label in the top right corner of the
// screen, above every window, that takes no input at all: clicks go to
// whatever lies below it, so it never comes into the recording.

#include <QObject>
#include <QString>

#include <memory>

class QLabel;
class QSystemTrayIcon;

class RecordingIndicator : public QObject {
    Q_OBJECT
public:
    /// Shows the waiting state at once. `stopCommand` is the key-combination
    /// code that ends the recording.
    RecordingIndicator(const QString &stopCommand, bool japanese, QObject *parent = nullptr);
    ~RecordingIndicator() override;

    /// The start delay is over: the texts say that it records.
    void setRecording();

    /// The tray icon, or null where there is no tray.
    QSystemTrayIcon *trayIcon() const { return tray_; }
    /// The corner label, or null where there is a tray.
    QLabel *notice() const { return notice_.get(); }

signals:
    /// A click on the tray icon.
    void stopRequested();

private:
    void setTexts();

    QString stopLabel_;
    bool japanese_ = true;
    bool recording_ = false;
    QSystemTrayIcon *tray_ = nullptr;
    std::unique_ptr<QLabel> notice_;
};
