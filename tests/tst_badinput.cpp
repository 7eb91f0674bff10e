// Files a person might point the program at by mistake, or that were damaged:
// deep nesting, 100 MB files, folders, unreadable files, pipes, devices, a
// byte-order mark. Each one either loads or shows its message; none hangs or
// crashes. Open goes through the window as the person does it; the settings
// through the load the window's constructor runs.

#include "gui/mainwindow/tervalo.h"
#include "project/projectfile.h"
#include "settings/settingsfile.h"
#include "support/dialoganswerer.h"
#include "support/junkbytes.h"
#include "support/nofileoverride.h"
#include "support/simfixture.h"
#include "support/tempsettings.h"
#include "support/windowparts.h"

#include <QAction>
#include <QPushButton>
#include <QtTest>

#include <sys/stat.h>

#include <algorithm>

Q_DECLARE_METATYPE(RecordList)

namespace {
constexpr qint64 k100MB = 100 * 1000 * 1000;

QString jsonParseError(const QByteArray &text)
{
    QJsonParseError e;
    QJsonDocument::fromJson(text, &e);
    return e.errorString();
}

QByteArray nested(int depth, const QByteArray &open, const QByteArray &close)
{
    return open.repeated(depth) + close.repeated(depth);
}

/// A valid project of about `size` bytes: many Enter Text pages, in the
/// indented form the program writes.
QByteArray manyPages(qint64 size, int *pages)
{
    const QByteArray page = "        [\n            \"入力\",\n            \"abcdefghij\",\n            \"3\"\n        ],\n";
    QByteArray json = "{\n    \"list_command\": [\n";
    const qint64 count = (size - 64) / page.size();
    json += page.repeated(count);
    json.chop(2); // the last comma
    json += "\n    ],\n    \"list_condition\": [\n    ]\n}\n";
    *pages = int(count);
    return json;
}

/// Everything from a message a log line starts with, for checking labels.
QStringList g_log;
void collect(QtMsgType, const QMessageLogContext &, const QString &text)
{
    g_log.append(text);
}
} // namespace

