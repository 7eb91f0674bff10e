// bench_picture's helper under Wine: the Windows program's grab and search.
// It covers the whole screen with a window showing the screen image it is
// given, waits until a grab finds the present picture there, then answers
// batches: for each line "N" on stdin it times N rounds of a whole-screen
// Win32Desktop::grab followed by Matcher::first, the present picture and the
// absent one turn about, and prints one line per sample. It ends at "0" or
// at the end of stdin.
//
// Usage: picturegrab.exe SCREEN PRESENT ABSENT   (files of bench/rawimage.h)
// Output: "found present X Y" and "found absent none" (what the first grab
// found), then per batch "sample present|absent TOTAL_MS GRAB_MS" lines and
// "batch done"; "error WHAT" and exit code 1 when something fails.

#include "../rawimage.h"
#include "platform/desktop_win32.h"
#include "run/picturematch.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace {

using Clock = std::chrono::steady_clock;

constexpr DWORD kShowWithinMs = 30000; // Wine's first window on a busy machine

rawimage::Image g_screen;

LRESULT CALLBACK paintScreen(HWND window, UINT message, WPARAM w, LPARAM l)
{
    if (message != WM_PAINT)
        return DefWindowProcW(window, message, w, l);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = g_screen.width;
    info.bmiHeader.biHeight = -g_screen.height; // top-down rows, as stored
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    SetDIBitsToDevice(dc, 0, 0, DWORD(g_screen.width), DWORD(g_screen.height), 0, 0, 0, UINT(g_screen.height),
                      g_screen.pixels.data(), &info, DIB_RGB_COLORS);
    EndPaint(window, &paint);
    return 0;
}

void pump()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

double msBetween(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

int fail(const char *what)
{
    std::printf("error %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    rawimage::Image present, absent;
    if (argc < 4 || !rawimage::read(argv[1], g_screen) || !rawimage::read(argv[2], present)
        || !rawimage::read(argv[3], absent))
        return fail("usage: picturegrab SCREEN PRESENT ABSENT");

    WNDCLASSW wc{};
    wc.lpfnWndProc = paintScreen;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TervaloBenchScreen";
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(WS_EX_TOPMOST, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE, 0, 0, g_screen.width,
                                  g_screen.height, nullptr, nullptr, wc.hInstance, nullptr);
    if (!window)
        return fail("no window");
    UpdateWindow(window);

    platform::Win32Desktop desktop;
    const platform::Rect all = desktop.screenRect();
    const picturematch::Matcher matchers[2] = {{present.view(), 0}, {absent.view(), 0}};
    const char *names[2] = {"present", "absent"};
    platform::ScreenImage grabbed;
    auto search = [&](int which) {
        const picturematch::View view{grabbed.pixels.data(), grabbed.area.width, grabbed.area.height,
                                      grabbed.area.width};
        return matchers[which].first(view);
    };

    // Shown once the present picture is there to be found.
    std::optional<picturematch::Position> found;
    const DWORD since = GetTickCount();
    while (!found && GetTickCount() - since < kShowWithinMs) {
        pump();
        Sleep(20);
        if (desktop.grab(all, grabbed))
            found = search(0);
    }
    if (!found)
        return fail("the screen window never showed the present picture");
    std::printf("found present %d %d\n", found->x, found->y);
    const auto none = search(1);
    if (none)
        std::printf("found absent %d %d\n", none->x, none->y);
    else
        std::printf("found absent none\n");
    std::fflush(stdout);

    char line[64];
    while (std::fgets(line, sizeof line, stdin)) {
        const int rounds = std::atoi(line);
        if (rounds <= 0)
            break;
        pump();
        for (int r = 0; r < rounds; ++r)
            for (int which = 0; which < 2; ++which) {
                const auto t0 = Clock::now();
                if (!desktop.grab(all, grabbed))
                    return fail("the grab failed");
                const auto t1 = Clock::now();
                const auto at = search(which);
                const auto t2 = Clock::now();
                if (at.has_value() != (which == 0) || (at && !(*at == *found)))
                    return fail("a search found something else than the first one");
                std::printf("sample %s %.4f %.4f\n", names[which], msBetween(t0, t2), msBetween(t0, t1));
            }
        std::printf("batch done\n");
        std::fflush(stdout);
    }
    DestroyWindow(window);
    return 0;
}
