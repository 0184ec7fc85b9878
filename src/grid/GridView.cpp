#include "grid/GridView.h"

#include <windowsx.h>
#include <algorithm>
#include <string>

#include "grid/GridViewParts.h"
#include "platform/ErrorCodes.h"
#include "platform/TextConv.h"
#include "platform/Twips.h"
#include "platform/WinHelpers.h"

namespace vcm {

using namespace gridview;

namespace {
constexpr wchar_t kClassName[] = L"VeltoCredentialsMap.GridView";

void CopyText(const std::wstring& text, LVITEMW& item)
{
    if (!item.pszText || item.cchTextMax <= 0)
        return;
    const size_t count = std::min(text.size(), static_cast<size_t>(item.cchTextMax - 1));
    text.copy(item.pszText, count);
    item.pszText[count] = L'\0';
}

bool IsPermutation(std::vector<int> order, size_t count)
{
    if (order.size() != count)
        return false;
    std::sort(order.begin(), order.end());
    for (size_t i = 0; i < order.size(); ++i)
        if (order[i] != static_cast<int>(i))
            return false;
    return true;
}

bool StartsWithNoCase(const std::wstring& text, std::wstring_view prefix)
{
    return text.size() >= prefix.size() && EqualsNoCase(std::wstring_view(text).substr(0, prefix.size()), prefix);
}
}  // namespace

GridView::GridView(GridModel& model) : m_model(model) { m_model.SetObserver(this); }

GridView::~GridView()
{
    m_model.SetObserver(nullptr);
    // Destroy the window while this object is whole: the list's last messages still reach it.
    if (Hwnd())
        DestroyWindow(Hwnd());
}

void GridView::Create(HWND parent, int controlId)
{
    if (Hwnd())
        return;  // one window per view
    Window::Create({.className = kClassName,
                    .style = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_TABSTOP,
                    .x = 0,
                    .y = 0,
                    .width = 0,
                    .height = 0,
                    .parent = parent,
                    .id = controlId,
                    .background = nullptr});
    CreateList();
}

void GridView::CreateList()
{
    RECT client = {};
    GetClientRect(Hwnd(), &client);
    const DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SINGLESEL |
                        LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS;
    m_list = CreateChild({.className = WC_LISTVIEWW,
                          .style = style,
                          .exStyle = WS_EX_CLIENTEDGE,
                          .bounds = {0, 0, client.right, client.bottom},
                          .parent = Hwnd()},
                         L"CreateWindowExW(ListView)");
    m_header = ListView_GetHeader(m_list);
    m_dpi = WindowDpi(m_list);
    const DWORD exStyle = LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_HEADERDRAGDROP | LVS_EX_SUBITEMIMAGES |
                          LVS_EX_DOUBLEBUFFER;
    ListView_SetExtendedListViewStyle(m_list, exStyle);
    if (!SetWindowSubclass(m_list, &GridView::ListProc, kListSubclassId, reinterpret_cast<DWORD_PTR>(this)))
        ThrowLastError(L"SetWindowSubclass");

    CreateCheckImages();
    InsertColumns();

    ScopedFlag syncing(m_syncing);
    if (m_model.Redraw() == 0)
        SendMessageW(m_list, WM_SETREDRAW, FALSE, 0);
    UpdateItemCount(false);
    ApplyColumnOrder();
    UpdateHeaders();
    SyncSelection(false);
}

void GridView::SetDpi(UINT dpi)
{
    if (!m_list || dpi == 0 || dpi == m_dpi)
        return;
    for (int design = 0; design < m_model.Cols(); ++design) {
        if (IsHiddenColumn(design))
            continue;
        const int width = ListView_GetColumnWidth(m_list, design);
        ListView_SetColumnWidth(m_list, design, MulDiv(width, static_cast<int>(dpi), static_cast<int>(m_dpi)));
    }
    m_dpi = dpi;
}

void GridView::InsertColumns()
{
    // List column j is the model's design column j, for good; only the display order moves.
    for (int design = 0; design < m_model.Cols(); ++design) {
        const GridColumn& column = m_model.DesignColumn(design);
        LVCOLUMNW lvc = {};
        lvc.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        lvc.fmt = column.alignment == CellAlignment::Centre ? LVCFMT_CENTER : LVCFMT_LEFT;
        lvc.cx = column.hidden ? 0 : TwipsToPixels(m_list, column.widthTwips);
        std::wstring text = column.header;
        lvc.pszText = text.data();
        lvc.iSubItem = design;
        if (ListView_InsertColumn(m_list, design, &lvc) != design)
            ThrowWin32(ERROR_INVALID_DATA, L"LVM_INSERTCOLUMNW");
        m_hiddenShown.resize(static_cast<size_t>(design) + 1);
        m_hiddenShown[static_cast<size_t>(design)] = column.hidden;
        if (column.hidden) {
            // The header then offers no divider for it, so the neighbour's divider stays usable.
            HDITEMW item = {};
            item.mask = HDI_FORMAT;
            Header_GetItem(m_header, design, &item);
            item.fmt |= HDF_FIXEDWIDTH;
            Header_SetItem(m_header, design, &item);
        }
    }
}

LRESULT GridView::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_SIZE:
        if (m_list)
            MoveWindow(m_list, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return 0;
    case WM_ERASEBKGND:
        return 1;  // the list covers the whole client area
    case WM_SETFOCUS:
        if (m_list)
            SetFocus(m_list);
        return 0;
    case WM_SETFONT:
        if (m_list)
            SendMessageW(m_list, WM_SETFONT, wParam, lParam);
        return 0;
    case WM_NOTIFY:
        return OnNotify(*reinterpret_cast<NMHDR*>(lParam));
    case WM_CONTEXTMENU:
        if (OnContextMenuKey(reinterpret_cast<HWND>(wParam), lParam))
            return 0;
        return Default(msg, wParam, lParam);
    case kSyncColumnOrder:
        ReadColumnOrder();
        return 0;
    case kRezeroHidden:
        RezeroHiddenColumns();
        return 0;
    case WM_DESTROY:
        m_list = nullptr;
        m_header = nullptr;
        return 0;
    default:
        return Default(msg, wParam, lParam);
    }
}

