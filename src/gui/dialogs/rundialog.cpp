#include "gui/dialogs/rundialog.h"

#include "files/datafiles.h"
#include "gui/widgets/controlstyles.h"
#include "gui/widgets/messagebox.h"
#include "gui/widgets/textfit.h"
#include "input/keycombination.h"
#include "platform/desktop.h"
#include "run/run.h"
#include "run/stoprule.h"
#include "settings/text.h"

#include <QCheckBox>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QStringList>
#include <QtDebug>

namespace {

using controlstyles::placed;
} // namespace

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
    setWindowTitle(Text{"実行設定", "Execution Settings"}.in(japanese));

    startDelayLabel = placed(new QLabel(Text{"開始までの秒数:", "Seconds until start:"}.in(japanese), this), 10, 10, 290, 40, 24);
    startDelaySpin = placed(new QSpinBox(this), 10, 60, 120, 40, 24);
    startDelaySpin->setRange(1, Run::kMaxStartDelay);
    startDelaySpin->setValue(this->stertTime);
    secLabel = placed(new QLabel(Text{"秒", "sec"}.in(japanese), this), 135, 60, 290, 40, 24);

    runCountLabel = placed(new QLabel(Text{"実行回数:", "Number of runs:"}.in(japanese), this), 10, 130, 190, 40, 24);
    runCountSpin = placed(new QSpinBox(this), 10, 180, 120, 40, 24);
    runCountSpin->setRange(1, Run::kMaxRunCount);
    runCountSpin->setValue(this->runNumber); // a spin box holds at most 9999
    timesLabel = placed(new QLabel(Text{"回", "times"}.in(japanese), this), 135, 180, 290, 40, 24);

    repeatCheck = new QCheckBox(Text{"終了コマンドまで繰り返す", "Repeat until exit command"}.in(japanese), this);
    repeatCheck->move(10, 228);
    connect(repeatCheck, &QCheckBox::stateChanged, this, &RunDialog::changeCheckRunNumber);

    exitCommandLabel = placed(new QLabel(Text{"終了コマンド:", "Exit command:"}.in(japanese), this), 10, 250, 280, 40, 24);
    const bool noStopCommand = this->stopCommand == KeyCombination::noneCode();
    if (noStopCommand)
        // The box below is checked; unchecking it later offers Ctrl+Alt+S.
        this->stopCommand = KeyCombination::defaultStopCommand();
    stopKeys = new StopKeyRow(this, this->stopCommand, japanese,
                              {QRect(10, 290, 280, 40), QRect(190, 290, 100, 40), QRect(10, 335, 380, 16), true});
    hotKeyLabel = stopKeys->label;
    changeButton = stopKeys->changeButton;
    pressKeysLabel = stopKeys->prompt;
    pollTimer = stopKeys->pollTimer;
    connect(stopKeys, &StopKeyRow::capturingChanged, this, &RunDialog::capturingChanged);
    connect(stopKeys, &StopKeyRow::commandChanged, this, [this](const QString &command) {
        this->stopCommand = command;
        refreshStopCommandValidity();
    });

    noExitCommandCheck = new QCheckBox(Text{"終了コマンドを設定しない", "Do not set an exit command"}.in(japanese), this);
    noExitCommandCheck->move(10, 335);
    noExitCommandCheck->setIcon(QIcon(DataFiles::image(QStringLiteral("danger.png"))));
    noExitCommandCheck->setIconSize(QSize(14, 14));
    connect(noExitCommandCheck, &QCheckBox::stateChanged, this, &RunDialog::changeCheckHotKey);

    startButton = placed(new QPushButton(Text{"開始", "Start"}.in(japanese), this), 10, 360, 280, 60, 24);
    startButton->setDefault(true);

    if (platform::currentDesktop()->pastesOutsideLayout()) {
        // Below the start button, in room the dialog grows for it.
        constexpr int kNoteHeight = 50; // pixels: two lines
        setFixedSize(width(), height() + kNoteHeight);
        pasteNote = placed(new QLabel(Text{"キーボードにない文字は貼り付けで入力します。",
                                           "Characters the keyboard lacks are typed by pasting."}.in(japanese), this),
                           10, 425, 280, kNoteHeight, 14);
        pasteNote->setWordWrap(true);
        pasteNote->setToolTip(Text{"このデスクトップでは、キーボード配列にない文字（é、日本 など）を\n"
                                   "クリップボード経由で貼り付け（Ctrl+V）で入力します。\n"
                                   "クリップボードの内容は入力後に元に戻します。",
                                   "On this desktop, characters outside the keyboard layout (é, 日本, ...)\n"
                                   "are typed by pasting them through the clipboard (Ctrl+V).\n"
                                   "The clipboard gets its own content back afterwards."}.in(japanese));
    }

    setTabOrder(startDelaySpin, runCountSpin);
    setTabOrder(runCountSpin, changeButton);
    setTabOrder(changeButton, startButton);

    if (this->runNumber == kRepeatUntilStopped) {
        repeatCheck->setChecked(true);
        runCountSpin->setValue(1);
    }
    if (noStopCommand)
        noExitCommandCheck->setChecked(true);

    connect(startButton, &QPushButton::clicked, this, &RunDialog::startRequested);

    refreshStopCommandValidity();
    updateStartButtonState();
    TextFit::fitAll(this);
}

