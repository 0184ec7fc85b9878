// A stand-in for the person in front of the program: records every message box and Save
// dialog, and answers from a script (IDOK when nothing is scripted, Cancel for Save).
#pragma once
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/Dialogs.h"

namespace vcm::test {

struct ShownMessage {
    std::wstring text;
    std::wstring title;
    UINT type = 0;
};

class ScriptedDialogs final : public IDialogs {
public:
    int Message(const std::wstring& text, const std::wstring& title, UINT type) override;
    std::optional<std::wstring> SaveFile(const SaveFileRequest& request) override;

    // Answers for the next message boxes, in order.
    void Answer(int answer) { m_answers.push_back(answer); }
    // The path the next Save dialog returns; nothing means Cancel.
    void AnswerSave(std::optional<std::wstring> path) { m_saveAnswers.push_back(std::move(path)); }

    std::vector<ShownMessage> messages;
    std::vector<SaveFileRequest> saveRequests;

private:
    std::deque<int> m_answers;
    std::deque<std::optional<std::wstring>> m_saveAnswers;
};

}  // namespace vcm::test
