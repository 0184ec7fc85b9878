// The main window: the mapping grid, the Exit button and the menus.
#pragma once
#include "platform/Window.h"

namespace vcm {

class frmMain final : public Form {
public:
    frmMain() = default;

    // Creates the window hidden, centred on the screen, with its design client size.
    void Load();
    void Show(int showCommand);

    std::wstring_view Name() const override { return L"frmMain"; }

protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
};

}  // namespace vcm
