#include "help/HelpPage.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <initializer_list>
#include <vector>

#include "platform/Error.h"
#include "platform/Handles.h"
#include "platform/TextConv.h"

namespace vcm {

namespace {

constexpr std::wstring_view kLineEnd = L"\r\n";
constexpr wchar_t kReplacementCharacter = L'\uFFFD';

// The HTML 4 names of U+00A0 to U+00FF, in code order.
constexpr std::array<std::wstring_view, 96> kLatin1Names = {
    L"nbsp",   L"iexcl",  L"cent",   L"pound",  L"curren", L"yen",    L"brvbar", L"sect",
    L"uml",    L"copy",   L"ordf",   L"laquo",  L"not",    L"shy",    L"reg",    L"macr",
    L"deg",    L"plusmn", L"sup2",   L"sup3",   L"acute",  L"micro",  L"para",   L"middot",
    L"cedil",  L"sup1",   L"ordm",   L"raquo",  L"frac14", L"frac12", L"frac34", L"iquest",
    L"Agrave", L"Aacute", L"Acirc",  L"Atilde", L"Auml",   L"Aring",  L"AElig",  L"Ccedil",
    L"Egrave", L"Eacute", L"Ecirc",  L"Euml",   L"Igrave", L"Iacute", L"Icirc",  L"Iuml",
    L"ETH",    L"Ntilde", L"Ograve", L"Oacute", L"Ocirc",  L"Otilde", L"Ouml",   L"times",
    L"Oslash", L"Ugrave", L"Uacute", L"Ucirc",  L"Uuml",   L"Yacute", L"THORN",  L"szlig",
    L"agrave", L"aacute", L"acirc",  L"atilde", L"auml",   L"aring",  L"aelig",  L"ccedil",
    L"egrave", L"eacute", L"ecirc",  L"euml",   L"igrave", L"iacute", L"icirc",  L"iuml",
    L"eth",    L"ntilde", L"ograve", L"oacute", L"ocirc",  L"otilde", L"ouml",   L"divide",
    L"oslash", L"ugrave", L"uacute", L"ucirc",  L"uuml",   L"yacute", L"thorn",  L"yuml",
};

struct NamedCharacter {
    std::wstring_view name;
    char32_t code;
};

// The other names a hand-written page is likely to use.
constexpr NamedCharacter kOtherNames[] = {
    {L"amp", 0x26},      {L"lt", 0x3C},       {L"gt", 0x3E},       {L"quot", 0x22},
    {L"apos", 0x27},     {L"OElig", 0x152},   {L"oelig", 0x153},   {L"Scaron", 0x160},
    {L"scaron", 0x161},  {L"Yuml", 0x178},    {L"fnof", 0x192},    {L"circ", 0x2C6},
    {L"tilde", 0x2DC},   {L"ensp", 0x2002},   {L"emsp", 0x2003},   {L"thinsp", 0x2009},
    {L"ndash", 0x2013},  {L"mdash", 0x2014},  {L"lsquo", 0x2018},  {L"rsquo", 0x2019},
    {L"sbquo", 0x201A},  {L"ldquo", 0x201C},  {L"rdquo", 0x201D},  {L"bdquo", 0x201E},
    {L"dagger", 0x2020}, {L"Dagger", 0x2021}, {L"bull", 0x2022},   {L"hellip", 0x2026},
    {L"permil", 0x2030}, {L"lsaquo", 0x2039}, {L"rsaquo", 0x203A}, {L"euro", 0x20AC},
    {L"trade", 0x2122},  {L"larr", 0x2190},   {L"uarr", 0x2191},   {L"rarr", 0x2192},
    {L"darr", 0x2193},   {L"minus", 0x2212},
};

// Browsers read numeric references 128 to 159 as the Windows-1252 characters of those
// bytes; 0 marks the five bytes that code page leaves undefined.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

bool IsAsciiLetter(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }
bool IsAsciiDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }
bool IsHtmlSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r' || c == L'\f'; }

int HexDigitValue(wchar_t c)
{
    if (IsAsciiDigit(c))
        return c - L'0';
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    return -1;
}

std::wstring AsciiLower(std::wstring_view text)
{
    std::wstring lower(text);
    for (wchar_t& c : lower) {
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return lower;
}

void AppendCodePoint(std::wstring& out, char32_t code)
{
    if (code >= 0x80 && code <= 0x9F && kWindows1252High[code - 0x80] != 0)
        code = kWindows1252High[code - 0x80];
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        out += kReplacementCharacter;
    } else if (code >= 0x10000) {
        code -= 0x10000;
        out += static_cast<wchar_t>(0xD800 + (code >> 10));
        out += static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
    } else {
        out += static_cast<wchar_t>(code);
    }
}

// Decodes the character reference that starts at html[pos] ('&') into `out`; returns the
// number of characters it spans, or 0 when the ampersand starts no known reference and
// stands for itself.
size_t DecodeReference(std::wstring_view html, size_t pos, std::wstring& out)
{
    size_t i = pos + 1;
    if (i < html.size() && html[i] == L'#') {
        ++i;
        const bool hex = i < html.size() && (html[i] == L'x' || html[i] == L'X');
        if (hex)
            ++i;
        const size_t digits = i;
        char32_t value = 0;
        for (; i < html.size(); ++i) {
            const int digit = hex ? HexDigitValue(html[i]) : (IsAsciiDigit(html[i]) ? html[i] - L'0' : -1);
            if (digit < 0)
                break;
            // Anything beyond the last code point decodes to the replacement character.
            value = value > 0x10FFFF ? value : value * (hex ? 16 : 10) + static_cast<char32_t>(digit);
        }
        if (i == digits)
            return 0;
        if (i < html.size() && html[i] == L';')
            ++i;
        AppendCodePoint(out, value);
        return i - pos;
    }
    const size_t nameStart = i;
    while (i < html.size() && i - nameStart < 10 && (IsAsciiLetter(html[i]) || IsAsciiDigit(html[i])))
        ++i;
    if (i == nameStart || i >= html.size() || html[i] != L';')
        return 0;
    const std::wstring_view name = html.substr(nameStart, i - nameStart);
    for (size_t k = 0; k < kLatin1Names.size(); ++k) {
        if (kLatin1Names[k] == name) {
            AppendCodePoint(out, static_cast<char32_t>(0xA0 + k));
            return i + 1 - pos;
        }
    }
    for (const NamedCharacter& named : kOtherNames) {
        if (named.name == name) {
            AppendCodePoint(out, named.code);
            return i + 1 - pos;
        }
    }
    return 0;
}

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

std::wstring WithUnixLineEnds(std::wstring_view text)
{
    std::wstring out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\r') {
            out += L'\n';
            if (i + 1 < text.size() && text[i + 1] == L'\n')
                ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace

std::wstring HelpPageUrl(const std::wstring& folder, const std::wstring& baseName)
{
    return L"file://" + HelpPagePath(folder, baseName);
}

std::wstring HelpPagePath(const std::wstring& folder, const std::wstring& baseName)
{
    return folder + L"\\" + baseName + L".htm";
}

PageText HtmlToPage(std::wstring_view source)
{
    const std::wstring html = WithUnixLineEnds(source);
    TextBuilder text;
    struct List {
        bool ordered;
        int next;
    };
    std::vector<List> lists;
    int cellsInRow = 0;

    size_t i = 0;
    while (i < html.size()) {
        const wchar_t c = html[i];
        if (c == L'<') {
            if (html.compare(i, 4, L"<!--") == 0) {
                const size_t end = html.find(L"-->", i + 4);
                i = end == std::wstring::npos ? html.size() : end + 3;
                continue;
            }
            if (i + 1 < html.size() && (html[i + 1] == L'!' || html[i + 1] == L'?')) {
                const size_t end = html.find(L'>', i);
                i = end == std::wstring::npos ? html.size() : end + 1;
                continue;
            }
            Tag tag;
            const size_t end = ParseTag(html, i, tag);
            if (end != 0) {
                i = end;
                const std::wstring& name = tag.name;
                if (!tag.closing && HidesContent(name)) {
                    i = FindClosingTag(html, i, name);
                } else if (name.size() == 2 && name[0] == L'h' && name[1] >= L'1' && name[1] <= L'6') {
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
                } else if (name == L"ul" || name == L"ol") {
                    if (!tag.closing)
                        lists.push_back({name == L"ol", 1});
                    else if (!lists.empty())
                        lists.pop_back();
                    if (lists.empty() || (!tag.closing && lists.size() == 1))
                        text.BlankLine();
                    else
                        text.LineBreak();
                } else if (name == L"li") {
                    if (tag.closing) {
                        text.LineBreak();
                    } else {
                        const size_t depth = std::max<size_t>(lists.size(), 1);
                        std::wstring marker(2 * (depth - 1), L' ');
                        if (!lists.empty() && lists.back().ordered)
                            marker += std::to_wstring(lists.back().next++) + L". ";
                        else
                            marker += L"\u2022 ";
                        text.StartItem(marker);
                    }
                } else if (name == L"dd") {
                    if (tag.closing)
                        text.LineBreak();
                    else
                        text.StartItem(L"    ");
                } else if (name == L"tr") {
                    cellsInRow = 0;
                    text.LineBreak();
                } else if ((name == L"td" || name == L"th") && !tag.closing) {
                    if (cellsInRow++ > 0)
                        text.CellSeparator();
                } else if (name == L"br") {
                    text.ForcedBreak();
                } else if (IsOneOf(name, {L"div", L"dt", L"center", L"form", L"fieldset", L"caption", L"body"})) {
                    text.LineBreak();
                }
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
