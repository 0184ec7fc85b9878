// Small helpers for tests that drive real windows: a plain top-level parent, message
// pumping, and mouse input posted the way the system would deliver it.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <string>

namespace vcm::test {

inline void Pump()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// Keeps the windows alive and painted for a while (for looking at them).
inline void PumpFor(DWORD milliseconds)
{
    const ULONGLONG end = GetTickCount64() + milliseconds;
    while (GetTickCount64() < end) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        Pump();
    }
}

// A visible top-level window with a plain class, standing in for the main window.
inline HWND CreateTestParent(const wchar_t* title, int width, int height)
{
    static const ATOM atom = [] {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = L"VeltoCredentialsMap.TestParent";
        return RegisterClassExW(&wc);
    }();
    if (!atom)
        return nullptr;
    HWND hwnd = CreateWindowExW(0, L"VeltoCredentialsMap.TestParent", title, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                                40, 40, width, height, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (hwnd) {
        ShowWindow(hwnd, SW_SHOW);
        UpdateWindow(hwnd);
    }
    return hwnd;
}

inline LPARAM At(POINT p) { return MAKELPARAM(p.x, p.y); }

inline POINT Centre(const RECT& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

// A press and release at one point of a window's client area, then the messages handled.
inline void Click(HWND hwnd, POINT at, UINT down = WM_LBUTTONDOWN, WPARAM keys = 0)
{
    WPARAM held = MK_LBUTTON;
    UINT up = WM_LBUTTONUP;
    if (down == WM_RBUTTONDOWN) {
        held = MK_RBUTTON;
        up = WM_RBUTTONUP;
    } else if (down == WM_MBUTTONDOWN) {
        held = MK_MBUTTON;
        up = WM_MBUTTONUP;
    }
    PostMessageW(hwnd, WM_MOUSEMOVE, keys, At(at));
    PostMessageW(hwnd, down, held | keys, At(at));
    PostMessageW(hwnd, up, keys, At(at));
    Pump();
}

// Press at one point, move in steps to another, release there.
inline void Drag(HWND hwnd, POINT from, POINT to)
{
    PostMessageW(hwnd, WM_MOUSEMOVE, 0, At(from));
    PostMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, At(from));
    for (int step = 1; step <= 6; ++step) {
        const POINT p = {from.x + (to.x - from.x) * step / 6, from.y + (to.y - from.y) * step / 6};
        PostMessageW(hwnd, WM_MOUSEMOVE, MK_LBUTTON, At(p));
    }
    PostMessageW(hwnd, WM_LBUTTONUP, 0, At(to));
    Pump();
}

}  // namespace vcm::test
