#include "platform/desktop_win32_observer.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <chrono>

namespace platform {

namespace {

constexpr int kWheelNotch = WHEEL_DELTA; // 120 units per notch
// ToUnicodeEx: leave the keyboard state (dead keys) as it is (Windows 10 1607).
constexpr UINT kKeepKeyboardState = 0x4;

} // namespace

struct Win32InputObserver::State {
    InputObserver callback;
    int kinds = 0;
    HANDLE thread = nullptr;
    DWORD threadId = 0;
    HANDLE ready = nullptr;
    bool started = false;
    DWORD error = 0;

    // The thread's own, touched only there.
    HHOOK keyboardHook = nullptr;
    HHOOK mouseHook = nullptr;
    bool down[256] = {};
    bool capsLock = false;
    int wheelRest = 0;   // wheel units short of a whole notch
    POINT last{0, 0};
    bool lastKnown = false;

    void deliver(InputEvent &event)
    {
        event.time = std::chrono::steady_clock::now();
        if (callback)
            callback(event);
    }

    char32_t characterOf(const KBDLLHOOKSTRUCT &info);
    void key(const KBDLLHOOKSTRUCT &info, bool isDown);
    void mouse(WPARAM message, const MSLLHOOKSTRUCT &info);
    void run();
};

namespace {

// A low-level hook procedure has no context: it runs on the thread that set
// it, so the thread's observer is found here.
thread_local Win32InputObserver::State *t_state = nullptr;

LRESULT CALLBACK observeKeyboard(int code, WPARAM message, LPARAM event)
{
    if (code == HC_ACTION && event && t_state) {
        const auto *info = reinterpret_cast<const KBDLLHOOKSTRUCT *>(event);
        if (message == WM_KEYDOWN || message == WM_SYSKEYDOWN)
            t_state->key(*info, true);
        else if (message == WM_KEYUP || message == WM_SYSKEYUP)
            t_state->key(*info, false);
    }
    return CallNextHookEx(nullptr, code, message, event);
}

LRESULT CALLBACK observeMouse(int code, WPARAM message, LPARAM event)
{
    if (code == HC_ACTION && event && t_state)
        t_state->mouse(message, *reinterpret_cast<const MSLLHOOKSTRUCT *>(event));
    return CallNextHookEx(nullptr, code, message, event);
}

DWORD WINAPI observerThread(LPVOID parameter)
{
    static_cast<Win32InputObserver::State *>(parameter)->run();
    return 0;
}

} // namespace

char32_t Win32InputObserver::State::characterOf(const KBDLLHOOKSTRUCT &info)
{
    if (info.vkCode == VK_PACKET) // a character sent as a character
        return char32_t(info.scanCode & 0xFFFF);
    // The keyboard state of the moment as this thread has seen it: Shift,
    // Caps Lock and AltGr (right Alt, which the layout reads as Ctrl+Alt);
    // Ctrl, Alt and Win themselves are left out.
    BYTE state[256] = {};
    if (down[VK_LSHIFT] || down[VK_RSHIFT] || down[VK_SHIFT])
        state[VK_SHIFT] = 0x80;
    if (capsLock)
        state[VK_CAPITAL] = 0x01;
    if (down[VK_RMENU])
        state[VK_CONTROL] = state[VK_MENU] = state[VK_RMENU] = 0x80;
    HKL layout = GetKeyboardLayout(GetWindowThreadProcessId(GetForegroundWindow(), nullptr));
    WCHAR buffer[4] = {};
    const int n = ToUnicodeEx(info.vkCode, info.scanCode, state, buffer, 4, kKeepKeyboardState, layout);
    if (n <= 0)
        return 0; // nothing, or a dead key
    if (n >= 2 && IS_HIGH_SURROGATE(buffer[0]) && IS_LOW_SURROGATE(buffer[1]))
        return 0x10000 + ((char32_t(buffer[0]) - 0xD800) << 10) + (char32_t(buffer[1]) - 0xDC00);
    return char32_t(buffer[0]);
}

void Win32InputObserver::State::key(const KBDLLHOOKSTRUCT &info, bool isDown)
{
    const DWORD vk = info.vkCode & 0xFF;
    InputEvent e;
    e.kind = isDown ? InputEvent::Kind::KeyDown : InputEvent::Kind::KeyUp;
    e.vk = int(vk);
    if (isDown) {
        e.repeat = down[vk];
        if (vk == VK_CAPITAL && !e.repeat)
            capsLock = !capsLock;
        e.character = characterOf(info);
    }
    down[vk] = isDown;
    deliver(e);
}

void Win32InputObserver::State::mouse(WPARAM message, const MSLLHOOKSTRUCT &info)
{
    InputEvent e;
    e.pos = Point{int(info.pt.x), int(info.pt.y)};
    switch (message) {
    case WM_MOUSEMOVE:
        if (!(kinds & observe::Motion) || (lastKnown && info.pt.x == last.x && info.pt.y == last.y))
            return;
        e.kind = InputEvent::Kind::Motion;
        break;
    case WM_LBUTTONDOWN: case WM_LBUTTONUP: case WM_RBUTTONDOWN: case WM_RBUTTONUP:
        if (!(kinds & observe::Buttons))
            return;
        e.kind = message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN ? InputEvent::Kind::ButtonDown
                                                                        : InputEvent::Kind::ButtonUp;
        e.button = message == WM_LBUTTONDOWN || message == WM_LBUTTONUP ? MouseButton::Left : MouseButton::Right;
        break;
    case WM_MOUSEWHEEL: {
        if (!(kinds & observe::Buttons))
            return;
        // Fine-grained wheels send parts of a notch; whole notches count.
        wheelRest += short(HIWORD(info.mouseData));
        const int notches = wheelRest / kWheelNotch;
        if (!notches)
            return;
        wheelRest -= notches * kWheelNotch;
        e.kind = InputEvent::Kind::Wheel;
        e.wheel = notches;
        break;
    }
    default:
        return;
    }
    last = info.pt;
    lastKnown = true;
    deliver(e);
}

void Win32InputObserver::State::run()
{
    t_state = this;
    MSG msg;
    // The thread's message queue exists from here, so the stop's WM_QUIT
    // cannot be lost.
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    capsLock = (GetKeyState(VK_CAPITAL) & 1) != 0;
    const HMODULE module = GetModuleHandleW(nullptr);
    bool ok = true;
    if (kinds & observe::Keys) {
        keyboardHook = SetWindowsHookExW(WH_KEYBOARD_LL, observeKeyboard, module, 0);
        ok = keyboardHook != nullptr;
    }
    if (ok && (kinds & (observe::Buttons | observe::Motion))) {
        mouseHook = SetWindowsHookExW(WH_MOUSE_LL, observeMouse, module, 0);
        ok = mouseHook != nullptr;
    }
    if (!ok)
        error = GetLastError();
    started = ok;
    SetEvent(ready);
    if (ok) {
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    if (keyboardHook)
        UnhookWindowsHookEx(keyboardHook);
    if (mouseHook)
        UnhookWindowsHookEx(mouseHook);
    keyboardHook = mouseHook = nullptr;
    t_state = nullptr;
}

Win32InputObserver::Win32InputObserver(InputObserver callback, int kinds)
    : state_(std::make_unique<State>())
{
    state_->callback = std::move(callback);
    state_->kinds = kinds;
}

Win32InputObserver::~Win32InputObserver()
{
    if (state_->thread) {
        if (state_->started)
            PostThreadMessageW(state_->threadId, WM_QUIT, 0, 0);
        WaitForSingleObject(state_->thread, INFINITE);
        CloseHandle(state_->thread);
    }
    if (state_->ready)
        CloseHandle(state_->ready);
}

bool Win32InputObserver::start(unsigned long *error)
{
    state_->ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!state_->ready) {
        *error = GetLastError();
        return false;
    }
    state_->thread = CreateThread(nullptr, 0, observerThread, state_.get(), 0, &state_->threadId);
    if (!state_->thread) {
        *error = GetLastError();
        return false;
    }
    WaitForSingleObject(state_->ready, INFINITE);
    if (!state_->started)
        *error = state_->error;
    return state_->started;
}

unsigned long Win32InputObserver::threadId() const
{
    return state_->threadId;
}

} // namespace platform
