#pragma once

// Answers the program's modal message boxes and file dialogs in tests, in the
// order they come up, and remembers what each one showed.

#include <QFileDialog>
#include <QMessageBox>
#include <QObject>
#include <QQueue>
#include <QString>
#include <QStringList>
#include <QTimer>

class DialogAnswerer : public QObject {
    Q_OBJECT
public:
    /// What one answered dialog showed.
    struct Seen {
        bool fileDialog = false;
        QString title;         ///< window title (caption of a file dialog)
        QString text;          ///< message text
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
        QMessageBox::StandardButtons buttons;
        QString directory;     ///< file dialog's start directory
        QString fileName;      ///< file dialog's file name field as it opened
        QStringList nameFilters;
        QFileDialog::AcceptMode acceptMode = QFileDialog::AcceptOpen;
    };

    explicit DialogAnswerer(QObject *parent = nullptr);
    ~DialogAnswerer() override;

    /// Queues an answer for the next message box: the button to press.
    void answerMessageBox(QMessageBox::StandardButton button);
    /// Queues an answer for the next file dialog: the file to choose, or an
    /// empty text to cancel.
    void answerFileDialog(const QString &path);
    /// Closes the next message box with Escape-like rejection (the window's close).
    void closeMessageBox();

    /// When true, message boxes without buttons (progress notices that the
    /// program closes itself) are left alone instead of being answered.
    bool skipButtonlessBoxes = false;

    /// Dialogs answered so far.
    QList<Seen> seen;
    /// Answers still waiting for their dialog.
    int pending() const { return int(answers_.size()); }

private slots:
    void poll();

private:
    struct Answer {
        enum Kind { Button, File, Close } kind;
        QMessageBox::StandardButton button = QMessageBox::NoButton;
        QString path;
    };
    QQueue<Answer> answers_;
    QTimer timer_;
};
