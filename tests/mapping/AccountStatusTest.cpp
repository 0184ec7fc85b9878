// The account status of each mapping: who answered for the account's SID, through a stand-in
// platform that gives every answer shape a real domain gives, and on the real platform.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <thread>
#include <map>
#include <set>

#include "TestDb.h"
#include "mapping/AccountLookup.h"
#include "mapping/AccountPlatform.h"
#include "mapping/MappingLoader.h"
#include "platform/ErrorCodes.h"
#include "platform/TextConv.h"

namespace vcm {
namespace {

using test::SidBytes;
using Bytes = std::vector<unsigned char>;

constexpr wchar_t kMachineDomain[] = L"S-1-5-21-100-200-300";
const Bytes kNoSid = {1, 5, 0, 0};  // too short to hold a SID

std::wstring TextOf(void* sid) { return SidString(Bytes(static_cast<unsigned char*>(sid), static_cast<unsigned char*>(sid) + GetLengthSid(sid))); }

// A small world: this machine, a domain whose controller answers (CORP), one without a
// controller that can be found (LOST), one whose controller cannot be reached (DOWN), and
// SIDs of a domain this machine does not know at all.
class FakePlatform : public IAccountPlatform {
public:
    bool localFails = false;
    std::map<std::wstring, AccountName> localNames = {
        {L"S-1-5-21-100-200-300-500", {L"HOST", L"Administrator"}},
        {L"S-1-5-32-544", {L"BUILTIN", L"Administrators"}},
        {L"S-1-1-0", {L"", L"Everyone"}},
    };
    std::map<std::wstring, std::wstring> domains = {
        {L"S-1-5-21-1-1-1", L"CORP"}, {L"S-1-5-21-2-2-2", L"LOST"}, {L"S-1-5-21-3-3-3", L"DOWN"}};
    std::map<std::wstring, std::wstring> controllers = {{L"CORP", L"\\\\dc1.corp"}, {L"DOWN", L"\\\\dc9.down"}};
    std::map<std::wstring, AccountName> corpNames = {{L"S-1-5-21-1-1-1-1105", {L"CORP", L"ann"}}};
    std::map<std::wstring, std::set<std::wstring>> askedAt;  // controller -> SIDs it was asked for
    int domainQuestions = 0;  // DomainName and LocateController calls
    int controllerCalls = 0;

