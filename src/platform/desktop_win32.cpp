#include "platform/desktop_win32.h"
#include "platform/desktop_win32_observer.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace platform {

struct Win32Desktop::Lock {
    SRWLOCK srw = SRWLOCK_INIT;
};

namespace {

class Guard {
public:
    explicit Guard(SRWLOCK *lock) : lock_(lock) { AcquireSRWLockExclusive(lock_); }
    ~Guard() { ReleaseSRWLockExclusive(lock_); }
    Guard(const Guard &) = delete;
    Guard &operator=(const Guard &) = delete;

private:
    SRWLOCK *lock_;
};

// --- Keyboard hooks ---------------------------------------------------------
//
// Hooks are installed, called and removed on the GUI thread only (a low-level
// hook runs on the thread that installed it, while that thread pumps
// messages), so the slot table needs no lock.

struct HookSlot {
    HHOOK hook = nullptr;
    KeyboardHookCallback callback;
    bool calling = false;      // the callback is running now
    bool freeAfterCall = false; // it removed its own hook meanwhile
};

std::array<HookSlot, Win32Desktop::MaxKeyboardHooks> g_hooks;

bool isKeyDownMessage(WPARAM message)
{
    return message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
}

bool isKeyUpMessage(WPARAM message)
{
    return message == WM_KEYUP || message == WM_SYSKEYUP;
}

LRESULT dispatchHook(int slotIndex, int code, WPARAM message, LPARAM event)
{
    HookSlot &slot = g_hooks[size_t(slotIndex)];
    const HHOOK self = slot.hook;
    if (code == HC_ACTION && event && slot.callback
        && (isKeyDownMessage(message) || isKeyUpMessage(message))) {
        const auto *info = reinterpret_cast<const KBDLLHOOKSTRUCT *>(event);
        slot.calling = true;
        const bool swallow = slot.callback(int(info->vkCode), isKeyDownMessage(message));
        slot.calling = false;
        if (slot.freeAfterCall) {
            // Destroying a std::function while it runs is undefined; the
            // removal waited for the call to end.
            slot.callback = nullptr;
            slot.freeAfterCall = false;
        }
        if (swallow)
            return 1;
    }
    return CallNextHookEx(self, code, message, event);
}

template<int Slot>
LRESULT CALLBACK keyboardHookProc(int code, WPARAM message, LPARAM event)
{
    return dispatchHook(Slot, code, message, event);
}

template<int... Slots>
constexpr std::array<HOOKPROC, sizeof...(Slots)> hookProcs(std::integer_sequence<int, Slots...>)
{
    return {&keyboardHookProc<Slots>...};
}

constexpr auto g_hookProcs = hookProcs(std::make_integer_sequence<int, Win32Desktop::MaxKeyboardHooks>());

int slotOf(int handle)
{
    const int index = handle - 1;
    if (index < 0 || index >= Win32Desktop::MaxKeyboardHooks || !g_hooks[size_t(index)].hook)
        return -1;
    return index;
}

// --- Synthetic keyboard input ----------------------------------------------

// One INPUT_KEYBOARD record per SendInput call, every field not set here 0:
// a key goes by its virtual-key code alone (no scan code, no extended flag),
// a character by its UTF-16 code unit.
void sendKeyboardInput(WORD vkCode, WORD scan, DWORD flags)
{
    INPUT input;
    std::memset(&input, 0, sizeof input);
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vkCode;
    input.ki.wScan = scan;
    input.ki.dwFlags = flags;
    SendInput(1, &input, sizeof(INPUT));
}

bool isButtonCode(int code)
{
    return code == VK_LBUTTON || code == VK_RBUTTON;
}

void sendButton(int code, bool down)
{
    DWORD flags;
    if (code == VK_LBUTTON)
        flags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
    else
        flags = down ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_RIGHTUP;
    // No position and no data: the click happens wherever the pointer is.
    mouse_event(flags, 0, 0, 0, 0);
}

} // namespace

Win32Desktop::Win32Desktop() : lock_(std::make_unique<Lock>()) {}

