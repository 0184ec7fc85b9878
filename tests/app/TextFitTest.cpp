// Every catalogue text of every shipped language in the control that shows it: the real
// windows, switched through the About window's language menu, measured in each control's
// own font against its client rectangle.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "LanguageState.h"
#include "ScriptedDialogs.h"
#include "WindowTesting.h"
#include "app/frmMain.h"
#include "app/ProgressText.h"
#include "app/frmRemoveDeleted.h"
#include "app/frmRestore.h"
#include "app/LongWork.h"
#include "app/frmProgress.h"
#include "app/frmSplashScreen.h"
#include "localize/frmAbout.h"
#include "localize/modLocalize.h"
#include "platform/Handles.h"
#include "platform/ProgramInfo.h"
#include "platform/TextConv.h"
#include "platform/WinHelpers.h"
#include "resource.h"

namespace vcm {
namespace {

std::wstring ClassOf(HWND hwnd)
{
    wchar_t name[128] = {};
    GetClassNameW(hwnd, name, 128);
    return name;
}

std::wstring TextOf(HWND hwnd)
{
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

HFONT FontOf(HWND hwnd)
{
    if (auto font = reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0)))
        return font;
    return static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
}

// The text's extent in a font; with a width, word-wrapped at that width as a label wraps.
SIZE Extent(HFONT font, const std::wstring& text, UINT format, int wrapWidth = 0)
{
    WindowDC screen(nullptr);
    SelectedObject selected(screen.get(), font);
    RECT r = {0, 0, wrapWidth, 0};
    DrawTextW(screen.get(), text.c_str(), static_cast<int>(text.size()), &r, format | DT_CALCRECT | DT_EXPANDTABS);
    return {r.right - r.left, r.bottom - r.top};
}

// Collects what does not fit in one window and its controls.
class FitCheck {
public:
    explicit FitCheck(std::string language) : m_language(std::move(language)) {}

    void Window(HWND top, const char* name)
    {
        m_window = name;
        Caption(top);
        MenuBar(top);
        std::vector<HWND> children;
        EnumChildWindows(top, &Collect, reinterpret_cast<LPARAM>(&children));
        for (HWND child : children) {
            const std::wstring cls = ClassOf(child);
            if (EqualsNoCase(cls, L"Button"))
                Button(child);
            else if (EqualsNoCase(cls, L"Static"))
                Label(child);
            else if (cls == WC_HEADERW)
                Header(child);
        }
    }

    int Checked() const { return m_checked; }
    const std::string& Misfits() const { return m_misfits; }

private:
    static BOOL CALLBACK Collect(HWND child, LPARAM lParam)
    {
        reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(child);
        return TRUE;
    }

    void Report(const std::wstring& text, SIZE need, SIZE have)
    {
        ++m_checked;
        if (need.cx <= have.cx && need.cy <= have.cy)
            return;
        std::ostringstream line;
        line << "  " << m_language << ", " << m_window << ": \"" << ToUtf8(text) << "\" needs " << need.cx << "x"
             << need.cy << " px, has " << have.cx << "x" << have.cy << "\n";
        m_misfits += line.str();
    }

    // The title bar: the caption font, between the icon and the caption buttons.
    void Caption(HWND top)
    {
        const LONG style = GetWindowLongW(top, GWL_STYLE);
        const std::wstring text = TextOf(top);
        if ((style & WS_CAPTION) != WS_CAPTION || text.empty())
            return;
        NONCLIENTMETRICSW metrics = {};
        metrics.cbSize = sizeof metrics;
        ASSERT_TRUE(SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0));
        UniqueHFont font(CreateFontIndirectW(&metrics.lfCaptionFont));
        RECT outer = {};
        GetWindowRect(top, &outer);
        int buttons = (style & WS_SYSMENU) ? 1 : 0;
        if (style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX))
            buttons += 2;
        const int icon = (GetWindowLongW(top, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME) ? 0 : GetSystemMetrics(SM_CXSMICON);
        const int room = outer.right - outer.left - 2 * GetSystemMetrics(SM_CXFRAME) -
                         buttons * GetSystemMetrics(SM_CXSIZE) - icon - 8;
        const SIZE need = Extent(font.get(), text, DT_SINGLELINE | DT_NOPREFIX);
        Report(text, {need.cx, 0}, {room, 0});
    }

    // A menu bar that no longer fits its window breaks into a second line.
    void MenuBar(HWND top)
    {
        if (!GetMenu(top))
            return;
        MENUBARINFO bar = {};
        bar.cbSize = sizeof bar;
        ASSERT_TRUE(GetMenuBarInfo(top, OBJID_MENU, 0, &bar));
        std::wstring captions;
        for (int i = 0; i < GetMenuItemCount(GetMenu(top)); ++i) {
            wchar_t text[128] = {};
            GetMenuStringW(GetMenu(top), static_cast<UINT>(i), text, 128, MF_BYPOSITION);
            captions += (i ? L" " : L"") + std::wstring(text);
        }
        Report(L"menu bar " + captions, {0, bar.rcBar.bottom - bar.rcBar.top}, {0, GetSystemMetrics(SM_CYMENU) + 1});
    }

    // A push button: the caption on one line inside the button's frame and focus rectangle.
    void Button(HWND button)
    {
        const std::wstring text = TextOf(button);
        if (text.empty())
            return;
        RECT client = {};
        GetClientRect(button, &client);
        const SIZE need = Extent(FontOf(button), text, DT_SINGLELINE);
        Report(text, {need.cx + 8, need.cy + 4}, {client.right, client.bottom});
    }

