#include "record/recorder.h"

#include "input/keycombination.h"
#include "run/run.h"

#include <QDebug>

using platform::InputEvent;
using Kind = platform::InputEvent::Kind;

Recorder::Recorder(QObject *parent) : QObject(parent) {}

Recorder::~Recorder()
{
    stop();
}

bool Recorder::watch(int stopVk, int stopMask)
{
    if (observer_ || Run::instanceCount() > 0)
        return false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.clear();
        stopKeys_ = CombinationTracker(stopVk, stopMask);
        stopMask_ = stopMask;
        start_ = end_ = Clock::now();
        stopped_ = false;
        keeping_ = false;
    }
    desktop_ = platform::currentDesktop();
    observer_ = desktop_->startInputObserver([this](const InputEvent &e) { observe(e); }, platform::observe::All);
    if (!observer_) {
        qWarning() << "[Record] cannot observe the input, error" << desktop_->lastError();
        desktop_.reset();
        return false;
    }
    return true;
}

bool Recorder::keep()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!observer_ || stopped_ || keeping_)
        return false;
    // Modifiers already held stay known, for the stop combination.
    events_.clear();
    start_ = end_ = Clock::now();
    keeping_ = true;
    return true;
}

bool Recorder::start(int stopVk, int stopMask)
{
    return watch(stopVk, stopMask) && keep();
}

void Recorder::stop()
{
    if (!observer_)
        return;
    desktop_->stopInputObserver(observer_); // no callback runs after this
    observer_ = 0;
    desktop_.reset();
    std::lock_guard<std::mutex> lock(mutex_);
    if (!stopped_)
        end_ = Clock::now();
}

bool Recorder::stopForIconClick()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopped_)
            return false;
        stopped_ = true;
        end_ = Clock::now();
        // Dropped: the motion after the last action (the way to the icon)
        // and the press on the icon with its release. The press is the last
        // button seen, unless the observer has not seen it yet: a press older
        // than this is one of the person's own clicks.
        constexpr auto kIconPressAge = std::chrono::milliseconds(500);
        size_t cut = events_.size();
        while (cut > 0 && events_[cut - 1].kind == Kind::Motion)
            --cut;
        size_t press = cut;
        if (press > 0 && events_[press - 1].kind == Kind::ButtonUp)
            --press;
        if (press > 0 && events_[press - 1].kind == Kind::ButtonDown && end_ - events_[press - 1].time < kIconPressAge
            && (press == cut || events_[press - 1].button == events_[press].button)) {
            cut = press - 1;
            while (cut > 0 && events_[cut - 1].kind == Kind::Motion)
                --cut;
        }
        if (cut < events_.size()) {
            end_ = events_[cut].time;
            events_.erase(events_.begin() + std::ptrdiff_t(cut), events_.end());
        }
    }
    stop();
    return true;
}

void Recorder::observe(const InputEvent &e)
{
    bool pressed = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopped_)
            return;
        if (Run::instanceCount() > 0)
            return; // a run's own input is not the person's
        if (e.kind == Kind::KeyDown && !e.repeat && stopKeys_.completedBy(e.vk)) {
            dropStopModifiersLocked();
            end_ = e.time;
            stopped_ = true;
            pressed = true;
        }
        if (!pressed) {
            if (e.kind == Kind::KeyDown || e.kind == Kind::KeyUp)
                stopKeys_.follow(e.vk, e.kind == Kind::KeyDown);
            if (keeping_)
                events_.push_back(e);
        }
    }
    if (pressed)
        emit stopCombinationPressed();
}

void Recorder::dropStopModifiersLocked()
{
    for (size_t i = events_.size(); i-- > 0;) {
        const InputEvent &e = events_[i];
        if (e.kind == Kind::Motion)
            continue;
        const bool stopModifier = e.kind == Kind::KeyDown && (KeyCombination::modifierMaskOf(e.vk) & stopMask_)
                                  && stopKeys_.holds(e.vk);
        if (!stopModifier)
            break;
        events_.erase(events_.begin() + std::ptrdiff_t(i));
    }
}

std::vector<InputEvent> Recorder::events() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
}

Recorder::Clock::time_point Recorder::endTime() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return end_;
}

double Recorder::seconds() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return std::chrono::duration<double>(end_ - start_).count();
}

double Recorder::secondsSoFar() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return std::chrono::duration<double>((stopped_ ? end_ : Clock::now()) - start_).count();
}

RecordMapping::Pages Recorder::pages(const RecordMapping::Options &options) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return RecordMapping::pagesFor(events_, end_, options);
}
