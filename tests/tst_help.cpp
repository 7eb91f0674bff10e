// Help mode: the explanatory tooltips in both languages, switching them
// on and off, and the first-start notice that turns help mode on.

#include "gui/mainwindow/tervalo.h"
#include "project/pagekinds.h"
#include "support/dialoganswerer.h"
#include "support/simfixture.h"
#include "support/tempsettings.h"
#include "support/windowparts.h"

#include <QAction>
#include <QCloseEvent>
#include <QPushButton>
#include <QtTest>

#include <memory>

namespace {

struct Tip {
    const char *name;
    const char *japanese;
    const char *english;
};

const char kXJa[] = "マウスポインターのX座標です。\n自分で入力するか「取得」ボタンで簡単に取得できます。";
const char kXEn[] = "The X coordinate of the mouse pointer.\nYou can enter it manually or easily get it with the \"Get\" button.";
const char kYJa[] = "マウスポインターのY座標です。\n自分で入力するか「取得」ボタンで簡単に取得できます。";
const char kYEn[] = "The Y coordinate of the mouse pointer.\nYou can enter it manually or easily get it with the \"Get\" button.";
const char kGetJa[] = "マウスポインターの座標を簡単に取得できます。";
const char kGetEn[] = "Easily gets the mouse pointer coordinates.";
const char kSideJa[] = "クリックの種類を右か左で設定します。";
const char kSideEn[] = "Sets the click type to either right or left.";

const char kToleranceJa[] = "赤・緑・青それぞれの値がこの差までなら同じ色とみなします。（0〜255）";
const char kToleranceEn[] = "Each of red, green and blue may differ by this much and still count as the color. (0 to 255)";

const Tip kTips[] = {
    {"commandKindCombo",
     "追加する操作を指定します。\nなし:何も行われません、条件のみを指定する場合に使用します。\nクリック:時間を指定してクリックします。\n"
     "マウスポインター:マウスポインターを指定の座標に移動します。\n"
     "スムーズムーブ:実行時のマウスポインターから指定の座標に時間を指定してスムーズに移動します。\n"
     "キー:時間を指定して単一または複数のキーを入力します。\n入力:文章全体を入力し終えるまでの時間を指定して入力します。（日本語対応）\n"
     "ホイール:マウスホイールを上または下に指定したノッチ数だけ回します。\n"
     "「クリック」「スムーズムーブ」「キー」は操作が実行中でも次の操作に進みます、条件で時間を指定して調整してください。\n"
     "操作を追加す場合は右の「追加」ボタンを押してください。",
     "Select the action to add.\nNone: Does nothing. Use this when you want to specify only a condition.\n"
     "Click: Clicks for the specified amount of time.\nMouse Pointer: Moves the mouse pointer to the specified coordinates.\n"
     "Smooth Move: Smoothly moves the mouse pointer from its current position at runtime to the specified coordinates "
     "over the specified amount of time.\nKey: Presses one or more keys for the specified amount of time.\n"
     "Input: Types text, taking the specified time for the whole text. (Supports Japanese)\n"
     "Wheel: Turns the mouse wheel up or down by the specified number of notches.\n"
     "\"Click\", \"Smooth Move\", and \"Key\" proceed to the next action even while the operation is still running. "
     "Adjust the timing by setting a condition.\nTo add the action, press the \"Add\" button on the right."},
    {"addCommandButton", "右のメニューで設定した操作を追加します。", "Adds the action configured in the menu on the right."},
    {"testButton", "設定している座標にマウスポインターを移動します。", "Moves the mouse pointer to the configured coordinates."},
    {"commandNameLabel", "設定中の操作です。", "The action currently being configured."},
    {"textEdit", "入力する文章を設定します。（日本語対応）", "Sets the text to input. (Supports Japanese)"},
    {"commandSideCombo", kSideJa, kSideEn},
    {"wheelDirectionCombo", "ホイールを回す向きを上か下で設定します。", "Sets which way the wheel turns: up or down."},
    {"wheelNotchesSpin", "ホイールを回すノッチ数です。（1〜100）", "How many notches the wheel turns. (1 to 100)"},
    {"colorXSpin", "色を調べる画面のX座標です。", "The X coordinate of the screen point whose color is checked."},
    {"colorYSpin", "色を調べる画面のY座標です。", "The Y coordinate of the screen point whose color is checked."},
    {"colorGetButton", "マウスポインターの座標とその場所の色を取得します。",
     "Gets the mouse pointer coordinates and the color at that point."},
    {"colorSwatch", "次の操作に進む色です。「取得」ボタンで設定します。",
     "The color that lets the run proceed. Set it with the \"Get\" button."},
    {"colorToleranceLabel", kToleranceJa, kToleranceEn},
    {"colorToleranceSpin", kToleranceJa, kToleranceEn},
    {"wheelNotchesLabel", "ホイールを回すノッチ数です。（1〜100）", "How many notches the wheel turns. (1 to 100)"},
    {"conditionSideCombo", kSideJa, kSideEn},
    {"commandTimeSpin",
     "時間を指定します。\n操作によって意味が変わります。\nクリック:クリックする時間を指定します。\n"
     "スムーズムーブ:マウスポインターが指定した座標に着くまでにかかる時間を指定します。\n"
     "キー:キーを入力する時間を指定します。\n入力:文章全体を入力し終えるまでにかかる時間を指定します。\n単位は秒です。",
     "Specifies the time.\nIts meaning depends on the action.\nClick: Specifies the duration of the click.\n"
     "Smooth Move: Specifies the time it takes for the mouse pointer to reach the specified coordinates.\n"
     "Key: Specifies the duration for pressing the key(s).\nInput: Specifies the time it takes to type the whole text.\n"
     "The unit is seconds."},
    {"conditionKindCombo",
     "追加する条件を指定します。\n終わるまで待つ:操作が終わるまで待ってから、次の操作に進みます。時間:次の操作に進むまでの時間を指定します。\n"
     "即時:何も待たずに次の操作に進みます。\nクリック:クリックされた時に次の操作に進みます。\n"
     "キー:単一または複数のキーを指定して、それが入力された時に次の操作に進みます。\n時刻:次の操作に進む時刻を設定します。\n"
     "色:指定した座標の画面の色が指定の色になった時に次の操作に進みます。",
     "Select the condition to add.\nWait until over: Wait until the current command finishes before proceeding to the next command.\n"
     "Time: Specifies how long to wait before proceeding to the next action.\n"
     "Immediate: Proceeds to the next action without waiting.\n"
     "Click: Clicking will proceed to the next command.Key: Specify one or more keys, and proceed to the next action when "
     "they are pressed.\nClock Time:Set the time to proceed to the next command.\n"
     "Color: Proceeds to the next action when the screen at the specified coordinates shows the specified color."},
    {"addConditionButton", "右のメニューで設定した条件を追加します。", "Adds the condition configured in the menu on the right."},
    {"conditionNameLabel", "設定中の条件です。", "The condition currently being configured."},
    {"conditionTimeSpin",
     "時間を指定します。\n条件によって意味が変わります。\n時間:次の操作に進むまでの時間を指定します。\n"
     "終わるまで待つ:操作が終わってから、次の操作に進むまでの時間を指定します。",
     "Specifies the time.\nThe meaning changes depending on the condition.\n"
     "Time: Specifies the time before proceeding to the next operation.\n"
     "Wait until over: Specifies the time after the operation finishes before proceeding to the next operation."},
    {"previousButton", "前のページに戻ります。", "Returns to the previous page."},
    {"runButton", "現在のプロジェクトを実行します。", "Runs the current project."},
    {"nextButton", "次のページに進みます。", "Advances to the next page."},
    {"deleteButton", "現在のページを削除します。", "Deletes the current page."},
    {"pageCounterLabel", "すべてのページの数と現在のページです。", "Shows the total number of pages and the current page."},
    {"pageList", "押したページに飛びます、「+」を押すと「+」の位置にページを追加できます。",
     "Jump to the page you click. Press \"+\" to add a page at the position of \"+\"."},
    {"copyButton", "現在のページをコピーします。", "Copies the current page."},
    {"pasteButton", "コピーしたのページをペーストします。", "Pastes the copied page."},
    {"xSpin1", kXJa, kXEn},
    {"ySpin1", kYJa, kYEn},
    {"getButton1", kGetJa, kGetEn},
    {"xSpin2", kXJa, kXEn},
    {"ySpin2", kYJa, kYEn},
    {"getButton2", kGetJa, kGetEn},
    {"hourSpin", "操作が次へ進む時刻の設定です。何時かを設定します。",
     "This is where you set the time for the command to advance to the next step. Set the time."},
    {"minuteSpin", "操作が次へ進む時刻の設定です。何分かを設定します。",
     "This sets the time for the command to advance to the next step. You can set the number of minutes."},
    {"undoButton", "1つ前の状態に戻します。", "Revert to the previous state."},
    {"redoButton", "戻した状態を戻します。", "Revert the state to its original condition."},
};

const char kNotice[] =
    "ダウンロードありがとうございます。\n現在はヘルプモードがONになっています。\n"
    "意味を知りたいボタンや文字などにカーソルを合わせると説明が表示されます。\n"
    "説明を表示しないようにするにはメニューバーの「ヘルプ」で設定できます。\n\n"
    "Thank you for download.\nHelp mode is currently ON.\n"
    "Hover your cursor over buttons or text you want to know the meaning of,\nand an explanation will be displayed.\n"
    "You can disable the explanation display in the \"Help\" menu in the menu bar.\n"
    "You can switch to \"English mode\" by pressing the button labeled \"English\".";

// The kind combos' tips: the texts above with the lines of the picture
// kinds, added after them, taken from the kinds table.
QString withPictureKinds(const char *name, const QString &tip, bool japanese)
{
    const bool condition = QByteArray(name) == "conditionKindCombo";
    if (!condition && QByteArray(name) != "commandKindCombo")
        return tip;
    const PageKinds::Kind *last = condition ? PageKinds::condition(PageKinds::kColor) : PageKinds::operation(PageKinds::kWheel);
    const PageKinds::Kind *added = condition ? PageKinds::condition(PageKinds::kImage) : PageKinds::operation(PageKinds::kClickImage);
    const QString lastLine = QString::fromUtf16(japanese ? last->helpJapanese : last->helpEnglish);
    QString result = tip;
    return result.replace(lastLine, lastLine + QString::fromUtf16(japanese ? added->helpJapanese : added->helpEnglish));
}

// The controls of the picture kinds, whose tips are checked in both
// languages without pinning their texts here.
bool pictureControl(const QWidget *w)
{
    return w->objectName().startsWith(QLatin1String("image")) || w->objectName().startsWith(QLatin1String("clickImage"));
}

} // namespace

