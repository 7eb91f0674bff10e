#include "record/recordingsession.h"

#include "input/keycombination.h"
#include "platform/displaysession.h"
#include "run/desktopshell.h"
#include "run/stoprule.h"
#include "settings/text.h"

#include <QDebug>

RecordingSession::RecordingSession(RecordingOptions values, QObject *parent)
    : QObject(parent)
    , values_(std::move(values))
{
    delay_.setSingleShot(true);
    connect(&delay_, &QTimer::timeout, this, &RecordingSession::begin);
    // Queued: the recorder tells us on its observer's thread.
    connect(&recorder_, &Recorder::stopCombinationPressed, this, &RecordingSession::end, Qt::QueuedConnection);
}

RecordingSession::~RecordingSession()
{
    recorder_.stop();
}

QString RecordingSession::cannotObserveMessage(bool japanese)
{
    if (DisplaySession::isWayland(QProcessEnvironment::systemEnvironment()))
        return Text{"Wayland のデスクトップでは、ほかのウィンドウへの入力をどのプログラムも観察できないため、記録できません。"
                    "記録は X11 のセッションで行ってください",
                    "on a Wayland desktop no program may observe the input to other windows, so nothing can be "
                    "recorded here; record in an X11 session"}
            .in(japanese);
    return Text{"入力を観察できません", "the input cannot be observed"}.in(japanese);
}

bool RecordingSession::start()
{
    if (!StopRule::isUsableStopCommand(values_.stopCommand))
        return false;
    const KeyCombination::Parsed stop = KeyCombination::parse(values_.stopCommand);
    if (!recorder_.watch(stop.vk, stop.mask)) {
        qWarning() << "[Record] the recording could not start";
        return false;
    }
    delay_.start(values_.startDelay * 1000);
    return true;
}

void RecordingSession::stopForIconClick()
{
    if (!done_ && recorder_.stopForIconClick())
        end();
}

void RecordingSession::finishNow()
{
    end();
}

void RecordingSession::begin()
{
    if (!recorder_.keep())
        return; // the exit command came first: end() cancels
    desktopshell::beep();
    emit recording();
}

void RecordingSession::end()
{
    if (done_)
        return;
    done_ = true;
    delay_.stop();
    // Still in the delay (the exit command came first, or the program is
    // asked to end): nothing was kept.
    const bool cancelled = !recorder_.hasKept();
    recorder_.stop();
    desktopshell::beep();
    if (cancelled) {
        qDebug() << "[Record] cancelled during the start delay";
        emit finished(true, {}, 0);
        return;
    }
    const RecordMapping::Pages pages = recorder_.pages(values_.options);
    qDebug() << "[Record] recorded" << pages.count() << "pages in" << recorder_.seconds() << "s";
    emit finished(false, pages, recorder_.seconds());
}
