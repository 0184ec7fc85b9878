// The product version probe through the real HKLM "Software\Orvanto" key, and the gate.
#include <gtest/gtest.h>

#include <windows.h>
#include <optional>
#include <string>
#include <vector>

#include "platform/VeltoVersion.h"

namespace vcm {

namespace {
const wchar_t kProductKey[] = L"Software\\Orvanto";

struct SavedValue {
    DWORD type = 0;
    std::vector<BYTE> data;
};

std::optional<SavedValue> SaveValue(HKEY key, const wchar_t* name)
{
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    SavedValue saved{type, std::vector<BYTE>(size)};
    RegQueryValueExW(key, name, nullptr, &type, saved.data.data(), &size);
    return saved;
}

// Writes the two numbers the product's setup writes, and puts back whatever was there before.
class VersionProbe : public testing::Test {
protected:
    void SetUp() override
    {
        HKEY existing = nullptr;
        m_keyExisted = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProductKey, 0, KEY_READ, &existing) == ERROR_SUCCESS;
        if (m_keyExisted) {
            m_version = SaveValue(existing, L"Version Number");
            m_build = SaveValue(existing, L"Build Number");
            RegCloseKey(existing);
        }
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kProductKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_key,
                                  nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override
    {
        Restore(L"Version Number", m_version);
        Restore(L"Build Number", m_build);
        RegCloseKey(m_key);
        if (!m_keyExisted)
            RegDeleteTreeW(HKEY_LOCAL_MACHINE, kProductKey);
    }

    // Stores a number, or removes the value for nullopt.
    void Store(const wchar_t* name, std::optional<DWORD> number)
    {
        if (number)
            RegSetValueExW(m_key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&*number), sizeof(DWORD));
        else
            RegDeleteValueW(m_key, name);
    }

    HKEY m_key = nullptr;

private:
    void Restore(const wchar_t* name, const std::optional<SavedValue>& saved)
    {
        if (saved)
            RegSetValueExW(m_key, name, 0, saved->type, saved->data.data(), static_cast<DWORD>(saved->data.size()));
        else
            RegDeleteValueW(m_key, name);
    }

    bool m_keyExisted = false;
    std::optional<SavedValue> m_version;
    std::optional<SavedValue> m_build;
};
}  // namespace

TEST_F(VersionProbe, SplitsTheRegistryNumbersIntoGroups)
{
    struct Case {
        const char* note;
        std::optional<DWORD> version;
        std::optional<DWORD> build;
        ProductVersion expected;
    };
    const Case cases[] = {
        {"3.1 build 0.1", 0x00030001, 0x00000001, {3, 1, 0, 1}},
        {"build low word is hexadecimal: 0x69 is 105", 0x00040000, 0x00020069, {4, 0, 2, 105}},
        {"build low word FFFF is -1", 0x00030000, 0x0001FFFF, {3, 0, 1, -1}},
        {"both absent", std::nullopt, std::nullopt, {0, 0, 0, 0}},
        {"group 000A reads as 0, not 10", 0x000A0001, 0x00000000, {0, 1, 0, 0}},
        {"group FFFF read as decimal is 0", 0x00030001, 0xFFFFFFFF, {3, 1, 0, -1}},
        {"top bit set: digits 80000001", 0x80000001, 0x00000000, {8000, 1, 0, 0}},
        {"two-digit groups", 0x00100012, 0x00990010, {10, 12, 99, 16}},
        {"reading stops at the first letter: 1E02 is 1, 0A12 is 0", 0x1E020A12, 0x00000000, {1, 0, 0, 0}},
        {"build absent, version present", 0x00040002, std::nullopt, {4, 2, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.note);
        Store(L"Version Number", c.version);
        Store(L"Build Number", c.build);
        const ProductVersion got = GetVeltoVersion();
        EXPECT_EQ(got.Major, c.expected.Major);
        EXPECT_EQ(got.Minor, c.expected.Minor);
        EXPECT_EQ(got.BuildHigh, c.expected.BuildHigh);
        EXPECT_EQ(got.BuildLow, c.expected.BuildLow);
    }
}

TEST_F(VersionProbe, ValueStoredAsLongTextCountsAsZero)
{
    // "3.10" and its NUL take five ANSI bytes, more than a number holds.
    RegSetValueExW(m_key, L"Version Number", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"3.10"), 5 * sizeof(wchar_t));
    Store(L"Build Number", 1);
    EXPECT_EQ(GetVeltoVersion().Major, 0);
    EXPECT_EQ(GetVeltoVersion().Minor, 0);
}

TEST(VersionGate, AcceptsThreeOneAndLater)
{
    struct Case {
        ProductVersion version;
        bool accepted;
    };
    const Case cases[] = {
        {{3, 1, 0, 0}, true},
        {{3, 1, 9999, -1}, true},
        {{3, 2, 0, 0}, true},
        {{4, 0, 0, 0}, true},
        {{8000, 0, 0, 0}, true},
        {{3, 0, 9999, 32767}, false},  // the build is not compared
        {{2, 9, 0, 0}, false},
        {{0, 0, 0, 0}, false},
        {{-1, 5, 0, 0}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.version.Major << "." << c.version.Minor << "." << c.version.BuildHigh);
        EXPECT_EQ(VersionAccepted(c.version), c.accepted);
    }
}

}  // namespace vcm
