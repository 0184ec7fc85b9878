// The registry reader against the test prefix's real registry.
#include <gtest/gtest.h>

#include <windows.h>
#include <string>
#include <vector>

#include "HandleProbe.h"
#include "platform/Error.h"
#include "platform/RegistryAPI.h"

namespace vcm {

namespace {
const wchar_t kTestRoot[] = L"Software\\VcmTest";
const wchar_t kTestKey[] = L"Software\\VcmTest\\Reader";

// A scratch key under HKLM that exists for one test and is removed with everything in it.
class RegistryReader : public testing::Test {
protected:
    void SetUp() override
    {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kTestRoot);
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kTestKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_key,
                                  nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override
    {
        RegCloseKey(m_key);
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kTestRoot);
    }

    void Set(const std::wstring& name, DWORD type, const void* data, size_t bytes)
    {
        ASSERT_EQ(RegSetValueExW(m_key, name.c_str(), 0, type, static_cast<const BYTE*>(data),
                                 static_cast<DWORD>(bytes)),
                  ERROR_SUCCESS);
    }
    // Stored with its terminating NUL unless told otherwise. The registry adds a NUL that the
    // caller left out of the size when one follows the data in memory, so a stray character
    // is put behind the text to keep it unterminated.
    void SetText(const std::wstring& name, const std::wstring& text, bool withNul = true)
    {
        const std::wstring data = withNul ? text : text + L'#';
        Set(name, REG_SZ, data.c_str(), (text.size() + (withNul ? 1 : 0)) * sizeof(wchar_t));
    }
    void SetNumber(const std::wstring& name, DWORD number) { Set(name, REG_DWORD, &number, sizeof number); }
    void SetBytes(const std::wstring& name, const std::vector<unsigned char>& bytes)
    {
        Set(name, REG_BINARY, bytes.data(), bytes.size());
    }

    static RegValue Read(const std::wstring& name, short type, const RegValue& fallback = RegValue{})
    {
        return ReadRegistryValue(HKEY_LOCAL_MACHINE, kTestKey, name, type, fallback);
    }

    HKEY m_key = nullptr;
};

std::wstring Pattern(size_t length)
{
    std::wstring text;
    for (size_t i = 0; i < length; ++i)
        text += static_cast<wchar_t>(L'a' + i % 26);
    return text;
}

std::vector<unsigned char> Bytes(size_t length)
{
    std::vector<unsigned char> bytes(length);
    for (size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<unsigned char>(i * 7 + 3);
    return bytes;
}

const RegValue kFallback = std::wstring(L"fallback");
}  // namespace

TEST_F(RegistryReader, ReadsEachTypeByItsOwnRulesWithinTheFixedBuffers)
{
    SetText(L"Text", L"Hello, Velto");
    SetText(L"Text1023", Pattern(1023));
    SetText(L"Text1024", Pattern(1024));
    SetText(L"NoNul", L"abcdef", false);
    SetText(L"Umlauts", L"Jürgen Größe €");
    SetText(L"", L"unnamed");
    SetNumber(L"Number", 0x00434241);
    SetNumber(L"Negative", 0xFFFFFFFE);
    SetText(L"TwoChars", L"AB");
    SetText(L"ThreeChars", L"ABC");
    SetText(L"FourChars", L"ABCD");
    SetBytes(L"Bin4096", Bytes(4096));
    SetBytes(L"Bin4097", Bytes(4097));
    SetBytes(L"BinEmpty", {});

    struct Case {
        const wchar_t* note;
        const wchar_t* name;
        short type;
        RegValue expected;
    };
    const Case cases[] = {
        {L"plain string", L"Text", 1, std::wstring(L"Hello, Velto")},
        {L"1023 characters and the NUL fill the buffer exactly", L"Text1023", 1, Pattern(1023)},
        {L"1024 characters do not fit: default", L"Text1024", 1, kFallback},
        {L"no terminating NUL: the last character is lost", L"NoNul", 1, std::wstring(L"abcde")},
        {L"ANSI data converted back", L"Umlauts", 1, std::wstring(L"Jürgen Größe €")},
        {L"empty name selects the unnamed value", L"", 1, std::wstring(L"unnamed")},
        {L"a number read as text gives its first three bytes", L"Number", 1, std::wstring(L"ABC")},
        {L"number", L"Number", 4, 0x00434241L},
        {L"number with the top bit set is negative", L"Negative", 4, -2L},
        {L"text of three bytes read as a number", L"TwoChars", 4, 0x4241L},
        {L"text of four bytes read as a number", L"ThreeChars", 4, 0x00434241L},
        {L"text of five bytes does not fit a number: default", L"FourChars", 4, kFallback},
        {L"4096 bytes fill the buffer exactly", L"Bin4096", 3, Bytes(4096)},
        {L"4097 bytes do not fit: default", L"Bin4097", 3, kFallback},
        {L"binary with no data gives an empty array", L"BinEmpty", 3, std::vector<unsigned char>()},
        {L"missing value: default", L"Missing", 1, kFallback},
        {L"missing value, number: default", L"Missing", 4, kFallback},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.note);
        const RegValue got = Read(c.name, c.type, kFallback);
        EXPECT_EQ(got.index(), c.expected.index());
        EXPECT_TRUE(got == c.expected) << "text: " << RegValueText(got).size() << " chars";
    }
}

