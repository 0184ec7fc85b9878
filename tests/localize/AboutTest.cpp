// The real About window under Xvfb: its language menu built from real language libraries
// in a folder, the language switch across every loaded window (a stand-in main window, the
// About window itself and the help window), and its modal showing.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ScriptedDialogs.h"
#include "LanguageState.h"
#include "TempFolder.h"
#include "help/frmHelp.h"
#include "localize/frmAbout.h"
#include "localize/modLocalize.h"
#include "platform/Error.h"
#include "platform/ProgramInfo.h"
#include "resource.h"

namespace vcm {
namespace {

constexpr wchar_t kBase[] = L"VeltoCredentialsMap";

std::wstring WindowText(HWND hwnd)
{
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::wstring MenuText(HMENU menu, int position)
{
    wchar_t text[256] = {};
    GetMenuStringW(menu, static_cast<UINT>(position), text, 256, MF_BYPOSITION);
    return text;
}

// What the platform calls a language, asked directly.
std::wstring PlatformLanguageName(DWORD id)
{
    wchar_t name[256] = {};
    VerLanguageNameW(id, name, 256);
    return name;
}

// The language libraries the build makes lie beside the build's own executable.
std::wstring BuiltLibrary(const wchar_t* name)
{
    const std::wstring relative = AppFolder() + L"\\..\\" + name;
    wchar_t full[MAX_PATH] = {};
    GetFullPathNameW(relative.c_str(), MAX_PATH, full, nullptr);
    return full;
}

using test::ResetLanguageState;
using test::TempFolder;

// The texts one language library gives, with the built-in text where it has none.
class Catalogue {
public:
    explicit Catalogue(const std::wstring& library = {})
        : m_library(library.empty() ? nullptr : LoadLibraryExW(library.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE))
    {
    }
    ~Catalogue()
    {
        if (m_library)
            FreeLibrary(m_library);
    }
    Catalogue(const Catalogue&) = delete;
    Catalogue& operator=(const Catalogue&) = delete;

    std::wstring operator()(int id) const
    {
        const wchar_t* text = nullptr;
        int length = m_library ? LoadStringW(m_library, static_cast<UINT>(id), reinterpret_cast<LPWSTR>(&text), 0) : 0;
        if (length <= 0)
            length = LoadStringW(GetModuleHandleW(nullptr), static_cast<UINT>(id), reinterpret_cast<LPWSTR>(&text), 0);
        return length > 0 ? std::wstring(text, static_cast<size_t>(length)) : std::wstring();
    }

private:
    HMODULE m_library;
};

// A stand-in for the main window: a real top-level window with a menu bar, a button and a
// header control, whose caption routine takes every caption from the catalogue.
class StandInMain final : public Form {
public:
    // Menu bar: each menu's caption, then its items' captions; 0 is a separator.
    inline static const std::vector<std::pair<int, std::vector<int>>> kMenus = {
        {IDS_FILE, {IDS_EXPORT_TO_CSV, 0, IDS_EXIT}},
        {IDS_EDIT, {IDS_REMOVE_MAPPING}},
        {IDS_VIEW, {IDS_SHOW_ONLY_CUSTOM, IDS_SHOW_PRIMARY}},
        {IDS_HELP, {IDS_HELP, 0, IDS_ABOUT}},
    };
    inline static const int kHeaders[] = {IDS_COL_DOMAIN, IDS_COL_AD_ALIAS, IDS_COL_PRIMARY, IDS_COL_VELTO_ALIAS};

    explicit StandInMain(std::wstring name = L"frmStandInMain") : m_name(std::move(name)) {}
    std::wstring_view Name() const override { return m_name; }

    void Load()
    {
        HMENU bar = CreateMenu();
        for (const auto& [caption, items] : kMenus) {
            HMENU popup = CreatePopupMenu();
            for (int item : items)
                AppendMenuW(popup, item ? MF_STRING : MF_SEPARATOR, static_cast<UINT_PTR>(item), L"");
            AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), L"");
        }
        Create({.className = L"VeltoCredentialsMap.TestStandInMain",
                .style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                .x = 60,
                .y = 60,
                .width = 560,
                .height = 360,
                .menu = bar});
        Register();
        const HINSTANCE instance = GetModuleHandleW(nullptr);
        m_button = CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 420, 250, 100, 30, Hwnd(),
                                   nullptr, instance, nullptr);
        m_header = CreateWindowExW(0, WC_HEADERW, L"", WS_CHILD | WS_VISIBLE | HDS_HORZ, 0, 0, 520, 24, Hwnd(), nullptr,
                                   instance, nullptr);
        for (int i = 0; i < 4; ++i) {
            HDITEMW item = {};
            item.mask = HDI_TEXT | HDI_WIDTH;
            item.cxy = 120;
            item.pszText = const_cast<wchar_t*>(L"");
            SendMessageW(m_header, HDM_INSERTITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        }
        AddRoutine(m_name + L"_Auto_Init", [this] { Auto_Init(); });
        Auto_Init();
        ShowWindow(Hwnd(), SW_SHOWNOACTIVATE);
    }

