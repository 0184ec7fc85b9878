#include "app/frmSplashScreen.h"

#include <cmath>

#include "app/ProgressText.h"
#include "platform/Error.h"
#include "platform/Twips.h"
#include "platform/WinHelpers.h"
#include "resource.h"

namespace vcm {

namespace {
constexpr wchar_t kClassName[] = L"VeltoCredentialsMap.frmSplashScreen";
// No WS_CLIPCHILDREN: a group box paints no interior, so the form paints under it.
constexpr DWORD kStyle = WS_POPUP;
// No taskbar button for a window that only says "please wait".
constexpr DWORD kExStyle = WS_EX_TOOLWINDOW;

constexpr int kClientWidthTwips = 5325;
constexpr int kClientHeightTwips = 900;
constexpr int kLabelLeftTwips = 720;
constexpr int kLabelTopTwips = 420;
constexpr int kLabelWidthTwips = 3795;
constexpr int kLabelHeightTwips = 195;

int Pixels(double twips, UINT dpi) { return static_cast<int>(std::lround(twips * dpi / kTwipsPerInch)); }

// The user's message font, made smaller where needed so that the whole message fits the
// label's designed width instead of being cut off.
UniqueHFont FittingFont(const std::wstring& text, int width)
{
    LOGFONTW font = {};
    if (!MessageFont(font))
        return UniqueHFont();
    constexpr int kSmallestHeight = 8;  // pixels; smaller text is no longer readable
    WindowDC screen(nullptr);
    for (;;) {
        UniqueHFont candidate(CreateFontIndirectW(&font));
        if (!candidate || !screen.get())
            return candidate;
        SIZE extent = {};
        {
            SelectedObject selected(screen.get(), candidate.get());
            GetTextExtentPoint32W(screen.get(), text.c_str(), static_cast<int>(text.size()), &extent);
        }
        const int height = font.lfHeight < 0 ? -font.lfHeight : font.lfHeight;
        if (extent.cx <= width || height <= kSmallestHeight)
            return candidate;
        font.lfHeight = font.lfHeight < 0 ? font.lfHeight + 1 : font.lfHeight - 1;
        font.lfWidth = 0;
    }
}
}  // namespace

void frmSplashScreen::Create(const std::wstring& message)
{
    if (IsCreated())
        return;
    Form::Create(
        {.className = kClassName, .style = kStyle, .exStyle = kExStyle, .x = 0, .y = 0, .width = 0, .height = 0});

    const UINT dpi = WindowDpi(Hwnd());
    RECT outer = {0, 0, TwipsToPixels(kClientWidthTwips, dpi), TwipsToPixels(kClientHeightTwips, dpi)};
    AdjustWindowRectEx(&outer, kStyle, FALSE, kExStyle);
    SetWindowPos(Hwnd(), nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    // A group box without a caption draws the frame. The label is the form's child, above
    // the frame, so that the form gives it its background colour.
    RECT client = {};
    GetClientRect(Hwnd(), &client);
    m_frame = CreateChild({.className = L"BUTTON",
                           .style = WS_CHILD | WS_VISIBLE | BS_GROUPBOX | WS_CLIPSIBLINGS,
                           .bounds = client,
                           .parent = Hwnd()});
    const RECT label = {TwipsToPixels(kLabelLeftTwips, dpi), TwipsToPixels(kLabelTopTwips, dpi),
                        TwipsToPixels(kLabelLeftTwips + kLabelWidthTwips, dpi),
                        TwipsToPixels(kLabelTopTwips + kLabelHeightTwips, dpi)};
    m_label = CreateChild({.className = L"STATIC",
                           .style = WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX | WS_CLIPSIBLINGS,
                           .text = message.c_str(),
                           .bounds = label,
                           .parent = Hwnd()});
    SetWindowPos(m_label, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    m_message = message;
    SetLabel(message);
    Register();
}

int frmSplashScreen::WidthTwips() const
{
    RECT r = {};
    GetWindowRect(Hwnd(), &r);
    return PixelsToTwips(Hwnd(), r.right - r.left);
}

void frmSplashScreen::MoveTwips(double leftTwips, double topTwips)
{
    const UINT dpi = WindowDpi(Hwnd());
    SetWindowPos(Hwnd(), nullptr, Pixels(leftTwips, dpi), Pixels(topTwips, dpi), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void frmSplashScreen::ShowAndPaint()
{
    SetWindowPos(Hwnd(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    // UpdateWindow alone would paint the window but not its frame and label.
    RedrawWindow(Hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    GdiFlush();
    // Some display drivers (Wine's among them) pass painted bits to the screen only when
    // the thread next waits. A wait of no length for nothing does that and, unlike a
    // message loop, handles no message.
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLINPUT);
}

void frmSplashScreen::Hide()
{
    ShowWindow(Hwnd(), SW_HIDE);
    if (m_showsCount) {
        m_showsCount = false;
        SetLabel(m_message);
    }
}

void frmSplashScreen::ShowCount(uint64_t done, uint64_t total)
{
    if (!IsCreated())
        return;
    m_showsCount = true;
    SetLabel(ProgressText(IDS_RESOLVING_ACCOUNTS, done, total));
    // The window's thread pumps messages during long work, so painting follows by itself.
    InvalidateRect(Hwnd(), nullptr, TRUE);
}

// The text, and the font that fits it to the label's designed width; the frame shares it.
void frmSplashScreen::SetLabel(const std::wstring& text)
{
    RECT label = {};
    GetClientRect(m_label, &label);
    UniqueHFont font = FittingFont(text, label.right);
    SetWindowTextW(m_label, text.c_str());
    if (font) {
        SendMessageW(m_frame, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
        SendMessageW(m_label, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
        m_font = std::move(font);  // the controls no longer use the old one
    }
}

LRESULT frmSplashScreen::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_CTLCOLORSTATIC:
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        SetTextColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNTEXT));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    case WM_CLOSE:
        Hide();  // hidden, never destroyed
        return 0;
    case WM_NCDESTROY:
        m_frame = nullptr;
        m_label = nullptr;
        Unregister();
        return Default(msg, wParam, lParam);
    default:
        return Default(msg, wParam, lParam);
    }
}

}  // namespace vcm