TEST_F(RegistryReader, KeyPathAndValueNameGoThroughTheAnsiCodePage)
{
    HKEY sub = nullptr;
    ASSERT_EQ(RegCreateKeyExW(m_key, L"Übersicht", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr),
              ERROR_SUCCESS);
    const std::wstring text = L"café";
    RegSetValueExW(sub, L"Straße", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(sub);

    const RegValue got =
        ReadRegistryValue(HKEY_LOCAL_MACHINE, std::wstring(kTestKey) + L"\\Übersicht", L"Straße", 1, RegValue{});
    EXPECT_EQ(RegValueText(got), L"café");
}

TEST_F(RegistryReader, MissingKeyGivesTheDefaultAndEmptyReadsAsNothing)
{
    const RegValue empty = ReadRegistryValue(HKEY_LOCAL_MACHINE, L"Software\\VcmTest\\No Such Key", L"x", 1, {});
    EXPECT_TRUE(std::holds_alternative<std::monostate>(empty));
    EXPECT_EQ(RegValueText(empty), L"");
    EXPECT_EQ(RegValueNumber(empty), 0);
    // The key is opened before the type is looked at, so a bad type code on a missing key
    // still gives the default.
    EXPECT_TRUE(ReadRegistryValue(HKEY_LOCAL_MACHINE, L"Software\\VcmTest\\No Such Key", L"x", 7, kFallback) ==
                kFallback);
}

TEST_F(RegistryReader, RefusesUnsupportedTypesAndEmptyStrings)
{
    SetText(L"Text", L"x");
    SetText(L"Empty", L"", false);
    for (const short type : {0, 2, 5, 7, -1, 11}) {
        SCOPED_TRACE(type);
        try {
            Read(L"Text", type);
            ADD_FAILURE() << "no error";
        } catch (const Error& e) {
            EXPECT_EQ(e.Number(), 1001);
            EXPECT_EQ(e.Description(), L"Unsupported value type");
            EXPECT_EQ(e.Source(), L"");
        }
    }
    try {
        Read(L"Empty", 1);
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.Number(), 5);
        EXPECT_EQ(e.Description(), L"Invalid procedure call or argument");
    }
}

TEST_F(RegistryReader, NeverLeaksTheKeyHandle)
{
    SetText(L"Text", L"x");
    SetText(L"Empty", L"", false);
    auto readAll = [] {
        Read(L"Text", 1);
        Read(L"Missing", 4);
        try {
            Read(L"Text", 2);
        } catch (const Error&) {
        }
        try {
            Read(L"Empty", 1);
        } catch (const Error&) {
        }
    };
    readAll();  // the first use of a predefined hive may open and keep a handle for it
    const HANDLE before = NextFreeHandle();
    {
        // The probe must notice a handle that is left open, or the comparison below proves nothing.
        HKEY held = nullptr;
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTestKey, 0, KEY_READ, &held), ERROR_SUCCESS);
        const HANDLE withOne = NextFreeHandle();
        RegCloseKey(held);
        ASSERT_NE(withOne, before);
        ASSERT_EQ(NextFreeHandle(), before);
    }
    for (int i = 0; i < 3000; ++i)
        readAll();
    EXPECT_EQ(NextFreeHandle(), before);
}

TEST(RegValueConversions, TextAndNumberViews)
{
    EXPECT_EQ(RegValueText(RegValue{-42L}), L"-42");
    EXPECT_EQ(RegValueText(RegValue{std::vector<unsigned char>{'a', 'b'}}), L"ab");
    EXPECT_EQ(RegValueNumber(RegValue{std::wstring(L" 17 ")}), 17);
    EXPECT_THROW(RegValueNumber(RegValue{std::wstring(L"abc")}), Error);
    EXPECT_THROW(RegValueNumber(RegValue{std::vector<unsigned char>{1}}), Error);
}

}  // namespace vcm