LRESULT GridView::OnNotify(NMHDR& header)
{
    if (header.hwndFrom != m_list)
        return 0;
    switch (header.code) {
    case LVN_GETDISPINFOW:
        FillDisplayInfo(reinterpret_cast<NMLVDISPINFOW&>(header).item);
        return 0;
    case LVN_ODFINDITEMW:
        return FindItem(reinterpret_cast<NMLVFINDITEMW&>(header));
    case LVN_COLUMNCLICK:
        OnColumnClick(reinterpret_cast<NMLISTVIEW&>(header).iSubItem);
        return 0;
    case LVN_ITEMCHANGED: {
        const NMLISTVIEW& change = reinterpret_cast<NMLISTVIEW&>(header);
        if (change.iItem == -1 || ((change.uChanged & LVIF_STATE) &&
                                   ((change.uOldState ^ change.uNewState) & LVIS_SELECTED)))
            OnSelectionChanged();
        return 0;
    }
    case LVN_ODSTATECHANGED:
        OnSelectionChanged();
        return 0;
    case NM_CUSTOMDRAW:
        return OnCustomDraw(reinterpret_cast<NMLVCUSTOMDRAW&>(header));
    default:
        return 0;
    }
}

void GridView::FillDisplayInfo(LVITEMW& item) const
{
    if (item.mask & LVIF_IMAGE)
        item.iImage = -1;  // -1, not I_IMAGENONE: that leaves a blank gap in some list versions
    if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0)
        item.pszText[0] = L'\0';
    // While redraw is off the list may still hold a count the model has already cut back.
    const int row = item.iItem + 1;
    if (item.iItem < 0 || row >= m_model.Rows() || item.iSubItem < 0 || item.iSubItem >= m_model.Cols())
        return;

    const CellValue& value = m_model.DesignCell(row, item.iSubItem);
    const bool* flag = std::get_if<bool>(&value);
    if (flag && m_model.DesignColumn(item.iSubItem).boolean) {
        // The list would draw the box at the cell's left edge; while it paints, the view
        // draws it centred instead (OnCustomDraw). Anyone asking outside a paint gets it.
        if ((item.mask & LVIF_IMAGE) && !m_painting)
            item.iImage = *flag ? kCheckedImage : kUncheckedImage;
        return;
    }
    if (item.mask & LVIF_TEXT)
        CopyText(flag ? std::wstring(*flag ? L"True" : L"False") : std::get<std::wstring>(value), item);
}

