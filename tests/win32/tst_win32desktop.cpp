// The Windows backend against a real user32 (Wine on the build machines).
//
// Input is driven through the backend's own seam methods; what the system
// made of it is watched through low-level hooks that this program installs
// itself, through the key state and through the message queue. A low-level
// hook runs only while its thread pumps messages, so every wait below pumps
// until the expected events have arrived or a generous deadline has passed.

#include "checkrunner.h"
#include "platform/desktop_native.h"
#include "platform/desktop_win32.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <tlhelp32.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

using platform::MouseButton;
using platform::Win32Desktop;

namespace {

constexpr DWORD kDeadlineMs = 5000; // generous: the machine may be loaded
constexpr DWORD kQuietMs = 300;     // how long "nothing arrives" is watched
constexpr int kVkPacket = 0xE7;

// ---------------------------------------------------------------------------
// What the system delivered.

struct KeySeen {
    int vk = 0;
    bool down = false;
    bool operator==(const KeySeen &o) const { return vk == o.vk && down == o.down; }
};

std::ostream &operator<<(std::ostream &out, const KeySeen &k)
{
    return out << k.vk << (k.down ? "v" : "^");
}

} // namespace

namespace platform {
std::ostream &operator<<(std::ostream &out, const Point &p)
{
    return out << "(" << p.x << ", " << p.y << ")";
}
} // namespace platform

namespace {

struct RawKey {
    WPARAM message;
    KBDLLHOOKSTRUCT info;
};

struct RawMouse {
    WPARAM message;
    MSLLHOOKSTRUCT info;
};

// Everything the observers saw, in one order: "k" keyboard, "m" mouse.
std::vector<RawKey> g_keys;
std::vector<RawMouse> g_mouse;
std::vector<char> g_order;
std::vector<MSG> g_posted; // thread messages (no window), e.g. WM_HOTKEY

LRESULT CALLBACK observeKeys(int code, WPARAM message, LPARAM event)
{
    if (code == HC_ACTION && event) {
        g_keys.push_back({message, *reinterpret_cast<const KBDLLHOOKSTRUCT *>(event)});
        g_order.push_back('k');
    }
    return CallNextHookEx(nullptr, code, message, event);
}

LRESULT CALLBACK observeMouse(int code, WPARAM message, LPARAM event)
{
    if (code == HC_ACTION && event && message != WM_MOUSEMOVE) {
        g_mouse.push_back({message, *reinterpret_cast<const MSLLHOOKSTRUCT *>(event)});
        g_order.push_back('m');
    }
    return CallNextHookEx(nullptr, code, message, event);
}

/// Watches the desktop's keyboard (and mouse) for the life of the object.
/// Installed before a backend hook, it is called after it: a swallowed event
/// never reaches it.
class Observer {
public:
    explicit Observer(bool mouseToo = false)
    {
        g_keys.clear();
        g_mouse.clear();
        g_order.clear();
        keyHook_ = SetWindowsHookExW(WH_KEYBOARD_LL, observeKeys, GetModuleHandleW(nullptr), 0);
        if (mouseToo)
            mouseHook_ = SetWindowsHookExW(WH_MOUSE_LL, observeMouse, GetModuleHandleW(nullptr), 0);
    }
    ~Observer()
    {
        if (keyHook_)
            UnhookWindowsHookEx(keyHook_);
        if (mouseHook_)
            UnhookWindowsHookEx(mouseHook_);
    }
    Observer(const Observer &) = delete;
    Observer &operator=(const Observer &) = delete;

    bool ok() const { return keyHook_ != nullptr; }
    bool mouseOk() const { return mouseHook_ != nullptr; }

    static std::vector<KeySeen> keys()
    {
        std::vector<KeySeen> out;
        for (const auto &k : g_keys)
            out.push_back({int(k.info.vkCode), k.message == WM_KEYDOWN || k.message == WM_SYSKEYDOWN});
        return out;
    }

private:
    HHOOK keyHook_ = nullptr;
    HHOOK mouseHook_ = nullptr;
};

void pumpOnce()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (!msg.hwnd)
            g_posted.push_back(msg);
        DispatchMessageW(&msg);
    }
}

