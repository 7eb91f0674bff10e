// The Enter Text box holds exactly the text a run types: texts that look like
// HTML are loaded, typed, pasted, shown again and saved as they are, and the
// run types the same characters on the simulated desktop.

#include "gui/mainwindow/tervalo.h"
#include "project/projectfile.h"
#include "support/dialoganswerer.h"
#include "support/simfixture.h"
#include "support/tempsettings.h"
#include "support/windowparts.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QMimeData>
#include <QPushButton>
#include <QTextBlock>
#include <QTextEdit>
#include <QThread>
#include <QtTest>

namespace {
enum class Way { Load, Type, Paste };

// What the run sent as characters, in order.
QString typedText(const platform::SimDesktop &sim)
{
    QString text;
    for (const auto &e : sim.syntheticEvents()) {
        if (e.kind == platform::SimDesktop::Event::CharDown)
            text += QChar(char16_t(e.a));
    }
    return text;
}

// Types like a person: line by line, Return between the lines.
void typeInto(QWidget *box, const QString &text)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        if (i > 0)
            QTest::keyClick(box, Qt::Key_Return);
        QTest::keyClicks(box, lines.at(i));
    }
}

// True when some part of the box's document is drawn bold or italic.
bool formatted(const QTextEdit &box)
{
    for (QTextBlock block = box.document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            if (f.fontWeight() > QFont::Normal || f.fontItalic())
                return true;
        }
    }
    return false;
}
} // namespace

Q_DECLARE_METATYPE(Way)

class TestTextBox : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        settings = std::make_unique<TempSettings>();
        QVERIFY(settings->write("{\"is_used_this\": true}"));
    }
    void init() { fixture = std::make_unique<SimFixture>(); }
    void cleanup() { fixture.reset(); }

    void textStaysExact_data()
    {
        QTest::addColumn<Way>("way");
        QTest::addColumn<QString>("text");
        const QStringList texts{
            "<b>bold</b> x &lt; y", "<br>", "a &amp; b", "<html>\nsecond line", "<p>a</p>", "<div>",
            "<3 is only a heart",
        };
        for (const auto &[way, name] : {std::pair{Way::Load, "load"}, std::pair{Way::Type, "type"},
                                        std::pair{Way::Paste, "paste"}}) {
            for (const QString &text : texts)
                QTest::addRow("%s %s", name, qPrintable(text)) << way << text;
        }
    }
    void textStaysExact()
    {
        QFETCH(Way, way);
        QFETCH(QString, text);
        auto w = std::make_unique<tervalo>();
        w->addNewCommand();
        w->settings().is_message_file = false;
        w->show();
        DialogAnswerer answerer;
        QTemporaryDir dir; // Save As below writes a new file
        QVERIFY(dir.isValid());
        const QString path = dir.filePath("text.cmdat");

        if (way == Way::Load) {
            QVERIFY(ProjectFile::write(path, {{"入力", text, "0.01"}}, {{"時間", "0.1"}}).ok);
            answerer.answerFileDialog(path);
            windowparts::get<QAction>(*w, "openAction")->trigger();
            QCOMPARE(w->project().commands().value(0), (QStringList{"入力", text, "0.01"}));
        } else {
            windowparts::get<QComboBox>(*w, "conditionKindCombo")->setCurrentIndex(1); // 時間
            windowparts::get<QPushButton>(*w, "addConditionButton")->click();
            windowparts::get<QComboBox>(*w, "commandKindCombo")->setCurrentIndex(5); // 入力
            windowparts::get<QPushButton>(*w, "addCommandButton")->click();
            windowparts::get<QDoubleSpinBox>(*w, "commandTimeSpin")->setValue(0.01); // so the run below types at once
            windowparts::get<QTextEdit>(*w, "textEdit")->setFocus();
            if (way == Way::Type) {
                typeInto(windowparts::get<QTextEdit>(*w, "textEdit"), text);
            } else {
                QApplication::clipboard()->setText(text);
                QTest::keyClick(windowparts::get<QTextEdit>(*w, "textEdit"), Qt::Key_V, Qt::ControlModifier);
            }
            QCOMPARE(w->project().commands().value(0).value(1), text);
            windowparts::get<QPushButton>(*w, "copyButton")->click(); // any refresh shows the page again
        }
        QCOMPARE(windowparts::get<QTextEdit>(*w, "textEdit")->toPlainText(), text);
        QVERIFY(!formatted(*windowparts::get<QTextEdit>(*w, "textEdit")));

        // One step of a field in the other panel rewrites every field.
        QTest::keyClick(windowparts::get<QDoubleSpinBox>(*w, "conditionTimeSpin"), Qt::Key_Up);
        QCOMPARE(w->project().conditions().value(0), (QStringList{"時間", "0.2"}));
        QCOMPARE(w->project().commands().value(0), (QStringList{"入力", text, "0.01"}));

        if (way == Way::Load) {
            windowparts::get<QAction>(*w, "saveAction")->trigger();
        } else {
            answerer.answerFileDialog(path);
            windowparts::get<QAction>(*w, "saveAsAction")->trigger();
        }
        QVERIFY(!w->hasUnsavedChanges());
        QCOMPARE(ProjectFile::read(path).commands, (RecordList{{"入力", text, "0.01"}}));

        w->settings().stertTime = 0;
        w->settings().runNumber = 1;
        w->settings().stopCommand = "116,6";
        w->launchRun();
        QTRY_VERIFY_WITH_TIMEOUT(w->isVisible(), 20000);
        QCOMPARE(typedText(*fixture->sim), text);
        QTRY_VERIFY_WITH_TIMEOUT(w->findChildren<QThread *>().isEmpty(), 10000);
    }

    void pastedRichTextKeepsOnlyItsText()
    {
        auto w = std::make_unique<tervalo>();
        w->addNewCommand();
        windowparts::get<QComboBox>(*w, "commandKindCombo")->setCurrentIndex(5);
        windowparts::get<QPushButton>(*w, "addCommandButton")->click();
        auto *mime = new QMimeData;
        mime->setHtml("<p>one <b>two</b> <i>three</i></p>");
        mime->setText("one two three");
        QApplication::clipboard()->setMimeData(mime);
        windowparts::get<QTextEdit>(*w, "textEdit")->setFocus();
        QTest::keyClick(windowparts::get<QTextEdit>(*w, "textEdit"), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(windowparts::get<QTextEdit>(*w, "textEdit")->toPlainText(), QString("one two three"));
        QVERIFY(!formatted(*windowparts::get<QTextEdit>(*w, "textEdit")));
        QCOMPARE(w->project().commands().value(0).value(1), QString("one two three"));
    }

private:
    std::unique_ptr<TempSettings> settings;
    std::unique_ptr<SimFixture> fixture;
};

QTEST_MAIN(TestTextBox)
#include "tst_textbox.moc"
