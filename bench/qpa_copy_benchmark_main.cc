// qpa_copy_benchmark: pack, embed, extract and strip timed beside cp of the same input, at 16 KiB,
// 512 MiB of random bytes and 4 GiB sparse, with their peak resident sets.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "bench/copy_cases.h"

namespace {

constexpr const char* kUsage =
    "usage: qpa_copy_benchmark [--scratch DIR] [--repetitions N]\n"
    "Times qpa pack, embed, extract and strip, each beside cp of the file it reads (and cp\n"
    "followed by sync of its copy, since qpa syncs its output), on a 16 KiB and a 512 MiB\n"
    "payload of random bytes and a 4 GiB sparse one, every command N times (default 5),\n"
    "interleaved with its cp, and prints the medians, the ratios, the peak resident sets and\n"
    "the targets (at most 1.5 times cp at 512 MiB, peak RSS at most 16 MiB). The inputs are\n"
    "made in DIR (default: qpa-copy-scratch in the build tree), which must not exist, and\n"
    "removed at the end; the 512 MiB ones take 1.5 GiB of disk meanwhile. Nothing is asserted.\n";

std::string loadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string one, five, fifteen;
  in >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

}  // namespace

int main(int argc, char** argv) {
  CopyBenchmarkSetup setup;
  setup.qpaPath = KORVEL_QPA_PATH;
  setup.launcherPath = KORVEL_LAUNCHER_PATH;
  setup.probePath = KORVEL_PROBE_PATH;
  setup.scratchDir = KORVEL_COPY_SCRATCH;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    }
    if (i + 1 < argc && arg == "--scratch") {
      setup.scratchDir = argv[++i];
    } else if (i + 1 < argc && arg == "--repetitions" && atoi(argv[i + 1]) > 0) {
      setup.repetitions = atoi(argv[++i]);
    } else {
      std::cerr << "qpa_copy_benchmark: unexpected argument " << arg << "\n" << kUsage;
      return 2;
    }
  }
  std::error_code error;
  if (!std::filesystem::create_directory(setup.scratchDir, error)) {
    std::cerr << "qpa_copy_benchmark: cannot create " << setup.scratchDir << ": "
              << (error ? error.message() : "it exists") << "\n";
    return 2;
  }
  std::cout << "load before: " << loadAverage() << "\n";
  const CopySize sizes[] = {{"16 KiB", 16 << 10, false},
                            {"512 MiB", uint64_t{512} << 20, false},
                            {"4 GiB sparse", uint64_t{4} << 30, true}};
  std::vector<CopyRow> rows;
  std::string err;
  bool ran = true;
  for (const CopySize& size : sizes) {
    if (!runCopySize(setup, size, &rows, &err)) {
      std::cerr << "qpa_copy_benchmark: " << err << "\n";
      ran = false;
      break;
    }
  }
  std::filesystem::remove_all(setup.scratchDir, error);
  std::cout << "load after: " << loadAverage() << "\n\n"
            << copyTable(rows) << "\n"
            << copyTargets(rows, "512 MiB");
  return ran ? 0 : 1;
}
