#include "app/frmMain.h"

#include <commctrl.h>

#include <iterator>

#include "app/frmRestore.h"
#include "help/frmHelp.h"
#include "localize/frmAbout.h"
#include "localize/modLocalize.h"
#include "mapping/CsvExport.h"
#include "mapping/MappingGrid.h"
#include "mapping/MappingLoader.h"
#include "mapping/MappingRemoval.h"
#include "mapping/RowClipboard.h"
#include "platform/ErrorCodes.h"
#include "platform/Logging.h"
#include "platform/ProgramInfo.h"
#include "platform/StepRunner.h"
#include "platform/TextConv.h"
#include "platform/Twips.h"
#include "platform/VeltoVersion.h"
#include "platform/WinHelpers.h"
#include "resource.h"

namespace vcm {

namespace {
constexpr wchar_t kClassName[] = L"VeltoCredentialsMap.frmMain";

// Design geometry in twips.
constexpr int kClientWidth = 7260;
constexpr int kClientHeight = 4875;
constexpr int kMinOuterWidth = 4000;
constexpr int kMinOuterHeight = 3500;
constexpr int kGridLeft = 30;
constexpr int kGridTop = 180;
constexpr int kGridWidth = 7185;
constexpr int kGridHeight = 3885;
constexpr int kExitLeft = 6300;
constexpr int kExitTop = 4380;
constexpr int kExitWidth = 915;
constexpr int kExitHeight = 465;
constexpr int kExitFromRight = 1050;
constexpr int kExitFromBottom = 1155;
constexpr int kGridNarrower = 165;
constexpr int kGridLower = 1650;

// The keys administrators expect of a Windows console; menu captions stay without hints.
constexpr ACCEL kAccelerators[] = {
    {FVIRTKEY, VK_DELETE, frmMain::IDM_REMOVE_MAPPING},
    {FVIRTKEY, VK_F5, frmMain::IDK_RELOAD},
    {FVIRTKEY | FCONTROL, 'C', frmMain::IDK_COPY_ROW},
    {FVIRTKEY | FCONTROL, VK_INSERT, frmMain::IDK_COPY_ROW},
    {FVIRTKEY, VK_F1, frmMain::IDM_SHOW_HELP},
};

bool KeyDown(int virtualKey) { return GetKeyState(virtualKey) < 0; }

}  // namespace

frmMain::frmMain(IDialogs& dialogs)
    : m_dialogs(dialogs), m_grid(MappingGridColumns(true)), m_gridView(m_grid),
      m_endProcess([](UINT code) {
          // Workers may be inside a database or account call; ending without the DLLs'
          // detach code keeps the exit from waiting on what those calls hold.
          if (LongWorkRunner::AnyRunning())
              TerminateProcess(GetCurrentProcess(), code);
          ExitProcess(code);
      })
{
    AddRoutine(L"frmMain_Auto_Init", [this] { frmMain_Auto_Init(); });
}

frmMain::~frmMain() = default;

void frmMain::Create()
{
    const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP));
    Window::Create({.className = kClassName, .style = style, .width = 100, .height = 100, .icon = icon});
    Register();

    // The bar and its menus belong to the window once it has them; until then they are ours.
    // A window that refused the bar still keeps the menus for as long as it lives, since the
    // grid's popup and the view options read them, so the program goes on without a bar.
    UniqueHMenu bar = BuildMenus();
    SetMenu(Hwnd(), bar.get());
    m_menuBar = bar.release();

    if (LOGFONTW message = {}; MessageFont(message))
        m_font.reset(CreateFontIndirectW(&message));

    m_gridView.Create(Hwnd(), IDC_GRID);
    m_gridView.MouseDown = [this](int button, int shift, int x, int y) { myGrid_MouseDown(button, shift, x, y); };
    // The menu key or Shift+F10 on the grid opens the same popup as the right button.
    m_gridView.ContextMenuKey = [this](int x, int y) { ShowEditPopup(x, y); };

    m_cmdExit = CreateChild({.className = WC_BUTTONW,
                             .style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                             .bounds = {0, 0, 10, 10},
                             .parent = Hwnd(),
                             .id = IDC_CMDEXIT},
                            L"CreateWindowExW(cmdExit)");
    if (m_font)
        SendMessageW(m_cmdExit, WM_SETFONT, reinterpret_cast<WPARAM>(m_font.get()), FALSE);
    m_accelerators.reset(
        CreateAcceleratorTableW(const_cast<ACCEL*>(kAccelerators), static_cast<int>(std::size(kAccelerators))));
    // The grid has the focus when the window first opens; no row is selected until the
    // user moves.
    m_lastFocus = m_gridView.ListHwnd();

    // The design client area at this window's DPI, centred on the screen's work area.
    RECT frame = {0, 0, TwipsToPixels(Hwnd(), kClientWidth), TwipsToPixels(Hwnd(), kClientHeight)};
    AdjustWindowRectEx(&frame, style, TRUE, 0);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    RECT work = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    // Controls start at their design places; the resize rule keeps them there for this size.
    MoveWindow(m_gridView.Hwnd(), TwipsToPixels(Hwnd(), kGridLeft), TwipsToPixels(Hwnd(), kGridTop),
               TwipsToPixels(Hwnd(), kGridWidth), TwipsToPixels(Hwnd(), kGridHeight), FALSE);
    MoveWindow(m_cmdExit, TwipsToPixels(Hwnd(), kExitLeft), TwipsToPixels(Hwnd(), kExitTop),
               TwipsToPixels(Hwnd(), kExitWidth), TwipsToPixels(Hwnd(), kExitHeight), FALSE);
    SetWindowPos(Hwnd(), nullptr, work.left + (work.right - work.left - width) / 2,
                 work.top + (work.bottom - work.top - height) / 2, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void frmMain::Show(int showCommand)
{
    ShowWindow(Hwnd(), showCommand);
    if (GetActiveWindow() == Hwnd())
        RestoreFocus();
    UpdateWindow(Hwnd());
}

UniqueHMenu frmMain::BuildMenus()
{
    UniqueHMenu bar(CreateMenu());
    UniqueHMenu file(CreatePopupMenu());
    UniqueHMenu edit(CreatePopupMenu());
    UniqueHMenu view(CreatePopupMenu());
    UniqueHMenu help(CreatePopupMenu());
    if (!bar || !file || !edit || !view || !help)
        ThrowLastError(L"CreateMenu");

    // "Import Mappings from CSV" and "Add New Mapping" are hidden items without an action:
    // they are never put into a menu.
    AppendMenuW(file.get(), MF_STRING, IDM_EXPORT_TO_CSV, L"Export Grid Info to CSV");
    AppendMenuW(file.get(), MF_STRING, IDM_RESTORE_REMOVED, L"Restore Removed Mappings\u2026");
    AppendMenuW(file.get(), MF_SEPARATOR, 0, nullptr);
    AppendMenuW(file.get(), MF_STRING, IDM_EXIT, L"Exit");
    AppendMenuW(edit.get(), MF_STRING, IDM_REMOVE_MAPPING, L"Remove Selected Mapping");
    AppendMenuW(edit.get(), MF_STRING, IDM_REMOVE_DELETED, L"Remove Deleted Accounts\u2026");
    AppendMenuW(view.get(), MF_STRING | MF_CHECKED, IDM_SHOW_ONLY_CUSTOM, L"Show Only Custom Mappings");
    AppendMenuW(view.get(), MF_STRING | MF_CHECKED, IDM_SHOW_PRIMARY, L"Show Primary Mappings");
    AppendMenuW(view.get(), MF_STRING, IDM_SHOW_ACCOUNT_DETAILS, L"Show Account Details");
    AppendMenuW(help.get(), MF_STRING, IDM_SHOW_HELP, L"Help");
    AppendMenuW(help.get(), MF_SEPARATOR, 0, nullptr);
    AppendMenuW(help.get(), MF_STRING, IDM_SHOW_ABOUT, L"About");

    m_mnuFile = AppendSubmenu(bar.get(), std::move(file), L"File");
    m_mnuEdit = AppendSubmenu(bar.get(), std::move(edit), L"Edit");
    m_mnuView = AppendSubmenu(bar.get(), std::move(view), L"View");
    m_mnuHelp = AppendSubmenu(bar.get(), std::move(help), L"Help");
    return bar;
}

void frmMain::frmMain_Auto_Init()
{
    SetWindowTextW(Hwnd(), myLoadResString(IDS_MAIN_CAPTION).c_str());
    SetWindowTextW(m_cmdExit, myLoadResString(IDS_EXIT).c_str());

    SetMenuItemText(m_menuBar, 0, true, myLoadResString(IDS_FILE));
    SetMenuItemText(m_mnuFile, IDM_EXPORT_TO_CSV, false, myLoadResString(IDS_EXPORT_TO_CSV));
    SetMenuItemText(m_mnuFile, IDM_RESTORE_REMOVED, false, myLoadResString(IDS_RESTORE_MENU));
    m_mnuImportFromCSVCaption = myLoadResString(IDS_IMPORT_FROM_CSV);
    SetMenuItemText(m_mnuFile, IDM_EXIT, false, myLoadResString(IDS_EXIT));
    SetMenuItemText(m_menuBar, 1, true, myLoadResString(IDS_EDIT));
    SetMenuItemText(m_mnuEdit, IDM_REMOVE_MAPPING, false, myLoadResString(IDS_REMOVE_MAPPING));
    SetMenuItemText(m_mnuEdit, IDM_REMOVE_DELETED, false, myLoadResString(IDS_REMOVE_DELETED_MENU));
    m_mnuAddNewMappingCaption = myLoadResString(IDS_ADD_NEW_MAPPING);
    SetMenuItemText(m_menuBar, 2, true, myLoadResString(IDS_VIEW));
    SetMenuItemText(m_mnuView, IDM_SHOW_ONLY_CUSTOM, false, myLoadResString(IDS_SHOW_ONLY_CUSTOM));
    SetMenuItemText(m_mnuView, IDM_SHOW_PRIMARY, false, myLoadResString(IDS_SHOW_PRIMARY));
    SetMenuItemText(m_mnuView, IDM_SHOW_ACCOUNT_DETAILS, false, myLoadResString(IDS_SHOW_ACCOUNT_DETAILS));
    SetMenuItemText(m_menuBar, 3, true, myLoadResString(IDS_HELP));
    SetMenuItemText(m_mnuHelp, IDM_SHOW_HELP, false, myLoadResString(IDS_HELP));
    SetMenuItemText(m_mnuHelp, IDM_SHOW_ABOUT, false, myLoadResString(IDS_ABOUT));
    DrawMenuBar(Hwnd());

    // The header row, each cell found by its column's key.
    m_grid.SetCell(0, m_grid.ColIndex(kKeyADDomain), myLoadResString(IDS_COL_DOMAIN));
    m_grid.SetCell(0, m_grid.ColIndex(kKeyADAlias), myLoadResString(IDS_COL_AD_ALIAS));
    m_grid.SetCell(0, m_grid.ColIndex(kKeyPrimary), myLoadResString(IDS_COL_PRIMARY));
    m_grid.SetCell(0, m_grid.ColIndex(kKeyVeltoAlias), myLoadResString(IDS_COL_VELTO_ALIAS));
    m_grid.SetCell(0, m_grid.ColIndex(kKeyAccountSid), myLoadResString(IDS_COL_SID));
    m_grid.SetCell(0, m_grid.ColIndex(kKeyAccountStatus), myLoadResString(IDS_COL_ACCOUNT));
}

bool frmMain::ShowOnlyCustomChecked() const
{
    return (GetMenuState(m_mnuView, IDM_SHOW_ONLY_CUSTOM, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

bool frmMain::ShowPrimaryChecked() const
{
    return (GetMenuState(m_mnuView, IDM_SHOW_PRIMARY, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

void frmMain::ToggleCheck(UINT id)
{
    const bool checked = (GetMenuState(m_mnuView, id, MF_BYCOMMAND) & MF_CHECKED) != 0;
    CheckMenuItem(m_mnuView, id, MF_BYCOMMAND | (checked ? MF_UNCHECKED : MF_CHECKED));
}

void frmMain::mnuShowOnlyCustom_Click()
{
    ToggleCheck(IDM_SHOW_ONLY_CUSTOM);
    LoadMappings();
    ReportLoadProblems(L"mnuShowOnlyCustom_Click");
}

// Shows or hides the SID and Account columns; the rows stay as loaded.
void frmMain::mnuShowAccountDetails_Click()
{
    ToggleCheck(IDM_SHOW_ACCOUNT_DETAILS);
    const bool shown = (GetMenuState(m_mnuView, IDM_SHOW_ACCOUNT_DETAILS, MF_BYCOMMAND) & MF_CHECKED) != 0;
    m_grid.SetColumnHidden(kDesignAccountSid, !shown);
    m_grid.SetColumnHidden(kDesignAccountStatus, !shown);
    InvalidateRect(m_gridView.ListHwnd(), nullptr, FALSE);
}

void frmMain::mnuShowPrimary_Click()
{
    ToggleCheck(IDM_SHOW_PRIMARY);
    LoadMappings();
    ReportLoadProblems(L"mnuShowPrimary_Click");
}

// F5: the load a view option runs, with the options as they stand. Its problems are told as
// the window's key handler's.
void frmMain::Form_KeyDownReload()
{
    LoadMappings();
    ReportLoadProblems(L"Form_KeyDown");
}

void frmMain::mnuExportToCSV_Click() { ExportGridToCsv(m_grid, m_dialogs); }

void frmMain::mnuRestoreRemoved_Click()
{
    StepRunner step([this](const Error& e) { ReportUnexpected(e, L"mnuRestoreRemoved_Click"); });
    bool restored = false;
    step([&] {
        frmRestore window({m_connectionString, gProductVersion.Major, RestoreFilePath()}, m_dialogs);
        restored = window.ShowModal(Hwnd());
    });
    if (restored)
        LoadMappings();
}

void frmMain::mnuRemoveMapping_Click()
{
    RemovalContext context{m_connectionString, gProductVersion.Major, m_dialogs};
    context.runWaiting = [this](const std::function<void()>& step) { RunLongWork([&](LongWork&) { step(); }); };
    RemoveSelectedMapping(m_grid, context);
}

void frmMain::mnuShowHelp_Click() { frmHelp::ShowShared(); }

void frmMain::mnuShowAbout_Click() { frmAbout::ShowModal(Hwnd()); }

void frmMain::myGrid_MouseDown(int button, int /*shift*/, int x, int y)
{
    if (button == 2)
        ShowEditPopup(x, y);
}

void frmMain::ShowEditPopup(int x, int y)
{
    POINT pt = {x, y};
    ClientToScreen(m_gridView.Hwnd(), &pt);
    TrackPopupMenu(m_mnuEdit, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, pt.x, pt.y, 0, Hwnd(), nullptr);
}

void frmMain::PrepareLongWork(LongWorkRunner& runner, frmProgress& progress, LongWorkDisplay display)
{
    if (display == LongWorkDisplay::WaitWindowCount)
        runner.SetProgressDisplay([this](uint64_t done, uint64_t total) {
            if (total > 0)  // work that has not counted its units yet keeps the window's text
                m_splash.ShowCount(done, total);
        });
    else if (display == LongWorkDisplay::ProgressWindow)
        progress.Open(Hwnd(), runner);
}

void frmMain::RunLongWorkChunks(size_t chunks, unsigned threads, const std::function<void(size_t, LongWork&)>& chunk,
                                LongWorkDisplay display)
{
    LongWorkRunner runner(Hwnd());
    frmProgress progress;
    PrepareLongWork(runner, progress, display);
    runner.RunChunks(chunks, threads, chunk);
}

void frmMain::CopySelectedRow() { vcm::CopySelectedRow(m_grid, Hwnd()); }

void frmMain::mnuExit_Click() { ExitRoutine(); }

void frmMain::cmdExit_Click()
{
    // Ends the process directly; the system closes the log with the process, and every
    // line written so far is already in the file.
    EndProgram();
}

void frmMain::ExitRoutine()
{
    StepRunner ignore;
    ignore([] { CloseLog(); });
    EndProgram();
}

void frmMain::EndProgram(UINT exitCode) { m_endProcess(exitCode); }

void frmMain::Form_Resize()
{
    if (IsIconic(Hwnd()))
        return;
    RECT outer = {};
    GetWindowRect(Hwnd(), &outer);
    int width = PixelsToTwips(Hwnd(), outer.right - outer.left);
    int height = PixelsToTwips(Hwnd(), outer.bottom - outer.top);
    const bool tooNarrow = width < kMinOuterWidth;
    const bool tooLow = height < kMinOuterHeight;
    if (tooNarrow || tooLow) {
        if (tooNarrow)
            width = kMinOuterWidth;
        if (tooLow)
            height = kMinOuterHeight;
        // Setting the size may raise the resize event again from inside this one (not every
        // platform does); the controls are laid out for the final size either way.
        SetWindowPos(Hwnd(), nullptr, 0, 0, TwipsToPixels(Hwnd(), width), TwipsToPixels(Hwnd(), height),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        GetWindowRect(Hwnd(), &outer);
        width = PixelsToTwips(Hwnd(), outer.right - outer.left);
        height = PixelsToTwips(Hwnd(), outer.bottom - outer.top);
    }
    PlaceControlsTwips(width, height);
}

void frmMain::PlaceControlsTwips(int outerWidthTwips, int outerHeightTwips)
{
    SetWindowPos(m_cmdExit, nullptr, TwipsToPixels(Hwnd(), outerWidthTwips - kExitFromRight),
                 TwipsToPixels(Hwnd(), outerHeightTwips - kExitFromBottom), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(m_gridView.Hwnd(), nullptr, 0, 0, TwipsToPixels(Hwnd(), outerWidthTwips - kGridNarrower),
                 TwipsToPixels(Hwnd(), outerHeightTwips - kGridLower), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void frmMain::OnCommand(int id)
{
    switch (id) {
    case IDM_EXPORT_TO_CSV: mnuExportToCSV_Click(); break;
    case IDM_RESTORE_REMOVED: mnuRestoreRemoved_Click(); break;
    case IDM_EXIT: mnuExit_Click(); break;
    case IDM_REMOVE_MAPPING: mnuRemoveMapping_Click(); break;
    case IDM_REMOVE_DELETED: mnuRemoveDeletedAccounts_Click(); break;
    case IDM_SHOW_ONLY_CUSTOM: mnuShowOnlyCustom_Click(); break;
    case IDM_SHOW_PRIMARY: mnuShowPrimary_Click(); break;
    case IDM_SHOW_ACCOUNT_DETAILS: mnuShowAccountDetails_Click(); break;
    case IDM_SHOW_HELP: mnuShowHelp_Click(); break;
    case IDM_SHOW_ABOUT: mnuShowAbout_Click(); break;
    case IDC_CMDEXIT: cmdExit_Click(); break;
    case IDK_RELOAD: Form_KeyDownReload(); break;
    case IDK_COPY_ROW: CopySelectedRow(); break;
    default: break;
    }
}

bool frmMain::PreTranslateMessage(MSG& msg)
{
    if (m_accelerators && TranslateAcceleratorW(Hwnd(), m_accelerators.get(), &msg))
        return true;
    if (msg.message != WM_KEYDOWN)
        return false;
    if (msg.wParam == VK_TAB && !KeyDown(VK_CONTROL) && !KeyDown(VK_MENU)) {
        MoveFocus(KeyDown(VK_SHIFT));
        return true;
    }
    if (msg.wParam == VK_RETURN && msg.hwnd == m_cmdExit) {
        cmdExit_Click();
        return true;
    }
    return false;
}

// The window's tab stops, in order: the grid, then the Exit button.
void frmMain::MoveFocus(bool backwards)
{
    const HWND stops[] = {m_gridView.ListHwnd(), m_cmdExit};
    constexpr int count = static_cast<int>(std::size(stops));
    const HWND focus = GetFocus();
    int current = -1;
    for (int i = 0; i < count; ++i) {
        if (focus == stops[i] || IsChild(stops[i], focus) || (i == 0 && focus == m_gridView.Hwnd()))
            current = i;
    }
    const int next = current < 0 ? (backwards ? count - 1 : 0) : (current + (backwards ? count - 1 : 1)) % count;
    // The focus is now shown, as it is once a dialog is used from the keyboard.
    SendMessageW(Hwnd(), WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    SetFocus(stops[next]);
}

void frmMain::RestoreFocus()
{
    HWND target = m_lastFocus;
    if (!target || !IsWindow(target) || !IsChild(Hwnd(), target) || !IsWindowEnabled(target))
        target = m_gridView.ListHwnd();
    if (target && GetFocus() != target)
        SetFocus(target);
}

LRESULT frmMain::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_COMMAND:
        OnCommand(LOWORD(wParam));
        return 0;
    case WM_SIZE:
        Form_Resize();
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            // A message box, another window or another program takes over: remember where
            // the focus was, to give it back on return.
            const HWND focus = GetFocus();
            if (focus && IsChild(Hwnd(), focus))
                m_lastFocus = focus;
            return Default(msg, wParam, lParam);
        }
        if (!HIWORD(wParam))  // not minimized
            RestoreFocus();
        return 0;
    case WM_SETFOCUS:
        // The frame itself takes no keys; the focus goes on to the control that had it.
        RestoreFocus();
        return 0;
    case WM_DPICHANGED: {
        // Moved to a screen of another DPI: take the size the system proposes; the resize
        // rule then lays the controls out in twips at the new DPI, and the grid scales the
        // column widths the user sees.
        m_gridView.SetDpi(LOWORD(wParam));
        const RECT* proposed = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(Hwnd(), nullptr, proposed->left, proposed->top, proposed->right - proposed->left,
                     proposed->bottom - proposed->top, SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    case WM_SETCURSOR:
        if (m_busy) {
            SetCursor(LoadCursorW(nullptr, IDC_WAIT));
            return TRUE;
        }
        return Default(msg, wParam, lParam);
    case WM_CLOSE:
        // Closing the window is the same exit as File > Exit; the process ends before the window goes.
        ExitRoutine();
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return Default(msg, wParam, lParam);
    }
}

}  // namespace vcm
