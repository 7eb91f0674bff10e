// The kinds added after the kinds table, through the editor as a user meets
// them: the kind combo boxes in both languages, their fields, the name labels,
// the page strip and a save and load of the project.

#include "gui/mainwindow/tervalo.h"
#include "project/pagekinds.h"
#include "gui/widgets/pictureselector.h"
#include "project/picture.h"
#include "project/projectfile.h"
#include "support/dialoganswerer.h"
#include "support/simfixture.h"
#include "support/tempsettings.h"
#include "support/windowparts.h"

#include <QAction>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

namespace {
bool shown(tervalo &w, const char *name)
{
    auto *widget = windowparts::get<QWidget>(w, name);
    return widget && widget->isVisibleTo(&w);
}

// Chooses a kind by its text in the combo box and presses that panel's Add.
void addKind(tervalo &w, bool condition, const QString &text)
{
    auto *combo = windowparts::get<QComboBox>(w, condition ? "conditionKindCombo" : "commandKindCombo");
    const int index = combo->findText(text);
    QVERIFY2(index >= 0, qPrintable(text));
    combo->setCurrentIndex(index);
    windowparts::get<QPushButton>(w, condition ? "addConditionButton" : "addCommandButton")->click();
}

PictureSelector *findSelector()
{
    for (QWidget *top : QApplication::topLevelWidgets()) {
        if (auto *selector = qobject_cast<PictureSelector *>(top); selector && selector->isVisible())
            return selector;
    }
    return nullptr;
}

QString stripItem(tervalo &w, int row)
{
    return windowparts::get<QListWidget>(w, "pageList")->item(row)->text();
}
} // namespace

