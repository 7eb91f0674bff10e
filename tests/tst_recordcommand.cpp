// `tervalo_free --record ...`: the options as parsed, and the exit codes of
// the program itself for bad usage and an output it must not or cannot
// write (both decided before anything is recorded).

#include "app/recordcommand.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestRecordCommand : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    int runProgram(const QStringList &arguments, QByteArray *err = nullptr)
    {
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY")); // nothing here may need one
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        program.setProcessEnvironment(env);
        program.setWorkingDirectory(dir.path());
        program.start(QCoreApplication::applicationDirPath() + QStringLiteral("/tervalo_free"), arguments);
        if (!program.waitForFinished(30000))
            return -1;
        if (err)
            *err = program.readAllStandardError();
        return program.exitCode();
    }

private slots:
    void parsesTheOptions_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("delay");
        QTest::addColumn<QString>("stopKey");
        QTest::addColumn<bool>("force");
        QTest::newRow("file only") << QStringList{"--record", "a.cmdat"} << true << "a.cmdat" << 5 << "83,3" << false;
        QTest::newRow("everything, with =")
            << QStringList{"--record=b.cmdat", "--delay=0", "--stop-key=120", "--force"} << true << "b.cmdat" << 0
            << "120,0" << true;
        QTest::newRow("everything, spaced, any order")
            << QStringList{"--stop-key", "71,3", "--record", "c.cmdat", "--delay", "9999"} << true << "c.cmdat"
            << 9999 << "71,3" << false;
        QTest::newRow("no file") << QStringList{"--record"} << false << "" << 0 << "" << false;
        QTest::newRow("empty file") << QStringList{"--record="} << false << "" << 0 << "" << false;
        QTest::newRow("delay not a number") << QStringList{"--record", "a", "--delay", "x"} << false << "" << 0 << "" << false;
        QTest::newRow("negative delay") << QStringList{"--record", "a", "--delay", "-1"} << false << "" << 0 << "" << false;
        QTest::newRow("delay too long") << QStringList{"--record", "a", "--delay", "10000"} << false << "" << 0 << "" << false;
        QTest::newRow("no stop key") << QStringList{"--record", "a", "--stop-key", "なし"} << false << "" << 0 << "" << false;
        QTest::newRow("stop key 0") << QStringList{"--record", "a", "--stop-key", "0"} << false << "" << 0 << "" << false;
        QTest::newRow("mask too large") << QStringList{"--record", "a", "--stop-key", "83,16"} << false << "" << 0 << "" << false;
        QTest::newRow("hold time is not part of it") << QStringList{"--record", "a", "--stop-key", "83,3,1"} << false << "" << 0 << "" << false;
        QTest::newRow("twice") << QStringList{"--record", "a", "--record", "b"} << false << "" << 0 << "" << false;
        QTest::newRow("unknown option") << QStringList{"--record", "a", "--quick"} << false << "" << 0 << "" << false;
        QTest::newRow("positional") << QStringList{"--record", "a", "b"} << false << "" << 0 << "" << false;
        QTest::newRow("force with a value") << QStringList{"--record", "a", "--force=yes"} << false << "" << 0 << "" << false;
    }

    void parsesTheOptions()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, ok);
        QFETCH(QString, file);
        QFETCH(int, delay);
        QFETCH(QString, stopKey);
        QFETCH(bool, force);
        QVERIFY(RecordCommand::wanted(arguments));
        const RecordCommand::Parsed p = RecordCommand::parse(arguments);
        QCOMPARE(p.ok, ok);
        QCOMPARE(p.error.isEmpty(), ok);
        if (!ok)
            return;
        QCOMPARE(p.options.file, file);
        QCOMPARE(p.options.delay, delay);
        QCOMPARE(p.options.stopKey, stopKey);
        QCOMPARE(p.options.force, force);
    }

    void otherArgumentsAreNotARecording()
    {
        QVERIFY(!RecordCommand::wanted({}));
        QVERIFY(!RecordCommand::wanted({QStringLiteral("--recording")}));
    }

    void exitCodes_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("says");
        QTest::newRow("bad usage") << QStringList{"--record", "x.cmdat", "--delay", "soon"} << 64 << QByteArray("usage:");
        QTest::newRow("existing file") << QStringList{"--record", "exists.cmdat"} << 2 << QByteArray("--force");
        QTest::newRow("no such folder") << QStringList{"--record", "no/such/folder/x.cmdat"} << 2 << QByteArray("cannot write");
        QTest::newRow("a folder") << QStringList{"--record", "sub", "--force"} << 2 << QByteArray("not a file");
    }

    void exitCodes()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, code);
        QFETCH(QByteArray, says);
        QVERIFY(dir.isValid());
        QFile existing(dir.filePath(QStringLiteral("exists.cmdat")));
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("{}");
        existing.close();
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("sub")));
        QByteArray err;
        QCOMPARE(runProgram(arguments, &err), code);
        QVERIFY2(err.contains(says), err.constData());
        // Refusing leaves an existing file as it was.
        QVERIFY(existing.open(QIODevice::ReadOnly));
        QCOMPARE(existing.readAll(), QByteArray("{}"));
    }
};

QTEST_GUILESS_MAIN(TestRecordCommand)
#include "tst_recordcommand.moc"
