#include "bench/in_process_cases.h"

#include <benchmark/benchmark.h>

#include <optional>

#include "archive/data_block.h"
#include "archive/data_block_reader.h"
#include "archive/data_block_writer.h"
#include "runtime_search/runtime_search.h"

namespace {

constexpr int kRepetitions = 10;
constexpr double kMinSecondsPerRepetition = 0.05;

benchmark::internal::Benchmark* withMedian(benchmark::internal::Benchmark* b) {
  return b->Repetitions(kRepetitions)
      ->ReportAggregatesOnly(true)
      ->MinTime(kMinSecondsPerRepetition)
      ->Unit(benchmark::kMicrosecond);
}

void registerReadDataBlock(const std::string& name, const std::string& path) {
  withMedian(benchmark::RegisterBenchmark(name.c_str(), [path](benchmark::State& state) {
    for (auto _ : state) {
      DataBlock block;
      std::string err;
      if (!readDataBlock(path, &block, &err)) {
        state.SkipWithError(err.c_str());
        break;
      }
      benchmark::DoNotOptimize(block);
    }
  }));
}

void registerParseDataBlock() {
  DataBlockFields fields;
  fields.uuid = "0f8e3c2a-5b7d-4e19-a6c4-2d9b8f1e7a30";
  fields.startMessage = "Starting the application";
  fields.completeMessage = "Start-up complete";
  fields.componentParam = "component";
  fields.list = "first,second,third";
  fields.mainParam = "main";
  std::string bytes, err;
  if (!buildDataBlock(fields, &bytes, &err)) bytes.clear();
  withMedian(benchmark::RegisterBenchmark(
      "inprocess/parseDataBlock", [bytes, err](benchmark::State& state) {
        const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
        for (auto _ : state) {
          DataBlock block;
          std::string refusal;
          if (bytes.empty() || !parseDataBlock(&block, data, bytes.size(), &refusal)) {
            state.SkipWithError((bytes.empty() ? err : refusal).c_str());
            break;
          }
          benchmark::DoNotOptimize(block);
        }
      }));
}

// |libraryPath| absent: LD_LIBRARY_PATH unset. Quiet, as a start-up without QPAX_VERBOSE.
void registerSearch(const std::string& name, const std::string& applicationDirectory,
                    const std::optional<std::string>& libraryPath) {
  withMedian(benchmark::RegisterBenchmark(
      name.c_str(), [applicationDirectory, libraryPath](benchmark::State& state) {
        for (auto _ : state) {
          if (!searchRuntimeLibrary(applicationDirectory, kRuntimeLibraryName, libraryPath, nullptr)
                   .found) {
            state.SkipWithError("the runtime library was not found");
            break;
          }
        }
      }));
}

}  // namespace

void registerInProcessCases(const BenchLayout& layout) {
  const ArchiveScale& smallest = kArchiveScales.front();
  const ArchiveScale& largest = kArchiveScales.back();
  registerReadDataBlock(std::string("inprocess/readDataBlock/sidecar/archive:") + smallest.label,
                        layout.sidecar.front().archive);
  registerReadDataBlock(std::string("inprocess/readDataBlock/sidecar/archive:") + largest.label,
                        layout.sidecar.back().archive);
  registerReadDataBlock(std::string("inprocess/readDataBlock/appended/archive:") + smallest.label,
                        layout.appended.front().archive);
  registerReadDataBlock(std::string("inprocess/readDataBlock/appended/archive:") + largest.label,
                        layout.appended.back().archive);
  registerParseDataBlock();
  registerSearch("inprocess/searchRuntimeLibrary/platform", layout.sidecar.front().dir,
                 std::nullopt);
  // Absolute entries: in process the value is not bound by the size of one exec string.
  for (int length : kLibraryPathLengths) {
    registerSearch("inprocess/searchRuntimeLibrary/ldpath:" + std::to_string(length),
                   layout.libraryPath.dir, libraryPathValue(layout.libraryPath.dir + "/", length));
  }
}
