// What the two check-list windows (Remove Deleted Accounts, Restore Removed Mappings) share:
// a modal frame of one fixed size over a disabled owner, a report list with a check box per
// row, and the action and Cancel buttons at the bottom right, all measured in twips.
#pragma once
#include <windows.h>

#include <functional>
#include <span>
#include <string>

#include "platform/Handles.h"
#include "platform/Window.h"

namespace vcm {

namespace checklist {

inline constexpr int kClientWidth = 9600;
inline constexpr int kClientHeight = 5400;
inline constexpr int kMargin = 120;

// A rectangle given in twips, in the window's pixels.
RECT Twips(HWND window, int x, int y, int width, int height);
// The list's column captions from the catalogue.
void SetCaptions(HWND list, std::span<const int> catalogueIds);
// Appends a row: the first cell as the item, the others as its columns.
int AddRow(HWND list, std::span<const std::wstring> cells);

}  // namespace checklist

class CheckListForm : public Form {
public:
    ~CheckListForm() override;

    HWND List() const noexcept { return m_list; }
    void cmdCancel_Click() { Close(); }

protected:
    // actionId: the control id of the action button; Cancel is IDCANCEL, so that Esc reaches it.
    explicit CheckListForm(int actionId) : m_actionId(actionId) {}

    // Creates the hidden frame of that class, owned by `owner`, and registers the form.
    void CreateFrame(const wchar_t* className, HWND owner);
    // The message font, the list from `listTop` (twips) down to the buttons with one column
    // per width in twips, and the two buttons.
    void CreateListAndButtons(int listId, int listTop, std::span<const int> columnWidths);
    // Shows the created window modally over m_owner, with the focus in the list, until it is
    // closed; `preTranslate` sees each message first and may take it.
    void ShowOverOwner(const std::function<bool(MSG&)>& preTranslate = {});
    // Gives the owner back its input before the window goes, so that activation returns to it.
    void Close();
    // The action button was pressed.
    virtual void OnAction() = 0;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

    HWND m_list = nullptr;
    HWND m_cmdAction = nullptr;
    HWND m_cmdCancel = nullptr;
    HWND m_owner = nullptr;
    UniqueHFont m_font;

private:
    int m_actionId;
};

}  // namespace vcm
