// The recorder as the user meets it, on the simulated desktop: the Record
// menu, its dialog (texts, tooltips, capturing the exit command, the values
// it returns and the settings file that remembers them) and a recording from
// the menu to the pages in the project.

#include "gui/dialogs/recorddialog.h"
#include "gui/mainwindow/tervalo.h"
#include "gui/widgets/recordingindicator.h"
#include "input/keycombination.h"
#include "record/recordingsession.h"
#include "run/stoprule.h"
#include "support/dialoganswerer.h"
#include "support/simfixture.h"
#include "support/tempsettings.h"
#include "support/windowparts.h"

#include <QAction>
#include <QCheckBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QSpinBox>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

bool shown(const QWidget *w) { return !w->isHidden(); }

/// Runs `act` on the record dialog once it is up.
void whenRecordDialog(std::function<void(RecordDialog *)> act)
{
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
        if (auto *dialog = qobject_cast<RecordDialog *>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(dialog);
        }
    });
    timer->start();
}

} // namespace

class TestRecorder : public QObject {
    Q_OBJECT

    std::unique_ptr<SimFixture> fixture;
    std::unique_ptr<TempSettings> settings;

private slots:
    void init()
    {
        fixture = std::make_unique<SimFixture>();
        settings = std::make_unique<TempSettings>();
        QVERIFY(settings->write("{\"is_used_this\": true}"));
    }
    void cleanup()
    {
        settings.reset();
        fixture.reset();
    }

    void dialogTexts_data()
    {
        QTest::addColumn<bool>("japanese");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("ja") << true
                            << QStringList{"操作を記録", "開始までの秒数:", "秒", "終了コマンド:", "変更",
                                           "単一または複数キーを押してください",
                                           "ポインターの移動をスムーズムーブで記録する",
                                           "入力した文字を入力ページにまとめる", "操作の間の時間を時間条件で残す", "開始"};
        QTest::newRow("en") << false
                            << QStringList{"Record Actions", "Seconds until start:", "sec", "Exit command:", "Change",
                                           "Press one or more keys", "Record pointer paths as glides",
                                           "Join typed characters into Enter Text pages",
                                           "Keep pauses as Time conditions", "Start"};
    }

    void dialogTexts()
    {
        QFETCH(bool, japanese);
        QFETCH(QStringList, texts);
        RecordDialog d(RecordDialog::Values{}, japanese, false);
        const QStringList shownTexts{d.windowTitle(), d.startDelayLabel->text(), d.secLabel->text(),
                                     d.exitCommandLabel->text(), d.changeButton->text(), d.pressKeysLabel->text(),
                                     d.glidesCheck->text(), d.joinTextCheck->text(), d.keepPausesCheck->text(),
                                     d.startButton->text()};
        QCOMPARE(shownTexts, texts);
        QVERIFY(d.minimumSize() == d.maximumSize()); // fixed size, like the run settings
        // Every label fits its widget in this font.
        for (QWidget *w : QList<QWidget *>{d.glidesCheck, d.joinTextCheck, d.keepPausesCheck})
            QVERIFY(w->sizeHint().width() <= d.width() - 10);
    }

    // Help mode puts a tooltip on every control, in the dialog's language;
    // without it there are none.
    void dialogTooltips_data()
    {
        QTest::addColumn<bool>("japanese");
        QTest::addColumn<bool>("help");
        QTest::newRow("ja, help") << true << true;
        QTest::newRow("en, help") << false << true;
        QTest::newRow("no help") << true << false;
    }

    void dialogTooltips()
    {
        QFETCH(bool, japanese);
        QFETCH(bool, help);
        RecordDialog d(RecordDialog::Values{}, japanese, help);
        const QList<QWidget *> controls{d.startDelaySpin, d.hotKeyLabel, d.changeButton, d.glidesCheck,
                                        d.joinTextCheck, d.keepPausesCheck, d.startButton};
        QSet<QString> tips;
        for (QWidget *w : controls) {
            QCOMPARE(w->toolTip().isEmpty(), !help);
            tips << w->toolTip();
        }
        if (help) {
            QCOMPARE(tips.size(), controls.size()); // each says its own thing
            const bool anyJapanese = d.startButton->toolTip().contains(QStringLiteral("記録"));
            QCOMPARE(anyJapanese, japanese);
        }
    }

