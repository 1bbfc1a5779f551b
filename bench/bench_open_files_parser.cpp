// Speed of the open-files field parser on 100,000 lines of recorded tool output.
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "eject/open_files_parser.h"
#include "tests/support/test_paths.h"

namespace {

constexpr std::size_t kLines = 100000;

/// The recorded outputs, repeated line by line until there are kLines lines.
std::vector<std::string> recordedLines() {
    std::vector<std::string> recorded;
    for (const char* name : {"busy_dock_volumes.txt", "other_fields.txt", "root_paths_ignored.txt",
                             "lines_before_first_process.txt"}) {
        std::ifstream file(std::string(quaylet::testing::kFixturesDir) + "/debian-desktop/lsof/" +
                           name);
        for (std::string line; std::getline(file, line);) {
            recorded.push_back(line + "\n");
        }
    }
    std::vector<std::string> lines;
    lines.reserve(kLines);
    while (!recorded.empty() && lines.size() < kLines) {
        lines.push_back(recorded[lines.size() % recorded.size()]);
    }
    return lines;
}

void BM_ParseRecordedOutput(benchmark::State& state) {
    const std::vector<std::string> lines = recordedLines();
    for (auto _ : state) {
        std::vector<quaylet::BusyProcess> results;
        quaylet::OpenFilesParser parser(
            results, [](std::int32_t, std::string_view) { return std::string("app"); });
        for (const std::string& line : lines) {
            parser.parseLine(line);
        }
        parser.finish();
        benchmark::DoNotOptimize(results.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * lines.size()));
}
BENCHMARK(BM_ParseRecordedOutput)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
