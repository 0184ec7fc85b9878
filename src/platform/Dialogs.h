// Everything that waits for a person goes through this interface: the windows get an
// implementation, the real one shows the platform's dialogs, a test one answers as scripted.
#pragma once
#include <windows.h>
#include <commdlg.h>
#include <optional>
#include <string>

namespace vcm {

// The title every message box of the program carries.
inline constexpr wchar_t kAppTitle[] = L"VeltoCredentialsMap";

struct SaveFileRequest {
    std::wstring title;
    std::wstring fileName;   // proposed full name
    std::wstring filter;     // pairs "description\0pattern\0", or a single pattern
    std::wstring defaultExt; // empty: a name without extension is used as typed
    DWORD flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
};

class IDialogs {
public:
    virtual ~IDialogs() = default;
    // type: the MB_ flags (buttons, icon, default button). Returns IDOK, IDYES, IDNO, ...
    virtual int Message(const std::wstring& text, const std::wstring& title, UINT type) = 0;
    // The chosen full path, or nothing when the person cancelled.
    virtual std::optional<std::wstring> SaveFile(const SaveFileRequest& request) = 0;
};

class Win32Dialogs final : public IDialogs {
public:
    explicit Win32Dialogs(HWND owner = nullptr) : m_owner(owner) {}
    void SetOwner(HWND owner) { m_owner = owner; }

    int Message(const std::wstring& text, const std::wstring& title, UINT type) override;
    std::optional<std::wstring> SaveFile(const SaveFileRequest& request) override;

private:
    HWND m_owner;
};

// The dialogs that module-level routines (the catalogue, language discovery) report through.
// Windows receive theirs explicitly; tests install a scripted one here. nullptr restores
// the platform's own dialogs.
IDialogs& AppDialogs();
void SetAppDialogs(IDialogs* dialogs);

}  // namespace vcm
