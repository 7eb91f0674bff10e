// Every switchable text of the main window in both languages, the two
// language toggles, and what a switch keeps and re-renders.

#include "gui/mainwindow/tervalo.h"
#include "support/simfixture.h"
#include "support/tempsettings.h"
#include "support/windowparts.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QtTest>

#include <memory>

namespace {

QStringList g_log;
QtMessageHandler g_previousHandler = nullptr;

void captureLog(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    g_log << message;
    g_previousHandler(type, context, message);
}

struct Vocabulary {
    const char *name;
    int item;
    const char *japanese;
    const char *english;
};

// The vocabulary of the interface, written out independently of the program.
const Vocabulary kVocabulary[] = {
    {"languageButton", -1, "English", "日本語"},
    {"newProjectButton", -1, "新しいプロジェクトを作成", "Create New Project"},
    {"loadProjectButton", -1, "プロジェクトを読み込む", "Load Project"},
    {"operationGroup", -1, "操作", "Operation"},
    {"conditionGroup", -1, "条件", "Condition"},
    {"pageGroup", -1, "ページ", "Page"},
    {"commandKindCombo", 0, "なし", "None"},
    {"commandKindCombo", 1, "クリック", "Click"},
    {"commandKindCombo", 2, "マウスポインター", "Mouse Pointer"},
    {"commandKindCombo", 3, "スムーズムーブ", "Smooth Move"},
    {"commandKindCombo", 4, "キー", "Key"},
    {"commandKindCombo", 5, "入力", "Enter Text"},
    {"addCommandButton", -1, "追加", "Add"},
    {"testButton", -1, "テスト", "Test"},
    {"commandSideCombo", 0, "左", "Left"},
    {"commandSideCombo", 1, "右", "Right"},
    {"commandSecLabel", -1, "秒", "sec"},
    {"xLabel1", -1, "X:", "X:"},
    {"yLabel1", -1, "Y:", "Y:"},
    {"getButton1", -1, "取得", "Get"},
    {"xLabel2", -1, "X:", "X:"},
    {"yLabel2", -1, "Y:", "Y:"},
    {"getButton2", -1, "取得", "Get"},
    {"conditionKindCombo", 0, "終わるまで待つ", "Wait until over"},
    {"conditionKindCombo", 1, "時間", "Time"},
    {"conditionKindCombo", 2, "即時", "Immediately"},
    {"conditionKindCombo", 3, "クリック", "Click"},
    {"conditionKindCombo", 4, "キー", "Key"},
    {"conditionKindCombo", 5, "時刻", "Clock Time"},
    {"addConditionButton", -1, "追加", "Add"},
    {"conditionSecLabel", -1, "秒", "sec"},
    {"conditionSideCombo", 0, "左", "Left"},
    {"conditionSideCombo", 1, "右", "Right"},
    {"previousButton", -1, "←", "←"},
    {"nextButton", -1, "→", "→"},
    {"runButton", -1, "実行", "Run"},
    {"deleteButton", -1, "削除", "Delete"},
    {"undoButton", -1, "元に戻す", "Undo"},
    {"redoButton", -1, "やり直し", "Start over"},
    {"copyButton", -1, "コピー", "Copy"},
    {"pasteButton", -1, "ペースト", "Paste"},
    {"fileMenu", -1, "ファイル", "File"},
    {"newAction", -1, "新規作成", "New"},
    {"openAction", -1, "開く", "Open"},
    {"saveAction", -1, "上書き保存", "Save"},
    {"saveAsAction", -1, "名前を付けて保存", "Save As"},
    {"reportMenu", -1, "報告", "Report"},
    {"reportBugAction", -1, "バグを報告", "Report a Bug"},
    {"reportImprovementAction", -1, "改善案を報告", "Suggest an Improvement"},
    {"needReplyAction", -1, "返信が必要な場合", "Need a Reply"},
    {"settingsMenu", -1, "設定", "Settings"},
    {"askSaveAction", -1, "ファイルを保存するか確認する", "Ask Before Saving File"},
    {"askPasteAction", -1, "ページにペーストするか確認する", "Ask Before Pasting to Page"},
    {"askDeleteAction", -1, "ページを削除するか確認する", "Ask Before Deleting Page"},
    {"versionMenu", -1, "バージョン", "Version"},
    {"versionAction", -1, "バージョン情報", "Version Information"},
    {"helpMenu", -1, "ヘルプ", "Help"},
    {"helpModeAction", -1, "ヘルプモード", "Help Mode"},
    {"askHowToUseAction", -1, "使い方を質問する", "Ask How to Use"},
    {"otherMenu", -1, "その他", "Other"},
    {"languageAction", -1, "English", "日本語"},
    {"termsAction", -1, "利用規約を見る", "View 利用規約"},
    {"ossNoticeAction", -1, "オープンソースソフトウェアに関する告知を見る", "View オープンソースソフトウェアに関する告知"},
    {"qtReplaceAction", -1, "Qtライブラリの差替え又は再インストールに関する情報を見る",
     "View Qtライブラリの差替え又は再インストールに関する情報"},
    {"lgplAction", -1, "LGPLv3のライセンス文章を見る", "View LGPLv3のライセンス文章"},
    {"recordMenu", -1, "記録", "Record"},
    {"recordAction", -1, "操作を記録...", "Record actions..."},
};

// Placeholders that a render replaces: checked on the start screen only.
const Vocabulary kPlaceholders[] = {
    {"commandNameLabel", -1, "X", "X"},
    {"conditionNameLabel", -1, "時間", "Time"},
    {"pageCounterLabel", -1, "1/1", "1/1"},
};

bool hasJapanese(const QString &text)
{
    for (QChar c : text) {
        const ushort u = c.unicode();
        if ((u >= 0x3000 && u <= 0x9FFF) || (u >= 0xFF00 && u <= 0xFFEF))
            return true;
    }
    return false;
}

} // namespace

