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

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

Deployment::Deployment(const std::string& name, const std::string& parent) {
  std::string tmpl = parent + "/korvel-e2e-XXXXXX";
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed in " + parent);
  root_ = tmpl;
  appDir_ = root_ + "/app";
  executable_ = appDir_ + "/" + name;
  fs::create_directories(appDir_ + "/runtime/tzora64");
  fs::copy_file(builtLauncherPath(), executable_);
  fs::copy_file(builtStandinPath(), appDir_ + "/libqxzekztvrt.so");
  writeFile(appDir_ + "/runtime/tzora64/libqxzekztvrt.so.7.14.1", "");
  // The tests may drop to an unprivileged user, who must still reach the deployment.
  chmod(root_.c_str(), 0755);
}

Deployment::~Deployment() {
  std::error_code ignored;
  fs::remove_all(root_, ignored);
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
  fs::remove(appDir_ + "/runtime/tzora64/libqxzekztvrt.so.7.14.1");
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
  ProcessSpec spec;
  spec.program = executable_;
  spec.argv = {executable_};
  spec.argv.insert(spec.argv.end(), args.begin(), args.end());
  spec.env = baseEnvironment();
  spec.env.insert(spec.env.end(), env.begin(), env.end());
  return runWith(spec);
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

LauncherRun Deployment::runWith(const ProcessSpec& spec) const {
  fs::remove(tracePath());
  ProcessResult result;
  std::string err;
  if (!runProcess(spec, &result, &err)) throw std::runtime_error(err);
  return {result.status,         result.out,      withoutSanitizerNameWarnings(result.err),
          readFile(tracePath()), result.timedOut, result.peakResidentKiB};
}

std::string defaultBlockListing(const std::string& start, const std::string& complete) {
  using namespace std::string_literals;
  return "QPA_DataBlock:\nData block size = 8192 bytes\nversion str=V1DRN4000HBS1000ZTV1000\n"
         "ZTV Major Version:7\0\0\0\nZTV Minor Version:14\0\0\nZTV Updater Version:1\0\0\0\n"
         "UUID:"s +
         std::string(128, '\0') + "\nStart message:" + start + "\nComplete message:" + complete +
         "\n";
}

void giveRootTo(const Deployment& d, int uid) {
  if (chown(d.root().c_str(), uid, uid) != 0) throw std::runtime_error("chown failed");
}

std::string expand(std::string text, const Deployment& d) {
  using namespace std::string_literals;
  for (auto [key, value] : {std::pair{"$LIB"s, "libqxzekztvrt.so.7.14.1"s},
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
