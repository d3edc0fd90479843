#include "bench/bench_deployment.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "archive/data_block_writer.h"

namespace fs = std::filesystem;

namespace {

bool fail(std::string* err, const std::string& what) {
  *err = what + ": " + strerror(errno);
  return false;
}

bool writeAll(int fd, const std::string& bytes, uint64_t at) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(at + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool writeEmptyFile(const std::string& path, std::string* err) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return fail(err, "cannot create " + path);
  close(fd);
  return true;
}

}  // namespace

std::string portableLauncherPath() { return KORVEL_PORTABLE_LAUNCHER_PATH; }
std::string builtBaselinePath() { return KORVEL_BASELINE_PATH; }
std::string builtRuntimeCallsPath() { return KORVEL_RUNTIME_CALLS_PATH; }
std::string builtEmptyRuntimePath() { return KORVEL_EMPTY_RUNTIME_PATH; }
std::string builtProbePath() { return KORVEL_PROBE_PATH; }

bool writeSparseArchive(const std::string& path, uint64_t start, uint64_t archiveSize,
                        const std::string& startMessage, std::string* err) {
  DataBlockFields fields;
  fields.embeddedArchiveParam = static_cast<int64_t>(start);
  fields.startMessage = startMessage;
  std::string block;
  if (!buildDataBlock(fields, &block, err)) return false;
  if (archiveSize < block.size() + 1) {
    *err = "an archive of " + std::to_string(archiveSize) + " bytes leaves no room for a payload";
    return false;
  }
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return fail(err, "cannot open " + path);
  uint64_t end = start + archiveSize;
  bool ok = writeAll(fd, "#", start) && ftruncate(fd, static_cast<off_t>(end)) == 0 &&
            writeAll(fd, block, end - block.size());
  int error = errno;
  close(fd);
  errno = error;
  return ok || fail(err, "cannot write the archive " + path);
}

bool copyBuiltBinaries(const std::string& dir, SharedBinaries* binaries, std::string* err) {
  SharedBinaries copies{dir + "/launcher",         dir + "/baseline",
                        dir + "/runtime-calls",    dir + "/" + kProxyLibraryName,
                        dir + "/empty-runtime.so", ""};
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (!ec) fs::copy_file(builtLauncherPath(), copies.launcher, ec);
  if (!ec) fs::copy_file(builtBaselinePath(), copies.baseline, ec);
  if (!ec) fs::copy_file(builtRuntimeCallsPath(), copies.runtimeCalls, ec);
  if (!ec) fs::copy_file(builtStandinPath(), copies.standin, ec);
  if (!ec) fs::copy_file(builtEmptyRuntimePath(), copies.emptyRuntime, ec);
  if (!ec && fs::exists(portableLauncherPath())) {
    copies.portableLauncher = dir + "/portable-launcher";
    fs::copy_file(portableLauncherPath(), copies.portableLauncher, ec);
  }
  if (ec) {
    *err = "cannot copy the built binaries into " + dir + ": " + ec.message();
    return false;
  }
  *binaries = copies;
  return true;
}

bool makeDeployment(const std::string& dir, const DeploymentShape& shape,
                    const SharedBinaries& binaries, BenchDeployment* deployment, std::string* err) {
  BenchDeployment made{dir, dir + "/app",    dir + "/baseline", dir + "/runtime-calls",
                       {},  dir + "/app.qpa"};
  // An appended archive makes the launcher a file of its own; the rest is shared.
  bool appended = shape.placement == ArchivePlacement::kAppended;
  const std::string& runtime = shape.emptyRuntime ? binaries.emptyRuntime : binaries.standin;
  if (!layOutApplication(
          dir, "app", {binaries.launcher, runtime, !appended, true, shape.platformLibrary}, err)) {
    return false;
  }
  std::error_code ec;
  if (appended) {
    fs::copy_file(binaries.runtimeCalls, made.runtimeCalls, ec);
  } else {
    fs::create_hard_link(binaries.runtimeCalls, made.runtimeCalls, ec);
  }
  if (!ec) fs::create_hard_link(binaries.baseline, made.baseline, ec);
  if (ec) {
    *err = "cannot lay out the deployment " + dir + ": " + ec.message();
    return false;
  }
  made.runtimeCallsArgs = {"sidecar", made.archive, dir};
  if (appended) {
    made.archive = made.executable;
    uint64_t launcherSize = fs::file_size(made.executable, ec);
    uint64_t runtimeCallsSize = ec ? 0 : fs::file_size(made.runtimeCalls, ec);
    if (ec) {
      *err = "cannot examine the executables in " + dir + ": " + ec.message();
      return false;
    }
    made.runtimeCallsArgs = {"appended", made.runtimeCalls, std::to_string(runtimeCallsSize)};
    if (!writeSparseArchive(made.runtimeCalls, runtimeCallsSize, shape.archiveSize, "", err) ||
        !writeSparseArchive(made.executable, launcherSize, shape.archiveSize, shape.startMessage,
                            err)) {
      return false;
    }
  } else if (!writeSparseArchive(made.archive, 0, shape.archiveSize, shape.startMessage, err)) {
    return false;
  }
  *deployment = made;
  return true;
}

bool makeLibraryPathDirectories(const std::string& dir, int count, std::string* err) {
  std::error_code ec;
  for (int i = 0; i + 1 < count && !ec; ++i)
    fs::create_directories(dir + "/p/" + std::to_string(i), ec);
  if (!ec) fs::create_directories(dir + "/h", ec);
  if (ec) {
    *err = "cannot make the library path directories in " + dir + ": " + ec.message();
    return false;
  }
  return writeEmptyFile(dir + "/h/" + kRuntimeLibraryName, err);
}

std::string libraryPathValue(const std::string& prefix, int count) {
  std::string value;
  for (int i = 0; i + 1 < count; ++i) value += prefix + "p/" + std::to_string(i) + ":";
  return value + prefix + "h";
}
