#include "gui/dialogs/reportdialog.h"
#include "gui/dialogs/reportdialog2.h"
#include "support/dialoganswerer.h"

#include <QLabel>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextEdit>
#include <QtTest>

#include <memory>

namespace {

// A form endpoint on 127.0.0.1 that records each request and answers with a
// fixed status line (or not at all when `answer` is empty).
class FormServer : public QObject {
public:
    struct Request {
        QByteArray head;
        QByteArray body;
    };

    FormServer()
    {
        QVERIFY(server.listen(QHostAddress::LocalHost));
        connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = server.nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        });
    }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/forms/d/e/x/formResponse").arg(server.serverPort())); }

    QByteArray answer = "200 OK";
    QList<Request> requests;

private:
    void read(QTcpSocket *socket)
    {
        QByteArray &buffer = buffers[socket];
        buffer += socket->readAll();
        const int end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QByteArray head = buffer.left(end);
        qsizetype length = 0;
        for (const QByteArray &line : head.split('\n')) {
            if (line.toLower().startsWith("content-length:"))
                length = line.mid(15).trimmed().toLongLong();
        }
        if (buffer.size() < end + 4 + length)
            return;
        requests.append({head, buffer.mid(end + 4, length)});
        buffers.remove(socket);
        if (answer.isEmpty())
            return;
        const QByteArray reply = "thanks";
        socket->write("HTTP/1.1 " + answer + "\r\nContent-Type: text/html\r\nContent-Length: "
                      + QByteArray::number(reply.size()) + "\r\nConnection: close\r\n\r\n" + reply);
        socket->disconnectFromHost();
    }

    QTcpServer server;
    QHash<QTcpSocket *, QByteArray> buffers;
};

// A port on which nothing listens: bound once, then released.
QUrl refusedUrl()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const quint16 port = probe.serverPort();
    probe.close();
    return QUrl(QStringLiteral("http://127.0.0.1:%1/formResponse").arg(port));
}

std::unique_ptr<ReportDialogBase> makeDialog(bool improvement, const QUrl &url)
{
    if (improvement)
        return std::make_unique<ReportDialog2>(nullptr, url);
    return std::make_unique<ReportDialog>(nullptr, url);
}

const QByteArray kAppPair = "entry.793209462=Tervalo";
const QByteArray kBugKind =
    "entry.1326656262=%E3%82%BD%E3%83%95%E3%83%88%E3%81%8B%E3%82%89%E3%81%AE%E3%83%90%E3%82%B0%E5%A0%B1%E5%91%8A";
const QByteArray kImprovementKind = "entry.1326656262=%E3%82%BD%E3%83%95%E3%83%88%E3%81%8B%E3%82%89%E3%81%AE"
                                    "%E6%94%B9%E5%96%84%E6%A1%88%E5%A0%B1%E5%91%8A";

} // namespace

class TestReportDialog : public QObject {
    Q_OBJECT
private slots:
    void layout_data()
    {
        QTest::addColumn<bool>("improvement");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("caption");
        QTest::newRow("bug") << false << "バグ報告" << "バグ:";
        QTest::newRow("improvement") << true << "改善案報告" << "改善案:";
    }
    void layout()
    {
        QFETCH(bool, improvement);
        QFETCH(QString, title);
        QFETCH(QString, caption);
        auto dialog = makeDialog(improvement, refusedUrl());
        dialog->show();
        QCOMPARE(dialog->windowTitle(), title);
        QCOMPARE(dialog->captionLabel->text(), caption);
        QCOMPARE(dialog->size(), QSize(300, 320));
        QVERIFY(dialog->textBox->toPlainText().isEmpty());
        QVERIFY(!dialog->sendButton->isVisible());
        QCOMPARE(dialog->sendButton->text(), QString("送信"));
        // The three controls lie one below the other without overlapping.
        QVERIFY(dialog->captionLabel->geometry().bottom() < dialog->textBox->geometry().top());
        QVERIFY(dialog->textBox->geometry().bottom() < dialog->sendButton->geometry().top());
        QVERIFY(dialog->rect().contains(dialog->sendButton->geometry()));
    }

    void defaultEndpointIsTheFormSubmission()
    {
        ReportDialog bug;
        ReportDialog2 improvement;
        QCOMPARE(bug.endpoint(), improvement.endpoint());
        QVERIFY(bug.endpoint().path().endsWith("/formResponse"));
        QCOMPARE(bug.endpoint().scheme(), QString("https"));
    }

