// Where an installed product version keeps its credential mappings: the table, its columns
// and the queries that read it. Loader, removal and tests all take it from here.
#pragma once

namespace vcm {

struct MappingSource {
    const wchar_t* table;             // the mapping table a removal deletes from
    const wchar_t* loadQuery;         // the query a load reads every mapping with
    const wchar_t* removalQuery;      // the query a removal opens the mapping table with
    const wchar_t* sidColumn;         // the account's security identifier (binary)
    const wchar_t* subscriberColumn;  // the subscriber object id the mapping points to
};

inline constexpr wchar_t kKeyColumn[] = L"msrepl_tran_version";   // the mapping row's key
inline constexpr wchar_t kPrimaryColumn[] = L"IsPrimary";
inline constexpr wchar_t kSubscriberLoadQuery[] = L"Select SubscriberObjectID, UID from subscriber";

// Version 4 and later keep mappings in Credential; earlier versions in SIDHistory.
inline constexpr MappingSource MappingSourceFor(short major)
{
    if (major >= 4)
        return {L"Credential", L"Select * from credential", L"Select * from Credential", L"Credentials",
                L"SubscriberObjectID"};
    return {L"SIDHistory", L"Select * from SIDHistory", L"Select * from SIDHistory", L"SID", L"ParentObjectID"};
}

}  // namespace vcm
