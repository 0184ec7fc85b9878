// The progress window of bulk work: a caption, "n of N" above a progress bar, and a Stop
// button that asks the work to end after its current unit. It stays usable while the
// owner's input waits for the work.
#pragma once
#include <cstdint>
#include <string>

#include "app/LongWork.h"
#include "platform/Handles.h"
#include "platform/Window.h"

namespace vcm {

class frmProgress final : public Form {
public:
    enum : int { IDC_COUNT = 100, IDC_BAR, IDC_CMDSTOP };

    frmProgress();
    std::wstring_view Name() const override { return L"frmProgress"; }

    // Creates the window centred over owner, shows it and ties it to the runner: its
    // Stop asks the runner to stop, the runner's count shows in it.
    void Open(HWND owner, LongWorkRunner& runner);
    void frmProgress_Auto_Init();
    void ShowCount(uint64_t done, uint64_t total);
    void cmdStop_Click();

    HWND CountLabel() const { return m_count; }
    HWND Bar() const { return m_bar; }
    HWND StopButton() const { return m_cmdStop; }

    // Esc and Enter stop, as the window's only button.
    bool PreTranslateMessage(MSG& msg) override;

protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void CreateControls();

    LongWorkRunner* m_runner = nullptr;
    HWND m_count = nullptr;
    HWND m_bar = nullptr;
    HWND m_cmdStop = nullptr;
    UniqueHFont m_font;
    uint64_t m_done = 0;
    uint64_t m_total = 0;
};

}  // namespace vcm
