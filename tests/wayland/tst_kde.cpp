// The KDE backend against a real KWin: scripts/kde-session starts a
// headless kwin_wayland on a private bus, this test shows a full-screen
// Wayland window there, plays projects into it with the built program and
// reads what arrived. Skipped without that session, unless
// TERVALO_KDE_REQUIRED=1 (the KDE stage of scripts/test) makes it a failure.

#include "app/commandline.h"
#include "platform/desktop.h"
#include "platform/desktop_kde.h"
#include "project/pagekinds.h"
#include "project/projectfile.h"
#include "support/kwingrant.h"
#include "wayland/receiver.h"
#include "wayland/session.h"

#include <QApplication>
#include <QClipboard>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusArgument>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(RecordList)

namespace {

QDBusMessage kglobalaccel(const QString &method, const QVariantList &arguments)
{
    QDBusMessage m = QDBusMessage::createMethodCall("org.kde.kglobalaccel", "/kglobalaccel", "org.kde.KGlobalAccel", method);
    m.setArguments(arguments);
    return QDBusConnection::sessionBus().call(m);
}

const QStringList kStopAction{"tervalo", "stop", "Tervalo", "Stop playback"};

// The keys KGlobalAccel holds for the program's stop action now.
QList<int> stopShortcut()
{
    return qdbus_cast<QList<int>>(kglobalaccel("shortcut", {kStopAction}).arguments().value(0));
}

} // namespace

class TestKde : public QObject {
    Q_OBJECT

    std::unique_ptr<Receiver> receiver;
    QTemporaryDir dir;
    // The person at the keyboard: the test's own fake-input connection.
    std::shared_ptr<platform::Desktop> person;

    // Starts the built program on a project with --play as on a KDE
    // Wayland session; what it says is read when it ends.
    bool play(QProcess &process, const QString &file)
    {
        return waylandtest::play(process, file, waylandtest::sessionEnvironment("KDE", dir.path()));
    }

    // Waits for the program to end with `code`; what it said otherwise. The
    // window goes on taking what comes meanwhile (and paints, and answers
    // pastes).
    static void finished(QProcess &process, int code)
    {
        QDeadlineTimer deadline(20000);
        while (process.state() != QProcess::NotRunning && !deadline.hasExpired())
            QTest::qWait(20);
        const bool ended = process.state() == QProcess::NotRunning;
        if (!ended)
            process.kill(), process.waitForFinished();
        const QString output = waylandtest::output(process);
        QVERIFY2(ended && process.exitStatus() == QProcess::NormalExit, qPrintable("did not end: " + output));
        QVERIFY2(process.exitCode() == code, qPrintable(output));
    }

    // The person presses and releases Ctrl+Alt+S, a key at a time as
    // fingers do: KWin matches its global shortcuts against the modifiers
    // of the keys it has finished handling, and keys sent in one burst find
    // their modifiers not yet counted.
    void pressStopKey()
    {
        constexpr int kBetweenKeysMs = 50;
        waylandtest::pressStopKey(*person, kBetweenKeysMs);
    }

private slots:
    void initTestCase()
    {
        const bool required = qEnvironmentVariableIntValue("TERVALO_KDE_REQUIRED") == 1;
        if (QGuiApplication::platformName() != QLatin1String("wayland")
            || !QDBusConnection::sessionBus().interface()->isServiceRegistered("org.kde.KWin")) {
            if (required)
                QFAIL("no KWin session: the KDE stage of scripts/test starts one");
            QSKIP("No KWin session: this test runs in the KDE stage of scripts/test.");
        }
        QVERIFY(testsupport::grantKwinInterfaces(waylandtest::program(), "tervalo-free-test"));
        QVERIFY(testsupport::grantKwinInterfaces(QCoreApplication::applicationFilePath(), "tervalo-free-person"));
        std::string why;
        person = platform::createKdeDesktop(&why);
        QVERIFY2(person, why.c_str());
        receiver = std::make_unique<Receiver>();
        QVERIFY(waylandtest::showFocused(*receiver));
    }