    Answers LookupLocal(const std::vector<void*>& sids) override
    {
        if (localFails)
            ThrowWin32(RPC_S_CALL_FAILED, L"LsaLookupSids");
        return Answer(localNames, sids);
    }
    Bytes AccountDomainSid() override { return SidBytes(kMachineDomain); }
    std::wstring DomainName(void* domainSid) override
    {
        ++domainQuestions;
        const auto it = domains.find(TextOf(domainSid));
        return it == domains.end() ? L"" : it->second;
    }
    std::wstring LocateController(const std::wstring& domain) override
    {
        ++domainQuestions;
        const auto it = controllers.find(domain);
        return it == controllers.end() ? L"" : it->second;
    }
    Answers LookupAt(const std::wstring& controller, const std::vector<void*>& sids) override
    {
        ++controllerCalls;
        for (void* sid : sids)
            askedAt[controller].insert(TextOf(sid));
        if (controller != L"\\\\dc1.corp")
            ThrowWin32(RPC_S_SERVER_UNAVAILABLE, L"LsaOpenPolicy");
        return Answer(corpNames, sids);
    }

private:
    static Answers Answer(const std::map<std::wstring, AccountName>& names, const std::vector<void*>& sids)
    {
        Answers answers;
        for (void* sid : sids) {
            const auto it = names.find(TextOf(sid));
            answers.push_back(it == names.end() ? std::nullopt : std::optional<AccountName>(it->second));
        }
        return answers;
    }
};

struct Expected {
    const char* what;
    Bytes sid;
    AccountStatus status;
    std::wstring domain, name;
};

std::vector<Expected> Shapes()
{
    using enum AccountStatus;
    return {
        {"named on this machine", SidBytes(L"S-1-5-21-100-200-300-500"), Resolved, L"HOST", L"Administrator"},
        {"well-known group", SidBytes(L"S-1-1-0"), Resolved, L"", L"Everyone"},
        {"no such account in this machine's domain", SidBytes(L"S-1-5-21-100-200-300-4242"), Deleted, L"", L""},
        {"no such BUILTIN group", SidBytes(L"S-1-5-32-999"), Deleted, L"", L""},
        {"the controller names it", SidBytes(L"S-1-5-21-1-1-1-1105"), Resolved, L"CORP", L"ann"},
        {"the controller knows no such account", SidBytes(L"S-1-5-21-1-1-1-1106"), Deleted, L"", L""},
        {"no controller can be located", SidBytes(L"S-1-5-21-2-2-2-1107"), Unverified, L"", L""},
        {"the controller cannot be reached", SidBytes(L"S-1-5-21-3-3-3-1108"), Unverified, L"", L""},
        {"a domain this machine does not know", SidBytes(L"S-1-5-21-4-4-4-1109"), Unverified, L"", L""},
        {"an authority no machine answers for", SidBytes(L"S-1-99-1"), Unverified, L"", L""},
        {"bytes that hold no SID", kNoSid, Unverified, L"", L""},
    };
}

TEST(AccountStatus, DecidedByWhoAnsweredForTheDomain)
{
    const std::vector<Expected> shapes = Shapes();
    for (const size_t chunk : {size_t{2}, AccountLookup::kChunk}) {
        auto platform = std::make_shared<FakePlatform>();
        AccountLookup lookup({}, chunk, platform);
        std::vector<AccountLookup::SidId> ids;
        for (const Expected& e : shapes)
            ids.push_back(lookup.Add(e.sid));
        lookup.Resolve();
        for (size_t i = 0; i < ids.size(); ++i) {
            const Expected& e = shapes[i];
            const std::string what = std::string(e.what) + ", chunk " + std::to_string(chunk);
            EXPECT_EQ(lookup.Status(ids[i]), e.status) << what;
            EXPECT_EQ(lookup.Name(ids[i]).domain, e.domain) << what;
            EXPECT_EQ(lookup.Name(ids[i]).name, e.name) << what;
        }
        // Each controller hears only of its own domain's unnamed SIDs.
        EXPECT_EQ(platform->askedAt[L"\\\\dc1.corp"],
                  (std::set<std::wstring>{L"S-1-5-21-1-1-1-1105", L"S-1-5-21-1-1-1-1106"}));
        EXPECT_EQ(platform->askedAt[L"\\\\dc9.down"], std::set<std::wstring>{L"S-1-5-21-3-3-3-1108"});
        ASSERT_TRUE(lookup.Failure()) << "an unreachable controller is told";
        EXPECT_EQ(lookup.Failure()->Number(), RPC_S_SERVER_UNAVAILABLE);
    }
}

// A load of many chunks finds each domain's controller once, and a controller that cannot be
// reached is not asked again by later chunks (each attempt may wait for a network time-out).
TEST(AccountStatus, EachDomainIsLocatedOnceAndADeadControllerAskedOnce)
{
    auto platform = std::make_shared<FakePlatform>();
    AccountLookup lookup({}, 1, platform);
    std::vector<AccountLookup::SidId> ids;
    for (int rid = 2000; rid < 2004; ++rid) {
        ids.push_back(lookup.Add(SidBytes(L"S-1-5-21-3-3-3-" + std::to_wstring(rid))));
        ids.push_back(lookup.Add(SidBytes(L"S-1-5-21-1-1-1-" + std::to_wstring(rid))));
    }
    lookup.Resolve();
    for (size_t i = 0; i < ids.size(); ++i)
        EXPECT_EQ(lookup.Status(ids[i]), i % 2 ? AccountStatus::Deleted : AccountStatus::Unverified) << i;
    EXPECT_EQ(platform->domainQuestions, 4) << "name and controller of DOWN and of CORP, once each";
    EXPECT_EQ(platform->askedAt[L"\\\\dc9.down"].size(), 1u);
    EXPECT_EQ(platform->controllerCalls, 5) << "CORP's controller for each of its chunks, DOWN's once";
}

TEST(AccountStatus, NothingIsDeletedWhenTheLocalLookupFails)
{
    auto platform = std::make_shared<FakePlatform>();
    platform->localFails = true;
    AccountLookup lookup({}, AccountLookup::kChunk, platform);
    std::vector<AccountLookup::SidId> ids;
    const std::vector<Expected> shapes = Shapes();
    for (const Expected& e : shapes)
        ids.push_back(lookup.Add(e.sid));
    lookup.Resolve();
    for (size_t i = 0; i < ids.size(); ++i)
        EXPECT_EQ(lookup.Status(ids[i]), AccountStatus::Unverified) << shapes[i].what;
    EXPECT_TRUE(platform->askedAt.empty());
    ASSERT_TRUE(lookup.Failure());
    EXPECT_EQ(lookup.Failure()->Number(), RPC_S_CALL_FAILED);
}

// A load from a database with plain SQLite columns: each row keeps what it came from, and
// the domain whose controller is down leaves only its own rows Unverified.
TEST(AccountStatus, ALoadKeepsEachRowsDataAndStatus)
{
    const std::wstring db = test::CreateTestDb(
        L"status.db",
        {L"CREATE TABLE Subscriber (SubscriberObjectID TEXT, UID TEXT, Alias TEXT, DisplayName TEXT)",
         L"CREATE TABLE Credential (SubscriberObjectID TEXT, Credentials BLOB, IsPrimary INTEGER, "
         L"msrepl_tran_version TEXT)",
         L"INSERT INTO Subscriber VALUES ('S1', 'ann', 'ann', 'Ann')",
         L"INSERT INTO Subscriber VALUES ('S2', 'bob', 'bob', 'Bob')",
         L"INSERT INTO Credential VALUES ('S1', " + test::SidLiteral(L"S-1-5-21-1-1-1-1105") + L", 1, 'k1')",
         L"INSERT INTO Credential VALUES ('S2', " + test::SidLiteral(L"S-1-5-21-3-3-3-1108") + L", 0, 'k2')",
         L"INSERT INTO Credential VALUES ('S2', " + test::SidLiteral(L"S-1-5-21-1-1-1-1106") + L", 0, 'k3')",
         L"INSERT INTO Credential VALUES ('S9', X'0105', 0, 'k4')",
         L"INSERT INTO Credential VALUES ('S2', NULL, 0, 'k5')",
         L"INSERT INTO Credential VALUES ('S1', " + test::BlobLiteral([] {
             Bytes padded = SidBytes(L"S-1-5-21-3-3-3-1110");
             padded.resize(40, 0);
             return padded;
         }()) + L", 0, 'k6')"});
    LoadSettings settings{db, 4, false, true, {}, std::make_shared<FakePlatform>()};  // every row
    const MappingLoad load = LoadMappings(settings);
    ASSERT_FALSE(load.report.mappingTable);
    ASSERT_TRUE(load.report.accountLookup) << "the unreachable controller is reported";
    const MappingModel& model = *load.model;

    using enum AccountStatus;
    const struct {
        std::wstring key, subscriber, velto;
        bool primary;
        AccountStatus status;
        std::wstring sidText, accountText;
    } rows[] = {
        {L"k1", L"S1", L"ann", true, Resolved, L"S-1-5-21-1-1-1-1105", L"CORP\\ann"},
        {L"k2", L"S2", L"bob", false, Unverified, L"S-1-5-21-3-3-3-1108", L"S-1-5-21-3-3-3-1108"},
        {L"k3", L"S2", L"bob", false, Deleted, L"S-1-5-21-1-1-1-1106", L"S-1-5-21-1-1-1-1106"},
        {L"k4", L"S9", L"ERROR!", false, Unverified, L"0x0105", L"0x0105"},
        {L"k5", L"S2", L"bob", false, Unverified, L"", L"\\"},
        {L"k6", L"S1", L"ann", false, Unverified, L"S-1-5-21-3-3-3-1110", L"S-1-5-21-3-3-3-1110"},
    };
    ASSERT_EQ(model.Size(), std::size(rows));
    for (MappingModel::Row r = 0; r < model.Size(); ++r) {
        const auto& e = rows[r];
        const std::string what = "row " + std::to_string(r + 1);
        EXPECT_EQ(model.Key(r), e.key) << what;
        EXPECT_EQ(model.SubscriberId(r), e.subscriber) << what;
        EXPECT_EQ(model.VeltoAlias(r), e.velto) << what;
        EXPECT_EQ(model.Primary(r), e.primary) << what;
        EXPECT_EQ(model.Status(r), e.status) << what;
        EXPECT_EQ(model.SidText(r), e.sidText) << what;
        EXPECT_EQ(model.AccountText(r), e.accountText) << what;
    }
    // The bytes as stored, padding and all; none for Null.
    EXPECT_EQ(model.SidBytes(0), SidBytes(L"S-1-5-21-1-1-1-1105"));
    EXPECT_EQ(model.SidBytes(3), (Bytes{1, 5}));
    EXPECT_TRUE(model.SidBytes(4).empty());
    EXPECT_FALSE(model.HasSid(4));
    EXPECT_EQ(model.SidBytes(5).size(), 40u);

    // With Show Only Custom Mappings, CORP\ann mapped to "ann" is left out; the rows after it
    // keep their own bytes.
    settings.showOnlyCustom = true;
    const MappingLoad custom = LoadMappings(settings);
    ASSERT_EQ(custom.model->Size(), 5u);
    EXPECT_EQ(custom.model->Key(2), L"k4");
    EXPECT_EQ(custom.model->SidBytes(2), (Bytes{1, 5}));
    EXPECT_EQ(custom.model->Key(4), L"k6");
    EXPECT_EQ(custom.model->SidBytes(4).size(), 40u);
    EXPECT_EQ(custom.model->SidText(4), L"S-1-5-21-3-3-3-1110");
}

// This machine names the even numbers of its domain; a batch holding a number from `fails`
// fails as a whole with that number's error, after `slowMs` when the number is slow.
class CountingPlatform : public IAccountPlatform {
public:
    std::map<unsigned, DWORD> fails;  // rid -> error of the batch holding it
    std::set<unsigned> slow;          // a batch holding one of these answers late
    std::atomic<int> lookups{0};

