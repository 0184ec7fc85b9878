#include "localize/AboutLogos.h"

#include <cmath>
#include <initializer_list>
#include <vector>

#include "platform/Handles.h"

namespace vcm {

namespace {

// The logos are drawn, scaled from a design grid to the picture's size at any DPI.
class LogoPainter {
public:
    LogoPainter(HDC dc, const RECT& area, int designWidth, int designHeight)
        : m_dc(dc), m_area(area), m_sx(double(area.right - area.left) / designWidth),
          m_sy(double(area.bottom - area.top) / designHeight)
    {
        FillRect(dc, &area, GetSysColorBrush(COLOR_BTNFACE));
        SetBkMode(dc, TRANSPARENT);
    }

    POINT At(int x, int y) const
    {
        return {m_area.left + static_cast<LONG>(std::lround(x * m_sx)),
                m_area.top + static_cast<LONG>(std::lround(y * m_sy))};
    }

    void Polygon(std::initializer_list<POINT> designPoints, COLORREF colour) const
    {
        std::vector<POINT> points;
        for (POINT p : designPoints)
            points.push_back(At(p.x, p.y));
        Filled(colour, [&] { ::Polygon(m_dc, points.data(), static_cast<int>(points.size())); });
    }

    void RoundRect(int left, int top, int right, int bottom, int radius, COLORREF colour) const
    {
        const POINT a = At(left, top);
        const POINT b = At(right, bottom);
        const int r = static_cast<int>(std::lround(radius * m_sy));
        Filled(colour, [&] { ::RoundRect(m_dc, a.x, a.y, b.x + 1, b.y + 1, r, r); });
    }

    void Ellipse(int left, int top, int right, int bottom, COLORREF colour) const
    {
        const POINT a = At(left, top);
        const POINT b = At(right, bottom);
        Filled(colour, [&] { ::Ellipse(m_dc, a.x, a.y, b.x, b.y); });
    }

    void Text(const wchar_t* text, int left, int top, int right, int bottom, int height, int weight,
              COLORREF colour, UINT align) const
    {
        UniqueHFont font(CreateFontW(-static_cast<int>(std::lround(height * m_sy)), 0, 0, 0, weight, FALSE, FALSE,
                                     FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                     ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Tahoma"));
        SelectedObject selected(m_dc, font.get());
        SetTextColor(m_dc, colour);
        const POINT a = At(left, top);
        const POINT b = At(right, bottom);
        RECT box = {a.x, a.y, b.x, b.y};
        DrawTextW(m_dc, text, -1, &box, align | DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP);
    }

private:
    template <class Draw>
    void Filled(COLORREF colour, Draw draw) const
    {
        UniqueHBrush brush(CreateSolidBrush(colour));
        SelectedObject selectedBrush(m_dc, brush.get());
        SelectedObject selectedPen(m_dc, GetStockObject(NULL_PEN));
        draw();
    }

    HDC m_dc;
    RECT m_area;
    double m_sx;
    double m_sy;
};

constexpr COLORREF kVeltoBlue = RGB(0, 70, 127);
constexpr COLORREF kAmber = RGB(247, 148, 29);
constexpr COLORREF kNavy = RGB(20, 50, 90);

}  // namespace

void DrawVeltoLogo(HDC dc, const RECT& area)
{
    // Design grid: the picture's 146 x 58 pixels at 96 DPI.
    LogoPainter paint(dc, area, 146, 58);
    paint.RoundRect(0, 0, 145, 57, 14, kVeltoBlue);
    paint.Polygon({{10, 12}, {20, 12}, {27, 35}, {34, 12}, {44, 12}, {32, 46}, {22, 46}}, kAmber);
    paint.Text(L"Velto", 50, 5, 144, 36, 27, FW_BOLD, RGB(255, 255, 255), DT_LEFT | DT_TOP);
    paint.Text(L"Credentials Map", 51, 35, 144, 52, 11, FW_NORMAL, RGB(175, 208, 240), DT_LEFT | DT_TOP);
}

void DrawBrenvikLogo(HDC dc, const RECT& area)
{
    // Design grid: the picture's 104 x 62 pixels at 96 DPI. A sun over two peaks and a fjord.
    LogoPainter paint(dc, area, 104, 62);
    paint.Ellipse(58, 5, 79, 26, kAmber);
    paint.Polygon({{32, 41}, {56, 13}, {82, 41}}, RGB(80, 120, 160));
    paint.Polygon({{10, 41}, {35, 8}, {62, 41}}, kNavy);
    paint.RoundRect(6, 41, 98, 44, 2, RGB(0, 120, 200));
    paint.Text(L"BRENVIK", 0, 46, 104, 61, 13, FW_BOLD, kNavy, DT_CENTER | DT_TOP);
}

}  // namespace vcm
