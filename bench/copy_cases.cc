#include "bench/copy_cases.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

#include "tests/timed_process.h"

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kMiB = uint64_t{1} << 20;
constexpr double kRatioTarget = 1.5;
constexpr long kPeakRssTargetKiB = 16 * 1024;

bool writeRandom(int fd, uint64_t at, uint64_t count, std::mt19937_64* random, std::string* err) {
  std::vector<uint64_t> chunk(kMiB / sizeof(uint64_t));
  while (count > 0) {
    for (uint64_t& word : chunk) word = (*random)();
    size_t n = static_cast<size_t>(std::min<uint64_t>(count, kMiB));
    if (pwrite(fd, chunk.data(), n, static_cast<off_t>(at)) != static_cast<ssize_t>(n)) {
      *err = std::string("cannot write an input: ") + strerror(errno);
      return false;
    }
    at += n;
    count -= n;
  }
  return true;
}

// Random bytes throughout, or, sparse, 1 MiB of them at the start, the middle and the end.
bool makePayload(const std::string& path, const CopySize& size, std::string* err) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    *err = "cannot create " + path + ": " + strerror(errno);
    return false;
  }
  std::mt19937_64 random(size.bytes);
  bool made = true;
  if (size.sparse) {
    for (uint64_t at : {uint64_t{0}, size.bytes / 2, size.bytes - kMiB}) {
      made = made && writeRandom(fd, at, kMiB, &random, err);
    }
    made = made && ftruncate(fd, static_cast<off_t>(size.bytes)) == 0;
  } else {
    made = writeRandom(fd, 0, size.bytes, &random, err);
  }
  close(fd);
  return made;
}

struct Measured {
  std::vector<double> seconds;
  long peakRssKiB = 0;
};

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// One timed step: a program and its arguments, and the output it writes, removed after each run
// so that every run creates it afresh.
struct Step {
  std::string name;
  std::vector<std::string> argv;
  std::string output;
  std::vector<std::string> syncArgv;  // run and timed after it, when given
};

bool runStep(const CopyBenchmarkSetup& setup, const Step& step, Measured* measured,
             Measured* synced, std::string* err) {
  TimedProcess process({step.argv[0], step.argv, {"PATH=/usr/bin:/bin"}, ""});
  TimedRun run;
  if (!process.run(&run, err)) return false;
  if (run.status != 0) {
    *err = step.name + " failed with status " + std::to_string(run.status);
    return false;
  }
  measured->seconds.push_back(run.seconds);
  if (!step.syncArgv.empty()) {
    TimedProcess sync({step.syncArgv[0], step.syncArgv, {}, ""});
    TimedRun syncRun;
    if (!sync.run(&syncRun, err)) return false;
    synced->seconds.push_back(run.seconds + syncRun.seconds);
  }
  // Removed, its pages are dropped unwritten, so that no write-back of one step falls on the next.
  fs::remove(step.output);
  if (measured->peakRssKiB == 0) {
    TimedRun probed;
    if (!process.measurePeakRss(setup.probePath, setup.scratchDir + "/rss", &probed, err)) {
      return false;
    }
    measured->peakRssKiB = probed.peakRssKiB;
    fs::remove(step.output);
  }
  return true;
}

std::string format(const char* pattern, double value) {
  char text[64];
  snprintf(text, sizeof text, pattern, value);
  return text;
}

std::string secondsText(double seconds) {
  return seconds < 0.1 ? format("%.1f ms", seconds * 1000) : format("%.3f s", seconds);
}

}  // namespace

