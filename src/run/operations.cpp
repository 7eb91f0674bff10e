#include "run/operations.h"

#include "input/keycombination.h"
#include "project/pagekinds.h"
#include "run/picturewait.h"
#include "run/run.h"

#include <QStringList>

#include <chrono>
#include <cmath>
#include <limits>
#include <memory>
#include <thread>
#include <utility>

namespace operations {

namespace {
using Clock = std::chrono::steady_clock;

constexpr int kGlideStepMs = 5;
constexpr int kTypingPollMs = 1;

Clock::duration secondsToDuration(double seconds)
{
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(std::min(seconds, Run::kLongestSeconds)));
}

// Releases, in reverse order, whatever was pressed through it, on every way
// out of the operation.
class PressedKeys {
public:
    explicit PressedKeys(platform::Desktop &desktop) : desktop_(desktop) {}
    ~PressedKeys()
    {
        for (int i = count_ - 1; i >= 0; --i)
            desktop_.key(keys_[i], false);
    }
    PressedKeys(const PressedKeys &) = delete;
    PressedKeys &operator=(const PressedKeys &) = delete;

    void press(int vk)
    {
        desktop_.key(vk, true);
        keys_[count_++] = vk;
    }

private:
    platform::Desktop &desktop_;
    int keys_[5] = {};
    int count_ = 0;
};

template<typename F>
class AtExit {
public:
    explicit AtExit(F f) : f_(std::move(f)) {}
    ~AtExit() { f_(); }
    AtExit(const AtExit &) = delete;
    AtExit &operator=(const AtExit &) = delete;

private:
    F f_;
};
} // namespace

void start(Run &run, const QStringList &command)
{
    const std::optional<PageKinds::OperationId> id = PageKinds::operationId(command);
    if (!id)
        return; // a kind this version does not know: the page only waits
    switch (*id) {
    case PageKinds::OperationId::None:
        return;
    case PageKinds::OperationId::Click: {
        const PageKinds::ClickOperation click(command);
        const auto button = click.left() ? platform::MouseButton::Left : platform::MouseButton::Right;
        const double seconds = click.holdText().toDouble();
        run.startWorker([&run, button, seconds] { clickButton(run, button, seconds); });
        return;
    }
    case PageKinds::OperationId::MousePointer: {
        const PageKinds::PointerOperation pointer(command);
        mousePointer(pointer.xText().toInt(), pointer.yText().toInt());
        return;
    }
    case PageKinds::OperationId::SmoothMove: {
        const PageKinds::GlideOperation glide(command);
        const int x = glide.xText().toInt();
        const int y = glide.yText().toInt();
        const double seconds = glide.durationText().toDouble();
        run.startWorker([&run, x, y, seconds] { smoothMove(run, x, y, seconds); });
        return;
    }
    case PageKinds::OperationId::Key: {
        const PageKinds::KeyOperation key(command);
        const QString parameter = keyParameterText(key.code(), key.holdText());
        // The page's condition must find the keys already down: a Key
        // condition on the same key otherwise takes the run's own press for
        // the person's, depending on how fast the worker got going. A
        // future rather than std::atomic::wait: libstdc++'s fallback for
        // targets without futexes (the MinGW build) can miss the notify and
        // leave the run waiting for ever.
        auto pressed = std::make_shared<std::promise<void>>();
        std::future<void> keysDown = pressed->get_future();
        if (run.startWorker([&run, parameter, pressed] { pressKey(run, parameter, pressed.get()); }))
            keysDown.wait();
        return;
    }
    case PageKinds::OperationId::EnterText: {
        const PageKinds::TextOperation typing(command);
        const QString text = typing.text();
        const double seconds = typing.durationText().toDouble();
        run.startWorker([&run, text, seconds] { typeText(run, text, seconds); });
        return;
    }
    case PageKinds::OperationId::ClickImage: {
        const PageKinds::ImageClickOperation op(command);
        const QString pictureText = op.pictureText();
        const int tolerance = op.tolerance();
        const auto button = op.left() ? platform::MouseButton::Left : platform::MouseButton::Right;
        const double wait = op.waitText().toDouble();
        const int page = run.currentPage();
        run.startWorker([&run, pictureText, tolerance, button, wait, page] {
            // A negative or unreadable time looks once.
            clickImage(run, pictureText, tolerance, button, wait > 0 ? wait : 0, page);
        });
        return;
    }
    case PageKinds::OperationId::Wheel: {
        // All notches in one go, on the runner thread like the pointer jump.
        const int notches = PageKinds::WheelOperation(command).signedNotches();
        if (notches != 0 && !run.isStopRequested())
            platform::currentDesktop()->wheel(notches);
        return;
    }
    }
}

QString keyParameterText(const QString &code, const QString &holdText)
{
    const float hold = holdText.toFloat();
    // The worker reads the three parts by position, so the code goes in as
    // its two numbers: an empty or one-part code must not let the hold time
    // slide into the key's place (no key and 13 seconds would press Enter).
    const KeyCombination::Parsed p = KeyCombination::parse(code);
    const bool usable = p.usable();
    return KeyCombination::format(usable ? p.vk : 0, usable ? p.mask : 0) + QLatin1Char(',')
        + QString::number(double(hold), 'g', 6);
}