class TestLanguage : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        settings = std::make_unique<TempSettings>();
        g_previousHandler = qInstallMessageHandler(captureLog);
    }
    void cleanupTestCase() { qInstallMessageHandler(g_previousHandler); }

    void vocabulary_data()
    {
        QTest::addColumn<bool>("japanese");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("item");
        QTest::addColumn<QString>("expected");
        for (bool japanese : {true, false}) {
            auto add = [&](const Vocabulary &v) {
                const QString tag = QStringLiteral("%1 %2%3").arg(japanese ? "ja" : "en", v.name,
                                                                   v.item < 0 ? QString() : QStringLiteral("[%1]").arg(v.item));
                QTest::newRow(qPrintable(tag)) << japanese << QString(v.name) << v.item
                                               << QString::fromUtf8(japanese ? v.japanese : v.english);
            };
            for (const Vocabulary &v : kVocabulary)
                add(v);
            for (const Vocabulary &v : kPlaceholders)
                add(v);
        }
    }
    void vocabulary()
    {
        // The saved language takes effect at start.
        QFETCH(bool, japanese);
        QFETCH(QString, name);
        QFETCH(int, item);
        QFETCH(QString, expected);
        writeSettings(japanese ? "{\"is_used_this\": true}" : "{\"is_used_this\": true, \"is_japanese\": false}");
        tervalo w;
        QObject *part = windowparts::find(w, name);
        QVERIFY2(part, qPrintable(name));
        QCOMPARE(windowparts::text(part, item), expected);
    }

    void oneToggleEqualsEnglishStart()
    {
        writeSettings("{\"is_used_this\": true, \"is_help\": true, \"is_japanese\": false}");
        tervalo english;
        writeSettings("{\"is_used_this\": true, \"is_help\": true}");
        tervalo switched;
        QVERIFY(snapshot(switched) != snapshot(english));
        windowparts::get<QPushButton>(switched, "languageButton")->click();
        QVERIFY(!switched.settings().is_japanese);
        QCOMPARE(snapshot(switched), snapshot(english));
    }

    void twoTogglesRestoreEverything_data()
    {
        QTest::addColumn<bool>("fromMenu");
        QTest::addColumn<bool>("help");
        QTest::newRow("start-screen button, help off") << false << false;
        QTest::newRow("start-screen button, help on") << false << true;
        QTest::newRow("Other menu entry, help off") << true << false;
        QTest::newRow("Other menu entry, help on") << true << true;
    }
    void twoTogglesRestoreEverything()
    {
        QFETCH(bool, fromMenu);
        QFETCH(bool, help);
        writeSettings(help ? "{\"is_used_this\": true, \"is_help\": true}" : "{\"is_used_this\": true}");
        tervalo w;
        if (fromMenu)
            windowparts::get<QPushButton>(w, "newProjectButton")->click();
        const auto before = snapshot(w);
        auto toggle = [&] {
            if (fromMenu)
                windowparts::get<QAction>(w, "languageAction")->trigger();
            else
                windowparts::get<QPushButton>(w, "languageButton")->click();
        };
        g_log.clear();
        toggle();
        QVERIFY(!w.settings().is_japanese);
        const auto between = snapshot(w);
        for (const Vocabulary &v : kVocabulary) {
            const QString key = keyOf(v.name, v.item);
            if (qstrcmp(v.japanese, v.english) != 0)
                QVERIFY2(between.value(key) != before.value(key), qPrintable(key));
        }
        toggle();
        QVERIFY(w.settings().is_japanese);
        QCOMPARE(snapshot(w), before);
        QCOMPARE(g_log.count(QStringLiteral("言語変更")), 2);
    }

    void selectionSurvivesSwitch_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("english");
        QTest::newRow("operation kind") << "commandKindCombo" << 3 << "Smooth Move";
        QTest::newRow("condition kind") << "conditionKindCombo" << 5 << "Clock Time";
        QTest::newRow("operation click side") << "commandSideCombo" << 1 << "Right";
        QTest::newRow("condition click side") << "conditionSideCombo" << 1 << "Right";
    }
    void selectionSurvivesSwitch()
    {
        QFETCH(QString, name);
        QFETCH(int, index);
        QFETCH(QString, english);
        writeSettings("{\"is_used_this\": true}");
        tervalo w;
        windowparts::get<QPushButton>(w, "newProjectButton")->click();
        auto *combo = qobject_cast<QComboBox *>(windowparts::find(w, name));
        QVERIFY(combo);
        const int count = combo->count();
        combo->setCurrentIndex(index);
        const RecordList commands = w.project().commands();
        const RecordList conditions = w.project().conditions();
        QSignalSpy changed(combo, &QComboBox::currentIndexChanged);

        windowparts::get<QAction>(w, "languageAction")->trigger();
        QCOMPARE(combo->currentIndex(), index);
        QCOMPARE(combo->currentText(), english);
        QCOMPARE(combo->count(), count);
        QCOMPARE(changed.size(), 0);
        QCOMPARE(w.project().commands(), commands);
        QCOMPARE(w.project().conditions(), conditions);
    }

    void rendersOnlyInTheEditor()
    {
        writeSettings("{\"is_used_this\": true}");
        tervalo w;
        const QStringList startItems = stripItems(w);
        // On the start screen nothing is rendered, so the strip keeps its words.
        windowparts::get<QPushButton>(w, "languageButton")->click();
        QCOMPARE(stripItems(w), startItems);
        windowparts::get<QPushButton>(w, "newProjectButton")->click();
        QVERIFY(stripItems(w).contains("1.None"));
        windowparts::get<QAction>(w, "languageAction")->trigger();
        QVERIFY(stripItems(w).contains("1.なし"));
        QVERIFY(!stripItems(w).contains("1.None"));
        windowparts::get<QAction>(w, "languageAction")->trigger();
        QVERIFY(stripItems(w).contains("1.None"));
    }

    void englishEditorShowsNoJapaneseLeft()
    {
        // A walk over every text of the window: in English, only the
        // language entry and the document titles may stay Japanese.
        writeSettings("{\"is_used_this\": true, \"is_japanese\": false, \"is_help\": true}");
        tervalo w;
        windowparts::get<QPushButton>(w, "newProjectButton")->click();
        const QStringList allowed{"日本語", "View 利用規約", "View オープンソースソフトウェアに関する告知",
                                  "View Qtライブラリの差替え又は再インストールに関する情報",
                                  "View LGPLv3のライセンス文章"};
        QStringList texts;
        for (QWidget *child : w.findChildren<QWidget *>()) {
            texts << child->toolTip();
            if (auto *combo = qobject_cast<QComboBox *>(child)) {
                for (int i = 0; i < combo->count(); ++i)
                    texts << combo->itemText(i);
            } else if (auto *list = qobject_cast<QListWidget *>(child)) {
                for (int i = 0; i < list->count(); ++i)
                    texts << list->item(i)->text();
            } else if (!qobject_cast<QMenu *>(child)) {
                texts << windowparts::text(child);
            }
        }
        for (QAction *action : w.findChildren<QAction *>())
            texts << action->text();
        for (QMenu *menu : w.findChildren<QMenu *>())
            texts << menu->title();
        int checked = 0;
        for (const QString &text : texts) {
            if (text.startsWith("<no text"))
                continue;
            ++checked;
            QVERIFY2(!hasJapanese(text) || allowed.contains(text), qPrintable(text));
        }
        QVERIFY(checked > 80);
    }