bool runCopySize(const CopyBenchmarkSetup& setup, const CopySize& size, std::vector<CopyRow>* rows,
                 std::string* err) {
  const std::string dir = setup.scratchDir;
  const std::string payload = dir + "/payload", archive = dir + "/app.qpa", exe = dir + "/app";
  const std::string out = dir + "/out";
  const std::string& qpa = setup.qpaPath;
  if (!makePayload(payload, size, err)) return false;
  // The inputs are made by the tool itself, as a user's are.
  for (std::vector<std::string> argv :
       {std::vector<std::string>{qpa, "pack", payload, "-o", archive},
        {qpa, "embed", setup.launcherPath, archive, "-o", exe}}) {
    TimedRun made;
    if (!TimedProcess({qpa, argv, {}, ""}).run(&made, err)) return false;
    if (made.status != 0) {
      *err = "cannot make the inputs of " + size.name + ": qpa " + argv[1] + " failed";
      return false;
    }
  }
  ::sync();
  Measured unused;

  struct Command {
    std::string name, input;
    std::vector<std::string> argv;
  };
  const std::vector<Command> commands = {
      {"pack", payload, {qpa, "pack", payload, "-o", out}},
      {"embed", archive, {qpa, "embed", setup.launcherPath, archive, "-o", out}},
      {"extract", exe, {qpa, "extract", exe, "-o", out}},
      {"strip", exe, {qpa, "strip", exe, "-o", out}},
  };
  std::vector<Measured> tool(commands.size()), cp(commands.size()), cpSync(commands.size());
  for (int repetition = 0; repetition < setup.repetitions; ++repetition) {
    for (size_t i = 0; i < commands.size(); ++i) {
      const Command& c = commands[i];
      Step copy = {"cp", {"/bin/cp", c.input, out}, out, {"/bin/sync", out}};
      Step command = {c.name, c.argv, out, {}};
      // Alternated, so that neither always runs first.
      if (repetition % 2 == 0) {
        if (!runStep(setup, copy, &cp[i], &cpSync[i], err) ||
            !runStep(setup, command, &tool[i], &unused, err)) {
          return false;
        }
      } else if (!runStep(setup, command, &tool[i], &unused, err) ||
                 !runStep(setup, copy, &cp[i], &cpSync[i], err)) {
        return false;
      }
    }
  }
  for (size_t i = 0; i < commands.size(); ++i) {
    rows->push_back({size.name, commands[i].name, median(tool[i].seconds), median(cp[i].seconds),
                     median(cpSync[i].seconds), tool[i].peakRssKiB, cp[i].peakRssKiB});
  }
  for (const std::string& path : {payload, archive, exe, dir + "/rss"}) fs::remove(path);
  return true;
}

std::string copyTable(const std::vector<CopyRow>& rows) {
  std::string table =
      "| input | command | qpa | cp | qpa / cp | cp + sync | qpa / (cp + sync) | peak RSS qpa "
      "| peak RSS cp |\n|---|---|---|---|---|---|---|---|---|\n";
  for (const CopyRow& row : rows) {
    table += "| " + row.size + " | " + row.command + " | " + secondsText(row.seconds) + " | " +
             secondsText(row.cpSeconds) + " | " + format("%.2f", row.seconds / row.cpSeconds) +
             " | " + secondsText(row.cpSyncSeconds) + " | " +
             format("%.2f", row.seconds / row.cpSyncSeconds) + " | " +
             std::to_string(row.peakRssKiB) + " KiB | " + std::to_string(row.cpPeakRssKiB) +
             " KiB |\n";
  }
  return table;
}

std::string copyTargets(const std::vector<CopyRow>& rows, const std::string& targetSize) {
  std::string text;
  long peak = 0;
  for (const CopyRow& row : rows) {
    peak = std::max(peak, row.peakRssKiB);
    if (row.size != targetSize) continue;
    double ratio = row.seconds / row.cpSeconds;
    text += row.command + " at " + targetSize + ": " + format("%.2f", ratio) + " times cp (limit " +
            format("%.1f", kRatioTarget) + "): " + (ratio <= kRatioTarget ? "met" : "missed") +
            "\n";
  }
  text += "peak RSS at every size: " + std::to_string(peak) + " KiB (limit " +
          std::to_string(kPeakRssTargetKiB) +
          " KiB): " + (peak <= kPeakRssTargetKiB ? "met" : "missed") + "\n";
  return text;
}
