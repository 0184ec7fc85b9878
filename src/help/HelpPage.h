// The help page beside the executable: where it is, and its readable text for a window
// that has no HTML engine to render it.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace vcm {

// "file://" + folder + "\" + baseName + ".htm". The parts are joined as they are: a folder
// that already ends in a backslash gets a second one, and nothing is escaped.
std::wstring HelpPageUrl(const std::wstring& folder, const std::wstring& baseName);
// The same page as a file name: folder + "\" + baseName + ".htm".
std::wstring HelpPagePath(const std::wstring& folder, const std::wstring& baseName);

// A heading's place in a page's text: offsets in characters, level 1 for <h1>.
struct TextHeading {
    size_t start = 0;
    size_t length = 0;
    int level = 1;
    bool operator==(const TextHeading&) const = default;
};

struct PageText {
    std::wstring text;
    std::vector<TextHeading> headings;
};

// The text a reader sees in an HTML document, as lines separated by CR LF: headings and
// paragraphs as blocks separated by an empty line, list items as bullet (or numbered)
// lines indented by their depth, table cells separated by tabs, runs of white space
// collapsed outside <pre>, character references decoded. Scripts, styles, the title and
// comments give no text. The headings' places come with it, for a view that sets them off.
PageText HtmlToPage(std::wstring_view html);
std::wstring HtmlToText(std::wstring_view html);

// The characters of an HTML file's bytes: a byte-order mark (UTF-8, UTF-16) decides,
// else UTF-8 when the bytes are valid UTF-8, else the system's ANSI code page.
std::wstring DecodeHtmlBytes(std::string_view bytes);

// The readable text of the page in that file. A missing page gives one short line naming
// it; a page that cannot be read gives a line naming it and the reason.
PageText HelpPageContent(const std::wstring& path);
std::wstring HelpPageText(const std::wstring& path);

}  // namespace vcm