class TestBadInput : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        settings.reset(new TempSettings);
        QVERIFY(settings->write("{\"is_used_this\": true}"));
        QVERIFY(dir.isValid());
    }
    void cleanup()
    {
        // Gone before the next row writes its own 100 MB.
        for (const QString &name : QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System)) {
            const QString path = dir.filePath(name);
            QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            if (QFileInfo(path).isDir() && !QFileInfo(path).isSymLink())
                QDir(path).removeRecursively();
            else
                QFile::remove(path);
        }
    }

    void openProject_data()
    {
        QTest::addColumn<QString>("kind");      // see makeInput()
        QTest::addColumn<QByteArray>("bytes");  // the file's contents, for kind "file"
        QTest::addColumn<QString>("message");   // the box's text ("<path>" is the file); empty: loads
        QTest::addColumn<RecordList>("loaded"); // the first pages once loaded

        const QByteArray deepArrays = "{\"list_command\": [" + nested(2000, "[", "]") + "]}";
        QTest::newRow("arrays nested 2000 deep") << "file" << deepArrays
                                                 << "JSON 解析エラー: " + jsonParseError(deepArrays) << RecordList{};
        const QByteArray deepObjects = nested(2000, "{\"a\":", "}");
        QTest::newRow("objects nested 2000 deep") << "file" << deepObjects
                                                  << "JSON 解析エラー: " + jsonParseError(deepObjects) << RecordList{};
        QTest::newRow("UTF-8 byte-order mark")
            << "file" << QByteArray("\xEF\xBB\xBF{\"list_command\": [[\"クリック\", \"左\", \"0.01\"]], \"list_condition\": [[\"即時\"]]}")
            << QString() << RecordList{{"クリック", "左", "0.01"}};
        const QByteArray utf16 = QByteArray("\xFF\xFE") + QByteArray("{\0}\0", 4);
        QTest::newRow("UTF-16 text") << "file" << utf16 << "JSON 解析エラー: " + jsonParseError(utf16) << RecordList{};
        QTest::newRow("100 MB of junk") << "junk" << QByteArray() << "JSON 解析エラー: " + jsonParseError(junk(16))
                                        << RecordList{};
        QTest::newRow("100 MB project of short pages") << "pages" << QByteArray() << QString()
                                                       << RecordList{{"入力", "abcdefghij", "3"}, {"入力", "abcdefghij", "3"}};
        QTest::newRow("100 MB text on the first page") << "text" << QByteArray() << QString()
                                                       << RecordList{{"入力", "<100 MB>", "3"}};
        const QString cannotOpen = QStringLiteral("ファイルを開けませんでした：<path>");
        QTest::newRow("sparse 3 GB file") << "sparse" << QByteArray() << cannotOpen << RecordList{};
        // A folder cannot be chosen: the Open dialog goes into it instead.
        QTest::newRow("unreadable") << "unreadable" << QByteArray() << cannotOpen << RecordList{};
        QTest::newRow("named pipe nobody writes to") << "fifo" << QByteArray() << cannotOpen << RecordList{};
        QTest::newRow("link to an endless device") << "device" << QByteArray() << cannotOpen << RecordList{};
    }
    void openProject()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        QFETCH(RecordList, loaded);
        const QString path = dir.filePath("input.cmdat");
        QVERIFY(makeInput(kind, path, bytes));
        message.replace("<path>", path);

        auto w = std::make_unique<tervalo>();
        w->addNewCommand();
        w->settings().is_message_file = false;
        windowparts::get<QPushButton>(*w, "nextButton")->click();
        const RecordList before = w->project().commands();
        const QString pathBefore = w->settings().projectPath;
        QSignalSpy beeps(w.get(), &tervalo::projectFileBeeped);
        DialogAnswerer answerer;
        answerer.answerFileDialog(path);
        // These two are repaired (no conditions; a text page without its
        // time), and Open says so once (openTellsRepairs).
        const bool repaired = kind == "pages" || kind == "text";
        if (!message.isEmpty() || repaired)
            answerer.answerMessageBox(QMessageBox::Ok);
        std::unique_ptr<NoFileOverride> lowered(kind == "unreadable" ? new NoFileOverride : nullptr);
        QElapsedTimer took;
        took.start();
        windowparts::get<QAction>(*w, "openAction")->trigger();
        const qint64 ms = took.elapsed();
        lowered.reset();
        qInfo("%s: %s in %lld ms", QTest::currentDataTag(),
              message.isEmpty() ? qPrintable(QStringLiteral("loaded %1 pages").arg(w->project().commands().size()))
                                : qPrintable(QStringLiteral("message \"%1\"").arg(message)),
              ms);

        QCOMPARE(answerer.pending(), 0);
        if (message.isEmpty()) {
            QCOMPARE(answerer.seen.size(), repaired ? 2 : 1);
            QVERIFY(w->project().commands().size() >= loaded.size());
            for (int i = 0; i < loaded.size(); ++i) {
                QStringList expected = loaded.at(i);
                expected.replaceInStrings("<100 MB>", QString(k100MB, QLatin1Char('x')));
                QCOMPARE(w->project().commands().at(i), expected);
            }
            QCOMPARE(w->project().currentPage(), 1);
            QCOMPARE(beeps.size(), 1);
            QVERIFY(!w->hasUnsavedChanges());
        } else {
            QCOMPARE(answerer.seen.size(), 2);
            QCOMPARE(answerer.seen.at(1).title, QString("読み込みエラー"));
            QCOMPARE(answerer.seen.at(1).text, message);
            QCOMPARE(answerer.seen.at(1).icon, QMessageBox::Warning);
            QCOMPARE(w->project().commands(), before);
            QCOMPARE(beeps.size(), 0);
        }
        // A file that could not be read does not become the project's file.
        QCOMPARE(w->settings().projectPath, message.isEmpty() ? path : pathBefore);
    }

    // Open keeps its repair of a damaged file and says so once: one box in
    // the window's language that lists the pages; a sound file shows none.
    void openTellsRepairs_data()
    {
        QTest::addColumn<bool>("japanese");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("pages"); // how the box names each page it lists; empty: no box

        const QByteArray damaged = R"({"list_command": [["なし"], ["ホイール", "下", "-5"], ["謎"]],
                                       "list_condition": [["即時"], ["色", "0", "0", "#zzzzzz", "999"]]})";
        QTest::newRow("English") << false << damaged << QStringList{"page 2", "page 2", "page 2", "page 3", "page 3"};
        QTest::newRow("Japanese") << true << damaged
                                  << QStringList{"2 ページ目", "2 ページ目", "2 ページ目", "3 ページ目", "3 ページ目"};
        QTest::newRow("sound file") << false
                                    << QByteArray(R"({"list_command": [["なし"]], "list_condition": [["即時"]]})")
                                    << QStringList();
    }
    void openTellsRepairs()
    {
        QFETCH(bool, japanese);
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, pages);
        const QString path = dir.filePath("repaired.cmdat");
        QVERIFY(makeInput("file", path, bytes));
        auto w = std::make_unique<tervalo>();
        w->settings().is_japanese = japanese;
        w->settings().is_message_file = false;
        DialogAnswerer answerer;
        answerer.answerFileDialog(path);
        if (!pages.isEmpty())
            answerer.answerMessageBox(QMessageBox::Ok);
        windowparts::get<QAction>(*w, "openAction")->trigger();
        // The repair is kept: as many pages as the longer list.
        QCOMPARE(w->project().commands().size(), pages.isEmpty() ? 1 : 3);
        QCOMPARE(w->project().conditions().size(), w->project().commands().size());
        QCOMPARE(answerer.seen.size(), pages.isEmpty() ? 1 : 2); // the file dialog, then at most one box
        QCOMPARE(answerer.pending(), 0);
        if (pages.isEmpty())
            return;
        const QStringList lines = answerer.seen.at(1).text.split(QLatin1Char('\n'));
        QStringList listed;
        for (const QString &line : lines) {
            const qsizetype at = line.indexOf(japanese ? QStringLiteral(" ページ目") : QStringLiteral("page "));
            if (at >= 0)
                listed << line.mid(japanese ? at - 1 : at, japanese ? 6 : 6);
        }
        QCOMPARE(listed, pages);
        QVERIFY(answerer.seen.at(1).text.contains(QStringLiteral("#zzzzzz")));
        QVERIFY(!w->hasUnsavedChanges());
    }

    void loadSettings_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("warning"); // start of the logged failure; empty: loads
        const QString notParsed = QStringLiteral("Failed to parse config JSON:");
        const QString notOpened = QStringLiteral("Failed to open config file for reading:");
        QTest::newRow("arrays nested 2000 deep")
            << "file" << "{\"is_japanese\": false, \"more\": " + nested(2000, "[", "]") + "}" << notParsed;
        QTest::newRow("UTF-8 byte-order mark") << "file" << QByteArray("\xEF\xBB\xBF{\"is_japanese\": false}") << QString();
        QTest::newRow("900 KB: the values, then spaces") << "spaces" << QByteArray() << QString();
        // Far larger than any settings the program writes: not read at all.
        QTest::newRow("100 MB of junk") << "junk" << QByteArray() << notOpened;
        QTest::newRow("sparse 3 GB file") << "sparse" << QByteArray() << notOpened;
        QTest::newRow("folder") << "folder" << QByteArray() << notOpened;
        QTest::newRow("unreadable") << "unreadable" << QByteArray() << notOpened;
        QTest::newRow("named pipe nobody writes to") << "fifo" << QByteArray() << notOpened;
        QTest::newRow("link to an endless device") << "device" << QByteArray() << notOpened;
    }
    void loadSettings()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, warning);
        TempSettings t;
        QVERIFY(QDir().mkpath(t.configDir));
        QVERIFY(makeInput(kind, t.settingsFile(), bytes));

        SettingsValues v;
        g_log.clear();
        const QtMessageHandler previous = qInstallMessageHandler(collect);
        std::unique_ptr<NoFileOverride> lowered(kind == "unreadable" ? new NoFileOverride : nullptr);
        QElapsedTimer took;
        took.start();
        SettingsFile::load(v);
        const qint64 ms = took.elapsed();
        lowered.reset();
        qInstallMessageHandler(previous);
        qInfo("settings, %s: %s in %lld ms", QTest::currentDataTag(),
              warning.isEmpty() ? "loaded" : qPrintable(QStringLiteral("defaults kept, logged \"%1\"").arg(warning)), ms);

        const bool logged = std::any_of(g_log.cbegin(), g_log.cend(), [&](const QString &line) {
            return line.startsWith(warning.isEmpty() ? QStringLiteral("Config loaded:") : warning);
        });
        QVERIFY2(logged, qPrintable(g_log.join('\n').left(2000)));
        // The file turns the interface to English whenever it is read at all.
        QCOMPARE(v.is_japanese, !warning.isEmpty());
        QCOMPARE(v.stertTime, 5);
    }

