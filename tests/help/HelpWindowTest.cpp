// The real help window under Xvfb: one shared instance, its resize rule, and the page it
// shows (the browser, or the page's text where no engine renders it, as under Wine here).
#include <gtest/gtest.h>

#include <windows.h>
#include <richedit.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "ScriptedDialogs.h"
#include "help/frmHelp.h"
#include "platform/ProgramInfo.h"
#include "platform/TextConv.h"
#include "platform/Twips.h"
#include "resource.h"

namespace vcm {
namespace {

// Runs the thread's messages until `done` holds or the time is up; false on time-out.
template <class Done>
bool PumpUntil(Done done, DWORD timeoutMs)
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    MSG msg;
    for (;;) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done())
            return true;
        if (GetTickCount64() >= end)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

// Wine has no browser engine here (the tests run with it switched off), so the page must
// show as text; elsewhere a browser that renders it may keep the page.
bool UnderWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

std::wstring WindowText(HWND hwnd)
{
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

int CountThreadWindows(const wchar_t* className)
{
    struct Search {
        const wchar_t* className;
        int count;
    } search = {className, 0};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND hwnd, LPARAM lParam) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lParam);
            wchar_t name[256] = {};
            GetClassNameW(hwnd, name, 256);
            if (std::wstring_view(name) == s->className && IsWindow(hwnd))
                ++s->count;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.count;
}

// The text of the page view with each line break as one '\n', whichever edit control it is.
std::wstring ViewText(HWND view)
{
    return WithUnixLineEnds(WindowText(view));
}

bool IsRichEdit(HWND view)
{
    wchar_t name[64] = {};
    GetClassNameW(view, name, 64);
    return std::wstring_view(name).substr(0, 8) == L"RICHEDIT" || std::wstring_view(name).substr(0, 8) == L"RichEdit";
}

