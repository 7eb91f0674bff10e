#include "gui/dialogs/recorddialog.h"

#include "gui/widgets/controlstyles.h"
#include "gui/widgets/textfit.h"
#include "input/keycombination.h"
#include "run/stoprule.h"
#include "settings/text.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

namespace {
using controlstyles::placed;
} // namespace

RecordDialog::RecordDialog(const Values &values, bool japanese, bool help, QWidget *parent)
    : QDialog(parent)
    , values_(values)
    , japanese_(japanese)
{
    values_.startDelay = qBound(1, values_.startDelay, 9999);
    // "None" cannot end a recording: an unusable command falls back to the default.
    if (!StopRule::isUsableStopCommand(values_.stopCommand))
        values_.stopCommand = KeyCombination::defaultStopCommand();

    setFixedSize(340, 430);
    setModal(true);
    setWindowTitle(Text{"操作を記録", "Record Actions"}.in(japanese_));

    startDelayLabel = placed(new QLabel(Text{"開始までの秒数:", "Seconds until start:"}.in(japanese_), this), 10, 10, 320, 40, 24);
    startDelaySpin = placed(new QSpinBox(this), 10, 60, 120, 40, 24);
    startDelaySpin->setRange(1, 9999);
    startDelaySpin->setValue(values_.startDelay);
    secLabel = placed(new QLabel(Text{"秒", "sec"}.in(japanese_), this), 135, 60, 190, 40, 24);

    exitCommandLabel = placed(new QLabel(Text{"終了コマンド:", "Exit command:"}.in(japanese_), this), 10, 110, 320, 40, 24);
    stopKeys_ = new StopKeyRow(this, values_.stopCommand, japanese_,
                               {QRect(10, 150, 220, 40), QRect(230, 150, 100, 40), QRect(10, 195, 320, 16)});
    hotKeyLabel = stopKeys_->label;
    changeButton = stopKeys_->changeButton;
    pressKeysLabel = stopKeys_->prompt;
    pollTimer = stopKeys_->pollTimer;
    connect(stopKeys_, &StopKeyRow::commandChanged, this, [this](const QString &command) { values_.stopCommand = command; });
    connect(stopKeys_, &StopKeyRow::capturingChanged, this, [this](bool capturing) {
        startButton->setVisible(!capturing);
        startDelaySpin->setEnabled(!capturing);
    });

    glidesCheck = new QCheckBox(Text{"ポインターの移動をスムーズムーブで記録する", "Record pointer paths as glides"}.in(japanese_), this);
    glidesCheck->move(10, 225);
    glidesCheck->setChecked(values_.options.glides);
    joinTextCheck = new QCheckBox(Text{"入力した文字を入力ページにまとめる", "Join typed characters into Enter Text pages"}.in(japanese_), this);
    joinTextCheck->move(10, 260);
    joinTextCheck->setChecked(values_.options.joinText);
    keepPausesCheck = new QCheckBox(Text{"操作の間の時間を時間条件で残す", "Keep pauses as Time conditions"}.in(japanese_), this);
    keepPausesCheck->move(10, 295);
    keepPausesCheck->setChecked(values_.options.keepPauses);

    startButton = placed(new QPushButton(Text{"開始", "Start"}.in(japanese_), this), 10, 360, 320, 60, 24);
    startButton->setDefault(true);

    setTabOrder(startDelaySpin, changeButton);
    setTabOrder(changeButton, glidesCheck);
    setTabOrder(glidesCheck, joinTextCheck);
    setTabOrder(joinTextCheck, keepPausesCheck);
    setTabOrder(keepPausesCheck, startButton);

    if (help) {
        startDelaySpin->setToolTip(Text{"記録を始めるまでの秒数です。\nこの間に記録したい画面を準備してください。",
                                        "Seconds before the recording begins.\nUse them to get the screen you want to record ready."}.in(japanese_));
        hotKeyLabel->setToolTip(Text{"記録を終えるキーの組み合わせです。\nこのキーは記録されません。",
                                     "The key combination that ends the recording.\nIts own keys are not recorded."}.in(japanese_));
        changeButton->setToolTip(Text{"記録を終えるキーの組み合わせを変更します。\nもう一度押すと取り消します。",
                                      "Changes the key combination that ends the recording.\nPress again to cancel."}.in(japanese_));
        glidesCheck->setToolTip(Text{"オン: ポインターの移動はスムーズムーブのページになります。\n"
                                     "オフ: 移動先へのマウスポインターのページになります。",
                                     "On: pointer travel becomes Smooth Move pages.\n"
                                     "Off: it becomes Mouse Pointer pages at the point where it ends."}.in(japanese_));
        joinTextCheck->setToolTip(Text{"オン: 続けて入力した文字は1つの入力ページになります。\n"
                                       "オフ: 1つのキーごとにキーのページになります。",
                                       "On: characters typed one after another become one Enter Text page.\n"
                                       "Off: every key becomes a Key page."}.in(japanese_));
        keepPausesCheck->setToolTip(Text{"オン: 操作の間の時間を時間条件で残します（0.05秒未満は残しません）。\n"
                                         "オフ: できるだけ速く、操作を1つずつ再生します。",
                                         "On: the time between actions is kept as Time conditions (pauses under 0.05 s are dropped).\n"
                                         "Off: the actions play back one after another, as fast as they can."}.in(japanese_));
        startButton->setToolTip(Text{"ウィンドウを隠し、開始までの秒数のあと記録を始めます。\n"
                                     "終了コマンドで記録を終えると、記録したページが現在のページの後ろに入ります。",
                                     "Hides the window and starts recording after the delay.\n"
                                     "The exit command ends it; the recorded pages go after the current page."}.in(japanese_));
    }

    connect(startButton, &QPushButton::clicked, this, &RecordDialog::startRequested);
    // Texts too long for their control at the designed size (English, a long
    // combination) shrink until they fit, as in the run settings.
    TextFit::fitAll(this);
}

RecordDialog::~RecordDialog() = default;

void RecordDialog::done(int result)
{
    stopKeys_->release();
    QDialog::done(result);
}

void RecordDialog::onChangePressed()
{
    stopKeys_->changePressed();
}

void RecordDialog::pollCapture()
{
    stopKeys_->poll();
}

void RecordDialog::startRequested()
{
    values_.startDelay = startDelaySpin->value();
    values_.options.glides = glidesCheck->isChecked();
    values_.options.joinText = joinTextCheck->isChecked();
    values_.options.keepPauses = keepPausesCheck->isChecked();
    accept();
}
