// The filter's two list questions per fetched message, each beside a baseline that
// does the least work the same answer needs:
//  - the action of a rule set of 50 rules for 10,000 messages (one iteration is all
//    10,000), against the same rules as plain substring searches of the lower-cased
//    headers, and against matching with patterns parsed anew for every message;
//  - StatusOf of a domain list of 200 domains, against a bare hash-map lookup plus
//    the stat(2) that keeps the settings file's copy fresh.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "BenchSupport.h"
#include "core/CDomains.h"
#include "core/CMailRules.h"
#include "core/CMessage.h"
#include "core/Log.h"
#include "core/MiscUtils.h"
#include "core/Scramble.h"
#include "core/Wildcard.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRules = 50;
constexpr int kMessages = 10000;
constexpr int kDomains = 200;

const fs::path& benchFolder() {
    static const fs::path folder = BenchSupport::NewTempFolder("rules");
    return folder;
}

// Rule i looks at one header with a literal word, some with wildcards of each kind.
struct RuleText {
    std::string name, from, to, subject;
    int action;
};

std::vector<RuleText> ruleTexts() {
    std::vector<RuleText> out;
    for (int i = 0; i < kRules; ++i) {
        RuleText r{"Rule " + std::to_string(i), "", "", "", 1 + i % 3};
        const std::string word = "word" + std::to_string(i);
        if (i % 3 == 0) r.from = i % 2 ? "sender" + std::to_string(i) + "@" : word + "?@";
        else if (i % 3 == 1) r.to = "list" + std::to_string(i) + "@*.example";
        else r.subject = i % 2 ? word + " ##" : "[" + word.substr(0, 1) + "]" + word.substr(1);
        out.push_back(r);
    }
    return out;
}

fs::path rulesFile() {
    const fs::path p = benchFolder() / "Rules.ini";
    if (!fs::exists(p)) {
        std::ofstream out(p, std::ios::binary);
        for (const RuleText& r : ruleTexts())
            out << "[" << r.name << "]\r\nTo=" << MiscFuncs::ScrambleText(r.to)
                << "\r\nFrom=" << MiscFuncs::ScrambleText(r.from)
                << "\r\nSubject=" << MiscFuncs::ScrambleText(r.subject) << "\r\nAction=" << r.action << "\r\n";
    }
    return p;
}

std::vector<CMessage> messages() {
    std::vector<CMessage> out(kMessages);
    for (int i = 0; i < kMessages; ++i) {
        CMessage& m = out[static_cast<std::size_t>(i)];
        m.From = "\"Sender Number " + std::to_string(i) + "\" <Sender" + std::to_string(i % 997) + "@Mail" +
                 std::to_string(i % 13) + ".example>";
        m.MessageTo = "User <user@home.example>, List" + std::to_string(i % 61) + "@lists.example";
        m.Subject = "Re: about Word" + std::to_string(i % 71) + " and the meeting on Tuesday " + std::to_string(i);
    }
    return out;
}

void BM_RulesActionFor10000Messages(benchmark::State& state) {
    const CMailRules rules(rulesFile().string(), (benchFolder() / "glimmerpost.ini").string());
    const std::vector<CMessage> mail = messages();
    for (auto _ : state) {
        std::string reason;
        long total = 0;
        for (const CMessage& m : mail) total += static_cast<long>(rules.ActionForMessage(m, reason));
        benchmark::DoNotOptimize(total);
    }
}
BENCHMARK(BM_RulesActionFor10000Messages)->Unit(benchmark::kMillisecond);

// The same literal words found with std::string::find in the lower-cased headers.
void BM_BaselineSubstringSearch(benchmark::State& state) {
    std::vector<RuleText> literal = ruleTexts();
    for (RuleText& r : literal) {
        r.from = MiscFuncs::LowerCase(r.from);
        r.to = MiscFuncs::LowerCase(r.to);
        r.subject = MiscFuncs::LowerCase(r.subject);
    }
    const std::vector<CMessage> mail = messages();
    for (auto _ : state) {
        long hits = 0;
        for (const CMessage& m : mail) {
            const std::string from = MiscFuncs::LowerCase(m.From), to = MiscFuncs::LowerCase(m.MessageTo),
                              subject = MiscFuncs::LowerCase(m.Subject);
            for (const RuleText& r : literal)
                hits += (r.from.empty() || from.find(r.from) != std::string::npos) &&
                        (r.to.empty() || to.find(r.to) != std::string::npos) &&
                        (r.subject.empty() || subject.find(r.subject) != std::string::npos);
        }
        benchmark::DoNotOptimize(hits);
    }
}
BENCHMARK(BM_BaselineSubstringSearch)->Unit(benchmark::kMillisecond);

// What parsing the patterns per message would cost.
void BM_BaselineParsePerMessage(benchmark::State& state) {
    const std::vector<RuleText> texts = ruleTexts();
    const std::vector<CMessage> mail = messages();
    auto matches = [](const std::string& pattern, const std::string& text) {
        return MiscFuncs::IsBlank(pattern) ||
               MiscFuncs::LikeMatch(MiscFuncs::LowerCase(text), "*" + MiscFuncs::LowerCase(pattern) + "*");
    };
    for (auto _ : state) {
        long hits = 0;
        for (const CMessage& m : mail)
            for (const RuleText& r : texts)
                hits += matches(r.from, m.From) && matches(r.to, m.MessageTo) && matches(r.subject, m.Subject);
        benchmark::DoNotOptimize(hits);
    }
}
BENCHMARK(BM_BaselineParsePerMessage)->Unit(benchmark::kMillisecond);

std::string domainName(int i) { return "mail" + std::to_string(i) + ".example" + std::to_string(i % 7) + ".com"; }

fs::path domainsFile() {
    const fs::path p = benchFolder() / "Domains.ini";
    if (!fs::exists(p)) {
        std::ofstream out(p, std::ios::binary);
        for (int i = 0; i < kDomains; ++i)
            out << "[" << domainName(i) << "]\r\nAccessLevel=" << i % 2 << "\r\nDescription=Domain " << i << "\r\n";
    }
    return p;
}

// Every other question is for a domain that is not listed, as most mail's will be.
void BM_DomainStatusOf(benchmark::State& state) {
    const CDomains domains(domainsFile().string());
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(domains.StatusOf(domainName(i)));
        i = (i + 37) % (2 * kDomains);
    }
}
BENCHMARK(BM_DomainStatusOf);

void BM_BaselineDomainMapLookupAndStat(benchmark::State& state) {
    const fs::path file = domainsFile();
    std::unordered_map<std::string, std::string> map;
    for (int i = 0; i < kDomains; ++i) map[domainName(i)] = std::to_string(i % 2);
    int i = 0;
    for (auto _ : state) {
        struct stat st;
        benchmark::DoNotOptimize(::stat(file.c_str(), &st));
        benchmark::DoNotOptimize(map.find(domainName(i)));
        i = (i + 37) % (2 * kDomains);
    }
}
BENCHMARK(BM_BaselineDomainMapLookupAndStat);

}  // namespace

int main(int argc, char** argv) {
    MiscFuncs::SetLogLevel(-1);
    return BenchSupport::RunThenRemove(argc, argv, benchFolder());
}