    // A label wraps at its width; what it wraps to must stay within its height, and no
    // single word may be wider than the label.
    void Label(HWND label)
    {
        const LONG style = GetWindowLongW(label, GWL_STYLE);
        const LONG type = style & SS_TYPEMASK;
        const std::wstring text = TextOf(label);
        if (text.empty() || (type != SS_LEFT && type != SS_CENTER && type != SS_RIGHT && type != SS_LEFTNOWORDWRAP &&
                             type != SS_SIMPLE))
            return;
        RECT client = {};
        GetClientRect(label, &client);
        const UINT prefix = (style & SS_NOPREFIX) ? DT_NOPREFIX : 0;
        const bool wraps = type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT;
        const SIZE need = wraps ? Extent(FontOf(label), text, DT_WORDBREAK | prefix, client.right)
                                : Extent(FontOf(label), text, DT_SINGLELINE | prefix);
        Report(text, need, {client.right, client.bottom});
    }

    // Shown column headers: the text between the header's margins.
    void Header(HWND header)
    {
        const int margin = 3 * GetSystemMetrics(SM_CXEDGE);
        for (int i = 0; i < Header_GetItemCount(header); ++i) {
            wchar_t text[256] = {};
            HDITEMW item = {};
            item.mask = HDI_TEXT | HDI_WIDTH;
            item.pszText = text;
            item.cchTextMax = 256;
            if (!Header_GetItem(header, i, &item) || item.cxy == 0 || !*text)
                continue;  // a hidden column shows nothing
            const SIZE need = Extent(FontOf(header), text, DT_SINGLELINE | DT_NOPREFIX);
            Report(text, {need.cx + 2 * margin, 0}, {item.cxy, 0});
        }
    }

    std::string m_language;
    const char* m_window = "";
    std::string m_misfits;
    int m_checked = 0;
};

class TextFitTest : public testing::Test {
protected:
    void SetUp() override
    {
        test::ResetLanguageState();
        SetAppDialogs(&dialogs);
        // Every library the build ships, beside a program of the shipped name.
        folder = AppFolder() + L"\\fit_languages";
        CreateDirectoryW(folder.c_str(), nullptr);
        const std::wstring built = AppFolder() + L"\\..\\";
        libraries = ListFileNames(built, L"VeltoCredentialsMap_*.dll");
        ASSERT_FALSE(libraries.empty()) << "no language library was built";
        for (const std::wstring& name : libraries)
            ASSERT_TRUE(CopyFileW((built + name).c_str(), (folder + L"\\" + name).c_str(), FALSE));
        frmAbout::SetLanguageFolder(folder, L"VeltoCredentialsMap");
    }

    void TearDown() override
    {
        main.reset();
        frmAbout::Unload();
        frmAbout::SetLanguageFolder({}, {});
        SetAppDialogs(nullptr);
        test::ResetLanguageState();
        for (const std::wstring& name : libraries)
            DeleteFileW((folder + L"\\" + name).c_str());
        RemoveDirectoryW(folder.c_str());
        test::Pump();
    }

    test::ScriptedDialogs dialogs;
    std::wstring folder;
    std::vector<std::wstring> libraries;
    std::unique_ptr<frmMain> main;
};

}  // namespace

TEST_F(TextFitTest, EveryShippedLanguageFitsEveryControl)
{
    main = std::make_unique<frmMain>(dialogs);
    main->Create();
    main->frmMain_Auto_Init();
    main->Show(SW_SHOWNORMAL);
    main->mnuShowAccountDetails_Click();  // its two column headers are measured too
    frmAbout& about = frmAbout::Shared();

    // The built-in texts first, then each library the language menu lists.
    ASSERT_GE(about.LanguageCount(), 2) << "German and French are shipped";
    std::string misfits;
    for (int item = -1; item < about.LanguageCount(); ++item) {
        const std::string language = item < 0 ? "built in" : ToUtf8(about.LanguageCaption(item));
        SCOPED_TRACE(language);
        if (item >= 0)
            about.mnuLanguageList_Click(item);
        test::Pump();
        // The wait window takes its message from the catalogue when it is first made.
        frmSplashScreen splash;
        splash.Create(myLoadResString(IDS_GATHERING));

        frmRestore restore({}, dialogs);
        restore.Load(main->Hwnd());
        // The preview with the largest count it shows.
        frmRemoveDeleted preview(main->Grid(), std::vector<int>(0), dialogs);
        preview.Load(main->Hwnd());
        SetWindowTextW(GetDlgItem(preview.Hwnd(), frmRemoveDeleted::IDC_COUNT),
                       ProgressText(IDS_DELETED_COUNT, 999999, 999999).c_str());

        FitCheck check(language);
        check.Window(main->Hwnd(), "main window");
        check.Window(restore.Hwnd(), "restore window");
        check.Window(preview.Hwnd(), "remove deleted accounts window");
        check.Window(about.Hwnd(), "About window");
        check.Window(splash.Hwnd(), "wait window");
        // The largest counts a load or a bulk removal shows.
        splash.ShowCount(999999, 999999);
        check.Window(splash.Hwnd(), "wait window counting");
        LongWorkRunner runner(main->Hwnd());
        frmProgress progress;
        progress.Open(main->Hwnd(), runner);
        progress.ShowCount(999999, 999999);
        check.Window(progress.Hwnd(), "progress window");
        // Three captions, the menu bar, Exit, six headers, eight labels, OK, the wait message
        // and its count, the progress count and Stop; the restore window's caption, two
        // buttons and four headers.
        EXPECT_GE(check.Checked(), 30) << "fewer texts measured than the windows show";
        misfits += check.Misfits();
    }
    EXPECT_TRUE(misfits.empty()) << "texts that do not fit their controls:\n" << misfits;
}

}  // namespace vcm