    // What the program plays lands in the window under the pointer or with
    // the focus; each row is one project, played through --play.
    void operationsArrive_data()
    {
        QTest::addColumn<RecordList>("commands");
        QTest::addColumn<RecordList>("conditions");
        QTest::addColumn<QString>("background"); // the window's colour while it plays
        QTest::addColumn<QString>("text");       // as typed; Enter arrives as a carriage return
        QTest::addColumn<QList<QPoint>>("left");
        QTest::addColumn<QList<QPoint>>("right");
        QTest::addColumn<int>("wheel"); // eighths of a degree, up

        const RecordList over{{PageKinds::kWaitUntilOver, "0.2"}};
        QTest::newRow("a click where the pointer was put")
            << RecordList{{PageKinds::kMousePointer, "300", "200"}, {PageKinds::kClick, PageKinds::kLeft, "0.05"}}
            << over + over << "#ffffff" << "" << QList<QPoint>{{300, 200}} << QList<QPoint>{} << 0;
        QTest::newRow("Shift+A")
            << RecordList{{PageKinds::kKey, "65,4", "0.05"}} << over << "#ffffff" << "A" << QList<QPoint>{}
            << QList<QPoint>{} << 0;
        QTest::newRow("the layout's characters and others, Enter between")
            << RecordList{{PageKinds::kEnterText, "Hi 日本\n😀", "0.3"}} << over << "#ffffff" << "Hi 日本\r😀"
            << QList<QPoint>{} << QList<QPoint>{} << 0;
        QTest::newRow("a glide's end point")
            << RecordList{{PageKinds::kMousePointer, "40", "50"}, {PageKinds::kSmoothMove, "911", "707", "0.2"},
                          {PageKinds::kClick, PageKinds::kRight, "0.05"}}
            << over + over + over << "#ffffff" << "" << QList<QPoint>{} << QList<QPoint>{{911, 707}} << 0;
        QTest::newRow("the wheel, down then up")
            << RecordList{{PageKinds::kWheel, PageKinds::WheelOperation::kDown, "1"},
                          {PageKinds::kWheel, PageKinds::WheelOperation::kUp, "3"}}
            << over + over << "#ffffff" << "" << QList<QPoint>{} << QList<QPoint>{} << 2 * 120;
        // The key comes only once the program has read the awaited colour
        // off the screen: a program that cannot read it waits on.
        QTest::newRow("a colour condition")
            << RecordList{{PageKinds::kNone}, {PageKinds::kKey, "90,0", "0.05"}}
            << RecordList{{PageKinds::kColor, "640", "512", "#1e90ff", "0"}, over.first()} << "#1e90ff" << "z"
            << QList<QPoint>{} << QList<QPoint>{} << 0;
    }
    void operationsArrive()
    {
        QFETCH(RecordList, commands);
        QFETCH(RecordList, conditions);
        QFETCH(QString, background);
        QFETCH(QString, text);
        QFETCH(QList<QPoint>, left);
        QFETCH(QList<QPoint>, right);
        QFETCH(int, wheel);
        receiver->background = QColor(background);
        receiver->update();
        receiver->text.clear();
        receiver->leftPresses.clear();
        receiver->rightPresses.clear();
        receiver->wheel = 0;
        // The person copies a text of their own in the window: KWin takes a
        // clipboard only from the window with the keyboard focus, after an
        // input of the person's.
        const int presses = receiver->keyPresses;
        person->key(platform::vk::Shift, true);
        person->key(platform::vk::Shift, false);
        QTRY_COMPARE_WITH_TIMEOUT(receiver->keyPresses, presses + 1, 5000);
        const QString persons = QStringLiteral("the person's own");
        QGuiApplication::clipboard()->setText(persons);
        QTRY_COMPARE_WITH_TIMEOUT(QGuiApplication::clipboard()->text(), persons, 5000);

        // A last page waits until stopped: the clipboard the program gave
        // back is offered by the program, and goes with it where no
        // clipboard manager (Klipper) keeps it.
        const QString file = dir.filePath("kde.cmdat");
        QVERIFY(ProjectFile::write(file, commands + RecordList{{PageKinds::kNone}},
                                   conditions + RecordList{{PageKinds::kTime, "600"}})
                    .ok);
        QProcess process;
        QVERIFY(play(process, file));
        QTRY_COMPARE_WITH_TIMEOUT(receiver->text, text, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(receiver->leftPresses, left, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(receiver->rightPresses, right, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(receiver->wheel, wheel, 20000);
        // Pasting gave the person's clipboard back.
        QTRY_COMPARE_WITH_TIMEOUT(QGuiApplication::clipboard()->text(), persons, 5000);
        QCOMPARE(QProcess::execute(waylandtest::program(), {"--stop"}), 0);
        // Stopped, not failed: every input arrived, every paste was taken.
        finished(process, CommandLine::kExitStopped);
        QCOMPARE(receiver->text, text);
        QVERIFY(receiver->held.isEmpty());
    }

    // A run stops by the stop key, which KDE's global shortcuts hear, and by
    // `tervalo_free --stop`, even with a binding that a killed program left
    // in KDE's list; the shortcut is gone from the list afterwards, and no
    // key of the run stays down.
    void stops_data()
    {
        QTest::addColumn<bool>("byKey");
        QTest::addColumn<bool>("leftBinding"); // a killed run's binding to another key is there
        QTest::newRow("the stop key") << true << false;
        QTest::newRow("the stop key, over a killed run's binding") << true << true;
        QTest::newRow("--stop") << false << false;
    }
    void stops()
    {
        QFETCH(bool, byKey);
        QFETCH(bool, leftBinding);
        if (leftBinding) {
            QCOMPARE(kglobalaccel("doRegister", {kStopAction}).type(), QDBusMessage::ReplyMessage);
            const int ctrlAltX = int(Qt::ControlModifier | Qt::AltModifier) | Qt::Key_X;
            QCOMPARE(kglobalaccel("setShortcut", {kStopAction, QVariant::fromValue(QList<int>{ctrlAltX}), 6u}).type(),
                     QDBusMessage::ReplyMessage);
            QCOMPARE(stopShortcut(), QList<int>{ctrlAltX});
        }
        receiver->text.clear();
        // Shift goes down with the first page and up with the second; the
        // third waits until stopped.
        const QString file = dir.filePath("stop.cmdat");
        QVERIFY(ProjectFile::write(file, {{PageKinds::kKey, "65,4", "0.05"}, {PageKinds::kNone}},
                                   {{PageKinds::kWaitUntilOver, "0.2"}, {PageKinds::kTime, "600"}})
                    .ok);
        QProcess process;
        QVERIFY(play(process, file));
        QTRY_COMPARE_WITH_TIMEOUT(receiver->text, QStringLiteral("A"), 20000);
        // The shortcut is bound once the run plays.
        QTRY_VERIFY_WITH_TIMEOUT(!stopShortcut().isEmpty(), 5000);
        QCOMPARE(stopShortcut(), QList<int>{platform::kdeshortcut::qtKeyOf(platform::mod::Ctrl | platform::mod::Alt, 'S')});
        if (byKey)
            pressStopKey();
        else
            QCOMPARE(QProcess::execute(waylandtest::program(), {"--stop"}), 0);
        finished(process, CommandLine::kExitStopped);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(stopShortcut(), QList<int>{});
        QTest::qWait(100);
        QVERIFY(receiver->held.isEmpty());
        // The combination reached KDE, not the window.
        QCOMPARE(receiver->text, QStringLiteral("A"));
    }

    // A long line typed as fast as a page allows into a real text field,
    // which answers every key with its whole line through KWin's
    // text-input protocol: all of it arrives, and the field's application
    // keeps its connection (a lost one ends this test's process).
    void aLongLineIntoATextField()
    {
        QPlainTextEdit field;
        QVERIFY(waylandtest::showFocused(field));
        field.setFocus();
        QString line;
        for (int i = 0; i < 1000; ++i)
            line += QChar(u'a' + i % 26);
        const QString file = dir.filePath("long.cmdat");
        QVERIFY(ProjectFile::write(file, {{PageKinds::kEnterText, line, "0.1"}}, {{PageKinds::kWaitUntilOver, "0.2"}}).ok);
        QProcess process;
        QVERIFY(play(process, file));
        finished(process, CommandLine::kExitDone);
        QTRY_COMPARE_WITH_TIMEOUT(field.toPlainText(), line, 20000);
    }
};

QTEST_MAIN(TestKde)
#include "tst_kde.moc"