/// Pumps messages until done() holds; false when the deadline passed first.
bool pumpUntil(const std::function<bool()> &done, DWORD timeoutMs = kDeadlineMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        pumpOnce();
        if (done())
            return true;
        if (GetTickCount64() >= deadline)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

void pumpFor(DWORD ms)
{
    pumpUntil([] { return false; }, ms);
}

std::vector<MSG> postedHotKeys()
{
    std::vector<MSG> out;
    for (const MSG &m : g_posted) {
        if (m.message == WM_HOTKEY)
            out.push_back(m);
    }
    return out;
}

/// Windows may report a neutral modifier that was sent as its left-hand
/// code (VK_CONTROL as VK_LCONTROL); Wine reports it as sent. Either is the
/// key that was pressed.
int canonicalKey(int vk)
{
    switch (vk) {
    case VK_LCONTROL: return VK_CONTROL;
    case VK_LMENU: return VK_MENU;
    case VK_LSHIFT: return VK_SHIFT;
    default: return vk;
    }
}

std::vector<KeySeen> canonical(std::vector<KeySeen> keys)
{
    for (auto &k : keys)
        k.vk = canonicalKey(k.vk);
    return keys;
}

/// The seam calls the engine makes for a key combination: every key down
/// in order, then up in reverse order.
void replayCombination(Win32Desktop &desktop, const std::vector<int> &keys)
{
    for (int k : keys)
        desktop.key(k, true);
    for (auto it = keys.rbegin(); it != keys.rend(); ++it)
        desktop.key(*it, false);
}

// The desktop the program would get on Windows, from its own factory.
std::shared_ptr<platform::Desktop> g_native;

Win32Desktop &desktop()
{
    return static_cast<Win32Desktop &>(*g_native);
}

void factoryGivesTheWin32Desktop()
{
    std::string why = "unchanged";
    std::shared_ptr<platform::Desktop> made = platform::createNativeDesktop(&why);
    CHECK(made != nullptr);
    CHECK_EQ(std::string(made->name()), std::string("win32"));
    CHECK(dynamic_cast<Win32Desktop *>(made.get()) != nullptr);
    CHECK_EQ(why, std::string("unchanged"));
}

// ---------------------------------------------------------------------------

struct CombinationRow {
    std::string name;
    std::vector<int> pressOrder;
    std::vector<KeySeen> expected;
};

void keyCombinationReachesTheHook(const CombinationRow &row)
{
    Observer observer;
    CHECK(observer.ok());
    replayCombination(desktop(), row.pressOrder);
    const size_t want = row.expected.size();
    CHECK(pumpUntil([&] { return g_keys.size() >= want; }));
    pumpFor(50); // nothing more than that may arrive
    CHECK_EQ(canonical(Observer::keys()), row.expected);
    for (const RawKey &k : g_keys) {
        CHECK((k.info.flags & LLKHF_INJECTED) != 0);
        CHECK((k.info.flags & LLKHF_EXTENDED) == 0);
        const bool down = k.message == WM_KEYDOWN || k.message == WM_SYSKEYDOWN;
        CHECK_EQ((k.info.flags & LLKHF_UP) != 0, !down);
    }
    for (int k : row.pressOrder)
        CHECK(!desktop().isKeyDown(k));
    CHECK(desktop().heldByUs().empty());
}

struct TextRow {
    std::string name;
    std::u16string text;
    std::vector<int> units; // what must arrive, one down and one up each
};

void textArrivesAsCodeUnits(const TextRow &row)
{
    Observer observer;
    CHECK(observer.ok());
    for (char16_t unit : row.text) {
        desktop().unicodeUnit(unit, true);
        desktop().unicodeUnit(unit, false);
    }
    const size_t want = row.units.size() * 2;
    CHECK(pumpUntil([&] { return g_keys.size() >= want; }));
    pumpFor(50);
    CHECK_EQ(g_keys.size(), want);
    for (size_t i = 0; i < want; ++i) {
        const RawKey &k = g_keys[i];
        CHECK_EQ(int(k.info.vkCode), kVkPacket);
        CHECK_EQ(int(k.info.scanCode), row.units[i / 2]);
        CHECK((k.info.flags & LLKHF_INJECTED) != 0);
        const bool down = k.message == WM_KEYDOWN || k.message == WM_SYSKEYDOWN;
        CHECK_EQ(down, i % 2 == 0);
    }
}

struct StateRow {
    std::string name;
    int code;         // the VK_ code the key state is read with
    bool mouse;       // pressed with mouseButton instead of key
};

void keyStateFollowsDownAndUp(const StateRow &row)
{
    Win32Desktop &d = desktop();
    CHECK(!d.isKeyDown(row.code));
    const auto press = [&](bool down) {
        if (row.mouse)
            d.mouseButton(row.code == VK_LBUTTON ? MouseButton::Left : MouseButton::Right, down);
        else
            d.key(row.code, down);
    };
    press(true);
    const bool wentDown = pumpUntil([&] { return d.isKeyDown(row.code); });
    const std::vector<int> held = d.heldByUs();
    press(false);
    const bool wentUp = pumpUntil([&] { return !d.isKeyDown(row.code); });
    CHECK(wentDown);
    CHECK_EQ(held, std::vector<int>{row.code});
    CHECK(wentUp);
    CHECK(d.heldByUs().empty());
}

struct ClickRow {
    std::string name;
    MouseButton button;
    WPARAM downMessage;
    WPARAM upMessage;
    POINT at;
};

void clickHappensWhereThePointerIs(const ClickRow &row)
{
    Win32Desktop &d = desktop();
    d.setCursorPos(row.at.x, row.at.y);
    Observer observer(true);
    CHECK(observer.mouseOk());
    d.mouseButton(row.button, true);
    d.mouseButton(row.button, false);
    CHECK(pumpUntil([] { return g_mouse.size() >= 2; }));
    pumpFor(50);
    CHECK_EQ(g_mouse.size(), size_t(2));
    CHECK_EQ(g_mouse[0].message, row.downMessage);
    CHECK_EQ(g_mouse[1].message, row.upMessage);
    for (const RawMouse &m : g_mouse) {
        CHECK_EQ(int(m.info.pt.x), int(row.at.x));
        CHECK_EQ(int(m.info.pt.y), int(row.at.y));
        CHECK((m.info.flags & LLMHF_INJECTED) != 0);
    }
    CHECK_EQ(d.cursorPos(), (platform::Point{int(row.at.x), int(row.at.y)}));
}

struct WheelRow {
    std::string name;
    int notches;
};

// One event for all notches, 120 per notch, signed like the notches.
void wheelTurnsByNotches(const WheelRow &row)
{
    Win32Desktop &d = desktop();
    d.setCursorPos(40, 40);
    Observer observer(true);
    CHECK(observer.mouseOk());
    d.wheel(row.notches);
    CHECK(pumpUntil([] { return !g_mouse.empty(); }));
    pumpFor(50);
    CHECK_EQ(g_mouse.size(), size_t(1));
    CHECK_EQ(g_mouse[0].message, WPARAM(WM_MOUSEWHEEL));
    CHECK_EQ(int(short(HIWORD(g_mouse[0].info.mouseData))), row.notches * WHEEL_DELTA);
    CHECK((g_mouse[0].info.flags & LLMHF_INJECTED) != 0);
}

// A window painted in one colour: the pixel read inside it is that colour,
// and a grab around it holds it exactly where the window is; a grab that
// reaches off the screen is cut to the screen.
void pixelReadsThePaintedScreen()
{
    Win32Desktop &d = desktop();
    const COLORREF paint = RGB(0x12, 0xab, 0xef);
    HBRUSH brush = CreateSolidBrush(paint);
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = brush;
    wc.lpszClassName = L"TervaloPixelProbe";
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(WS_EX_TOPMOST, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE, 100, 100, 60, 60,
                                  nullptr, nullptr, wc.hInstance, nullptr);
    CHECK(window != nullptr);
    UpdateWindow(window);
    pumpFor(200);
    const std::optional<std::uint32_t> seen = d.pixel(130, 130);
    platform::ScreenImage around;
    const bool grabbed = d.grab(platform::Rect{90, 90, 80, 80}, around);
    platform::ScreenImage corner;
    const platform::Rect screen = d.screenRect();
    const bool cut = d.grab(platform::Rect{screen.x - 50, screen.y - 50, 100, 100}, corner);
    DestroyWindow(window);
    UnregisterClassW(wc.lpszClassName, wc.hInstance);
    DeleteObject(brush);
    CHECK(seen.has_value());
    CHECK_EQ(*seen, std::uint32_t(0x12abef));
    CHECK(!d.pixel(-100000, -100000).has_value());
    CHECK(grabbed);
    CHECK(around.area == (platform::Rect{90, 90, 80, 80}));
    int inside = 0;
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 80; ++x) {
            const bool in = x >= 10 && x < 70 && y >= 10 && y < 70;
            if (in && around.pixels[size_t(y * 80 + x)] == 0x12abefu)
                ++inside;
        }
    CHECK_EQ(inside, 60 * 60);
    CHECK(cut);
    CHECK(corner.area == (platform::Rect{screen.x, screen.y, 50, 50}));
    CHECK_EQ(corner.pixels.size(), size_t(50 * 50));
}

