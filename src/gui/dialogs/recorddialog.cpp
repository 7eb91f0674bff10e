#include "gui/dialogs/recorddialog.h"

#include "input/keycombination.h"
#include "platform/desktop.h"
#include "gui/dialogs/rundialog.h"
#include "run/stoprule.h"
#include "gui/widgets/controlstyles.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QtDebug>

namespace {

constexpr int kPollMs = 50;

using controlstyles::placed;

} // namespace

QString RecordDialog::text(const char *japaneseText, const char *englishText) const
{
    return japanese_ ? tr(japaneseText) : tr(englishText);
}

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
    setWindowTitle(text("操作を記録", "Record Actions"));

    startDelayLabel = placed(new QLabel(text("開始までの秒数:", "Seconds until start:"), this), 10, 10, 320, 40, 24);
    startDelaySpin = placed(new QSpinBox(this), 10, 60, 120, 40, 24);
    startDelaySpin->setRange(1, 9999);
    startDelaySpin->setValue(values_.startDelay);
    secLabel = placed(new QLabel(text("秒", "sec"), this), 135, 60, 190, 40, 24);

    exitCommandLabel = placed(new QLabel(text("終了コマンド:", "Exit command:"), this), 10, 110, 320, 40, 24);
    hotKeyLabel = placed(new QLabel(KeyCombination::stopLabel(values_.stopCommand), this), 10, 150, 220, 40, 24);
    changeButton = placed(new QPushButton(text("変更", "Change"), this), 230, 150, 100, 40, 20);
    pressKeysLabel = new QLabel(text("単一または複数キーを押してください", "Press one or more keys"), this);
    pressKeysLabel->setGeometry(10, 195, 320, 16);
    pressKeysLabel->setStyleSheet(QStringLiteral("font-size: 12px;"));
    pressKeysLabel->hide();

    glidesCheck = new QCheckBox(text("ポインターの移動をスムーズムーブで記録する", "Record pointer paths as glides"), this);
    glidesCheck->move(10, 225);
    glidesCheck->setChecked(values_.options.glides);
    joinTextCheck = new QCheckBox(text("入力した文字を入力ページにまとめる", "Join typed characters into Enter Text pages"), this);
    joinTextCheck->move(10, 260);
    joinTextCheck->setChecked(values_.options.joinText);
    keepPausesCheck = new QCheckBox(text("操作の間の時間を時間条件で残す", "Keep pauses as Time conditions"), this);
    keepPausesCheck->move(10, 295);
    keepPausesCheck->setChecked(values_.options.keepPauses);

    startButton = placed(new QPushButton(text("開始", "Start"), this), 10, 360, 320, 60, 24);
    startButton->setDefault(true);

    setTabOrder(startDelaySpin, changeButton);
    setTabOrder(changeButton, glidesCheck);
    setTabOrder(glidesCheck, joinTextCheck);
    setTabOrder(joinTextCheck, keepPausesCheck);
    setTabOrder(keepPausesCheck, startButton);

    if (help) {
        startDelaySpin->setToolTip(text("記録を始めるまでの秒数です。\nこの間に記録したい画面を準備してください。",
                                        "Seconds before the recording begins.\nUse them to get the screen you want to record ready."));
        hotKeyLabel->setToolTip(text("記録を終えるキーの組み合わせです。\nこのキーは記録されません。",
                                     "The key combination that ends the recording.\nIts own keys are not recorded."));
        changeButton->setToolTip(text("記録を終えるキーの組み合わせを変更します。\nもう一度押すと取り消します。",
                                      "Changes the key combination that ends the recording.\nPress again to cancel."));
        glidesCheck->setToolTip(text("オン: ポインターの移動はスムーズムーブのページになります。\n"
                                     "オフ: 移動先へのマウスポインターのページになります。",
                                     "On: pointer travel becomes Smooth Move pages.\n"
                                     "Off: it becomes Mouse Pointer pages at the point where it ends."));
        joinTextCheck->setToolTip(text("オン: 続けて入力した文字は1つの入力ページになります。\n"
                                       "オフ: 1つのキーごとにキーのページになります。",
                                       "On: characters typed one after another become one Enter Text page.\n"
                                       "Off: every key becomes a Key page."));
        keepPausesCheck->setToolTip(text("オン: 操作の間の時間を時間条件で残します（0.05秒未満は残しません）。\n"
                                         "オフ: できるだけ速く、操作を1つずつ再生します。",
                                         "On: the time between actions is kept as Time conditions (pauses under 0.05 s are dropped).\n"
                                         "Off: the actions play back one after another, as fast as they can."));
        startButton->setToolTip(text("ウィンドウを隠し、開始までの秒数のあと記録を始めます。\n"
                                     "終了コマンドで記録を終えると、記録したページが現在のページの後ろに入ります。",
                                     "Hides the window and starts recording after the delay.\n"
                                     "The exit command ends it; the recorded pages go after the current page."));
    }

    connect(changeButton, &QPushButton::clicked, this, &RecordDialog::onChangePressed);
    connect(startButton, &QPushButton::clicked, this, &RecordDialog::startRequested);
    pollTimer = new QTimer(this);
    connect(pollTimer, &QTimer::timeout, this, &RecordDialog::pollCapture);
}

RecordDialog::~RecordDialog()
{
    setCapturing(false);
    capture_.remove();
}

void RecordDialog::done(int result)
{
    setCapturing(false);
    capture_.remove();
    QDialog::done(result);
}

void RecordDialog::setCapturing(bool capturing)
{
    if (capturing == capturing_)
        return;
    capturing_ = capturing;
    if (capturing) {
        capture_.arm();
        pollTimer->start(kPollMs);
        hotKeyLabel->clear();
    } else {
        capture_.disarm(); // stays installed, inactive, until the dialog goes
        pollTimer->stop();
        hotKeyLabel->setText(KeyCombination::stopLabel(values_.stopCommand));
    }
    pressKeysLabel->setVisible(capturing);
    startButton->setVisible(!capturing);
    startDelaySpin->setEnabled(!capturing);
}

void RecordDialog::onChangePressed()
{
    if (capturing_) {
        setCapturing(false); // cancelled: the previous command stays
        return;
    }
    if (!capture_.install()) {
        qWarning() << "Failed to install keyboard hook. Error:" << platform::desktop().lastError();
        hotKeyLabel->setText(tr("フック失敗"));
        return;
    }
    setCapturing(true);
}

void RecordDialog::pollCapture()
{
    const int key = capture_.capturedKey();
    if (key == 0)
        return;
    const int mask = KeyCombination::maskFromHookBits(capture_.capturedModifiers());
    capture_.clearCapturedKey();
    values_.stopCommand = KeyCombination::format(key, mask);
    setCapturing(false);
}

void RecordDialog::startRequested()
{
    values_.startDelay = startDelaySpin->value();
    values_.options.glides = glidesCheck->isChecked();
    values_.options.joinText = joinTextCheck->isChecked();
    values_.options.keepPauses = keepPausesCheck->isChecked();
    accept();
}
