#include "settings/settingsfile.h"
#include "support/filesizelimit.h"
#include "support/tempsettings.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

namespace {
void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}
} // namespace

class TestSettings : public QObject {
    Q_OBJECT
private slots:
    void noFileGivesDefaults()
    {
        TempSettings t;
        SettingsValues v;
        QTest::ignoreMessage(QtDebugMsg, "Config file does not exist. Using defaults.");
        SettingsFile::load(v);
        QCOMPARE(v.stertTime, 5);
        QCOMPARE(v.runNumber, 1);
        QCOMPARE(v.stopCommand, QString("83,3"));
        QCOMPARE(v.projectPath, SettingsFile::desktopPath());
        QVERIFY(v.lastUsedPath.isEmpty());
        QVERIFY(v.is_japanese && v.is_message_file && v.is_message_delete);
        QVERIFY(!v.is_message_paste && !v.is_help && !v.is_used_this && !v.is_used_stert);
    }

    void malformedFilesKeepDefaults_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty object") << QByteArray("{}") << int(QtDebugMsg) << "Config loaded:*";
        QTest::newRow("array") << QByteArray("[]") << int(QtWarningMsg) << "Config JSON is not an object.";
        QTest::newRow("empty file") << QByteArray() << int(QtDebugMsg) << "Config file is empty. Using defaults.";
        QTest::newRow("broken json") << QByteArray("{\"stert_time\": 9,") << int(QtWarningMsg)
                                     << "Failed to parse config JSON:*";
        QTest::newRow("string for number") << QByteArray("{\"stert_time\": \"7\", \"run_number\": 2.5}")
                                           << int(QtDebugMsg) << "Config loaded:*";
    }
    void malformedFilesKeepDefaults()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, type);
        QFETCH(QString, message);
        TempSettings t;
        writeFile(t.settingsFile(), content);
        SettingsValues v;
        QTest::ignoreMessage(QtMsgType(type), QRegularExpression(QRegularExpression::wildcardToRegularExpression(
                                                  message, QRegularExpression::UnanchoredWildcardConversion)));
        SettingsFile::load(v);
        QCOMPARE(v.stertTime, 5);
        QCOMPARE(v.runNumber, 1);
        QCOMPARE(v.stopCommand, QString("83,3"));
        QVERIFY(v.is_japanese);
    }

    void onlyLanguageKey()
    {
        TempSettings t;
        writeFile(t.settingsFile(), "{\"is_japanese\": false}");
        SettingsValues v;
        SettingsFile::load(v);
        QVERIFY(!v.is_japanese);
        QCOMPARE(v.stertTime, 5);
        QVERIFY(v.is_message_file);
    }

    void backslashPath()
    {
        TempSettings t;
        writeFile(t.settingsFile(), R"({"file_path": "C:\\work\\a.cmdat", "stert_time": 12})");
        SettingsValues v;
        SettingsFile::load(v);
        QCOMPARE(v.projectPath, QString("C:/work/a.cmdat"));
        QCOMPARE(v.lastUsedPath, QString("C:/work/a.cmdat"));
        QCOMPARE(v.stertTime, 12);
    }

    void roundTrip()
    {
        TempSettings t;
        SettingsValues v;
        v.projectPath = SettingsFile::desktopPath();
        v.stertTime = 3;
        v.runNumber = 114514;
        v.stopCommand = "なし";
        v.lastUsedPath = "/x/last.cmdat";
        v.is_japanese = false;
        v.is_message_paste = true;
        v.record_delay = 8;
        v.record_stop_command = "116,4";
        v.record_join_text = false;
        QVERIFY(SettingsFile::save(v));
        const QJsonObject o = QJsonDocument::fromJson(readFile(t.settingsFile())).object();
        // The eleven designed keys and the five of the record dialog.
        const QStringList keys{"stert_time", "run_number", "stop_command", "file_path", "is_used_stert",
                               "is_used_this", "is_help", "is_message_file", "is_message_paste",
                               "is_message_delete", "is_japanese", "record_delay", "record_stop_command",
                               "record_glides", "record_join_text", "record_keep_pauses"};
        QCOMPARE(o.size(), keys.size());
        for (const QString &key : keys)
            QVERIFY2(o.contains(key), qPrintable(key));
        // A project without a file saves the last-used path instead.
        QCOMPARE(o.value("file_path").toString(), QString("/x/last.cmdat"));
        SettingsValues back;
        SettingsFile::load(back);
        QCOMPARE(back.stertTime, 3);
        QCOMPARE(back.runNumber, 114514);
        QCOMPARE(back.stopCommand, QString("なし"));
        QVERIFY(!back.is_japanese);
        QVERIFY(back.is_message_paste);
        QCOMPARE(back.record_delay, 8);
        QCOMPARE(back.record_stop_command, QString("116,4"));
        QVERIFY(!back.record_join_text);
        QVERIFY(back.record_glides);
        QVERIFY(back.record_keep_pauses);
    }

    // A file of an older version, without the record keys, keeps their
    // defaults; wrong types are ignored like those of the designed keys.
    void recordKeysDefaultAndTypes_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<int>("delay");
        QTest::addColumn<QString>("stop");
        QTest::addColumn<bool>("glides");
        QTest::newRow("older file") << QByteArray("{\"stert_time\": 7}") << 5 << "83,3" << true;
        QTest::newRow("given") << QByteArray("{\"record_delay\": 2, \"record_stop_command\": \"120,0\", \"record_glides\": false}")
                               << 2 << "120,0" << false;
        QTest::newRow("wrong types") << QByteArray("{\"record_delay\": \"2\", \"record_stop_command\": 5, \"record_glides\": 0}")
                                     << 5 << "83,3" << true;
    }

    void recordKeysDefaultAndTypes()
    {
        QFETCH(QByteArray, json);
        QFETCH(int, delay);
        QFETCH(QString, stop);
        QFETCH(bool, glides);
        TempSettings t;
        QVERIFY(t.write(json));
        SettingsValues v;
        SettingsFile::load(v);
        QCOMPARE(v.record_delay, delay);
        QCOMPARE(v.record_stop_command, stop);
        QCOMPARE(v.record_glides, glides);
    }

    void migrationNeverOverwrites()
    {
        TempSettings t;
        writeFile(t.appDir + "/tervalo_free.json", "{\"stert_time\": 1}");
        writeFile(t.settingsFile(), "{\"stert_time\": 2}");
        SettingsValues v;
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Migrated config from"));
        SettingsFile::load(v);
        QCOMPARE(v.stertTime, 2);
        QVERIFY(QFile::exists(t.appDir + "/tervalo_free.json")); // the old file stays
    }

    void migrationCopiesOldFile()
    {
        TempSettings t;
        writeFile(t.appDir + "/tervalo_free.json", "{\"stert_time\": 1}");
        SettingsValues v;
        SettingsFile::load(v);
        QCOMPARE(v.stertTime, 1);
        QVERIFY(QFile::exists(t.settingsFile()));
    }

    // What the command-line player reads: the file load would use, found
    // without the migration copy and without making the settings folder.
    void readWritesNothing_data()
    {
        QTest::addColumn<QByteArray>("inConfig"); // empty: no file there
        QTest::addColumn<QByteArray>("besideProgram");
        QTest::addColumn<int>("stertTime");
        QTest::newRow("settings folder") << QByteArray("{\"stert_time\": 2}") << QByteArray() << 2;
        QTest::newRow("settings folder wins") << QByteArray("{\"stert_time\": 2}") << QByteArray("{\"stert_time\": 1}") << 2;
        QTest::newRow("only beside the program") << QByteArray() << QByteArray("{\"stert_time\": 1}") << 1;
        QTest::newRow("none") << QByteArray() << QByteArray() << 5;
    }
    void readWritesNothing()
    {
        QFETCH(QByteArray, inConfig);
        QFETCH(QByteArray, besideProgram);
        QFETCH(int, stertTime);
        TempSettings t;
        if (!inConfig.isEmpty())
            writeFile(t.settingsFile(), inConfig);
        if (!besideProgram.isEmpty())
            writeFile(t.appDir + "/tervalo_free.json", besideProgram);
        SettingsValues v;
        SettingsFile::read(v);
        QCOMPARE(v.stertTime, stertTime);
        QCOMPARE(readFile(t.settingsFile()), inConfig);
        QCOMPARE(QFileInfo::exists(t.configDir), !inConfig.isEmpty());
        QCOMPARE(readFile(t.appDir + "/tervalo_free.json"), besideProgram);
    }

    void unwritableConfigDirFallsBack()
    {
        TempSettings t;
        // A regular file where the directory should be: mkpath must fail.
        writeFile(t.dir.path() + "/blocker", "x");
        SettingsFile::setDirectoriesForTesting(t.dir.path() + "/blocker/config", t.appDir);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Failed to create config dir:"));
        QCOMPARE(SettingsFile::settingsPath(), t.appDir + "/tervalo_free.json");
        SettingsValues v;
        v.projectPath = "/p/q.cmdat";
        v.stertTime = 44;
        QVERIFY(SettingsFile::save(v));
        QVERIFY(QFile::exists(t.appDir + "/tervalo_free.json"));
        SettingsValues back;
        SettingsFile::load(back);
        QCOMPARE(back.stertTime, 44);
    }

    void failedSaveKeepsOldFile()
    {
        TempSettings t;
        SettingsValues v;
        v.projectPath = "/p.cmdat";
        QVERIFY(SettingsFile::save(v));
        const QByteArray before = readFile(t.settingsFile());
        QVERIFY(!before.isEmpty());
        v.stertTime = 99;
        v.projectPath = QString(200, QChar('x'));
        bool saved = true;
        {
            FileSizeLimit limit(16);
            saved = SettingsFile::save(v);
        }
        QVERIFY(!saved);
        QCOMPARE(readFile(t.settingsFile()), before);
    }

    void pathIsADirectory()
    {
        TempSettings t;
        QDir().mkpath(t.settingsFile()); // the settings "file" is a folder
        SettingsValues v;
        QVERIFY(!SettingsFile::save(v));
        SettingsFile::load(v); // must not crash, keeps defaults
        QCOMPARE(v.stertTime, 5);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
