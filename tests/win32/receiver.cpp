// A plain Win32 window that writes down the input it receives, one line per
// message, for the end-to-end tests of the Windows program under Wine. It
// also answers requests that the Linux-side test writes into a file, so the
// test can ask for GetCursorPos and GetAsyncKeyState as Windows sees them.
//
// Usage: receiver.exe LOG REQUEST X Y WIDTH HEIGHT
//   LOG      the file the lines are appended to (UTF-8)
//   REQUEST  a file the test creates with one request; the receiver answers
//            into LOG and deletes it: "cursor", "held", "state", "front", "quit", or
//            "lock PATH" (UTF-8), which opens PATH with no sharing and keeps
//            it open, so that no other program can read or replace it, or
//            "picture X Y", which paints the pattern of picturepattern.h
//            with its top-left at the client point (X, Y)
//
// Lines written:
//   ready HWND                         once the window is shown
//   keydown VK shift ctrl alt          WM_KEYDOWN / WM_SYSKEYDOWN (hex VK,
//   keyup VK shift ctrl alt            modifiers as GetKeyState saw them, 0/1)
//   char UNIT                          WM_CHAR, one UTF-16 unit in hex
//   down BUTTON X Y CURSORX CURSORY    button press: client point and
//   up BUTTON X Y CURSORX CURSORY      GetCursorPos (BUTTON is l, r or m)
//   cursor X Y                         answer to "cursor"
//   held VK VK ...                     answer to "held": every virtual key
//                                      whose GetAsyncKeyState high bit is set
//   state fg=.. active=.. focus=.. capture=.. under=.. self=..
//                                      answer to "state": where input would
//                                      go now (window handles and titles)
//   front                              answer to "front" (brought forward)
//   activate STATE, focus in/out,      activation, focus and capture
//   capturechanged                     changes, after "ready"
//   locked PATH / lockfailed ERROR     answer to "lock"
//   picture X Y                        answer to "picture", once painted

#include <windows.h>

#include "picturepattern.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

HANDLE g_log = INVALID_HANDLE_VALUE;
std::wstring g_request;
bool g_ready = false; // "ready" is the first line; nothing is logged before it
constexpr UINT_PTR kRequestTimer = 1;
constexpr UINT kRequestPollMs = 20;

void writeLine(const char *format, ...)
{
    char line[512];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(line, sizeof line - 1, format, args);
    va_end(args);
    if (n < 0)
        return;
    if (n > int(sizeof line) - 2)
        n = int(sizeof line) - 2;
    line[n++] = '\n';
    DWORD written = 0;
    // Opened for appending: each line is one write, so a reader never
    // sees half a line it could misread.
    WriteFile(g_log, line, DWORD(n), &written, nullptr);
}

int down(int vk)
{
    return (GetKeyState(vk) & 0x8000) ? 1 : 0;
}

void logKey(const char *what, WPARAM vk)
{
    writeLine("%s %02x %d %d %d", what, unsigned(vk), down(VK_SHIFT), down(VK_CONTROL), down(VK_MENU));
}

void logButton(const char *what, char button, LPARAM lParam)
{
    POINT cursor{};
    GetCursorPos(&cursor);
    writeLine("%s %c %d %d %ld %ld", what, button, int(short(LOWORD(lParam))), int(short(HIWORD(lParam))),
              cursor.x, cursor.y);
}