    void dialogValues_data()
    {
        QTest::addColumn<int>("delay");
        QTest::addColumn<QString>("stop");
        QTest::addColumn<int>("shownDelay");
        QTest::addColumn<QString>("shownKey");
        QTest::addColumn<QString>("returnedStop");
        QTest::newRow("as stored") << 7 << "116,4" << 7 << "Shift+F5" << "116,4";
        QTest::newRow("none is not allowed") << 3 << "なし" << 3 << "Ctrl+Alt+S" << "83,3";
        QTest::newRow("unusable code") << 3 << "abc" << 3 << "Ctrl+Alt+S" << "83,3";
        QTest::newRow("delay bounded") << 0 << "83,3" << 1 << "Ctrl+Alt+S" << "83,3";
        QTest::newRow("delay bounded above") << 20000 << "83,3" << 9999 << "Ctrl+Alt+S" << "83,3";
    }

    void dialogValues()
    {
        QFETCH(int, delay);
        QFETCH(QString, stop);
        QFETCH(int, shownDelay);
        QFETCH(QString, shownKey);
        QFETCH(QString, returnedStop);
        RecordDialog::Values v;
        v.startDelay = delay;
        v.stopCommand = stop;
        v.options.glides = false;
        v.options.keepPauses = false;
        RecordDialog d(v, true, false);
        QCOMPARE(d.startDelaySpin->value(), shownDelay);
        QCOMPARE(d.hotKeyLabel->text(), shownKey);
        QVERIFY(!d.glidesCheck->isChecked());
        QVERIFY(d.joinTextCheck->isChecked());
        QVERIFY(!d.keepPausesCheck->isChecked());
        d.glidesCheck->setChecked(true);
        d.joinTextCheck->setChecked(false);
        d.startButton->click();
        QCOMPARE(d.result(), int(QDialog::Accepted));
        const RecordDialog::Values out = d.values();
        QCOMPARE(out.startDelay, shownDelay);
        QCOMPARE(out.stopCommand, returnedStop);
        QVERIFY(out.options.glides);
        QVERIFY(!out.options.joinText);
        QVERIFY(!out.options.keepPauses);
    }

    // The exit command is captured as the run settings capture it: the
    // keyboard is taken while capturing, and only then.
    void dialogCapturesTheExitCommand()
    {
        RecordDialog d(RecordDialog::Values{}, false, false);
        d.changeButton->click();
        QVERIFY(fixture->sim->keyboardCaptured());
        QVERIFY(shown(d.pressKeysLabel));
        QVERIFY(!shown(d.startButton));
        QVERIFY(!d.startDelaySpin->isEnabled());
        playKeys(*fixture->sim, "+162 +160 +116 -116 -160 -162");
        QTRY_COMPARE(d.hotKeyLabel->text(), QStringLiteral("Ctrl+Shift+F5"));
        QVERIFY(!fixture->sim->keyboardCaptured());
        QVERIFY(fixture->sim->delivered().empty()); // the keys reached no window
        QVERIFY(shown(d.startButton));
        QVERIFY(!shown(d.pressKeysLabel));

        d.changeButton->click(); // and once more, cancelled
        QVERIFY(fixture->sim->keyboardCaptured());
        d.changeButton->click();
        QVERIFY(!fixture->sim->keyboardCaptured());
        QCOMPARE(d.hotKeyLabel->text(), QStringLiteral("Ctrl+Shift+F5"));
        d.startButton->click();
        QCOMPARE(d.values().stopCommand, QStringLiteral("116,6"));
        QCOMPARE(fixture->sim->hookCount(), 0); // closing removed the hook
    }

