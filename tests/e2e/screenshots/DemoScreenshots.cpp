// Takes the README's pictures of the tool on the demo environment: starts the program in
// the demo folder, saves its main window, opens a removal's confirmation through the
// grid's popup menu, saves the box, answers No, ticks View > Show Account Details on a wider
// window and saves it, saves the help and About windows, removes the deleted accounts'
// mappings through Edit > Remove Deleted Accounts (saving the preview and the summary) and
// leaves by File > Exit.
//   vcm_demo_screenshots <demo folder> <output folder>      (host paths under Wine)
// Writes main-window.bmp, confirm-removal.bmp, account-details.bmp, help.bmp, about.bmp,
// remove-deleted.bmp and remove-deleted-summary.bmp; exits with 0 when all were taken.
#include <windows.h>

#include <cstdio>
#include <memory>

#include "Driver.h"

using namespace vcm::e2e;

namespace {

int Fail(const char* what)
{
    std::fprintf(stderr, "vcm_demo_screenshots: %s\n", what);
    return 1;
}

// Lets a window finish painting before it is photographed.
void LetPaint(HWND window)
{
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(500);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
        return Fail("usage: vcm_demo_screenshots <demo folder> <output folder>");
    const std::wstring output = HostPath(argv[2]);
    try {
        Program program(HostPath(argv[1]));
        const HWND main = program.WaitForMainWindow();
        if (!main)
            return Fail("the main window did not appear");
        Activate(main);
        LetPaint(main);
        if (!SaveWindowBitmap(main, output + L"\\main-window.bmp"))
            return Fail("could not save the main window");

        GridProbe grid(program, main);
        if (grid.Count() < 2 || !PickFromRowPopup(program, main, grid, 1, 0))
            return Fail("could not ask for a removal");
        const auto confirm = WaitForMessageBox(program);
        if (!confirm)
            return Fail("no confirmation appeared");
        LetPaint(confirm->box);
        const bool saved = SaveWindowBitmap(confirm->box, output + L"\\confirm-removal.bmp");
        Press(confirm->box, IDNO);
        WaitUntil([&] { return MessageBoxes(program).empty(); }, 5000);
        if (!saved)
            return Fail("could not save the confirmation");

        RECT was = {};
        GetWindowRect(main, &was);
        SetWindowPos(main, nullptr, 0, was.top, 1120, was.bottom - was.top, SWP_NOZORDER);
        PickMenu(main, 2, 2);  // View > Show Account Details
        LetPaint(main);
        const bool details = SaveWindowBitmap(main, output + L"\\account-details.bmp");
        PickMenu(main, 2, 2);
        SetWindowPos(main, nullptr, was.left, was.top, was.right - was.left, was.bottom - was.top, SWP_NOZORDER);
        if (!details)
            return Fail("could not save the main window with the account details");

        PickMenu(main, 3, 0);  // Help > Help
        const HWND help = program.WaitForWindow(L"VeltoCredentialsMap.frmHelp", 10000);
        if (!help)
            return Fail("the help window did not appear");
        Sleep(2000);  // the page, or its text in place of a browser that cannot show it
        LetPaint(help);
        if (!SaveWindowBitmap(help, output + L"\\help.bmp"))
            return Fail("could not save the help window");
        PostMessageW(help, WM_CLOSE, 0, 0);

        Activate(main);
        PickMenu(main, 3, 1);  // Help > About
        const HWND about = program.WaitForWindow(L"VeltoCredentialsMap.frmAbout", 10000);
        if (!about)
            return Fail("the About window did not appear");
        LetPaint(about);
        if (!SaveWindowBitmap(about, output + L"\\about.bmp"))
            return Fail("could not save the About window");
        PressKey(VK_ESCAPE);
        WaitUntil([&] { return !IsWindowVisible(about); }, 5000);

        Activate(main);
        PickMenu(main, 1, 1);  // Edit > Remove Deleted Accounts
        const HWND preview = program.WaitForWindow(L"VeltoCredentialsMap.frmRemoveDeleted", 10000);
        if (!preview)
            return Fail("the Remove Deleted Accounts window did not appear");
        LetPaint(preview);
        if (!SaveWindowBitmap(preview, output + L"\\remove-deleted.bmp"))
            return Fail("could not save the Remove Deleted Accounts window");
        PostMessageW(GetDlgItem(preview, 102), BM_CLICK, 0, 0);  // Remove Checked
        const auto question = WaitForMessageBox(program);
        if (!question)
            return Fail("the bulk question did not appear");
        Press(question->box, IDYES);
        WaitUntil([&] { return MessageBoxes(program).empty(); }, 5000);
        const auto summary = WaitForMessageBox(program, 30000);
        if (!summary)
            return Fail("no summary appeared");
        LetPaint(summary->box);
        const bool summarySaved = SaveWindowBitmap(summary->box, output + L"\\remove-deleted-summary.bmp");
        Press(summary->box, IDOK);
        WaitUntil([&] { return MessageBoxes(program).empty(); }, 5000);
        if (!summarySaved)
            return Fail("could not save the summary");

        Activate(main);
        PickMenu(main, 0, 2);  // File > Exit
        if (!program.WaitForExit(10000))
            return Fail("the program did not end");
        return 0;
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
}
