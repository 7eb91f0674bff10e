#include "record/recordmapping.h"

#include "input/keycombination.h"
#include "project/pagekinds.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <optional>

namespace {

using Clock = RecordMapping::Clock;
using platform::InputEvent;
using Kind = platform::InputEvent::Kind;

/// Seconds between two moments, to the millisecond.
double secondsBetween(Clock::time_point from, Clock::time_point to)
{
    const auto ms = std::chrono::round<std::chrono::milliseconds>(to - from).count();
    return std::max<double>(0, double(ms) / 1000.0);
}

bool typesText(char32_t c)
{
    return c == U'\r' || c == U'\t' || (c >= 0x20 && c != 0x7f && !(c >= 0x80 && c < 0xa0));
}

// One page to be, with the moment its operation starts.
struct Action {
    Clock::time_point start;
    CommandRecord command;
    bool lasts = false; // the operation takes time (worker thread)
};

class Mapper {
public:
    Mapper(Clock::time_point end, const RecordMapping::Options &options) : end_(end), options_(options) {}

    void feed(const InputEvent &e)
    {
        switch (e.kind) {
        case Kind::Motion: motion(e); break;
        case Kind::ButtonDown: buttonDown(e); break;
        case Kind::ButtonUp: buttonUp(e); break;
        case Kind::KeyDown: keyDown(e); break;
        case Kind::KeyUp: keyUp(e); break;
        case Kind::Wheel: wheel(e); break;
        }
    }

    RecordMapping::Pages finish()
    {
        endTravel();
        flushText();
        flushWheel();
        for (auto &[vk, index] : heldKeys_)
            setHold(index, end_);
        for (auto &[button, index] : heldButtons_)
            setHold(index, end_);
        for (auto &[vk, held] : heldModifiers_) {
            if (!held.consumed)
                loneModifier(vk, held.down, end_);
        }
        std::stable_sort(actions_.begin(), actions_.end(),
                         [](const Action &a, const Action &b) { return a.start < b.start; });
        RecordMapping::Pages pages;
        for (size_t i = 0; i < actions_.size(); ++i) {
            pages.commands << actions_[i].command;
            pages.conditions << conditionAfter(i);
        }
        return pages;
    }

private:
    struct HeldModifier {
        Clock::time_point down;
        bool consumed = false; // part of a combination or of typed text
    };
    struct Travel {
        Clock::time_point first;
        Clock::time_point last;
        platform::Point to;
    };
    struct Text {
        Clock::time_point first;
        Clock::time_point last;
        QString text;
    };
    struct WheelTurn {
        Clock::time_point first;
        Clock::time_point last;
        int notches = 0; // positive up
    };

    ConditionRecord conditionAfter(size_t i) const
    {
        if (!options_.keepPauses) {
            // Played as fast as it goes, but one after another: a held
            // button must not turn into a drag.
            if (actions_[i].lasts)
                return timeCondition(PageKinds::kWaitUntilOver, 0);
            return PageKinds::createdCondition(PageKinds::kImmediately);
        }
        // The last page waits out the pause before the stop as well.
        const Clock::time_point next = i + 1 < actions_.size() ? actions_[i + 1].start : end_;
        const double gap = secondsBetween(actions_[i].start, next);
        if (gap >= RecordMapping::kShortestPause)
            return timeCondition(PageKinds::kTime, gap);
        return PageKinds::createdCondition(PageKinds::kImmediately);
    }

    static ConditionRecord timeCondition(const QString &kind, double seconds)
    {
        ConditionRecord condition = PageKinds::createdCondition(kind);
        PageKinds::TimeCondition(condition).setSeconds(seconds);
        return condition;
    }

    size_t add(Clock::time_point start, CommandRecord command, bool lasts)
    {
        actions_.push_back(Action{start, std::move(command), lasts});
        return actions_.size() - 1;
    }

