#include "localize/frmAbout.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "localize/AboutLogos.h"
#include "localize/LanguageSwitch.h"
#include "localize/modLocalize.h"
#include "platform/Dialogs.h"
#include "platform/ErrorCodes.h"
#include "platform/ProgramInfo.h"
#include "platform/StepRunner.h"
#include "platform/Twips.h"
#include "platform/WinHelpers.h"
#include "resource.h"

namespace vcm {

namespace {

constexpr wchar_t kClassName[] = L"VeltoCredentialsMap.frmAbout";
constexpr int kClientWidthTwips = 6090;
constexpr int kClientHeightTwips = 3285;

constexpr int kHourglass = 11;
constexpr int kDefaultPointer = 0;

// Control ids. The OK button is IDOK, so that Enter in the window presses it.
constexpr int kLinkId = 1001;
constexpr int kVeltoLogoId = 1002;
constexpr int kBrenvikLogoId = 1003;
constexpr int kFirstLabelId = 1010;
// Command ids of the language items: item i has kFirstLanguageCommand + i.
constexpr UINT kFirstLanguageCommand = 2000;

enum class Kind { Label, Bold, Link, Picture, Button };

struct ControlLayout {
    std::wstring_view name;
    Kind kind;
    int left, top, width, height;  // twips, in the client area
};

// In creation order, which is also the order of the children for the language switch.
constexpr ControlLayout kLayout[] = {
    {L"picVeltoLogo", Kind::Picture, 180, 60, 2190, 870},
    {L"lblVersionTitle", Kind::Bold, 3240, 300, 975, 195},
    {L"lblVersion", Kind::Label, 4260, 300, 1755, 255},
    {L"lblCopyright", Kind::Label, 180, 1140, 5835, 195},
    {L"lblTrademark", Kind::Label, 180, 1500, 5835, 195},
    {L"lblChangeLanguage", Kind::Link, 180, 1860, 2895, 195},
    {L"picBrenvikLogo", Kind::Picture, 60, 2280, 1560, 930},
    {L"lblBrenvikAddress1", Kind::Label, 1680, 2460, 2835, 195},
    {L"lblBrenvikAddress2", Kind::Label, 1680, 2700, 2835, 195},
    {L"lblBrenvikAddress3", Kind::Label, 1680, 2940, 2835, 195},
    {L"cmdOK", Kind::Button, 4680, 2760, 1275, 375},
};

struct LanguageSource {
    std::wstring folder;  // empty: beside the executable
    std::wstring baseName;
};

LanguageSource& Languages()
{
    static LanguageSource source;
    return source;
}

std::unique_ptr<frmAbout>& SharedSlot()
{
    static std::unique_ptr<frmAbout> slot;
    return slot;
}

// A number as text with its sign position: a blank before a number that is not negative.
std::wstring WithSignPosition(long number)
{
    return number < 0 ? std::to_wstring(number) : L" " + std::to_wstring(number);
}

// " 1.0 Build 5" for version 1.0, revision 5.
std::wstring VersionText(const OwnVersion& version)
{
    return WithSignPosition(version.major) + L"." + std::to_wstring(version.minor) + L" Build" +
           WithSignPosition(version.revision);
}

void SetCaption(HWND hwnd, const std::wstring& text)
{
    if (!SetWindowTextW(hwnd, text.c_str()))
        ThrowLastError(L"SetWindowTextW");
}

void ReportFormLoadError(const Error& error)
{
    AppDialogs().Message(L"Error in FormLoad routine:" + error.Description(), kAppTitle, MB_OK);
}

// The window's labels and button use "MS Sans Serif" at 8.25 point.
UniqueHFont MakeFont(UINT dpi, int weight, bool underline)
{
    LOGFONTW font = {};
    font.lfHeight = -MulDiv(825, static_cast<int>(dpi), 7200);
    font.lfWeight = weight;
    font.lfUnderline = underline ? TRUE : FALSE;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfQuality = DEFAULT_QUALITY;
    lstrcpynW(font.lfFaceName, L"MS Sans Serif", LF_FACESIZE);
    return UniqueHFont(CreateFontIndirectW(&font));
}

}  // namespace

frmAbout::frmAbout()
{
    AddRoutine(L"frmAbout_Auto_Init", [this] { frmAbout_Auto_Init(); });
}

frmAbout::~frmAbout()
{
    // A window unloaded while it is shown modally must not leave its owner disabled.
    if (m_owner && IsWindow(m_owner))
        EnableWindow(m_owner, TRUE);
}

void frmAbout::ShowModal(HWND owner) { Shared().RunModal(owner); }

frmAbout& frmAbout::Shared()
{
    std::unique_ptr<frmAbout>& slot = SharedSlot();
    if (!slot || !slot->Hwnd()) {
        auto about = std::unique_ptr<frmAbout>(new frmAbout());
        about->Load();
        slot = std::move(about);
    }
    return *slot;
}

void frmAbout::Unload() { SharedSlot().reset(); }

void frmAbout::SetLanguageFolder(std::wstring folder, std::wstring baseName)
{
    Languages() = {std::move(folder), std::move(baseName)};
}

void frmAbout::Load()
{
    // Created without an owner: it lives for the whole run, and an owned window would be
    // destroyed with its owner. The owner is attached only while the window is shown.
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    const DWORD exStyle = WS_EX_DLGMODALFRAME;
    Create({.className = kClassName, .style = style, .exStyle = exStyle, .width = 100, .height = 100});
    Register();

    RECT frame = {0, 0, TwipsToPixels(Hwnd(), kClientWidthTwips), TwipsToPixels(Hwnd(), kClientHeightTwips)};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    SetWindowPos(Hwnd(), nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    CreateControls();
    Form_Load();
}

void frmAbout::CreateControls()
{
    const UINT dpi = WindowDpi(Hwnd());
    m_font = MakeFont(dpi, FW_NORMAL, false);
    m_boldFont = MakeFont(dpi, FW_BOLD, false);
    m_linkFont = MakeFont(dpi, FW_NORMAL, true);

    int nextLabelId = kFirstLabelId;
    for (const ControlLayout& layout : kLayout) {
        const wchar_t* className = L"STATIC";
        DWORD style = WS_CHILD | WS_VISIBLE;
        int id = 0;
        HFONT font = m_font.get();
        switch (layout.kind) {
        case Kind::Label:
        case Kind::Bold:
            style |= SS_LEFT | SS_NOPREFIX;
            id = nextLabelId++;
            if (layout.kind == Kind::Bold)
                font = m_boldFont.get();
            break;
        case Kind::Link:
            // SS_NOTIFY: the label takes the mouse, so it can be clicked and show the hand.
            style |= SS_LEFT | SS_NOPREFIX | SS_NOTIFY;
            id = kLinkId;
            font = m_linkFont.get();
            break;
        case Kind::Picture:
            style |= SS_OWNERDRAW;
            id = layout.name == L"picVeltoLogo" ? kVeltoLogoId : kBrenvikLogoId;
            break;
        case Kind::Button:
            className = L"BUTTON";
            style |= WS_TABSTOP | BS_DEFPUSHBUTTON;
            id = IDOK;
            break;
        }
        const RECT bounds = {TwipsToPixels(layout.left, dpi), TwipsToPixels(layout.top, dpi),
                             TwipsToPixels(layout.left, dpi) + TwipsToPixels(layout.width, dpi),
                             TwipsToPixels(layout.top, dpi) + TwipsToPixels(layout.height, dpi)};
        HWND control =
            CreateChild({.className = className, .style = style, .bounds = bounds, .parent = Hwnd(), .id = id});
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        m_controls.emplace_back(layout.name, control);
    }

    // mnuSelectLanguage is a menu of the window that is never shown as a bar, only as a
    // popup; it starts with its design element 0.
    m_menuHolder.reset(CreateMenu());
    UniqueHMenu languages(CreatePopupMenu());
    if (!m_menuHolder || !languages)
        ThrowLastError(L"CreateMenu");
    m_mnuSelectLanguage = AppendSubmenu(m_menuHolder.get(), std::move(languages), L"Select Language");
    AddLanguageItem();
    SetLanguageCaption(0, L"LanguageList");
}

void frmAbout::frmAbout_Auto_Init()
{
    SetCaption(Hwnd(), myLoadResString(IDS_APP_CAPTION));
    SetCaption(Control(L"cmdOK"), myLoadResString(IDS_OK));
    SetCaption(Control(L"lblBrenvikAddress2"), myLoadResString(IDS_MAKER_ADDRESS1));
    SetCaption(Control(L"lblBrenvikAddress3"), myLoadResString(IDS_MAKER_ADDRESS2));
    SetCaption(Control(L"lblChangeLanguage"), myLoadResString(IDS_CHANGE_LANGUAGE));
    SetCaption(Control(L"lblTrademark"), myLoadResString(IDS_MAKER_TRADEMARK));
    SetCaption(Control(L"lblCopyright"), myLoadResString(IDS_MAKER_COPYRIGHT));
    SetCaption(Control(L"lblBrenvikAddress1"), myLoadResString(IDS_MAKER_NAME));
    SetCaption(Control(L"lblVersionTitle"), myLoadResString(IDS_VERSION_TITLE));

    if (!SetMenuItemText(m_menuHolder.get(), 0, true, myLoadResString(IDS_SELECT_LANGUAGE)))
        ThrowLastError(L"SetMenuItemInfoW");
}

void frmAbout::Form_Load()
{
    // The captions come first, outside the error trap.
    frmAbout_Auto_Init();

    StepRunner step(ReportFormLoadError);
    step([&] { SetCaption(Control(L"lblVersion"), VersionText(ProgramVersion())); });
    step([&] { InitializeLanguages(); });

    // The language menu reflects the folder as it is now; it is built only here.
    const bool noLanguages = gLanguageList.empty() || (gLanguageList.size() == 1 && gLanguageList[0].empty());
    if (noLanguages) {
        step([&] { SetLanguageCaption(0, myLoadResString(IDS_NO_LANGUAGES)); });
        step([&] { SetLanguageTag(0, WithSignPosition(1033)); });
        return;
    }
    const std::vector<std::wstring> languages = gLanguageList;
    for (size_t i = 0; i < languages.size(); ++i) {
        const int index = static_cast<int>(i);
        if (index > 0)
            step([&] { AddLanguageItem(); });
        step([&] { SetLanguageCaption(index, GetLanguageNameFromAbbreviation(languages[i])); });
        step([&] { SetLanguageTag(index, WithSignPosition(GetLangIDFromAbbreviation(languages[i]))); });
    }
}

void frmAbout::InitializeLanguages()
{
    const LanguageSource& source = Languages();
    if (source.folder.empty())
        InitalizeLanguages();
    else
        InitalizeLanguagesIn(source.folder, source.baseName);
}

void frmAbout::AddLanguageItem()
{
    const UINT command = kFirstLanguageCommand + static_cast<UINT>(m_languageTags.size());
    if (!AppendMenuW(m_mnuSelectLanguage, MF_STRING, command, L""))
        ThrowLastError(L"AppendMenuW");
    m_languageTags.emplace_back();
}

void frmAbout::SetLanguageCaption(int index, const std::wstring& caption)
{
    if (index < 0 || index >= LanguageCount())
        throw NoControlArrayElementError(index, L"mnuLanguageList");
    if (!SetMenuItemText(m_mnuSelectLanguage, static_cast<UINT>(index), true, caption))
        ThrowLastError(L"SetMenuItemInfoW");
}

void frmAbout::SetLanguageTag(int index, std::wstring tag)
{
    if (index < 0 || index >= static_cast<int>(m_languageTags.size()))
        throw NoControlArrayElementError(index, L"mnuLanguageList");
    m_languageTags[static_cast<size_t>(index)] = std::move(tag);
}

HWND frmAbout::Control(std::wstring_view name) const
{
    for (const auto& [controlName, hwnd] : m_controls) {
        if (controlName == name)
            return hwnd;
    }
    return nullptr;
}

std::wstring frmAbout::SelectLanguageCaption() const
{
    return MenuItemText(m_menuHolder.get(), 0, true);
}

int frmAbout::LanguageCount() const
{
    return m_mnuSelectLanguage ? GetMenuItemCount(m_mnuSelectLanguage) : 0;
}

std::wstring frmAbout::LanguageCaption(int index) const
{
    return MenuItemText(m_mnuSelectLanguage, static_cast<UINT>(index), true);
}

std::wstring frmAbout::LanguageTag(int index) const
{
    if (index < 0 || index >= static_cast<int>(m_languageTags.size()))
        throw SubscriptError(L"mnuLanguageList");
    return m_languageTags[static_cast<size_t>(index)];
}

void frmAbout::cmdOK_Click() { Hide(); }

void frmAbout::lblChangeLanguage_Click()
{
    POINT pointer = {};
    GetCursorPos(&pointer);
    // A popup owned by a window that is not in the foreground would not close when the
    // user clicks elsewhere.
    SetForegroundWindow(Hwnd());
    TrackPopupMenuEx(m_mnuSelectLanguage, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON, pointer.x, pointer.y,
                     Hwnd(), nullptr);
    PostMessageW(Hwnd(), WM_NULL, 0, 0);
}

void frmAbout::mnuLanguageList_Click(int index)
{
    // Every statement may fail on its own; a failure is passed over without a word.
    StepRunner step;
    step([&] { SetMousePointer(kHourglass); });
    step([&] { gCurrentLangID = LanguageTagValue(LanguageTag(index)); });
    step([&] { InitializeLanguages(); });

    ApplyLanguageToLoadedForms(step);
    SetMousePointer(kDefaultPointer);
}

void frmAbout::SetMousePointer(int pointer)
{
    m_mousePointer = pointer;
    SetCursor(LoadCursorW(nullptr, pointer == kHourglass ? IDC_WAIT : IDC_ARROW));
}

void frmAbout::RunModal(HWND owner)
{
    const HWND self = Hwnd();
    if (IsWindowVisible(self)) {
        SetForegroundWindow(self);
        return;
    }
    m_owner = owner && IsWindow(owner) ? owner : nullptr;
    SetWindowLongPtrW(self, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(m_owner));
    CenterWindowOver(self, m_owner);
    if (m_owner)
        EnableWindow(m_owner, FALSE);
    ShowWindow(self, SW_SHOW);
    SetForegroundWindow(self);
    SetFocus(Control(L"cmdOK"));

    RunModalLoop(self);

    const HWND ownerWindow = m_owner;
    m_owner = nullptr;
    if (ownerWindow && IsWindow(ownerWindow))
        EnableWindow(ownerWindow, TRUE);
    if (IsWindow(self)) {
        ShowWindow(self, SW_HIDE);
        // Owned only while shown: the window must outlive any owner it had.
        SetWindowLongPtrW(self, GWLP_HWNDPARENT, 0);
    }
    if (ownerWindow && IsWindow(ownerWindow))
        SetForegroundWindow(ownerWindow);
}

void frmAbout::Hide()
{
    // The owner is enabled before the window hides, so that activation returns to it.
    if (m_owner && IsWindow(m_owner))
        EnableWindow(m_owner, TRUE);
    ShowWindow(Hwnd(), SW_HIDE);
}

LRESULT frmAbout::OnSetCursor(HWND target, UINT hitTest)
{
    if (m_mousePointer == kHourglass) {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
    }
    if (target == Control(L"lblChangeLanguage") && hitTest == HTCLIENT) {
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
    }
    return FALSE;
}

LRESULT frmAbout::OnCtlColorStatic(HDC dc, HWND control)
{
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    // The link is pure blue, as links were drawn when this window was designed.
    SetTextColor(dc, control == Control(L"lblChangeLanguage") ? RGB(0, 0, 255) : GetSysColor(COLOR_BTNTEXT));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

void frmAbout::DrawLogo(const DRAWITEMSTRUCT& item) const
{
    if (item.CtlID == kVeltoLogoId)
        DrawVeltoLogo(item.hDC, item.rcItem);
    else if (item.CtlID == kBrenvikLogoId)
        DrawBrenvikLogo(item.hDC, item.rcItem);
}

LRESULT frmAbout::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_COMMAND: {
        const UINT id = LOWORD(wParam);
        const UINT code = HIWORD(wParam);
        if (id == IDOK && code == BN_CLICKED) {
            cmdOK_Click();
            return 0;
        }
        if (id == IDCANCEL) {  // Escape
            Hide();
            return 0;
        }
        if (id == kLinkId && code == STN_CLICKED) {
            lblChangeLanguage_Click();
            return 0;
        }
        if (id >= kFirstLanguageCommand && id < kFirstLanguageCommand + static_cast<UINT>(LanguageCount())) {
            mnuLanguageList_Click(static_cast<int>(id - kFirstLanguageCommand));
            return 0;
        }
        break;
    }
    case WM_CLOSE:
        // The close box hides the window; it stays loaded for the next showing.
        Hide();
        return 0;
    case WM_SETCURSOR:
        if (OnSetCursor(reinterpret_cast<HWND>(wParam), LOWORD(lParam)))
            return TRUE;
        break;
    case WM_CTLCOLORSTATIC:
        return OnCtlColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_DRAWITEM:
        DrawLogo(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    default:
        break;
    }
    return Default(msg, wParam, lParam);
}

void frmAbout::OnFinalDestroy()
{
    Unregister();
    m_controls.clear();
}

}  // namespace vcm
