// The scenario's surroundings: its folder, the product's registry values, the running
// program and memory inside it.
#include "Driver.h"
#include "TestFiles.h"

#include <tlhelp32.h>

#include <stdexcept>

#include "TestDb.h"
#include "platform/TextConv.h"

namespace vcm::e2e {

namespace {

std::runtime_error Failure(const std::wstring& what, DWORD code = GetLastError())
{
    return std::runtime_error(ToUtf8(what) + " failed (" + std::to_string(code) + ")");
}

constexpr wchar_t kProgramFile[] = L"VeltoCredentialsMap.exe";
constexpr wchar_t kMainClass[] = L"VeltoCredentialsMap.frmMain";
constexpr wchar_t kMainCaption[] = L"Brenvik Velto Credentials Mapping";

// The running process whose image is that file; 0 when there is none.
DWORD ProcessOfImage(const std::wstring& image)
{
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    DWORD id = 0;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !id; more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, kProgramFile) != 0)
            continue;
        if (const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID)) {
            wchar_t path[MAX_PATH] = {};
            DWORD size = MAX_PATH;
            if (QueryFullProcessImageNameW(process, 0, path, &size) && _wcsicmp(path, image.c_str()) == 0)
                id = entry.th32ProcessID;
            CloseHandle(process);
        }
    }
    CloseHandle(snapshot);
    return id;
}

DWORD OwnerOf(HWND window)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

}  // namespace

void SpawnProcess(const std::wstring& exe, std::wstring& commandLine, BOOL inheritHandles, DWORD flags,
                  const std::wstring& folder, STARTUPINFOW& startup, PROCESS_INFORMATION& info)
{
    for (int attempt = 1;; ++attempt) {
        if (CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, inheritHandles, flags, nullptr,
                           folder.c_str(), &startup, &info))
            return;
        const DWORD error = GetLastError();
        if (error != ERROR_INTERNAL_ERROR || attempt == 3)
            throw Failure(L"CreateProcessW " + exe, error);
        Sleep(500);
    }
}

std::wstring HostPath(const char* path)
{
    // Under Wine the build's paths are host paths; Wine itself says which name they have here.
    using DosName = WCHAR*(CDECL*)(LPCSTR);
    if (auto toDos = reinterpret_cast<DosName>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")))) {
        if (WCHAR* dos = toDos(path)) {
            std::wstring result = dos;
            HeapFree(GetProcessHeap(), 0, dos);
            return result;
        }
    }
    std::wstring result = FromUtf8(path);
    for (wchar_t& c : result)
        if (c == L'/')
            c = L'\\';
    return result;
}

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (done())
            return true;
        if (GetTickCount64() >= end)
            return false;
        Sleep(10);
    }
}