    // The hold time of a recorded Click or Key operation.
    void setHold(size_t index, Clock::time_point up)
    {
        Action &a = actions_[index];
        const double seconds = secondsBetween(a.start, up);
        if (PageKinds::kindOf(a.command) == PageKinds::kClick)
            PageKinds::ClickOperation(a.command).setHold(seconds);
        else
            PageKinds::KeyOperation(a.command).setHold(seconds);
    }

    int heldMask() const
    {
        int mask = 0;
        for (const auto &[vk, held] : heldModifiers_)
            mask |= KeyCombination::modifierMaskOf(vk);
        return mask;
    }

    void consumeModifiers()
    {
        for (auto &[vk, held] : heldModifiers_)
            held.consumed = true;
    }

    void motion(const InputEvent &e)
    {
        if (!travel_) {
            flushText();
            flushWheel();
            travel_ = Travel{e.time, e.time, e.pos};
        }
        travel_->last = e.time;
        travel_->to = e.pos;
    }

    void endTravel()
    {
        if (!travel_)
            return;
        const Travel t = *travel_;
        travel_.reset();
        // Back where it was: jitter, not a move worth a page.
        if (pointer_ && *pointer_ == t.to)
            return;
        pointer_ = t.to;
        if (options_.glides && t.last > t.first) {
            CommandRecord glide = PageKinds::createdCommand(PageKinds::kSmoothMove);
            const PageKinds::GlideOperation view(glide);
            view.placeTarget(t.to.x, t.to.y);
            view.setDuration(secondsBetween(t.first, t.last));
            add(t.first, std::move(glide), true);
        } else {
            // A jump lands when the travel did.
            add(options_.glides ? t.first : t.last, pointerCommand(t.to), false);
        }
    }

    static CommandRecord pointerCommand(platform::Point at) { return PageKinds::PointerOperation::at(at.x, at.y); }

    // A Click or Key operation held for no time yet (setHold when let go).
    static CommandRecord heldCommand(CommandRecord command)
    {
        if (PageKinds::kindOf(command) == PageKinds::kClick)
            PageKinds::ClickOperation(command).setHold(0);
        else
            PageKinds::KeyOperation(command).setHold(0);
        return command;
    }

    void buttonDown(const InputEvent &e)
    {
        endTravel();
        flushText();
        flushWheel();
        pointer_ = e.pos;
        add(e.time, pointerCommand(e.pos), false);
        CommandRecord click = PageKinds::createdCommand(PageKinds::kClick);
        PageKinds::ClickOperation(click).setSide(e.button == platform::MouseButton::Left ? PageKinds::kLeft
                                                                                         : PageKinds::kRight);
        heldButtons_[int(e.button)] = add(e.time, heldCommand(std::move(click)), true);
    }

    void buttonUp(const InputEvent &e)
    {
        endTravel();
        pointer_ = e.pos;
        auto it = heldButtons_.find(int(e.button));
        if (it == heldButtons_.end())
            return; // went down before the recording began
        setHold(it->second, e.time);
        heldButtons_.erase(it);
    }

    void keyDown(const InputEvent &e)
    {
        if (KeyCombination::isModifierKey(e.vk)) {
            if (!heldModifiers_.count(e.vk))
                heldModifiers_[e.vk] = HeldModifier{e.time};
            return;
        }
        const int mask = heldMask();
        const bool plain = !(mask & (platform::mod::Ctrl | platform::mod::Alt | platform::mod::Win));
        if (options_.joinText && plain && typesText(e.character)) {
            endTravel();
            flushWheel();
            consumeModifiers();
            if (!text_)
                text_ = Text{e.time, e.time, QString()};
            text_->last = e.time;
            // Enter ends a line: the text holds a line break.
            text_->text += e.character == U'\r' ? QString(QLatin1Char('\n')) : QString::fromUcs4(&e.character, 1);
            return;
        }
        if (e.repeat || e.vk == platform::vk::Packet)
            return; // still held; or a character a key of its own cannot type
        endTravel();
        flushText();
        flushWheel();
        consumeModifiers();
        heldKeys_[e.vk] = add(e.time, keyCommand(e.vk, mask), true);
    }

