// Positions and sizes are kept in twips (1/1440 inch) and turned into pixels with the
// DPI of the window they belong to.
#pragma once
#include <windows.h>

namespace vcm {

inline constexpr int kTwipsPerInch = 1440;

constexpr int TwipsToPixels(int twips, UINT dpi)
{
    // Rounded to the nearest pixel, as MulDiv rounds.
    const long long scaled = static_cast<long long>(twips) * dpi;
    return static_cast<int>(scaled >= 0 ? (scaled + kTwipsPerInch / 2) / kTwipsPerInch
                                        : -((-scaled + kTwipsPerInch / 2) / kTwipsPerInch));
}

constexpr int PixelsToTwips(int pixels, UINT dpi)
{
    if (dpi == 0)
        return 0;
    const long long scaled = static_cast<long long>(pixels) * kTwipsPerInch;
    return static_cast<int>(scaled >= 0 ? (scaled + dpi / 2) / dpi : -((-scaled + dpi / 2) / dpi));
}

// The DPI a window is drawn at (the system DPI when hwnd is null or the platform cannot tell).
UINT WindowDpi(HWND hwnd);

int TwipsToPixels(HWND hwnd, int twips);
int PixelsToTwips(HWND hwnd, int pixels);

}  // namespace vcm