    void sendButtonFollowsText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("shown");
        QTest::newRow("empty") << "" << false;
        QTest::newRow("space") << " " << false;
        QTest::newRow("blanks and breaks") << " \n\t \n" << false;
        QTest::newRow("full-width space") << "\u3000" << false;
        QTest::newRow("letter") << "a" << true;
        QTest::newRow("letter among blanks") << "  \n x \n" << true;
    }
    void sendButtonFollowsText()
    {
        QFETCH(QString, text);
        QFETCH(bool, shown);
        ReportDialog dialog(nullptr, refusedUrl());
        dialog.show();
        dialog.textBox->setPlainText("something");
        QVERIFY(dialog.sendButton->isVisible());
        dialog.textBox->setPlainText(text);
        QCOMPARE(dialog.sendButton->isVisible(), shown);
    }

    void blankTextIsNotSent()
    {
        FormServer server;
        ReportDialog dialog(nullptr, server.url());
        dialog.show();
        dialog.textBox->setPlainText(" \n ");
        DialogAnswerer answerer;
        answerer.answerMessageBox(QMessageBox::Ok);
        dialog.send();
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen[0].title, QString("確認"));
        QCOMPARE(answerer.seen[0].text, QString("内容を入力してください。"));
        QCOMPARE(answerer.seen[0].icon, QMessageBox::Warning);
        QTest::qWait(50);
        QVERIFY(server.requests.isEmpty());
        QVERIFY(dialog.textBox->isEnabled());
    }

    void postedBody_data()
    {
        QTest::addColumn<bool>("improvement");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("textPair");
        QTest::newRow("japanese") << false << "日本語のテスト"
                                  << QByteArray("entry.1751682220=%E6%97%A5%E6%9C%AC%E8%AA%9E%E3%81%AE%E3%83%86%E3%82%B9%E3%83%88");
        QTest::newRow("space, plus, ampersand, equals") << true << "a b+c&d=e"
                                                        << QByteArray("entry.1751682220=a%20b%2Bc%26d%3De");
        QTest::newRow("trimmed at both ends") << true << " \n\t 改行\nあり \n "
                                              << QByteArray("entry.1751682220=%E6%94%B9%E8%A1%8C%0A%E3%81%82%E3%82%8A");
    }
    void postedBody()
    {
        QFETCH(bool, improvement);
        QFETCH(QString, typed);
        QFETCH(QByteArray, textPair);
        FormServer server;
        auto dialog = makeDialog(improvement, server.url());
        dialog->show();
        dialog->textBox->setPlainText(typed);
        DialogAnswerer answerer;
        answerer.skipButtonlessBoxes = true;
        answerer.answerMessageBox(QMessageBox::Ok);
        QTest::mouseClick(dialog->sendButton, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(server.requests.size(), 1, 10000);
        const auto request = server.requests.first();
        QVERIFY(request.head.startsWith("POST /forms/d/e/x/formResponse HTTP/1.1\r\n"));
        QVERIFY(request.head.toLower().contains("\r\ncontent-type: application/x-www-form-urlencoded\r\n"));
        QCOMPARE(request.body, kAppPair + '&' + textPair + '&' + (improvement ? kImprovementKind : kBugKind));
        QTRY_VERIFY_WITH_TIMEOUT(!dialog->isVisible(), 10000);
    }

    void replyRules_data()
    {
        QTest::addColumn<QByteArray>("answer"); // empty: nothing listens
        QTest::addColumn<bool>("success");
        QTest::newRow("200") << QByteArray("200 OK") << true;
        QTest::newRow("204") << QByteArray("204 No Content") << true;
        QTest::newRow("404") << QByteArray("404 Not Found") << false;
        QTest::newRow("500") << QByteArray("500 Internal Server Error") << false;
        QTest::newRow("refused") << QByteArray() << false;
    }
    void replyRules()
    {
        QFETCH(QByteArray, answer);
        QFETCH(bool, success);
        FormServer server;
        server.answer = answer;
        ReportDialog dialog(nullptr, answer.isEmpty() ? refusedUrl() : server.url());
        QSignalSpy accepted(&dialog, &QDialog::accepted);
        dialog.show();
        const QString typed = QStringLiteral("落ちました + 再現手順");
        dialog.textBox->setPlainText(typed);
        DialogAnswerer answerer;
        answerer.skipButtonlessBoxes = true;
        answerer.answerMessageBox(QMessageBox::Ok);
        dialog.send();

        // While the form answers, the user sees the busy box and cannot edit.
        auto *busy = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(busy);
        QCOMPARE(busy->windowTitle(), QString("送信中..."));
        QCOMPARE(busy->text(), QString("しばらくお待ちください..."));
        QCOMPARE(busy->icon(), QMessageBox::Information);
        QVERIFY(busy->buttons().isEmpty());
        QVERIFY(!dialog.textBox->isEnabled());
        QVERIFY(!dialog.sendButton->isEnabled());
        QPointer<QMessageBox> busyGuard(busy);

        QTRY_COMPARE_WITH_TIMEOUT(answerer.seen.size(), 1, 10000);
        const auto seen = answerer.seen.first();
        if (success) {
            QCOMPARE(seen.title, QString("送信完了"));
            QCOMPARE(seen.text, QString("レポートを送信しました。\nありがとうございました。"));
            QCOMPARE(seen.icon, QMessageBox::Information);
            QCOMPARE(accepted.size(), 1);
            QVERIFY(!dialog.isVisible());
        } else {
            QCOMPARE(seen.title, QString("送信エラー"));
            QVERIFY2(seen.text.startsWith("フォームの送信に失敗しました:\n"), qPrintable(seen.text));
            QVERIFY(seen.text.size() > QString("フォームの送信に失敗しました:\n").size());
            QCOMPARE(seen.icon, QMessageBox::Critical);
            QCOMPARE(accepted.size(), 0);
            QVERIFY(dialog.isVisible());
            QCOMPARE(dialog.textBox->toPlainText(), typed);
        }
        QVERIFY(dialog.textBox->isEnabled());
        QVERIFY(dialog.sendButton->isEnabled());
        QTRY_VERIFY(busyGuard.isNull());
        QCOMPARE(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }

    void failedSendCanBeRepeated()
    {
        FormServer server;
        server.answer = "500 Internal Server Error";
        ReportDialog dialog(nullptr, server.url());
        dialog.show();
        dialog.textBox->setPlainText("again");
        DialogAnswerer answerer;
        answerer.skipButtonlessBoxes = true;
        answerer.answerMessageBox(QMessageBox::Ok);
        answerer.answerMessageBox(QMessageBox::Ok);
        dialog.send();
        QTRY_COMPARE_WITH_TIMEOUT(answerer.seen.size(), 1, 10000);
        server.answer = "200 OK";
        QTest::mouseClick(dialog.sendButton, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(answerer.seen.size(), 2, 10000);
        QCOMPARE(answerer.seen[1].title, QString("送信完了"));
        QCOMPARE(server.requests.size(), 2);
        QCOMPARE(server.requests[0].body, server.requests[1].body);
        QVERIFY(!dialog.isVisible());
    }

    void silentServerGivesUp()
    {
        FormServer server;
        server.answer.clear();
        ReportDialog dialog(nullptr, server.url());
        dialog.setStallTimeout(300);
        dialog.show();
        dialog.textBox->setPlainText("is anyone there?");
        DialogAnswerer answerer;
        answerer.skipButtonlessBoxes = true;
        answerer.answerMessageBox(QMessageBox::Ok);
        dialog.send();
        QTRY_COMPARE_WITH_TIMEOUT(answerer.seen.size(), 1, 15000);
        QCOMPARE(server.requests.size(), 1);
        QCOMPARE(answerer.seen[0].title, QString("送信エラー"));
        QCOMPARE(dialog.textBox->toPlainText(), QString("is anyone there?"));
        QVERIFY(dialog.textBox->isEnabled());
    }

    void closingWhileSendingDropsTheReply()
    {
        FormServer server;
        server.answer.clear();
        auto dialog = std::make_unique<ReportDialog>(nullptr, server.url());
        dialog->show();
        dialog->textBox->setPlainText("bye");
        dialog->send();
        QTRY_COMPARE_WITH_TIMEOUT(server.requests.size(), 1, 10000);
        DialogAnswerer answerer;
        answerer.answerMessageBox(QMessageBox::Ok);
        dialog.reset();
        QTest::qWait(200);
        // No result box comes up for a dialog that is gone.
        QVERIFY(answerer.seen.isEmpty());
        QCOMPARE(answerer.pending(), 1);
        QVERIFY(!QApplication::activeModalWidget());
    }
};

QTEST_MAIN(TestReportDialog)
#include "tst_reportdialog.moc"
