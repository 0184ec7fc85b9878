// The grid's view: a real ListView under the test display, driven through the model and
// through posted mouse input.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "WindowTesting.h"
#include "app/frmSplashScreen.h"
#include "grid/GridView.h"
#include "mapping/MappingGrid.h"
#include "mapping/RowClipboard.h"
#include "platform/TextConv.h"
#include "platform/Twips.h"

namespace vcm {

using test::Centre;
using test::Click;
using test::Drag;
using test::Pump;

namespace {
struct Press {
    int button, shift, x, y;
};

class GridViewTest : public testing::Test {
protected:
    void SetUp() override
    {
        parent = test::CreateTestParent(L"Grid", 640, 360);
        ASSERT_TRUE(parent);
        view = std::make_unique<GridView>(model);
        view->Create(parent, 101);
        RECT client = {};
        GetClientRect(parent, &client);
        SetWindowPos(view->Hwnd(), nullptr, 0, 0, client.right, client.bottom, SWP_NOZORDER);
        view->MouseDown = [this](int button, int shift, int x, int y) { presses.push_back({button, shift, x, y}); };
        list = view->ListHwnd();
        header = ListView_GetHeader(list);
        Pump();
    }

    void TearDown() override
    {
        view.reset();
        DestroyWindow(parent);
        Pump();
    }

    void AddRow(const std::wstring& domain, const std::wstring& alias, bool primary, const std::wstring& velto)
    {
        model.SetRows(model.Rows() + 1);
        const int row = model.Rows() - 1;
        model.SetCell(row, model.ColIndex(kKeyADDomain), domain);
        model.SetCell(row, model.ColIndex(kKeyADAlias), alias);
        model.SetCell(row, model.ColIndex(kKeyPrimary), primary);
        model.SetCell(row, model.ColIndex(kKeyVeltoAlias), velto);
        model.SetCell(row, model.ColIndex(kKeySID), L"key-" + alias);
    }

    int ItemCount() const { return ListView_GetItemCount(list); }

    // The text the list shows for an item in a design column.
    std::wstring ItemText(int item, int design) const
    {
        wchar_t buffer[256] = L"unset";
        LVITEMW lvi = {};
        lvi.iSubItem = design;
        lvi.pszText = buffer;
        lvi.cchTextMax = 256;
        SendMessageW(list, LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(&lvi));
        return buffer;
    }

    int ItemImage(int item, int design) const
    {
        LVITEMW lvi = {};
        lvi.mask = LVIF_IMAGE;
        lvi.iItem = item;
        lvi.iSubItem = design;
        lvi.iImage = -99;
        SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&lvi));
        return lvi.iImage;
    }

    std::vector<std::wstring> ShownColumn(int design) const
    {
        std::vector<std::wstring> texts;
        for (int item = 0; item < ItemCount(); ++item)
            texts.push_back(ItemText(item, design));
        return texts;
    }

    HDITEMW HeaderItem(int design, std::wstring* text = nullptr) const
    {
        static wchar_t buffer[256];
        HDITEMW item = {};
        item.mask = HDI_FORMAT | HDI_TEXT | HDI_WIDTH;
        item.pszText = buffer;
        item.cchTextMax = 256;
        Header_GetItem(header, design, &item);
        if (text)
            *text = buffer;
        return item;
    }

    RECT HeaderRect(int design) const
    {
        RECT r = {};
        Header_GetItemRect(header, design, &r);
        return r;
    }

    std::vector<int> ShownOrder() const
    {
        std::vector<int> order(static_cast<size_t>(model.Cols()));
        ListView_GetColumnOrderArray(list, model.Cols(), order.data());
        return order;
    }

    // A point inside a cell, in the list's client coordinates.
    POINT CellPoint(int item, int design) const
    {
        RECT r = {};
        ListView_GetSubItemRect(list, item, design, LVIR_BOUNDS, &r);
        return Centre(r);
    }