struct CursorRow {
    std::string name;
    int x;
    int y;
};

void cursorIsWhereItWasPut(const CursorRow &row)
{
    Win32Desktop &d = desktop();
    d.setCursorPos(row.x, row.y);
    pumpOnce();
    CHECK_EQ(d.cursorPos(), (platform::Point{row.x, row.y}));
    POINT raw{-1, -1};
    CHECK(GetCursorPos(&raw));
    CHECK_EQ(int(raw.x), row.x);
    CHECK_EQ(int(raw.y), row.y);
}

void hookSwallowsWhileArmed()
{
    Win32Desktop &d = desktop();
    Observer observer; // older than the backend's hook: called after it
    CHECK(observer.ok());
    bool armed = true;
    std::vector<KeySeen> seen;
    const int handle = d.installKeyboardHook([&](int vk, bool down) {
        seen.push_back({vk, down});
        return armed;
    });
    CHECK(handle > 0);

    d.key('G', true);
    d.key('G', false);
    const bool reached = pumpUntil([&] { return seen.size() >= 2; });
    pumpFor(kQuietMs);
    const bool stateChanged = d.isKeyDown('G');
    const size_t observedWhileArmed = g_keys.size();

    armed = false;
    d.setKeyboardHookActive(handle, false);
    d.key('H', true);
    const bool passedDown = pumpUntil([&] { return d.isKeyDown('H'); });
    d.key('H', false);
    const bool passedUp = pumpUntil([&] { return g_keys.size() >= 2; });

    const bool removed = d.removeKeyboardHook(handle);
    const bool removedTwice = d.removeKeyboardHook(handle);
    d.key('J', true);
    d.key('J', false);
    const bool observedAfter = pumpUntil([&] { return g_keys.size() >= 4; });

    CHECK(reached);
    CHECK_EQ(observedWhileArmed, size_t(0)); // nothing got past the hook
    CHECK(!stateChanged);                     // a swallowed key never goes down
    CHECK(passedDown);
    CHECK(passedUp);
    CHECK(removed);
    CHECK(!removedTwice);
    CHECK(observedAfter);
    const std::vector<KeySeen> expectedByHook{{'G', true}, {'G', false}, {'H', true}, {'H', false}};
    CHECK_EQ(seen, expectedByHook); // J came after the removal
    const std::vector<KeySeen> expectedByObserver{{'H', true}, {'H', false}, {'J', true}, {'J', false}};
    CHECK_EQ(Observer::keys(), expectedByObserver);
}

