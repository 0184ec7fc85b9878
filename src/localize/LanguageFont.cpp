// The character set and face that controls need to show the current language's texts.
#include "localize/modLocalize.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <cwchar>
#include <vector>

#include "platform/Handles.h"
#include "platform/StepRunner.h"
#include "platform/WinHelpers.h"
#include "platform/Window.h"

namespace vcm {

namespace {

struct LanguageFont {
    long languageId;
    BYTE charSet;
    const wchar_t* face;
};

// Languages whose script needs a font of its own; every other language gets the
// default character set and keeps the control's face.
constexpr std::array<LanguageFont, 4> kLanguageFonts = {{
    {1042, HANGUL_CHARSET, L"\uAD74\uB9BC"},
    {1028, CHINESEBIG5_CHARSET, L"\u65B0\u7D30\u660E\u9AD4"},
    {1041, SHIFTJIS_CHARSET, L"\uFF2D\uFF33\u0020\uFF30\u30B4\u30B7\u30C3\u30AF"},
    {2052, GB2312_CHARSET, L"\u5B8B\u4F53"},
}};

LanguageFont FontForLanguage(long id)
{
    const auto it = std::find_if(kLanguageFonts.begin(), kLanguageFonts.end(),
                                 [id](const LanguageFont& font) { return font.languageId == id; });
    return it != kLanguageFonts.end() ? *it : LanguageFont{id, DEFAULT_CHARSET, L""};
}

// Two descriptions of the same font compare equal only when whatever follows the face
// name's terminator is cleared too.
LOGFONTW Normalized(LOGFONTW font)
{
    const size_t length = wcsnlen(font.lfFaceName, LF_FACESIZE - 1);
    std::fill(font.lfFaceName + length, font.lfFaceName + LF_FACESIZE, L'\0');
    return font;
}

struct CachedFont {
    LOGFONTW description;
    UniqueHFont font;
};

// Every font handed to a control lives for the rest of the run: controls keep using them,
// and asking again for the same description returns the same font.
HFONT SharedFont(const LOGFONTW& wanted)
{
    static std::vector<CachedFont> cache;
    const LOGFONTW key = Normalized(wanted);
    for (const CachedFont& entry : cache) {
        if (std::memcmp(&entry.description, &key, sizeof key) == 0)
            return entry.font.get();
    }
    UniqueHFont font(CreateFontIndirectW(&key));
    if (!font)
        return nullptr;
    cache.push_back({key, std::move(font)});
    return cache.back().font.get();
}

// The control's current font; a control without one draws with the system's message font.
bool CurrentFont(HWND control, LOGFONTW& font)
{
    if (auto current = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0))) {
        if (GetObjectW(current, sizeof font, &font) == sizeof font)
            return true;
    }
    return MessageFont(font) || StockGuiFont(font);
}

}  // namespace

void SetControlFont(HWND control)
{
    if (!IsWindow(control))
        return;
    LOGFONTW font = {};
    if (!CurrentFont(control, font))
        return;
    const LanguageFont wanted = FontForLanguage(gCurrentLangID);
    font.lfCharSet = wanted.charSet;
    // An empty face leaves the control's face as it is.
    if (*wanted.face != L'\0') {
        const size_t length = std::min<size_t>(std::wcslen(wanted.face), LF_FACESIZE - 1);
        std::copy_n(wanted.face, length, font.lfFaceName);
        font.lfFaceName[length] = L'\0';
    }
    if (HFONT shared = SharedFont(font))
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(shared), TRUE);
}

void ApplyLanguageFont(Form& form)
{
    StepRunner step;
    for (HWND control : form.Controls())
        step([control] { SetControlFont(control); });
}

}  // namespace vcm