    GridModel model{MappingGridColumns()};
    HWND parent = nullptr;
    std::unique_ptr<GridView> view;
    HWND list = nullptr;
    HWND header = nullptr;
    std::vector<Press> presses;
};

constexpr int kDomain = 1, kAlias = 2, kPrimary = 3, kVelto = 4, kSid = 5;  // design indexes
}  // namespace

TEST_F(GridViewTest, ListFollowsTheModel)
{
    const DWORD style = GetWindowLongW(list, GWL_STYLE);
    EXPECT_EQ(style & (LVS_TYPEMASK | LVS_OWNERDATA | LVS_SINGLESEL | LVS_EDITLABELS),
              static_cast<DWORD>(LVS_REPORT | LVS_OWNERDATA | LVS_SINGLESEL));
    const UINT dpi = WindowDpi(list);
    const std::vector<std::pair<int, int>> widths = {{0, 0},   {kDomain, 2040}, {kAlias, 2100},
                                                     {kPrimary, 960}, {kVelto, 1980}, {kSid, 0}};
    for (auto [design, twips] : widths)
        EXPECT_EQ(ListView_GetColumnWidth(list, design), TwipsToPixels(twips, dpi)) << "column " << design;

    AddRow(L"VM", L"alice", true, L"ALICE");
    AddRow(L"", L"Everyone", false, L"ERROR!");
    EXPECT_EQ(ItemCount(), 2);
    EXPECT_EQ(ItemText(0, kAlias), L"alice");
    EXPECT_EQ(ItemText(1, kVelto), L"ERROR!");
    EXPECT_EQ(ItemText(1, kDomain), L"");
    EXPECT_EQ(ItemText(0, kSid), L"key-alice") << "hidden, but there";
    EXPECT_EQ(ItemText(0, kPrimary), L"") << "a check box, not the word";
    EXPECT_EQ(ItemImage(0, kPrimary), 1);
    EXPECT_EQ(ItemImage(1, kPrimary), 0);
    EXPECT_EQ(ItemImage(0, kAlias), -1) << "text cells have no image";
    EXPECT_EQ(ItemImage(0, 0), -1);

    // Row 0 is the header: writing it renames the column, wherever it stands.
    model.MoveColumn(model.ColIndex(kKeyADAlias), 1);
    model.SetCell(0, model.ColIndex(kKeyADAlias), std::wstring(L"AD-Konto"));
    std::wstring text;
    HeaderItem(kAlias, &text);
    EXPECT_EQ(text, L"AD-Konto");
    HeaderItem(kDomain, &text);
    EXPECT_EQ(text, L"Domain");
    EXPECT_EQ(ItemText(0, kAlias), L"alice") << "a column move changes no cell";

    // Loading with redraw off: the list learns the new rows when redraw comes back.
    model.SetRedraw(0);
    model.SetRows(1);
    for (int i = 0; i < 5; ++i)
        AddRow(L"D", L"user" + std::to_wstring(i), false, L"u");
    EXPECT_EQ(ItemCount(), 2) << "nothing announced while redraw is off";
    EXPECT_EQ(ItemText(1, kAlias), L"user1") << "the list reads the model as it is";
    model.SetRedraw(2);
    EXPECT_EQ(ItemCount(), 5);
    EXPECT_EQ(ItemText(4, kAlias), L"user4");

    // Cutting back with redraw off: the list still counts 5 but must not read past the model.
    model.SetRedraw(0);
    model.SetRows(1);
    EXPECT_EQ(ItemText(4, kAlias), L"");
    model.SetRedraw(2);
    EXPECT_EQ(ItemCount(), 0);

    AddRow(L"D", L"a", false, L"x");
    AddRow(L"D", L"b", false, L"x");
    AddRow(L"D", L"c", false, L"x");
    model.RemoveItem(2);
    EXPECT_EQ(ShownColumn(kAlias), (std::vector<std::wstring>{L"a", L"c"}));
}

