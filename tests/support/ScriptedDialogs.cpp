#include "ScriptedDialogs.h"

namespace vcm::test {

int ScriptedDialogs::Message(const std::wstring& text, const std::wstring& title, UINT type)
{
    messages.push_back({text, title, type});
    if (m_answers.empty())
        return (type & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
    const int answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

std::optional<std::wstring> ScriptedDialogs::SaveFile(const SaveFileRequest& request)
{
    saveRequests.push_back(request);
    if (m_saveAnswers.empty())
        return std::nullopt;
    auto answer = std::move(m_saveAnswers.front());
    m_saveAnswers.pop_front();
    return answer;
}

}  // namespace vcm::test