void eachHookGetsItsOwnCallback()
{
    Win32Desktop &d = desktop();
    std::vector<std::string> calls;
    const int older = d.installKeyboardHook([&](int vk, bool down) {
        calls.push_back("older " + std::to_string(vk) + (down ? "v" : "^"));
        return false;
    });
    const int newer = d.installKeyboardHook([&](int vk, bool down) {
        calls.push_back("newer " + std::to_string(vk) + (down ? "v" : "^"));
        return vk == 'A'; // swallows A only
    });
    CHECK(older > 0);
    CHECK(newer > 0);
    CHECK(older != newer);

    d.key('B', true);
    d.key('A', true);
    d.key('A', false);
    d.key('B', false);
    CHECK(pumpUntil([&] { return calls.size() >= 6; }));
    CHECK(d.removeKeyboardHook(newer));
    d.key('C', true);
    d.key('C', false);
    CHECK(pumpUntil([&] { return calls.size() >= 8; }));
    pumpFor(50);
    CHECK(d.removeKeyboardHook(older));

    const std::vector<std::string> expected{
        "newer 66v", "older 66v", "newer 65v", "newer 65^", "newer 66^", "older 66^",
        "older 67v", "older 67^"};
    CHECK_EQ(calls, expected);
}

void hookMayRemoveItselfFromItsCallback()
{
    Win32Desktop &d = desktop();
    Observer observer;
    CHECK(observer.ok());
    int handle = 0;
    int calls = 0;
    bool removed = false;
    handle = d.installKeyboardHook([&](int, bool) {
        ++calls;
        removed = d.removeKeyboardHook(handle);
        return true; // this one event is still swallowed
    });
    CHECK(handle > 0);
    d.key('K', true);
    d.key('K', false);
    CHECK(pumpUntil([] { return g_keys.size() >= 1; }));
    pumpFor(50);
    CHECK_EQ(calls, 1);
    CHECK(removed);
    const std::vector<KeySeen> expected{{'K', false}};
    CHECK_EQ(Observer::keys(), expected);
    // The slot is usable again.
    const int again = d.installKeyboardHook([](int, bool) { return false; });
    CHECK(again > 0);
    CHECK(d.removeKeyboardHook(again));
}

void hooksRunOutCleanly()
{
    Win32Desktop &d = desktop();
    std::vector<int> handles;
    for (int i = 0; i < Win32Desktop::MaxKeyboardHooks; ++i)
        handles.push_back(d.installKeyboardHook([](int, bool) { return false; }));
    const int oneTooMany = d.installKeyboardHook([](int, bool) { return false; });
    const unsigned long error = d.lastError();
    const bool removedOne = d.removeKeyboardHook(handles.back());
    const int replacement = d.installKeyboardHook([](int, bool) { return false; });
    handles.back() = replacement;
    int removedAll = 0;
    for (int h : handles)
        removedAll += d.removeKeyboardHook(h) ? 1 : 0;

    for (int h : handles)
        CHECK(h > 0);
    CHECK_EQ(oneTooMany, 0);
    CHECK(error != 0);
    CHECK(removedOne);
    CHECK_EQ(removedAll, Win32Desktop::MaxKeyboardHooks);
}

