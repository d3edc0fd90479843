#include "tests/deployment.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

std::string builtLauncherPath() {
  const char* underTest = getenv("KORVEL_TEST_LAUNCHER");
  return underTest && *underTest ? underTest : KORVEL_LAUNCHER_PATH;
}
std::string builtStandinPath() { return KORVEL_STANDIN_PATH; }

namespace {

constexpr char kPlatformDirectory[] = "/runtime/tzora64/";

void place(const std::string& from, const std::string& to, bool link, std::error_code& ec) {
  if (link) {
    fs::create_hard_link(from, to, ec);
  } else {
    fs::copy_file(from, to, ec);
  }
}

}  // namespace

bool layOutApplication(const std::string& dir, const std::string& name,
                       const ApplicationSources& sources, std::string* err) {
  std::error_code ec;
  fs::create_directories(dir + kPlatformDirectory, ec);
  if (!ec) place(sources.launcher, dir + "/" + name, sources.linkLauncher, ec);
  if (!ec) place(sources.standin, dir + "/" + kProxyLibraryName, sources.linkStandin, ec);
  if (ec) {
    *err = "cannot lay out the deployment " + dir + ": " + ec.message();
    return false;
  }
  if (!sources.runtimeLibrary) return true;
  try {
    writeFile(dir + kPlatformDirectory + kRuntimeLibraryName, "");
  } catch (const std::exception& e) {
    *err = e.what();
    return false;
  }
  return true;
}

Deployment::Deployment(const std::string& name, const std::string& parent)
    : scratch_("korvel-e2e", parent) {
  root_ = scratch_.path();
  appDir_ = root_ + "/app";
  executable_ = appDir_ + "/" + name;
  std::string err;
  if (!layOutApplication(appDir_, name, {builtLauncherPath(), builtStandinPath()}, &err)) {
    throw std::runtime_error(err);
  }
  // The tests may drop to an unprivileged user, who must still reach the deployment.
  chmod(root_.c_str(), 0755);
}

void Deployment::writeArchive(const std::string& path, const std::string& payload,
                              const DataBlockFields& fields) {
  std::string block, err;
  if (!buildDataBlock(fields, &block, &err)) throw std::runtime_error(err);
  writeFile(path, payload + block);
}

void Deployment::embed(const std::string& payload, DataBlockFields fields) {
  fields.embeddedArchiveParam = static_cast<int64_t>(fs::file_size(executable_));
  std::string block, err;
  if (!buildDataBlock(fields, &block, &err)) throw std::runtime_error(err);
  appendToExecutable(payload + block);
}

void Deployment::appendToExecutable(const std::string& bytes) {
  std::ofstream out(executable_, std::ios::binary | std::ios::app);
  out << bytes;
}

void Deployment::removeRuntimeLibrary() {
  fs::remove(appDir_ + kPlatformDirectory + kRuntimeLibraryName);
}

std::string Deployment::stage(const std::string& path) const {
  std::string copy = root_ + "/staged/" + fs::path(path).filename().string();
  fs::create_directories(root_ + "/staged");
  fs::copy_file(path, copy, fs::copy_options::overwrite_existing);
  return copy;
}

std::vector<std::string> Deployment::baseEnvironment() const {
  return {"PATH=/usr/bin:/bin", "STANDIN_TRACE=" + tracePath()};
}

LauncherRun Deployment::run(const std::vector<std::string>& args,
                            const std::vector<std::string>& env) const {
  ProcessLaunch launch;
  launch.program = executable_;
  launch.argv = {executable_};
  launch.argv.insert(launch.argv.end(), args.begin(), args.end());
  launch.env = baseEnvironment();
  launch.env.insert(launch.env.end(), env.begin(), env.end());
  return runWith(launch);
}

namespace {

// A sanitized build's runtime warns on standard error when it cannot read the executable's name
// for its own reports, as for a path past the kernel's limit. Only that warning is dropped, so
// that the launcher's own lines compare as in a plain build and every sanitizer error still shows.
std::string withoutSanitizerNameWarnings(const std::string& text) {
#if defined(__SANITIZE_ADDRESS__)
  std::string kept;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    bool warning = line.rfind("==", 0) == 0 &&
                   line.find("==WARNING: reading executable name failed") != std::string::npos;
    if (!warning) kept += line + (lines.eof() ? "" : "\n");
  }
  return kept;
#else
  return text;
#endif
}

}  // namespace

LauncherRun Deployment::runWith(const ProcessLaunch& launch) const {
  fs::remove(tracePath());
  ProcessOutcome result;
  std::string err;
  if (!runProcess(launch, &result, &err)) throw std::runtime_error(err);
  return {result.status,         result.out,      withoutSanitizerNameWarnings(result.err),
          readFile(tracePath()), result.timedOut, result.peakResidentKiB};
}

void giveRootTo(const Deployment& d, int uid) {
  if (chown(d.root().c_str(), uid, uid) != 0) throw std::runtime_error("chown failed");
}

std::string expand(std::string text, const Deployment& d) {
  using namespace std::string_literals;
  for (auto [key, value] : {std::pair{"$LIB"s, std::string(kRuntimeLibraryName)},
                            {"$EXE"s, d.executable()},
                            {"$DIR"s, d.appDir()},
                            {"$ROOT"s, d.root()}}) {
    for (size_t at; (at = text.find(key)) != std::string::npos;)
      text.replace(at, key.size(), value);
  }
  return text;
}

void layOut(const Deployment& d, const std::vector<std::string>& entries) {
  for (const std::string& entry : entries) {
    std::string text = expand(entry, d);
    size_t arrow = text.find(" -> ");
    std::string path = text.substr(0, arrow);
    fs::create_directories(fs::path(path).parent_path());
    if (arrow != std::string::npos) {
      fs::create_symlink(text.substr(arrow + 4), path);
    } else if (path.back() == '/') {
      fs::create_directory(path);
    } else {
      writeFile(path, "");
    }
  }
}