// Type-ahead: the first row at or after the start whose leftmost shown text column begins
// with what was typed, wrapping round when the list asks for it.
int GridView::FindItem(const NMLVFINDITEMW& find) const
{
    if (!(find.lvfi.flags & (LVFI_STRING | LVFI_PARTIAL)) || !find.lvfi.psz)
        return -1;
    int design = -1;
    for (int position = 0; position < m_model.Cols(); ++position) {
        const GridColumn& column = m_model.ColumnAt(position);
        if (!column.hidden && !column.boolean) {
            design = m_model.DesignIndexAt(position);
            break;
        }
    }
    const int count = m_model.Rows() - 1;
    if (design < 0 || count <= 0)
        return -1;
    const std::wstring_view wanted(find.lvfi.psz);
    const bool partial = (find.lvfi.flags & LVFI_PARTIAL) != 0;
    const int start = find.iStart >= 0 && find.iStart < count ? find.iStart : 0;
    const int span = (find.lvfi.flags & LVFI_WRAP) ? count : count - start;
    for (int i = 0; i < span; ++i) {
        const int item = (start + i) % count;
        const CellValue value = m_model.DesignCell(item + 1, design);
        const std::wstring* text = std::get_if<std::wstring>(&value);
        if (text && (partial ? StartsWithNoCase(*text, wanted) : EqualsNoCase(*text, wanted)))
            return item;
    }
    return -1;
}

void GridView::OnColumnClick(int design)
{
    const std::vector<int> order = m_model.ColumnOrder();
    const auto found = std::find(order.begin(), order.end(), design);
    if (found == order.end())
        return;
    const int position = static_cast<int>(found - order.begin());
    // The first click sorts up; clicking the sorted column again turns the direction round.
    const bool ascending = !(m_model.SortColumn() == position && m_model.SortAscending());
    m_model.Sort(position, ascending);
}

void GridView::OnSelectionChanged()
{
    if (m_syncing || !m_list)
        return;
    const int selected = ListView_GetNextItem(m_list, -1, LVNI_SELECTED);
    m_model.SetRow(selected >= 0 ? selected + 1 : 0);
}

void GridView::OnGridChanged(GridChange change)
{
    if (!m_list)
        return;
    ScopedFlag syncing(m_syncing);
    switch (change) {
    case GridChange::Rows:
        UpdateItemCount(true);
        SyncSelection(false);
        break;
    case GridChange::Cells:
        UpdateHeaders();
        InvalidateRect(m_list, nullptr, FALSE);
        break;
    case GridChange::Columns:
        ApplyHiddenColumns();
        ApplyColumnOrder();
        UpdateHeaders();
        break;
    case GridChange::CurrentRow:
        SyncSelection(true);
        break;
    case GridChange::Everything:
        UpdateItemCount(false);
        ApplyHiddenColumns();
        ApplyColumnOrder();
        UpdateHeaders();
        SyncSelection(false);
        ForgetFocusedItem();
        InvalidateRect(m_list, nullptr, FALSE);
        break;
    }
}

