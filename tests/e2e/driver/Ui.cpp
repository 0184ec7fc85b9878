// Input through the system's queue and the program's windows read across processes.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <dlgs.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <ostream>
#include <stdexcept>

#include "Driver.h"
#include "TestFiles.h"
#include "platform/TextConv.h"

namespace vcm::e2e {

namespace {

// Long enough for the program to take in one step of input before the next arrives.
constexpr DWORD kInputPause = 40;

DWORD OwnerOf(HWND window)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

std::wstring ClassOf(HWND window)
{
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

bool IsNavigationKey(WORD vk)
{
    switch (vk) {
    case VK_LEFT: case VK_RIGHT: case VK_UP: case VK_DOWN:
    case VK_HOME: case VK_END: case VK_PRIOR: case VK_NEXT:
        return true;
    default:
        return false;
    }
}

bool PopupMenuOpen(DWORD processId) { return !VisibleWindows(processId, L"#32768").empty(); }

}  // namespace

// --- Input -------------------------------------------------------------------------------

bool Activate(HWND window)
{
    if (GetForegroundWindow() == window)
        return true;
    SetForegroundWindow(window);
    return WaitUntil([&] { return GetForegroundWindow() == window; }, 2000);
}

void PressKey(WORD vk)
{
    INPUT input[2] = {};
    for (INPUT& in : input) {
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = vk;
        in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
        in.ki.dwFlags = IsNavigationKey(vk) ? KEYEVENTF_EXTENDEDKEY : 0;
    }
    input[1].ki.dwFlags |= KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof(INPUT));
}

void Keys(std::initializer_list<WORD> virtualKeys)
{
    for (WORD vk : virtualKeys) {
        PressKey(vk);
        Sleep(kInputPause);
    }
}

void Chord(std::initializer_list<WORD> modifiers, WORD vk)
{
    auto key = [](WORD code, bool up) {
        INPUT in = {};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = code;
        in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(code, MAPVK_VK_TO_VSC));
        in.ki.dwFlags = (IsNavigationKey(code) || code == VK_INSERT || code == VK_DELETE ? KEYEVENTF_EXTENDEDKEY : 0) |
                        (up ? KEYEVENTF_KEYUP : 0);
        SendInput(1, &in, sizeof in);
        Sleep(10);
    };
    for (WORD modifier : modifiers)
        key(modifier, false);
    key(vk, false);
    key(vk, true);
    for (auto it = std::rbegin(modifiers); it != std::rend(modifiers); ++it)
        key(*it, true);
    Sleep(kInputPause);
}

void PressButton(bool right)
{
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_MOUSE;
    input[0].mi.dwFlags = right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN;
    input[1].mi.dwFlags = right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP;
    SendInput(2, input, sizeof(INPUT));
}

void Click(POINT screen, bool right)
{
    // Two presses of a button close together in time and place make a double-click; a
    // person clicking twice on purpose leaves a pause between.
    static ULONGLONG lastAt = 0;
    static POINT lastPoint = {};
    static bool lastRight = false;
    const ULONGLONG now = GetTickCount64();
    if (right == lastRight && now - lastAt <= GetDoubleClickTime() &&
        std::abs(screen.x - lastPoint.x) <= GetSystemMetrics(SM_CXDOUBLECLK) &&
        std::abs(screen.y - lastPoint.y) <= GetSystemMetrics(SM_CYDOUBLECLK))
        Sleep(static_cast<DWORD>(GetDoubleClickTime() - (now - lastAt)) + 50);
    SetCursorPos(screen.x, screen.y);
    Sleep(kInputPause);
    PressButton(right);
    lastAt = GetTickCount64();
    lastPoint = screen;
    lastRight = right;
    Sleep(kInputPause);
}

