// Turns a stored security identifier into the domain and account name Windows knows it by.
// One instance serves one load and asks the system once per distinct identifier.
#pragma once
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vcm {

struct AccountName {
    std::wstring domain;
    std::wstring name;
};

class AccountLookup {
public:
    // Empty domain and name when the bytes hold no valid identifier or the system cannot
    // name the account (deleted account, unreachable domain, name too long for the buffers).
    AccountName Lookup(const std::vector<unsigned char>& sid);

private:
    struct BytesHash {
        size_t operator()(const std::vector<unsigned char>& bytes) const noexcept
        {
            return std::hash<std::string_view>{}(
                std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        }
    };
    std::unordered_map<std::vector<unsigned char>, AccountName, BytesHash> m_cache;
};

}  // namespace vcm
