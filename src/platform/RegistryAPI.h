// Reads one value of the registry by a requested type code, through the ANSI registry API,
// with fixed buffers and the caller's default for anything that cannot be read.
#pragma once
#include <windows.h>
#include <string>
#include <variant>
#include <vector>

namespace vcm {

// A value as the reader hands it back: empty, text, bytes or a 32-bit number.
using RegValue = std::variant<std::monostate, std::wstring, std::vector<unsigned char>, long>;

// Type codes the reader understands; any other code raises error 1001.
constexpr short kRegString = 1;  // REG_SZ
constexpr short kRegBinary = 3;  // REG_BINARY
constexpr short kRegNumber = 4;  // REG_DWORD

// Opens keyPath below hive for reading and queries valueName into a buffer of fixed size
// (1024 bytes for type 1, 4096 for type 3, 4 for type 4). The stored type is not compared
// with the requested one: the stored bytes are read by the rules of valueType.
// A key or value that cannot be opened or read, or that does not fit, yields defaultValue.
// Throws Error 1001 "Unsupported value type" for other type codes (after the key was found)
// and Error 5 for a string value with no data at all. The key is closed on every path.
RegValue ReadRegistryValue(HKEY hive, const std::wstring& keyPath, const std::wstring& valueName, short valueType,
                           const RegValue& defaultValue);

// The value taken as text: empty gives "", a number its decimal digits, bytes their ANSI text.
std::wstring RegValueText(const RegValue& value);

// The value taken as a number: empty gives 0; text must hold a decimal integer (blanks
// around it allowed), else Error 13 "Type mismatch"; bytes are a type mismatch as well.
long RegValueNumber(const RegValue& value);

}  // namespace vcm