void hotKeyPostsWmHotkey()
{
    Win32Desktop &d = desktop();
    const int ctrlAlt = platform::mod::Ctrl | platform::mod::Alt;
    CHECK(d.registerHotKey(1001, ctrlAlt, 'G'));
    const bool secondOwner = d.registerHotKey(1002, ctrlAlt, 'G');

    g_posted.clear();
    replayCombination(d, {VK_CONTROL, VK_MENU, 'G'});
    const bool fired = pumpUntil([] { return !postedHotKeys().empty(); });
    pumpFor(kQuietMs);
    const std::vector<MSG> hotKeys = postedHotKeys();

    g_posted.clear();
    replayCombination(d, {VK_CONTROL, VK_SHIFT, VK_MENU, 'G'}); // an extra modifier
    pumpFor(kQuietMs);
    const size_t firedWithShift = postedHotKeys().size();

    d.unregisterHotKey(1001);
    g_posted.clear();
    replayCombination(d, {VK_CONTROL, VK_MENU, 'G'});
    pumpFor(kQuietMs);
    const size_t firedAfterUnregister = postedHotKeys().size();
    const bool freeAgain = d.registerHotKey(1002, ctrlAlt, 'G');
    d.unregisterHotKey(1002);

    CHECK(!secondOwner);
    CHECK(fired);
    CHECK_EQ(hotKeys.size(), size_t(1));
    CHECK_EQ(int(hotKeys[0].wParam), 1001);
    CHECK_EQ(firedWithShift, size_t(0));
    CHECK_EQ(firedAfterUnregister, size_t(0));
    CHECK(freeAgain);
}

struct NativeEventRow {
    std::string name;
    const char *eventType;
    UINT message;
    WPARAM wParam;
    int expected;
};

void nativeEventRecognisesOwnHotKeysOnly(const NativeEventRow &row)
{
    Win32Desktop &d = desktop();
    // A combination nobody presses in these tests.
    CHECK(d.registerHotKey(1001, platform::mod::Ctrl | platform::mod::Alt | platform::mod::Shift, VK_F12));
    MSG msg;
    std::memset(&msg, 0, sizeof msg);
    msg.message = row.message;
    msg.wParam = row.wParam;
    const int id = d.hotKeyFromNativeEvent(row.eventType, &msg);
    d.unregisterHotKey(1001);
    const int afterUnregister = d.hotKeyFromNativeEvent(row.eventType, &msg);
    CHECK_EQ(id, row.expected);
    CHECK_EQ(afterUnregister, 0);
}

void destructionReleasesWhatIsHeld()
{
    Observer observer(true);
    CHECK(observer.ok());
    CHECK(observer.mouseOk());
    std::vector<int> heldBefore;
    {
        Win32Desktop local;
        local.key(VK_SHIFT, true);
        local.key('G', true);
        local.mouseButton(MouseButton::Left, true);
        heldBefore = local.heldByUs();
        pumpUntil([] { return g_order.size() >= 3; });
    }
    CHECK(pumpUntil([] { return g_order.size() >= 6; }));
    pumpFor(50);
    const std::vector<int> expectedHeld{VK_SHIFT, 'G', VK_LBUTTON};
    CHECK_EQ(heldBefore, expectedHeld);
    CHECK_EQ(g_order, (std::vector<char>{'k', 'k', 'm', 'm', 'k', 'k'}));
    const std::vector<KeySeen> expectedKeys{{VK_SHIFT, true}, {'G', true}, {'G', false}, {VK_SHIFT, false}};
    CHECK_EQ(canonical(Observer::keys()), expectedKeys);
    CHECK_EQ(g_mouse[1].message, WPARAM(WM_LBUTTONUP));
    CHECK(!desktop().isKeyDown('G'));
    CHECK(!desktop().isKeyDown(VK_SHIFT));
    CHECK(!desktop().isKeyDown(VK_LBUTTON));
}


// ---------------------------------------------------------------------------
// Input observers.

struct Seen {
    platform::InputEvent::Kind kind;
    int a = 0;        // vk, button (0 left, 1 right), or notches
    char32_t ch = 0;  // KeyDown: character
    bool repeat = false;
    bool operator==(const Seen &o) const
    {
        return kind == o.kind && a == o.a && ch == o.ch && repeat == o.repeat;
    }
};

std::ostream &operator<<(std::ostream &out, const Seen &s)
{
    static const char *names[] = {"KeyDown", "KeyUp", "ButtonDown", "ButtonUp", "Motion", "Wheel"};
    out << names[int(s.kind)] << " " << s.a;
    if (s.ch)
        out << " '" << unsigned(s.ch) << "'";
    if (s.repeat)
        out << " repeat";
    return out;
}

