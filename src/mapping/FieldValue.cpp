#include "mapping/FieldValue.h"

#include <charconv>

namespace vcm {

bool IsNull(const FieldValue& value) { return std::holds_alternative<std::monostate>(value); }

std::wstring FieldText(const FieldValue& value)
{
    struct Visitor {
        std::wstring operator()(std::monostate) const { return {}; }
        std::wstring operator()(const std::wstring& s) const { return s; }
        std::wstring operator()(long long n) const { return std::to_wstring(n); }
        std::wstring operator()(double d) const
        {
            char buffer[64];
            const auto result = std::to_chars(buffer, buffer + sizeof(buffer), d);
            return std::wstring(buffer, result.ptr);
        }
        std::wstring operator()(bool b) const { return b ? L"True" : L"False"; }
        std::wstring operator()(const std::vector<unsigned char>& bytes) const
        {
            static constexpr wchar_t kHex[] = L"0123456789ABCDEF";
            std::wstring out;
            out.reserve(bytes.size() * 2);
            for (unsigned char b : bytes) {
                out.push_back(kHex[b >> 4]);
                out.push_back(kHex[b & 0x0F]);
            }
            return out;
        }
    };
    return std::visit(Visitor{}, value);
}

}  // namespace vcm
