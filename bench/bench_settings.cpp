// The per-message question "is this sender one of the user's addresses?" and the
// shut-down log trim, each beside a baseline: the lookup against a walk over the
// account sections and alias keys comparing each one (what a filter without the hash
// sets does per message), the trim against reading the same file once.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "BenchSupport.h"
#include "core/Address.h"
#include "core/Aliases.h"
#include "core/CIniFile.h"
#include "core/LogTrim.h"
#include "core/MiscUtils.h"

namespace {

namespace fs = std::filesystem;

const fs::path& benchFolder() {
    static const fs::path folder = BenchSupport::NewTempFolder("settings");
    return folder;
}

// Five accounts and `aliases` alias keys, a tenth of them domain wildcards.
void writeFiles(long aliases, fs::path& accountsPath, fs::path& aliasesPath) {
    accountsPath = benchFolder() / ("accounts" + std::to_string(aliases) + ".ini");
    aliasesPath = benchFolder() / ("aliases" + std::to_string(aliases) + ".ini");
    std::ofstream acc(accountsPath, std::ios::binary), ali(aliasesPath, std::ios::binary);
    for (int i = 0; i < 5; ++i) acc << "[user" << i << "@provider.com]\r\nDisplayName=User\r\n";
    ali << "[Aliases]\r\n";
    for (long i = 0; i < aliases; ++i)
        ali << (i % 10 == 0 ? "*@domain" : "alias") << i << (i % 10 == 0 ? ".org" : "@example.com") << "=1\r\n";
}

bool walkFinds(const CIniFile& accounts, const CIniFile& aliases, const std::string& sender) {
    for (const std::string& s : accounts.AllSectionsArray())
        if (MiscFuncs::LowerCase(MiscFuncs::TrimBlanks(s)) == sender) return true;
    for (const std::string& k : aliases.AllSectionKeysArray("Aliases")) {
        if (!k.empty() && k[0] == '*') {
            if (MiscFuncs::LowerCase(k.substr(2)) == MiscFuncs::DomainOf(sender)) return true;
        } else if (MiscFuncs::LowerCase(MiscFuncs::TrimBlanks(k)) == sender) {
            return true;
        }
    }
    return false;
}

const std::string kStranger = "stranger@nowhere.net";  // the common case: no match, every entry looked at

void BM_OwnAddressesClassify(benchmark::State& state) {
    fs::path accPath, aliPath;
    writeFiles(state.range(0), accPath, aliPath);
    const CIniFile accounts(accPath.string()), aliases(aliPath.string());
    OwnAddresses own(accounts, aliases);
    for (auto _ : state) benchmark::DoNotOptimize(own.Classify(kStranger));
}
BENCHMARK(BM_OwnAddressesClassify)->Arg(10)->Arg(100)->Arg(1000);

void BM_BaselineWalkAllEntries(benchmark::State& state) {
    fs::path accPath, aliPath;
    writeFiles(state.range(0), accPath, aliPath);
    const CIniFile accounts(accPath.string()), aliases(aliPath.string());
    for (auto _ : state) benchmark::DoNotOptimize(walkFinds(accounts, aliases, kStranger));
}
BENCHMARK(BM_BaselineWalkAllEntries)->Arg(10)->Arg(100)->Arg(1000);

// A log of `bytes` bytes of 80-character lines.
std::string logText(long bytes) {
    const std::string line = std::string(78, 'x') + "\r\n";
    std::string out;
    while (static_cast<long>(out.size()) < bytes) out += line;
    return out;
}

void BM_TrimLogFile(benchmark::State& state) {
    const std::string text = logText(state.range(0));
    const fs::path log = benchFolder() / "trim.log", temp = benchFolder() / "tmplog.txt";
    for (auto _ : state) {
        state.PauseTiming();
        std::ofstream(log, std::ios::binary | std::ios::trunc) << text;
        state.ResumeTiming();
        benchmark::DoNotOptimize(LogTrim::TrimLogFileTo(log, 32768, temp));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_TrimLogFile)->Arg(1 << 20)->Arg(16 << 20);

void BM_BaselineReadFileOnce(benchmark::State& state) {
    const std::string text = logText(state.range(0));
    const fs::path log = benchFolder() / "read.log";
    std::ofstream(log, std::ios::binary | std::ios::trunc) << text;
    std::string buf(64 * 1024, '\0');
    for (auto _ : state) {
        std::ifstream in(log, std::ios::binary);
        while (in.read(buf.data(), static_cast<std::streamsize>(buf.size())) || in.gcount() > 0)
            benchmark::DoNotOptimize(buf.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_BaselineReadFileOnce)->Arg(1 << 20)->Arg(16 << 20);

}  // namespace

int main(int argc, char** argv) { return BenchSupport::RunThenRemove(argc, argv, benchFolder()); }