class TestEditorKinds : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        settings = std::make_unique<TempSettings>();
        QVERIFY(settings->write("{\"is_used_this\": true}"));
        fixture = std::make_unique<SimFixture>();
        w = std::make_unique<tervalo>();
        w->addNewCommand();
    }
    void cleanup()
    {
        w.reset();
        fixture.reset();
        settings.reset();
    }

    void wheelThroughTheEditor_data()
    {
        QTest::addColumn<bool>("japanese");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("up");
        QTest::addColumn<QString>("down");
        QTest::newRow("ja") << true << "ホイール" << "上" << "下";
        QTest::newRow("en") << false << "Wheel" << "Up" << "Down";
    }
    void wheelThroughTheEditor()
    {
        QFETCH(bool, japanese);
        QFETCH(QString, kind);
        QFETCH(QString, up);
        QFETCH(QString, down);
        if (!japanese)
            windowparts::get<QAction>(*w, "languageAction")->trigger();
        addKind(*w, false, kind);
        QCOMPARE(w->project().commands().first(), (QStringList{"ホイール", "下", "1"}));
        QCOMPARE(windowparts::get<QLabel>(*w, "commandNameLabel")->text(), kind);
        QCOMPARE(stripItem(*w, 1), "1." + kind);
        for (const char *name : {"wheelDirectionCombo", "wheelNotchesSpin", "wheelNotchesLabel"})
            QVERIFY2(shown(*w, name), name);
        for (const char *name : {"commandSideCombo", "commandTimeSpin", "xSpin1", "textEdit"})
            QVERIFY2(!shown(*w, name), name);
        // Nothing is missing: the page can be left.
        QVERIFY(shown(*w, "nextButton"));

        auto *direction = windowparts::get<QComboBox>(*w, "wheelDirectionCombo");
        QCOMPARE(direction->currentText(), down);
        direction->setCurrentText(up);
        windowparts::get<QSpinBox>(*w, "wheelNotchesSpin")->setValue(7);
        QCOMPARE(w->project().commands().first(), (QStringList{"ホイール", "上", "7"}));
        windowparts::get<QSpinBox>(*w, "wheelNotchesSpin")->setValue(1000); // clamped by the box
        QCOMPARE(w->project().commands().first(), (QStringList{"ホイール", "上", "100"}));

        // Another page and back: the fields show the record.
        windowparts::get<QPushButton>(*w, "nextButton")->click();
        QVERIFY(!shown(*w, "wheelDirectionCombo"));
        windowparts::get<QPushButton>(*w, "previousButton")->click();
        QCOMPARE(direction->currentText(), up);
        QCOMPARE(windowparts::get<QSpinBox>(*w, "wheelNotchesSpin")->value(), 100);
    }

    void colorThroughTheEditor_data()
    {
        QTest::addColumn<bool>("japanese");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("get");
        QTest::newRow("ja") << true << "色" << "取得";
        QTest::newRow("en") << false << "Color" << "Get";
    }
    void colorThroughTheEditor()
    {
        QFETCH(bool, japanese);
        QFETCH(QString, kind);
        QFETCH(QString, get);
        auto &sim = *fixture->sim;
        if (!japanese)
            windowparts::get<QAction>(*w, "languageAction")->trigger();
        addKind(*w, true, kind);
        QCOMPARE(w->project().conditions().first(), (QStringList{"色", "0", "0", "#000000", "0"}));
        QCOMPARE(windowparts::get<QLabel>(*w, "conditionNameLabel")->text(), kind);
        for (const char *name : {"colorXSpin", "colorYSpin", "colorGetButton", "colorSwatch", "colorToleranceSpin",
                                 "colorToleranceLabel"})
            QVERIFY2(shown(*w, name), name);
        for (const char *name : {"conditionTimeSpin", "conditionSideCombo", "hourSpin", "getButton1"})
            QVERIFY2(!shown(*w, name), name);
        QCOMPARE(windowparts::text(windowparts::find(*w, "colorGetButton")), get);
        QVERIFY(shown(*w, "nextButton"));

        // Get: the hot key takes the pointer's position and the colour there.
        sim.setPixel(30, 40, 0x336699);
        windowparts::get<QPushButton>(*w, "colorGetButton")->click();
        QVERIFY(!w->isVisible());
        sim.movePointer(30, 40);
        sim.tapCombination({162, 164, 71});
        QTRY_COMPARE(w->project().conditions().first(), (QStringList{"色", "30", "40", "#336699", "0"}));
        QVERIFY(w->isVisible());
        QCOMPARE(windowparts::get<QSpinBox>(*w, "colorXSpin")->value(), 30);
        QCOMPARE(windowparts::get<QSpinBox>(*w, "colorYSpin")->value(), 40);
        QCOMPARE(windowparts::get<QLabel>(*w, "colorSwatch")->accessibleName(), QString("#336699"));
        QVERIFY(windowparts::get<QLabel>(*w, "colorSwatch")->styleSheet().contains("#336699"));
        // The operation was not touched by a capture for the condition.
        QCOMPARE(w->project().commands().first(), (QStringList{"なし"}));

        windowparts::get<QSpinBox>(*w, "colorToleranceSpin")->setValue(12);
        windowparts::get<QSpinBox>(*w, "colorXSpin")->setValue(-5);
        QCOMPARE(w->project().conditions().first(), (QStringList{"色", "-5", "40", "#336699", "12"}));
        windowparts::get<QSpinBox>(*w, "colorToleranceSpin")->setValue(300); // clamped by the box
        QCOMPARE(w->project().conditions().first().at(4), QString("255"));
    }

    // A kind made of times, a button, a key or a text edits them in its
    // panel's shared controls, each control its own element of the record; a
    // key or a text that is still missing holds the page.
    void parametersThroughTheEditor_data()
    {
        QTest::addColumn<bool>("condition");
        QTest::addColumn<int>("row");
        using Type = PageKinds::Param::Type;
        for (bool condition : {false, true}) {
            const auto &kinds = condition ? PageKinds::conditions() : PageKinds::operations();
            for (int i = 0; i < kinds.size(); ++i) {
                const auto &params = kinds.at(i).params;
                // Coordinates, counts and colours have fields of their own (above).
                if (std::any_of(params.begin(), params.end(), [](const PageKinds::Param &p) {
                        return p.type == Type::Integer || p.type == Type::Direction || p.type == Type::Color;
                    }))
                    continue;
                QTest::newRow(qPrintable((condition ? "cond " : "op ") + kinds.at(i).english)) << condition << i;
            }
        }
    }
    void parametersThroughTheEditor()
    {
        QFETCH(bool, condition);
        QFETCH(int, row);
        using Type = PageKinds::Param::Type;
        const PageKinds::Kind &kind = (condition ? PageKinds::conditions() : PageKinds::operations()).at(row);
        addKind(*w, condition, kind.stored);
        auto record = [&] { return condition ? w->project().conditions().first() : w->project().commands().first(); };
        QCOMPARE(PageKinds::kindOf(record()), kind.stored);
        auto part = [&](const char *operation, const char *conditionName) {
            const char *name = condition ? conditionName : operation;
            QWidget *widget = windowparts::get<QWidget>(*w, name);
            return widget && widget->isVisibleTo(w.get()) ? widget : nullptr;
        };
        // A kind with a key starts its capture at once: its prompt shows, its
        // time is hidden until the key comes, and the page is held.
        if (std::any_of(kind.params.begin(), kind.params.end(), [](const PageKinds::Param &p) { return p.type == Type::Key; })) {
            QVERIFY(part("commandKeyLabel", "conditionKeyLabel"));
            QVERIFY(!part("commandTimeSpin", "conditionTimeSpin"));
            QVERIFY(!shown(*w, "nextButton"));
            return;
        }
        for (int i = 1; i <= kind.params.size(); ++i) {
            const QStringList before = record();
            const Type type = kind.params.at(i - 1).type;
            if (type == Type::Seconds) {
                auto *spin = qobject_cast<QDoubleSpinBox *>(part("commandTimeSpin", "conditionTimeSpin"));
                QVERIFY(spin);
                spin->setValue(spin->value() + 1.25);
                QCOMPARE(record().at(i).toDouble(), spin->value());
            } else if (type == Type::Side) {
                auto *side = qobject_cast<QComboBox *>(part("commandSideCombo", "conditionSideCombo"));
                QVERIFY(side);
                side->setCurrentIndex(1 - side->currentIndex());
                QVERIFY(record().at(i) != before.at(i));
                QCOMPARE(PageKinds::displaySide(record().at(i), true), side->currentText());
            } else if (type == Type::Text) {
                auto *text = qobject_cast<QTextEdit *>(part("textEdit", "conditionTextEdit"));
                QVERIFY(text);
                QVERIFY(!shown(*w, "nextButton")); // nothing to type yet
                text->setPlainText(QStringLiteral("typed <b>"));
                QCOMPARE(record().at(i), QStringLiteral("typed <b>"));
            }
            for (int other = 0; other < before.size(); ++other)
                QVERIFY2(other == i || record().at(other) == before.at(other), qPrintable(QString::number(other)));
        }
        QVERIFY(shown(*w, "nextButton"));
    }

    // A picture page, as a person makes one: added without a picture it holds
    // the page; Capture freezes the screen and takes the dragged rectangle;
    // Escape leaves the page as it was; Load takes a PNG file and refuses one
    // that is too large; the other fields edit their own elements.
    void pictureThroughTheEditor_data()
    {
        QTest::addColumn<bool>("japanese");
        QTest::addColumn<bool>("condition");
        for (bool japanese : {true, false}) {
            QTest::newRow(japanese ? "op ja" : "op en") << japanese << false;
            QTest::newRow(japanese ? "cond ja" : "cond en") << japanese << true;
        }
    }
    void pictureThroughTheEditor()
    {
        QFETCH(bool, japanese);
        QFETCH(bool, condition);
        auto &sim = *fixture->sim;
        if (!japanese)
            windowparts::get<QAction>(*w, "languageAction")->trigger();
        const QString kind = condition ? PageKinds::kImage : PageKinds::kClickImage;
        addKind(*w, condition, condition ? PageKinds::conditionDisplayName(kind, japanese)
                                         : PageKinds::commandDisplayName(kind, japanese));
        auto record = [&] { return condition ? w->project().conditions().first() : w->project().commands().first(); };
        const int pictureAt = condition ? 2 : 1;
        QCOMPARE(PageKinds::kindOf(record()), kind);
        QVERIFY(record().at(pictureAt).isEmpty());
        QVERIFY(!shown(*w, "nextButton")); // no picture yet
        const char *prefix = condition ? "image" : "clickImage";
        auto part = [&](const char *name) { return (QByteArray(prefix) + name); };
        for (const char *name : {"Preview", "SizeLabel", "CaptureButton", "LoadButton", "ToleranceSpin"})
            QVERIFY2(shown(*w, part(name).constData()), name);

        // A screen with a pattern no two places of which look alike.
        QList<std::uint32_t> screen(200 * 100);
        for (int i = 0; i < screen.size(); ++i)
            screen[i] = std::uint32_t(i * 2654435761u) & 0xFFFFFFu;
        sim.paint(100, 50, 200, 100, screen.data());

        // Capture: drag from (110, 60) to (141, 75) on the still.
        windowparts::get<QPushButton>(*w, part("CaptureButton").constData())->click();
        QVERIFY(!w->isVisible());
        PictureSelector *selector = nullptr;
        QTRY_VERIFY((selector = findSelector()) != nullptr);
        QTest::mousePress(selector, Qt::LeftButton, {}, QPoint(110, 60));
        QTest::mouseMove(selector, QPoint(130, 70));
        QTest::mouseRelease(selector, Qt::LeftButton, {}, QPoint(141, 75));
        QTRY_VERIFY(w->isVisible());
        const QImage taken = picture::decode(record().at(pictureAt));
        QCOMPARE(taken.size(), QSize(32, 16));
        for (int y = 0; y < taken.height(); ++y)
            for (int x = 0; x < taken.width(); ++x)
                QCOMPARE(taken.pixel(x, y) & 0xFFFFFFu, screen.at((60 - 50 + y) * 200 + (110 - 100 + x)));
        QVERIFY(shown(*w, "nextButton"));
        QVERIFY(windowparts::text(windowparts::find(*w, part("SizeLabel"))).contains("32 × 16"));
        QVERIFY(!windowparts::get<QLabel>(*w, part("Preview").constData())->pixmap().isNull());

        // Escape: the page keeps the picture it had.
        const QStringList before = record();
        windowparts::get<QPushButton>(*w, part("CaptureButton").constData())->click();
        QTRY_VERIFY((selector = findSelector()) != nullptr);
        QTest::keyClick(selector, Qt::Key_Escape);
        QTRY_VERIFY(w->isVisible());
        QCOMPARE(record(), before);

        // Load: too large is refused with a message; a PNG within the limit is taken.
        QTemporaryDir dir;
        const QString large = dir.filePath("large.png");
        const QString small = dir.filePath("small.png");
        QImage big(picture::kLargest + 1, 8, QImage::Format_RGB32);
        big.fill(Qt::red);
        QVERIFY(big.save(large));
        QImage little(5, 3, QImage::Format_RGB32);
        little.fill(QColor(1, 2, 3));
        QVERIFY(little.save(small));
        DialogAnswerer answerer;
        answerer.answerFileDialog(large);
        answerer.answerMessageBox(QMessageBox::Ok);
        windowparts::get<QPushButton>(*w, part("LoadButton").constData())->click();
        QCOMPARE(answerer.pending(), 0);
        QVERIFY(answerer.seen.last().text.contains(QString::number(picture::kLargest)));
        QCOMPARE(record(), before);
        answerer.answerFileDialog(small);
        windowparts::get<QPushButton>(*w, part("LoadButton").constData())->click();
        QCOMPARE(picture::decode(record().at(pictureAt)).size(), QSize(5, 3));
        QCOMPARE(picture::decode(record().at(pictureAt)).pixel(4, 2) & 0xFFFFFFu, 0x010203u);

        // The other fields, each its own element.
        const QStringList loaded = record();
        windowparts::get<QSpinBox>(*w, part("ToleranceSpin").constData())->setValue(40);
        QCOMPARE(record().at(3), QString("40"));
        if (condition) {
            windowparts::get<QComboBox>(*w, "imageAppearanceCombo")->setCurrentIndex(1);
            QCOMPARE(record().at(1), PageKinds::ImageCondition::kVanishes);
        } else {
            windowparts::get<QComboBox>(*w, "commandSideCombo")->setCurrentIndex(1);
            QCOMPARE(record().at(2), PageKinds::kRight);
            windowparts::get<QDoubleSpinBox>(*w, "commandTimeSpin")->setValue(2.5);
            QCOMPARE(record().at(4).toDouble(), 2.5);
        }
        QCOMPARE(record().at(pictureAt), loaded.at(pictureAt));
    }

    void newKindsSurviveSaveAndLoad()
    {
        const RecordList commands{{"ホイール", "上", "12"}, {"ホイール", "下", "100"}};
        const RecordList conditions{{"色", "1", "2", "#a0b1c2", "7"}, {"終わるまで待つ", "0.1"}};
        QTemporaryDir dir;
        const QString file = dir.filePath("kinds.cmdat");
        QVERIFY(ProjectFile::write(file, commands, conditions).ok);
        const ProjectFile::ReadResult back = ProjectFile::read(file);
        QVERIFY(back.ok);
        QVERIFY(!back.repaired);
        QCOMPARE(back.commands, commands);
        QCOMPARE(back.conditions, conditions);
    }

private:
    std::unique_ptr<TempSettings> settings;
    std::unique_ptr<SimFixture> fixture;
    std::unique_ptr<tervalo> w;
};

QTEST_MAIN(TestEditorKinds)
#include "tst_editor_kinds.moc"
