// The wait window: a small borderless window with one line of text that stands over the
// main window while the mappings load. Created on first use, only hidden afterwards.
#pragma once
#include <cstdint>
#include <string>

#include "platform/Handles.h"
#include "platform/Window.h"

namespace vcm {

class frmSplashScreen final : public Form {
public:
    std::wstring_view Name() const override { return L"frmSplashScreen"; }

    bool IsCreated() const { return Hwnd() != nullptr; }
    // First use only: creates the hidden window with its frame and the label holding
    // message, and registers it as a loaded form. Later calls change nothing, the text
    // included.
    void Create(const std::wstring& message);

    // The outer width, in twips.
    int WidthTwips() const;
    // Places the window's top-left corner on the screen, in twips.
    void MoveTwips(double leftTwips, double topTwips);
    // Brings the window to the front and shows it without activating it and without an
    // owner, then paints it at once: the caller goes on working without pumping messages,
    // so this is the only paint it gets.
    void ShowAndPaint();
    // Hides the window; it is never destroyed while the program runs. A count shown
    // during the last wait gives way to the message the window was made with.
    void Hide();
    // Shows "Resolving accounts: n of N" in the label while long work runs, in a font
    // that fits the label.
    void ShowCount(uint64_t done, uint64_t total);

    HWND Frame1() const { return m_frame; }
    HWND Label1() const { return m_label; }

protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    HWND m_frame = nullptr;
    HWND m_label = nullptr;
    void SetLabel(const std::wstring& text);

    std::wstring m_message;
    bool m_showsCount = false;
    UniqueHFont m_font;
};

}  // namespace vcm
