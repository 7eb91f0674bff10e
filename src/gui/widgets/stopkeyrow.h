#pragma once

// The exit-command row of the run and record settings: the command's label,
// a Change button and, while a new combination is being pressed, a prompt.
// Change captures the keyboard (the keys reach no window) until a
// combination is pressed; pressing Change again cancels and keeps the old
// command. The row owns the keyboard hook and lets it go with the dialog.

#include "record/keycapture.h"

#include <QObject>
#include <QRect>
#include <QString>

class QLabel;
class QPushButton;
class QTimer;
class QWidget;

class StopKeyRow : public QObject {
    Q_OBJECT
public:
    struct Place {
        QRect label;
        QRect change;
        QRect prompt;
        /// The run settings hide Change while capturing (only a combination
        /// ends it there); the record settings keep it as the cancel.
        bool changeHiddenWhileCapturing = false;
    };

    StopKeyRow(QWidget *dialog, QString command, bool japanese, const Place &place);
    ~StopKeyRow() override;

    QString command() const { return command_; }
    bool capturing() const { return capturing_; }
    /// Change: starts capturing a new combination, or cancels one.
    void changePressed();
    /// Every 50 ms while capturing: takes a captured combination.
    void poll();
    /// Ends a capture and removes the keyboard hook (the dialog is closing).
    void release();
    const KeyCapture &keyCapture() const { return capture_; }

    QLabel *const label;
    QPushButton *const changeButton;
    QLabel *const prompt;
    QTimer *const pollTimer;

signals:
    void capturingChanged(bool capturing);
    void commandChanged(const QString &command);

private:
    void setCapturing(bool capturing);
    void showCommand();

    QString command_;
    bool changeHiddenWhileCapturing_ = false;
    bool capturing_ = false;
    KeyCapture capture_;
};
