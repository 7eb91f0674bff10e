#include "gui/dialogs/reportdialogbase.h"

#include "gui/dialogs/formbody.h"
#include "gui/widgets/formurls.h"
#include "gui/widgets/messagebox.h"
#include "gui/widgets/textfit.h"

#include <QDebug>
#include <QLabel>
#include <QMessageBox>
#include <QMetaEnum>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPushButton>
#include <QTextEdit>

namespace {
const QString kAppNameKey = QStringLiteral("entry.793209462");
const QString kAppName = QStringLiteral("Tervalo");
const QString kTextKey = QStringLiteral("entry.1751682220");
const QString kKindKey = QStringLiteral("entry.1326656262");
} // namespace

QUrl ReportDialogBase::defaultEndpoint()
{
    return QUrl(formurls::kFeedbackSubmit);
}

ReportDialogBase::ReportDialogBase(const QString &title, const QString &caption, const QString &reportKind,
                                   const QUrl &endpoint, QWidget *parent)
    : QDialog(parent)
    , reportKind_(reportKind)
    , endpoint_(endpoint)
{
    setWindowTitle(title);
    resize(300, 320);

    captionLabel = new QLabel(caption, this);
    captionLabel->move(10, 0);
    captionLabel->setFixedSize(280, 24);
    captionLabel->setStyleSheet(QStringLiteral("font-size: 24px;"));

    textBox = new QTextEdit(this);
    textBox->move(10, 40);
    textBox->setFixedSize(280, 200);
    textBox->setStyleSheet(QStringLiteral("font-size: 24px;"));
    // Reports are plain text: pasted formatting would be lost anyway.
    textBox->setAcceptRichText(false);
    connect(textBox, &QTextEdit::textChanged, this, &ReportDialogBase::changeSentence);

    sendButton = new QPushButton(QStringLiteral("送信"), this);
    sendButton->move(10, 250);
    sendButton->setFixedSize(280, 60);
    sendButton->setStyleSheet(QStringLiteral("font-size:30px;"));
    sendButton->hide();
    connect(sendButton, &QPushButton::clicked, this, &ReportDialogBase::send);
    TextFit::fitAll(this);
}

void ReportDialogBase::changeSentence()
{
    sendButton->setVisible(!textBox->toPlainText().trimmed().isEmpty());
}

void ReportDialogBase::setSending(bool sending)
{
    sendButton->setEnabled(!sending);
    textBox->setEnabled(!sending);
}

void ReportDialogBase::send()
{
    const QString text = textBox->toPlainText().trimmed();
    if (text.isEmpty()) {
        messagebox::tell(this, QMessageBox::Warning, QStringLiteral("確認"), QStringLiteral("内容を入力してください。"));
        return;
    }
    setSending(true);

    // Modal and without buttons, so the same text cannot be sent twice while
    // the form is answering.
    auto *busy = new QMessageBox(this);
    busy->setWindowTitle(QStringLiteral("送信中..."));
    busy->setText(QStringLiteral("しばらくお待ちください..."));
    busy->setIcon(QMessageBox::Information);
    busy->setStandardButtons(QMessageBox::NoButton);
    busy->setModal(true);
    busy->setAttribute(Qt::WA_DeleteOnClose);
    busy->show();
    QPointer<QMessageBox> busyBox(busy);

    const QByteArray body = FormBody::encode({
        {kAppNameKey, kAppName},
        {kTextKey, text},
        {kKindKey, reportKind_},
    });
    qDebug().noquote() << "Sending POST request to:" << endpoint_.toString();
    qDebug().noquote() << "POST body:" << QString::fromUtf8(body);

    // One manager per submission, owned by the dialog: closing the dialog
    // drops a pending request with it.
    auto *manager = new QNetworkAccessManager(this);
    QNetworkRequest request(endpoint_);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
    // Without a limit a server that never answers would leave the user
    // behind a box that cannot be closed.
    request.setTransferTimeout(stallTimeoutMs_);
    QNetworkReply *reply = manager->post(request, body);
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, manager, busyBox] { handleReply(reply, manager, busyBox); });
}

void ReportDialogBase::handleReply(QNetworkReply *reply, QNetworkAccessManager *manager,
                                   QPointer<QMessageBox> busyBox)
{
    const QNetworkReply::NetworkError error = reply->error();
    const QString errorText = reply->errorString();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // An aborted reply is closed; reading it would only log a warning.
    const QByteArray response = reply->isOpen() ? reply->readAll() : QByteArray();

    qDebug() << "HTTP status:" << status;
    qDebug().noquote() << "Network error:" << QMetaEnum::fromType<QNetworkReply::NetworkError>().valueToKey(error)
                       << errorText;
    qDebug() << "Response body(head):" << response.left(500);

    reply->deleteLater();
    manager->deleteLater();
    setSending(false);
    if (busyBox) {
        busyBox->hide();
        busyBox->deleteLater();
    }

    const bool ok = error == QNetworkReply::NoError && (status == 0 || (status >= 200 && status <= 399));
    if (ok) {
        messagebox::tell(this, QMessageBox::Information, QStringLiteral("送信完了"),
                         QStringLiteral("レポートを送信しました。\nありがとうございました。"));
        accept();
    } else {
        messagebox::tell(this, QMessageBox::Critical, QStringLiteral("送信エラー"),
                         QStringLiteral("フォームの送信に失敗しました:\n%1").arg(errorText));
    }
}