void answerRequest(HWND window)
{
    HANDLE file = CreateFileW(g_request.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    char text[1024] = {};
    DWORD got = 0;
    ReadFile(file, text, sizeof text - 1, &got, nullptr);
    CloseHandle(file);
    // The test renames a finished file into place, so it is never half written.
    std::string request(text, got);
    while (!request.empty() && (request.back() == '\n' || request.back() == '\r' || request.back() == ' '))
        request.pop_back();
    if (request.empty())
        return;
    DeleteFileW(g_request.c_str());

    if (request == "cursor") {
        POINT p{};
        GetCursorPos(&p);
        writeLine("cursor %ld %ld", p.x, p.y);
    } else if (request == "held") {
        std::string keys = "held";
        for (int vk = 1; vk < 256; ++vk) {
            if (GetAsyncKeyState(vk) & 0x8000) {
                char hex[8];
                snprintf(hex, sizeof hex, " %02x", vk);
                keys += hex;
            }
        }
        writeLine("%s", keys.c_str());
    } else if (request == "state") {
        // Where input would go now: the foreground window, its thread's
        // focus and capture, and the window under the pointer.
        POINT p{};
        GetCursorPos(&p);
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(0, &info);
        auto title = [](HWND w) {
            static char buffers[4][128];
            static int next = 0;
            char *b = buffers[next++ % 4];
            b[0] = 0;
            if (w)
                GetWindowTextA(w, b, 127);
            return b;
        };
        const HWND under = WindowFromPoint(p);
        writeLine("state fg=%p'%s' active=%p focus=%p capture=%p under=%p'%s' self=%p", (void *)GetForegroundWindow(),
                  title(GetForegroundWindow()), (void *)info.hwndActive, (void *)info.hwndFocus,
                  (void *)info.hwndCapture, (void *)under, title(under), (void *)window);
    } else if (request == "front") {
        SetForegroundWindow(window);
        SetActiveWindow(window);
        SetFocus(window);
        writeLine("front");
    } else if (request.rfind("lock ", 0) == 0) {
        const std::string path = request.substr(5);
        wchar_t wide[MAX_PATH] = {};
        MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide, MAX_PATH);
        HANDLE held = CreateFileW(wide, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (held == INVALID_HANDLE_VALUE)
            writeLine("lockfailed %lu", GetLastError());
        else
            writeLine("locked %s", path.c_str()); // closed when the receiver ends
    } else if (request.rfind("picture ", 0) == 0) {
        int x = 0, y = 0;
        if (sscanf(request.c_str() + 8, "%d %d", &x, &y) == 2) {
            HDC dc = GetDC(window);
            for (int py = 0; py < kPatternHeight; ++py)
                for (int px = 0; px < kPatternWidth; ++px) {
                    const unsigned rgb = patternPixel(px, py);
                    SetPixel(dc, x + px, y + py, RGB(rgb >> 16, (rgb >> 8) & 255, rgb & 255));
                }
            GdiFlush();
            ReleaseDC(window, dc);
            writeLine("picture %d %d", x, y);
        }
    } else if (request == "quit") {
        DestroyWindow(window);
    } else {
        writeLine("unknown %s", request.c_str());
    }
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        logKey("keydown", wParam);
        return 0;
    case WM_KEYUP:
    case WM_SYSKEYUP:
        logKey("keyup", wParam);
        return 0;
    case WM_CHAR:
        writeLine("char %04x", unsigned(wParam & 0xffff));
        return 0;
    case WM_LBUTTONDOWN: logButton("down", 'l', lParam); return 0;
    case WM_LBUTTONUP: logButton("up", 'l', lParam); return 0;
    case WM_RBUTTONDOWN: logButton("down", 'r', lParam); return 0;
    case WM_RBUTTONUP: logButton("up", 'r', lParam); return 0;
    case WM_MBUTTONDOWN: logButton("down", 'm', lParam); return 0;
    case WM_MBUTTONUP: logButton("up", 'm', lParam); return 0;
    case WM_ACTIVATE:
        if (g_ready)
            writeLine("activate %u %p", unsigned(LOWORD(wParam)), (void *)lParam);
        return DefWindowProcW(window, message, wParam, lParam);
    case WM_SETFOCUS:
        if (g_ready)
            writeLine("focus in %p", (void *)wParam);
        return 0;
    case WM_KILLFOCUS:
        if (g_ready)
            writeLine("focus out %p", (void *)wParam);
        return 0;
    case WM_CAPTURECHANGED:
        if (g_ready)
            writeLine("capturechanged %p", (void *)lParam);
        return 0;
    case WM_TIMER:
        if (wParam == kRequestTimer)
            answerRequest(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    if (argc != 7) {
        fprintf(stderr, "usage: receiver LOG REQUEST X Y WIDTH HEIGHT\n");
        return 2;
    }
    g_log = CreateFileW(argv[1], FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (g_log == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "cannot open the log\n");
        return 1;
    }
    g_request = argv[2];
    const int x = _wtoi(argv[3]), y = _wtoi(argv[4]), width = _wtoi(argv[5]), height = _wtoi(argv[6]);

    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    windowClass.hbrBackground = HBRUSH(COLOR_WINDOW + 1);
    windowClass.lpszClassName = L"TervaloReceiver";
    RegisterClassW(&windowClass);

    // A popup has no frame, so its client area is exactly the rectangle
    // asked for, whether or not a window manager runs.
    HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"Tervalo Receiver", WS_POPUP | WS_VISIBLE, x, y,
                                  width, height, nullptr, nullptr, instance, nullptr);
    if (!window) {
        fprintf(stderr, "CreateWindowEx failed: %lu\n", GetLastError());
        return 1;
    }
    SetTimer(window, kRequestTimer, kRequestPollMs, nullptr);
    writeLine("ready %p", static_cast<void *>(window));
    g_ready = true;

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    CloseHandle(g_log);
    return 0;
}
