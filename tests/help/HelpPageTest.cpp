// The help page's name and place, and the text the help window shows where no HTML engine
// renders the page.
#include <gtest/gtest.h>

#include <windows.h>

#include <cctype>
#include <optional>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "help/HelpPage.h"
#include "platform/ProgramInfo.h"
#include "platform/TextConv.h"

namespace vcm {
namespace {

TEST(HelpPage, NameFollowsTheFolderAndTheExecutableName)
{
    struct Row {
        const char* what;
        std::wstring folder;
        std::wstring baseName;
        std::wstring url;
    };
    const Row rows[] = {
        {"the program's own name", L"C:\\Tools", L"VeltoCredentialsMap", L"file://C:\\Tools\\VeltoCredentialsMap.htm"},
        {"a renamed program looks for its own page", L"C:\\Tools", L"CredMap2", L"file://C:\\Tools\\CredMap2.htm"},
        // Joined as given: no check for a trailing backslash, nothing escaped.
        {"a drive root", L"C:\\", L"X", L"file://C:\\\\X.htm"},
        {"blanks and a hash stay as they are", L"D:\\My Tools #2", L"Velto Map", L"file://D:\\My Tools #2\\Velto Map.htm"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(HelpPageUrl(row.folder, row.baseName), row.url);
        EXPECT_EQ(L"file://" + HelpPagePath(row.folder, row.baseName), row.url);
    }
}

TEST(HelpPage, TextOfTheHtml)
{
    struct Row {
        const char* what;
        std::wstring html;
        std::wstring text;
    };
    const Row rows[] = {
        {"headings and paragraphs are blocks with an empty line between them",
         L"<h1>Title</h1><p>One\n two</p><p>Three</p>", L"Title\r\n\r\nOne two\r\n\r\nThree"},
        {"white space collapses, also across inline tags", L"<p>  a \t\n b <b> c</b>d </p>", L"a b cd"},
        {"list items are bullet lines set off from the paragraphs around them",
         L"<p>Intro</p><ul><li>one<li>two</ul><p>After</p>",
         L"Intro\r\n\r\n\u2022 one\r\n\u2022 two\r\n\r\nAfter"},
        {"nested lists indent; ordered lists count",
         L"<ol><li>first<ul><li>inner</li></ul></li><li>second</li></ol>",
         L"1. first\r\n  \u2022 inner\r\n2. second"},
        {"named, decimal and hexadecimal references",
         L"a &amp; b &lt;c&gt; &quot;d&quot; &auml;&#223;&#x20AC; &copy;&trade;", L"a & b <c> \"d\" \u00E4\u00DF\u20AC \u00A9\u2122"},
        {"an ampersand that starts no known reference stays", L"R&D &foo; &", L"R&D &foo; &"},
        {"non-breaking spaces are not collapsed", L"<p>a&nbsp;&nbsp;b</p>", L"a\u00A0\u00A0b"},
        {"beyond the BMP, the Windows-1252 range and code point 0", L"&#x1F600;&#150;&#0;",
         L"\U0001F600\u2013\uFFFD"},
        {"script, style, title and comments give no text",
         L"<head><title>T</title><style>p{}</style><script>var a='<p>x</p>';</script></head>"
         L"<body><!-- <p>hidden</p> -->Shown</body>",
         L"Shown"},
        {"pre keeps its line breaks and blanks", L"<p>x</p><pre>a  b\n  c</pre><p>y</p>",
         L"x\r\n\r\na  b\r\n  c\r\n\r\ny"},
        {"br ends a line; table cells are separated by tabs, rows by line breaks",
         L"a<br>b<table><tr><th>H1<th>H2<tr><td>c<td>d</table>", L"a\r\nb\r\n\r\nH1\tH2\r\nc\td"},
        {"a quoted '>' does not end a tag; a lone '<' is text", L"<a title=\"x>y\">link</a> 1 < 2", L"link 1 < 2"},
        {"upper-case tags and CR LF line ends", L"<P>one\r\ntwo</P>\r\n<UL><LI>x</UL>", L"one two\r\n\r\n\u2022 x"},
        {"an unterminated comment hides the rest", L"a<!-- b <p>c</p>", L"a"},
        {"so does a tag whose quoted value never ends", L"a<p class=\"x>b", L"a"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(HtmlToText(row.html), row.text);
    }
}

TEST(HelpPage, MarksWhereTheHeadingsAre)
{
    const PageText page = HtmlToPage(L"<h1>Title</h1><p>x</p><h2> Sub <i>part</i> </h2><h3></h3>y");
    EXPECT_EQ(page.text, L"Title\r\n\r\nx\r\n\r\nSub part\r\n\r\ny");
    // An empty heading marks nothing.
    const std::vector<TextHeading> expected = {{0, 5, 1}, {14, 8, 2}};
    EXPECT_EQ(page.headings, expected);
}

TEST(HelpPage, DecodesThePagesBytes)
{
    struct Row {
        const char* what;
        std::string bytes;
        std::wstring text;
    };
    const Row rows[] = {
        {"UTF-8 with a byte-order mark", "\xEF\xBB\xBF" "a\xC3\xA4", L"a\u00E4"},
        {"UTF-16 little-endian with a byte-order mark", std::string("\xFF\xFE" "a\0\xE4\0", 6), L"a\u00E4"},
        {"UTF-16 big-endian with a byte-order mark", std::string("\xFE\xFF\0a\x20\xAC", 6), L"a\u20AC"},
        {"UTF-8 without a mark", "a\xE2\x82\xAC", L"a\u20AC"},
        {"not UTF-8: the ANSI code page", "a\xE4", L"a" + FromAnsi("\xE4")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(DecodeHtmlBytes(row.bytes), row.text);
    }
}

// The page that ships beside the program: plain HTML that needs nothing from outside.
TEST(HelpPage, ShippedPageIsSelfContained)
{
    // The build copies the page beside the program, one folder above the test programs.
    const std::wstring path = AppFolder() + L"\\..\\VeltoCredentialsMap.htm";
    const std::optional<std::string> bytes = test::TryFileBytes(path);
    ASSERT_TRUE(bytes.has_value()) << "the shipped page was not read: " << ToUtf8(path);
    ASSERT_GT(bytes->size(), 1000u) << ToUtf8(path);

    const std::wstring text = HelpPageText(path);
    ASSERT_EQ(text.find(L"was not found"), std::wstring::npos) << ToUtf8(path);

    std::string html = *bytes;
    for (char& c : html)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    for (const char* outside : {"<script", "javascript:", "src=", "http:", "https:", "url(", "@import", "<link"})
        EXPECT_EQ(html.find(outside), std::string::npos) << outside;

    for (const wchar_t* topic : {L"ERROR!", L"Show Only Custom Mappings", L"Show Primary Mappings",
                                 L"cannot be undone", L"Domain, AD_Alias, Velto_Alias", L"CredentialsLog.txt",
                                 L"VeltoCredentialsMap_DEU.dll", L"Change Language"})
        EXPECT_NE(text.find(topic), std::wstring::npos) << ToUtf8(topic);
}

}  // namespace
}  // namespace vcm
