// The message filter's verdicts for 10,000 header blocks against 20,000 senders, 200
// domains and 50 rules (the collector asks it once per message on the server), beside
// a baseline that does the least the same answer needs: read the From address and look
// the sender up in a hash map. Aim: the 10,000 verdicts in under half a second.
//
// The senders are approved, blocked or waiting for approval, and a fifth of the mail
// comes from senders nobody knows, so the filter runs every test down to the sender
// list without changing the lists between iterations.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "BenchSupport.h"
#include "core/Address.h"
#include "core/CDomains.h"
#include "core/CIniFile.h"
#include "core/CMailRules.h"
#include "core/CMessage.h"
#include "core/CMessages.h"
#include "core/CRule.h"
#include "core/CSenders.h"
#include "core/Environment.h"
#include "core/ProgramFiles.h"
#include "core/ProgramSettings.h"
#include "protocol/MessageFilter.h"

namespace {

namespace fs = std::filesystem;

constexpr int kHeaders = 10000;
constexpr int kSenders = 20000;
constexpr int kDomains = 200;
constexpr int kRules = 50;
constexpr const char* kAccount = "me@home.example";

std::string senderAddress(int i) { return "sender" + std::to_string(i) + "@mail" + std::to_string(i % 97) + ".example"; }
SenderStatus statusOf(int i) {
    static const SenderStatus kCycle[] = {SenderStatus::Approved, SenderStatus::Blocked, SenderStatus::WaitingAuth};
    return kCycle[i % 3];
}

struct FilterSet {
    fs::path folder;
    std::unique_ptr<CIniFile> accounts, aliases;
    std::unique_ptr<ProgramSettings> settings;
    std::unique_ptr<CDomains> domains;
    std::unique_ptr<CMessages> store;
    std::unique_ptr<CSenders> senders;
    std::unique_ptr<CMailRules> rules;
    std::unique_ptr<MessageFilter> filter;
    std::vector<CMessage> messages;
    std::unordered_map<std::string, int> levels;  // the baseline's sender list

    FilterSet() {
        folder = BenchSupport::NewTempFolder("filter");
        MiscFuncs::SetProgramFolder(folder);
        fs::create_directories(ProgramFiles::AccountsFolder() / kAccount / "MailDir" / "WaitingAuth");
        CIniFile(ProgramFiles::AccountsIniPath().string()).Value(kAccount, "AccountEnabled", "1");
        CIniFile(ProgramFiles::AliasesIniPath().string()).Value("Aliases", "other@elsewhere.example", "1");
        makeLists();
        makeMessages();
    }
    ~FilterSet() {
        filter.reset();
        rules.reset();
        senders.reset();
        store.reset();
        domains.reset();
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
    void makeLists() {
        domains = std::make_unique<CDomains>();
        for (int d = 0; d < kDomains; ++d)
            domains->SetStatus("listed" + std::to_string(d) + ".example",
                               d % 2 ? DomainStatus::Approved : DomainStatus::Blocked, "bench");
        store = std::make_unique<CMessages>(CMessages::Start::Empty);
        senders = std::make_unique<CSenders>();
        senders->AttachMessageStore(*store);
        std::vector<SenderUpdate> updates;
        for (int i = 0; i < kSenders; ++i) {
            updates.push_back({"", senderAddress(i), statusOf(i), "bench", 0});
            levels[senderAddress(i)] = static_cast<int>(statusOf(i));
        }
        senders->SetStatusMany(updates);
        rules = std::make_unique<CMailRules>();
        for (int r = 0; r < kRules; ++r) {
            auto rule = std::make_shared<CRule>();
            rule->Name("rule " + std::to_string(r));
            rule->SubjectPattern("*offer number " + std::to_string(r) + "*");
            rule->Action(r % 2 ? RuleAction::Accept : RuleAction::DeleteFromServer);
            rules->Add(rule);
        }
        accounts = std::make_unique<CIniFile>(ProgramFiles::AccountsIniPath().string());
        aliases = std::make_unique<CIniFile>(ProgramFiles::AliasesIniPath().string());
        settings = std::make_unique<ProgramSettings>();
        filter = std::make_unique<MessageFilter>(*accounts, *aliases, *settings, *domains, *rules, *senders);
    }
    // Four in five from listed senders, one in twenty from a listed domain, the rest
    // from strangers; one in a hundred matches a rule.
    void makeMessages() {
        for (int i = 0; i < kHeaders; ++i) {
            std::string from;
            if (i % 20 == 0) from = "someone@listed" + std::to_string(i % kDomains) + ".example";
            else if (i % 5 == 0) from = "stranger" + std::to_string(i) + "@nowhere.example";
            else from = senderAddress((i * 7) % kSenders);
            const std::string subject = i % 100 == 1 ? "an offer number " + std::to_string(i % kRules) : "hello " +
                                                                                                          std::to_string(i);
            CMessage m;
            m.CreateFromText("From: \"Sender " + std::to_string(i) + "\" <" + from + ">\r\nTo: " + kAccount +
                             "\r\nSubject: " + subject + "\r\nDate: Tue, 10 Dec 2002 13:45:12 +0100\r\n"
                             "Message-ID: <" + std::to_string(i) + "@bench>\r\n\r\n");
            messages.push_back(std::move(m));
        }
    }
};

FilterSet& Set() {
    static FilterSet set;
    return set;
}

void BM_FilterVerdicts(benchmark::State& state) {
    FilterSet& set = Set();
    int counts[7] = {};
    for (auto _ : state) {
        for (const CMessage& m : set.messages) {
            std::string reason;
            const FilterVerdict verdict = set.filter->FilterMessage(kAccount, m, reason);
            ++counts[static_cast<int>(verdict) % 7];
        }
    }
    state.SetItemsProcessed(state.iterations() * kHeaders);
    // The share of each verdict, so a data set that stops at an early test shows.
    const double runs = static_cast<double>(state.iterations());
    state.counters["accept"] = counts[static_cast<int>(FilterVerdict::Accept)] / runs;
    state.counters["delete"] = counts[static_cast<int>(FilterVerdict::DeleteFromServer)] / runs;
    state.counters["hold"] = counts[static_cast<int>(FilterVerdict::HoldUnregistered)] / runs;
    state.counters["unknown"] = counts[static_cast<int>(FilterVerdict::UnknownSender)] / runs;
}

void BM_BaselineFromLookup(benchmark::State& state) {
    FilterSet& set = Set();
    for (auto _ : state) {
        for (const CMessage& m : set.messages) {
            std::string name;
            const auto found = set.levels.find(MiscFuncs::ParseAddress(m.From, name));
            benchmark::DoNotOptimize(found == set.levels.end() ? -1 : found->second);
        }
    }
    state.SetItemsProcessed(state.iterations() * kHeaders);
}

}  // namespace

BENCHMARK(BM_FilterVerdicts)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BaselineFromLookup)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
