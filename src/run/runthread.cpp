#include "run/runthread.h"

#include "run/remotestop.h"
#include "run/run.h"

#include <QThread>

#include <utility>

QThread *runthread::start(Run *run, QObject *owner, std::function<void()> onFinished)
{
    auto *thread = new QThread(owner);
    run->moveToThread(thread);

    QObject::connect(thread, &QThread::started, run, &Run::start);
    QObject::connect(run, &Run::finished, thread, &QThread::quit);
    QObject::connect(run, &Run::finished, owner, std::move(onFinished));
    // Emitted in the thread itself once its event loop has ended; the thread
    // then delivers the deferred deletes posted during the emission, so the
    // run goes whichever of the two threads was first. A deleteLater queued
    // by the run's own finished could arrive after the loop had ended, and
    // would never be delivered.
    QObject::connect(thread, &QThread::finished, run, &QObject::deleteLater);
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);

    // Any run, in the window or the player, can be stopped with --stop.
    remotestop::listen(run, owner);
    thread->start(QThread::InheritPriority);
    return thread;
}
