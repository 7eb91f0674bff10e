#include "gui/dialogs/termdialog.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QtTest>

class TestTermDialog : public QObject {
    Q_OBJECT
private slots:
    void heading_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::addColumn<QString>("heading");
        QTest::newRow("licence") << "licenses/LGPLv3のライセンス文章.txt" << "LGPLv3のライセンス文章";
        QTest::newRow("two dots") << "licenses/notice.v2.txt" << "notice";
        QTest::newRow("no suffix") << "licenses/README" << "README";
        QTest::newRow("dotted folder") << "lic.d/規約.txt" << "規約";
    }
    void heading()
    {
        QFETCH(QString, relative);
        QFETCH(QString, heading);
        TermDialog dialog(dir.filePath(relative));
        QCOMPARE(dialog.heading, heading);
        QCOMPARE(dialog.headingLabel->text(), heading);
        QCOMPARE(dialog.windowTitle(), QString("Tervalo Free"));
        QCOMPARE(dialog.headingLabel->alignment(), Qt::AlignCenter);
    }

    void showsUtf8TextReadOnly_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("japanese lines") << QByteArray("第1条（目的）\nこのソフトウェアは…\n")
                                        << QString("第1条（目的）\nこのソフトウェアは…\n");
        QTest::newRow("windows line ends") << QByteArray("一行目\r\n二行目\r\n") << QString("一行目\n二行目\n");
        QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBF" "告知") << QString("告知");
        QTest::newRow("empty file") << QByteArray() << QString();
    }
    void showsUtf8TextReadOnly()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, shown);
        const QString path = dir.filePath("doc.txt");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        file.close();

        TermDialog dialog(path);
        dialog.show();
        const QString expected = shown;
        QCOMPARE(dialog.textView->toPlainText(), expected);
        QVERIFY(dialog.textView->isReadOnly());
        QCOMPARE(dialog.textView->cursorWidth(), 0);

        // Typing changes nothing.
        dialog.textView->setFocus();
        QTest::keyClicks(dialog.textView, "abc");
        QTest::keyClick(dialog.textView, Qt::Key_Backspace);
        QCOMPARE(dialog.textView->toPlainText(), expected);
    }

    void missingFileGivesEmptyView()
    {
        TermDialog dialog(dir.filePath("licenses/ない文書.txt"));
        QCOMPARE(dialog.heading, QString("ない文書"));
        QVERIFY(dialog.textView->toPlainText().isEmpty());
        QVERIFY(dialog.textView->isReadOnly());
    }

    void shippedDocumentsAreReadable_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("mustContain");
        QTest::newRow("terms") << "ソフトウェア使用許諾契約書" << "Tervalo Free";
        QTest::newRow("open-source notice") << "オープンソースソフトウェアに関する告知" << "LGPL";
        QTest::newRow("qt replacement") << "Qtライブラリの差替え又は再インストールに関する情報" << "Qt";
        QTest::newRow("lgpl") << "LGPLv3のライセンス文章" << "GNU LESSER GENERAL PUBLIC LICENSE";
    }
    void shippedDocumentsAreReadable()
    {
        // Tests run beside the program, where the build copies the documents.
        QFETCH(QString, name);
        QFETCH(QString, mustContain);
        TermDialog dialog(QCoreApplication::applicationDirPath() + "/licenses/" + name + ".txt");
        QCOMPARE(dialog.heading, name);
        const QString text = dialog.textView->toPlainText();
        QVERIFY2(text.contains(mustContain), qPrintable(name));
        QVERIFY(!text.contains(QChar::ReplacementCharacter));
    }

private:
    QTemporaryDir dir;
};

QTEST_MAIN(TestTermDialog)
#include "tst_termdialog.moc"