    void keyUp(const InputEvent &e)
    {
        if (KeyCombination::isModifierKey(e.vk)) {
            auto it = heldModifiers_.find(e.vk);
            if (it == heldModifiers_.end())
                return;
            const HeldModifier held = it->second;
            heldModifiers_.erase(it);
            if (!held.consumed)
                loneModifier(e.vk, held.down, e.time);
            return;
        }
        auto it = heldKeys_.find(e.vk);
        if (it == heldKeys_.end())
            return;
        setHold(it->second, e.time);
        heldKeys_.erase(it);
    }

    /// A modifier that went down and up with no key: a key of its own,
    /// held for as long (Ctrl held through a click makes a Ctrl+click).
    void loneModifier(int vk, Clock::time_point down, Clock::time_point up)
    {
        flushText();
        flushWheel();
        const size_t index = add(down, keyCommand(vk, 0), true);
        setHold(index, up);
    }

    static CommandRecord keyCommand(int vk, int mask)
    {
        return heldCommand(PageKinds::capturedKeyCommand(KeyCombination::format(vk, mask)));
    }

    /// Notches in one direction, each closer to the last than a kept pause,
    /// are one turn: one page that turns them all at once.
    void wheel(const InputEvent &e)
    {
        if (e.wheel == 0)
            return;
        endTravel();
        flushText();
        if (wheel_ && ((wheel_->notches > 0) != (e.wheel > 0)
                       || secondsBetween(wheel_->last, e.time) >= RecordMapping::kShortestPause))
            flushWheel();
        if (!wheel_)
            wheel_ = WheelTurn{e.time, e.time, 0};
        wheel_->last = e.time;
        wheel_->notches += e.wheel;
    }

    void flushWheel()
    {
        if (!wheel_)
            return;
        const WheelTurn t = *wheel_;
        wheel_.reset();
        using Wheel = PageKinds::WheelOperation;
        // A page turns at most kMostNotches; a longer turn takes more pages,
        // one right after the other.
        for (int left = std::abs(t.notches); left > 0; left -= Wheel::kMostNotches) {
            CommandRecord command = PageKinds::createdCommand(PageKinds::kWheel);
            const Wheel view(command);
            view.setDirection(t.notches > 0 ? Wheel::kUp : Wheel::kDown);
            view.setNotches(std::min(left, Wheel::kMostNotches));
            add(t.first, std::move(command), false);
        }
    }

    void flushText()
    {
        if (!text_)
            return;
        const Text t = *text_;
        text_.reset();
        // The run spreads the time evenly over the code units and types the
        // first at once: the last lands on time when the time is the span
        // of the keys stretched by n / (n - 1).
        const int n = int(t.text.size());
        double seconds = secondsBetween(t.first, t.last);
        if (n > 1)
            seconds = std::round(seconds * n / (n - 1) * 1000.0) / 1000.0;
        CommandRecord typing = PageKinds::createdCommand(PageKinds::kEnterText);
        const PageKinds::TextOperation view(typing);
        view.setText(t.text);
        view.setDuration(std::max(seconds, 0.001));
        add(t.first, std::move(typing), true);
    }

    Clock::time_point end_;
    RecordMapping::Options options_;
    std::vector<Action> actions_;
    std::map<int, HeldModifier> heldModifiers_;
    std::map<int, size_t> heldKeys_;    // vk -> its Key action
    std::map<int, size_t> heldButtons_; // button -> its Click action
    std::optional<Travel> travel_;
    std::optional<Text> text_;
    std::optional<WheelTurn> wheel_;
    std::optional<platform::Point> pointer_; // where the last action left it
};

} // namespace

RecordMapping::Pages RecordMapping::pagesFor(const std::vector<platform::InputEvent> &events,
                                             Clock::time_point end, const Options &options)
{
    Mapper mapper(end, options);
    for (const auto &e : events)
        mapper.feed(e);
    return mapper.finish();
}
