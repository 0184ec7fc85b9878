#include "app/frmMain.h"

#include "platform/Twips.h"
#include "resource.h"

namespace vcm {

namespace {
constexpr wchar_t kClassName[] = L"VeltoCredentialsMap.frmMain";
constexpr int kClientWidthTwips = 7260;
constexpr int kClientHeightTwips = 4875;
}  // namespace

void frmMain::Load()
{
    const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP));
    Create(kClassName, 0, style, L"", CW_USEDEFAULT, CW_USEDEFAULT, 100, 100, nullptr, nullptr, icon);
    Register();

    // Size the outer frame so that the client area has its design size at this window's DPI.
    RECT frame = {0, 0, TwipsToPixels(Hwnd(), kClientWidthTwips), TwipsToPixels(Hwnd(), kClientHeightTwips)};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    RECT work = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    SetWindowPos(Hwnd(), nullptr, work.left + (work.right - work.left - width) / 2,
                 work.top + (work.bottom - work.top - height) / 2, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void frmMain::Show(int showCommand)
{
    ShowWindow(Hwnd(), showCommand);
    UpdateWindow(Hwnd());
}

LRESULT frmMain::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_CLOSE:
        DestroyWindow(Hwnd());
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return Default(msg, wParam, lParam);
    }
}

}  // namespace vcm
