#include "gui/dialogs/rundialog.h"

#include "files/datafiles.h"
#include "input/keycombination.h"
#include "platform/desktop.h"
#include "run/run.h"
#include "run/stoprule.h"
#include "gui/widgets/controlstyles.h"
#include "gui/widgets/textfit.h"

#include <QCheckBox>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QStringList>
#include <QTimer>
#include <QtDebug>

namespace {

using controlstyles::placed;
} // namespace

QString RunDialog::text(const char *japaneseText, const char *englishText) const
{
    return japanese ? tr(japaneseText) : tr(englishText);
}

RunDialog::RunDialog(int stertTime, int runNumber, QString stopCommand, bool noticeShown, bool japanese,
                     QWidget *parent)
    : QDialog(parent)
    , stertTime(qBound(1, stertTime, Run::kMaxStartDelay))
    , runNumber(qBound(1, runNumber, kRepeatUntilStopped))
    , stopCommand(std::move(stopCommand))
    , noticeShown(noticeShown)
    , japanese(japanese)
{
    setFixedSize(300, 430);
    setModal(true);
    setWindowTitle(text("実行設定", "Execution Settings"));

    startDelayLabel = placed(new QLabel(text("開始までの秒数:", "Seconds until start:"), this), 10, 10, 290, 40, 24);
    startDelaySpin = placed(new QSpinBox(this), 10, 60, 120, 40, 24);
    startDelaySpin->setRange(1, Run::kMaxStartDelay);
    startDelaySpin->setValue(this->stertTime);
    secLabel = placed(new QLabel(text("秒", "sec"), this), 135, 60, 290, 40, 24);

    runCountLabel = placed(new QLabel(text("実行回数:", "Number of runs:"), this), 10, 130, 190, 40, 24);
    runCountSpin = placed(new QSpinBox(this), 10, 180, 120, 40, 24);
    runCountSpin->setRange(1, Run::kMaxRunCount);
    runCountSpin->setValue(this->runNumber); // a spin box holds at most 9999
    timesLabel = placed(new QLabel(text("回", "times"), this), 135, 180, 290, 40, 24);

    repeatCheck = new QCheckBox(text("終了コマンドまで繰り返す", "Repeat until exit command"), this);
    repeatCheck->move(10, 228);
    connect(repeatCheck, &QCheckBox::stateChanged, this, &RunDialog::changeCheckRunNumber);

    exitCommandLabel = placed(new QLabel(text("終了コマンド:", "Exit command:"), this), 10, 250, 280, 40, 24);
    hotKeyLabel = placed(new QLabel(this), 10, 290, 280, 40, 24);
    changeButton = placed(new QPushButton(text("変更", "Change"), this), 190, 290, 100, 40, 20);

    pressKeysLabel = new QLabel(text("単一または複数キーを押してください", "Press one or more keys"), this);
    pressKeysLabel->setGeometry(10, 335, 380, 16);
    pressKeysLabel->setStyleSheet(QStringLiteral("font-size: 12px;"));
    pressKeysLabel->hide();

    noExitCommandCheck = new QCheckBox(text("終了コマンドを設定しない", "Do not set an exit command"), this);
    noExitCommandCheck->move(10, 335);
    noExitCommandCheck->setIcon(QIcon(DataFiles::image(QStringLiteral("danger.png"))));
    noExitCommandCheck->setIconSize(QSize(14, 14));
    connect(noExitCommandCheck, &QCheckBox::stateChanged, this, &RunDialog::changeCheckHotKey);

    startButton = placed(new QPushButton(text("開始", "Start"), this), 10, 360, 280, 60, 24);
    startButton->setDefault(true);

    setTabOrder(startDelaySpin, runCountSpin);
    setTabOrder(runCountSpin, changeButton);
    setTabOrder(changeButton, startButton);

    if (this->runNumber == kRepeatUntilStopped) {
        repeatCheck->setChecked(true);
        runCountSpin->setValue(1);
    }
    if (this->stopCommand == KeyCombination::noneCode()) {
        noExitCommandCheck->setChecked(true);
        // Unchecking the box later offers Ctrl+Alt+S.
        this->stopCommand = KeyCombination::defaultStopCommand();
    }

    connect(startButton, &QPushButton::clicked, this, &RunDialog::startRequested);
    connect(changeButton, &QPushButton::clicked, this, &RunDialog::onHotKeyButtonPressed);
    pollTimer = new QTimer(this);
    connect(pollTimer, &QTimer::timeout, this, &RunDialog::pollHotKey);

    refreshStopCommandValidity();
    hotKeyLabel->setText(KeyCombination::stopLabel(this->stopCommand));
    updateStartButtonState();
    TextFit::fitAll(this);
}

RunDialog::~RunDialog()
{
    stopCapturing();
    capture.remove();
}

void RunDialog::done(int result)
{
    // The keyboard must not stay captured once the dialog is gone.
    stopCapturing();
    capture.remove();
    QDialog::done(result);
}