/// Collects what an observer is told, on the observer's thread.
class Collector {
public:
    platform::InputObserver observer()
    {
        return [this](const platform::InputEvent &e) {
            AcquireSRWLockExclusive(&lock_);
            events_.push_back(e);
            threads_.push_back(GetCurrentThreadId());
            ReleaseSRWLockExclusive(&lock_);
        };
    }
    std::vector<platform::InputEvent> events()
    {
        AcquireSRWLockExclusive(&lock_);
        std::vector<platform::InputEvent> copy = events_;
        ReleaseSRWLockExclusive(&lock_);
        return copy;
    }
    std::vector<DWORD> threads()
    {
        AcquireSRWLockExclusive(&lock_);
        std::vector<DWORD> copy = threads_;
        ReleaseSRWLockExclusive(&lock_);
        return copy;
    }
    size_t count() { return events().size(); }
    std::vector<Seen> seen()
    {
        std::vector<Seen> out;
        for (const auto &e : events()) {
            Seen s{e.kind};
            switch (e.kind) {
            case platform::InputEvent::Kind::KeyDown:
                s.a = canonicalKey(e.vk);
                s.ch = e.character;
                s.repeat = e.repeat;
                break;
            case platform::InputEvent::Kind::KeyUp: s.a = canonicalKey(e.vk); break;
            case platform::InputEvent::Kind::ButtonDown:
            case platform::InputEvent::Kind::ButtonUp: s.a = e.button == MouseButton::Left ? 0 : 1; break;
            case platform::InputEvent::Kind::Wheel: s.a = e.wheel; break;
            case platform::InputEvent::Kind::Motion: break;
            }
            out.push_back(s);
        }
        return out;
    }

private:
    SRWLOCK lock_ = SRWLOCK_INIT;
    std::vector<platform::InputEvent> events_;
    std::vector<DWORD> threads_;
};

int threadCount()
{
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return -1;
    THREADENTRY32 entry;
    entry.dwSize = sizeof entry;
    int n = 0;
    for (BOOL more = Thread32First(snap, &entry); more; more = Thread32Next(snap, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId())
            ++n;
    }
    CloseHandle(snap);
    return n;
}

void sendWheel(int units)
{
    INPUT input;
    std::memset(&input, 0, sizeof input);
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = MOUSEEVENTF_WHEEL;
    input.mi.mouseData = DWORD(units);
    SendInput(1, &input, sizeof input);
}

/// A move of the person's mouse (SetCursorPos is not input: hooks never see it).
void sendAbsoluteMove(int x, int y)
{
    const int w = GetSystemMetrics(SM_CXSCREEN);
    const int h = GetSystemMetrics(SM_CYSCREEN);
    INPUT input;
    std::memset(&input, 0, sizeof input);
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    input.mi.dx = LONG((x * 65535 + (w - 1) / 2) / (w - 1));
    input.mi.dy = LONG((y * 65535 + (h - 1) / 2) / (h - 1));
    SendInput(1, &input, sizeof input);
}

using platform::InputEvent;
using Kind = platform::InputEvent::Kind;

struct ObservedKeysRow {
    std::string name;
    std::function<void(Win32Desktop &)> act;
    std::vector<Seen> expected;
};

void observerSeesKeysAndPassesThemOn(const ObservedKeysRow &row)
{
    Win32Desktop &d = desktop();
    Observer older; // installed first, so called after the observer's hook
    CHECK(older.ok());
    Collector collector;
    const int handle = d.startInputObserver(collector.observer(), platform::observe::Keys);
    CHECK(handle > 0);
    row.act(d);
    const bool arrived = pumpUntil([&] { return collector.count() >= row.expected.size(); });
    pumpFor(50);
    const bool stopped = d.stopInputObserver(handle);
    CHECK(arrived);
    CHECK(stopped);
    CHECK_EQ(collector.seen(), row.expected);
    // Every event went on: the older hook saw each one after the observer.
    CHECK_EQ(g_keys.size(), row.expected.size());
    const std::vector<InputEvent> events = collector.events();
    for (size_t i = 1; i < events.size(); ++i)
        CHECK(events[i - 1].time <= events[i].time);
    for (DWORD t : collector.threads())
        CHECK(t != GetCurrentThreadId()); // told on the observer's own thread
}

void observerSeesThePointer()
{
    Win32Desktop &d = desktop();
    d.setCursorPos(40, 50);
    pumpOnce();
    Observer older(true);
    CHECK(older.mouseOk());
    Collector collector;
    const int handle = d.startInputObserver(collector.observer(), platform::observe::All);
    CHECK(handle > 0);
    sendAbsoluteMove(300, 200);
    CHECK(pumpUntil([&] { return collector.count() >= 1; }));
    POINT at{0, 0};
    GetCursorPos(&at);
    d.mouseButton(MouseButton::Left, true);
    d.mouseButton(MouseButton::Left, false);
    d.mouseButton(MouseButton::Right, true);
    d.mouseButton(MouseButton::Right, false);
    sendWheel(240);
    sendWheel(60);  // half a notch: nothing yet
    sendWheel(60);  // the other half: one notch
    sendWheel(-120);
    const bool arrived = pumpUntil([&] { return collector.count() >= 8; });
    pumpFor(kQuietMs);
    CHECK(d.stopInputObserver(handle));
    CHECK(arrived);
    const std::vector<Seen> expected{
        {Kind::Motion}, {Kind::ButtonDown, 0}, {Kind::ButtonUp, 0}, {Kind::ButtonDown, 1},
        {Kind::ButtonUp, 1}, {Kind::Wheel, 2}, {Kind::Wheel, 1}, {Kind::Wheel, -1}};
    CHECK_EQ(collector.seen(), expected);
    const std::vector<InputEvent> events = collector.events();
    for (const InputEvent &e : events)
        CHECK_EQ(e.pos, (platform::Point{int(at.x), int(at.y)}));
    // The older hook saw every click and wheel turn too.
    CHECK_EQ(g_mouse.size(), size_t(8));
}