private:
    static QString keyOf(const QString &name, int item)
    {
        return item < 0 ? name : QStringLiteral("%1[%2]").arg(name).arg(item);
    }
    // Every text and tooltip of every named control and action.
    static QMap<QString, QString> snapshot(tervalo &w)
    {
        QMap<QString, QString> map;
        for (const QString &name : windowparts::names(w)) {
            QObject *part = windowparts::find(w, name);
            if (auto *widget = qobject_cast<QWidget *>(part))
                map[name + ".tip"] = widget->toolTip();
            if (auto *combo = qobject_cast<QComboBox *>(part)) {
                for (int i = 0; i < combo->count(); ++i)
                    map[keyOf(name, i)] = combo->itemText(i);
            } else {
                map[name] = windowparts::text(part);
            }
        }
        map["strip"] = stripItems(w).join('|');
        return map;
    }
    static QStringList stripItems(tervalo &w)
    {
        QStringList items;
        for (int i = 0; i < windowparts::get<QListWidget>(w, "pageList")->count(); ++i)
            items << windowparts::get<QListWidget>(w, "pageList")->item(i)->text();
        return items;
    }
    void writeSettings(const QByteArray &json) { QVERIFY(settings->write(json)); }
    std::unique_ptr<TempSettings> settings;
    SimFixture sim;
};

QTEST_MAIN(TestLanguage)
#include "tst_language.moc"
