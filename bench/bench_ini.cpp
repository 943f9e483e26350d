// Settings files at the size of a large sender list, each beside a baseline that
// does the least work the same task needs: parsing against one pass that only
// splits the lines, a value read against a bare hash-map lookup plus the stat(2)
// that keeps the copy fresh, the section listing against copying the names.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "BenchSupport.h"
#include "core/CIniFile.h"
#include "core/IniDocument.h"
#include "core/Log.h"

namespace {

namespace fs = std::filesystem;

std::string senderAddress(long i) { return "sender" + std::to_string(i) + "@example" + std::to_string(i % 97) + ".com"; }

std::string sendersText(long count) {
    std::string out;
    for (long i = 0; i < count; ++i) {
        out += "[" + senderAddress(i) + "]\r\n";
        out += "Name=Sender Number " + std::to_string(i) + "\r\n";
        out += "AccessLevel=" + std::to_string(i % 4) + "\r\n";
        out += "ModificationDate=46000." + std::to_string(i % 1000) + "\r\n";
        out += "AuthReason=Re: the meeting on Tuesday\r\n";
        out += "RegistrationRequestSent=\r\n";
    }
    return out;
}

const fs::path& benchFolder() {
    static const fs::path folder = BenchSupport::NewTempFolder("ini");
    return folder;
}

fs::path sendersFile(long count) {
    const fs::path p = benchFolder() / ("senders" + std::to_string(count) + ".ini");
    if (!fs::exists(p)) {
        std::ofstream out(p, std::ios::binary);
        out << sendersText(count);
    }
    return p;
}

void BM_ParseSenders(benchmark::State& state) {
    const std::string text = sendersText(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(IniStore::IniDocument::Parse(text));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ParseSenders)->RangeMultiplier(4)->Range(1250, 20000)->Complexity(benchmark::oN)->Unit(benchmark::kMillisecond);

void BM_BaselineSplitLines(benchmark::State& state) {
    const std::string text = sendersText(state.range(0));
    for (auto _ : state) {
        std::size_t lines = 0, keys = 0;
        for (const char* p = text.data(), *end = p + text.size(); p < end;) {
            const char* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
            if (!nl) nl = end;
            keys += std::memchr(p, '=', static_cast<std::size_t>(nl - p)) != nullptr;
            ++lines;
            p = nl + 1;
        }
        benchmark::DoNotOptimize(lines + keys);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_BaselineSplitLines)->Arg(20000)->Unit(benchmark::kMillisecond);

void BM_ValueRead(benchmark::State& state) {
    CIniFile ini(sendersFile(20000).string());
    long i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ini.Value(senderAddress(i), "AccessLevel"));
        i = (i + 7919) % 20000;
    }
}
BENCHMARK(BM_ValueRead);

void BM_BaselineMapLookupAndStat(benchmark::State& state) {
    const fs::path file = sendersFile(20000);
    std::unordered_map<std::string, std::string> map;
    for (long i = 0; i < 20000; ++i) map[senderAddress(i)] = std::to_string(i % 4);
    long i = 0;
    for (auto _ : state) {
        struct stat st;
        benchmark::DoNotOptimize(::stat(file.c_str(), &st));
        benchmark::DoNotOptimize(map.find(senderAddress(i))->second);
        i = (i + 7919) % 20000;
    }
}
BENCHMARK(BM_BaselineMapLookupAndStat);

void BM_AllSectionsArray(benchmark::State& state) {
    CIniFile ini(sendersFile(20000).string());
    for (auto _ : state) benchmark::DoNotOptimize(ini.AllSectionsArray());
}
BENCHMARK(BM_AllSectionsArray)->Unit(benchmark::kMicrosecond);

void BM_BaselineCopyNames(benchmark::State& state) {
    std::vector<std::string> names;
    for (long i = 0; i < 20000; ++i) names.push_back(senderAddress(i));
    for (auto _ : state) benchmark::DoNotOptimize(std::vector<std::string>(names));
}
BENCHMARK(BM_BaselineCopyNames)->Unit(benchmark::kMicrosecond);

// An import of 2,000 senders into the large list: one batch, one file write.
void BM_BatchImport(benchmark::State& state) {
    const fs::path file = benchFolder() / "import.ini";
    for (auto _ : state) {
        state.PauseTiming();
        fs::copy_file(sendersFile(20000), file, fs::copy_options::overwrite_existing);
        CIniFile ini(file.string());
        state.ResumeTiming();
        CIniFile::Batch batch(ini);
        for (long i = 0; i < 2000; ++i) ini.Value("new" + senderAddress(i), "AccessLevel", "3");
        benchmark::DoNotOptimize(batch.Commit());
    }
}
BENCHMARK(BM_BatchImport)->Unit(benchmark::kMillisecond);

// The least an import can cost: parse the file once and write it once.
void BM_BaselineParseAndWriteOnce(benchmark::State& state) {
    const fs::path file = benchFolder() / "baseline.ini";
    const std::string text = sendersText(20000);
    for (auto _ : state) {
        const IniStore::IniDocument doc = IniStore::IniDocument::Parse(text);
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << doc.Serialize();
    }
}
BENCHMARK(BM_BaselineParseAndWriteOnce)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    MiscFuncs::SetLogLevel(-1);
    return BenchSupport::RunThenRemove(argc, argv, benchFolder());
}
