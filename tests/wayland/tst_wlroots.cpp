// The wlroots backend against a real sway: scripts/test starts a headless
// sway (scripts/sway-session), this test shows a full-screen Wayland window
// there, plays projects into it with the built program and reads what
// arrived; it presses the run's stop key through a virtual keyboard of its
// own. Skipped without that session, unless TERVALO_WLROOTS_REQUIRED=1 (the
// stage of scripts/test) makes it a failure.

#include "app/commandline.h"
#include "platform/desktop.h"
#include "platform/desktop_wlroots.h"
#include "project/pagekinds.h"
#include "project/picture.h"
#include "project/projectfile.h"
#include "wayland/receiver.h"
#include "wayland/session.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// What a row expects in the window: text, where each button went down, the
// wheel, and the colour the window showed when the first key came (invalid:
// any).
struct Arrived {
    QString text;
    QList<QPoint> left;
    QList<QPoint> right;
    int wheel = 0;
};

} // namespace

Q_DECLARE_METATYPE(Arrived)

class TestWlroots : public QObject {
    Q_OBJECT

    std::unique_ptr<Receiver> receiver;
    QTemporaryDir dir;
    // The person at the keyboard.
    std::shared_ptr<platform::Desktop> person;

    // Starts the built program on a project with --play as on a sway
    // session, the backend left to its own choice. The stop key is Ctrl+Alt+S.
    bool play(QProcess &program, const QString &file)
    {
        return waylandtest::play(program, file, waylandtest::sessionEnvironment("sway", dir.path()));
    }

private slots:
    void initTestCase()
    {
        const bool required = qEnvironmentVariableIntValue("TERVALO_WLROOTS_REQUIRED") == 1;
        if (QGuiApplication::platformName() != QLatin1String("wayland") || qEnvironmentVariableIsEmpty("SWAYSOCK")) {
            if (required)
                QFAIL("no sway session: the wlroots stage of scripts/test starts one");
            QSKIP("No sway session: this test runs in the wlroots stage of scripts/test.");
        }
        std::string why;
        person = platform::createWlrootsDesktop(&why);
        QVERIFY2(person, why.c_str());
        // The person's keyboard and pointer, there from the start as on a
        // real seat: a window hears keys only from devices the seat had
        // when it took the focus or that came after.
        QVERIFY(person->beginInput({}));
        receiver = std::make_unique<Receiver>();
        QVERIFY(waylandtest::showFocused(*receiver));
    }

