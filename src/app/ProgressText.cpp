#include "app/ProgressText.h"

#include "localize/modLocalize.h"

namespace vcm {

std::wstring FillCounts(std::wstring text, uint64_t done, uint64_t total)
{
    std::wstring out;
    out.reserve(text.size() + 16);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'%' && i + 1 < text.size() && (text[i + 1] == L'1' || text[i + 1] == L'2')) {
            out += std::to_wstring(text[i + 1] == L'1' ? done : total);
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::wstring ProgressText(int id, uint64_t done, uint64_t total)
{
    return FillCounts(myLoadResString(id), done, total);
}

}  // namespace vcm