TEST_F(GridViewTest, CheckBoxIsPaintedOnceInTheMiddleOfItsCell)
{
    AddRow(L"VM", L"alice", true, L"a");
    AddRow(L"VM", L"bob", false, L"b");
    RECT client = {};
    GetClientRect(list, &client);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(memory, bitmap);
    SendMessageW(list, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT | PRF_ERASEBKGND);

    struct Case {
        const char* what;
        int item;
    };
    std::vector<int> inked;
    for (const Case& c : {Case{"checked", 0}, Case{"unchecked", 1}}) {
        RECT cell = {};
        ListView_GetSubItemRect(list, c.item, kPrimary, LVIR_BOUNDS, &cell);
        const COLORREF background = GetPixel(memory, cell.left + 2, cell.top + 2);
        // The columns of the cell (inside its grid lines) where anything but background was painted.
        int first = -1, last = -1, count = 0;
        for (int x = cell.left + 1; x < cell.right - 1; ++x)
            for (int y = cell.top + 1; y < cell.bottom - 1; ++y)
                if (GetPixel(memory, x, y) != background) {
                    first = first < 0 ? x : first;
                    last = x;
                    ++count;
                }
        ASSERT_GE(first, 0) << c.what << ": a box was painted";
        const int boxCentre = (first + last) / 2;
        const int cellCentre = (cell.left + cell.right) / 2;
        EXPECT_LE(std::abs(boxCentre - cellCentre), 2) << c.what << ": box at " << first << ".." << last
                                                       << " in cell " << cell.left << ".." << cell.right;
        EXPECT_LE(last - first, 20) << c.what << ": one box, not two";
        inked.push_back(count);
    }
    EXPECT_GT(inked[0], inked[1]) << "the tick adds ink";
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
}

TEST_F(GridViewTest, HeaderClickSortsAndShowsTheDirection)
{
    AddRow(L"b.example", L"carol", false, L"c");
    AddRow(L"a.example", L"Bob", true, L"b");
    AddRow(L"c.example", L"alice", false, L"a");
    AddRow(L"a.example", L"dave", true, L"d");

    struct Case {
        const char* what;
        int clicked;  // design index
        std::vector<std::wstring> aliases;
        int arrow;  // HDF_SORTUP or HDF_SORTDOWN on the clicked header
    };
    const std::vector<Case> cases = {
        {"first click sorts up, case-blind", kAlias, {L"alice", L"Bob", L"carol", L"dave"}, HDF_SORTUP},
        {"second click on it sorts down", kAlias, {L"dave", L"carol", L"Bob", L"alice"}, HDF_SORTDOWN},
        {"third click up again", kAlias, {L"alice", L"Bob", L"carol", L"dave"}, HDF_SORTUP},
        {"another column starts up, ties keep their order", kDomain, {L"Bob", L"dave", L"carol", L"alice"}, HDF_SORTUP},
        {"check boxes sort unchecked first", kPrimary, {L"carol", L"alice", L"Bob", L"dave"}, HDF_SORTUP},
        {"and checked first when clicked again", kPrimary, {L"Bob", L"dave", L"carol", L"alice"}, HDF_SORTDOWN},
    };
    for (const Case& c : cases) {
        Click(header, Centre(HeaderRect(c.clicked)));
        EXPECT_EQ(ShownColumn(kAlias), c.aliases) << c.what;
        for (int design = 0; design < model.Cols(); ++design) {
            const int arrow = HeaderItem(design).fmt & (HDF_SORTUP | HDF_SORTDOWN);
            EXPECT_EQ(arrow, design == c.clicked ? c.arrow : 0) << c.what << ", header " << design;
        }
    }
}

