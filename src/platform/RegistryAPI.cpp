#include "platform/RegistryAPI.h"

#include <cerrno>
#include <climits>
#include <cwchar>
#include <string_view>

#include "platform/ErrorCodes.h"
#include "platform/Handles.h"
#include "platform/TextConv.h"

namespace vcm {

namespace {
// The buffer sizes are part of the reader's contract: a value that does not fit yields the
// default, and there is no second attempt with a larger buffer.
constexpr DWORD kStringBufferBytes = 1024;
constexpr DWORD kBinaryBufferBytes = 4096;
constexpr DWORD kNumberBytes = 4;

LSTATUS Query(HKEY key, const std::string& name, void* data, DWORD* size)
{
    return RegQueryValueExA(key, name.c_str(), nullptr, nullptr, static_cast<BYTE*>(data), size);
}
}  // namespace

RegValue ReadRegistryValue(HKEY hive, const std::wstring& keyPath, const std::wstring& valueName, short valueType,
                           const RegValue& defaultValue)
{
    RegValue result = defaultValue;

    const std::string ansiPath = ToAnsi(keyPath);
    HKEY opened = nullptr;
    if (RegOpenKeyExA(hive, ansiPath.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return result;
    // Owning the key here closes it on every way out, including the errors raised below.
    const UniqueHKey key(opened);
    const std::string ansiName = ToAnsi(valueName);

    switch (valueType) {
    case kRegString: {
        std::string buffer(kStringBufferBytes, ' ');
        DWORD size = kStringBufferBytes;
        if (Query(key.get(), ansiName, buffer.data(), &size) == ERROR_SUCCESS) {
            // The last stored byte is taken to be the terminating NUL and dropped; a value
            // with no data at all leaves nothing to drop.
            if (size == 0)
                throw InvalidCallError(L"ReadRegistryValue");
            result = FromAnsi(std::string_view(buffer.data(), size - 1));
        }
        break;
    }
    case kRegBinary: {
        std::vector<unsigned char> buffer(kBinaryBufferBytes);
        DWORD size = kBinaryBufferBytes;
        if (Query(key.get(), ansiName, buffer.data(), &size) == ERROR_SUCCESS) {
            // A value with no data gives an empty array.
            buffer.resize(size);
            result = std::move(buffer);
        }
        break;
    }
    case kRegNumber: {
        DWORD number = 0;
        DWORD size = kNumberBytes;
        if (Query(key.get(), ansiName, &number, &size) == ERROR_SUCCESS)
            result = static_cast<long>(static_cast<LONG>(number));
        break;
    }
    default:
        throw UnsupportedValueTypeError();
    }
    return result;
}

std::wstring RegValueText(const RegValue& value)
{
    if (const auto* text = std::get_if<std::wstring>(&value))
        return *text;
    if (const auto* number = std::get_if<long>(&value))
        return std::to_wstring(*number);
    if (const auto* bytes = std::get_if<std::vector<unsigned char>>(&value))
        return FromAnsi(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
    return {};
}

long RegValueNumber(const RegValue& value)
{
    if (const auto* number = std::get_if<long>(&value))
        return *number;
    if (std::holds_alternative<std::monostate>(value))
        return 0;
    if (const auto* text = std::get_if<std::wstring>(&value)) {
        const std::wstring trimmed = TrimBlanks(*text);
        if (!trimmed.empty()) {
            wchar_t* end = nullptr;
            errno = 0;
            const long long parsed = std::wcstoll(trimmed.c_str(), &end, 10);
            if (errno == 0 && end == trimmed.c_str() + trimmed.size() && parsed >= LONG_MIN && parsed <= LONG_MAX)
                return static_cast<long>(parsed);
        }
    }
    throw TypeMismatchError(L"RegValueNumber");
}

}  // namespace vcm