std::vector<HWND> VisibleWindows(DWORD processId, const wchar_t* className)
{
    struct Search {
        DWORD pid;
        const wchar_t* className;
        std::vector<HWND> found;
    } search{processId, className, {}};
    EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(param);
            wchar_t name[256] = {};
            GetClassNameW(window, name, 256);
            if (OwnerOf(window) == s.pid && IsWindowVisible(window) && lstrcmpW(name, s.className) == 0)
                s.found.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// --- ScenarioFolder ----------------------------------------------------------------------

ScenarioFolder::ScenarioFolder(std::wstring name) : m_name(std::move(name))
{
    const DWORD length = GetCurrentDirectoryW(0, nullptr);
    std::wstring cwd(length, L'\0');
    cwd.resize(GetCurrentDirectoryW(length, cwd.data()));
    m_path = cwd + L"\\" + m_name;
    if (!CreateDirectoryW(m_path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        throw Failure(L"CreateDirectoryW " + m_path);
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((m_path + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !DeleteFileW(Path(data.cFileName).c_str())) {
            FindClose(find);
            throw Failure(L"DeleteFileW " + Path(data.cFileName));
        }
    } while (FindNextFileW(find, &data));
    FindClose(find);
}

std::wstring ScenarioFolder::Path(const std::wstring& file) const
{
    return file.empty() ? m_path : m_path + L"\\" + file;
}

void ScenarioFolder::CopyIn(const std::wstring& source, const std::wstring& nameInFolder) const
{
    if (!CopyFileW(source.c_str(), Path(nameInFolder).c_str(), FALSE))
        throw Failure(L"CopyFileW " + source);
}

void ScenarioFolder::AddProgram() const { CopyIn(HostPath(VCM_E2E_PROGRAM), kProgramFile); }

void ScenarioFolder::AddHelpPage() const { CopyIn(HostPath(VCM_E2E_HELP_PAGE), L"VeltoCredentialsMap.htm"); }

void ScenarioFolder::AddLanguages(const std::vector<std::wstring>& abbreviations) const
{
    for (const std::wstring& abbreviation : abbreviations) {
        const std::wstring file = L"VeltoCredentialsMap_" + abbreviation + L".dll";
        // The shipped libraries lie beside the program; the tests add an English one of their own.
        const std::wstring shipped = HostPath(VCM_E2E_PROGRAM_DIR) + L"\\" + file;
        const std::wstring testOnly = HostPath(VCM_E2E_TEST_LIBRARY_DIR) + L"\\" + file;
        CopyIn(GetFileAttributesW(shipped.c_str()) != INVALID_FILE_ATTRIBUTES ? shipped : testOnly, file);
    }
}

std::wstring ScenarioFolder::CreateDatabase(const std::vector<std::wstring>& statements) const
{
    // The driver's working folder is the parent of the scenario's, for Windows and for the
    // SQLite driver alike, so a relative name reaches the same file the program opens.
    return test::CreateVeltoDb(m_name + L"/VeltoDb", statements);
}

bool ScenarioFolder::Exists(const std::wstring& file) const
{
    return GetFileAttributesW(Path(file).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ScenarioFolder::ReadBytes(const std::wstring& file) const
{
    return test::TryFileBytes(Path(file)).value_or(std::string());
}

// --- ProductRegistry ---------------------------------------------------------------------

namespace {
constexpr wchar_t kVersionKey[] = L"Software\\Orvanto";
constexpr wchar_t kConnectorKey[] = L"SOFTWARE\\Orvanto\\SystemParameters\\1.0";
constexpr wchar_t kConnectorValue[] = L"IDCProgID";
}  // namespace

ProductRegistry::ProductRegistry(const ProductValues& values)
{
    Save(kVersionKey, L"Version Number");
    Save(kVersionKey, L"Build Number");
    Save(kConnectorKey, kConnectorValue);
    Set(kVersionKey, L"Version Number", REG_DWORD, &values.versionNumber, sizeof(DWORD));
    Set(kVersionKey, L"Build Number", REG_DWORD, &values.buildNumber, sizeof(DWORD));
    if (values.connector) {
        const std::wstring& text = *values.connector;
        Set(kConnectorKey, kConnectorValue, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    } else {
        RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kConnectorKey, kConnectorValue);
    }
}

ProductRegistry::~ProductRegistry()
{
    for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
        if (it->existed) {
            HKEY key = nullptr;
            if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, it->key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                                nullptr) == ERROR_SUCCESS) {
                RegSetValueExW(key, it->name.c_str(), 0, it->type, it->data.data(), static_cast<DWORD>(it->data.size()));
                RegCloseKey(key);
            }
        } else {
            RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, it->key.c_str(), it->name.c_str());
        }
    }
    // Keys this scenario made go again, deepest first; a key that holds anything else stays.
    for (auto it = m_createdKeys.rbegin(); it != m_createdKeys.rend(); ++it)
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, it->c_str());
}

void ProductRegistry::Save(const std::wstring& keyPath, const std::wstring& name)
{
    SavedValue saved{keyPath, name, false, 0, {}};
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
        DWORD size = 0;
        if (RegQueryValueExW(key, name.c_str(), nullptr, &saved.type, nullptr, &size) == ERROR_SUCCESS) {
            saved.data.resize(size);
            saved.existed = RegQueryValueExW(key, name.c_str(), nullptr, &saved.type, saved.data.data(), &size) ==
                            ERROR_SUCCESS;
            saved.data.resize(size);
        }
        RegCloseKey(key);
    }
    m_saved.push_back(std::move(saved));
}

void ProductRegistry::Set(const std::wstring& keyPath, const std::wstring& name, DWORD type, const void* data,
                          DWORD size)
{
    // Key by key, so that the ones made here are known and can be taken away afterwards.
    HKEY key = nullptr;
    for (size_t end = keyPath.find(L'\\');; end = keyPath.find(L'\\', end + 1)) {
        const std::wstring path = keyPath.substr(0, end);
        if (key)
            RegCloseKey(key);
        DWORD disposition = 0;
        const LSTATUS status =
            RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, &disposition);
        if (status != ERROR_SUCCESS)
            throw Failure(L"RegCreateKeyExW " + path, static_cast<DWORD>(status));
        if (disposition == REG_CREATED_NEW_KEY)
            m_createdKeys.push_back(path);
        if (end == std::wstring::npos)
            break;
    }
    const LSTATUS status = RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        throw Failure(L"RegSetValueExW " + name, static_cast<DWORD>(status));
}

// --- Program -----------------------------------------------------------------------------

Program::Program(const ScenarioFolder& folder) : Program(folder.Path()) {}

Program::Program(const std::wstring& folder)
{
    const std::wstring exe = folder + L"\\" + kProgramFile;
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    m_startedAt = GetTickCount64();
    // The working folder is the scenario's: Wine starts the new process in the matching
    // host folder, where the SQLite driver looks for VeltoDb.
    SpawnProcess(exe, commandLine, FALSE, 0, folder, startup, m_info);
}

