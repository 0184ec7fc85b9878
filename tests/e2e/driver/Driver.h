// Drives the real VeltoCredentialsMap.exe from another process, the way an administrator
// would: a prepared folder per scenario, the product's registry values, keyboard and mouse
// input through the system, and the program's windows read through their own messages.
#pragma once
#include <windows.h>

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace vcm::e2e {

// A file the build produced, given by its host path, as a path this process can open.
std::wstring HostPath(const char* path);

// CreateProcessW, tried again when Wine fails to spawn the process: under a heavily loaded
// host it now and then says ERROR_INTERNAL_ERROR, and nothing of the program ran then, so a
// second try is sound. Throws when the process cannot be started.
void SpawnProcess(const std::wstring& exe, std::wstring& commandLine, BOOL inheritHandles, DWORD flags,
                  const std::wstring& folder, STARTUPINFOW& startup, PROCESS_INFORMATION& info);

// Polls `done` every few milliseconds until it holds or the time is up; true when it held.
bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs);

// The visible top-level windows of a process that have that class.
std::vector<HWND> VisibleWindows(DWORD processId, const wchar_t* className);

// A folder of its own for one scenario, below the working folder, emptied when made.
class ScenarioFolder {
public:
    explicit ScenarioFolder(std::wstring name);

    // The full path of a file in the folder (the folder itself for an empty name).
    std::wstring Path(const std::wstring& file = {}) const;
    void CopyIn(const std::wstring& source, const std::wstring& nameInFolder) const;
    // The program and, as asked, its companions beside it.
    void AddProgram() const;
    void AddHelpPage() const;
    // The language libraries by abbreviation ("DEU"), named after the program.
    void AddLanguages(const std::vector<std::wstring>& abbreviations) const;

    // Creates the folder's VeltoDb with the product's tables and the statements; returns
    // the connection string this process uses to look into it.
    std::wstring CreateDatabase(const std::vector<std::wstring>& statements) const;

    bool Exists(const std::wstring& file) const;
    // The file's bytes; empty when it cannot be read.
    std::string ReadBytes(const std::wstring& file) const;

private:
    std::wstring m_name;
    std::wstring m_path;
};

// The values the product's setup writes, set for one scenario and put back afterwards.
struct ProductValues {
    DWORD versionNumber = 0x00040000;
    DWORD buildNumber = 0x00020069;
    std::optional<std::wstring> connector = L"ZrDsExchange.ZrIDCExchange.1";
};

class ProductRegistry {
public:
    explicit ProductRegistry(const ProductValues& values);
    ~ProductRegistry();
    ProductRegistry(const ProductRegistry&) = delete;
    ProductRegistry& operator=(const ProductRegistry&) = delete;

private:
    struct SavedValue {
        std::wstring key;
        std::wstring name;
        bool existed = false;
        DWORD type = 0;
        std::vector<BYTE> data;
    };
    void Save(const std::wstring& key, const std::wstring& name);
    void Set(const std::wstring& key, const std::wstring& name, DWORD type, const void* data, DWORD size);

    std::vector<SavedValue> m_saved;
    std::vector<std::wstring> m_createdKeys;
};

// The program started in a scenario folder, which is also its working folder. A program
// still running when the object goes is ended with TerminateProcess.
class Program {
public:
    explicit Program(const ScenarioFolder& folder);
    // The program in any folder that holds it.
    explicit Program(const std::wstring& folder);
    // The program started through a Unix shell with Wine's trace channels on ("+eventlog"):
    // Wine writes its trace to the Unix standard error, which no Windows handle reaches, so
    // the shell sends it to the folder's file `traceFile`.
    Program(const ScenarioFolder& folder, const std::string& traceChannels, const std::wstring& traceFile);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    DWORD Id() const noexcept { return m_info.dwProcessId; }
    HANDLE Handle() const noexcept { return m_info.hProcess; }
    ULONGLONG StartedAt() const noexcept { return m_startedAt; }

    bool Running() const;
    // True when the process ended within the time.
    bool WaitForExit(DWORD timeoutMs) const;
    DWORD ExitCode() const;

    // The visible main window found by its class and English caption; nullptr on timeout.
    HWND WaitForMainWindow(DWORD timeoutMs = 30000) const;
    // The visible top-level windows of this process with that class.
    std::vector<HWND> Windows(const wchar_t* className) const;
    HWND WaitForWindow(const wchar_t* className, DWORD timeoutMs) const;

private:
    PROCESS_INFORMATION m_info = {};
    HANDLE m_shell = nullptr;
    ULONGLONG m_startedAt = 0;
};

// The program started with arguments in a folder, its standard output and error on pipes,
// watched for the windows it creates, and waited for.
struct CommandResult {
    bool ended = false;      // within the time; a program still running then is ended
    DWORD exitCode = 0;
    std::wstring out;        // standard output and error, read as UTF-8
    std::wstring err;
    // Class names of the windows the process created (any kind: top-level, hidden,
    // message-only, child), as the system announced each creation.
    std::vector<std::wstring> windowsCreated;
};
CommandResult RunCommand(const std::wstring& folder, const std::wstring& arguments, DWORD timeoutMs = 60000);

// Tells the windows a process creates, each as it is made, through the system's
// out-of-context creation events (no code runs in the process). The thread that made the
// watch must process messages (Pump) for the events to arrive.
class WindowCreationWatch {
public:
    explicit WindowCreationWatch(DWORD processId);
    ~WindowCreationWatch();
    WindowCreationWatch(const WindowCreationWatch&) = delete;
    WindowCreationWatch& operator=(const WindowCreationWatch&) = delete;