private:
    /// Puts the bad input of `kind` at `path`.
    bool makeInput(const QString &kind, const QString &path, const QByteArray &bytes)
    {
        auto write = [&path](const QByteArray &data) {
            QFile f(path);
            return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
        };
        if (kind == "file")
            return write(bytes);
        if (kind == "junk")
            return write(junk(k100MB));
        if (kind == "pages") {
            int pages = 0;
            return write(manyPages(k100MB, &pages));
        }
        if (kind == "text")
            return write("{\"list_command\": [[\"入力\", \"" + QByteArray(k100MB, 'x') + "\", \"3\"]], \"list_condition\": []}");
        if (kind == "spaces")
            return write("{\"is_japanese\": false}" + QByteArray(900 * 1000, ' '));
        if (kind == "sparse") {
            // Takes no room on the disk, but reading it whole would take 3 GB.
            QFile f(path);
            return f.open(QIODevice::WriteOnly) && f.resize(qint64(3) << 30);
        }
        if (kind == "folder")
            return QDir().mkdir(path);
        if (kind == "unreadable") {
            if (!write("{}") || !QFile::setPermissions(path, {}))
                return false;
            // Only a test that really cannot open the file tests anything.
            NoFileOverride lowered;
            QFile f(path);
            return !f.open(QIODevice::ReadOnly);
        }
        if (kind == "fifo")
            return mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
        if (kind == "device")
            return QFile::link(QStringLiteral("/dev/zero"), path);
        return false;
    }

    QTemporaryDir dir;
    std::unique_ptr<TempSettings> settings;
    SimFixture sim;
};

QTEST_MAIN(TestBadInput)
#include "tst_badinput.moc"
