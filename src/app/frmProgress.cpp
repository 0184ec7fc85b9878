#include "app/frmProgress.h"

#include <commctrl.h>

#include "app/ProgressText.h"
#include "localize/modLocalize.h"
#include "platform/Twips.h"
#include "platform/WinHelpers.h"
#include "resource.h"

namespace vcm {

namespace {
constexpr wchar_t kClassName[] = L"VeltoCredentialsMap.frmProgress";
// A caption without a close box: Stop is the one way to end the work early.
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME;

// Design geometry in twips.
constexpr int kClientWidth = 5040;
constexpr int kClientHeight = 1620;
constexpr int kMargin = 240;
constexpr int kCountTop = 180;
constexpr int kCountHeight = 255;
constexpr int kBarTop = 510;
constexpr int kBarHeight = 300;
constexpr int kStopWidth = 1215;
constexpr int kStopHeight = 405;
constexpr int kStopTop = 1005;
// The bar's range is a 16-bit count on older common controls; large totals are scaled.
constexpr int kBarRange = 10000;
}  // namespace

frmProgress::frmProgress()
{
    AddRoutine(L"frmProgress_Auto_Init", [this] { frmProgress_Auto_Init(); });
}

void frmProgress::Open(HWND owner, LongWorkRunner& runner)
{
    m_runner = &runner;
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);
    Form::Create({.className = kClassName, .style = kStyle, .exStyle = kExStyle, .x = 0, .y = 0, .width = 0,
                  .height = 0, .parent = owner});
    CreateControls();
    Register();
    frmProgress_Auto_Init();

    RECT outer = {0, 0, TwipsToPixels(Hwnd(), kClientWidth), TwipsToPixels(Hwnd(), kClientHeight)};
    AdjustWindowRectEx(&outer, kStyle, FALSE, kExStyle);
    RECT over = {};
    GetWindowRect(owner, &over);
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    SetWindowPos(Hwnd(), HWND_TOP, over.left + (over.right - over.left - width) / 2,
                 over.top + (over.bottom - over.top - height) / 2, width, height, SWP_SHOWWINDOW);
    SetFocus(m_cmdStop);

    runner.AddLiveWindow(Hwnd());
    runner.SetProgressDisplay([this](uint64_t done, uint64_t total) { ShowCount(done, total); });
}

void frmProgress::CreateControls()
{
    const auto px = [this](int twips) { return TwipsToPixels(Hwnd(), twips); };
    const int width = kClientWidth - 2 * kMargin;
    m_count = CreateChild({.className = WC_STATICW,
                           .style = WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX,
                           .bounds = {px(kMargin), px(kCountTop), px(kMargin + width), px(kCountTop + kCountHeight)},
                           .parent = Hwnd(),
                           .id = IDC_COUNT});
    m_bar = CreateChild({.className = PROGRESS_CLASSW,
                         .style = WS_CHILD | WS_VISIBLE,
                         .bounds = {px(kMargin), px(kBarTop), px(kMargin + width), px(kBarTop + kBarHeight)},
                         .parent = Hwnd(),
                         .id = IDC_BAR});
    SendMessageW(m_bar, PBM_SETRANGE32, 0, kBarRange);
    const int stopLeft = kClientWidth - kMargin - kStopWidth;
    m_cmdStop = CreateChild({.className = WC_BUTTONW,
                             .style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                             .bounds = {px(stopLeft), px(kStopTop), px(stopLeft + kStopWidth), px(kStopTop + kStopHeight)},
                             .parent = Hwnd(),
                             .id = IDC_CMDSTOP});
    if (LOGFONTW message = {}; MessageFont(message))
        m_font.reset(CreateFontIndirectW(&message));
    for (HWND control : {m_count, m_cmdStop}) {
        if (m_font)
            SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(m_font.get()), FALSE);
    }
}

void frmProgress::frmProgress_Auto_Init()
{
    SetWindowTextW(Hwnd(), myLoadResString(IDS_PROGRESS_CAPTION).c_str());
    SetWindowTextW(m_cmdStop, myLoadResString(IDS_STOP).c_str());
    ShowCount(m_done, m_total);
}

void frmProgress::ShowCount(uint64_t done, uint64_t total)
{
    m_done = done;
    m_total = total;
    SetWindowTextW(m_count, ProgressText(IDS_PROGRESS_COUNT, done, total).c_str());
    const uint64_t position = total == 0 ? 0 : (done >= total ? kBarRange : done * kBarRange / total);
    SendMessageW(m_bar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void frmProgress::cmdStop_Click()
{
    if (m_runner)
        m_runner->RequestStop();
    // Asked once; the work ends after its current unit.
    EnableWindow(m_cmdStop, FALSE);
}

bool frmProgress::PreTranslateMessage(MSG& msg)
{
    if (msg.message == WM_KEYDOWN && (msg.wParam == VK_ESCAPE || msg.wParam == VK_RETURN)) {
        if (IsWindowEnabled(m_cmdStop))
            cmdStop_Click();
        return true;
    }
    return false;
}

LRESULT frmProgress::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_CMDSTOP)
            cmdStop_Click();
        return 0;
    case WM_CLOSE:
        return 0;  // only the end of the work closes it
    case WM_NCDESTROY:
        m_count = m_bar = m_cmdStop = nullptr;
        Unregister();
        return Default(msg, wParam, lParam);
    default:
        return Default(msg, wParam, lParam);
    }
}

}  // namespace vcm