Win32Desktop::~Win32Desktop()
{
    {
        std::map<int, std::unique_ptr<Win32InputObserver>> observers;
        {
            Guard guard(&lock_->srw);
            observers.swap(observers_);
        }
    } // each one's thread and hooks are gone here
    // A key left down by a run that never finished would stay down for the
    // whole desktop; let go of everything, the newest press first.
    std::vector<int> held;
    {
        Guard guard(&lock_->srw);
        held.swap(held_);
    }
    for (auto it = held.rbegin(); it != held.rend(); ++it) {
        if (isButtonCode(*it))
            sendButton(*it, false);
        else
            sendKeyboardInput(WORD(*it), 0, KEYEVENTF_KEYUP);
    }
    for (int handle : std::vector<int>(ownHooks_))
        removeKeyboardHook(handle);
    for (int id : std::vector<int>(hotKeys_))
        unregisterHotKey(id);
}

void Win32Desktop::noteHeld(int code, bool down)
{
    Guard guard(&lock_->srw);
    const auto it = std::find(held_.begin(), held_.end(), code);
    if (down) {
        if (it == held_.end())
            held_.push_back(code);
    } else if (it != held_.end()) {
        held_.erase(it);
    }
}

std::vector<int> Win32Desktop::heldByUs() const
{
    Guard guard(&lock_->srw);
    return held_;
}

void Win32Desktop::mouseButton(MouseButton button, bool down)
{
    const int code = button == MouseButton::Left ? VK_LBUTTON : VK_RBUTTON;
    // Noted before a press and after a release, so that a destructor racing
    // with a worker releases rather than forgets.
    if (down)
        noteHeld(code, true);
    sendButton(code, down);
    if (!down)
        noteHeld(code, false);
}

void Win32Desktop::setCursorPos(int x, int y)
{
    SetCursorPos(x, y);
}

Point Win32Desktop::cursorPos()
{
    POINT p{0, 0};
    GetCursorPos(&p);
    return Point{int(p.x), int(p.y)};
}

void Win32Desktop::wheel(int notches)
{
    // One event for all notches, WHEEL_DELTA (120) each; positive turns away
    // from the user.
    mouse_event(MOUSEEVENTF_WHEEL, 0, 0, DWORD(notches * WHEEL_DELTA), 0);
}