    void Auto_Init()
    {
        if (onAutoInit)
            onAutoInit();
        SetWindowTextW(Hwnd(), myLoadResString(IDS_MAIN_CAPTION).c_str());
        SetWindowTextW(m_button, myLoadResString(IDS_EXIT).c_str());
        HMENU bar = GetMenu(Hwnd());
        for (size_t m = 0; m < kMenus.size(); ++m) {
            ModifyMenuW(bar, static_cast<UINT>(m), MF_BYPOSITION | MF_POPUP,
                        reinterpret_cast<UINT_PTR>(GetSubMenu(bar, static_cast<int>(m))),
                        myLoadResString(kMenus[m].first).c_str());
            HMENU popup = GetSubMenu(bar, static_cast<int>(m));
            for (size_t i = 0; i < kMenus[m].second.size(); ++i) {
                if (const int id = kMenus[m].second[i]) {
                    ModifyMenuW(popup, static_cast<UINT>(i), MF_BYPOSITION | MF_STRING, static_cast<UINT_PTR>(id),
                                myLoadResString(id).c_str());
                }
            }
        }
        for (int i = 0; i < 4; ++i) {
            const std::wstring text = myLoadResString(kHeaders[i]);
            HDITEMW item = {};
            item.mask = HDI_TEXT;
            item.pszText = const_cast<wchar_t*>(text.c_str());
            SendMessageW(m_header, HDM_SETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        }
    }

    // Every caption the caption routine sets, as the given catalogue has it.
    void ExpectCaptions(const Catalogue& texts) const
    {
        EXPECT_EQ(WindowText(Hwnd()), texts(IDS_MAIN_CAPTION));
        EXPECT_EQ(WindowText(m_button), texts(IDS_EXIT));
        HMENU bar = GetMenu(Hwnd());
        for (size_t m = 0; m < kMenus.size(); ++m) {
            EXPECT_EQ(MenuText(bar, static_cast<int>(m)), texts(kMenus[m].first));
            HMENU popup = GetSubMenu(bar, static_cast<int>(m));
            for (size_t i = 0; i < kMenus[m].second.size(); ++i) {
                if (const int id = kMenus[m].second[i]) {
                    EXPECT_EQ(MenuText(popup, static_cast<int>(i)), texts(id));
                }
            }
        }
        for (int i = 0; i < 4; ++i) {
            wchar_t text[256] = {};
            HDITEMW item = {};
            item.mask = HDI_TEXT;
            item.pszText = text;
            item.cchTextMax = 256;
            SendMessageW(m_header, HDM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
            EXPECT_EQ(std::wstring(text), texts(kHeaders[i]));
        }
    }

    std::function<void()> onAutoInit;

private:
    std::wstring m_name;
    HWND m_button = nullptr;
    HWND m_header = nullptr;
};

// A loaded window whose caption routine fails, and one that has none.
class FailingForm final : public Form {
public:
    explicit FailingForm(bool hasRoutine) : m_hasRoutine(hasRoutine) {}
    std::wstring_view Name() const override { return m_hasRoutine ? L"frmFailing" : L"frmWithoutRoutine"; }
    void Load()
    {
        Create({.className = L"VeltoCredentialsMap.TestFailing",
                .style = WS_OVERLAPPEDWINDOW,
                .x = 10,
                .y = 10,
                .width = 200,
                .height = 100});
        Register();
        if (m_hasRoutine)
            AddRoutine(L"frmFailing_Auto_Init", [] { throw Error(5, L"Invalid procedure call or argument"); });
    }

private:
    bool m_hasRoutine;
};

void ExpectAboutCaptions(frmAbout& about, const Catalogue& texts)
{
    EXPECT_EQ(WindowText(about.Hwnd()), texts(IDS_APP_CAPTION));
    const std::pair<const wchar_t*, int> labels[] = {
        {L"cmdOK", IDS_OK},
        {L"lblBrenvikAddress2", IDS_MAKER_ADDRESS1},
        {L"lblBrenvikAddress3", IDS_MAKER_ADDRESS2},
        {L"lblChangeLanguage", IDS_CHANGE_LANGUAGE},
        {L"lblTrademark", IDS_MAKER_TRADEMARK},
        {L"lblCopyright", IDS_MAKER_COPYRIGHT},
        {L"lblBrenvikAddress1", IDS_MAKER_NAME},
        {L"lblVersionTitle", IDS_VERSION_TITLE},
    };
    for (const auto& [name, id] : labels)
        EXPECT_EQ(WindowText(about.Control(name)), texts(id)) << testing::PrintToString(std::wstring(name));
    EXPECT_EQ(about.SelectLanguageCaption(), texts(IDS_SELECT_LANGUAGE));
}

int IndexOfTag(const frmAbout& about, const std::wstring& tag)
{
    for (int i = 0; i < about.LanguageCount(); ++i) {
        if (about.LanguageTag(i) == tag)
            return i;
    }
    return -1;
}

// Runs one step per timer tick while the code under test runs its own message loop
// (the modal About window, the popup menu). A script that never hides the window would
// hang the test, so after its last step the window is hidden anyway.
class TimerScript {
public:
    explicit TimerScript(std::vector<std::function<void()>> steps) : m_steps(std::move(steps))
    {
        s_current = this;
        m_timer = SetTimer(nullptr, 0, 60, &TimerScript::Tick);
    }
    ~TimerScript()
    {
        KillTimer(nullptr, m_timer);
        s_current = nullptr;
    }
    bool Finished() const { return m_next >= m_steps.size(); }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD)
    {
        TimerScript* self = s_current;
        if (!self)
            return;
        if (self->m_next < self->m_steps.size()) {
            // The step may run a nested loop that ticks again; it must not run twice.
            const size_t step = self->m_next++;
            self->m_steps[step]();
        } else if (++self->m_idleTicks > 50) {
            frmAbout::Shared().cmdOK_Click();
        }
    }

    inline static TimerScript* s_current = nullptr;
    std::vector<std::function<void()>> m_steps;
    size_t m_next = 0;
    int m_idleTicks = 0;
    UINT_PTR m_timer = 0;
};

class About : public testing::Test {
protected:
    void SetUp() override
    {
        SetAppDialogs(&dialogs);
        ResetLanguageState();
        frmAbout::Unload();
    }
    void TearDown() override
    {
        frmAbout::Unload();
        if (frmHelp* help = frmHelp::Shared())
            SendMessageW(help->Hwnd(), WM_CLOSE, 0, 0);
        frmAbout::SetLanguageFolder({}, {});
        ResetLanguageState();
        SetAppDialogs(nullptr);
    }