    Answers LookupLocal(const std::vector<void*>& sids) override
    {
        ++lookups;
        Answers answers;
        for (void* sid : sids) {
            const unsigned rid = *GetSidSubAuthority(sid, *GetSidSubAuthorityCount(sid) - 1);
            if (slow.count(rid))
                Sleep(60);
            if (const auto failing = fails.find(rid); failing != fails.end())
                ThrowWin32(failing->second, L"LsaLookupSids");
            answers.push_back(rid % 2 ? std::nullopt : std::optional<AccountName>({L"HOST", L"u" + std::to_wstring(rid)}));
        }
        return answers;
    }
    Bytes AccountDomainSid() override { return SidBytes(kMachineDomain); }
    std::wstring DomainName(void*) override { return {}; }
    std::wstring LocateController(const std::wstring&) override { return {}; }
    Answers LookupAt(const std::wstring&, const std::vector<void*>&) override { return {}; }
};

// Chunks resolved on several threads at once, in any order, give each account the names and
// status that resolving them one after the other gives, and the failure of the first failing
// chunk in order, even when a later one fails first.
TEST(AccountStatus, ChunksResolvedAtOnceAnswerAsOneAfterAnother)
{
    constexpr size_t kChunk = 7;
    constexpr unsigned kAccounts = 60;  // 9 chunks, the last one short
    const struct {
        const char* what;
        std::map<unsigned, DWORD> fails;
        std::set<unsigned> slow;
        unsigned threads;
    } cases[] = {
        {"all answered, 3 threads", {}, {}, 3},
        {"all answered, more threads than chunks", {}, {}, 12},
        {"the earlier failing chunk answers last", {{1010, RPC_S_CALL_FAILED}, {1040, RPC_S_SERVER_UNAVAILABLE}}, {1010}, 4},
        {"one failing chunk, 2 threads", {{1055, RPC_S_CALL_FAILED}}, {}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto serial = std::make_shared<CountingPlatform>();
        auto parallel = std::make_shared<CountingPlatform>();
        for (auto* p : {serial.get(), parallel.get()}) {
            p->fails = c.fails;
            p->slow = c.slow;
        }
        AccountLookup one({}, kChunk, serial);
        AccountLookup many({}, kChunk, parallel);
        std::vector<AccountLookup::SidId> ids;
        for (unsigned rid = 1000; rid < 1000 + kAccounts; ++rid) {
            const Bytes sid = SidBytes(L"S-1-5-21-100-200-300-" + std::to_wstring(rid));
            ids.push_back(one.Add(sid));
            EXPECT_EQ(many.Add(sid), ids.back());
        }
        one.Resolve();

        ASSERT_EQ(many.PendingIds(), kAccounts);
        const size_t chunks = many.PendingChunks();
        ASSERT_EQ(chunks, (kAccounts + kChunk - 1) / kChunk);
        std::atomic<size_t> next{0};
        std::atomic<size_t> resolved{0};
        std::vector<std::thread> workers;
        for (unsigned t = 0; t < c.threads; ++t)
            workers.emplace_back([&] {
                // From the last chunk backwards, so that later chunks are answered first.
                for (size_t i; (i = next++) < chunks;)
                    resolved += many.ResolveChunk(chunks - 1 - i);
            });
        for (std::thread& worker : workers)
            worker.join();
        many.FinishResolve();

        EXPECT_EQ(resolved.load(), kAccounts);
        EXPECT_EQ(many.PendingIds(), 0u);
        for (size_t i = 0; i < ids.size(); ++i) {
            EXPECT_EQ(many.Status(ids[i]), one.Status(ids[i])) << i;
            EXPECT_EQ(many.Name(ids[i]).name, one.Name(ids[i]).name) << i;
            EXPECT_EQ(many.Name(ids[i]).domain, one.Name(ids[i]).domain) << i;
        }
        EXPECT_EQ(many.PlatformCalls(), one.PlatformCalls());
        EXPECT_EQ(parallel->lookups.load(), static_cast<int>(chunks));
        ASSERT_EQ(many.Failure().has_value(), one.Failure().has_value());
        if (one.Failure())
            EXPECT_EQ(many.Failure()->Number(), one.Failure()->Number());
    }
}

// Wine's own answers: it has no domain controllers, so an unused number of the machine's own
// domain is Deleted while a SID of any other domain stays Unverified.
TEST(AccountStatus, OnTheRealPlatform)
{
    const std::shared_ptr<IAccountPlatform> system = SystemAccountPlatform();
    const Bytes machine = system->AccountDomainSid();
    ASSERT_FALSE(machine.empty()) << "the machine has an account domain";
    const std::wstring machineText = SidString(machine);
    ASSERT_TRUE(machineText.starts_with(L"S-1-5-21-")) << "its SID is an account domain's";
    // No controller for a domain nobody runs; a domain SID nobody knows has no name.
    EXPECT_EQ(system->LocateController(L"NO-SUCH-DOMAIN-4242"), L"");
    Bytes unknownDomain = SidBytes(L"S-1-5-21-7-7-7");
    EXPECT_EQ(system->DomainName(unknownDomain.data()), L"");
    Bytes machineCopy = machine;
    const std::wstring machineName = system->DomainName(machineCopy.data());
    std::printf("[ platform ] machine domain %s named \"%s\", its controller \"%s\"\n", ToUtf8(machineText).c_str(),
                ToUtf8(machineName).c_str(), ToUtf8(system->LocateController(machineName)).c_str());

    using enum AccountStatus;
    const struct {
        std::wstring sid;
        AccountStatus status;
    } cases[] = {
        {L"S-1-1-0", Resolved},
        {L"S-1-5-18", Resolved},
        {L"S-1-5-32-544", Resolved},
        {L"S-1-5-32-999", Deleted},
        {machineText + L"-500", Resolved},
        {machineText + L"-4242", Deleted},
        {machineText + L"-4243", Deleted},
        {L"S-1-5-21-7-7-7-4242", Unverified},
        {L"S-1-5-21-1004336348-1177238915-682003330-1001", Unverified},
    };
    AccountLookup lookup;
    std::vector<AccountLookup::SidId> ids;
    for (const auto& c : cases)
        ids.push_back(lookup.Add(SidBytes(c.sid)));
    const AccountLookup::SidId noSid = lookup.Add(kNoSid);
    lookup.Resolve();
    for (size_t i = 0; i < ids.size(); ++i)
        EXPECT_EQ(lookup.Status(ids[i]), cases[i].status) << ToUtf8(cases[i].sid);
    EXPECT_EQ(lookup.Status(noSid), Unverified);
    EXPECT_FALSE(lookup.Failure()) << "unknown accounts and domains are no failure";
}

}  // namespace
}  // namespace vcm