TEST_F(GridViewTest, DraggedColumnKeepsLookupByKeyRight)
{
    AddRow(L"VM", L"alice", false, L"a");
    // The user drags AD Alias onto the left part of Domain.
    const RECT domain = HeaderRect(kDomain);
    Drag(header, Centre(HeaderRect(kAlias)), {domain.left + 4, (domain.top + domain.bottom) / 2});
    EXPECT_EQ(ShownOrder(), (std::vector<int>{0, kAlias, kDomain, kPrimary, kVelto, kSid}));
    EXPECT_EQ(model.ColIndex(kKeyADAlias), 1);
    EXPECT_EQ(model.ColIndex(kKeyADDomain), 2);
    EXPECT_EQ(model.TextMatrix(1, model.ColIndex(kKeyADAlias)), L"alice");

    // A sort by header click after the move sorts the clicked column.
    AddRow(L"AA", L"zed", false, L"z");
    Click(header, Centre(HeaderRect(kDomain)));
    EXPECT_EQ(model.SortColumn(), model.ColIndex(kKeyADDomain));
    EXPECT_EQ(ShownColumn(kAlias), (std::vector<std::wstring>{L"zed", L"alice"}));

    // The model can move columns too, and the list shows its order.
    model.MoveColumn(model.ColIndex(kKeyVeltoAlias), 1);
    EXPECT_EQ(ShownOrder(), (std::vector<int>{0, kVelto, kAlias, kDomain, kPrimary, kSid}));
}