void Drag(POINT from, POINT to)
{
    // The pointer is placed, then a zero move makes the window see it there.
    auto moveTo = [](POINT p) {
        SetCursorPos(p.x, p.y);
        INPUT move = {};
        move.type = INPUT_MOUSE;
        move.mi.dwFlags = MOUSEEVENTF_MOVE;
        SendInput(1, &move, sizeof move);
        Sleep(kInputPause);
    };
    auto button = [](DWORD flag) {
        INPUT input = {};
        input.type = INPUT_MOUSE;
        input.mi.dwFlags = flag;
        SendInput(1, &input, sizeof input);
        Sleep(kInputPause);
    };
    moveTo(from);
    button(MOUSEEVENTF_LEFTDOWN);
    constexpr int kSteps = 8;
    for (int step = 1; step <= kSteps; ++step)
        moveTo({from.x + (to.x - from.x) * step / kSteps, from.y + (to.y - from.y) * step / kSteps});
    button(MOUSEEVENTF_LEFTUP);
}

POINT CentreOf(HWND window)
{
    RECT r = {};
    GetWindowRect(window, &r);
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

void PickMenu(HWND window, int menuIndex, int itemIndex)
{
    const DWORD pid = OwnerOf(window);
    // On a loaded machine the Alt that enters the menu bar can arrive while the window is
    // still taking the foreground and be lost; the bar is then left (Esc twice) and entered
    // again. Only a menu that never opens fails.
    constexpr int kTries = 3;
    for (int attempt = 1;; ++attempt) {
        if (!Activate(window))
            throw std::runtime_error("the window does not come to the foreground");
        Keys({VK_MENU});
        for (int i = 0; i < menuIndex; ++i)
            Keys({VK_RIGHT});
        Keys({VK_DOWN});
        if (WaitUntil([pid] { return PopupMenuOpen(pid); }, 3000))
            break;
        if (attempt == kTries)
            throw std::runtime_error("the menu does not open");
        Keys({VK_ESCAPE});
        Keys({VK_ESCAPE});
    }
    for (int i = 0; i < itemIndex; ++i)
        Keys({VK_DOWN});
    Keys({VK_RETURN});
}

bool PickPopupItem(const Program& program, int itemIndex, DWORD timeoutMs)
{
    if (!WaitUntil([&] { return PopupMenuOpen(program.Id()); }, timeoutMs))
        return false;
    // A popup opened by the mouse has no item selected yet: the first Down selects the first.
    for (int i = 0; i <= itemIndex; ++i)
        Keys({VK_DOWN});
    Keys({VK_RETURN});
    return true;
}

std::optional<POINT> CloseBoxPoint(HWND window)
{
    // The middle of the points the window's hit test calls the close box.
    RECT r = {};
    GetWindowRect(window, &r);
    const int band = GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYSIZEFRAME) + 2;
    RECT box = {LONG_MAX, LONG_MAX, LONG_MIN, LONG_MIN};
    for (int y = r.top; y < r.top + band; ++y)
        for (int x = r.right - 1; x > r.right - 100 && x > r.left; --x)
            if (SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(x, y)) == HTCLOSE) {
                box = {std::min<LONG>(box.left, x), std::min<LONG>(box.top, y), std::max<LONG>(box.right, x),
                       std::max<LONG>(box.bottom, y)};
            }
    if (box.left > box.right)
        return std::nullopt;
    return POINT{(box.left + box.right) / 2, (box.top + box.bottom) / 2};
}

// --- Reading windows ---------------------------------------------------------------------

HWND FocusIn(HWND window)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info))
        return nullptr;
    return info.hwndFocus;
}

std::optional<std::wstring> ClipboardText()
{
    if (!WaitUntil([] { return OpenClipboard(nullptr) != FALSE; }, 2000))
        return std::nullopt;
    std::optional<std::wstring> text;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
            text = std::wstring(chars);
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

void SetClipboardText(const std::wstring& text)
{
    if (!WaitUntil([] { return OpenClipboard(nullptr) != FALSE; }, 2000))
        throw std::runtime_error("the clipboard cannot be opened");
    EmptyClipboard();
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (memory) {
        std::memcpy(GlobalLock(memory), text.c_str(), bytes);
        GlobalUnlock(memory);
        if (!SetClipboardData(CF_UNICODETEXT, memory))
            GlobalFree(memory);
    }
    CloseClipboard();
}

std::wstring TextOf(HWND window)
{
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(std::max(length, 0)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), length + 1)));
    return text;
}

