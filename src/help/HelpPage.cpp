#include "help/HelpPage.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <initializer_list>
#include <vector>

#include "help/HtmlCharacters.h"
#include "platform/Error.h"
#include "platform/Handles.h"
#include "platform/TextConv.h"

namespace vcm {

namespace {

constexpr std::wstring_view kLineEnd = L"\r\n";

struct Tag {
    std::wstring name;  // lower case
    bool closing = false;
};

// Reads the tag that starts at html[pos] ('<'); returns the position after its '>' (the end
// of the text for an unterminated tag), or 0 when '<' starts no tag and stands for itself.
// Quoted attribute values may hold '>'.
size_t ParseTag(std::wstring_view html, size_t pos, Tag& tag)
{
    size_t i = pos + 1;
    tag.closing = i < html.size() && html[i] == L'/';
    if (tag.closing)
        ++i;
    const size_t nameStart = i;
    if (i >= html.size() || !IsAsciiLetter(html[i]))
        return 0;
    while (i < html.size() && (IsAsciiLetter(html[i]) || IsAsciiDigit(html[i])))
        ++i;
    tag.name = AsciiLower(html.substr(nameStart, i - nameStart));
    while (i < html.size()) {
        const wchar_t c = html[i];
        if (c == L'>')
            return i + 1;
        if (c == L'"' || c == L'\'') {
            const size_t close = html.find(c, i + 1);
            if (close == std::wstring_view::npos)
                return html.size();
            i = close;
        }
        ++i;
    }
    return html.size();
}

// Where "</name" starts at or after `from`, without regard to case; the end of the text
// when the element is never closed.
size_t FindClosingTag(std::wstring_view html, size_t from, const std::wstring& name)
{
    for (size_t i = html.find(L"</", from); i != std::wstring_view::npos; i = html.find(L"</", i + 2)) {
        if (AsciiLower(html.substr(i + 2, name.size())) == name)
            return i;
    }
    return html.size();
}

// Collects the visible text line by line. Block boundaries are requested as pending
// breaks and written only when more text follows, so that neighbouring blocks never
// pile up empty lines and the text never ends in one.
class TextBuilder {
public:
    void Characters(std::wstring_view chars)
    {
        for (wchar_t c : chars) {
            if (m_pre > 0) {
                if (c == L'\n') {
                    Flush();
                    m_out += kLineEnd;
                    m_suppressSpace = true;
                } else {
                    Visible(c);
                }
            } else if (IsHtmlSpace(c)) {
                m_pendingSpace = true;
            } else {
                Visible(c);
            }
        }
    }

    void LineBreak() { RequestBreak(1); }
    void BlankLine() { RequestBreak(2); }

    // <br>: a line ends here even when it is empty.
    void ForcedBreak()
    {
        Flush();
        if (!m_out.empty())
            m_out += kLineEnd;
        m_pendingSpace = false;
        m_suppressSpace = true;
    }

    // A list item's (or definition's) marker at the start of a new line.
    void StartItem(const std::wstring& marker)
    {
        RequestBreak(1);
        Flush();
        m_out += marker;
        m_pendingSpace = false;
        m_suppressSpace = true;
    }

    void CellSeparator()
    {
        Flush();
        m_out += L'\t';
        m_pendingSpace = false;
        m_suppressSpace = true;
    }

    void EnterPre()
    {
        BlankLine();
        ++m_pre;
    }
    void LeavePre()
    {
        if (m_pre > 0)
            --m_pre;
        BlankLine();
    }

    void StartHeading(int level)
    {
        BlankLine();
        m_headingLevel = level;
        m_headingStart = std::wstring::npos;
    }
    void EndHeading()
    {
        if (m_headingLevel > 0 && m_headingStart != std::wstring::npos && m_out.size() > m_headingStart)
            m_page.headings.push_back({m_headingStart, m_out.size() - m_headingStart, m_headingLevel});
        m_headingLevel = 0;
        BlankLine();
    }

