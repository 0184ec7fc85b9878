// The help window: the help page beside the executable in the platform's web browser
// control, sizable and modeless. Where the platform has no engine that renders the page,
// the window shows the page's text in the browser's place.
#pragma once
#include <windows.h>

#include <string>

#include "platform/Handles.h"
#include "platform/Window.h"

struct IWebBrowser2;

namespace vcm {

class frmHelp final : public Form {
public:
    // Shows the one shared help window, modeless and without an owner. An open one is
    // only activated; a closed one (closing unloads it) is loaded afresh.
    static void ShowShared();
    // The loaded help window, or nullptr when none is loaded.
    static frmHelp* Shared();

    ~frmHelp() override;

    std::wstring_view Name() const override { return L"frmHelp"; }

    // Sets the window caption (string 112).
    void frmHelp_Auto_Init();

    // The page the window shows: "file://" + application folder + "\" + base name + ".htm".
    const std::wstring& PageUrl() const noexcept { return m_pageUrl; }
    // The host window of the browser control; nullptr when the platform has no control.
    HWND BrowserHost() const noexcept { return m_browserHost; }
    // The read-only text that stands in for the browser; nullptr until it is needed.
    HWND TextView() const noexcept { return m_text; }
    bool ShowsPageAsText() const noexcept { return m_showsText; }
    // Whichever of the two shows the page now.
    HWND PageView() const noexcept { return m_showsText ? m_text : m_browserHost; }
    // The address the browser control reports, empty without a control.
    std::wstring BrowserLocation() const;

    // Esc closes the window, whichever of its controls has the focus.
    bool PreTranslateMessage(MSG& msg) override;

protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnFinalDestroy() override;

private:
    frmHelp();

    void Load();
    void Form_Load();
    void Form_Resize();

    void CreateBrowser();
    void Navigate();
    void CheckBrowserReady();
    void ShowPageAsText();
    void FillTextView(bool rich);
    void ShowBrowser();
    void ReleaseBrowser() noexcept;
    LRESULT TextViewColours(HDC dc);

    std::wstring m_pageUrl;
    std::wstring m_pagePath;
    HWND m_browserHost = nullptr;
    UniqueCom<IWebBrowser2> m_browser;
    HWND m_text = nullptr;
    UniqueHFont m_textFont;
    bool m_showsText = false;
    ULONGLONG m_navigatedAt = 0;
};

}  // namespace vcm