HWND FindChild(HWND parent, const wchar_t* className, const std::wstring& text)
{
    struct Search {
        const wchar_t* className;
        const std::wstring* text;
        HWND found = nullptr;
    } search{className, &text};
    EnumChildWindows(
        parent,
        [](HWND child, LPARAM param) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(param);
            if (lstrcmpiW(ClassOf(child).c_str(), s.className) == 0 && (s.text->empty() || TextOf(child) == *s.text)) {
                s.found = child;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<MessageBoxView> MessageBoxes(const Program& program)
{
    std::vector<MessageBoxView> boxes;
    for (HWND dialog : program.Windows(L"#32770")) {
        // A message box carries its text in the static control 0xFFFF; a file dialog, which
        // may have unnumbered labels too, has a file name box.
        HWND body = GetDlgItem(dialog, 0xFFFF);
        if (!body || GetDlgItem(dialog, cmb13) || GetDlgItem(dialog, edt1))
            continue;
        boxes.push_back({dialog, TextOf(dialog), TextOf(body)});
    }
    return boxes;
}

std::optional<MessageBoxView> WaitForMessageBox(const Program& program, DWORD timeoutMs)
{
    std::optional<MessageBoxView> found;
    WaitUntil(
        [&] {
            const std::vector<MessageBoxView> boxes = MessageBoxes(program);
            if (!boxes.empty())
                found = boxes.front();
            return found.has_value() || !program.Running();
        },
        timeoutMs);
    return found;
}

void Press(HWND dialog, int buttonId)
{
    // Not SendMessage: the press may open another modal box before it returns.
    HWND button = GetDlgItem(dialog, buttonId);
    if (!button || !SendNotifyMessageW(button, BM_CLICK, 0, 0))
        throw std::runtime_error("no such button");
}

void SaveAs(const Program& program, HWND dialog, const std::wstring& path)
{
    // The file name box of the platform's Save dialog is cmb13; the text must lie in the
    // program's own memory for the dialog to read it.
    RemoteBuffer text(program, (path.size() + 1) * sizeof(wchar_t));
    text.Write(0, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
    if (!SendMessageW(dialog, CDM_SETCONTROLTEXT, cmb13, text.At()) &&
        !SendMessageW(dialog, CDM_SETCONTROLTEXT, edt1, text.At()))
        throw std::runtime_error("the Save dialog takes no file name");
    Press(dialog, IDOK);
}

// --- GridProbe ---------------------------------------------------------------------------

void PrintTo(const GridRow& row, std::ostream* out)
{
    *out << "{" << ToUtf8(row.domain) << "|" << ToUtf8(row.adAlias) << "|" << (row.primary ? "primary" : "-") << "|"
         << ToUtf8(row.veltoAlias) << "|" << ToUtf8(row.key) << "}";
}

namespace {
constexpr size_t kStructOffset = 0;
constexpr size_t kTextOffset = 1024;
constexpr size_t kTextChars = 1024;
}  // namespace

GridProbe::GridProbe(const Program& program, HWND mainWindow)
    : m_memory(program, kTextOffset + kTextChars * sizeof(wchar_t))
{
    HWND host = FindWindowExW(mainWindow, nullptr, L"VeltoCredentialsMap.GridView", nullptr);
    m_list = host ? FindWindowExW(host, nullptr, WC_LISTVIEWW, nullptr) : nullptr;
    m_header = m_list ? reinterpret_cast<HWND>(SendMessageW(m_list, LVM_GETHEADER, 0, 0)) : nullptr;
    if (!m_list || !m_header)
        throw std::runtime_error("the main window has no grid");
}

int GridProbe::Count() const { return static_cast<int>(SendMessageW(m_list, LVM_GETITEMCOUNT, 0, 0)); }

std::wstring GridProbe::Cell(int item, int column) const
{
    LVITEMW request = {};
    request.iSubItem = column;
    request.pszText = reinterpret_cast<LPWSTR>(m_memory.At(kTextOffset));
    request.cchTextMax = static_cast<int>(kTextChars);
    m_memory.Write(kStructOffset, &request, sizeof request);
    const wchar_t nothing = L'\0';
    m_memory.Write(kTextOffset, &nothing, sizeof nothing);
    SendMessageW(m_list, LVM_GETITEMTEXTW, static_cast<WPARAM>(item), m_memory.At(kStructOffset));
    return m_memory.ReadText(kTextOffset, kTextChars);
}

GridRow GridProbe::Row(int item) const
{
    GridRow row;
    row.domain = Cell(item, 1);
    row.adAlias = Cell(item, 2);
    row.veltoAlias = Cell(item, 4);
    row.key = Cell(item, 5);
    // The Primary column shows a check box image: 1 ticked, 0 not.
    LVITEMW request = {};
    request.mask = LVIF_IMAGE;
    request.iItem = item;
    request.iSubItem = 3;
    m_memory.Write(kStructOffset, &request, sizeof request);
    SendMessageW(m_list, LVM_GETITEMW, 0, m_memory.At(kStructOffset));
    m_memory.Read(kStructOffset, &request, sizeof request);
    row.primary = request.iImage == 1;
    return row;
}

std::vector<GridRow> GridProbe::Rows() const
{
    std::vector<GridRow> rows;
    const int count = Count();
    for (int item = 0; item < count; ++item)
        rows.push_back(Row(item));
    return rows;
}

std::vector<std::wstring> GridProbe::Headers() const
{
    std::vector<std::wstring> headers;
    const int count = static_cast<int>(SendMessageW(m_header, HDM_GETITEMCOUNT, 0, 0));
    for (int column = 0; column < count; ++column) {
        HDITEMW request = {};
        request.mask = HDI_TEXT;
        request.pszText = reinterpret_cast<LPWSTR>(m_memory.At(kTextOffset));
        request.cchTextMax = static_cast<int>(kTextChars);
        m_memory.Write(kStructOffset, &request, sizeof request);
        SendMessageW(m_header, HDM_GETITEMW, static_cast<WPARAM>(column), m_memory.At(kStructOffset));
        headers.push_back(m_memory.ReadText(kTextOffset, kTextChars));
    }
    return headers;
}

int GridProbe::SortMark(int column) const
{
    HDITEMW request = {};
    request.mask = HDI_FORMAT;
    m_memory.Write(kStructOffset, &request, sizeof request);
    SendMessageW(m_header, HDM_GETITEMW, static_cast<WPARAM>(column), m_memory.At(kStructOffset));
    m_memory.Read(kStructOffset, &request, sizeof request);
    return request.fmt & (HDF_SORTUP | HDF_SORTDOWN);
}

std::vector<int> GridProbe::ColumnOrder() const
{
    const int count = static_cast<int>(SendMessageW(m_header, HDM_GETITEMCOUNT, 0, 0));
    std::vector<int> order(static_cast<size_t>(std::max(count, 0)));
    if (count > 0 && SendMessageW(m_list, LVM_GETCOLUMNORDERARRAY, static_cast<WPARAM>(count), m_memory.At(kStructOffset)))
        m_memory.Read(kStructOffset, order.data(), order.size() * sizeof(int));
    return order;
}

int GridProbe::TopIndex() const { return static_cast<int>(SendMessageW(m_list, LVM_GETTOPINDEX, 0, 0)); }

int GridProbe::PerPage() const { return static_cast<int>(SendMessageW(m_list, LVM_GETCOUNTPERPAGE, 0, 0)); }

int GridProbe::Selected() const
{
    return static_cast<int>(SendMessageW(m_list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

POINT GridProbe::RowPoint(int item) const
{
    // The middle of the row's Domain cell, kept inside the visible part of the list.
    RECT cell = {};
    cell.top = 1;
    cell.left = LVIR_BOUNDS;
    m_memory.Write(kStructOffset, &cell, sizeof cell);
    if (!SendMessageW(m_list, LVM_GETSUBITEMRECT, static_cast<WPARAM>(item), m_memory.At(kStructOffset)))
        throw std::runtime_error("no such row");
    m_memory.Read(kStructOffset, &cell, sizeof cell);
    RECT client = {};
    GetClientRect(m_list, &client);
    POINT p = {std::clamp<LONG>((cell.left + cell.right) / 2, client.left + 4, client.right - 4),
               (cell.top + cell.bottom) / 2};
    ClientToScreen(m_list, &p);
    return p;
}

POINT GridProbe::HeaderPoint(int column) const
{
    RECT item = {};
    m_memory.Write(kStructOffset, &item, sizeof item);
    if (!SendMessageW(m_header, HDM_GETITEMRECT, static_cast<WPARAM>(column), m_memory.At(kStructOffset)))
        throw std::runtime_error("no such column");
    m_memory.Read(kStructOffset, &item, sizeof item);
    POINT p = {(item.left + item.right) / 2, (item.top + item.bottom) / 2};
    ClientToScreen(m_header, &p);
    return p;
}

bool PickFromRowPopup(const Program& program, HWND mainWindow, const GridProbe& grid, int item, int popupItem)
{
    Activate(mainWindow);
    Click(grid.RowPoint(item));
    if (!WaitUntil([&] { return grid.Selected() == item; }, 3000))
        return false;
    Click(grid.RowPoint(item), /*right=*/true);
    return PickPopupItem(program, popupItem);
}

// --- Pixels 
std::vector<DWORD> CapturePixels(const RECT& area)
{
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if (width <= 0 || height <= 0)
        return {};
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    std::vector<DWORD> pixels;
    if (bitmap && memory) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
        GdiFlush();
        const DWORD* p = static_cast<const DWORD*>(bits);
        pixels.assign(p, p + static_cast<size_t>(width) * static_cast<size_t>(height));
        SelectObject(memory, old);
    }
    if (bitmap)
        DeleteObject(bitmap);
    if (memory)
        DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

RECT MenuBarRect(HWND window)
{
    RECT frame = {};
    GetWindowRect(window, &frame);
    // How far the client area would start below the window's top without a menu bar.
    RECT bare = {0, 0, 100, 100};
    AdjustWindowRectEx(&bare, static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE)));
    RECT client = {};
    GetClientRect(window, &client);
    POINT topLeft = {0, 0};
    ClientToScreen(window, &topLeft);
    return {topLeft.x, frame.top - bare.top, topLeft.x + client.right, topLeft.y};
}

bool SaveWindowBitmap(HWND window, const std::wstring& path)
{
    RECT area = {};
    GetWindowRect(window, &area);
    const std::vector<DWORD> pixels = CapturePixels(area);
    if (pixels.empty())
        return false;
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    const int stride = (width * 3 + 3) & ~3;
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;  // bottom-up, as most readers expect
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    info.biSizeImage = static_cast<DWORD>(stride * height);
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + info.biSizeImage;
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
    bytes.append(reinterpret_cast<const char*>(&info), sizeof info);
    std::string line(static_cast<size_t>(stride), '\0');
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x) {
            const DWORD p = pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
            line[static_cast<size_t>(x) * 3 + 0] = static_cast<char>(p & 0xFF);
            line[static_cast<size_t>(x) * 3 + 1] = static_cast<char>((p >> 8) & 0xFF);
            line[static_cast<size_t>(x) * 3 + 2] = static_cast<char>((p >> 16) & 0xFF);
        }
        bytes += line;
    }
    return test::WriteBytes(path, bytes);
}

}  // namespace vcm::e2e
