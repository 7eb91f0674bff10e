// The command-line options: what each command line asks for, and which ones
// are refused with which message. The real program is driven with them in
// tests/x11/tst_player.cpp (playing), tests/tst_recordcommand.cpp and
// tests/x11/tst_x11recorder.cpp (recording).

#include "app/commandline.h"

#include <QtTest>

using Mode = CommandLine::Mode;

class TestCommandLine : public QObject {
    Q_OBJECT

    static QStringList split(const QString &line) { return line.split(QLatin1Char(' '), Qt::SkipEmptyParts); }

private slots:
    void accepted_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("times");     // -1: not given
        QTest::addColumn<int>("delay");     // -1: not given
        QTest::addColumn<QString>("stopKey"); // empty: not given
        QTest::addColumn<QString>("switches"); // u until-stopped, n no-stop-key, q quiet, f force

        QTest::newRow("nothing") << "" << int(Mode::Window) << "" << -1 << -1 << "" << "";
        QTest::newRow("play only") << "--play a.cmdat" << int(Mode::Play) << "a.cmdat" << -1 << -1 << "" << "";
        QTest::newRow("everything, separate values")
            << "--play /x/b.cmdat --times 3 --delay 0 --stop-key 116,6 --quiet" << int(Mode::Play) << "/x/b.cmdat" << 3
            << 0 << "116,6" << "q";
        QTest::newRow("values after =") << "--times=9999 --play=c d.cmdat --delay=9999 --stop-key=65"
                                        << int(Mode::Play) << "c d.cmdat" << 9999 << 9999 << "65" << "";
        QTest::newRow("until stopped, no stop key")
            << "--until-stopped --no-stop-key --play p" << int(Mode::Play) << "p" << -1 << -1 << "" << "un";
        QTest::newRow("modifier key as stop key") << "--play p --stop-key 162,0" << int(Mode::Play) << "p" << -1 << -1
                                                  << "162,0" << "";
        QTest::newRow("all four modifiers") << "--play p --stop-key 83,15" << int(Mode::Play) << "p" << -1 << -1
                                            << "83,15" << "";
        QTest::newRow("help") << "--help" << int(Mode::Help) << "" << -1 << -1 << "" << "";
        QTest::newRow("help wins over play") << "--play p --times 2 --help" << int(Mode::Help) << "" << -1 << -1
                                             << "" << "";
        QTest::newRow("version") << "--version" << int(Mode::Version) << "" << -1 << -1 << "" << "";
        QTest::newRow("record only") << "--record a.cmdat" << int(Mode::Record) << "a.cmdat" << -1 << -1 << "" << "";
        QTest::newRow("record, everything after =") << "--record=b.cmdat --delay=0 --stop-key=120 --force"
                                                    << int(Mode::Record) << "b.cmdat" << -1 << 0 << "120" << "f";
        QTest::newRow("record, separate values, any order") << "--stop-key 71,3 --record c.cmdat --delay 9999"
                                                            << int(Mode::Record) << "c.cmdat" << -1 << 9999 << "71,3"
                                                            << "";
        QTest::newRow("check") << "--check a.cmdat" << int(Mode::Check) << "a.cmdat" << -1 << -1 << "" << "";
        QTest::newRow("check after =") << "--check=b%1.cmdat" << int(Mode::Check) << "b%1.cmdat" << -1 << -1 << ""
                                       << "";
        QTest::newRow("stop") << "--stop" << int(Mode::Stop) << "" << -1 << -1 << "" << "";
        QTest::newRow("help wins over record") << "--record r --force --help" << int(Mode::Help) << "" << -1 << -1
                                               << "" << "";
    }

    void accepted()
    {
        QFETCH(QString, line);
        QFETCH(int, mode);
        QFETCH(QString, file);
        QFETCH(int, times);
        QFETCH(int, delay);
        QFETCH(QString, stopKey);
        QFETCH(QString, switches);
        // "c d.cmdat" is one argument: a file name with a space.
        QStringList arguments = split(line);
        const qsizetype c = arguments.indexOf(QStringLiteral("--play=c"));
        if (c >= 0)
            arguments.replace(c, QStringLiteral("--play=c ") + arguments.takeAt(c + 1));

        const CommandLine::Result r = CommandLine::parse(arguments, false);
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(r.error, QString());
        QCOMPARE(int(r.options.mode), mode);
        QCOMPARE(r.options.file, file);
        QCOMPARE(r.options.times.value_or(-1), times);
        QCOMPARE(r.options.delay.value_or(-1), delay);
        QCOMPARE(r.options.stopKey.value_or(QString()), stopKey);
        QCOMPARE(r.options.untilStopped, switches.contains(QLatin1Char('u')));
        QCOMPARE(r.options.noStopKey, switches.contains(QLatin1Char('n')));
        QCOMPARE(r.options.quiet, switches.contains(QLatin1Char('q')));
        QCOMPARE(r.options.force, switches.contains(QLatin1Char('f')));
    }

    void refused_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("english");
        QTest::addColumn<QString>("japanese");

        QTest::newRow("times 0") << "--play p --times 0" << "--times takes a whole number from 1 to 9999: 0"
                                 << "--times は 1 から 9999 までの整数です: 0";
        QTest::newRow("times abc") << "--play p --times abc" << "--times takes a whole number from 1 to 9999: abc"
                                   << "--times は 1 から 9999 までの整数です: abc";
        QTest::newRow("times 10000") << "--play p --times 10000"
                                     << "--times takes a whole number from 1 to 9999: 10000"
                                     << "--times は 1 から 9999 までの整数です: 10000";
        QTest::newRow("times 2.5") << "--play p --times=2.5" << "--times takes a whole number from 1 to 9999: 2.5"
                                   << "--times は 1 から 9999 までの整数です: 2.5";
        QTest::newRow("times huge") << "--play p --times 99999999999"
                                    << "--times takes a whole number from 1 to 9999: 99999999999"
                                    << "--times は 1 から 9999 までの整数です: 99999999999";
        QTest::newRow("delay -1") << "--play p --delay -1" << "--delay takes a whole number from 0 to 9999: -1"
                                  << "--delay は 0 から 9999 までの整数です: -1";
        QTest::newRow("unknown option") << "--play p --fast" << "unknown option: --fast" << "不明なオプションです: --fast";
        QTest::newRow("single dash") << "-play p" << "unexpected argument: -play" << "余分な引数があります: -play";
        QTest::newRow("positional") << "--play p q" << "unexpected argument: q" << "余分な引数があります: q";
        QTest::newRow("stop key not a code") << "--play p --stop-key ctrl+s"
                                             << "--stop-key takes a key code \"key,modifiers\" (e.g. 83,3 = Ctrl+Alt+S): ctrl+s"
                                             << "--stop-key はキーコード「キー,修飾」です（例: 83,3 = Ctrl+Alt+S）: ctrl+s";
        QTest::newRow("stop key 0") << "--play p --stop-key 0,2"
                                    << "--stop-key takes a key code \"key,modifiers\" (e.g. 83,3 = Ctrl+Alt+S): 0,2"
                                    << "--stop-key はキーコード「キー,修飾」です（例: 83,3 = Ctrl+Alt+S）: 0,2";
        QTest::newRow("stop key mask 16") << "--play p --stop-key 83,16"
                                          << "--stop-key takes a key code \"key,modifiers\" (e.g. 83,3 = Ctrl+Alt+S): 83,16"
                                          << "--stop-key はキーコード「キー,修飾」です（例: 83,3 = Ctrl+Alt+S）: 83,16";
        QTest::newRow("stop key none") << "--play p --stop-key なし"
                                       << "--stop-key takes a key code \"key,modifiers\" (e.g. 83,3 = Ctrl+Alt+S): なし"
                                       << "--stop-key はキーコード「キー,修飾」です（例: 83,3 = Ctrl+Alt+S）: なし";
        QTest::newRow("value missing at end") << "--play p --times" << "--times needs a value (N)"
                                              << "--times には値（回数）が必要です";
        QTest::newRow("value missing before option") << "--play --times 2" << "--play needs a value (FILE)"
                                                     << "--play には値（ファイル）が必要です";
        QTest::newRow("empty value") << "--play=" << "--play has an empty value" << "--play の値が空です";
        QTest::newRow("switch with value") << "--play p --quiet=yes" << "--quiet takes no value"
                                           << "--quiet は値を取りません";
        QTest::newRow("twice") << "--play p --times 2 --times 3" << "--times is given twice"
                               << "--times が二度指定されています";
        QTest::newRow("times and until stopped") << "--play p --times 2 --until-stopped"
                                                 << "--times and --until-stopped cannot be used together"
                                                 << "--times と --until-stopped は同時に指定できません";
        QTest::newRow("stop key and no stop key") << "--play p --no-stop-key --stop-key 83,3"
                                                  << "--stop-key and --no-stop-key cannot be used together"
                                                  << "--stop-key と --no-stop-key は同時に指定できません";
        QTest::newRow("option without play") << "--times 2" << "--times needs --play" << "--times は --play と一緒に使います";
        QTest::newRow("play and version") << "--play p --version" << "--play and --version cannot be used together"
                                          << "--play と --version は同時に指定できません";
        QTest::newRow("version with an option") << "--version --quiet" << "--quiet cannot be used with --version"
                                                << "--quiet は --version と一緒には使えません";
        QTest::newRow("record without a file") << "--record" << "--record needs a value (FILE)"
                                               << "--record には値（ファイル）が必要です";
        QTest::newRow("record with an empty file") << "--record=" << "--record has an empty value"
                                                   << "--record の値が空です";
        QTest::newRow("record delay not a number") << "--record r --delay x"
                                                   << "--delay takes a whole number from 0 to 9999: x"
                                                   << "--delay は 0 から 9999 までの整数です: x";
        QTest::newRow("record delay too long") << "--record r --delay 10000"
                                               << "--delay takes a whole number from 0 to 9999: 10000"
                                               << "--delay は 0 から 9999 までの整数です: 10000";
        QTest::newRow("record stop key none") << "--record r --stop-key なし"
                                              << "--stop-key takes a key code \"key,modifiers\" (e.g. 83,3 = Ctrl+Alt+S): なし"
                                              << "--stop-key はキーコード「キー,修飾」です（例: 83,3 = Ctrl+Alt+S）: なし";
        QTest::newRow("record stop key with a hold time") << "--record r --stop-key 83,3,1"
                                                          << "--stop-key takes a key code \"key,modifiers\" (e.g. 83,3 = Ctrl+Alt+S): 83,3,1"
                                                          << "--stop-key はキーコード「キー,修飾」です（例: 83,3 = Ctrl+Alt+S）: 83,3,1";
        QTest::newRow("record twice") << "--record a --record b" << "--record is given twice"
                                      << "--record が二度指定されています";
        QTest::newRow("record positional") << "--record a b" << "unexpected argument: b" << "余分な引数があります: b";
        QTest::newRow("force with a value") << "--record r --force=yes" << "--force takes no value"
                                            << "--force は値を取りません";
        QTest::newRow("force without record") << "--force" << "--force needs --record"
                                              << "--force は --record と一緒に使います";
        QTest::newRow("delay alone") << "--delay 3" << "--delay needs --play or --record"
                                     << "--delay は --play か --record と一緒に使います";
        QTest::newRow("force with play") << "--play p --force" << "--force cannot be used with --play"
                                         << "--force は --play と一緒には使えません";
        QTest::newRow("times with record") << "--record r --times 2" << "--times cannot be used with --record"
                                           << "--times は --record と一緒には使えません";
        QTest::newRow("check without a file") << "--check" << "--check needs a value (FILE)"
                                              << "--check には値（ファイル）が必要です";
        QTest::newRow("check and play") << "--check c --play p" << "--check and --play cannot be used together"
                                        << "--check と --play は同時に指定できません";
        QTest::newRow("quiet with check") << "--check c --quiet" << "--quiet cannot be used with --check"
                                          << "--quiet は --check と一緒には使えません";
        QTest::newRow("stop with a value") << "--stop=all" << "--stop takes no value" << "--stop は値を取りません";
        QTest::newRow("delay with stop") << "--stop --delay 3" << "--delay cannot be used with --stop"
                                         << "--delay は --stop と一緒には使えません";
        QTest::newRow("play and record") << "--play p --record r" << "--play and --record cannot be used together"
                                         << "--play と --record は同時に指定できません";
    }

    void refused()
    {
        QFETCH(QString, line);
        QFETCH(QString, english);
        QFETCH(QString, japanese);
        for (const bool ja : {false, true}) {
            const CommandLine::Result r = CommandLine::parse(split(line), ja);
            QVERIFY(!r.ok);
            QCOMPARE(r.error, ja ? japanese : english);
        }
    }

    // The usage text lists every option the parser knows, in both languages.
    void usageNamesEveryOption_data()
    {
        QTest::addColumn<bool>("japanese");
        QTest::newRow("en") << false;
        QTest::newRow("ja") << true;
    }
    void usageNamesEveryOption()
    {
        QFETCH(bool, japanese);
        const QString usage = CommandLine::usage(japanese);
        for (const char *option : {"--play", "--record", "--check", "--times", "--until-stopped", "--delay", "--stop-key",
                                   "--no-stop-key", "--quiet", "--force", "--help", "--version"}) {
            const QString name = QString::fromLatin1(option);
            // Listed in the option column, at the start of a line.
            QVERIFY2(usage.contains(QStringLiteral("\n  ") + name + QLatin1Char(' ')), option);
            // And accepted by the parser (with a value where it needs one).
            const bool recording = name == QStringLiteral("--record") || name == QStringLiteral("--force");
            QStringList line{recording ? QStringLiteral("--record") : QStringLiteral("--play"), QStringLiteral("p")};
            if (name == QStringLiteral("--check"))
                line = QStringList{name, QStringLiteral("p")};
            else if (name != line.first())
                line << name;
            if (name == QStringLiteral("--times") || name == QStringLiteral("--delay"))
                line << QStringLiteral("1");
            if (name == QStringLiteral("--stop-key"))
                line << QStringLiteral("83,3");
            const CommandLine::Result r = CommandLine::parse(line, japanese);
            QVERIFY2(r.ok || name == QStringLiteral("--version"), qPrintable(r.error));
        }
        QCOMPARE(usage.startsWith(japanese ? QStringLiteral("使い方: tervalo_free ") : QStringLiteral("Usage: tervalo_free ")),
                 true);
        // Every mode has its line.
        QVERIFY(usage.contains(QStringLiteral("tervalo_free --record ")));
        QVERIFY(usage.contains(QStringLiteral("tervalo_free --check ")));
        // The ranges come from the run's limits.
        QVERIFY(usage.contains(japanese ? QStringLiteral("（1〜9999）") : QStringLiteral("(1 to 9999)")));
    }

    void languageFromEnvironment_data()
    {
        QTest::addColumn<QByteArray>("lcAll");
        QTest::addColumn<QByteArray>("lcMessages");
        QTest::addColumn<QByteArray>("lang");
        QTest::addColumn<bool>("japanese");
        QTest::newRow("nothing set") << QByteArray() << QByteArray() << QByteArray() << false;
        QTest::newRow("LANG ja") << QByteArray() << QByteArray() << QByteArray("ja_JP.UTF-8") << true;
        QTest::newRow("LANG C") << QByteArray() << QByteArray() << QByteArray("C.UTF-8") << false;
        QTest::newRow("LC_MESSAGES before LANG") << QByteArray() << QByteArray("en_US.UTF-8") << QByteArray("ja_JP.UTF-8")
                                                 << false;
        QTest::newRow("LC_ALL before all") << QByteArray("ja_JP.UTF-8") << QByteArray("C") << QByteArray("C") << true;
    }
    void languageFromEnvironment()
    {
        QFETCH(QByteArray, lcAll);
        QFETCH(QByteArray, lcMessages);
        QFETCH(QByteArray, lang);
        QFETCH(bool, japanese);
        const QByteArray names[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
        QByteArray saved[3];
        for (int i = 0; i < 3; ++i)
            saved[i] = qgetenv(names[i].constData());
        auto restore = qScopeGuard([&] {
            for (int i = 0; i < 3; ++i) {
                if (saved[i].isNull())
                    qunsetenv(names[i].constData());
                else
                    qputenv(names[i].constData(), saved[i]);
            }
        });
        const QByteArray values[] = {lcAll, lcMessages, lang};
        for (int i = 0; i < 3; ++i) {
            if (values[i].isEmpty())
                qunsetenv(names[i].constData());
            else
                qputenv(names[i].constData(), values[i]);
        }
        QCOMPARE(CommandLine::japaneseEnvironment(), japanese);
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
