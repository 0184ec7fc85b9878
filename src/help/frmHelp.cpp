#include "help/frmHelp.h"

#include <exdisp.h>
#include <oleauto.h>
#include <richedit.h>

#include <cstdlib>
#include <initializer_list>
#include <memory>

#include "help/HelpPage.h"
#include "localize/modLocalize.h"
#include "platform/Error.h"
#include "platform/ProgramInfo.h"
#include "platform/Twips.h"
#include "platform/WinHelpers.h"
#include "resource.h"

namespace vcm {

namespace {

constexpr wchar_t kClassName[] = L"VeltoCredentialsMap.frmHelp";

// Design client size and the resize rule's constants, in twips.
constexpr int kClientWidthTwips = 9405;
constexpr int kClientHeightTwips = 8040;
constexpr int kMinWidthTwips = 2500;
constexpr int kMinHeightTwips = 2400;
constexpr int kPageLeftTwips = 100;
constexpr int kPageTopTwips = 1;
constexpr int kWidthMinusPageTwips = 200;
constexpr int kHeightMinusPageTwips = 400;

constexpr int kBrowserId = 100;
constexpr int kTextId = 101;

// Navigation is asynchronous. The window looks at the browser's ready state a few times
// a second; a local page that is not even interactive after kRenderWaitMs has no engine
// to render it (Wine without its HTML engine stays "loading" for ever), so the page's
// text takes the browser's place. A browser that becomes ready later still wins, until
// the window gives up watching after kWatchMs.
constexpr UINT_PTR kReadyTimer = 1;
constexpr UINT kReadyPollMs = 100;
constexpr ULONGLONG kRenderWaitMs = 1500;
constexpr ULONGLONG kWatchMs = 30000;

// The text stand-in: tab stops for the page's tables, and the page's heading colour.
constexpr int kTabStopTwips = 1800;
constexpr int kTabStopDialogUnits = 72;
constexpr COLORREF kHeadingColour = RGB(0, 70, 127);

// The richest edit control the platform has; with it the headings can be set off.
const wchar_t* RichEditClass()
{
    static const wchar_t* const name = []() -> const wchar_t* {
        if (LoadLibraryW(L"Msftedit.dll"))
            return MSFTEDIT_CLASS;
        if (LoadLibraryW(L"Riched20.dll"))
            return RICHEDIT_CLASSW;
        return nullptr;
    }();
    return name;
}

// A rich edit control keeps a line break as one character where the text has CR LF.
LONG RichEditPosition(const std::wstring& text, size_t offset)
{
    size_t breaks = 0;
    for (size_t i = 1; i < offset && i < text.size(); ++i) {
        if (text[i - 1] == L'\r' && text[i] == L'\n')
            ++breaks;
    }
    return static_cast<LONG>(offset - breaks);
}

// atl.dll hosts ActiveX controls in a window of class "AtlAxWin"; it ships with every
// Windows since 2000 (and with Wine), so it is loaded at run time, not linked.
struct AtlHost {
    using InitFn = BOOL(WINAPI*)();
    using GetControlFn = HRESULT(WINAPI*)(HWND, IUnknown**);
    GetControlFn getControl = nullptr;
    bool ready = false;
};

const AtlHost& Atl()
{
    static const AtlHost host = [] {
        AtlHost atl;
        // Kept loaded for the rest of the run: the host windows' class lives in it.
        HMODULE module = LoadLibraryW(L"atl.dll");
        if (!module)
            return atl;
        const auto init = reinterpret_cast<AtlHost::InitFn>(GetProcAddress(module, "AtlAxWinInit"));
        atl.getControl = reinterpret_cast<AtlHost::GetControlFn>(GetProcAddress(module, "AtlAxGetControl"));
        atl.ready = init && atl.getControl && init();
        return atl;
    }();
    return host;
}

std::unique_ptr<frmHelp>& SharedSlot()
{
    static std::unique_ptr<frmHelp> slot;
    return slot;
}

}  // namespace

frmHelp::frmHelp()
{
    AddRoutine(L"frmHelp_Auto_Init", [this] { frmHelp_Auto_Init(); });
}

frmHelp::~frmHelp() { ReleaseBrowser(); }

void frmHelp::ShowShared()
{
    std::unique_ptr<frmHelp>& slot = SharedSlot();
    if (slot && slot->Hwnd()) {
        const HWND hwnd = slot->Hwnd();
        ShowWindow(hwnd, IsIconic(hwnd) ? SW_RESTORE : SW_SHOW);
        SetForegroundWindow(hwnd);
        return;
    }
    // A help window that was closed has no window any more; a new one takes its place.
    auto help = std::unique_ptr<frmHelp>(new frmHelp());
    help->Load();
    slot = std::move(help);
}

frmHelp* frmHelp::Shared()
{
    std::unique_ptr<frmHelp>& slot = SharedSlot();
    return slot && slot->Hwnd() ? slot.get() : nullptr;
}

void frmHelp::Load()
{
    const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP));
    Create({.className = kClassName, .style = style, .icon = icon});
    // The class of another window may have been registered first with another icon.
    SendMessageW(Hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessageW(Hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    Register();

    RECT frame = {0, 0, TwipsToPixels(Hwnd(), kClientWidthTwips), TwipsToPixels(Hwnd(), kClientHeightTwips)};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    SetWindowPos(Hwnd(), nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    CreateBrowser();
    Form_Load();
    // Not every platform sends a size message when a window that was sized while hidden
    // is first shown; the page is laid out either way.
    Form_Resize();
    ShowWindow(Hwnd(), SW_SHOWNORMAL);
    UpdateWindow(Hwnd());
}

void frmHelp::frmHelp_Auto_Init()
{
    if (!SetWindowTextW(Hwnd(), myLoadResString(IDS_APP_CAPTION).c_str()))
        ThrowLastError(L"SetWindowTextW");
}

void frmHelp::Form_Load()
{
    frmHelp_Auto_Init();
    const std::wstring folder = AppFolder();
    const std::wstring baseName = ExeBaseName();
    m_pageUrl = HelpPageUrl(folder, baseName);
    m_pagePath = HelpPagePath(folder, baseName);
    Navigate();
}

void frmHelp::Form_Resize()
{
    const HWND hwnd = Hwnd();
    if (IsIconic(hwnd))
        return;
    RECT outer = {};
    GetWindowRect(hwnd, &outer);
    // Growing the window raises this handler again from inside SetWindowPos; both runs end
    // with the same layout.
    if (PixelsToTwips(hwnd, outer.right - outer.left) < kMinWidthTwips) {
        SetWindowPos(hwnd, nullptr, 0, 0, TwipsToPixels(hwnd, kMinWidthTwips), outer.bottom - outer.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        GetWindowRect(hwnd, &outer);
    }
    if (PixelsToTwips(hwnd, outer.bottom - outer.top) < kMinHeightTwips) {
        SetWindowPos(hwnd, nullptr, 0, 0, outer.right - outer.left, TwipsToPixels(hwnd, kMinHeightTwips),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        GetWindowRect(hwnd, &outer);
    }
    const int width = PixelsToTwips(hwnd, outer.right - outer.left);
    const int height = PixelsToTwips(hwnd, outer.bottom - outer.top);
    const int left = TwipsToPixels(hwnd, kPageLeftTwips);
    const int top = TwipsToPixels(hwnd, kPageTopTwips);
    const int pageWidth = TwipsToPixels(hwnd, width - kWidthMinusPageTwips);
    const int pageHeight = TwipsToPixels(hwnd, height - kHeightMinusPageTwips);
    // The text stand-in keeps the browser's rectangle, so either can show at any moment.
    for (HWND view : {m_browserHost, m_text}) {
        if (view)
            MoveWindow(view, left, top, pageWidth, pageHeight, TRUE);
    }
}

void frmHelp::CreateBrowser()
{
    const AtlHost& atl = Atl();
    if (!atl.ready)
        return;
    // A ProgID makes the host create the control without navigating anywhere yet.
    m_browserHost = TryCreateChild({.className = L"AtlAxWin",
                                    .style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS,
                                    .text = L"Shell.Explorer.2",
                                    .parent = Hwnd(),
                                    .id = kBrowserId});
    if (!m_browserHost)
        return;
    UniqueCom<IUnknown> control;
    if (SUCCEEDED(atl.getControl(m_browserHost, control.put())) && control)
        control.get()->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(m_browser.put()));
    if (!m_browser) {
        DestroyWindow(m_browserHost);
        m_browserHost = nullptr;
    }
}

void frmHelp::Navigate()
{
    if (!m_browser) {
        ShowPageAsText();
        return;
    }
    UniqueBstr url(SysAllocString(m_pageUrl.c_str()));
    VARIANT none;
    VariantInit(&none);
    const HRESULT hr = m_browser.get()->Navigate(url.get(), &none, &none, &none, &none);
    if (FAILED(hr)) {
        ShowPageAsText();
        return;
    }
    m_navigatedAt = GetTickCount64();
    SetTimer(Hwnd(), kReadyTimer, kReadyPollMs, nullptr);
}

void frmHelp::CheckBrowserReady()
{
    READYSTATE state = READYSTATE_UNINITIALIZED;
    const bool ready =
        m_browser && SUCCEEDED(m_browser.get()->get_ReadyState(&state)) && state >= READYSTATE_INTERACTIVE;
    const ULONGLONG waited = GetTickCount64() - m_navigatedAt;
    if (ready) {
        KillTimer(Hwnd(), kReadyTimer);
        if (m_showsText)
            ShowBrowser();
        return;
    }
    if (!m_showsText && waited >= kRenderWaitMs)
        ShowPageAsText();
    if (waited >= kWatchMs)
        KillTimer(Hwnd(), kReadyTimer);
}

void frmHelp::ShowPageAsText()
{
    if (!m_text) {
        const wchar_t* richClass = RichEditClass();
        ChildArgs view{.className = richClass ? richClass : L"EDIT",
                       .style = WS_CHILD | WS_VSCROLL | WS_TABSTOP | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL,
                       .exStyle = WS_EX_CLIENTEDGE,
                       .parent = Hwnd(),
                       .id = kTextId};
        m_text = TryCreateChild(view);
        if (!m_text && richClass) {
            richClass = nullptr;
            view.className = L"EDIT";
            m_text = TryCreateChild(view);
        }
        if (!m_text)
            return;
        FillTextView(richClass != nullptr);
    }
    m_showsText = true;
    Form_Resize();
    ShowWindow(m_text, SW_SHOW);
    if (m_browserHost)
        ShowWindow(m_browserHost, SW_HIDE);
}

void frmHelp::FillTextView(bool rich)
{
    LOGFONTW base = {};
    if (!MessageFont(base))
        StockGuiFont(base);
    m_textFont.reset(CreateFontIndirectW(&base));
    if (m_textFont)
        SendMessageW(m_text, WM_SETFONT, reinterpret_cast<WPARAM>(m_textFont.get()), FALSE);
    const int margin = TwipsToPixels(Hwnd(), 120);
    SendMessageW(m_text, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(margin, margin));

    const PageText page = HelpPageContent(m_pagePath);
    if (!rich) {
        // An edit control takes 30000 characters by default; a long page must not be cut.
        SendMessageW(m_text, EM_SETLIMITTEXT, 0, 0);
        const int tabStop = kTabStopDialogUnits;
        SendMessageW(m_text, EM_SETTABSTOPS, 1, reinterpret_cast<LPARAM>(&tabStop));
        SetWindowTextW(m_text, page.text.c_str());
        return;
    }

    SendMessageW(m_text, EM_EXLIMITTEXT, 0, 0x7FFFFFFE);
    SendMessageW(m_text, EM_SETBKGNDCOLOR, 0, static_cast<LPARAM>(GetSysColor(COLOR_WINDOW)));
    SetWindowTextW(m_text, page.text.c_str());

    // Table cells are separated by tabs; wide stops keep a two-column table in columns.
    PARAFORMAT2 paragraph = {};
    paragraph.cbSize = sizeof paragraph;
    paragraph.dwMask = PFM_TABSTOPS;
    paragraph.cTabCount = MAX_TAB_STOPS;
    for (int i = 0; i < MAX_TAB_STOPS; ++i)
        paragraph.rgxTabs[i] = kTabStopTwips * (i + 1);
    CHARRANGE all = {0, -1};
    SendMessageW(m_text, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&all));
    SendMessageW(m_text, EM_SETPARAFORMAT, 0, reinterpret_cast<LPARAM>(&paragraph));

    // Headings in bold and larger, as a browser would set them off.
    const int dpi = static_cast<int>(WindowDpi(Hwnd()));
    const int basePointsTimes20 = base.lfHeight ? MulDiv(std::abs(base.lfHeight), 72 * 20, dpi) : 9 * 20;
    for (const TextHeading& heading : page.headings) {
        CHARFORMAT2W format = {};
        format.cbSize = sizeof format;
        format.dwMask = CFM_BOLD | CFM_SIZE | CFM_COLOR;
        format.dwEffects = CFE_BOLD;
        format.yHeight = heading.level == 1 ? basePointsTimes20 * 8 / 5
                                            : (heading.level == 2 ? basePointsTimes20 * 5 / 4 : basePointsTimes20);
        format.crTextColor = kHeadingColour;
        CHARRANGE range = {RichEditPosition(page.text, heading.start),
                           RichEditPosition(page.text, heading.start + heading.length)};
        SendMessageW(m_text, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
        SendMessageW(m_text, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    }
    CHARRANGE start = {0, 0};
    SendMessageW(m_text, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&start));
}

void frmHelp::ShowBrowser()
{
    m_showsText = false;
    if (m_browserHost)
        ShowWindow(m_browserHost, SW_SHOW);
    if (m_text)
        ShowWindow(m_text, SW_HIDE);
}

std::wstring frmHelp::BrowserLocation() const
{
    if (!m_browser)
        return {};
    UniqueBstr location;
    std::wstring text;
    if (SUCCEEDED(m_browser.get()->get_LocationURL(location.put())) && location)
        text.assign(location.get(), SysStringLen(location.get()));
    return text;
}

void frmHelp::ReleaseBrowser() noexcept
{
    m_browser.reset();
}

LRESULT frmHelp::TextViewColours(HDC dc)
{
    // A read-only edit paints like a disabled one by default; the page reads better on the
    // window colour, as the browser would show it.
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
}

bool frmHelp::PreTranslateMessage(MSG& msg)
{
    if (msg.message != WM_KEYDOWN || msg.wParam != VK_ESCAPE)
        return false;
    // The same as the close box: the window is unloaded.
    PostMessageW(Hwnd(), WM_CLOSE, 0, 0);
    return true;
}

LRESULT frmHelp::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_SIZE:
        Form_Resize();
        return 0;
    case WM_TIMER:
        if (wParam == kReadyTimer) {
            CheckBrowserReady();
            return 0;
        }
        break;
    case WM_CTLCOLORSTATIC:
        if (m_text && reinterpret_cast<HWND>(lParam) == m_text)
            return TextViewColours(reinterpret_cast<HDC>(wParam));
        break;
    case WM_SETFOCUS:
        if (HWND view = PageView())
            SetFocus(view);
        return 0;
    case WM_DESTROY:
        // The control goes with its host window right after this; our reference goes first.
        KillTimer(Hwnd(), kReadyTimer);
        ReleaseBrowser();
        break;
    default:
        break;
    }
    return Default(msg, wParam, lParam);
}

void frmHelp::OnFinalDestroy()
{
    // Closing the window unloads it: it leaves the loaded forms, and the next ShowShared
    // builds a new one.
    Unregister();
    m_browserHost = nullptr;
    m_text = nullptr;
}

}  // namespace vcm
