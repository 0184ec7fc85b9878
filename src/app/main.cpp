// Program entry: common controls, the main window, the message loop.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include "app/frmMain.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand)
{
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES | ICC_LINK_CLASS};
    InitCommonControlsEx(&icc);
    // The help window hosts an ActiveX control, which needs OLE on this thread.
    const HRESULT ole = OleInitialize(nullptr);

    int exitCode = 0;
    {
        vcm::frmMain main;
        main.Load();
        main.Show(showCommand);
        exitCode = vcm::RunMessageLoop();
    }
    if (SUCCEEDED(ole))
        OleUninitialize();
    return exitCode;
}