    void settingsRememberTheDialog()
    {
        {
            tervalo window;
            QCOMPARE(window.settings().record_delay, 5);
            QCOMPARE(window.settings().record_stop_command, QStringLiteral("83,3"));
            QVERIFY(window.settings().record_glides && window.settings().record_join_text && window.settings().record_keep_pauses);
            window.addNewCommand();
            whenRecordDialog([](RecordDialog *d) {
                d->startDelaySpin->setValue(9);
                d->keepPausesCheck->setChecked(false);
                d->reject(); // closed: nothing is kept
            });
            windowparts::get<QAction>(window, "recordAction")->trigger();
            QCOMPARE(window.settings().record_delay, 5);
            whenRecordDialog([](RecordDialog *d) {
                d->startDelaySpin->setValue(9);
                d->keepPausesCheck->setChecked(false);
                d->startButton->click();
            });
            windowparts::get<QAction>(window, "recordAction")->trigger();
            QCOMPARE(window.settings().record_delay, 9);
            QVERIFY(!window.settings().record_keep_pauses);
            QVERIFY(window.recordingSession()); // and it records now
            window.close();
        }
        QFile file(settings->settingsFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QJsonObject o = QJsonDocument::fromJson(file.readAll()).object();
        QCOMPARE(o.value(QStringLiteral("record_delay")).toInt(), 9);
        QCOMPARE(o.value(QStringLiteral("record_stop_command")).toString(), QStringLiteral("83,3"));
        QCOMPARE(o.value(QStringLiteral("record_keep_pauses")).toBool(true), false);
        QCOMPARE(o.value(QStringLiteral("record_glides")).toBool(false), true);
        QCOMPARE(o.value(QStringLiteral("stert_time")).toInt(), 5); // the run's own delay is its own
        tervalo again;
        QCOMPARE(again.settings().record_delay, 9);
        QVERIFY(!again.settings().record_keep_pauses);
    }

    // A desktop whose input cannot be observed (GNOME's Wayland backend)
    // cannot record: the window says so, and on a Wayland session why, in
    // its language; nothing records and the window stays.
    void cannotObserveIsTold_data()
    {
        QTest::addColumn<bool>("wayland");
        QTest::addColumn<bool>("japanese");
        QTest::newRow("Wayland, Japanese") << true << true;
        QTest::newRow("Wayland, English") << true << false;
        QTest::newRow("X11") << false << true;
    }
    void cannotObserveIsTold()
    {
        QFETCH(bool, wayland);
        QFETCH(bool, japanese);
        struct Unobservable : platform::SimDesktop {
            int startInputObserver(platform::InputObserver, int) override { return 0; }
        };
        platform::setDesktop(std::make_shared<Unobservable>());
        // The start notice of a Wayland session was seen before.
        QVERIFY(settings->write(QStringLiteral("{\"is_used_this\": true, \"is_used_wayland\": true, \"is_japanese\": %1}")
                                    .arg(japanese ? "true" : "false")
                                    .toUtf8()));
        if (wayland)
            qputenv("WAYLAND_DISPLAY", "wayland-0");
        tervalo window;
        window.show();
        window.addNewCommand();
        DialogAnswerer answerer;
        answerer.answerMessageBox(QMessageBox::Ok);
        whenRecordDialog([](RecordDialog *d) { d->startButton->click(); });
        windowparts::get<QAction>(window, "recordAction")->trigger();
        qunsetenv("WAYLAND_DISPLAY");
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen.first().icon, QMessageBox::Warning);
        const QString told = answerer.seen.first().text;
        qputenv("WAYLAND_DISPLAY", "wayland-0");
        const QString onWayland = RecordingSession::cannotObserveMessage(japanese);
        qunsetenv("WAYLAND_DISPLAY");
        const QString elsewhere = RecordingSession::cannotObserveMessage(japanese);
        QVERIFY(onWayland != elsewhere);
        QVERIFY2(told.startsWith(wayland ? onWayland : elsewhere), qPrintable(told));
        QVERIFY(!window.recordingSession());
        QVERIFY(window.isVisible());
    }