    // Processes this thread's messages until `handle` is signalled or the time is up;
    // true when it was signalled.
    bool PumpUntil(HANDLE handle, DWORD timeoutMs);
    const std::vector<std::wstring>& Created() const { return m_created; }

private:
    static void CALLBACK OnEvent(HWINEVENTHOOK hook, DWORD event, HWND window, LONG object, LONG child, DWORD thread,
                                 DWORD time);
    HWINEVENTHOOK m_hook = nullptr;
    std::vector<std::wstring> m_created;
};

// A block of memory inside the program, for messages whose arguments are pointers.
class RemoteBuffer {
public:
    RemoteBuffer(const Program& program, size_t size);
    ~RemoteBuffer();
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;

    LPARAM At(size_t offset = 0) const { return reinterpret_cast<LPARAM>(m_base + offset); }
    void Write(size_t offset, const void* data, size_t size) const;
    void Read(size_t offset, void* data, size_t size) const;
    std::wstring ReadText(size_t offset, size_t maxChars) const;

private:
    HANDLE m_process = nullptr;
    char* m_base = nullptr;
};

// --- Input, as a person gives it: through the system's input queue. ----------------------

// Brings a window of the program to the foreground; true when it got there.
bool Activate(HWND window);
// One press and release of a key, right away.
void PressKey(WORD virtualKey);
// Keys one after another, with a pause after each for the program to take it in.
void Keys(std::initializer_list<WORD> virtualKeys);
// A key pressed while modifiers (VK_CONTROL, VK_SHIFT, ...) are held, then everything let go.
void Chord(std::initializer_list<WORD> modifiers, WORD virtualKey);
void Click(POINT screen, bool right = false);
// One press and release of a mouse button where the pointer is, right away.
void PressButton(bool right = false);
// Presses the left button at one point, moves in steps to another and releases there.
void Drag(POINT from, POINT to);
POINT CentreOf(HWND window);

// Picks a menu command with the keyboard: Alt, Right to the menu, Down into it, Down to
// the item (separators do not count), Enter.
void PickMenu(HWND window, int menuIndex, int itemIndex);
// Picks an item of the program's popup menu that is open now, by position.
bool PickPopupItem(const Program& program, int itemIndex, DWORD timeoutMs = 5000);

// Where a click on the close box lands, found through the window's own hit test.
std::optional<POINT> CloseBoxPoint(HWND window);

// --- Reading the program's windows. ------------------------------------------------------

std::wstring TextOf(HWND window);
// The window that has the keyboard focus in the thread that owns `window`.
HWND FocusIn(HWND window);

// The clipboard's Unicode text; nothing when it holds none.
std::optional<std::wstring> ClipboardText();
void SetClipboardText(const std::wstring& text);
// The first child (at any depth) of that class whose text is `text` (any text when empty).
HWND FindChild(HWND parent, const wchar_t* className, const std::wstring& text = {});

struct MessageBoxView {
    HWND box = nullptr;
    std::wstring title;
    std::wstring text;
};
// The program's open message boxes (dialogs with a message body).
std::vector<MessageBoxView> MessageBoxes(const Program& program);
std::optional<MessageBoxView> WaitForMessageBox(const Program& program, DWORD timeoutMs = 10000);
// Presses a button of a dialog (IDOK, IDYES, IDNO, ...) without waiting for what follows.
void Press(HWND dialog, int buttonId);

// Fills the file name of the program's open Save dialog and presses Save.
void SaveAs(const Program& program, HWND dialog, const std::wstring& path);

struct GridRow {
    std::wstring domain;
    std::wstring adAlias;
    bool primary = false;
    std::wstring veltoAlias;
    std::wstring key;

    bool operator==(const GridRow&) const = default;
};
// For readable test failures.
void PrintTo(const GridRow& row, std::ostream* out);

// The mapping grid of the main window, read through the list's and header's messages.
class GridProbe {
public:
    GridProbe(const Program& program, HWND mainWindow);

    HWND List() const noexcept { return m_list; }
    HWND Header() const noexcept { return m_header; }

    int Count() const;
    // Rows top to bottom as shown.
    std::vector<GridRow> Rows() const;
    GridRow Row(int item) const;
    // Header texts by column, the columns in design order (0 hidden, 1 Domain ... 5 SID).
    std::vector<std::wstring> Headers() const;
    // HDF_SORTUP, HDF_SORTDOWN or 0 for a column.
    int SortMark(int column) const;
    // The columns from left to right as shown.
    std::vector<int> ColumnOrder() const;
    int TopIndex() const;
    int PerPage() const;
    int Selected() const;

    // Screen points for clicks: the middle of a row (within the visible list) and of a header item.
    POINT RowPoint(int item) const;
    POINT HeaderPoint(int column) const;

private:
    std::wstring Cell(int item, int column) const;

    RemoteBuffer m_memory;
    HWND m_list = nullptr;
    HWND m_header = nullptr;
};

// Selects a row of the grid with a click, right-clicks it and picks an item of the popup
// menu that opens; false when the row or the menu did not respond.
bool PickFromRowPopup(const Program& program, HWND mainWindow, const GridProbe& grid, int item, int popupItem);

// Pixels of a part of the screen, for telling whether a rendering changed.
std::vector<DWORD> CapturePixels(const RECT& screen);
// The main window's menu bar: between the bottom of the caption and the client area.
RECT MenuBarRect(HWND window);
// Writes a window's on-screen image as a 24-bit BMP.
bool SaveWindowBitmap(HWND window, const std::wstring& path);

}  // namespace vcm::e2e
