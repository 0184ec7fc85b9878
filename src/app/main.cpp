// Program entry: the command-line report when there are arguments; otherwise common controls
// and OLE, the main window with its startup sequence, the message loop. Every exit of the
// main window (Exit, File > Exit, closing it, a refused start) ends the process in
// ExitProcess, so the loop below does not return then and the destructors at the end of
// this function do not run: the system takes back the windows, the log file and OLE with the
// process. They run only when the loop ends by itself or the main window could not be created.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include "app/ReportCommand.h"
#include "app/frmMain.h"
#include "platform/Dialogs.h"
#include "platform/Error.h"
#include "platform/Handles.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand)
{
    // With arguments the program is the command-line report, which creates no window.
    if (const std::vector<std::wstring> arguments = vcm::CommandLineArguments(); !arguments.empty())
        return vcm::RunReportCommand(vcm::ParseReportCall(arguments));

    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES | ICC_LINK_CLASS};
    InitCommonControlsEx(&icc);
    // The help window hosts the browser control, which needs OLE on this thread.
    const vcm::OleScope ole;

    int exitCode = 0;
    try {
        vcm::Win32Dialogs dialogs;
        vcm::frmMain main(dialogs);
        main.Create();
        dialogs.SetOwner(main.Hwnd());
        main.Form_Load();
        main.Show(showCommand);
        exitCode = vcm::RunMessageLoop();
    } catch (const vcm::Error& e) {
        // Only the creation of the main window itself can end up here.
        MessageBoxW(nullptr, e.Description().c_str(), vcm::kAppTitle, MB_OK | MB_ICONERROR);
        exitCode = 1;
    }
    return exitCode;
}