Program::Program(const ScenarioFolder& folder, const std::string& traceChannels, const std::wstring& traceFile)
{
    const std::wstring exe = folder.Path(kProgramFile);
    // The shell's Wine finds this prefix and display through the environment it inherits;
    // both are named, so that the program joins this session whatever Wine passes on.
    // C: is the prefix's dosdevices/c: entry.
    std::string prefix = test::UnixPath(L"C:\\");
    const size_t devices = prefix.rfind("/dosdevices/");
    if (devices == std::string::npos)
        throw Failure(L"no Wine prefix behind C:", 0);
    prefix.resize(devices);
    wchar_t display[256] = {};
    GetEnvironmentVariableW(L"DISPLAY", display, 256);
    const std::string script = "cd '" + test::UnixPath(folder.Path()) + "' && WINEPREFIX='" + prefix + "' DISPLAY='" +
                               ToUtf8(display) + "' WINEDEBUG=" + traceChannels + " exec wine '" + test::UnixPath(exe) +
                               "' >/dev/null 2>'" + test::UnixPath(folder.Path(traceFile)) + "'";
    std::wstring command = L"/bin/sh -c \"" + FromUtf8(script) + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION shell = {};
    m_startedAt = GetTickCount64();
    if (!CreateProcessW(L"Z:\\bin\\sh", command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &shell))
        throw Failure(L"CreateProcessW /bin/sh");
    CloseHandle(shell.hThread);
    m_shell = shell.hProcess;
    // The program is a process of its own, found by its image in the folder.
    const bool found = WaitUntil(
        [&] {
            m_info.dwProcessId = ProcessOfImage(exe);
            return m_info.dwProcessId != 0;
        },
        30000);
    if (!found)
        throw Failure(L"no traced " + exe, 0);
    m_info.hProcess = OpenProcess(PROCESS_ALL_ACCESS, FALSE, m_info.dwProcessId);
    if (!m_info.hProcess)
        throw Failure(L"OpenProcess " + exe);
}

Program::~Program()
{
    if (Running()) {
        TerminateProcess(m_info.hProcess, 0xE2E);
        WaitForSingleObject(m_info.hProcess, 10000);
    }
    if (m_info.hThread)
        CloseHandle(m_info.hThread);
    CloseHandle(m_info.hProcess);
    if (m_shell) {
        WaitForSingleObject(m_shell, 10000);
        CloseHandle(m_shell);
    }
}

bool Program::Running() const { return WaitForSingleObject(m_info.hProcess, 0) == WAIT_TIMEOUT; }

bool Program::WaitForExit(DWORD timeoutMs) const
{
    return WaitForSingleObject(m_info.hProcess, timeoutMs) == WAIT_OBJECT_0;
}

DWORD Program::ExitCode() const
{
    DWORD code = 0;
    GetExitCodeProcess(m_info.hProcess, &code);
    return code;
}

HWND Program::WaitForMainWindow(DWORD timeoutMs) const
{
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND w = FindWindowExW(nullptr, nullptr, kMainClass, kMainCaption); w;
                 w = FindWindowExW(nullptr, w, kMainClass, kMainCaption)) {
                if (OwnerOf(w) == Id() && IsWindowVisible(w)) {
                    found = w;
                    return true;
                }
            }
            return !Running();
        },
        timeoutMs);
    return found;
}

std::vector<HWND> Program::Windows(const wchar_t* className) const { return VisibleWindows(Id(), className); }

HWND Program::WaitForWindow(const wchar_t* className, DWORD timeoutMs) const
{
    HWND found = nullptr;
    WaitUntil(
        [&] {
            const std::vector<HWND> windows = Windows(className);
            found = windows.empty() ? nullptr : windows.front();
            return found != nullptr || !Running();
        },
        timeoutMs);
    return found;
}

// --- RemoteBuffer ------------------------------------------------------------------------

RemoteBuffer::RemoteBuffer(const Program& program, size_t size)
{
    m_process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, program.Id());
    if (!m_process)
        throw Failure(L"OpenProcess");
    m_base = static_cast<char*>(VirtualAllocEx(m_process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!m_base) {
        const DWORD code = GetLastError();
        CloseHandle(m_process);
        throw Failure(L"VirtualAllocEx", code);
    }
}

RemoteBuffer::~RemoteBuffer()
{
    // The program may have ended already; then its memory went with it.
    VirtualFreeEx(m_process, m_base, 0, MEM_RELEASE);
    CloseHandle(m_process);
}

void RemoteBuffer::Write(size_t offset, const void* data, size_t size) const
{
    if (!WriteProcessMemory(m_process, m_base + offset, data, size, nullptr))
        throw Failure(L"WriteProcessMemory");
}

void RemoteBuffer::Read(size_t offset, void* data, size_t size) const
{
    if (!ReadProcessMemory(m_process, m_base + offset, data, size, nullptr))
        throw Failure(L"ReadProcessMemory");
}

std::wstring RemoteBuffer::ReadText(size_t offset, size_t maxChars) const
{
    std::wstring text(maxChars, L'\0');
    Read(offset, text.data(), maxChars * sizeof(wchar_t));
    text.resize(wcsnlen(text.c_str(), maxChars));
    return text;
}

}  // namespace vcm::e2e
