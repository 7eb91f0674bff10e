#include "record/recordingsession.h"

#include "input/keycombination.h"
#include "run/rundialog.h"

#include <QApplication>
#include <QDebug>

RecordingSession::RecordingSession(RecordDialog::Values values, QObject *parent)
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

bool RecordingSession::start()
{
    if (!RunDialog::isUsableStopCommand(values_.stopCommand))
        return false;
    delay_.start(values_.startDelay * 1000);
    return true;
}

void RecordingSession::begin()
{
    QApplication::beep();
    const KeyCombination::Parsed stop = KeyCombination::parse(values_.stopCommand);
    if (!recorder_.start(stop.vk, stop.mask)) {
        qWarning() << "[Record] the recording could not start";
        done_ = true;
        emit finished(false, {}, 0);
        return;
    }
    emit recording();
}

void RecordingSession::end()
{
    if (done_)
        return;
    done_ = true;
    recorder_.stop();
    QApplication::beep();
    const RecordMapping::Pages pages = recorder_.pages(values_.options);
    qDebug() << "[Record] recorded" << pages.count() << "pages in" << recorder_.seconds() << "s";
    emit finished(true, pages, recorder_.seconds());
}