void observerStopEndsItsThreadAndHooks()
{
    Win32Desktop &d = desktop();
    const int threadsBefore = threadCount();
    Collector keysOnly;
    const int handle = d.startInputObserver(keysOnly.observer(), platform::observe::Keys);
    CHECK(handle > 0);
    const int threadsWhile = threadCount();
    d.mouseButton(MouseButton::Left, true);
    d.mouseButton(MouseButton::Left, false);
    sendWheel(120);
    d.key('Q', true);
    d.key('Q', false);
    CHECK(pumpUntil([&] { return keysOnly.count() >= 2; }));
    pumpFor(kQuietMs);
    const size_t seenWhileRunning = keysOnly.count();
    CHECK(d.stopInputObserver(handle));
    CHECK(!d.stopInputObserver(handle));
    d.key('Q', true);
    d.key('Q', false);
    pumpFor(kQuietMs);
    CHECK_EQ(seenWhileRunning, size_t(2)); // keys only: no button, no wheel
    CHECK_EQ(keysOnly.count(), size_t(2)); // nothing after the stop
    CHECK_EQ(threadsWhile, threadsBefore + 1);
    CHECK_EQ(threadCount(), threadsBefore);
}

void observerCannotStopItselfAndDiesWithItsDesktop()
{
    const int threadsBefore = threadCount();
    std::atomic<int> handle{0};
    std::atomic<int> selfStop{-1};
    {
        Win32Desktop local;
        Win32Desktop *self = &local;
        handle = local.startInputObserver(
            [&, self](const InputEvent &e) {
                if (e.kind == Kind::KeyDown)
                    selfStop = self->stopInputObserver(handle) ? 1 : 0;
            },
            platform::observe::Keys);
        CHECK(handle > 0);
        CHECK_EQ(threadCount(), threadsBefore + 1);
        local.key('Z', true);
        local.key('Z', false);
        CHECK(pumpUntil([&] { return selfStop >= 0; }));
    } // the desktop goes, and with it the observer
    CHECK_EQ(selfStop.load(), 0);
    CHECK_EQ(threadCount(), threadsBefore);
}

