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
#include "wayland/receiver.h"
#include "wayland/session.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QProcess>
#include <QScreen>
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

    // Starts the built program on a project as on a GNOME Wayland session.
    bool play(QProcess &program, const QString &file)
    {
        return waylandtest::play(program, file, waylandtest::sessionEnvironment("GNOME", dir.path()));
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
        QVERIFY(waylandtest::showFocused(*receiver));
    }

    // Every operation the backend plays, through --play, lands in the window
    // under the pointer or with the focus: the click where the page put the
    // pointer, Shift+A as a capital, a text in the layout, the wheel. The
    // backend is the one chosen for a GNOME Wayland session.
    void operationsArrive()
    {
        const QString file = dir.filePath("gnome.cmdat");
        QVERIFY(waylandtest::writeEveryOperation(file));

        QProcess program;
        QVERIFY(play(program, file));
        QTRY_VERIFY_WITH_TIMEOUT(program.state() == QProcess::NotRunning, 60000);
        QVERIFY2(program.exitStatus() == QProcess::NormalExit, qPrintable(waylandtest::output(program)));
        QCOMPARE(program.exitCode(), CommandLine::kExitDone);

        waylandtest::checkEveryOperation(*receiver);
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
        QVERIFY(play(program, file));
        QTRY_COMPARE_WITH_TIMEOUT(receiver->text, typed, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(QGuiApplication::clipboard()->text(), persons, 5000);
        QCOMPARE(QProcess::execute(waylandtest::program(), {"--stop"}), 0);
        QVERIFY(program.waitForFinished(20000));
        // Stopped, not failed: every paste was taken by the window.
        QVERIFY2(program.exitCode() == CommandLine::kExitStopped, qPrintable(waylandtest::output(program)));
        QCOMPARE(receiver->text, typed);
        // The run's session is gone, and the person's text stays.
        QTRY_COMPARE_WITH_TIMEOUT(QGuiApplication::clipboard()->text(), persons, 5000);
    }

    // A desktop of two monitors side by side (the stage's mutter has them):
    // positions on the second monitor, or off both nearer to it, go there,
    // never onto the first one's edge; the first still gets its own.
    void pointerReachesEveryMonitor()
    {
        const QList<QScreen *> screens = QGuiApplication::screens();
        QVERIFY2(screens.size() >= 2, "the GNOME stage starts mutter with two monitors");
        const QRect second = screens.at(1)->geometry();
        QVERIFY2(second.left() >= receiver->width() || second.top() >= receiver->height(),
                 "the second monitor lies beside the first");
        const QPoint onSecond = second.topLeft() + QPoint(100, 60);
        const QPoint beyondSecond(second.right() + 300, second.top() + 50);
        const RecordList commands{
            {PageKinds::kMousePointer, QString::number(onSecond.x()), QString::number(onSecond.y())},
            {PageKinds::kClick, PageKinds::kLeft, "0.05"},
            {PageKinds::kMousePointer, QString::number(beyondSecond.x()), QString::number(beyondSecond.y())},
            {PageKinds::kClick, PageKinds::kLeft, "0.05"},
            {PageKinds::kMousePointer, "20", "30"},
            {PageKinds::kClick, PageKinds::kLeft, "0.05"},
        };
        const QString file = dir.filePath("monitors.cmdat");
        QVERIFY(ProjectFile::write(file, commands, RecordList(commands.size(), {PageKinds::kWaitUntilOver, "0.2"})).ok);
        receiver->leftPresses.clear();
        QProcess program;
        QVERIFY(play(program, file));
        QVERIFY(program.waitForFinished(60000));
        QCOMPARE(program.exitCode(), CommandLine::kExitDone);
        QTRY_COMPARE_WITH_TIMEOUT(receiver->leftPresses, QList<QPoint>{QPoint(20, 30)}, 5000);
    }
};

QTEST_MAIN(TestGnome)
#include "tst_gnome.moc"