    void menuIsTheLastOneInBothLanguages()
    {
        tervalo window;
        window.addNewCommand();
        const QList<QAction *> menus = window.menuBar()->actions();
        QCOMPARE(menus.last()->menu(), windowparts::get<QMenu>(window, "recordMenu"));
        QCOMPARE(windowparts::get<QMenu>(window, "recordMenu")->actions(), QList<QAction *>{windowparts::get<QAction>(window, "recordAction")});
        QCOMPARE(windowparts::text(windowparts::get<QMenu>(window, "recordMenu")), QStringLiteral("記録"));
        QCOMPARE(windowparts::text(windowparts::get<QAction>(window, "recordAction")), QStringLiteral("操作を記録..."));
        windowparts::get<QAction>(window, "languageAction")->trigger();
        QCOMPARE(windowparts::text(windowparts::get<QMenu>(window, "recordMenu")), QStringLiteral("Record"));
        QCOMPARE(windowparts::text(windowparts::get<QAction>(window, "recordAction")), QStringLiteral("Record actions..."));
        // An action without a tooltip of its own shows its text; in help mode
        // the menu shows the entry's explanation.
        const QString help = QStringLiteral(
            "Records what you do with the mouse and keyboard and inserts it as pages after the current page.");
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(windowparts::get<QAction>(window, "recordAction")->toolTip() == help, window.settings().is_help);
            QCOMPARE(windowparts::get<QMenu>(window, "recordMenu")->toolTipsVisible(), window.settings().is_help);
            windowparts::get<QAction>(window, "helpModeAction")->trigger();
        }
    }

    // From the menu to the pages: the window hides, the delay passes, the
    // person acts, the exit command ends it, and the pages stand after the
    // current page as one undo step.
    void recordingInsertsPagesAfterTheCurrentPage()
    {
        tervalo window;
        window.addNewCommand();
        window.show();
        window.nextPage();
        window.nextPage(); // three pages, the third current
        window.returnPage(); // page 2 of 3
        const RecordList before = window.project().commands();
        whenRecordDialog([](RecordDialog *d) {
            d->startDelaySpin->setValue(1);
            d->startButton->click();
        });
        windowparts::get<QAction>(window, "recordAction")->trigger();
        QVERIFY(!window.isVisible());
        QVERIFY(window.recordingSession());
        QCOMPARE(fixture->sim->observerCount(), 1); // watching for the exit command
        QVERIFY(!window.recordingSession()->recorder().isRecording()); // not before the delay
        QTRY_VERIFY_WITH_TIMEOUT(window.recordingSession()->recorder().isRecording(), 3000);
        fixture->sim->movePointer(40, 50);
        fixture->sim->pressButton(platform::MouseButton::Left);
        fixture->sim->releaseButton(platform::MouseButton::Left);
        playKeys(*fixture->sim, "+112 -112 +162 +164 +83");
        QTRY_VERIFY(window.isVisible());
        QCOMPARE(fixture->sim->observerCount(), 0);
        QVERIFY(!window.recordingSession());
        QCOMPARE(window.project().commands().size(), 3 + 4);
        QCOMPARE(window.project().conditions().size(), 3 + 4);
        QCOMPARE(window.project().commands().mid(0, 2), before.mid(0, 2));
        QCOMPARE(window.project().commands()[2].value(0), QStringLiteral("マウスポインター"));
        QCOMPARE(window.project().commands()[3].value(0), QStringLiteral("マウスポインター"));
        QCOMPARE(window.project().commands()[4].mid(0, 2), (QStringList{"クリック", "左"}));
        QCOMPARE(window.project().commands()[5].mid(0, 2), (QStringList{"キー", "112,0"}));
        QCOMPARE(window.project().commands()[6], before[2]);
        QCOMPARE(window.project().currentPage(), 3); // the first recorded page is shown
        fixture->sim->releaseKey(83);
        fixture->sim->releaseKey(164);
        fixture->sim->releaseKey(162);

        window.pageBack(); // one step takes them all away
        QCOMPARE(window.project().commands(), before);
    }

    void nothingRecordedChangesNothing()
    {
        tervalo window;
        window.addNewCommand();
        RecordDialog::Values v;
        v.startDelay = 1;
        const int historyBefore = window.editHistory().size();
        QVERIFY(window.startRecording(v));
        QVERIFY(!window.startRecording(v)); // one at a time
        QTRY_VERIFY_WITH_TIMEOUT(window.recordingSession()->recorder().isRecording(), 3000);
        playKeys(*fixture->sim, "+162 +164 +83 -83 -164 -162");
        QTRY_VERIFY(!window.recordingSession());
        QCOMPARE(window.project().commands().size(), 1);
        QCOMPARE(window.editHistory().size(), historyBefore);
    }

    // During the start delay the exit command is watched for and nothing
    // else is kept: pressed then, it cancels (a person who changed their
    // mind gets the window back as it was, long before the delay is over).
    void inputDuringTheDelay_data()
    {
        QTest::addColumn<int>("delay");
        QTest::addColumn<QString>("inDelay");    // keys pressed during the delay
        QTest::addColumn<QString>("afterStart"); // then, once it records (empty: nothing)
        QTest::addColumn<QStringList>("pages");  // kind and first value of each page made
        QTest::newRow("the exit command cancels")
            << 30 << "+112 -112 +162 +164 +83 -83 -164 -162" << QString() << QStringList{};
        QTest::newRow("other input is not kept")
            << 1 << "+112 -112" << "+113 -113 +162 +164 +83 -83 -164 -162" << QStringList{"キー;113,0"};
        QTest::newRow("a modifier held from the delay still stops it")
            << 1 << "+162 +164" << "+83 -83 -164 -162" << QStringList{};
    }

    void inputDuringTheDelay()
    {
        QFETCH(int, delay);
        QFETCH(QString, inDelay);
        QFETCH(QString, afterStart);
        QFETCH(QStringList, pages);
        tervalo window;
        window.addNewCommand();
        window.show();
        const RecordList before = window.project().commands();
        const int historyBefore = window.editHistory().size();
        whenRecordDialog([delay](RecordDialog *d) {
            d->startDelaySpin->setValue(delay);
            d->startButton->click();
        });
        windowparts::get<QAction>(window, "recordAction")->trigger();
        QVERIFY(!window.isVisible());
        QCOMPARE(fixture->sim->observerCount(), 1);
        fixture->sim->movePointer(30, 30);
        playKeys(*fixture->sim, inDelay);
        fixture->sim->settleObservers();
        if (!afterStart.isEmpty()) {
            QVERIFY(window.recordingSession());
            QTRY_VERIFY_WITH_TIMEOUT(window.recordingSession()->recorder().isRecording(), 3000);
            playKeys(*fixture->sim, afterStart);
        }
        QTRY_VERIFY(window.isVisible()); // within 5 s, whatever the delay
        QVERIFY(!window.recordingSession());
        QCOMPARE(fixture->sim->observerCount(), 0);
        QStringList made;
        for (const QStringList &command : window.project().commands().mid(1))
            made << command.mid(0, 2).join(QLatin1Char(';'));
        QCOMPARE(made, pages);
        if (pages.isEmpty()) { // nothing changed, nothing to undo
            QCOMPARE(window.project().commands(), before);
            QCOMPARE(window.editHistory().size(), historyBefore);
        }
    }

    // While the window is hidden, a tray icon (or, without a tray, a label in
    // a screen corner that takes no input) says that it waits or records and
    // names the exit command; a click on the icon ends it as that command
    // would, without the click itself.
    void indicatorWhileHidden_data()
    {
        QTest::addColumn<bool>("tray");
        QTest::addColumn<bool>("japanese");
        QTest::addColumn<bool>("inDelay");
        QTest::newRow("tray, recording, Japanese") << true << true << false;
        QTest::newRow("tray, during the delay, English") << true << false << true;
        QTest::newRow("no tray, recording, English") << false << false << false;
        QTest::newRow("no tray, during the delay, Japanese") << false << true << true;
    }
    void indicatorWhileHidden()
    {
        QFETCH(bool, tray);
        QFETCH(bool, japanese);
        QFETCH(bool, inDelay);
        StopRule::setTrayAvailableForTesting(tray);
        auto asked = qScopeGuard([] { StopRule::setTrayAvailableForTesting(std::nullopt); });
        tervalo window;
        window.settings().is_japanese = japanese;
        window.addNewCommand();
        window.show();
        RecordDialog::Values v;
        v.startDelay = inDelay ? 30 : 1;
        QVERIFY(window.startRecording(v));
        auto *indicator = window.recordingSession()->findChild<RecordingIndicator *>();
        QVERIFY(indicator);
        QPointer<QSystemTrayIcon> icon = indicator->trayIcon();
        QPointer<QLabel> notice = indicator->notice();
        QCOMPARE(bool(icon), tray);
        QCOMPARE(bool(notice), !tray);
        auto said = [&] { return icon ? icon->toolTip() : notice->text(); };
        const QString waiting = said();
        if (!inDelay)
            QTRY_VERIFY_WITH_TIMEOUT(window.recordingSession()->recorder().isRecording(), 3000);
        QVERIFY(said().contains(KeyCombination::label(v.stopCommand)));
        QCOMPARE(said().contains(QRegularExpression(QStringLiteral("[\\x{3040}-\\x{30ff}]"))), japanese);
        QCOMPARE(said() == waiting, inDelay);
        if (notice) {
            QVERIFY(notice->isVisible());
            QVERIFY(notice->windowFlags().testFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
                                                    | Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus));
            const QRect area = notice->screen()->availableGeometry();
            QVERIFY(area.contains(notice->frameGeometry()));
            // The top right corner.
            QVERIFY(area.right() - notice->frameGeometry().right() < 20 && notice->y() - area.top() < 20);
            playKeys(*fixture->sim, "+112 -112 +162 +164 +83 -83 -164 -162");
        } else {
            QVERIFY(icon->isVisible());
            // The person's key, then the way to the icon and the click on it.
            playKeys(*fixture->sim, "+112 -112");
            fixture->sim->movePointer(600, 5);
            fixture->sim->pressButton(platform::MouseButton::Left);
            fixture->sim->settleObservers();
            emit icon->activated(QSystemTrayIcon::Trigger);
            fixture->sim->releaseButton(platform::MouseButton::Left);
        }
        QTRY_VERIFY(window.isVisible());
        QVERIFY(!icon && !notice);
        QStringList made;
        for (const QStringList &command : window.project().commands().mid(1))
            made << command.value(0);
        QCOMPARE(made, inDelay ? QStringList() : QStringList{PageKinds::kKey});
    }

    // Closing the program while it records, or waits to, ends the observer.
    void windowGoneWhileRecording_data()
    {
        QTest::addColumn<bool>("inDelay");
        QTest::newRow("recording") << false;
        QTest::newRow("during the delay") << true;
    }
    void windowGoneWhileRecording()
    {
        QFETCH(bool, inDelay);
        {
            tervalo window;
            window.addNewCommand();
            RecordDialog::Values v;
            v.startDelay = inDelay ? 30 : 1;
            QVERIFY(window.startRecording(v));
            QCOMPARE(fixture->sim->observerCount(), 1);
            if (!inDelay)
                QTRY_VERIFY_WITH_TIMEOUT(window.recordingSession()->recorder().isRecording(), 3000);
        }
        QCOMPARE(fixture->sim->observerCount(), 0);
    }
};

QTEST_MAIN(TestRecorder)
#include "tst_recorder.moc"