    // Each operation the program plays through --play lands in the window
    // under the pointer or with the focus, exactly.
    void operationsArrive_data()
    {
        QTest::addColumn<RecordList>("commands");
        QTest::addColumn<RecordList>("conditions");
        QTest::addColumn<QColor>("awaited"); // the window turns this colour while the run waits for it
        QTest::addColumn<Arrived>("arrived");
        const RecordList over{{PageKinds::kWaitUntilOver, "0.2"}};
        QTest::newRow("click at a position")
            << RecordList{{PageKinds::kMousePointer, "300", "200"}, {PageKinds::kClick, PageKinds::kLeft, "0.05"}}
            << over + over << QColor() << Arrived{{}, {QPoint(300, 200)}, {}, 0};
        QTest::newRow("Shift+A") << RecordList{{PageKinds::kKey, "65,4", "0.05"}} << over << QColor() << Arrived{"A", {}, {}, 0};
        // Enter arrives as a carriage return.
        QTest::newRow("text beyond any layout") << RecordList{{PageKinds::kEnterText, "Hi 日本\n😀", "0.3"}} << over << QColor()
                                                << Arrived{"Hi 日本\r😀", {}, {}, 0};
        // More distinct characters than there are spare keys, each twice
        // far apart: the spare keys are bound again, batch after batch.
        QString many;
        for (char32_t cp = 0x4E00; cp < 0x4E00 + 400; ++cp)
            many += QString::fromUcs4(&cp, 1) + QChar(u'a' + cp % 26);
        QTest::newRow("more characters than spare keys") << RecordList{{PageKinds::kEnterText, many + many, "0.3"}} << over
                                                         << QColor() << Arrived{many + many, {}, {}, 0};
        QTest::newRow("a glide's end point")
            << RecordList{{PageKinds::kMousePointer, "20", "30"}, {PageKinds::kSmoothMove, "1001", "777", "0.2"},
                          {PageKinds::kClick, PageKinds::kRight, "0.05"}}
            << over + over + over << QColor() << Arrived{{}, {}, {QPoint(1001, 777)}, 0};
        QTest::newRow("the wheel, up") << RecordList{{PageKinds::kWheel, PageKinds::WheelOperation::kUp, "2"}} << over << QColor()
                                       << Arrived{{}, {}, {}, 2 * 120};
        QTest::newRow("the wheel, down") << RecordList{{PageKinds::kWheel, PageKinds::WheelOperation::kDown, "3"}} << over
                                         << QColor() << Arrived{{}, {}, {}, -3 * 120};
        // The key comes only once the pixel shows the colour waited for.
        QTest::newRow("a colour condition")
            << RecordList{{PageKinds::kNone}, {PageKinds::kEnterText, "ok", "0.1"}}
            << RecordList{{PageKinds::kColor, "641", "333", "#118899", "0"}, {PageKinds::kWaitUntilOver, "0.2"}}
            << QColor(0x11, 0x88, 0x99) << Arrived{"ok", {}, {}, 0};
    }
    void operationsArrive()
    {
        QFETCH(RecordList, commands);
        QFETCH(RecordList, conditions);
        QFETCH(QColor, awaited);
        QFETCH(Arrived, arrived);
        receiver->background = Qt::white;
        receiver->update();
        receiver->clear();
        const QString file = dir.filePath("play.cmdat");
        QVERIFY(ProjectFile::write(file, commands, conditions).ok);

        QProcess program;
        QVERIFY(play(program, file));
        if (awaited.isValid()) {
            // The run waits as long as the window stays white.
            QTest::qWait(1000);
            QCOMPARE(program.state(), QProcess::Running);
            QCOMPARE(receiver->keyPresses > 0 && receiver->atFirstKey.isValid(), false);
            receiver->background = awaited;
            receiver->update();
        }
        // The window's events are handled while the program plays.
        QTRY_COMPARE_WITH_TIMEOUT(program.state(), QProcess::NotRunning, 30000);
        QVERIFY2(program.exitStatus() == QProcess::NormalExit, qPrintable(waylandtest::output(program)));
        QVERIFY2(program.exitCode() == CommandLine::kExitDone, qPrintable(waylandtest::output(program)));

        QTRY_COMPARE_WITH_TIMEOUT(receiver->text, arrived.text, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(receiver->wheel, arrived.wheel, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(receiver->leftPresses, arrived.left, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(receiver->rightPresses, arrived.right, 5000);
        if (awaited.isValid())
            QCOMPARE(receiver->atFirstKey.name(), awaited.name());
    }

    // A Click Image page finds its picture where the window shows it (every
    // pixel of it read from the screen) and clicks its centre.
    void pictureClicked_data()
    {
        QTest::addColumn<QPoint>("at");
        QTest::newRow("left half") << QPoint(137, 402);
        QTest::newRow("bottom right corner") << QPoint(1280 - 23, 1024 - 17);
    }
    void pictureClicked()
    {
        QFETCH(QPoint, at);
        QImage image(23, 17, QImage::Format_RGB32);
        for (int py = 0; py < image.height(); ++py)
            for (int px = 0; px < image.width(); ++px)
                image.setPixel(px, py, qRgb(11 * px, 255 - 15 * py, (px * py * 7) % 256));
        receiver->clear();
        receiver->background = QColor(0xdd, 0xee, 0xff);
        receiver->picture = image;
        receiver->pictureAt = at;
        receiver->update(); // the page looks for the picture until it shows

        const QString file = dir.filePath("picture.cmdat");
        QVERIFY(ProjectFile::write(file, {{PageKinds::kClickImage, picture::encode(image), PageKinds::kLeft, "0", "10"}},
                                   {{PageKinds::kWaitUntilOver, "0.2"}})
                    .ok);
        QProcess program;
        QVERIFY(play(program, file));
        QTRY_COMPARE_WITH_TIMEOUT(program.state(), QProcess::NotRunning, 30000);
        QVERIFY2(program.exitCode() == CommandLine::kExitDone, qPrintable(waylandtest::output(program)));
        QTRY_COMPARE_WITH_TIMEOUT(receiver->leftPresses, QList<QPoint>{at + QPoint(image.width() / 2, image.height() / 2)}, 5000);
        receiver->picture = QImage();
    }

    // A page holds Shift+A; the run stops by its stop key (a sway binding
    // while it plays) or by `tervalo_free --stop`, lets go of what it held,
    // and takes its binding away: the keys reach the window again.
    void stops_data()
    {
        QTest::addColumn<bool>("byKey");
        QTest::newRow("the stop key") << true;
        QTest::newRow("--stop") << false;
    }
    void stops()
    {
        QFETCH(bool, byKey);
        receiver->clear();
        const QString file = dir.filePath("hold.cmdat");
        QVERIFY(ProjectFile::write(file, {{PageKinds::kKey, "65,4", "600"}}, {{PageKinds::kWaitUntilOver, "0.2"}}).ok);
        QProcess program;
        QVERIFY(play(program, file));
        QTRY_VERIFY_WITH_TIMEOUT(receiver->held.contains(Qt::Key_A), 20000);
        QVERIFY(receiver->held.contains(Qt::Key_Shift));

        if (byKey)
            waylandtest::pressStopKey(*person);
        else
            QCOMPARE(QProcess::execute(waylandtest::program(), {"--stop"}), 0);
        QTRY_COMPARE_WITH_TIMEOUT(program.state(), QProcess::NotRunning, 20000);
        QVERIFY2(program.exitStatus() == QProcess::NormalExit, qPrintable(waylandtest::output(program)));
        QVERIFY2(program.exitCode() == CommandLine::kExitStopped, qPrintable(waylandtest::output(program)));
        QTRY_VERIFY_WITH_TIMEOUT(receiver->held.isEmpty(), 5000);
        if (byKey) // while the run played, sway kept S to itself
            QCOMPARE(receiver->keys.count(Qt::Key_S), 0);

        // Its binding went with it.
        waylandtest::pressStopKey(*person);
        QTRY_COMPARE_WITH_TIMEOUT(receiver->keys.count(Qt::Key_S), 1, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(receiver->held.isEmpty(), 5000);
    }
};

QTEST_MAIN(TestWlroots)
#include "tst_wlroots.moc"