    // The German and French libraries in the folder, which becomes the one the window reads.
    void UseGermanAndFrench(const TempFolder& folder) const
    {
        folder.Copy(german, L"VeltoCredentialsMap_DEU.dll");
        folder.Copy(french, L"VeltoCredentialsMap_FRA.dll");
        frmAbout::SetLanguageFolder(folder.Path(), kBase);
    }

    test::ScriptedDialogs dialogs;
    const std::wstring german = BuiltLibrary(L"VeltoCredentialsMap_DEU.dll");
    const std::wstring french = BuiltLibrary(L"VeltoCredentialsMap_FRA.dll");
};

TEST_F(About, LanguageMenuListsTheLibrariesBesideTheProgram)
{
    struct Row {
        const char* what;
        std::map<std::wstring, DWORD> libraries;  // file name -> the language its entry stands for
    };
    const Row rows[] = {
        {"German and French", {{L"VeltoCredentialsMap_DEU.dll", 1031}, {L"VeltoCredentialsMap_FRA.dll", 1036}}},
        {"German alone", {{L"VeltoCredentialsMap_DEU.dll", 1031}}},
        // The abbreviation is matched with case, so "deu" is no known language.
        {"a library named in lower case", {{L"VeltoCredentialsMap_deu.dll", 1033}}},
        {"no library", {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ResetLanguageState();
        frmAbout::Unload();
        TempFolder folder(L"languages");
        for (const auto& [name, language] : row.libraries)
            folder.Copy(language == 1036 ? french : german, name);
        frmAbout::SetLanguageFolder(folder.Path(), kBase);

        frmAbout& about = frmAbout::Shared();
        std::vector<DWORD> expected;
        for (const std::wstring& name : folder.Names())
            expected.push_back(row.libraries.at(name));
        if (expected.empty()) {
            ASSERT_EQ(about.LanguageCount(), 1);
            EXPECT_EQ(about.LanguageCaption(0), L"no languages loaded");
            EXPECT_EQ(about.LanguageTag(0), L" 1033");
            continue;
        }
        ASSERT_EQ(about.LanguageCount(), static_cast<int>(expected.size()));
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(about.LanguageCaption(static_cast<int>(i)), PlatformLanguageName(expected[i]));
            EXPECT_EQ(about.LanguageTag(static_cast<int>(i)), L" " + std::to_wstring(expected[i]));
        }
        EXPECT_TRUE(dialogs.messages.empty());
    }
}

TEST_F(About, PickingALanguageSwitchesEveryLoadedWindowAtOnce)
{
    TempFolder folder(L"languages");
    UseGermanAndFrench(folder);

    StandInMain main;
    main.Load();
    frmHelp::ShowShared();
    frmAbout& about = frmAbout::Shared();
    const Catalogue english;
    main.ExpectCaptions(english);
    ExpectAboutCaptions(about, english);

    std::vector<std::wstring> itemNames;
    for (int i = 0; i < about.LanguageCount(); ++i)
        itemNames.push_back(about.LanguageCaption(i));
    const std::wstring version = WindowText(about.Control(L"lblVersion"));
    EXPECT_EQ(version, L" 1.0 Build 5");

    // The hourglass shows while the captions are applied.
    std::vector<int> pointerDuringSwitch;
    main.onAutoInit = [&] { pointerDuringSwitch.push_back(about.MousePointer()); };

    struct Row {
        const char* what;
        const wchar_t* tag;
        long language;
        std::wstring library;
    };
    const Row rows[] = {
        {"French", L" 1036", 1036, french},
        {"German", L" 1031", 1031, german},
        {"French again", L" 1036", 1036, french},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const int index = IndexOfTag(about, row.tag);
        ASSERT_GE(index, 0);
        pointerDuringSwitch.clear();
        about.mnuLanguageList_Click(index);

        EXPECT_EQ(gCurrentLangID, row.language);
        const Catalogue texts(row.library);
        ASSERT_NE(texts(IDS_MAIN_CAPTION), english(IDS_MAIN_CAPTION));
        main.ExpectCaptions(texts);
        ExpectAboutCaptions(about, texts);
        ASSERT_NE(frmHelp::Shared(), nullptr);
        EXPECT_EQ(WindowText(frmHelp::Shared()->Hwnd()), texts(IDS_APP_CAPTION));

        // Texts no caption routine sets keep what they had.
        EXPECT_EQ(WindowText(about.Control(L"lblVersion")), version);
        for (int i = 0; i < about.LanguageCount(); ++i)
            EXPECT_EQ(about.LanguageCaption(i), itemNames[static_cast<size_t>(i)]);

        EXPECT_EQ(pointerDuringSwitch, std::vector<int>{11});
        EXPECT_EQ(about.MousePointer(), 0);
        EXPECT_NE(GetCursor(), LoadCursorW(nullptr, IDC_WAIT));
    }
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(About, NoLanguagesEntrySwitchesToEnglish)
{
    // French is active and the main window shows it.
    {
        TempFolder withFrench(L"french");
        withFrench.Copy(french, L"VeltoCredentialsMap_FRA.dll");
        gCurrentLangID = 1036;
        InitalizeLanguagesIn(withFrench.Path(), kBase);
        ASSERT_NE(gLangLibrary, nullptr);
    }
    StandInMain main;
    main.Load();
    const Catalogue frenchTexts(french);
    main.ExpectCaptions(frenchTexts);

    TempFolder empty(L"empty");
    frmAbout::SetLanguageFolder(empty.Path(), kBase);
    frmAbout& about = frmAbout::Shared();
    ASSERT_EQ(about.LanguageCount(), 1);
    const std::wstring entry = about.LanguageCaption(0);
    EXPECT_EQ(about.LanguageTag(0), L" 1033");

    about.mnuLanguageList_Click(0);
    EXPECT_EQ(gCurrentLangID, 1033);
    EXPECT_EQ(gLangLibrary, nullptr);
    main.ExpectCaptions(Catalogue());
    ExpectAboutCaptions(about, Catalogue());
    EXPECT_EQ(about.LanguageCaption(0), entry);
    EXPECT_EQ(about.MousePointer(), 0);
}

TEST_F(About, FailuresDuringTheSwitchArePassedOverAndThePointerComesBack)
{
    TempFolder folder(L"languages");
    folder.Copy(french, L"VeltoCredentialsMap_FRA.dll");
    frmAbout::SetLanguageFolder(folder.Path(), kBase);

    struct Row {
        const char* what;
        bool failingForm;  // a loaded window whose caption routine fails comes first
        int index;         // the item picked
        long language;     // gCurrentLangID afterwards
    };
    const Row rows[] = {
        {"a window's caption routine fails", true, 0, 1036},
        {"a window without a caption routine", false, 0, 1036},
        {"an item that does not exist", false, 7, 1033},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ResetLanguageState();
        gCurrentLangID = 1033;
        frmAbout::Unload();
        FailingForm other(row.failingForm);
        other.Load();
        StandInMain main;
        main.Load();
        frmAbout& about = frmAbout::Shared();

        about.mnuLanguageList_Click(row.index);
        EXPECT_EQ(gCurrentLangID, row.language);
        // The windows after the failing one were still switched.
        main.ExpectCaptions(Catalogue(row.language == 1036 ? french : std::wstring()));
        EXPECT_EQ(about.MousePointer(), 0);
        EXPECT_NE(GetCursor(), LoadCursorW(nullptr, IDC_WAIT));
        EXPECT_TRUE(dialogs.messages.empty());
    }
}

TEST_F(About, ShowsModallyAndOkOrTheCloseBoxOnlyHideIt)
{
    TempFolder folder(L"languages");
    folder.Copy(german, L"VeltoCredentialsMap_DEU.dll");
    frmAbout::SetLanguageFolder(folder.Path(), kBase);
    auto main = std::make_unique<StandInMain>();
    main->Load();
    const HWND owner = main->Hwnd();

    struct Seen {
        HWND about = nullptr;
        bool visible = false;
        bool ownerEnabled = true;
        HWND owner = nullptr;
    };
    auto look = [owner](Seen& seen) {
        seen.about = frmAbout::Shared().Hwnd();
        seen.visible = IsWindowVisible(seen.about);
        seen.ownerEnabled = IsWindowEnabled(owner);
        seen.owner = GetWindow(seen.about, GW_OWNER);
    };

    Seen first;
    {
        TimerScript script({[&] { look(first); },
                            [&] { SendMessageW(frmAbout::Shared().Control(L"cmdOK"), BM_CLICK, 0, 0); }});
        frmAbout::ShowModal(owner);
        EXPECT_TRUE(script.Finished());
    }
    EXPECT_TRUE(first.visible);
    EXPECT_FALSE(first.ownerEnabled);
    EXPECT_EQ(first.owner, owner);
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_FALSE(IsWindowVisible(first.about));
    EXPECT_EQ(frmAbout::Shared().Hwnd(), first.about);

    // Shown again, the window is the same one with the menu built at its load, although
    // another library has arrived since.
    folder.Copy(french, L"VeltoCredentialsMap_FRA.dll");
    Seen second;
    {
        TimerScript script({[&] { look(second); },
                            [&] { PostMessageW(second.about, WM_SYSCOMMAND, SC_CLOSE, 0); }});
        frmAbout::ShowModal(owner);
        EXPECT_TRUE(script.Finished());
    }
    EXPECT_EQ(second.about, first.about);
    EXPECT_TRUE(second.visible);
    EXPECT_FALSE(second.ownerEnabled);
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_FALSE(IsWindowVisible(first.about));
    EXPECT_EQ(frmAbout::Shared().LanguageCount(), 1);

    // The window outlives the owner it was shown over; unloaded, it loads the folder anew.
    main.reset();
    EXPECT_TRUE(IsWindow(first.about));
    frmAbout::Unload();
    EXPECT_FALSE(IsWindow(first.about));
    EXPECT_EQ(frmAbout::Shared().LanguageCount(), 2);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(About, ChangeLanguageLinkPopsTheLanguagesUpAtThePointer)
{
    TempFolder folder(L"languages");
    UseGermanAndFrench(folder);
    StandInMain main;
    main.Load();
    frmAbout& about = frmAbout::Shared();
    const int fra = IndexOfTag(about, L" 1036");
    ASSERT_GE(fra, 0);
    const HWND link = about.Control(L"lblChangeLanguage");

    bool hand = false;
    POINT pointer = {};
    HWND popup = nullptr;
    RECT popupRect = {};
    TimerScript script({
        [&] {
            RECT r = {};
            GetWindowRect(link, &r);
            SetCursorPos(r.left + 6, r.top + 6);
            GetCursorPos(&pointer);
            SendMessageW(link, WM_SETCURSOR, reinterpret_cast<WPARAM>(link), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
            hand = GetCursor() == LoadCursorW(nullptr, IDC_HAND);
            PostMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(6, 6));
        },
        [&] {
            // The popup's own loop runs now; keys pick the French entry.
            popup = FindWindowW(L"#32768", nullptr);
            if (popup) {
                GetWindowRect(popup, &popupRect);
                for (int i = 0; i <= fra; ++i)
                    PostMessageW(popup, WM_KEYDOWN, VK_DOWN, 0);
                PostMessageW(popup, WM_KEYDOWN, VK_RETURN, 0);
            }
        },
        [&] {
            if (popup && IsWindowVisible(popup))
                EndMenu();
        },
        [&] { about.cmdOK_Click(); },
    });
    frmAbout::ShowModal(main.Hwnd());

    EXPECT_TRUE(hand);
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(popupRect.left, pointer.x);
    EXPECT_EQ(popupRect.top, pointer.y);
    EXPECT_EQ(gCurrentLangID, 1036);
    const Catalogue texts(french);
    ExpectAboutCaptions(about, texts);
    main.ExpectCaptions(texts);
    EXPECT_EQ(about.MousePointer(), 0);
}

}  // namespace
}  // namespace vcm
