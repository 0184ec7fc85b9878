// The grid view's check boxes: images made for the window's DPI, drawn centred in their
// cell over whatever background the list has painted.
#include "grid/GridView.h"

#include "grid/GridViewParts.h"
#include "platform/Error.h"
#include "platform/Twips.h"

namespace vcm {

using namespace gridview;

void GridView::CreateCheckImages()
{
    const UINT dpi = WindowDpi(Hwnd());
    const int size = MulDiv(kImageSize96, static_cast<int>(dpi), 96);
    const int box = MulDiv(kBoxSize96, static_cast<int>(dpi), 96);
    m_checkImages.reset(ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, 2, 0));
    if (!m_checkImages)
        ThrowLastError(L"ImageList_Create");

    // Both boxes side by side on a key colour that becomes transparent.
    const COLORREF key = RGB(255, 0, 255);
    WindowDC screen(nullptr);
    UniqueHBitmap strip(CreateCompatibleBitmap(screen.get(), size * 2, size));
    UniqueMemoryDC memory(CreateCompatibleDC(screen.get()));
    if (!strip || !memory)
        ThrowWin32(ERROR_NOT_ENOUGH_MEMORY, L"CreateCompatibleBitmap");
    {
        SelectedObject selected(memory.get(), strip.get());
        UniqueHBrush background(CreateSolidBrush(key));
        RECT all = {0, 0, size * 2, size};
        FillRect(memory.get(), &all, background.get());
        for (int image : {kUncheckedImage, kCheckedImage}) {
            const int left = image * size + (size - box) / 2;
            const int top = (size - box) / 2;
            RECT r = {left, top, left + box, top + box};
            DrawFrameControl(memory.get(), &r, DFC_BUTTON,
                             DFCS_BUTTONCHECK | DFCS_FLAT | (image == kCheckedImage ? DFCS_CHECKED : 0));
        }
    }
    memory.reset();  // the bitmap must be out of every DC before the image list copies it
    if (ImageList_AddMasked(m_checkImages.get(), strip.get(), key) < 0)
        ThrowWin32(ERROR_INVALID_DATA, L"ImageList_AddMasked");
    ListView_SetImageList(m_list, m_checkImages.get(), LVSIL_SMALL);
}

LRESULT GridView::OnCustomDraw(NMLVCUSTOMDRAW& draw) const
{
    switch (draw.nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
        return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT:
        return CDRF_NOTIFYSUBITEMDRAW;
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
        const int design = draw.iSubItem;
        const bool check = design >= 0 && design < m_model.Cols() && m_model.DesignColumn(design).boolean;
        return check ? CDRF_NOTIFYPOSTPAINT : CDRF_DODEFAULT;
    }
    case CDDS_ITEMPOSTPAINT | CDDS_SUBITEM:
        DrawCheckBox(draw);
        return CDRF_DODEFAULT;
    default:
        return CDRF_DODEFAULT;
    }
}

// Over the background the list has painted (selection colour included), centred both ways.
void GridView::DrawCheckBox(const NMLVCUSTOMDRAW& draw) const
{
    const int item = static_cast<int>(draw.nmcd.dwItemSpec);
    const int row = item + 1;
    if (item < 0 || row >= m_model.Rows() || draw.iSubItem <= 0 || draw.iSubItem >= m_model.Cols())
        return;
    const CellValue value = m_model.DesignCell(row, draw.iSubItem);
    const bool* flag = std::get_if<bool>(&value);
    if (!flag)
        return;
    RECT cell = {};
    if (!ListView_GetSubItemRect(m_list, item, draw.iSubItem, LVIR_BOUNDS, &cell))
        return;
    int width = 0, height = 0;
    ImageList_GetIconSize(m_checkImages.get(), &width, &height);
    const int saved = SaveDC(draw.nmcd.hdc);
    IntersectClipRect(draw.nmcd.hdc, cell.left, cell.top, cell.right, cell.bottom);
    ImageList_Draw(m_checkImages.get(), *flag ? kCheckedImage : kUncheckedImage, draw.nmcd.hdc,
                   cell.left + (cell.right - cell.left - width) / 2, cell.top + (cell.bottom - cell.top - height) / 2,
                   ILD_TRANSPARENT);
    RestoreDC(draw.nmcd.hdc, saved);
}

}  // namespace vcm
