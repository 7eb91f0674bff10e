// `tervalo_free --record ...`: the exit codes and messages of the program
// itself for bad usage and for an output it must not or cannot write, all
// decided before anything is recorded. (The options as parsed are rows of
// tst_commandline.)

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestRecordCommand : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    int runProgram(const QStringList &arguments, const QString &lang, QByteArray *err = nullptr)
    {
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY")); // nothing here may need one
        env.remove(QStringLiteral("LC_ALL"));
        env.remove(QStringLiteral("LC_MESSAGES"));
        env.insert(QStringLiteral("LANG"), lang);
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
    void exitCodes_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("lang");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("says"); // the start of standard error
        QTest::newRow("bad usage") << QStringList{"--record", "x.cmdat", "--delay", "soon"} << "C" << 64
                                   << "tervalo_free: --delay takes a whole number from 0 to 9999: soon\nUsage: ";
        QTest::newRow("bad usage, Japanese") << QStringList{"--record", "x.cmdat", "--times", "2"} << "ja_JP.UTF-8" << 64
                                             << "tervalo_free: --times は --record と一緒には使えません\n使い方: ";
        QTest::newRow("existing file") << QStringList{"--record", "exists.cmdat"} << "C" << 2
                                       << "tervalo_free: exists.cmdat exists; --force replaces it\n";
        QTest::newRow("existing file, Japanese") << QStringList{"--record", "exists.cmdat"} << "ja_JP.UTF-8" << 2
                                                 << "tervalo_free: exists.cmdat はすでにあります。置き換えるには --force を付けてください\n";
        QTest::newRow("no such folder") << QStringList{"--record", "no/such/folder/x.cmdat"} << "C" << 2
                                        << "tervalo_free: cannot write in ";
        QTest::newRow("a folder") << QStringList{"--record", "sub", "--force"} << "C" << 2
                                  << "tervalo_free: sub is not a file\n";
        // A link is refused even where it points nowhere: writing would follow it.
        QTest::newRow("link that points nowhere") << QStringList{"--record", "dangling.cmdat"} << "C" << 2
                                                  << "tervalo_free: dangling.cmdat is a symbolic link; --force replaces it\n";
        QTest::newRow("link that points nowhere, Japanese")
            << QStringList{"--record", "dangling.cmdat"} << "ja_JP.UTF-8" << 2
            << "tervalo_free: dangling.cmdat はシンボリックリンクです。置き換えるには --force を付けてください\n";
        QTest::newRow("no display") << QStringList{"--record", "new.cmdat"} << "C" << 2
                                    << "tervalo_free: no display to record on (DISPLAY is not set); ";
    }

    void exitCodes()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, lang);
        QFETCH(int, code);
        QFETCH(QString, says);
        QVERIFY(dir.isValid());
        QFile existing(dir.filePath(QStringLiteral("exists.cmdat")));
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("{}");
        existing.close();
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("sub")));
        QFile::link(dir.filePath(QStringLiteral("nowhere/new.cmdat")), dir.filePath(QStringLiteral("dangling.cmdat")));
        QVERIFY(QFileInfo(dir.filePath(QStringLiteral("dangling.cmdat"))).isSymLink());
        QByteArray err;
        QCOMPARE(runProgram(arguments, lang, &err), code);
        QVERIFY2(QString::fromUtf8(err).startsWith(says), err.constData());
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("new.cmdat")))); // nothing written
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("nowhere"))));
        // Refusing leaves an existing file as it was.
        QVERIFY(existing.open(QIODevice::ReadOnly));
        QCOMPARE(existing.readAll(), QByteArray("{}"));
    }
};

QTEST_GUILESS_MAIN(TestRecordCommand)
#include "tst_recordcommand.moc"