void RunDialog::stopCapturing()
{
    if (!capturing)
        return;
    capture.disarm();
    capturing = false;
    if (pollTimer)
        pollTimer->stop();
}

void RunDialog::refreshStopCommandValidity()
{
    stopCommandValid = StopRule::isUsableStopCommand(stopCommand);
}

void RunDialog::updateStartButtonState()
{
    startButton->setVisible(!capturing && stopCommandValid);
}

void RunDialog::changeCheckRunNumber(int state)
{
    const bool hide = state == Qt::Checked;
    runCountSpin->setHidden(hide);
    timesLabel->setHidden(hide);
}

void RunDialog::changeCheckHotKey(int state)
{
    const bool hide = state == Qt::Checked;
    hotKeyLabel->setHidden(hide);
    changeButton->setHidden(hide);
}

void RunDialog::onHotKeyButtonPressed()
{
    if (capturing) {
        // Cancel: the previous command stays.
        stopCapturing();
        changeButton->show();
        hotKeyLabel->setText(KeyCombination::stopLabel(stopCommand));
        TextFit::fit(hotKeyLabel);
        pressKeysLabel->hide();
        noExitCommandCheck->show();
        startDelaySpin->setEnabled(true);
        runCountSpin->setEnabled(true);
        updateStartButtonState();
        return;
    }
    if (!capture.install()) {
        qWarning() << "Failed to install keyboard hook. Error:" << platform::desktop().lastError();
        hotKeyLabel->setText(tr("フック失敗"));
        return;
    }
    capture.arm();
    capturing = true;
    changeButton->hide();
    pressKeysLabel->show();
    hotKeyLabel->setText(tr(""));
    noExitCommandCheck->hide();
    startDelaySpin->setEnabled(false);
    runCountSpin->setEnabled(false);
    updateStartButtonState();
    pollTimer->start(50);
}

void RunDialog::pollHotKey()
{
    const int key = capture.capturedKey();
    if (key == 0)
        return;
    const int hookBits = capture.capturedModifiers();
    capture.disarm(); // stays installed, inactive, until the dialog goes
    capture.clearCapturedKey();
    capturing = false;
    pollTimer->stop();

    stopCommand = KeyCombination::format(key, KeyCombination::maskFromHookBits(hookBits));
    refreshStopCommandValidity();
    hotKeyLabel->setText(KeyCombination::stopLabel(stopCommand));
    TextFit::fit(hotKeyLabel);

    changeButton->show();
    noExitCommandCheck->show();
    pressKeysLabel->hide();
    startDelaySpin->setEnabled(true);
    runCountSpin->setEnabled(true);
    updateStartButtonState();
}

void RunDialog::startRequested()
{
    if (!StopRule::mayStart(noExitCommandCheck->isChecked() ? KeyCombination::noneCode() : stopCommand)) {
        QMessageBox::warning(
            this, text("終了コマンドが必要です", "Exit command required"),
            text("このデスクトップにはシステムトレイがないため、\n終了コマンドを設定しない実行は途中で停止できません。\n"
                 "終了コマンドを設定してください。",
                 "This desktop has no system tray, so a run without an exit command\ncould not be stopped "
                 "before it ends.\nPlease set an exit command."));
        return;
    }
    if (noExitCommandCheck->isChecked()) {
        // This one is asked every time: there is deliberately no way to hide it.
        reply = QMessageBox::warning(
            this, text("このメッセージを無効化することはできません。", "This message cannot be disabled."),
            text("終了コマンドが設定されていません。\nタスクバーの右側にあるシステムトレイもしくは\n"
                 "指定回数でのみ終了可能です。\n危険ですが実行しますか？",
                 "No termination command has been set. \nThe application can only be terminated via the "
                 "system tray on the right side of the taskbar or after a specified number of "
                 "terminations. \nThis is risky; do you wish to proceed?"),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    } else {
        if (!noticeShown) {
            QMessageBox::information(
                this, text("次回からは表示されません。", "This will not be displayed next time."),
                text("現在の停止コマンドは「%1」です。\nこのコマンドは変更可能です。\n"
                     "これを入力することでいかなる時でも\n0.2秒以内で実行中のプロジェクトを停止可能です。\n"
                     "忘れないで下さい。",
                     "The current stop command is \"%1\".\nThis command can be changed.\nBy entering this "
                     "command, you can stop the running project within 0.2 seconds at any time.\nPlease do "
                     "not forget it.")
                    .arg(hotKeyLabel->text()),
                QMessageBox::Ok, QMessageBox::NoButton);
            noticeShown = true;
        }
        reply = QMessageBox::Yes;
    }
    if (reply != QMessageBox::Yes)
        return;
    stertTime = startDelaySpin->value();
    runNumber = repeatCheck->isChecked() ? kRepeatUntilStopped : runCountSpin->value();
    if (noExitCommandCheck->isChecked())
        stopCommand = KeyCombination::noneCode();
    accept();
}
