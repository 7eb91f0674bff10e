// The GNOME backend against a real Mutter: scripts/test starts a headless
// mutter with PipeWire on private buses, this test shows a full-screen
// Wayland window there, plays a project into it with the built program and
// reads what arrived. Skipped without that session, unless
// TERVALO_GNOME_REQUIRED=1 (the stage of scripts/test) makes it a failure.

#include "app/commandline.h"
#include "platform/desktop.h"
#include "platform/desktop_gnome.h"
#include "project/pagekinds.h"
#include "project/projectfile.h"
#include "receiver.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QProcess>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <QWidget>
#include <QtTest>

class TestGnome : public QObject {
    Q_OBJECT

    std::unique_ptr<Receiver> receiver;
    QTemporaryDir dir;
    // The person at the keyboard: a remote-desktop session of the test's own.
    std::shared_ptr<platform::Desktop> person;

    // Starts the built program on a project with --play as on a GNOME
    // Wayland session, the backend left to its own choice.
    void play(QProcess &program, const QString &file)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("TERVALO_BACKEND");
        env.insert("QT_QPA_PLATFORM", "wayland");
        env.insert("XDG_SESSION_TYPE", "wayland");
        env.insert("XDG_CURRENT_DESKTOP", "GNOME");
        env.insert("HOME", dir.path());
        program.setProcessEnvironment(env);
        program.start(QCoreApplication::applicationDirPath() + "/tervalo_free",
                      {"--play", file, "--times", "1", "--delay", "0", "--stop-key", "83,3"});
    }

private slots:
    void initTestCase()
    {
        const bool required = qEnvironmentVariableIntValue("TERVALO_GNOME_REQUIRED") == 1;
        if (QGuiApplication::platformName() != QLatin1String("wayland")) {
            if (required)
                QFAIL("no Wayland session: the GNOME stage of scripts/test starts one");
            QSKIP("No Wayland session: this test runs in the GNOME stage of scripts/test.");
        }
        std::string why;
        person = platform::createGnomeDesktop(&why);
        QVERIFY2(person, why.c_str());
        // The person's keyboard is there all along, as a real one is: a
        // headless seat whose last keyboard goes loses its keyboard focus.
        QVERIFY(person->beginInput({}));
        receiver = std::make_unique<Receiver>();
        receiver->showFullScreen();
        QVERIFY(QTest::qWaitForWindowExposed(receiver.get()));
        QTRY_VERIFY_WITH_TIMEOUT(receiver->isActiveWindow(), 10000);
    }

    // Every operation the backend plays, through --play, lands in the window
    // under the pointer or with the focus: the click where the page put the
    // pointer, Shift+A as a capital, a text in the layout, the wheel. The
    // backend is the one chosen for a GNOME Wayland session.
    void operationsArrive()
    {
        const RecordList commands{
            {PageKinds::kMousePointer, "300", "200"},
            {PageKinds::kClick, PageKinds::kLeft, "0.05"},
            {PageKinds::kSmoothMove, "500", "400", "0.2"},
            {PageKinds::kClick, PageKinds::kRight, "0.05"},
            {PageKinds::kKey, "65,4", "0.05"},
            {PageKinds::kEnterText, "Hi there", "0.3"},
            {PageKinds::kWheel, PageKinds::WheelOperation::kUp, "2"},
        };
        const RecordList conditions(commands.size(), {PageKinds::kWaitUntilOver, "0.2"});
        const QString file = dir.filePath("gnome.cmdat");
        QVERIFY(ProjectFile::write(file, commands, conditions).ok);

        QProcess program;
        play(program, file);
        QVERIFY(program.waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(program.state() == QProcess::NotRunning, 60000);
        const QString output = QString::fromUtf8(program.readAllStandardOutput() + program.readAllStandardError());
        QVERIFY2(program.exitStatus() == QProcess::NormalExit, qPrintable(output));
        QCOMPARE(program.exitCode(), CommandLine::kExitDone);

        QTRY_COMPARE_WITH_TIMEOUT(receiver->text, QStringLiteral("AHi there"), 5000);
        QCOMPARE(receiver->leftPresses, QList<QPoint>{QPoint(300, 200)});
        QCOMPARE(receiver->rightPresses, QList<QPoint>{QPoint(500, 400)});
        QTRY_COMPARE_WITH_TIMEOUT(receiver->wheel, 2 * 120, 5000);
    }

    // Texts arrive exactly, in order, whatever the layout lacks: its own
    // characters as keys, runs of the others pasted. The person's clipboard
    // holds their own text again afterwards.
    void textArrives_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("typed"); // Enter arrives as a carriage return
        QTest::newRow("layout's and others, mixed") << "Hi 日本\n😀" << "Hi 日本\r😀";
        QTest::newRow("accents and the euro sign") << "café 5€ ß" << "café 5€ ß";
        QTest::newRow("only others") << "日本語" << "日本語";
        QTest::newRow("others between keys, twice") << "a😀b😀c" << "a😀b😀c";
    }
    void textArrives()
    {
        QFETCH(QString, text);
        QFETCH(QString, typed);
        // The person copies a text of their own in the window: the
        // compositor takes a clipboard only from the window with the keyboard
        // focus, and only after a key of the person.
        const int presses = receiver->keyPresses;
        person->key(platform::vk::Shift, true);
        person->key(platform::vk::Shift, false);
        QTRY_COMPARE_WITH_TIMEOUT(receiver->keyPresses, presses + 1, 5000);
        const QString persons = QStringLiteral("the person's own");
        QGuiApplication::clipboard()->setText(persons);
        receiver->text.clear();

        // The last page waits until stopped, so that the program is still
        // there when the test looks.
        const QString file = dir.filePath("text.cmdat");
        QVERIFY(ProjectFile::write(file, {{PageKinds::kEnterText, text, "0.3"}, {PageKinds::kNone}},
                                   {{PageKinds::kWaitUntilOver, "0.2"}, {PageKinds::kTime, "600"}}).ok);
        QProcess program;
        play(program, file);
        QVERIFY(program.waitForStarted(10000));
        QTRY_COMPARE_WITH_TIMEOUT(receiver->text, typed, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(QGuiApplication::clipboard()->text(), persons, 5000);
        QCOMPARE(QProcess::execute(QCoreApplication::applicationDirPath() + "/tervalo_free", {"--stop"}), 0);
        QVERIFY(program.waitForFinished(20000));
        const QString output = QString::fromUtf8(program.readAllStandardOutput() + program.readAllStandardError());
        // Stopped, not failed: every paste was taken by the window.
        QVERIFY2(program.exitCode() == CommandLine::kExitStopped, qPrintable(output));
        QCOMPARE(receiver->text, typed);
        // The run's session is gone, and the person's text stays.
        QTRY_COMPARE_WITH_TIMEOUT(QGuiApplication::clipboard()->text(), persons, 5000);
    }
};

QTEST_MAIN(TestGnome)
#include "tst_gnome.moc"