    PageText Finish()
    {
        while (!m_out.empty() && (IsHtmlSpace(m_out.back()) || m_out.back() == L'\u00A0'))
            m_out.pop_back();
        m_page.text = std::move(m_out);
        return std::move(m_page);
    }

private:
    bool AtLineStart() const { return m_out.empty() || m_out.back() == L'\n'; }
    bool AfterBlankLine() const
    {
        return m_out.size() >= 4 && m_out.compare(m_out.size() - 4, 4, L"\r\n\r\n") == 0;
    }

    void RequestBreak(int lines)
    {
        m_pendingBreak = std::max(m_pendingBreak, lines);
        m_pendingSpace = false;
    }

    void Flush()
    {
        if (m_out.empty()) {
            m_pendingBreak = 0;
            return;
        }
        if (m_pendingBreak >= 1 && !AtLineStart())
            m_out += kLineEnd;
        if (m_pendingBreak >= 2 && !AfterBlankLine())
            m_out += kLineEnd;
        if (m_pendingBreak > 0)
            m_suppressSpace = true;
        m_pendingBreak = 0;
    }

    void Visible(wchar_t c)
    {
        Flush();
        if (m_pendingSpace && !m_suppressSpace && !AtLineStart())
            m_out += L' ';
        m_pendingSpace = false;
        m_suppressSpace = false;
        if (m_headingLevel > 0 && m_headingStart == std::wstring::npos)
            m_headingStart = m_out.size();
        m_out += c;
    }

