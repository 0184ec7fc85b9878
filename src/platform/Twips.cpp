#include "platform/Twips.h"

#include "platform/Handles.h"

namespace vcm {

UINT WindowDpi(HWND hwnd)
{
    // GetDpiForWindow exists from Windows 10 1607 on; older servers fall back to the screen DC.
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow"));
    if (hwnd && getDpiForWindow) {
        const UINT dpi = getDpiForWindow(hwnd);
        if (dpi != 0)
            return dpi;
    }
    WindowDC dc(nullptr);
    const int dpi = dc.get() ? GetDeviceCaps(dc.get(), LOGPIXELSX) : 96;
    return dpi > 0 ? static_cast<UINT>(dpi) : 96u;
}

int TwipsToPixels(HWND hwnd, int twips) { return TwipsToPixels(twips, WindowDpi(hwnd)); }
int PixelsToTwips(HWND hwnd, int pixels) { return PixelsToTwips(pixels, WindowDpi(hwnd)); }

}  // namespace vcm