Rect Win32Desktop::screenRect()
{
    return Rect{GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

bool Win32Desktop::grab(const Rect &area, ScreenImage &into)
{
    const Rect part = area.intersected(screenRect());
    if (part.empty())
        return false;
    HDC screen = GetDC(nullptr);
    if (!screen)
        return false;
    HDC memory = CreateCompatibleDC(screen);
    // Top-down (negative height) 32-bit rows: each pixel is a little-endian
    // 0x??RRGGBB word, as the caller wants it.
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = part.width;
    info.bmiHeader.biHeight = -part.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    HBITMAP dib = memory ? CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
    bool read = false;
    if (dib && bits) {
        HGDIOBJ before = SelectObject(memory, dib);
        // CAPTUREBLT: layered windows (tooltips, translucent ones) are part of
        // what the person sees.
        read = BitBlt(memory, 0, 0, part.width, part.height, screen, part.x, part.y, SRCCOPY | CAPTUREBLT) != 0;
        GdiFlush();
        if (read) {
            into.area = part;
            const auto *words = static_cast<const std::uint32_t *>(bits);
            into.pixels.resize(size_t(part.width) * size_t(part.height));
            for (size_t i = 0; i < into.pixels.size(); ++i)
                into.pixels[i] = words[i] & 0xFFFFFFu;
        }
        SelectObject(memory, before);
    }
    if (dib)
        DeleteObject(dib);
    if (memory)
        DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return read;
}

void Win32Desktop::key(int vkCode, bool down)
{
    if (down)
        noteHeld(vkCode, true);
    sendKeyboardInput(WORD(vkCode), 0, down ? 0 : KEYEVENTF_KEYUP);
    if (!down)
        noteHeld(vkCode, false);
}

void Win32Desktop::unicodeUnit(char16_t unit, bool down)
{
    sendKeyboardInput(0, WORD(unit), down ? KEYEVENTF_UNICODE : KEYEVENTF_UNICODE | KEYEVENTF_KEYUP);
}

bool Win32Desktop::isKeyDown(int vkCode)
{
    // Down is the most significant bit: the result is negative.
    return GetAsyncKeyState(vkCode) < 0;
}

bool Win32Desktop::hasKey(int vkCode)
{
    if (vkCode == vk::LButton || vkCode == vk::RButton)
        return true;
    // The layout maps every key it has to a scan code; codes it lacks
    // (reserved or unassigned ones such as 7) map to none.
    return vkCode > 0 && vkCode < 255 && MapVirtualKeyW(UINT(vkCode), MAPVK_VK_TO_VSC) != 0;
}

int Win32Desktop::installKeyboardHook(KeyboardHookCallback callback)
{
    int index = -1;
    for (int i = 0; i < MaxKeyboardHooks; ++i) {
        const HookSlot &slot = g_hooks[size_t(i)];
        if (!slot.hook && !slot.calling) {
            index = i;
            break;
        }
    }
    if (index < 0) {
        lastError_ = ERROR_NOT_ENOUGH_QUOTA;
        return 0;
    }
    HookSlot &slot = g_hooks[size_t(index)];
    slot.callback = std::move(callback);
    slot.freeAfterCall = false;
    slot.hook = SetWindowsHookExW(WH_KEYBOARD_LL, g_hookProcs[size_t(index)], GetModuleHandleW(nullptr), 0);
    if (!slot.hook) {
        lastError_ = GetLastError();
        slot.callback = nullptr;
        return 0;
    }
    ownHooks_.push_back(index + 1);
    return index + 1;
}

bool Win32Desktop::removeKeyboardHook(int handle)
{
    const auto own = std::find(ownHooks_.begin(), ownHooks_.end(), handle);
    const int index = slotOf(handle);
    if (own == ownHooks_.end() || index < 0)
        return false;
    ownHooks_.erase(own);
    HookSlot &slot = g_hooks[size_t(index)];
    const bool removed = UnhookWindowsHookEx(slot.hook) != 0;
    slot.hook = nullptr;
    if (slot.calling)
        slot.freeAfterCall = true;
    else
        slot.callback = nullptr;
    return removed;
}

void Win32Desktop::setKeyboardHookActive(int, bool) {}

unsigned long Win32Desktop::lastError() const
{
    return lastError_;
}

bool Win32Desktop::registerHotKey(int id, int modifiers, int vkCode)
{
    // No window: WM_HOTKEY is posted to this thread's queue.
    const UINT mods = UINT(modifiers) & (MOD_ALT | MOD_CONTROL | MOD_SHIFT | MOD_WIN);
    if (!RegisterHotKey(nullptr, id, mods, UINT(vkCode)))
        return false;
    hotKeys_.push_back(id);
    return true;
}

void Win32Desktop::unregisterHotKey(int id)
{
    const auto it = std::find(hotKeys_.begin(), hotKeys_.end(), id);
    if (it == hotKeys_.end())
        return;
    UnregisterHotKey(nullptr, id);
    hotKeys_.erase(it);
}

int Win32Desktop::hotKeyFromNativeEvent(const char *eventType, void *message)
{
    if (!eventType || !message)
        return 0;
    if (std::strcmp(eventType, "windows_generic_MSG") != 0
        && std::strcmp(eventType, "windows_dispatcher_MSG") != 0)
        return 0;
    const auto *msg = static_cast<const MSG *>(message);
    if (msg->message != WM_HOTKEY)
        return 0;
    const int id = int(msg->wParam);
    if (id == 0 || std::find(hotKeys_.begin(), hotKeys_.end(), id) == hotKeys_.end())
        return 0;
    return id;
}

int Win32Desktop::startInputObserver(InputObserver observer, int kinds)
{
    auto o = std::make_unique<Win32InputObserver>(std::move(observer), kinds);
    unsigned long error = 0;
    if (!o->start(&error)) {
        lastError_ = error;
        return 0;
    }
    Guard guard(&lock_->srw);
    const int handle = nextObserver_++;
    observers_[handle] = std::move(o);
    return handle;
}

bool Win32Desktop::stopInputObserver(int handle)
{
    std::unique_ptr<Win32InputObserver> o;
    {
        Guard guard(&lock_->srw);
        const auto it = observers_.find(handle);
        if (it == observers_.end() || it->second->threadId() == GetCurrentThreadId())
            return false;
        o = std::move(it->second);
        observers_.erase(it);
    }
    o.reset(); // waits for its thread, outside the lock
    return true;
}

std::shared_ptr<Desktop> createWin32Desktop(std::string *)
{
    return std::make_shared<Win32Desktop>();
}

} // namespace platform