TEST_F(GridViewTest, HiddenColumnsStayHidden)
{
    AddRow(L"VM", L"alice", false, L"a");
    const int domainWidth = ListView_GetColumnWidth(list, kDomain);
    const int y = (HeaderRect(kDomain).top + HeaderRect(kDomain).bottom) / 2;

    // The same drag that widens a visible column leaves a hidden one at zero.
    Drag(header, {HeaderRect(kDomain).right, y}, {HeaderRect(kDomain).right + 40, y});
    EXPECT_GT(ListView_GetColumnWidth(list, kDomain), domainWidth) << "the drag reaches the header";

    struct Attempt {
        const char* what;
        int design;
        int dx;
    };
    for (const Attempt& a : {Attempt{"SID divider", kSid, 0}, Attempt{"just right of it", kSid, 2},
                             Attempt{"column 0 divider", 0, 0}, Attempt{"just right of column 0", 0, 2}}) {
        const int x = HeaderRect(a.design).right + a.dx;
        Drag(header, {x, y}, {x + 60, y});
        PostMessageW(header, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(x, y));
        PostMessageW(header, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
        Pump();
        EXPECT_EQ(ListView_GetColumnWidth(list, kSid), 0) << a.what;
        EXPECT_EQ(ListView_GetColumnWidth(list, 0), 0) << a.what;
    }

    // Any other way to a width (keyboard auto-size, a program) is taken back.
    ListView_SetColumnWidth(list, kSid, 80);
    Pump();
    EXPECT_EQ(ListView_GetColumnWidth(list, kSid), 0);
}

TEST_F(GridViewTest, MousePressesAndSelectionReachTheModel)
{
    for (int i = 0; i < 4; ++i)
        AddRow(L"VM", L"user" + std::to_wstring(i), i == 1, L"u");

    POINT origin = {0, 0};
    ClientToScreen(list, &origin);
    ScreenToClient(view->Hwnd(), &origin);  // the list's client origin inside the grid

    struct Case {
        const char* what;
        UINT down;
        WPARAM keys;
        int item;
        int button, shift;
        int rowAfter;
    };
    const std::vector<Case> cases = {
        {"left press selects the row", WM_LBUTTONDOWN, 0, 2, 1, 0, 3},
        {"right press", WM_RBUTTONDOWN, 0, 1, 2, 0, -1},
        {"middle press", WM_MBUTTONDOWN, 0, 1, 4, 0, -1},
        {"shift and ctrl are told", WM_RBUTTONDOWN, MK_SHIFT | MK_CONTROL, 3, 2, 3, -1},
        {"left press on another row", WM_LBUTTONDOWN, 0, 0, 1, 0, 1},
    };
    for (const Case& c : cases) {
        presses.clear();
        const POINT at = CellPoint(c.item, kAlias);
        Click(list, at, c.down, c.keys);
        ASSERT_EQ(presses.size(), 1u) << c.what;
        EXPECT_EQ(presses[0].button, c.button) << c.what;
        EXPECT_EQ(presses[0].shift, c.shift) << c.what;
        EXPECT_EQ(presses[0].x, at.x + origin.x) << c.what << ": grid client pixels";
        EXPECT_EQ(presses[0].y, at.y + origin.y) << c.what;
        if (c.rowAfter >= 0)
            EXPECT_EQ(model.Row(), c.rowAfter) << c.what;
    }

    // A press below the last row leaves nothing selected.
    RECT last = {};
    ListView_GetItemRect(list, 3, &last, LVIR_BOUNDS);
    Click(list, {CellPoint(3, kAlias).x, last.bottom + 30});
    EXPECT_EQ(model.Row(), 0);
    EXPECT_EQ(ListView_GetNextItem(list, -1, LVNI_SELECTED), -1);

    // The model's current row shows as the selection, and follows a sort.
    model.SetRow(2);
    EXPECT_EQ(ListView_GetNextItem(list, -1, LVNI_SELECTED), 1);
    Click(header, Centre(HeaderRect(kPrimary)));  // user1 is the only checked row: it goes last
    EXPECT_EQ(model.TextMatrix(model.Row(), model.ColIndex(kKeyADAlias)), L"user1");
    EXPECT_EQ(ListView_GetNextItem(list, -1, LVNI_SELECTED), 3);
    model.RemoveItem(4);
    EXPECT_EQ(ListView_GetNextItem(list, -1, LVNI_SELECTED), model.Row() - 1);
    model.SetRow(0);
    EXPECT_EQ(ListView_GetNextItem(list, -1, LVNI_SELECTED), -1);
}

// The menu key and Shift+F10 reach the list as a context menu without a position; the
// view reports where the popup belongs. A request with a position (a right-click) or from
// another window is left to the parent.
TEST_F(GridViewTest, ContextMenuKeyPlacesThePopupUnderTheSelectedRow)
{
    AddRow(L"SALES", L"ann", false, L"ann");
    AddRow(L"SALES", L"bob", false, L"bob");
    AddRow(L"SALES", L"cy", false, L"cy");
    std::vector<POINT> requests;
    view->ContextMenuKey = [&](int x, int y) { requests.push_back({x, y}); };
    struct Row {
        int selectedRow;  // model row; 0 for none
        LPARAM position;
        bool fromList;
        bool reported;
    };
    const Row rows[] = {
        {2, -1, true, true},                   // keyboard, a row selected: under that row
        {0, -1, true, true},                   // keyboard, nothing selected: the list's corner
        {2, MAKELPARAM(40, 40), true, false},  // mouse: the press event has handled it
        {2, -1, false, false},                 // passed on from some other window
    };
    for (const Row& row : rows) {
        requests.clear();
        model.SetRow(row.selectedRow);
        Pump();
        // One from elsewhere reaches the view straight, naming its own window.
        const HWND to = row.fromList ? list : view->Hwnd();
        const HWND from = row.fromList ? list : parent;
        SendMessageW(to, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(from), row.position);
        ASSERT_EQ(requests.size(), row.reported ? 1u : 0u) << row.selectedRow << " " << row.position;
        if (!row.reported)
            continue;
        POINT expected = {0, 0};
        RECT label = {};
        if (row.selectedRow > 0 && ListView_GetItemRect(list, row.selectedRow - 1, &label, LVIR_LABEL))
            expected = {label.left, label.bottom};
        MapWindowPoints(list, view->Hwnd(), &expected, 1);
        EXPECT_EQ(requests[0].x, expected.x);
        EXPECT_EQ(requests[0].y, expected.y);
        if (row.selectedRow > 0)
            EXPECT_GT(requests[0].y, 0) << "below the row, not at the corner";
    }
}

TEST_F(GridViewTest, TypingFindsRowsByTheLeftmostShownColumn)
{
    for (const wchar_t* alias : {L"anna", L"Bert", L"bob", L"carl"})
        AddRow(L"VM", alias, false, L"x");
    model.MoveColumn(model.ColIndex(kKeyADAlias), 1);  // AD Alias is now the leftmost shown column

    struct Case {
        const char* what;
        const wchar_t* typed;
        UINT flags;
        int start;
        int found;
    };
    const std::vector<Case> cases = {
        {"prefix, case-blind", L"B", LVFI_PARTIAL | LVFI_STRING, -1, 1},
        {"wraps round to the top", L"an", LVFI_PARTIAL | LVFI_STRING | LVFI_WRAP, 2, 0},
        {"no wrap, no match above", L"an", LVFI_PARTIAL | LVFI_STRING, 2, -1},
        {"whole text", L"BOB", LVFI_STRING, -1, 2},
        {"whole text is not a prefix", L"bo", LVFI_STRING, -1, -1},
        {"nothing like it", L"zed", LVFI_PARTIAL | LVFI_STRING | LVFI_WRAP, -1, -1},
    };
    for (const Case& c : cases) {
        LVFINDINFOW find = {};
        find.flags = c.flags;
        find.psz = c.typed;
        EXPECT_EQ(ListView_FindItem(list, c.start, &find), c.found) << c.what;
    }
}

TEST_F(GridViewTest, HundredThousandRowsLoadAndSort)
{
    constexpr int kRows = 100000;
    const auto start = std::chrono::steady_clock::now();
    model.SetRedraw(0);
    model.SetRows(1);
    for (int i = 0; i < kRows; ++i) {
        // Aliases in a scrambled order so that the sort has work to do.
        const int n = static_cast<int>((static_cast<long long>(i) * 7919) % kRows);
        AddRow(L"VM", L"user" + std::to_wstring(100000 + n), n % 3 == 0, L"u");
    }
    model.SetRedraw(2);
    Pump();
    const auto loaded = std::chrono::steady_clock::now();
    EXPECT_EQ(ItemCount(), kRows);

    Click(header, Centre(HeaderRect(kAlias)));
    Pump();
    const auto sorted = std::chrono::steady_clock::now();
    EXPECT_EQ(ItemText(0, kAlias), L"user100000");
    EXPECT_EQ(ItemText(kRows - 1, kAlias), L"user199999");
    using ms = std::chrono::milliseconds;
    std::printf("load %lld ms, sort %lld ms\n",
                static_cast<long long>(std::chrono::duration_cast<ms>(loaded - start).count()),
                static_cast<long long>(std::chrono::duration_cast<ms>(sorted - loaded).count()));
}

}  // namespace vcm