KeyPress parseKeyParameter(const QString &parameter)
{
    KeyPress k;
    const KeyCombination::Parsed p = KeyCombination::parse(parameter);
    if (!p.usable())
        return k;
    k.valid = true;
    k.vk = p.vk;
    k.mods = p.mask;
    const double seconds = p.hold > 0 ? p.hold : 0; // also catches NaN
    const double ms = std::trunc(1000.0 * seconds);
    k.holdMs = ms >= double(std::numeric_limits<std::uint32_t>::max())
                   ? std::numeric_limits<std::uint32_t>::max()
                   : std::uint32_t(ms);
    return k;
}

void clickButton(Run &run, platform::MouseButton button, double seconds)
{
    auto desktop = platform::currentDesktop();
    desktop->mouseButton(button, true);
    AtExit release([&] { desktop->mouseButton(button, false); });
    run.interruptibleWait(seconds);
}

void clickImage(Run &run, const QString &pictureText, int tolerance, platform::MouseButton button, double seconds,
                int page)
{
    const picturewait::Result found = picturewait::wait(run, pictureText, tolerance, false, seconds);
    switch (found.outcome) {
    case picturewait::Result::Outcome::Met: {
        platform::currentDesktop()->setCursorPos(found.centre.x, found.centre.y);
        // Held as long as a new Click page holds it.
        const double hold = PageKinds::ClickOperation(PageKinds::createdCommand(PageKinds::kClick)).holdText().toDouble();
        clickButton(run, button, hold);
        return;
    }
    case picturewait::Result::Outcome::TimedOut:
        run.failPictureNotFound(page);
        return;
    case picturewait::Result::Outcome::Unreadable:
        run.failInput();
        return;
    case picturewait::Result::Outcome::Stopped:
        return;
    }
}

void mousePointer(int x, int y)
{
    platform::currentDesktop()->setCursorPos(x, y);
}

void smoothMove(Run &run, int x, int y, double seconds)
{
    auto desktop = platform::currentDesktop();
    const platform::Point start = desktop->cursorPos();
    if (seconds > 0) {
        const auto t0 = Clock::now();
        const double dx = double(x) - start.x;
        const double dy = double(y) - start.y;
        for (;;) {
            if (run.isStopRequested())
                return; // the pointer stays where the last step put it
            const double f = std::chrono::duration<double>(Clock::now() - t0).count() / seconds;
            if (f >= 1)
                break;
            // Positions depend on the elapsed time only, not on a step count.
            desktop->setCursorPos(int(std::lround(start.x + dx * f)), int(std::lround(start.y + dy * f)));
            std::this_thread::sleep_for(std::chrono::milliseconds(kGlideStepMs));
        }
        if (run.isStopRequested())
            return;
    }
    desktop->setCursorPos(x, y);
}

void pressKey(Run &run, const QString &parameter, std::promise<void> *pressedFlag)
{
    bool announced = false;
    auto announce = [pressedFlag, &announced] {
        if (pressedFlag && !std::exchange(announced, true))
            pressedFlag->set_value();
    };
    AtExit announceOnEveryPath(announce);
    const KeyPress k = parseKeyParameter(parameter);
    if (!k.valid || run.isStopRequested())
        return;
    auto desktop = platform::currentDesktop();
    // Declared before the keys so that it is undone after their release.
    const int ownModifiers = k.mods | KeyCombination::modifierMaskOf(k.vk);
    run.holdOwnModifiers(ownModifiers, true);
    AtExit noLongerHeld([&] { run.holdOwnModifiers(ownModifiers, false); });
    PressedKeys pressed(*desktop);
    if (k.mods & platform::mod::Ctrl)
        pressed.press(platform::vk::Control);
    if (k.mods & platform::mod::Alt)
        pressed.press(platform::vk::Menu);
    if (k.mods & platform::mod::Shift)
        pressed.press(platform::vk::Shift);
    if (k.mods & platform::mod::Win)
        pressed.press(platform::vk::LWin);
    pressed.press(k.vk);
    announce();

    run.interruptibleWait(k.holdMs / 1000.0);
}

void typeText(Run &run, const QString &text, double seconds)
{
    if (text.isEmpty() || !(seconds > 0))
        return;
    auto desktop = platform::currentDesktop();
    desktop->textBegins(text.toStdU16String(), &run.stopFlag());
    AtExit done([&] { desktop->textDone(); });
    const qsizetype n = text.size();
    const auto t0 = Clock::now();
    const double per = std::min(seconds, Run::kLongestSeconds) / double(n);
    for (qsizetype i = 0; i < n; ++i) {
        if (run.isStopRequested())
            return;
        const char16_t unit = text.at(i).unicode();
        desktop->unicodeUnit(unit, true);
        desktop->unicodeUnit(unit, false);
        // The schedule is fixed from t0, so a slow send does not stretch it.
        const auto due = t0 + secondsToDuration(double(i + 1) * per);
        while (Clock::now() < due) {
            if (run.isStopRequested())
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(kTypingPollMs));
        }
    }
}

} // namespace operations
