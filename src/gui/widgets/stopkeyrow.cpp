#include "gui/widgets/stopkeyrow.h"

#include "gui/widgets/controlstyles.h"
#include "gui/widgets/textfit.h"
#include "input/keycombination.h"
#include "platform/desktop.h"
#include "settings/text.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtDebug>

namespace {
// How often a capture looks for a pressed combination, in ms.
constexpr int kPollMs = 50;
} // namespace

StopKeyRow::StopKeyRow(QWidget *dialog, QString command, bool japanese, const Place &place)
    : QObject(dialog)
    , label(controlstyles::placed(new QLabel(dialog), place.label.x(), place.label.y(), place.label.width(),
                                  place.label.height(), 24))
    , changeButton(controlstyles::placed(new QPushButton(Text{"変更", "Change"}.in(japanese), dialog),
                                         place.change.x(), place.change.y(), place.change.width(),
                                         place.change.height(), 20))
    , prompt(new QLabel(Text{"単一または複数キーを押してください", "Press one or more keys"}.in(japanese), dialog))
    , pollTimer(new QTimer(this))
    , command_(std::move(command))
    , changeHiddenWhileCapturing_(place.changeHiddenWhileCapturing)
{
    prompt->setGeometry(place.prompt);
    prompt->setStyleSheet(QStringLiteral("font-size: 12px;"));
    prompt->hide();
    showCommand();
    connect(changeButton, &QPushButton::clicked, this, &StopKeyRow::changePressed);
    connect(pollTimer, &QTimer::timeout, this, &StopKeyRow::poll);
}

StopKeyRow::~StopKeyRow()
{
    release();
}

void StopKeyRow::release()
{
    if (capturing_) {
        capture_.disarm();
        pollTimer->stop();
        capturing_ = false;
    }
    capture_.remove();
}

void StopKeyRow::changePressed()
{
    if (capturing_) {
        setCapturing(false); // cancelled: the previous command stays
        return;
    }
    if (!capture_.install()) {
        qWarning() << "Failed to install keyboard hook. Error:" << platform::desktop().lastError();
        label->setText(QStringLiteral("フック失敗"));
        return;
    }
    setCapturing(true);
}

void StopKeyRow::poll()
{
    const int key = capture_.capturedKey();
    if (key == 0)
        return;
    const int mask = KeyCombination::maskFromHookBits(capture_.capturedModifiers());
    capture_.clearCapturedKey();
    command_ = KeyCombination::format(key, mask);
    emit commandChanged(command_);
    setCapturing(false);
}

void StopKeyRow::setCapturing(bool capturing)
{
    if (capturing == capturing_)
        return;
    capturing_ = capturing;
    if (capturing) {
        capture_.arm();
        pollTimer->start(kPollMs);
        label->clear();
    } else {
        capture_.disarm(); // stays installed, inactive, until the dialog goes
        pollTimer->stop();
        showCommand();
    }
    prompt->setVisible(capturing);
    if (changeHiddenWhileCapturing_)
        changeButton->setHidden(capturing);
    emit capturingChanged(capturing);
}

void StopKeyRow::showCommand()
{
    label->setText(KeyCombination::stopLabel(command_));
    TextFit::fit(label);
}