class TestHelp : public QObject {
    Q_OBJECT
private slots:
    void init() { settings = std::make_unique<TempSettings>(); }
    void cleanup() { settings.reset(); }

    void tooltip_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("japanese");
        QTest::addColumn<QString>("english");
        for (const Tip &tip : kTips)
            QTest::newRow(tip.name) << QString(tip.name) << withPictureKinds(tip.name, QString::fromUtf8(tip.japanese), true)
                                    << withPictureKinds(tip.name, QString::fromUtf8(tip.english), false);
    }
    void tooltip()
    {
        QFETCH(QString, name);
        QFETCH(QString, japanese);
        QFETCH(QString, english);
        writeSettings("{\"is_used_this\": true, \"is_help\": true}");
        tervalo w;
        auto *widget = qobject_cast<QWidget *>(windowparts::find(w, name));
        QVERIFY(widget);
        QCOMPARE(widget->toolTip(), japanese);
        windowparts::get<QPushButton>(w, "languageButton")->click();
        QCOMPARE(widget->toolTip(), english);
        windowparts::get<QAction>(w, "helpModeAction")->trigger(); // off
        QVERIFY(widget->toolTip().isEmpty());
        windowparts::get<QPushButton>(w, "languageButton")->click();
        QVERIFY(widget->toolTip().isEmpty());
        windowparts::get<QAction>(w, "helpModeAction")->trigger(); // on again, in Japanese
        QCOMPARE(widget->toolTip(), japanese);
    }

    void exactlyTheListedCarryTips_data()
    {
        QTest::addColumn<bool>("japanese");
        QTest::addColumn<bool>("editor");
        QTest::newRow("ja start screen") << true << false;
        QTest::newRow("ja editor") << true << true;
        QTest::newRow("en editor") << false << true;
    }
    void exactlyTheListedCarryTips()
    {
        QFETCH(bool, japanese);
        QFETCH(bool, editor);
        writeSettings(japanese ? "{\"is_used_this\": true, \"is_help\": true}"
                               : "{\"is_used_this\": true, \"is_help\": true, \"is_japanese\": false}");
        tervalo w;
        if (editor)
            windowparts::get<QPushButton>(w, "newProjectButton")->click();
        QSet<QWidget *> expected;
        for (const Tip &tip : kTips)
            expected.insert(qobject_cast<QWidget *>(windowparts::find(w, tip.name)));
        QCOMPARE(expected.size(), int(std::size(kTips)));
        QSet<QWidget *> tipped;
        QMap<QWidget *, QString> pictureTips;
        for (QWidget *child : w.findChildren<QWidget *>()) {
            if (pictureControl(child)) {
                QVERIFY2(!child->toolTip().isEmpty(), qPrintable(child->objectName()));
                pictureTips.insert(child, child->toolTip());
            } else if (!child->toolTip().isEmpty()) {
                tipped.insert(child);
            }
        }
        QCOMPARE(tipped, expected);
        QVERIFY(!pictureTips.isEmpty());
        // Each picture control's tip follows the language.
        windowparts::get<QPushButton>(w, "languageButton")->click();
        for (auto it = pictureTips.cbegin(); it != pictureTips.cend(); ++it)
            QVERIFY2(!it.key()->toolTip().isEmpty() && it.key()->toolTip() != it.value(), qPrintable(it.key()->objectName()));
        windowparts::get<QPushButton>(w, "languageButton")->click();
        windowparts::get<QAction>(w, "helpModeAction")->trigger();
        QVERIFY(!w.settings().is_help);
        for (QWidget *child : w.findChildren<QWidget *>())
            QVERIFY2(child->toolTip().isEmpty(), qPrintable(child->toolTip()));
    }

    void firstStartGreetsOnce()
    {
        QVERIFY(!QFile::exists(settings->settingsFile()));
        {
            DialogAnswerer answerer;
            answerer.answerMessageBox(QMessageBox::Ok);
            tervalo w;
            QCOMPARE(answerer.seen.size(), 1);
            const auto seen = answerer.seen.first();
            QCOMPARE(seen.title, QString("はじめまして"));
            QCOMPARE(seen.text, QString::fromUtf8(kNotice));
            QCOMPARE(seen.icon, QMessageBox::Information);
            QCOMPARE(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
            QVERIFY(w.settings().is_help);
            QVERIFY(w.settings().is_used_this);
            QVERIFY(w.settings().is_japanese);
            QVERIFY(windowparts::get<QAction>(w, "helpModeAction")->isChecked());
            QCOMPARE(windowparts::get<QPushButton>(w, "runButton")->toolTip(), QString("現在のプロジェクトを実行します。"));
            QCloseEvent close;
            QApplication::sendEvent(&w, &close);
            QVERIFY(close.isAccepted());
        }
        DialogAnswerer answerer;
        answerer.answerMessageBox(QMessageBox::Ok);
        tervalo second;
        QTest::qWait(50);
        QVERIFY(answerer.seen.isEmpty());
        QCOMPARE(answerer.pending(), 1);
        QVERIFY(second.settings().is_help);
        QVERIFY(windowparts::get<QAction>(second, "helpModeAction")->isChecked());
    }

    void noticeDoesNotOverrideEnglish()
    {
        // The notice is the same in both languages; the saved language stays.
        writeSettings("{\"is_japanese\": false}");
        DialogAnswerer answerer;
        answerer.answerMessageBox(QMessageBox::Ok);
        tervalo w;
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen.first().text, QString::fromUtf8(kNotice));
        QCOMPARE(windowparts::get<QPushButton>(w, "runButton")->toolTip(), QString("Runs the current project."));
    }

    void checkMarksFollowSettings_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QList<bool>>("checks"); // help, save, paste, delete
        QTest::newRow("defaults") << QByteArray("{\"is_used_this\": true}") << QList<bool>{false, true, false, true};
        QTest::newRow("all on") << QByteArray("{\"is_used_this\": true, \"is_help\": true, \"is_message_file\": true, "
                                              "\"is_message_paste\": true, \"is_message_delete\": true}")
                                << QList<bool>{true, true, true, true};
        QTest::newRow("all off") << QByteArray("{\"is_used_this\": true, \"is_help\": false, \"is_message_file\": false, "
                                               "\"is_message_paste\": false, \"is_message_delete\": false}")
                                 << QList<bool>{false, false, false, false};
    }
    void checkMarksFollowSettings()
    {
        QFETCH(QByteArray, json);
        QFETCH(QList<bool>, checks);
        writeSettings(json);
        tervalo w;
        QCOMPARE((QList<bool>{windowparts::get<QAction>(w, "helpModeAction")->isChecked(), windowparts::get<QAction>(w, "askSaveAction")->isChecked(),
                              windowparts::get<QAction>(w, "askPasteAction")->isChecked(), windowparts::get<QAction>(w, "askDeleteAction")->isChecked()}),
                 checks);
        QCOMPARE((QList<bool>{w.settings().is_help, w.settings().is_message_file, w.settings().is_message_paste, w.settings().is_message_delete}), checks);
        QCOMPARE(windowparts::get<QPushButton>(w, "runButton")->toolTip().isEmpty(), !checks[0]);
    }

private:
    void writeSettings(const QByteArray &json) { QVERIFY(settings->write(json)); }
    std::unique_ptr<TempSettings> settings;
    SimFixture sim;
};

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
