// Project files: the reader and writer on their own, then the four file
// commands of the window with their dialogs, messages and beeps.

#include "gui/mainwindow/tervalo.h"
#include "project/pagekinds.h"
#include "project/projectfile.h"
#include "settings/settingsfile.h"
#include "support/dialoganswerer.h"
#include "support/filesizelimit.h"
#include "support/nofileoverride.h"
#include "support/simfixture.h"
#include "support/tempsettings.h"
#include "support/windowparts.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QTextEdit>
#include <QtTest>

Q_DECLARE_METATYPE(RecordList)

namespace {
QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(data), data.size());
}

QString jsonParseError(const QByteArray &text)
{
    QJsonParseError e;
    QJsonDocument::fromJson(text, &e);
    return e.errorString();
}
} // namespace

class TestProjectFile : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        settings.reset(new TempSettings);
        QVERIFY(settings->write("{\"is_used_this\": true}"));
    }
    void init() { QVERIFY(dir.isValid()); }

    void newProjectFileIsThirteenLines()
    {
        const QByteArray expected = "{\n"
                                    "    \"list_command\": [\n"
                                    "        [\n"
                                    "            \"なし\"\n"
                                    "        ]\n"
                                    "    ],\n"
                                    "    \"list_condition\": [\n"
                                    "        [\n"
                                    "            \"終わるまで待つ\",\n"
                                    "            \"0.1\"\n"
                                    "        ]\n"
                                    "    ]\n"
                                    "}\n";
        const QString path = dir.filePath("new.cmdat");
        QVERIFY(ProjectFile::write(path, {PageKinds::blankCommand()}, {PageKinds::blankCondition()}).ok);
        QCOMPARE(readAll(path), expected);
        QCOMPARE(expected.count('\n'), 13);
    }

    void roundTrip_data()
    {
        QTest::addColumn<RecordList>("commands");
        QTest::addColumn<RecordList>("conditions");
        QTest::addColumn<QByteArray>("fragment"); // must appear in the file as written
        QTest::newRow("line break and quotes") << RecordList{{"入力", "一行目\n\"二\"\t行目\\", "3"}, {"なし"}}
                                               << RecordList{{"時間", "0.1"}, {"キー", "71,3"}}
                                               << QByteArray("\"一行目\\n\\\"二\\\"\\t行目\\\\\"");
        QTest::newRow("unknown kinds kept") << RecordList{{"Click", "x"}, {"謎"}} << RecordList{{"即時"}, {"???", "1", "2"}}
                                            << QByteArray("\"Click\"");
        QTest::newRow("all kinds")
            << RecordList{{"クリック", "右", "2"}, {"マウスポインター", "-1", "99999999"}, {"スムーズムーブ", "1", "2", "0.5"},
                          {"キー", "65,6", "0.01"}}
            << RecordList{{"終わるまで待つ", "1000"}, {"クリック", "左"}, {"時刻", "24", "0"}, {"即時"}}
            << QByteArray("            \"99999999\"\n");
    }
    void roundTrip()
    {
        QFETCH(RecordList, commands);
        QFETCH(RecordList, conditions);
        QFETCH(QByteArray, fragment);
        const QString path = dir.filePath("round.cmdat");
        QVERIFY(ProjectFile::write(path, commands, conditions).ok);
        QVERIFY2(readAll(path).contains(fragment), readAll(path).constData());
        const auto r = ProjectFile::read(path);
        QVERIFY(r.ok);
        QVERIFY(!r.repaired);
        QCOMPARE(r.commands, commands);
        QCOMPARE(r.conditions, conditions);
    }

    void parsing_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("error");
        QTest::addColumn<RecordList>("commands");
        QTest::addColumn<RecordList>("conditions");
        QTest::newRow("top level array") << QByteArray("[]") << false << "ファイルの形式が正しくありません。"
                                         << RecordList{} << RecordList{};
        QTest::newRow("top level array of records") << QByteArray("[[\"なし\"]]") << false
                                                    << "ファイルの形式が正しくありません。" << RecordList{} << RecordList{};
        QTest::newRow("empty file") << QByteArray() << false << "JSON 解析エラー: " + jsonParseError("")
                                    << RecordList{} << RecordList{};
        QTest::newRow("broken") << QByteArray("{\"list_command\": [") << false
                                << "JSON 解析エラー: " + jsonParseError("{\"list_command\": [") << RecordList{}
                                << RecordList{};
        QTest::newRow("non-array elements skipped")
            << QByteArray(R"({"list_command": [["なし"], 5, ["時間"]], "list_condition": [["即時"], {}, ["即時"]]})")
            << true << QString() << RecordList{{"なし"}, {"時間"}} << RecordList{{"即時"}, {"即時"}};
        QTest::newRow("values become text")
            << QByteArray(R"({"list_command": [["クリック", true, 0.5], ["入力", null, 3]], "list_condition": [["時間", 2], ["即時"]]})")
            << true << QString() << RecordList{{"クリック", "true", "0.5"}, {"入力", "", "3"}}
            << RecordList{{"時間", "2"}, {"即時"}};
        QTest::newRow("missing and non-array keys") << QByteArray(R"({"list_condition": 3, "other": 1})") << true
                                                    << QString() << RecordList{} << RecordList{};
    }
    void parsing()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, ok);
        QFETCH(QString, error);
        QFETCH(RecordList, commands);
        QFETCH(RecordList, conditions);
        const auto r = ProjectFile::fromJson(json);
        QCOMPARE(r.ok, ok);
        QCOMPARE(r.errorText, error);
        QCOMPARE(r.errorTitle, ok ? QString() : QString("読み込みエラー"));
        QCOMPARE(r.commands, commands);
        QCOMPARE(r.conditions, conditions);
    }

    void readRepairsShape()
    {
        const QString path = dir.filePath("short.cmdat");
        writeFile(path, R"({"list_command": [["クリック"], ["謎"]], "list_condition": [["時刻", "7"]]})");
        const auto r = ProjectFile::read(path);
        QVERIFY(r.ok);
        QVERIFY(r.repaired);
        QCOMPARE(r.commands, (RecordList{{"クリック", "左", "0.01"}, {"謎"}}));
        QCOMPARE(r.conditions, (RecordList{{"時刻", "7", "0"}, {"終わるまで待つ", "0.1"}}));
        writeFile(path, "{}");
        const auto empty = ProjectFile::read(path);
        QCOMPARE(empty.commands, RecordList{{"なし"}});
        QCOMPARE(empty.conditions, (RecordList{{"終わるまで待つ", "0.1"}}));
    }

    void failures_data()
    {
        QTest::addColumn<bool>("writing");
        QTest::addColumn<QString>("path"); // "<dir>" is the temporary folder
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::newRow("save without path") << true << "" << "保存エラー" << "保存先が設定されていません。";
        QTest::newRow("save onto a folder") << true << "<dir>" << "保存エラー" << "ファイルを開けませんでした:<dir>";
        QTest::newRow("save into a missing folder") << true << "<dir>/no/such.cmdat" << "保存エラー"
                                                    << "ファイルを開けませんでした:<dir>/no/such.cmdat";
        QTest::newRow("read without path") << false << "" << "読み込みエラー" << "読み込むファイルが設定されていません。";
        QTest::newRow("read a missing file") << false << "<dir>/none.cmdat" << "読み込みエラー"
                                             << "ファイルを開けませんでした：<dir>/none.cmdat";
        QTest::newRow("read a folder") << false << "<dir>" << "読み込みエラー" << "ファイルを開けませんでした：<dir>";
    }
    void failures()
    {
        QFETCH(bool, writing);
        QFETCH(QString, path);
        QFETCH(QString, title);
        QFETCH(QString, text);
        path.replace("<dir>", dir.path());
        text.replace("<dir>", dir.path());
        const ProjectFile::Result r = writing ? ProjectFile::write(path, {{"なし"}}, {{"即時"}})
                                              : static_cast<ProjectFile::Result>(ProjectFile::read(path));
        QVERIFY(!r.ok);
        QCOMPARE(r.errorTitle, title);
        QCOMPARE(r.errorText, text);
    }

    void failedWriteKeepsOldFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("keep.cmdat");
        const QByteArray old = ProjectFile::toJson({{"入力", "old", "3"}}, {{"即時"}});
        writeFile(path, old);
        RecordList big;
        for (int i = 0; i < 2000; ++i)
            big.append({"入力", QString(50, 'x'), "3"});
        {
            FileSizeLimit limit(4096);
            const auto r = ProjectFile::write(path, big, RecordList(big.size(), PageKinds::blankCondition()));
            QVERIFY(!r.ok);
            QCOMPARE(r.errorText, "ファイルへの書き込みに失敗しました：" + path);
        }
        QCOMPARE(readAll(path), old);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"keep.cmdat"}); // no temporary left behind
    }

    void extension_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("saved");
        QTest::newRow("plain") << "daily" << "daily.cmdat";
        QTest::newRow("upper case kept") << "a.CMDAT" << "a.CMDAT";
        QTest::newRow("other extension") << "a.json" << "a.json.cmdat";
        QTest::newRow("already") << "b.cmdat" << "b.cmdat";
        QTest::newRow("dots in name") << "daily.old" << "daily.old.cmdat";
    }
    void extension()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, saved);
        QCOMPARE(ProjectFile::withExtension(chosen), saved);
    }

    // ---- The window's commands ----

    void saveOnNewProjectAsksForName()
    {
        auto w = editor();
        QSignalSpy beeps(w.get(), &tervalo::projectFileBeeped);
        DialogAnswerer answerer;
        answerer.answerFileDialog(QString());
        windowparts::get<QAction>(*w, "saveAction")->trigger(); // no file yet: Save asks for a name
        QCOMPARE(answerer.seen.size(), 1);
        QVERIFY(answerer.seen.first().fileDialog);
        QCOMPARE(answerer.seen.first().title, QString("名前を付けて保存"));
        QCOMPARE(answerer.seen.first().acceptMode, QFileDialog::AcceptSave);
        QCOMPARE(answerer.seen.first().nameFilters, (QStringList{"Command Data (*.cmdat)", "All Files (*)"}));
        if (QFileInfo(SettingsFile::desktopPath()).isDir())
            QCOMPARE(answerer.seen.first().directory, SettingsFile::desktopPath());
        QCOMPARE(w->settings().projectPath, SettingsFile::desktopPath());
        QCOMPARE(beeps.size(), 0);
    }

    // A project without a file: Open and Save As start in the desktop folder
    // where there is one, else in the home folder, with no name filled in.
    void startFolderWithoutAFile_data()
    {
        QTest::addColumn<bool>("open");
        QTest::addColumn<bool>("desktop");
        QTest::newRow("save as, desktop folder") << false << true;
        QTest::newRow("save as, no desktop folder") << false << false;
        QTest::newRow("open, desktop folder") << true << true;
        QTest::newRow("open, no desktop folder") << true << false;
    }
    void startFolderWithoutAFile()
    {
        QFETCH(bool, open);
        QFETCH(bool, desktop);
        QTemporaryDir home;
        const QByteArray ownHome = qgetenv("HOME");
        auto putBack = qScopeGuard([&] { qputenv("HOME", ownHome); });
        qputenv("HOME", QFile::encodeName(home.path()));
        if (desktop)
            QVERIFY(QDir(home.path()).mkdir("Desktop"));
        tervalo w;
        w.addNewCommand();
        DialogAnswerer answerer;
        answerer.answerFileDialog(QString());
        windowparts::get<QAction>(w, open ? "openAction" : "saveAsAction")->trigger();
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen.first().directory, desktop ? home.filePath("Desktop") : home.path());
        QCOMPARE(answerer.seen.first().fileName, QString());
        QCOMPARE(w.windowTitle(), QString("新規プロジェクト"));
    }

    void saveAs_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("title");
        QTest::newRow("daily") << "daily" << "daily.cmdat" << "daily";
        QTest::newRow("upper case") << "Up.CMDAT" << "Up.CMDAT" << "Up";
        QTest::newRow("json") << "a.json" << "a.json.cmdat" << "a";
        QTest::newRow("two dots") << "daily.old" << "daily.old.cmdat" << "daily";
    }
    void saveAs()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, file);
        QFETCH(QString, title);
        auto w = editor();
        w->settings().projectPath = dir.filePath("start.cmdat");
        windowparts::get<QPushButton>(*w, "nextButton")->click();
        QSignalSpy beeps(w.get(), &tervalo::projectFileBeeped);
        DialogAnswerer answerer;
        answerer.answerFileDialog(dir.filePath(chosen));
        windowparts::get<QAction>(*w, "saveAsAction")->trigger();
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(w->settings().projectPath, dir.filePath(file));
        QCOMPARE(beeps.size(), 1);
        QCOMPARE(w->windowTitle(), title);
        QVERIFY(!w->hasUnsavedChanges());
        QCOMPARE(ProjectFile::read(dir.filePath(file)).commands, w->project().commands());

        // Save again writes at once, without a dialog, replacing the contents.
        windowparts::get<QComboBox>(*w, "commandKindCombo")->setCurrentIndex(1);
        windowparts::get<QPushButton>(*w, "addCommandButton")->click();
        QVERIFY(w->hasUnsavedChanges());
        windowparts::get<QAction>(*w, "saveAction")->trigger();
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(beeps.size(), 2);
        QCOMPARE(ProjectFile::read(dir.filePath(file)).commands, w->project().commands());
        QVERIFY(!w->hasUnsavedChanges());
        QFile::remove(dir.filePath(file));
    }

    void saveAsAsksAboutTheFileWritten_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("existing");
        QTest::addColumn<int>("answer"); // 0: no question expected
        QTest::addColumn<QString>("written");
        QTest::newRow("daily over daily.cmdat, no") << "daily" << "daily.cmdat" << int(QMessageBox::No) << "";
        QTest::newRow("daily over daily.cmdat, yes") << "daily" << "daily.cmdat" << int(QMessageBox::Yes)
                                                    << "daily.cmdat";
        QTest::newRow("a.json over a.json.cmdat, no") << "a.json" << "a.json.cmdat" << int(QMessageBox::No) << "";
        QTest::newRow("Up.CMDAT over itself, yes") << "Up.CMDAT" << "Up.CMDAT" << int(QMessageBox::Yes)
                                                   << "Up.CMDAT";
        QTest::newRow("daily beside a file named daily") << "daily" << "daily" << 0 << "daily.cmdat";
    }
    void saveAsAsksAboutTheFileWritten()
    {
        QFETCH(QString, typed);
        QFETCH(QString, existing);
        QFETCH(int, answer);
        QFETCH(QString, written);
        QTemporaryDir here;
        const QByteArray old = "old contents";
        writeFile(here.filePath(existing), old);
        auto w = editor();
        w->settings().projectPath = here.filePath("start.cmdat");
        windowparts::get<QPushButton>(*w, "nextButton")->click();
        DialogAnswerer answerer;
        answerer.answerFileDialog(here.filePath(typed));
        if (answer) {
            answerer.answerMessageBox(QMessageBox::StandardButton(answer));
            if (answer == QMessageBox::No)
                answerer.answerFileDialog(QString()); // the dialog stays open: cancel it
        }
        // Guards: a question about the wrong file, which must not come, is
        // closed, and the dialog it leaves open is cancelled.
        answerer.closeMessageBox();
        answerer.answerFileDialog(QString());
        windowparts::get<QAction>(*w, "saveAsAction")->trigger();
        QCOMPARE(answerer.pending(), 2);
        if (answer) {
            QCOMPARE(answerer.seen.size(), answer == QMessageBox::No ? 3 : 2);
            QVERIFY(!answerer.seen.at(1).fileDialog);
            QVERIFY2(answerer.seen.at(1).text.startsWith(QFileInfo(existing).fileName() + " already exists"),
                     qPrintable(answerer.seen.at(1).text));
        } else {
            QCOMPARE(answerer.seen.size(), 1);
        }
        if (written.isEmpty()) {
            QCOMPARE(readAll(here.filePath(existing)), old);
            QCOMPARE(w->settings().projectPath, here.filePath("start.cmdat"));
            QVERIFY(w->hasUnsavedChanges());
        } else {
            QCOMPARE(w->settings().projectPath, here.filePath(written));
            QCOMPARE(ProjectFile::read(here.filePath(written)).commands, w->project().commands());
            if (written != existing)
                QCOMPARE(readAll(here.filePath(existing)), old);
        }
    }

    void windowRoundTripWithLineBreak()
    {
        auto w = editor();
        w->settings().is_message_file = false;
        windowparts::get<QPushButton>(*w, "nextButton")->click();
        windowparts::get<QComboBox>(*w, "commandKindCombo")->setCurrentIndex(5);
        windowparts::get<QPushButton>(*w, "addCommandButton")->click();
        windowparts::get<QTextEdit>(*w, "textEdit")->insertPlainText("first line\nsecond line");
        windowparts::get<QPushButton>(*w, "nextButton")->click();
        const RecordList commands = w->project().commands();
        const RecordList conditions = w->project().conditions();
        QCOMPARE(commands.at(1).at(1), QString("first line\nsecond line"));
        w->settings().projectPath = dir.filePath("start.cmdat");
        DialogAnswerer answerer;
        answerer.answerFileDialog(dir.filePath("lines"));
        windowparts::get<QAction>(*w, "saveAsAction")->trigger();
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(w->settings().projectPath, dir.filePath("lines.cmdat"));
        windowparts::get<QAction>(*w, "newAction")->trigger();
        QCOMPARE(w->project().commands().size(), 1);
        answerer.answerFileDialog(dir.filePath("lines.cmdat"));
        windowparts::get<QAction>(*w, "openAction")->trigger();
        QCOMPARE(w->project().commands(), commands);
        QCOMPARE(w->project().conditions(), conditions);
        QCOMPARE(w->project().currentPage(), 1);
        QVERIFY(!w->hasUnsavedChanges());
        w->project().setCurrentPage(2);
        w->renderPage();
        QCOMPARE(windowparts::get<QTextEdit>(*w, "textEdit")->toPlainText(), QString("first line\nsecond line"));
    }

    void saveFailureShowsMessage_data()
    {
        QTest::addColumn<bool>("limitSize");
        QTest::addColumn<QString>("prefix");
        QTest::newRow("cannot open") << false << "ファイルを開けませんでした:";
        QTest::newRow("cannot write") << true << "ファイルへの書き込みに失敗しました：";
    }
    void saveFailureShowsMessage()
    {
        QFETCH(bool, limitSize);
        QFETCH(QString, prefix);
        auto w = editor();
        const QString path = limitSize ? dir.filePath("full.cmdat") : dir.path();
        const QByteArray old = "old contents";
        if (limitSize)
            writeFile(path, old);
        for (int i = 0; i < 200; ++i)
            windowparts::get<QPushButton>(*w, "nextButton")->click();
        w->settings().projectPath = path;
        QSignalSpy beeps(w.get(), &tervalo::projectFileBeeped);
        DialogAnswerer answerer;
        answerer.answerMessageBox(QMessageBox::Ok);
        {
            std::unique_ptr<FileSizeLimit> limit(limitSize ? new FileSizeLimit(100) : nullptr);
            windowparts::get<QAction>(*w, "saveAction")->trigger();
        }
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen.first().title, QString("保存エラー"));
        QCOMPARE(answerer.seen.first().text, prefix + path);
        QCOMPARE(answerer.seen.first().icon, QMessageBox::Warning);
        QCOMPARE(beeps.size(), 0);
        QVERIFY(w->hasUnsavedChanges());
        if (limitSize)
            QCOMPARE(readAll(path), old);
    }

    void openFailureKeepsProject_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<bool>("readable");
        QTest::addColumn<bool>("named");
        QTest::addColumn<QString>("text");
        const QString format = "ファイルの形式が正しくありません。";
        const QString parse = "JSON 解析エラー: " + jsonParseError("");
        QTest::newRow("array, new project") << QByteArray("[]") << true << false << format;
        QTest::newRow("array, project with a file") << QByteArray("[]") << true << true << format;
        QTest::newRow("empty, new project") << QByteArray() << true << false << parse;
        QTest::newRow("broken, project with a file") << QByteArray("{\"list_command\": [") << true << true
                                                     << "JSON 解析エラー: " + jsonParseError("{\"list_command\": [");
        QTest::newRow("unreadable, project with a file") << QByteArray("{}") << false << true
                                                         << "ファイルを開けませんでした：" + dir.filePath("bad.cmdat");
    }
    void openFailureKeepsProject()
    {
        QFETCH(QByteArray, contents);
        QFETCH(bool, readable);
        QFETCH(bool, named);
        QFETCH(QString, text);
        const QString path = dir.filePath("bad.cmdat");
        writeFile(path, contents);
        QFile::setPermissions(path, readable ? QFile::ReadOwner | QFile::WriteOwner : QFile::WriteOwner);
        const QString own = dir.filePath("own.cmdat");
        auto w = editor();
        w->settings().is_message_file = false;
        if (named) {
            QVERIFY(ProjectFile::write(own, {{"即時"}}, {{"即時"}}).ok);
            w->settings().projectPath = own;
        }
        windowparts::get<QPushButton>(*w, "nextButton")->click();
        const RecordList before = w->project().commands();
        const QString pathBefore = w->settings().projectPath;
        const QString titleBefore = w->windowTitle();
        QSignalSpy beeps(w.get(), &tervalo::projectFileBeeped);
        DialogAnswerer answerer;
        answerer.answerFileDialog(path);
        answerer.answerMessageBox(QMessageBox::Ok);
        {
            NoFileOverride asOwner; // root reads a file of mode 000 otherwise
            windowparts::get<QAction>(*w, "openAction")->trigger();
        }
        QCOMPARE(answerer.seen.size(), 2);
        QCOMPARE(answerer.seen.at(0).title, QString("コマンドデータを読み込み"));
        QCOMPARE(answerer.seen.at(1).title, QString("読み込みエラー"));
        QCOMPARE(answerer.seen.at(1).text, text);
        QCOMPARE(w->project().commands(), before);
        QCOMPARE(w->settings().projectPath, pathBefore);
        QCOMPARE(w->windowTitle(), titleBefore);
        QCOMPARE(beeps.size(), 0);

        // Save goes where it went before Open, never over the unreadable file.
        if (!named)
            answerer.answerFileDialog(QString()); // no file yet: Save asks for a name
        windowparts::get<QAction>(*w, "saveAction")->trigger();
        QCOMPARE(answerer.seen.size(), named ? 2 : 3);
        QCOMPARE(w->windowTitle(), titleBefore);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        QCOMPARE(readAll(path), contents);
        if (named)
            QCOMPARE(ProjectFile::read(own).commands, before);
        QFile::remove(path);
        QFile::remove(own);
    }

    void openLoadsAndRepairs()
    {
        const QString path = dir.filePath("odd.cmdat");
        writeFile(path, R"({"list_command": [["なし"], 5, ["時間"]], "list_condition": [["即時"]]})");
        auto w = editor();
        windowparts::get<QPushButton>(*w, "nextButton")->click();
        windowparts::get<QPushButton>(*w, "nextButton")->click();
        w->settings().is_message_file = false;
        QSignalSpy beeps(w.get(), &tervalo::projectFileBeeped);
        DialogAnswerer answerer;
        answerer.answerFileDialog(path);
        answerer.answerMessageBox(QMessageBox::Ok);
        windowparts::get<QAction>(*w, "openAction")->trigger();
        // The repair is told once, after the file dialog.
        QCOMPARE(answerer.pending(), 0);
        QCOMPARE(answerer.seen.size(), 2);
        QVERIFY(answerer.seen.at(1).text.contains(QStringLiteral("2 ページ目")));
        QCOMPARE(w->project().commands(), (RecordList{{"なし"}, {"時間"}}));
        QCOMPARE(w->project().conditions(), (RecordList{{"即時"}, {"終わるまで待つ", "0.1"}}));
        QCOMPARE(w->project().currentPage(), 1);
        QCOMPARE(beeps.size(), 1);
        QVERIFY(!w->hasUnsavedChanges());
        QCOMPARE(w->windowTitle(), QString("odd"));
        // The unknown kind is saved back as it was read.
        windowparts::get<QAction>(*w, "saveAction")->trigger();
        QCOMPARE(ProjectFile::read(path).commands, (RecordList{{"なし"}, {"時間"}}));
    }

    void confirmations_data()
    {
        QTest::addColumn<bool>("open");
        QTest::addColumn<bool>("japanese");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("text");
        QTest::newRow("new ja no") << false << true << int(QMessageBox::No)
                                   << "プロジェクトが保存されていません。\n新規作成しますか？";
        QTest::newRow("new en yes") << false << false << int(QMessageBox::Yes)
                                    << "The project has not been saved.\nDo you want to create a new one?";
        QTest::newRow("open ja yes") << true << true << int(QMessageBox::Yes)
                                     << "プロジェクトが保存されていません。\n新しいプロジェクトを読み込みますか？";
        QTest::newRow("open en escape") << true << false << 0
                                        << "The project has not been saved.\nDo you want to load a new project?";
    }
    void confirmations()
    {
        QFETCH(bool, open);
        QFETCH(bool, japanese);
        QFETCH(int, answer);
        QFETCH(QString, text);
        const QString path = dir.filePath("other.cmdat");
        // A sound file: a damaged one would add a box of its own.
        const RecordList other{{"マウスポインター", "3", "4"}};
        QVERIFY(ProjectFile::write(path, other, {{"即時"}}).ok);
        auto w = editor();
        w->settings().is_japanese = japanese;
        windowparts::get<QPushButton>(*w, "nextButton")->click();
        const RecordList before = w->project().commands();
        DialogAnswerer answerer;
        if (answer)
            answerer.answerMessageBox(QMessageBox::StandardButton(answer));
        else
            answerer.closeMessageBox();
        if (answer == QMessageBox::Yes && open)
            answerer.answerFileDialog(path);
        (open ? windowparts::get<QAction>(*w, "openAction") : windowparts::get<QAction>(*w, "newAction"))->trigger();
        QVERIFY(!answerer.seen.isEmpty());
        QCOMPARE(answerer.seen.first().title, japanese ? QString("最終確認") : QString("Warning"));
        QCOMPARE(answerer.seen.first().text, text);
        QCOMPARE(answerer.seen.first().defaultButton, QMessageBox::No);
        const bool went = answer == QMessageBox::Yes;
        QCOMPARE(answerer.seen.size(), went && open ? 2 : 1);
        QCOMPARE(w->project().commands(), went ? (open ? other : RecordList{{"なし"}}) : before);
        QCOMPARE(w->hasUnsavedChanges(), !went);
    }

    void noQuestionWhenSavedOrSwitchedOff_data()
    {
        QTest::addColumn<bool>("changed");
        QTest::addColumn<bool>("flag");
        QTest::newRow("changed back") << false << true;
        QTest::newRow("flag off") << true << false;
    }
    void noQuestionWhenSavedOrSwitchedOff()
    {
        QFETCH(bool, changed);
        QFETCH(bool, flag);
        auto w = editor();
        w->settings().is_message_file = flag;
        w->settings().is_message_delete = false;
        windowparts::get<QPushButton>(*w, "nextButton")->click();
        if (!changed)
            windowparts::get<QPushButton>(*w, "deleteButton")->click(); // back to the blank project: counts as saved again
        QCOMPARE(w->hasUnsavedChanges(), changed);
        DialogAnswerer answerer;
        windowparts::get<QAction>(*w, "newAction")->trigger();
        QCOMPARE(answerer.seen.size(), 0);
        QCOMPARE(w->project().commands(), RecordList{{"なし"}});
    }

    void cancelChangesNothing_data()
    {
        QTest::addColumn<bool>("open");
        QTest::newRow("open") << true;
        QTest::newRow("save as") << false;
    }
    void cancelChangesNothing()
    {
        QFETCH(bool, open);
        const QString path = dir.filePath("named.cmdat");
        QVERIFY(ProjectFile::write(path, {{"即時"}}, {{"即時"}}).ok);
        auto w = editor();
        w->settings().projectPath = path;
        windowparts::get<QPushButton>(*w, "nextButton")->click();
        const RecordList before = w->project().commands();
        const QByteArray file = readAll(path);
        w->settings().is_message_file = false;
        QSignalSpy beeps(w.get(), &tervalo::projectFileBeeped);
        DialogAnswerer answerer;
        answerer.answerFileDialog(QString());
        (open ? windowparts::get<QAction>(*w, "openAction") : windowparts::get<QAction>(*w, "saveAsAction"))->trigger();
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen.first().directory, dir.path()); // starts where the project is
        QCOMPARE(w->settings().projectPath, path);
        QCOMPARE(w->windowTitle(), QString("named"));
        QCOMPARE(w->project().commands(), before);
        QCOMPARE(readAll(path), file);
        QCOMPARE(beeps.size(), 0);
    }

    void loadButtonThenCancelShowsBlankProject()
    {
        tervalo w;
        DialogAnswerer answerer;
        answerer.answerFileDialog(QString());
        windowparts::get<QPushButton>(w, "loadProjectButton")->click();
        QVERIFY(windowparts::get<QGroupBox>(w, "operationGroup")->isVisibleTo(&w));
        QVERIFY(!windowparts::get<QPushButton>(w, "loadProjectButton")->isVisibleTo(&w));
        QCOMPARE(w.windowTitle(), QString("新規プロジェクト"));
        QCOMPARE(w.settings().projectPath, SettingsFile::desktopPath());
        QCOMPARE(w.project().commands(), RecordList{{"なし"}});
    }

    void loadButtonWithBadFileShowsBlankProject()
    {
        const QString path = dir.filePath("broken.cmdat");
        writeFile(path, "[]");
        tervalo w;
        w.settings().lastUsedPath = dir.path();
        DialogAnswerer answerer;
        answerer.answerFileDialog(path);
        answerer.answerMessageBox(QMessageBox::Ok);
        windowparts::get<QPushButton>(w, "loadProjectButton")->click();
        QCOMPARE(answerer.seen.size(), 2);
        QVERIFY(windowparts::get<QGroupBox>(w, "operationGroup")->isVisibleTo(&w));
        QVERIFY(!windowparts::get<QPushButton>(w, "loadProjectButton")->isVisibleTo(&w));
        QCOMPARE(w.windowTitle(), QString("新規プロジェクト"));
        QCOMPARE(w.settings().projectPath, SettingsFile::desktopPath());
        QCOMPARE(w.project().commands(), RecordList{{"なし"}});
        answerer.answerFileDialog(QString());
        windowparts::get<QAction>(w, "saveAction")->trigger(); // asks for a name instead of writing over the file
        QCOMPARE(answerer.seen.size(), 3);
        QVERIFY(answerer.seen.last().fileDialog);
        QCOMPARE(readAll(path), QByteArray("[]"));
    }

    void newResetsPathAndProject()
    {
        auto w = editor();
        w->settings().projectPath = dir.filePath("x.cmdat");
        w->settings().is_message_file = false;
        windowparts::get<QPushButton>(*w, "nextButton")->click();
        w->copy();
        QSignalSpy beeps(w.get(), &tervalo::projectFileBeeped);
        windowparts::get<QAction>(*w, "newAction")->trigger();
        QCOMPARE(w->settings().projectPath, SettingsFile::desktopPath());
        QCOMPARE(w->project().commands(), RecordList{{"なし"}});
        QCOMPARE(w->project().currentPage(), 1);
        QVERIFY(!w->hasUnsavedChanges());
        QCOMPARE(w->windowTitle(), QString("新規プロジェクト"));
        QVERIFY(!w->project().copiedCommand().isEmpty()); // the copied page survives New
        QCOMPARE(beeps.size(), 0);
    }

private:
    std::unique_ptr<tervalo> editor()
    {
        auto w = std::make_unique<tervalo>();
        w->addNewCommand();
        // Open dialogs start in the test's folder, not the build folder.
        w->settings().lastUsedPath = dir.path();
        return w;
    }
    QTemporaryDir dir;
    std::unique_ptr<TempSettings> settings;
    SimFixture sim;
};

QTEST_MAIN(TestProjectFile)
#include "tst_projectfile.moc"
