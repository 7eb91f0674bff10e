#pragma once

// The shape shared by the bug-report and improvement dialogs: one caption,
// one text box and a Send button that posts the text to the feedback form.
// The two dialogs differ only in their title, caption and report kind.

#include <QDialog>
#include <QPointer>
#include <QUrl>

class QLabel;
class QMessageBox;
class QNetworkAccessManager;
class QNetworkReply;
class QPushButton;
class QTextEdit;

class ReportDialogBase : public QDialog {
    Q_OBJECT

public:
    /// The form's submission endpoint used when none is given.
    static QUrl defaultEndpoint();

    QUrl endpoint() const { return endpoint_; }
    /// A submission that receives nothing for this long is given up and
    /// reported as failed (milliseconds; 0 waits for ever).
    void setStallTimeout(int ms) { stallTimeoutMs_ = ms; }
    int stallTimeout() const { return stallTimeoutMs_; }

    QLabel *captionLabel = nullptr;
    QTextEdit *textBox = nullptr;
    QPushButton *sendButton = nullptr;

public slots:
    /// Shows the Send button only while there is something to send.
    void changeSentence();
    /// Posts the trimmed text; the result is told in a message box.
    void send();

protected:
    ReportDialogBase(const QString &title, const QString &caption, const QString &reportKind,
                     const QUrl &endpoint, QWidget *parent);

private:
    void handleReply(QNetworkReply *reply, QNetworkAccessManager *manager, QPointer<QMessageBox> busyBox);
    void setSending(bool sending);

    const QString reportKind_;
    const QUrl endpoint_;
    int stallTimeoutMs_ = 30000;
};