namespace vcm {

// Not a check: with VCM_SHOW_MS set, shows the wait window (painted once, no message
// pumping, as during a load) and then a filled grid for that many milliseconds each, so
// that a person can take screenshots of the test display.
TEST(GridLook, ShowForScreenshots)
{
    const char* show = std::getenv("VCM_SHOW_MS");
    if (!show)
        GTEST_SKIP() << "set VCM_SHOW_MS to look at the windows";
    const DWORD ms = static_cast<DWORD>(std::atoi(show));

    frmSplashScreen splash;
    splash.Create(L"Gathering credential information, please wait...");
    splash.MoveTwips(1440, 1440);
    splash.ShowAndPaint();
    Sleep(ms);  // what a load does: no messages handled
    splash.Hide();

    GridModel model(MappingGridColumns());
    HWND parent = test::CreateTestParent(L"Grid", 500, 320);
    GridView view(model);
    view.Create(parent, 101);
    RECT client = {};
    GetClientRect(parent, &client);
    SetWindowPos(view.Hwnd(), nullptr, 0, 0, client.right, client.bottom - 40, SWP_NOZORDER);
    model.SetRedraw(0);
    const struct {
        const wchar_t *domain, *alias;
        bool primary;
        const wchar_t* velto;
    } rows[] = {{L"VM", L"root", true, L"rootmail"},    {L"BUILTIN", L"Administrators", false, L"admins"},
                {L"", L"Everyone", false, L"ERROR!"},   {L"VM", L"Administrator", true, L"adm"},
                {L"NT AUTHORITY", L"SYSTEM", false, L"sys"}};
    for (const auto& r : rows) {
        model.SetRows(model.Rows() + 1);
        const int row = model.Rows() - 1;
        model.SetCell(row, model.ColIndex(kKeyADDomain), std::wstring(r.domain));
        model.SetCell(row, model.ColIndex(kKeyADAlias), std::wstring(r.alias));
        model.SetCell(row, model.ColIndex(kKeyPrimary), r.primary);
        model.SetCell(row, model.ColIndex(kKeyVeltoAlias), std::wstring(r.velto));
        model.SetCell(row, model.ColIndex(kKeySID), std::wstring(L"0x0001"));
    }
    model.SetRedraw(2);
    model.Sort(model.ColIndex(kKeyADAlias), true);
    model.SetRow(4);
    SetFocus(view.ListHwnd());
    test::PumpFor(ms);
    DestroyWindow(parent);
}

}  // namespace vcm