void registerCases()
{
    auto &r = check::Runner::instance();
    r.add("factoryGivesTheWin32Desktop", factoryGivesTheWin32Desktop);
    r.addRows<CombinationRow>("keyCombinationReachesTheHook",
        {
            {"Ctrl+Alt+G", {VK_CONTROL, VK_MENU, 'G'},
             {{17, true}, {18, true}, {71, true}, {71, false}, {18, false}, {17, false}}},
            {"Shift+F5", {VK_SHIFT, VK_F5}, {{16, true}, {116, true}, {116, false}, {16, false}}},
            {"left Ctrl alone", {VK_LCONTROL}, {{17, true}, {17, false}}},
            {"Ctrl+Shift+Win+A", {VK_CONTROL, VK_SHIFT, VK_LWIN, 'A'},
             {{17, true}, {16, true}, {91, true}, {65, true}, {65, false}, {91, false}, {16, false}, {17, false}}},
        },
        keyCombinationReachesTheHook);
    r.addRows<TextRow>("textArrivesAsCodeUnits",
        {
            {"surrogate pair", u"\u3042\U0001F600", {0x3042, 0xD83D, 0xDE00}},
            {"line break and tab stay characters", u"a\n\tb", {0x61, 0x0A, 0x09, 0x62}},
        },
        textArrivesAsCodeUnits);
    r.addRows<StateRow>("keyStateFollowsDownAndUp",
        {
            {"G", 'G', false},
            {"F5", VK_F5, false},
            {"Ctrl", VK_CONTROL, false},
            {"left Win", VK_LWIN, false},
            {"left button", VK_LBUTTON, true},
            {"right button", VK_RBUTTON, true},
        },
        keyStateFollowsDownAndUp);
    r.addRows<ClickRow>("clickHappensWhereThePointerIs",
        {
            {"left", MouseButton::Left, WM_LBUTTONDOWN, WM_LBUTTONUP, {300, 200}},
            {"right", MouseButton::Right, WM_RBUTTONDOWN, WM_RBUTTONUP, {17, 700}},
        },
        clickHappensWhereThePointerIs);
    r.addRows<WheelRow>("wheelTurnsByNotches", {{"up 3", 3}, {"down 2", -2}, {"down 100", -100}}, wheelTurnsByNotches);
    r.add("pixelReadsThePaintedScreen", pixelReadsThePaintedScreen);
    r.addRows<CursorRow>("cursorIsWhereItWasPut",
        {
            {"inside", 123, 456},
            {"origin", 0, 0},
            {"far corner", 1000, 700},
        },
        cursorIsWhereItWasPut);
    r.add("hookSwallowsWhileArmed", hookSwallowsWhileArmed);
    r.add("eachHookGetsItsOwnCallback", eachHookGetsItsOwnCallback);
    r.add("hookMayRemoveItselfFromItsCallback", hookMayRemoveItselfFromItsCallback);
    r.add("hooksRunOutCleanly", hooksRunOutCleanly);
    r.add("hotKeyPostsWmHotkey", hotKeyPostsWmHotkey);
    r.addRows<NativeEventRow>("nativeEventRecognisesOwnHotKeysOnly",
        {
            {"dispatcher message", "windows_dispatcher_MSG", WM_HOTKEY, 1001, 1001},
            {"generic message", "windows_generic_MSG", WM_HOTKEY, 1001, 1001},
            {"other id", "windows_dispatcher_MSG", WM_HOTKEY, 1002, 0},
            {"other message", "windows_dispatcher_MSG", WM_KEYDOWN, 1001, 0},
            {"other event type", "xcb_generic_event_t", WM_HOTKEY, 1001, 0},
        },
        nativeEventRecognisesOwnHotKeysOnly);
    r.add("destructionReleasesWhatIsHeld", destructionReleasesWhatIsHeld);
    r.addRows<ObservedKeysRow>("observerSeesKeysAndPassesThemOn",
        {
            {"Shift picks the capital", [](Win32Desktop &d) { replayCombination(d, {VK_SHIFT, 'H'}); replayCombination(d, {'I'}); },
             {{Kind::KeyDown, VK_SHIFT}, {Kind::KeyDown, 'H', U'H'}, {Kind::KeyUp, 'H'}, {Kind::KeyUp, VK_SHIFT},
              {Kind::KeyDown, 'I', U'i'}, {Kind::KeyUp, 'I'}}},
            {"Enter types a return, F5 nothing", [](Win32Desktop &d) { replayCombination(d, {VK_RETURN}); replayCombination(d, {VK_F5}); },
             {{Kind::KeyDown, VK_RETURN, U'\r'}, {Kind::KeyUp, VK_RETURN}, {Kind::KeyDown, VK_F5}, {Kind::KeyUp, VK_F5}}},
            {"a held key repeats", [](Win32Desktop &d) { d.key('A', true); d.key('A', true); d.key('A', false); },
             {{Kind::KeyDown, 'A', U'a'}, {Kind::KeyDown, 'A', U'a', true}, {Kind::KeyUp, 'A'}}},
            {"digits and punctuation", [](Win32Desktop &d) { replayCombination(d, {'1'}); replayCombination(d, {VK_SHIFT, '1'}); replayCombination(d, {VK_OEM_COMMA}); },
             {{Kind::KeyDown, '1', U'1'}, {Kind::KeyUp, '1'}, {Kind::KeyDown, VK_SHIFT}, {Kind::KeyDown, '1', U'!'},
              {Kind::KeyUp, '1'}, {Kind::KeyUp, VK_SHIFT}, {Kind::KeyDown, VK_OEM_COMMA, U','}, {Kind::KeyUp, VK_OEM_COMMA}}},
            {"a character sent as a character", [](Win32Desktop &d) { d.unicodeUnit(u'\u3042', true); d.unicodeUnit(u'\u3042', false); },
             {{Kind::KeyDown, kVkPacket, U'\u3042'}, {Kind::KeyUp, kVkPacket}}},
        },
        observerSeesKeysAndPassesThemOn);
    r.add("observerSeesThePointer", observerSeesThePointer);
    r.add("observerStopEndsItsThreadAndHooks", observerStopEndsItsThreadAndHooks);
    r.add("observerCannotStopItselfAndDiesWithItsDesktop", observerCannotStopItselfAndDiesWithItsDesktop);
}

} // namespace

/// Wine starts its desktop process alongside the first program; until that
/// is up the pointer is held at the origin. Waits for a pointer that stays
/// where it was put.
bool waitForDesktop()
{
    return pumpUntil([] {
        SetCursorPos(5, 7);
        POINT p{0, 0};
        return GetCursorPos(&p) && p.x == 5 && p.y == 7;
    }, 30000);
}

int main(int argc, char **argv)
{
    registerCases();
    std::string why;
    g_native = platform::createNativeDesktop(&why);
    if (!g_native || std::string(g_native->name()) != "win32") {
        std::printf("no Win32 desktop: %s\n0 passed, 1 failed\n", why.c_str());
        return 1;
    }
    if (!waitForDesktop())
        std::printf("note: the pointer did not follow SetCursorPos within 30 s\n");
    return check::Runner::instance().run(argc > 1 ? argv[1] : "");
}
