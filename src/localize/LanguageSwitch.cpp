#include "localize/LanguageSwitch.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "localize/modLocalize.h"
#include "platform/ErrorCodes.h"
#include "platform/Window.h"

namespace vcm {

long LanguageTagValue(std::wstring_view tag)
{
    std::wstring text;
    for (wchar_t c : tag) {
        if (c != L' ' && c != L'\t' && c != L'\n' && c != L'\r')
            text += c;
    }
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-'))
        negative = text[i++] == L'-';
    double value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i)
        value = value * 10 + (text[i] - L'0');
    if (i < text.size() && text[i] == L'.') {
        double scale = 0.1;
        for (++i; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i, scale /= 10)
            value += (text[i] - L'0') * scale;
    }
    const double rounded = std::nearbyint(negative ? -value : value);
    if (rounded < static_cast<double>(LONG_MIN) || rounded > static_cast<double>(LONG_MAX))
        throw OverflowError(L"mnuLanguageList_Click");
    return static_cast<long>(rounded);
}

void ApplyLanguageToLoadedForms(StepRunner& step)
{
    // A form's caption routine could unload another form; only loaded forms are visited.
    auto stillLoaded = [](const Form* form) {
        const std::vector<Form*>& loaded = Form::LoadedForms();
        return std::find(loaded.begin(), loaded.end(), form) != loaded.end();
    };
    const std::vector<Form*> forms = Form::LoadedForms();
    for (Form* form : forms) {
        if (!stillLoaded(form))
            continue;
        step([&] { ApplyLanguageFont(*form); });
        step([&] { form->CallByName(std::wstring(form->Name()) + L"_Auto_Init"); });
        if (!stillLoaded(form))
            continue;
        for (HWND control : form->Controls()) {
            step([control] {
                if (GetMenu(control) && !DrawMenuBar(control))
                    ThrowLastError(L"DrawMenuBar");
                if (!RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW))
                    ThrowLastError(L"RedrawWindow");
            });
        }
    }
}

}  // namespace vcm
