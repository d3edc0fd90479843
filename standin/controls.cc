#include "standin/controls.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string_view>

namespace {

constexpr std::string_view kBooleanFunctions[] = {
    "zekztvInitialize_proxy",
    "zekInitializeApplication_proxy",
    "zekInitializeComponentInstanceEmbedded_proxy",
    "zekInitializeComponentInstanceNonEmbeddedStandalone_proxy",
    "zekTerminateInstance_proxy",
    "zekTerminateApplication_proxy"};

// Once per control and process: the controls are read at every call, the complaint is not
// repeated at every call.
void complainOnce(const char* control, const std::string& line) {
  static std::mutex mutex;
  static std::set<std::string> done;
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (!done.insert(control).second) return;
  }
  std::string text = line + "\n";
  ssize_t written = write(STDERR_FILENO, text.data(), text.size());
  (void)written;
}

void reportBadValue(const char* control, const char* value) {
  complainOnce(control, std::string("standin: bad ") + control + " value: " + value);
}

bool isBooleanFunction(std::string_view name) {
  for (std::string_view function : kBooleanFunctions) {
    if (name == function) return true;
  }
  return false;
}

}  // namespace

const char* traceFilePath() { return getenv("STANDIN_TRACE"); }

void appendTraceLine(const char* path, std::string line) {
  int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) {
    char buffer[256];
    complainOnce("STANDIN_TRACE", std::string("standin: cannot open the STANDIN_TRACE file ") +
                                      path + ": " + strerror_r(errno, buffer, sizeof buffer));
    return;
  }
  line += '\n';
  ssize_t written = write(fd, line.data(), line.size());
  (void)written;
  close(fd);
}

bool failureRequested(std::string_view function) {
  const char* value = getenv("STANDIN_FAIL");
  if (!value) return false;
  bool named = false;
  std::string_view rest = value;
  while (true) {
    size_t comma = rest.find(',');
    std::string_view name = rest.substr(0, comma);
    if (!name.empty() && !isBooleanFunction(name)) {
      reportBadValue("STANDIN_FAIL", value);
      return false;
    }
    named = named || name == function;
    if (comma == std::string_view::npos) return named;
    rest.remove_prefix(comma + 1);
  }
}

std::string failureText(std::string_view function) {
  const char* text = getenv("STANDIN_ERROR");
  return text ? text : std::string(function) + " failed";
}

bool nullErrorRequested() { return getenv("STANDIN_NULL_ERROR") != nullptr; }

bool nullInstanceRequested() { return getenv("STANDIN_NULL_INSTANCE") != nullptr; }

bool cmdlineCountRequested(int* count) {
  const char* value = getenv("STANDIN_CMDLINE_COUNT");
  if (!value) return false;
  const char* end = value + strlen(value);
  auto [at, ec] = std::from_chars(value, end, *count);
  if (ec == std::errc() && at == end && at != value) return true;
  reportBadValue("STANDIN_CMDLINE_COUNT", value);
  return false;
}
