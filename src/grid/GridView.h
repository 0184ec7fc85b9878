// The mapping grid on screen: a virtual report-style ListView over a GridModel. The view
// holds no data; it asks the model for each visible cell and turns the user's clicks,
// column drags and selection into model calls.
#pragma once
#include <functional>
#include <vector>

#include "grid/GridModel.h"
#include "platform/Handles.h"
#include "platform/Window.h"

namespace vcm {

class GridView final : public Window, private IGridObserver {
public:
    // The model must outlive the view; the view becomes its observer.
    explicit GridView(GridModel& model);
    ~GridView() override;

    // A child window (own class) hosting the ListView that fills it. The host handles the
    // ListView's notifications itself, so the parent needs no WM_NOTIFY forwarding.
    void Create(HWND parent, int controlId);
    HWND ListHwnd() const { return m_list; }

    // The window now shows at another DPI: every shown column keeps its width in inches,
    // the widths the user gave included. Hidden columns stay at zero.
    void SetDpi(UINT dpi);

    // A mouse button was pressed over the list: button 1 left, 2 right, 4 middle; shift
    // state 1 Shift, 2 Ctrl, 4 Alt; x, y in the grid's client pixels. Raised once the list
    // has handled the press, so a click's selection is already in the model.
    std::function<void(int button, int shift, int x, int y)> MouseDown;
    // The menu key or Shift+F10 asked for a context menu over the grid: x, y in the grid's
    // client pixels, under the selected row (or at the list's corner when none is selected).
    std::function<void(int x, int y)> ContextMenuKey;

protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void OnGridChanged(GridChange change) override;
    void OnGridRedraw(bool enabled) override;

    void CreateList();
    void CreateCheckImages();
    void InsertColumns();

    LRESULT OnNotify(NMHDR& header);
    void FillDisplayInfo(LVITEMW& item) const;
    LRESULT OnCustomDraw(NMLVCUSTOMDRAW& draw) const;
    void DrawCheckBox(const NMLVCUSTOMDRAW& draw) const;
    int FindItem(const NMLVFINDITEMW& find) const;
    void OnColumnClick(int design);
    void OnSelectionChanged();

    void UpdateItemCount(bool appendOnly);
    void UpdateHeaders();
    void ApplyColumnOrder();
    void ReadColumnOrder();
    void SyncSelection(bool scrollIntoView);
    void ForgetFocusedItem();
    void RezeroHiddenColumns();
    bool IsHiddenColumn(int design) const;
    void ApplyHiddenColumns();

    static LRESULT CALLBACK ListProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                     DWORD_PTR self);
    LRESULT OnListMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    bool OnHeaderNotify(const NMHDR& header, LRESULT& result);
    LRESULT OnListPress(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, int button);
    bool OnContextMenuKey(HWND from, LPARAM position);

    GridModel& m_model;
    std::vector<bool> m_hiddenShown;  // by design column: hidden as the list last showed it
    HWND m_list = nullptr;
    HWND m_header = nullptr;
    UniqueImageList m_checkImages;
    int m_itemCount = 0;
    // The DPI the column widths are measured at.
    UINT m_dpi = 96;
    // Set while the view itself changes the list, so the list's own notifications about
    // those changes are not taken for the user's doing.
    bool m_syncing = false;
    // Set while the list paints itself: check boxes are then drawn by the view, centred.
    bool m_painting = false;
};

}  // namespace vcm