// Whether the character at `position` (in ViewText's terms) is bold. A plain edit control
// has no bold: there every character counts as not bold.
bool IsBold(HWND view, size_t position)
{
    if (!IsRichEdit(view) || position == std::wstring::npos)
        return false;
    CHARRANGE range = {static_cast<LONG>(position), static_cast<LONG>(position + 1)};
    SendMessageW(view, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    CHARFORMAT2W format = {};
    format.cbSize = sizeof format;
    SendMessageW(view, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    return (format.dwMask & CFM_BOLD) && (format.dwEffects & CFE_BOLD);
}

struct TwipRect {
    int left, top, width, height;
};

// A child's rectangle in its parent's client area, in twips.
TwipRect ChildTwips(HWND child)
{
    RECT r = {};
    GetWindowRect(child, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return {PixelsToTwips(child, r.left), PixelsToTwips(child, r.top), PixelsToTwips(child, r.right - r.left),
            PixelsToTwips(child, r.bottom - r.top)};
}

TwipRect OuterTwips(HWND hwnd)
{
    RECT r = {};
    GetWindowRect(hwnd, &r);
    return {0, 0, PixelsToTwips(hwnd, r.right - r.left), PixelsToTwips(hwnd, r.bottom - r.top)};
}

class HelpWindow : public testing::Test {
protected:
    void SetUp() override
    {
        SetAppDialogs(&dialogs);
        m_pagePath = AppFolder() + L"\\" + ExeBaseName() + L".htm";
        DeleteFileW(m_pagePath.c_str());
    }
    void TearDown() override
    {
        if (frmHelp* help = frmHelp::Shared())
            SendMessageW(help->Hwnd(), WM_CLOSE, 0, 0);
        DeleteFileW(m_pagePath.c_str());
        SetAppDialogs(nullptr);
    }

    // Puts a page beside this test program, which is where the window looks for its page.
    void WritePage(const std::string& utf8) const
    {
        HANDLE file = CreateFileW(m_pagePath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
        CloseHandle(file);
    }

    static frmHelp& OpenHelp()
    {
        frmHelp::ShowShared();
        frmHelp* help = frmHelp::Shared();
        EXPECT_NE(help, nullptr);
        return *help;
    }

    // Both views, when both exist, keep the same rectangle: whichever shows must fill it.
    static void ExpectPageFills(const frmHelp& help, const char* what)
    {
        SCOPED_TRACE(what);
        const int pixel = PixelsToTwips(help.Hwnd(), 1);
        const TwipRect outer = OuterTwips(help.Hwnd());
        for (HWND view : {help.BrowserHost(), help.TextView()}) {
            if (!view)
                continue;
            const TwipRect page = ChildTwips(view);
            EXPECT_NEAR(page.left, 100, pixel);
            EXPECT_NEAR(page.top, 1, pixel);
            EXPECT_NEAR(page.width, outer.width - 200, pixel);
            EXPECT_NEAR(page.height, outer.height - 400, pixel);
        }
        EXPECT_NE(help.PageView(), nullptr);
    }

    test::ScriptedDialogs dialogs;
    std::wstring m_pagePath;
};

TEST_F(HelpWindow, HelpTwiceOpensOneWindowAndClosingUnloadsIt)
{
    frmHelp& help = OpenHelp();
    const HWND first = help.Hwnd();
    frmHelp::ShowShared();
    EXPECT_EQ(frmHelp::Shared(), &help);
    EXPECT_EQ(CountThreadWindows(L"VeltoCredentialsMap.frmHelp"), 1);
    EXPECT_TRUE(IsWindowVisible(first));
    EXPECT_EQ(GetWindow(first, GW_OWNER), nullptr);
    EXPECT_EQ(WindowText(first), L"Brenvik Velto Credentials Map");
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(first, WM_GETICON, ICON_BIG, 0)),
              LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP)));
    const auto& forms = Form::LoadedForms();
    EXPECT_NE(std::find(forms.begin(), forms.end(), &help), forms.end());

    // A minimized help window comes back when Help is chosen again.
    ShowWindow(first, SW_MINIMIZE);
    frmHelp::ShowShared();
    EXPECT_FALSE(IsIconic(first));

    SendMessageW(first, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(frmHelp::Shared(), nullptr);
    EXPECT_EQ(CountThreadWindows(L"VeltoCredentialsMap.frmHelp"), 0);
    for (Form* form : Form::LoadedForms())
        EXPECT_NE(form->Name(), L"frmHelp");

    frmHelp& again = OpenHelp();
    EXPECT_TRUE(IsWindowVisible(again.Hwnd()));
    EXPECT_EQ(WindowText(again.Hwnd()), L"Brenvik Velto Credentials Map");
    EXPECT_EQ(CountThreadWindows(L"VeltoCredentialsMap.frmHelp"), 1);
}

TEST_F(HelpWindow, KeepsItsSmallestSizeAndThePageFillsIt)
{
    frmHelp& help = OpenHelp();
    const HWND hwnd = help.Hwnd();
    const int pixel = PixelsToTwips(hwnd, 1);

    RECT client = {};
    GetClientRect(hwnd, &client);
    EXPECT_NEAR(PixelsToTwips(hwnd, client.right), 9405, pixel);
    EXPECT_NEAR(PixelsToTwips(hwnd, client.bottom), 8040, pixel);
    ExpectPageFills(help, "as opened");

    struct Row {
        const char* what;
        int width, height;                  // asked for, twips
        int expectedWidth, expectedHeight;  // outer size afterwards
    };
    const Row rows[] = {
        {"too narrow and too low", 1500, 1000, 2500, 2400},
        {"too narrow only", 1800, 5000, 2500, 5000},
        {"too low only", 6000, 1200, 6000, 2400},
        {"exactly the smallest size", 2500, 2400, 2500, 2400},
        {"large enough", 7000, 6000, 7000, 6000},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        SetWindowPos(hwnd, nullptr, 0, 0, TwipsToPixels(hwnd, row.width), TwipsToPixels(hwnd, row.height),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        const TwipRect outer = OuterTwips(hwnd);
        EXPECT_NEAR(outer.width, row.expectedWidth, pixel);
        EXPECT_NEAR(outer.height, row.expectedHeight, pixel);
        ExpectPageFills(help, row.what);
        if (row.expectedWidth == 2500 && row.expectedHeight == 2400) {
            const TwipRect page = ChildTwips(help.PageView());
            EXPECT_NEAR(page.width, 2300, 2 * pixel);
            EXPECT_NEAR(page.height, 2000, 2 * pixel);
        }
    }
}

TEST_F(HelpWindow, MinimizeKeepsTheLayoutAndRestoreOrMaximizeLaysItOut)
{
    frmHelp& help = OpenHelp();
    const HWND hwnd = help.Hwnd();
    SetWindowPos(hwnd, nullptr, 0, 0, TwipsToPixels(hwnd, 6000), TwipsToPixels(hwnd, 5000),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    const TwipRect before = ChildTwips(help.PageView());

    ShowWindow(hwnd, SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(hwnd));
    const TwipRect minimized = ChildTwips(help.PageView());
    EXPECT_EQ(minimized.width, before.width);
    EXPECT_EQ(minimized.height, before.height);

    ShowWindow(hwnd, SW_RESTORE);
    ExpectPageFills(help, "restored");
    EXPECT_EQ(ChildTwips(help.PageView()).width, before.width);

    ShowWindow(hwnd, SW_MAXIMIZE);
    ASSERT_TRUE(IsZoomed(hwnd));
    ExpectPageFills(help, "maximized");
    EXPECT_GT(ChildTwips(help.PageView()).width, before.width);
}

TEST_F(HelpWindow, ShowsThePageOfItsOwnExecutableName)
{
    struct Row {
        const char* what;
        std::optional<std::string> page;  // nothing: no page beside the program
        std::vector<std::wstring> shown;
        std::vector<std::wstring> notShown;
    };
    const std::wstring pageName = ExeBaseName() + L".htm";
    const Row rows[] = {
        {"a page beside the program",
         "<html><head><title>Not shown</title></head><body><h1>Getting started</h1>"
         "<p>Fish &amp; chips, caf\xC3\xA9.</p><ul><li>first item</li><li>second item</li></ul></body></html>",
         {L"Getting started\n\nFish & chips, caf\u00E9.", L"\u2022 first item\n\u2022 second item"},
         {L"<", L"Not shown", L"&amp;"}},
        {"no page", std::nullopt, {pageName, L"not found"}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.page)
            WritePage(*row.page);
        else
            DeleteFileW(m_pagePath.c_str());

        frmHelp& help = OpenHelp();
        EXPECT_EQ(help.PageUrl(), L"file://" + AppFolder() + L"\\" + pageName);
        if (help.BrowserHost()) {
            EXPECT_TRUE(EqualsNoCase(help.BrowserLocation(), help.PageUrl())) << ToUtf8(help.BrowserLocation());
        }

        // Navigation is asynchronous: wait for the browser to be ready or for the stand-in.
        const bool asText = PumpUntil([&] { return help.ShowsPageAsText(); }, 5000);
        if (UnderWine()) {
            ASSERT_TRUE(asText) << "with no browser engine the page must show as text";
        }
        if (asText) {
            const HWND text = help.TextView();
            ASSERT_NE(text, nullptr);
            EXPECT_TRUE(IsWindowVisible(text));
            EXPECT_TRUE(GetWindowLongW(text, GWL_STYLE) & ES_READONLY);
            if (help.BrowserHost()) {
                EXPECT_FALSE(IsWindowVisible(help.BrowserHost()));
            }
            ExpectPageFills(help, "text stand-in");
            const std::wstring shown = ViewText(text);
            for (const std::wstring& part : row.shown)
                EXPECT_NE(shown.find(part), std::wstring::npos) << ToUtf8(part) << "\nin: " << ToUtf8(shown);
            for (const std::wstring& part : row.notShown)
                EXPECT_EQ(shown.find(part), std::wstring::npos) << ToUtf8(part);
            if (row.page) {
                EXPECT_TRUE(IsBold(text, shown.find(L"Getting")));
                EXPECT_FALSE(IsBold(text, shown.find(L"Fish")));
            }
        } else {
            // A platform whose browser renders the page keeps showing the browser.
            ASSERT_NE(help.BrowserHost(), nullptr);
            EXPECT_TRUE(IsWindowVisible(help.BrowserHost()));
        }
        std::printf("[ shown as ] %s, browser control %s\n", help.ShowsPageAsText() ? "text" : "browser",
                    help.BrowserHost() ? "created" : "missing");
        SendMessageW(help.Hwnd(), WM_CLOSE, 0, 0);
    }
    EXPECT_TRUE(dialogs.messages.empty());
}

}  // namespace
}  // namespace vcm
