// The catalogue lookup and the discovery and loading of language libraries.
#include "localize/modLocalize.h"

#include <climits>
#include <optional>
#include <utility>

#include "platform/Dialogs.h"
#include "platform/ErrorCodes.h"
#include "platform/WinHelpers.h"
#include "platform/Handles.h"
#include "platform/ProgramInfo.h"
#include "platform/StepRunner.h"
#include "platform/TextConv.h"
#include "platform/Window.h"

namespace vcm {

HMODULE gLangLibrary = nullptr;
long gCurrentLangID = 0;
std::vector<std::wstring> gLanguageList;

namespace {

// The lookup's buffer size in characters: one place is kept for a terminator, so a library
// text is cut to 1199 characters.
constexpr int kLookupBufferChars = 1200;
// LoadLibraryExW flags: DONT_RESOLVE_DLL_REFERENCES | LOAD_LIBRARY_AS_DATAFILE. A language
// library is only read, never run.
constexpr DWORD kLoadAsData = DONT_RESOLVE_DLL_REFERENCES | LOAD_LIBRARY_AS_DATAFILE;

// String ids are 16-bit in the resource format; a larger one would fold onto another string.
bool IsResourceId(int id) { return id >= 0 && id <= 0xFFFF; }

// True when every byte of the range is mapped and readable. A library file cut short maps
// fewer pages than its headers promise, and reading past them would end the process.
bool IsReadable(const void* start, size_t bytes)
{
    const char* at = static_cast<const char*>(start);
    const char* const end = at + bytes;
    while (at < end) {
        MEMORY_BASIC_INFORMATION region = {};
        if (VirtualQuery(at, &region, sizeof region) == 0 || region.State != MEM_COMMIT ||
            (region.Protect & (PAGE_NOACCESS | PAGE_GUARD)) != 0)
            return false;
        at = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
    }
    return true;
}

// A string of a module's string table, read as LoadStringW finds it (the block of sixteen
// that holds the id, in the language the platform picks) but only within the block's
// resource data: a language library may be damaged, so a block that lies beyond what the
// file holds, or an entry whose declared length runs past its block, is treated as missing
// instead of being read from beyond it. Empty for an
// empty, missing or damaged entry.
std::wstring_view StringResource(HMODULE module, int id)
{
    if (!IsResourceId(id))
        return {};
    HRSRC block = FindResourceW(module, MAKEINTRESOURCEW(id / 16 + 1), RT_STRING);
    if (!block)
        return {};
    const DWORD bytes = SizeofResource(module, block);
    HGLOBAL loaded = LoadResource(module, block);
    const auto* entry = static_cast<const wchar_t*>(loaded ? LockResource(loaded) : nullptr);
    if (!entry || !IsReadable(entry, bytes))
        return {};
    // Each entry is a length in characters followed by that many characters.
    size_t left = bytes / sizeof(wchar_t);
    for (int skip = id % 16;; --skip) {
        if (left == 0)
            return {};
        const size_t length = static_cast<unsigned short>(*entry);
        if (length > left - 1)
            return {};
        if (skip == 0) {
            // No catalogue text holds a NUL; one here is the zero fill after the end of a
            // file cut short, so the entry is not really there.
            const std::wstring_view text(entry + 1, length);
            return text.find(L'\0') == std::wstring_view::npos ? text : std::wstring_view();
        }
        entry += 1 + length;
        left -= 1 + length;
    }
}

// The executable's own text of a string, or an error naming the id when it has none.
// The string table format cannot tell an empty entry from a missing one, and the
// built-in catalogue has no empty texts, so both count as missing.
std::wstring LoadResString(int id)
{
    const std::wstring_view text = StringResource(GetModuleHandleW(nullptr), id);
    if (!text.empty())
        return std::wstring(text);
    throw ResourceNotFoundError(id, L"LoadResString");
}

void ReportLookupError(const Error& error)
{
    AppDialogs().Message(L"error in myLoadResString: " + error.Description(), kAppTitle, MB_OK);
}

void ReportLanguagesError(const Error& error)
{
    AppDialogs().Message(L"Error in InitalizeLanguages: " + error.Description(), kAppTitle, MB_OK);
}

// A language library's name starts with the base name and "_" and ends with "DLL", both
// without regard to case; its abbreviation is the three characters before the last four,
// kept as written. Nothing for any other name.
std::optional<std::wstring> LibraryAbbreviation(std::wstring_view fileName, std::wstring_view baseName)
{
    const std::wstring prefix = std::wstring(baseName) + L'_';
    if (fileName.size() < prefix.size() || fileName.size() < 3)
        return std::nullopt;
    if (!EqualsNoCase(fileName.substr(0, prefix.size()), prefix) ||
        !EqualsNoCase(fileName.substr(fileName.size() - 3), L"DLL"))
        return std::nullopt;
    // Only a very short base name lets a qualifying name be shorter than that.
    if (fileName.size() < 7)
        throw InvalidCallError(L"LibraryAbbreviation");
    return std::wstring(fileName.substr(fileName.size() - 7, 3));
}

}  // namespace

std::wstring myLoadResString(int id)
{
    StepRunner step(ReportLookupError);
    std::wstring text;
    step([&] {
        const std::wstring_view found = StringResource(gLangLibrary ? gLangLibrary : GetModuleHandleW(nullptr), id);
        text = found.substr(0, kLookupBufferChars - 1);
    });
    if (!text.empty())
        return text;
    // Missing, empty or damaged in the library: the built-in text.
    step([&] { text = LoadResString(id); });
    return text;
}

void InitalizeLanguages()
{
    StepRunner step(ReportLanguagesError);
    std::wstring folder;
    std::wstring baseName;
    step([&] { folder = AppFolder(); });
    step([&] { baseName = ExeBaseName(); });
    InitalizeLanguagesIn(folder, baseName);
}

void InitalizeLanguagesIn(const std::wstring& folder, const std::wstring& baseName)
{
    StepRunner step(ReportLanguagesError);

    step([] {
        if (gCurrentLangID == 0)
            gCurrentLangID = GetUserDefaultLangID();
    });
    step([] {
        // Forget the handle at once, so that a failure before the next load cannot leave
        // the catalogue reading a released library.
        if (gLangLibrary)
            FreeLibrary(std::exchange(gLangLibrary, nullptr));
    });

    std::wstring abbreviation;
    step([&] {
        // An identifier beyond 16 bits has no abbreviation, rather than folding onto one.
        abbreviation = gCurrentLangID >= SHRT_MIN && gCurrentLangID <= SHRT_MAX
                           ? GetLangAbbreviation(static_cast<short>(gCurrentLangID))
                           : std::wstring(L"ERROR");
    });
    step([&] {
        // No fallback from a regional language to its primary one: 3079 looks for _DEA only.
        // A missing or unusable library is no error; the built-in texts show.
        const std::wstring path = JoinPath(folder, baseName + L'_' + abbreviation + L".dll");
        gLangLibrary = LoadLibraryExW(path.c_str(), nullptr, kLoadAsData);
    });

    std::vector<std::wstring> found;
    std::vector<std::wstring> names;
    step([&] { names = ListFileNames(folder); });
    for (const std::wstring& name : names) {
        step([&] {
            if (auto libraryAbbreviation = LibraryAbbreviation(name, baseName))
                found.push_back(std::move(*libraryAbbreviation));
        });
    }
    // Never empty after a run: one empty element stands for "none found".
    if (found.empty())
        found.emplace_back();
    gLanguageList = std::move(found);

    for (Form* form : Form::LoadedForms())
        step([&] { ApplyLanguageFont(*form); });
}

}  // namespace vcm