namespace vcm {

// Ctrl+C on the grid copies this line: the selected row's shown columns, tab-separated,
// in the order the user sees them; nothing when no row is selected.
TEST_F(GridViewTest, SelectedRowReadsAsOneTabbedLineInShownOrder)
{
    AddRow(L"SALES", L"M\u00FCller", true, L"mmueller");
    AddRow(L"", L"\u7528\u6237", false, L"user\tx");
    struct Case {
        const char* name;
        std::vector<int> order;  // design index per position
        int row;                 // 0: none selected
        std::optional<std::wstring> expected;
    };
    const Case cases[] = {
        {"design order, primary as 1", {0, 1, 2, 3, 4, 5}, 1, L"SALES\tM\u00FCller\t1\tmmueller"},
        {"unchecked as 0, empty domain, text beyond Latin-1, a tab quoted", {0, 1, 2, 3, 4, 5}, 2,
         L"\t\u7528\u6237\t0\t\"user\tx\""},
        {"Velto Alias dragged first, Primary last", {0, 4, 1, 2, 5, 3}, 1, L"mmueller\tSALES\tM\u00FCller\t1"},
        {"no row selected", {0, 1, 2, 3, 4, 5}, 0, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(model.SetColumnOrder(c.order));
        model.SetRow(c.row);
        EXPECT_EQ(SelectedRowLine(model), c.expected);
    }
}

namespace {

// A line read back the way a spreadsheet pastes it: tab-separated fields, a field that
// opens with a double quote runs to its closing quote, with "" for a quote inside.
std::vector<std::wstring> PastedFields(const std::wstring& line)
{
    std::vector<std::wstring> fields(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const wchar_t c = line[i];
        if (quoted && c == L'"' && i + 1 < line.size() && line[i + 1] == L'"')
            fields.back() += line[++i];
        else if (c == L'"' && (quoted || fields.back().empty()))
            quoted = !quoted;
        else if (c == L'\t' && !quoted)
            fields.emplace_back();
        else
            fields.back() += c;
    }
    return fields;
}

}  // namespace

// Whatever the values hold, the copied line pastes as exactly the shown columns.
TEST(RowClipboard, LineReadsBackAsExactlyTheShownFields)
{
    const std::vector<std::vector<std::wstring>> rows = {
        {L"SALES", L"jdoe", L"1", L"jdoe"},                    // nothing to quote: as it was
        {L"", L"a\tb", L"0", L"\t"},                          // tabs inside, a value that is only a tab
        {L"line\r\nbreak", L"lf\nonly", L"1", L"cr\ronly"},  // every kind of line break
        {L"say \"hi\"", L"\"", L"0", L"\"\t\""},            // quotes, alone and around a tab
        {L"", L"", L"0", L""},                                 // empty values keep their places
    };
    for (const auto& fields : rows) {
        const std::wstring line = ClipboardLine(fields);
        EXPECT_EQ(PastedFields(line), fields) << ToUtf8(line);
    }
    EXPECT_EQ(ClipboardLine({L"SALES", L"jdoe", L"1", L"jdoe"}), L"SALES\tjdoe\t1\tjdoe");
}

}  // namespace vcm
