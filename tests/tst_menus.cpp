// The menu entries that live in the interface shell: browser links, the
// version box, the document viewer and the report dialogs they open.

#include "gui/dialogs/reportdialog.h"
#include "gui/dialogs/reportdialog2.h"
#include "gui/dialogs/termdialog.h"
#include "gui/mainwindow/tervalo.h"
#include "gui/widgets/urlopener.h"
#include "support/dialoganswerer.h"
#include "support/simfixture.h"
#include "support/tempsettings.h"
#include "support/windowparts.h"

#include <QAction>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QtTest>

#include <memory>

namespace {

// Runs `look` on the next modal dialog of type T once it is up, then rejects it.
template<typename T>
void whenModal(std::function<void(T *)> look)
{
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, look] {
        if (auto *dialog = qobject_cast<T *>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            look(dialog);
            dialog->reject();
        }
    });
    timer->start();
}

} // namespace

class TestMenus : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        settings = std::make_unique<TempSettings>();
        QVERIFY(settings->write("{\"is_used_this\": true}"));
    }
    void init()
    {
        opened.clear();
        UrlOpener::setOpener([this](const QUrl &url) {
            opened << url;
            return true;
        });
    }
    void cleanup() { UrlOpener::setOpener({}); }

    void browserLink_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("japanese");
        QTest::addColumn<int>("answer"); // 0: the box is closed
        QTest::addColumn<QString>("query");
        QTest::newRow("reply, ja, yes") << "needReplyAction" << true << int(QMessageBox::Yes) << "usp=header";
        QTest::newRow("reply, en, yes") << "needReplyAction" << false << int(QMessageBox::Yes) << "usp=header";
        QTest::newRow("reply, ja, no") << "needReplyAction" << true << int(QMessageBox::No) << "";
        QTest::newRow("reply, en, closed") << "needReplyAction" << false << 0 << "";
        QTest::newRow("question, ja, yes") << "askHowToUseAction" << true << int(QMessageBox::Yes) << "usp=publish-editor";
        QTest::newRow("question, en, no") << "askHowToUseAction" << false << int(QMessageBox::No) << "";
        QTest::newRow("question, ja, closed") << "askHowToUseAction" << true << 0 << "";
    }
    void browserLink()
    {
        QFETCH(QString, action);
        QFETCH(bool, japanese);
        QFETCH(int, answer);
        QFETCH(QString, query);
        tervalo w;
        if (!japanese)
            windowparts::get<QPushButton>(w, "languageButton")->click();
        windowparts::get<QPushButton>(w, "newProjectButton")->click();
        DialogAnswerer answerer;
        if (answer)
            answerer.answerMessageBox(QMessageBox::StandardButton(answer));
        else
            answerer.closeMessageBox();
        qobject_cast<QAction *>(windowparts::find(w, action))->trigger();
        QCOMPARE(answerer.seen.size(), 1);
        const auto seen = answerer.seen.first();
        QCOMPARE(seen.title, japanese ? QString("確認") : QString("Question"));
        QCOMPARE(seen.text, japanese ? QString("ブラウザを起動します。\n続行しますか？")
                                     : QString("Launching your browser.\nDo you want to continue?"));
        QCOMPARE(seen.icon, QMessageBox::Question);
        QCOMPARE(seen.buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(seen.defaultButton, QMessageBox::No);
        if (query.isEmpty()) {
            QVERIFY(opened.isEmpty());
            return;
        }
        QCOMPARE(opened.size(), 1);
        QCOMPARE(opened[0].scheme(), QString("https"));
        QVERIFY(opened[0].path().endsWith("/viewform"));
        QCOMPARE(opened[0].query(), query);
    }

    void replyPageIsTheReportForm()
    {
        // "Need a Reply" opens the public page of the form the reports post to.
        tervalo w;
        windowparts::get<QPushButton>(w, "newProjectButton")->click();
        DialogAnswerer answerer;
        answerer.answerMessageBox(QMessageBox::Yes);
        windowparts::get<QAction>(w, "needReplyAction")->trigger();
        QCOMPARE(opened.size(), 1);
        const QString submit = ReportDialog().endpoint().toString();
        QCOMPARE(opened[0].toString(QUrl::RemoveQuery).section('/', 0, -2), submit.section('/', 0, -2));
    }

    void versionBox_data()
    {
        QTest::addColumn<bool>("japanese");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::newRow("ja") << true << "情報" << "バージョン：1.5\n時間：2026年7月19日17時13分";
        QTest::newRow("en") << false << "Information" << "Version:1.5\nTime:July 19, 2026 17:13";
    }
    void versionBox()
    {
        QFETCH(bool, japanese);
        QFETCH(QString, title);
        QFETCH(QString, text);
        tervalo w;
        if (!japanese)
            windowparts::get<QPushButton>(w, "languageButton")->click();
        windowparts::get<QPushButton>(w, "newProjectButton")->click();
        DialogAnswerer answerer;
        answerer.answerMessageBox(QMessageBox::Ok);
        windowparts::get<QAction>(w, "versionAction")->trigger();
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen[0].title, title);
        QCOMPARE(answerer.seen[0].text, text);
        QCOMPARE(answerer.seen[0].icon, QMessageBox::Information);
        QCOMPARE(answerer.seen[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }

    void documents_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("file");
        QTest::newRow("terms") << "termsAction" << "ソフトウェア使用許諾契約書.txt";
        QTest::newRow("notice") << "ossNoticeAction" << "オープンソースソフトウェアに関する告知.txt";
        QTest::newRow("qt") << "qtReplaceAction" << "Qtライブラリの差替え又は再インストールに関する情報.txt";
        QTest::newRow("lgpl") << "lgplAction" << "LGPLv3のライセンス文章.txt";
    }
    void documents()
    {
        QFETCH(QString, action);
        QFETCH(QString, file);
        tervalo w;
        windowparts::get<QPushButton>(w, "newProjectButton")->click();
        QString path, heading, text;
        QWidget *parent = nullptr;
        whenModal<TermDialog>([&](TermDialog *dialog) {
            path = dialog->filePath;
            heading = dialog->headingLabel->text();
            text = dialog->textView->toPlainText();
            parent = dialog->parentWidget();
        });
        qobject_cast<QAction *>(windowparts::find(w, action))->trigger();
        QCOMPARE(path, QCoreApplication::applicationDirPath() + "/licenses/" + file);
        QCOMPARE(heading, file.section('.', 0, 0));
        QVERIFY(text.size() > 200);
        QCOMPARE(parent, &w);
        QVERIFY(w.findChildren<TermDialog *>().isEmpty()); // destroyed on return
    }

    void reportEntries_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("title");
        QTest::newRow("bug") << "reportBugAction" << "バグ報告";
        QTest::newRow("improvement") << "reportImprovementAction" << "改善案報告";
    }
    void reportEntries()
    {
        // The report dialogs keep their Japanese texts in English mode.
        QFETCH(QString, action);
        QFETCH(QString, title);
        tervalo w;
        windowparts::get<QPushButton>(w, "languageButton")->click();
        windowparts::get<QPushButton>(w, "newProjectButton")->click();
        QString seenTitle;
        bool sendShown = true;
        QWidget *parent = nullptr;
        whenModal<QDialog>([&](QDialog *dialog) {
            seenTitle = dialog->windowTitle();
            parent = dialog->parentWidget();
            if (auto *report = qobject_cast<ReportDialogBase *>(dialog))
                sendShown = report->sendButton->isVisible();
        });
        qobject_cast<QAction *>(windowparts::find(w, action))->trigger();
        QCOMPARE(seenTitle, title);
        QCOMPARE(parent, &w);
        QVERIFY(!sendShown);
        QVERIFY(w.findChildren<ReportDialogBase *>().isEmpty());
    }

private:
    QList<QUrl> opened;
    std::unique_ptr<TempSettings> settings;
    SimFixture sim;
};

QTEST_MAIN(TestMenus)
#include "tst_menus.moc"