    PageText m_page;
    std::wstring m_out;
    int m_headingLevel = 0;
    size_t m_headingStart = std::wstring::npos;
    int m_pendingBreak = 0;
    bool m_pendingSpace = false;
    bool m_suppressSpace = true;
    int m_pre = 0;
};

bool IsOneOf(const std::wstring& name, std::initializer_list<std::wstring_view> names)
{
    for (std::wstring_view candidate : names) {
        if (name == candidate)
            return true;
    }
    return false;
}

// Elements whose content is never shown as text; the title is the window's business.
bool HidesContent(const std::wstring& name) { return IsOneOf(name, {L"script", L"style", L"title"}); }

}  // namespace

std::wstring HelpPageUrl(const std::wstring& folder, const std::wstring& baseName)
{
    return L"file://" + HelpPagePath(folder, baseName);
}

std::wstring HelpPagePath(const std::wstring& folder, const std::wstring& baseName)
{
    return folder + L"\\" + baseName + L".htm";
}

namespace {

// The block structure open at the reader's position: the lists, innermost last, and the
// cells met so far in the current table row.
struct BlockState {
    struct List {
        bool ordered;
        int next;
    };
    std::vector<List> lists;
    int cellsInRow = 0;
};

void ApplyListTag(const Tag& tag, TextBuilder& text, BlockState& state)
{
    if (tag.name == L"ul" || tag.name == L"ol") {
        if (!tag.closing)
            state.lists.push_back({tag.name == L"ol", 1});
        else if (!state.lists.empty())
            state.lists.pop_back();
        if (state.lists.empty() || (!tag.closing && state.lists.size() == 1))
            text.BlankLine();
        else
            text.LineBreak();
    } else if (tag.closing) {  // li
        text.LineBreak();
    } else {
        const size_t depth = std::max<size_t>(state.lists.size(), 1);
        std::wstring marker(2 * (depth - 1), L' ');
        if (!state.lists.empty() && state.lists.back().ordered)
            marker += std::to_wstring(state.lists.back().next++) + L". ";
        else
            marker += L"\u2022 ";
        text.StartItem(marker);
    }
}

// What an element's tag does to the text. The reader goes on at `resume`, which is moved
// past the content of an element that hides it.
void ApplyTag(const Tag& tag, std::wstring_view html, size_t& resume, TextBuilder& text, BlockState& state)
{
    const std::wstring& name = tag.name;
    if (!tag.closing && HidesContent(name)) {
        resume = FindClosingTag(html, resume, name);
        return;
    }
    if (name.size() == 2 && name[0] == L'h' && name[1] >= L'1' && name[1] <= L'6') {
        if (tag.closing)
            text.EndHeading();
        else
            text.StartHeading(name[1] - L'0');
    } else if (IsOneOf(name, {L"p", L"blockquote", L"address", L"dl", L"hr", L"table"})) {
        text.BlankLine();
    } else if (name == L"pre") {
        if (tag.closing)
            text.LeavePre();
        else
            text.EnterPre();
    } else if (IsOneOf(name, {L"ul", L"ol", L"li"})) {
        ApplyListTag(tag, text, state);
    } else if (name == L"dd") {
        if (tag.closing)
            text.LineBreak();
        else
            text.StartItem(L"    ");
    } else if (name == L"tr") {
        state.cellsInRow = 0;
        text.LineBreak();
    } else if ((name == L"td" || name == L"th") && !tag.closing) {
        if (state.cellsInRow++ > 0)
            text.CellSeparator();
    } else if (name == L"br") {
        text.ForcedBreak();
    } else if (IsOneOf(name, {L"div", L"dt", L"center", L"form", L"fieldset", L"caption", L"body"})) {
        text.LineBreak();
    }
}

// Where the markup that starts at html[i] ('<') ends when it is a comment, a declaration or
// a processing instruction; 0 for anything else.
size_t SkipNonElement(std::wstring_view html, size_t i)
{
    if (html.compare(i, 4, L"<!--") == 0) {
        const size_t end = html.find(L"-->", i + 4);
        return end == std::wstring_view::npos ? html.size() : end + 3;
    }
    if (i + 1 < html.size() && (html[i + 1] == L'!' || html[i + 1] == L'?')) {
        const size_t end = html.find(L'>', i);
        return end == std::wstring_view::npos ? html.size() : end + 1;
    }
    return 0;
}

}  // namespace

PageText HtmlToPage(std::wstring_view source)
{
    const std::wstring html = WithUnixLineEnds(source);
    TextBuilder text;
    BlockState state;
    size_t i = 0;
    while (i < html.size()) {
        const wchar_t c = html[i];
        if (c == L'<') {
            if (const size_t skipped = SkipNonElement(html, i)) {
                i = skipped;
                continue;
            }
            Tag tag;
            if (const size_t end = ParseTag(html, i, tag)) {
                i = end;
                ApplyTag(tag, html, i, text, state);
                continue;
            }
        } else if (c == L'&') {
            std::wstring decoded;
            if (const size_t used = DecodeReference(html, i, decoded)) {
                text.Characters(decoded);
                i += used;
                continue;
            }
        }
        text.Characters(std::wstring_view(&html[i], 1));
        ++i;
    }
    return text.Finish();
}

std::wstring HtmlToText(std::wstring_view html) { return HtmlToPage(html).text; }

std::wstring DecodeHtmlBytes(std::string_view bytes)
{
    auto startsWith = [&](std::string_view mark) { return bytes.substr(0, mark.size()) == mark; };
    if (startsWith("\xEF\xBB\xBF"))
        return FromUtf8(bytes.substr(3));
    if (startsWith("\xFF\xFE") || startsWith("\xFE\xFF")) {
        const bool bigEndian = bytes[0] == '\xFE';
        std::wstring text;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            const auto first = static_cast<unsigned char>(bytes[i]);
            const auto second = static_cast<unsigned char>(bytes[i + 1]);
            text += static_cast<wchar_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
        }
        return text;
    }
    if (bytes.empty())
        return {};
    // Valid UTF-8 is taken as UTF-8; a page saved in the ANSI code page (ä as one byte)
    // is not valid UTF-8 in practice.
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                                           static_cast<int>(bytes.size()), nullptr, 0);
    if (length > 0)
        return FromUtf8(bytes);
    return FromAnsi(bytes);
}

PageText HelpPageContent(const std::wstring& path)
{
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return {L"The help page " + path + L" was not found.", {}};
        return {L"The help page " + path + L" could not be read: " + SystemMessage(error), {}};
    }
    std::string bytes;
    char chunk[16384];
    DWORD read = 0;
    for (;;) {
        if (!ReadFile(file.get(), chunk, sizeof chunk, &read, nullptr))
            return {L"The help page " + path + L" could not be read: " + SystemMessage(GetLastError()), {}};
        if (read == 0)
            break;
        bytes.append(chunk, read);
    }
    return HtmlToPage(DecodeHtmlBytes(bytes));
}

std::wstring HelpPageText(const std::wstring& path) { return HelpPageContent(path).text; }

}  // namespace vcm