void GridView::OnGridRedraw(bool enabled)
{
    if (!m_list)
        return;
    SendMessageW(m_list, WM_SETREDRAW, enabled ? TRUE : FALSE, 0);
    if (enabled)
        RedrawWindow(m_list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

// Appending rows leaves the rows above as they were; anything else may have moved every row.
void GridView::UpdateItemCount(bool appendOnly)
{
    const int count = std::max(0, m_model.Rows() - 1);
    const bool grew = appendOnly && count >= m_itemCount;
    if (count != m_itemCount || !appendOnly)
        ListView_SetItemCountEx(m_list, count, LVSICF_NOSCROLL | (grew ? LVSICF_NOINVALIDATEALL : 0));
    if (!grew)
        InvalidateRect(m_list, nullptr, FALSE);
    m_itemCount = count;
}

// Header texts are the model's row 0; the sorted column shows its direction.
void GridView::UpdateHeaders()
{
    const std::vector<int> order = m_model.ColumnOrder();
    const int sortedDesign = m_model.SortColumn() >= 0 && m_model.SortColumn() < m_model.Cols()
                                 ? order[static_cast<size_t>(m_model.SortColumn())]
                                 : -1;
    for (int position = 0; position < m_model.Cols(); ++position) {
        const int design = order[static_cast<size_t>(position)];
        const std::wstring text = m_model.TextMatrix(0, position);

        wchar_t current[260] = {};
        HDITEMW item = {};
        item.mask = HDI_FORMAT | HDI_TEXT;
        item.pszText = current;
        item.cchTextMax = static_cast<int>(std::size(current));
        if (!Header_GetItem(m_header, design, &item))
            continue;
        int fmt = item.fmt & ~(HDF_SORTUP | HDF_SORTDOWN);
        if (design == sortedDesign)
            fmt |= m_model.SortAscending() ? HDF_SORTUP : HDF_SORTDOWN;
        // Headers longer than the buffer always count as changed; rewriting them is harmless.
        const bool sameText = text.size() < std::size(current) - 1 && text == current;
        if (fmt == item.fmt && sameText)
            continue;
        std::wstring newText = text;
        HDITEMW update = {};
        update.mask = HDI_FORMAT | HDI_TEXT;
        update.fmt = fmt;
        update.pszText = newText.data();
        Header_SetItem(m_header, design, &update);
    }
}

void GridView::ApplyColumnOrder()
{
    std::vector<int> order = m_model.ColumnOrder();
    const int columns = Header_GetItemCount(m_header);
    // The list accepts an order that names a column twice and then shows nonsense.
    if (columns < 0 || !IsPermutation(order, static_cast<size_t>(columns)))
        return;
    std::vector<int> shown(order.size());
    if (ListView_GetColumnOrderArray(m_list, columns, shown.data()) && shown == order)
        return;
    ListView_SetColumnOrderArray(m_list, columns, order.data());
    InvalidateRect(m_list, nullptr, FALSE);
}

void GridView::ReadColumnOrder()
{
    if (!m_list)
        return;
    const int columns = Header_GetItemCount(m_header);
    if (columns <= 0)
        return;
    std::vector<int> shown(static_cast<size_t>(columns));
    if (!ListView_GetColumnOrderArray(m_list, columns, shown.data()) || shown == m_model.ColumnOrder())
        return;
    m_model.SetColumnOrder(shown);
}

void GridView::SyncSelection(bool scrollIntoView)
{
    const int row = m_model.Row();
    const int selected = ListView_GetNextItem(m_list, -1, LVNI_SELECTED);
    if (row >= 1 && row - 1 < m_itemCount) {
        if (selected != row - 1)
            ListView_SetItemState(m_list, row - 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        if (scrollIntoView)
            ListView_EnsureVisible(m_list, row - 1, FALSE);
    } else if (selected >= 0) {
        ListView_SetItemState(m_list, -1, 0, LVIS_SELECTED);
    }
}

// After a rebuild with no row selected, the keyboard starts again from the top: the list
// would otherwise move on from a row that held other data before.
void GridView::ForgetFocusedItem()
{
    if (m_model.Row() >= 1)
        return;
    const int focused = ListView_GetNextItem(m_list, -1, LVNI_FOCUSED);
    if (focused >= 0)
        ListView_SetItemState(m_list, focused, 0, LVIS_FOCUSED);
}

// A column the model hid or showed since the list last looked: zero width and no divider
// while hidden, its design width when shown again. Other columns keep the user's widths.
void GridView::ApplyHiddenColumns()
{
    m_hiddenShown.resize(static_cast<size_t>(m_model.Cols()), false);
    for (int design = 0; design < m_model.Cols(); ++design) {
        const GridColumn& column = m_model.DesignColumn(design);
        if (m_hiddenShown[static_cast<size_t>(design)] == column.hidden)
            continue;
        m_hiddenShown[static_cast<size_t>(design)] = column.hidden;
        HDITEMW item = {};
        item.mask = HDI_FORMAT;
        Header_GetItem(m_header, design, &item);
        item.fmt = column.hidden ? (item.fmt | HDF_FIXEDWIDTH) : (item.fmt & ~HDF_FIXEDWIDTH);
        Header_SetItem(m_header, design, &item);
        ListView_SetColumnWidth(m_list, design, column.hidden ? 0 : TwipsToPixels(m_list, column.widthTwips));
    }
}

void GridView::RezeroHiddenColumns()
{
    if (!m_list)
        return;
    for (int design = 0; design < m_model.Cols(); ++design)
        if (IsHiddenColumn(design) && ListView_GetColumnWidth(m_list, design) != 0)
            ListView_SetColumnWidth(m_list, design, 0);
}

bool GridView::IsHiddenColumn(int design) const
{
    return design >= 0 && design < m_model.Cols() && m_model.DesignColumn(design).hidden;
}

}  // namespace vcm
