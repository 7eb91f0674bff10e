// The GNOME backend against a real Mutter: scripts/test starts a headless
// mutter with PipeWire on private buses, this test shows a full-screen
// Wayland window there, plays a project into it with the built program and
// reads what arrived. Skipped without that session, unless
// TERVALO_GNOME_REQUIRED=1 (the stage of scripts/test) makes it a failure.

#include "app/commandline.h"
#include "project/pagekinds.h"
#include "project/projectfile.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QProcess>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <QWidget>
#include <QtTest>

namespace {

// A window that keeps what reaches it.
class Receiver : public QWidget {
public:
    QString text;
    QList<QPoint> leftPresses;
    QList<QPoint> rightPresses;
    int wheel = 0; // eighths of a degree, positive up

protected:
    void keyPressEvent(QKeyEvent *e) override { text += e->text(); }
    void mousePressEvent(QMouseEvent *e) override
    {
        (e->button() == Qt::RightButton ? rightPresses : leftPresses).append(e->globalPosition().toPoint());
    }
    void wheelEvent(QWheelEvent *e) override { wheel += e->angleDelta().y(); }
};

} // namespace

class TestGnome : public QObject {
    Q_OBJECT

    std::unique_ptr<Receiver> receiver;
    QTemporaryDir dir;

private slots:
    void initTestCase()
    {
        const bool required = qEnvironmentVariableIntValue("TERVALO_GNOME_REQUIRED") == 1;
        if (QGuiApplication::platformName() != QLatin1String("wayland")) {
            if (required)
                QFAIL("no Wayland session: the GNOME stage of scripts/test starts one");
            QSKIP("No Wayland session: this test runs in the GNOME stage of scripts/test.");
        }
        receiver = std::make_unique<Receiver>();
        receiver->showFullScreen();
        QVERIFY(QTest::qWaitForWindowExposed(receiver.get()));
        QTRY_VERIFY_WITH_TIMEOUT(receiver->isActiveWindow(), 10000);
    }

    // Every operation the backend plays, through --play, lands in the window
    // under the pointer or with the focus: the click where the page put the
    // pointer, Shift+A as a capital, a text in the layout, the wheel.
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
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TERVALO_BACKEND", "gnome");
        env.insert("QT_QPA_PLATFORM", "wayland");
        env.insert("XDG_SESSION_TYPE", "wayland");
        env.insert("XDG_CURRENT_DESKTOP", "GNOME");
        env.insert("HOME", dir.path());
        program.setProcessEnvironment(env);
        program.start(QCoreApplication::applicationDirPath() + "/tervalo_free",
                      {"--play", file, "--times", "1", "--delay", "0", "--stop-key", "83,3"});
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
};

QTEST_MAIN(TestGnome)
#include "tst_gnome.moc"
