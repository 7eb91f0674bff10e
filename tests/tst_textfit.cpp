// Texts that do not fit the fixed geometry of their control get a smaller
// font, never below 9 pt; texts that fit keep the designed one. The walk
// looks at every visible control of the main window, the run settings
// dialog and the report dialogs, in both languages.

#include "gui/dialogs/recorddialog.h"
#include "gui/dialogs/reportdialog.h"
#include "gui/dialogs/reportdialog2.h"
#include "gui/dialogs/rundialog.h"
#include "gui/mainwindow/tervalo.h"
#include "gui/widgets/textfit.h"
#include "support/simfixture.h"
#include "support/tempsettings.h"
#include "support/windowparts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

namespace {
int pixels(const QFont &font)
{
    return font.pixelSize() > 0 ? font.pixelSize() : QFontInfo(font).pixelSize();
}

int minimumPixels(const QWidget *w)
{
    return int(std::ceil(TextFit::kMinimumPoints * w->logicalDpiY() / 72.0));
}

bool fitsAt(const QWidget *w, int size)
{
    QFont f = w->font();
    f.setPixelSize(size);
    const QFontMetrics m(f);
    for (const QString &line : TextFit::lines(w)) {
        if (m.horizontalAdvance(line) > TextFit::room(w))
            return false;
    }
    const int titleRoom = TextFit::titleHeightRoom(w);
    return titleRoom <= 0 || m.height() <= titleRoom;
}

// The font size a control was designed with: the first size its own style
// sheet names, or, for a control without one, `fallback`.
int designedPixels(const QWidget *w, int fallback)
{
    static const QRegularExpression size(QStringLiteral("font-size:\\s*(\\d+)px"));
    const auto match = size.match(w->styleSheet());
    return match.hasMatch() ? match.captured(1).toInt() : fallback;
}

QString describe(const QWidget *w)
{
    return QStringLiteral("%1 \"%2\" font %3 px, room %4 px")
        .arg(QLatin1String(w->metaObject()->className()), TextFit::lines(w).join(QLatin1Char('|')))
        .arg(pixels(w->font()))
        .arg(TextFit::room(w));
}
} // namespace

class TestTextFit : public QObject {
    Q_OBJECT

    // Every visible control with a text under `root`: the text fits the room
    // its geometry gives (or the font is down at 9 pt), the font shrank only
    // as far as needed, and where the designed font fits it is kept.
    // `designedFor` gives the designed size of controls without a sheet.
    void checkAll(QWidget *root, const std::function<int(const QWidget *)> &designedFor, int *checked,
                  int *shrunk)
    {
        QList<QWidget *> widgets = root->findChildren<QWidget *>();
        widgets.prepend(root);
        for (QWidget *w : widgets) {
            if (!w->isVisible())
                continue;
            // A closed combo box is looked at with each of its items shown.
            auto *combo = qobject_cast<QComboBox *>(w);
            const int chosen = combo ? combo->currentIndex() : 0;
            for (int item = 0; item < (combo ? combo->count() : 1); ++item) {
                if (combo)
                    combo->setCurrentIndex(item);
                checkOne(w, designedFor, checked, shrunk);
            }
            if (combo)
                combo->setCurrentIndex(chosen);
        }
    }

    void checkOne(QWidget *w, const std::function<int(const QWidget *)> &designedFor, int *checked, int *shrunk)
    {
        {
            if (TextFit::lines(w).isEmpty())
                return;
            ++*checked;
            const int now = pixels(w->font());
            const int designed = designedPixels(w, designedFor(w));
            const int floor = std::min(designed, minimumPixels(w));
            QVERIFY2(now >= floor, qPrintable(describe(w)));
            QVERIFY2(now <= designed, qPrintable(describe(w)));
            QVERIFY2(fitsAt(w, now) || now == floor, qPrintable(describe(w)));
            if (fitsAt(w, designed)) {
                QVERIFY2(now == designed, qPrintable(describe(w) + " was shrunk though it fits"));
            } else {
                ++*shrunk;
                if (qEnvironmentVariableIsSet("TERVALO_TEXTFIT_LIST"))
                    qInfo("%s", qPrintable(describe(w) + " designed " + QString::number(designed)));
                QVERIFY2(now == floor || !fitsAt(w, now + 1), qPrintable(describe(w) + " shrank too far"));
            }
        }
    }

private slots:
    void initTestCase()
    {
        settings = std::make_unique<TempSettings>();
        QVERIFY(settings->write("{\"is_used_this\": true}"));
    }