RunDialog::~RunDialog() = default;

void RunDialog::done(int result)
{
    // The keyboard must not stay captured once the dialog is gone.
    stopKeys->release();
    QDialog::done(result);
}

void RunDialog::refreshStopCommandValidity()
{
    stopCommandValid = StopRule::isUsableStopCommand(stopCommand);
}

void RunDialog::updateStartButtonState()
{
    startButton->setVisible(!stopKeys->capturing() && stopCommandValid);
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
    stopKeys->changePressed();
}

void RunDialog::pollHotKey()
{
    stopKeys->poll();
}

void RunDialog::capturingChanged(bool capturing)
{
    noExitCommandCheck->setHidden(capturing);
    startDelaySpin->setEnabled(!capturing);
    runCountSpin->setEnabled(!capturing);
    updateStartButtonState();
}

void RunDialog::startRequested()
{
    if (!StopRule::mayStart(noExitCommandCheck->isChecked() ? KeyCombination::noneCode() : stopCommand)) {
        messagebox::tell(
            this, QMessageBox::Warning, Text{"終了コマンドが必要です", "Exit command required"}.in(japanese),
            Text{"このデスクトップにはシステムトレイがないため、\n終了コマンドを設定しない実行は途中で停止できません。\n"
                 "終了コマンドを設定してください。",
                 "This desktop has no system tray, so a run without an exit command\ncould not be stopped "
                 "before it ends.\nPlease set an exit command."}.in(japanese));
        return;
    }
    if (noExitCommandCheck->isChecked()) {
        // This one is asked every time: there is deliberately no way to hide it.
        const bool yes = messagebox::ask(
            this, QMessageBox::Warning, Text{"このメッセージを無効化することはできません。", "This message cannot be disabled."}.in(japanese),
            Text{"終了コマンドが設定されていません。\nタスクバーの右側にあるシステムトレイもしくは\n"
                 "指定回数でのみ終了可能です。\n危険ですが実行しますか？",
                 "No termination command has been set. \nThe application can only be terminated via the "
                 "system tray on the right side of the taskbar or after a specified number of "
                 "terminations. \nThis is risky; do you wish to proceed?"}.in(japanese));
        reply = yes ? QMessageBox::Yes : QMessageBox::No;
    } else {
        if (!noticeShown) {
            messagebox::tell(
                this, QMessageBox::Information, Text{"次回からは表示されません。", "This will not be displayed next time."}.in(japanese),
                Text{"現在の停止コマンドは「%1」です。\nこのコマンドは変更可能です。\n"
                     "これを入力することでいかなる時でも\n0.2秒以内で実行中のプロジェクトを停止可能です。\n"
                     "忘れないで下さい。",
                     "The current stop command is \"%1\".\nThis command can be changed.\nBy entering this "
                     "command, you can stop the running project within 0.2 seconds at any time.\nPlease do "
                     "not forget it."}.in(japanese)
                    .arg(hotKeyLabel->text()));
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
