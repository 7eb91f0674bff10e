#include "run/conditions.h"

#include "input/keycombination.h"
#include "project/pagekinds.h"
#include "run/picturewait.h"
#include "run/run.h"

#include <QTime>

#include <algorithm>
#include <chrono>
#include <thread>

namespace conditions {

namespace {
// How often the waits look at the keyboard and the mouse. Between two looks
// they still check for a stop every few milliseconds, so a long polling
// interval costs reaction time to the input but never to a stop.
constexpr int kClickPollMs = 50;
constexpr int kKeyEarlyReleasePollMs = 20;
constexpr int kKeyCombinationPollMs = 30;
constexpr int kKeyFinalReleasePollMs = 10;
constexpr int kClockPollMs = 50;
constexpr int kColorPollMs = 50;
} // namespace

ModifierState readModifierState(platform::Desktop &d)
{
    using namespace platform::vk;
    ModifierState s;
    s.ctrl = d.isKeyDown(Control) || d.isKeyDown(LControl) || d.isKeyDown(RControl);
    s.alt = d.isKeyDown(Menu) || d.isKeyDown(LMenu) || d.isKeyDown(RMenu);
    s.shift = d.isKeyDown(Shift) || d.isKeyDown(LShift) || d.isKeyDown(RShift);
    s.win = d.isKeyDown(LWin) || d.isKeyDown(RWin);
    return s;
}

bool combinationDown(platform::Desktop &d, int vk, int mods, int excused)
{
    const ModifierState s = readModifierState(d);
    const int held = (s.ctrl ? platform::mod::Ctrl : 0) | (s.alt ? platform::mod::Alt : 0)
                     | (s.shift ? platform::mod::Shift : 0) | (s.win ? platform::mod::Win : 0);
    return KeyCombination::modifiersMatch(vk, mods, held, excused) && d.isKeyDown(vk);
}

bool sleepUnlessStopped(const Run &run, int ms)
{
    return run.interruptibleWait(ms / 1000.0);
}

namespace {
// Waits until the screen pixel of a Color condition has its colour, within
// the tolerance per channel.
void waitForColor(Run &run, const QStringList &condition)
{
    const PageKinds::ColorCondition color(condition);
    const int x = color.xText().toInt();
    const int y = color.yText().toInt();
    auto desktop = platform::currentDesktop();
    for (;;) {
        // A pixel that cannot be read (off the screen) never matches.
        const std::optional<std::uint32_t> seen = desktop->pixel(x, y);
        if (seen && color.matches(*seen))
            return;
        if (!sleepUnlessStopped(run, kColorPollMs))
            return;
    }
}
} // namespace

void waitFor(Run &run, const QStringList &condition)
{
    const std::optional<PageKinds::ConditionId> id = PageKinds::conditionId(condition);
    if (!id)
        return; // a kind this version does not know moves on at once
    switch (*id) {
    case PageKinds::ConditionId::Immediately:
        return;
    case PageKinds::ConditionId::Time:
        run.interruptibleWait(PageKinds::TimeCondition(condition).secondsText().toDouble());
        return;
    case PageKinds::ConditionId::Click:
        waitForClick(run, PageKinds::ClickCondition(condition).right());
        return;
    case PageKinds::ConditionId::Key:
        waitForKeyCombination(run, PageKinds::KeyCondition(condition).code());
        return;
    case PageKinds::ConditionId::WaitUntilOver:
        run.joinWorkers();
        run.interruptibleWait(PageKinds::TimeCondition(condition).secondsText().toDouble());
        return;
    case PageKinds::ConditionId::Color:
        waitForColor(run, condition);
        return;
    case PageKinds::ConditionId::Image: {
        const PageKinds::ImageCondition image(condition);
        const picturewait::Result r =
            picturewait::wait(run, image.pictureText(), image.tolerance(), image.vanishes(), -1);
        // A desktop that shows no pixels cannot tell: the run does not
        // pretend it saw the picture come or go.
        if (r.outcome == picturewait::Result::Outcome::Unreadable)
            run.failInput();
        return;
    }
    case PageKinds::ConditionId::ClockTime: {
        const PageKinds::ClockCondition clock(condition);
        waitForClockTime(run, clock.hourText().toInt(), clock.minuteText().toInt());
        return;
    }
    }
}

void waitForKeyCombination(Run &run, const QString &code)
{
    const KeyCombination::Parsed p = KeyCombination::parse(code);
    if (!p.usable())
        return;
    const int vk = p.vk;
    const int mods = p.mask;
    auto desktop = platform::currentDesktop();

    // A key that is already down (for instance still held by this page's own
    // Key operation) must be let go and pressed again.
    if (desktop->isKeyDown(vk)) {
        while (desktop->isKeyDown(vk)) {
            if (!sleepUnlessStopped(run, kKeyEarlyReleasePollMs))
                return;
        }
        if (!sleepUnlessStopped(run, kKeyEarlyReleasePollMs))
            return;
    }

    while (!run.isStopRequested()) {
        if (combinationDown(*desktop, vk, mods)) {
            // The page moves on when the key is released, not when pressed.
            while (desktop->isKeyDown(vk) && sleepUnlessStopped(run, kKeyFinalReleasePollMs)) {
            }
            return;
        }
        sleepUnlessStopped(run, kKeyCombinationPollMs);
    }
}

void waitForClick(Run &run, bool rightButton)
{
    const int code = rightButton ? platform::vk::RButton : platform::vk::LButton;
    auto desktop = platform::currentDesktop();
    while (!desktop->isKeyDown(code) && sleepUnlessStopped(run, kClickPollMs)) {
    }
}

void waitForClockTime(Run &run, int hour, int minute)
{
    QTime t = QTime::currentTime();
    while (!(t.hour() == hour && t.minute() == minute)) {
        if (!sleepUnlessStopped(run, kClockPollMs))
            return;
        t = QTime::currentTime();
    }
}

} // namespace conditions