    void roomOfAControl_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("lowest");
        QTest::addColumn<int>("highest");
        // A parent 300 px wide; each control 40 px high.
        QTest::newRow("label") << "label" << 10 << 200 << 200 << 200;
        QTest::newRow("label past the parent") << "label" << 100 << 380 << 200 << 200;
        QTest::newRow("button: less its frame") << "button" << 10 << 200 << 170 << 199;
        QTest::newRow("combo box: less its arrow") << "combo" << 10 << 200 << 140 << 190;
        QTest::newRow("check box: less its box") << "check" << 10 << 200 << 150 << 195;
        QTest::newRow("group box: title inset") << "group" << 0 << 300 << 274 << 274;
    }
    void roomOfAControl()
    {
        QFETCH(QString, kind);
        QFETCH(int, x);
        QFETCH(int, width);
        QFETCH(int, lowest);
        QFETCH(int, highest);
        QWidget parent;
        parent.setFixedSize(300, 200);
        QWidget *w = nullptr;
        if (kind == "label")
            w = new QLabel("text", &parent);
        else if (kind == "button")
            w = new QPushButton("text", &parent);
        else if (kind == "combo")
            w = new QComboBox(&parent);
        else if (kind == "check")
            w = new QCheckBox("text", &parent);
        else
            w = new QGroupBox("text", &parent);
        w->setGeometry(x, 10, width, 40);
        const int room = TextFit::room(w);
        QVERIFY2(room >= lowest && room <= highest, qPrintable(QString::number(room)));
    }

    void shrinksOnlyWhatIsCutOff_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("shrinks");
        QTest::newRow("fits") << "Start" << false;
        QTest::newRow("too long") << "Seconds until start:" << true;
        QTest::newRow("far too long: stops at 9 pt") << QString("Seconds until start: ").repeated(4) << true;
    }
    void shrinksOnlyWhatIsCutOff()
    {
        QFETCH(QString, text);
        QFETCH(bool, shrinks);
        QWidget parent;
        parent.setFixedSize(300, 100);
        auto *label = new QLabel(text, &parent);
        label->setGeometry(10, 10, 200, 40);
        label->setStyleSheet("QLabel{font-size:24px;} QToolTip { font-size: 14pt; }");
        TextFit::fit(label);
        label->ensurePolished();
        const int now = pixels(label->font());
        QCOMPARE(now < 24, shrinks);
        QVERIFY(now >= minimumPixels(label));
        QVERIFY(label->styleSheet().startsWith("QLabel{font-size:24px;} QToolTip { font-size: 14pt; }"));
        // The same label with a short text again gets its designed size back.
        label->setText("ok");
        TextFit::fit(label);
        QCOMPARE(pixels(label->font()), 24);
        QCOMPARE(label->styleSheet(), QString("QLabel{font-size:24px;} QToolTip { font-size: 14pt; }"));
    }

    void mainWindow_data()
    {
        QTest::addColumn<bool>("japanese");
        QTest::newRow("ja") << true;
        QTest::newRow("en") << false;
    }
    void mainWindow()
    {
        QFETCH(bool, japanese);
        SimFixture sim;
        tervalo w;
        w.settings().is_japanese = japanese;
        w.changeLanguage();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto none = [](const QWidget *) { return -1; };
        int checked = 0;
        int shrunk = 0;
        checkAll(&w, none, &checked, &shrunk); // the start screen
        windowparts::get<QPushButton>(w, "newProjectButton")->click();

        // One page of every operation and every condition, each shown.
        w.showProject({{"なし"}, {"クリック", "右", "2"}, {"マウスポインター", "1", "2"},
                       {"スムーズムーブ", "1", "2", "3"}, {"キー", "123,15", "0.01"}, {"入力", "abc", "3"}},
                      {{"終わるまで待つ", "0.1"}, {"時間", "1"}, {"即時"}, {"クリック", "右"}, {"キー", "123,15"},
                       {"時刻", "9", "5"}});
        windowparts::get<QPushButton>(w, "copyButton")->click();
        for (int page = 1; page <= 6; ++page) {
            w.project().setCurrentPage(page);
            w.renderPage();
            checkAll(&w, none, &checked, &shrunk);
        }
        // Undo and Redo on screen, and the key-capture prompt.
        windowparts::chooseOperation(w, PageKinds::kKey);
        windowparts::get<QPushButton>(w, "addCommandButton")->click();
        windowparts::get<QPushButton>(w, "undoButton")->click();
        windowparts::get<QPushButton>(w, "addCommandButton")->click();
        QVERIFY(w.captureWaiting());
        checkAll(&w, none, &checked, &shrunk);
        sim.sim->tapCombination({65});
        QTRY_VERIFY(!w.captureWaiting());
        windowparts::get<QPushButton>(w, "undoButton")->click();
        QVERIFY(windowparts::get<QPushButton>(w, "redoButton")->isVisible());
        checkAll(&w, none, &checked, &shrunk);
        qInfo("%d controls checked, %d too long at their designed size", checked, shrunk);
        QVERIFY(checked > 150); // every item of every combo box counts
    }

    void settingsDialogs_data()
    {
        QTest::addColumn<bool>("record");
        QTest::addColumn<bool>("japanese");
        QTest::newRow("run ja") << false << true;
        QTest::newRow("run en") << false << false;
        QTest::newRow("record ja") << true << true;
        QTest::newRow("record en") << true << false;
    }
    void settingsDialogs()
    {
        QFETCH(bool, record);
        QFETCH(bool, japanese);
        SimFixture sim;
        int checked = 0;
        int shrunk = 0;
        for (int variant = 0; variant < (record ? 1 : 3); ++variant) {
            std::unique_ptr<QDialog> dialog;
            QPushButton *change = nullptr;
            QLabel *prompt = nullptr;
            if (record) {
                RecordDialog::Values values;
                values.stopCommand = "123,15";
                auto *d = new RecordDialog(values, japanese, false);
                dialog.reset(d);
                change = d->changeButton;
                prompt = d->pressKeysLabel;
            } else {
                auto *d = new RunDialog(5, variant == 1 ? 114514 : 3, variant == 2 ? "なし" : "123,15", true, japanese);
                dialog.reset(d);
                change = d->changeButton;
                prompt = d->pressKeysLabel;
            }
            // Sizes the dialog gives its controls with setFont, in points.
            auto designedFor = [change](const QWidget *w) {
                const qreal points = w == change ? 20
                    : (qobject_cast<const QCheckBox *>(w) ? QApplication::font().pointSizeF() : 24);
                return int(std::round(points * w->logicalDpiY() / 72.0));
            };
            dialog->show();
            QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
            checkAll(dialog.get(), designedFor, &checked, &shrunk);
            if (variant == 0) {
                change->click(); // the capture prompt
                QVERIFY(prompt->isVisible());
                checkAll(dialog.get(), designedFor, &checked, &shrunk);
                sim.sim->tapCombination({162, 164, 160, 91, 123});
                QTRY_VERIFY(!prompt->isVisible());
                checkAll(dialog.get(), designedFor, &checked, &shrunk);
            }
            dialog->reject();
        }
        QVERIFY(checked > (record ? 10 : 20));
        if (!japanese)
            QVERIFY2(shrunk > 0, "no English text was too long: the row tests nothing");
    }

    void reportDialogs_data()
    {
        QTest::addColumn<bool>("improvement");
        QTest::newRow("bug report") << false;
        QTest::newRow("improvement") << true;
    }
    void reportDialogs()
    {
        QFETCH(bool, improvement);
        std::unique_ptr<ReportDialogBase> d;
        if (improvement)
            d = std::make_unique<ReportDialog2>();
        else
            d = std::make_unique<ReportDialog>();
        d->textBox->setPlainText("text"); // the Send button shows
        d->show();
        QVERIFY(QTest::qWaitForWindowExposed(d.get()));
        int checked = 0;
        int shrunk = 0;
        checkAll(d.get(), [](const QWidget *) { return -1; }, &checked, &shrunk);
        QCOMPARE(checked, 2);
        QCOMPARE(shrunk, 0);
    }

private:
    std::unique_ptr<TempSettings> settings;
};

QTEST_MAIN(TestTextFit)
#include "tst_textfit.moc"
