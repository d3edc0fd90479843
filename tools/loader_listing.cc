#include "tools/loader_listing.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>

namespace {

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

bool startsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// "\tNAME => PATH (0xADDRESS)", "\tNAME => not found" or "\tPATH (0xADDRESS)".
bool parseObjectLine(const std::string& line, LoaderListing* listing) {
  if (line.empty() || line[0] != '\t') return false;
  std::string rest = line.substr(1);
  size_t arrow = rest.find(" => ");
  ListedLibrary library;
  if (arrow == std::string::npos) {
    size_t address = rest.rfind(" (0x");
    if (address == std::string::npos) return false;
    library.name = library.path = rest.substr(0, address);
    library.found = true;
    library.searched = false;
    listing->libraries.push_back(library);
    return true;
  }
  library.name = rest.substr(0, arrow);
  library.path = rest.substr(arrow + 4);
  if (library.path == "not found") {
    library.path.clear();
  } else {
    size_t address = library.path.rfind(" (0x");
    if (address == std::string::npos) return false;
    library.path.resize(address);
    library.found = true;
  }
  listing->libraries.push_back(library);
  return true;
}

// "undefined symbol: NAME[, version VERSION]\t(OBJECT)".
bool parseUndefinedSymbol(const std::string& line, LoaderListing* listing) {
  const std::string prefix = "undefined symbol: ";
  size_t tab = line.find("\t(");
  if (!startsWith(line, prefix) || tab == std::string::npos || line.back() != ')') return false;
  UndefinedSymbol undefined;
  undefined.symbol = line.substr(prefix.size(), tab - prefix.size());
  size_t version = undefined.symbol.find(", version ");
  if (version != std::string::npos) {
    undefined.version = undefined.symbol.substr(version + 10);
    undefined.symbol.resize(version);
  }
  undefined.requiredBy = line.substr(tab + 2, line.size() - tab - 3);
  listing->undefinedSymbols.push_back(undefined);
  return true;
}

// "PROGRAM: LIBRARY: version `VERSION' not found (required by OBJECT)".
bool parseMissingVersion(const std::string& rest, LoaderListing* listing) {
  const std::string mark = ": version `", notFound = "' not found (required by ";
  size_t at = rest.find(mark);
  size_t end = at == std::string::npos ? at : rest.find(notFound, at);
  if (end == std::string::npos || rest.back() != ')') return false;
  MissingVersion missing;
  missing.library = rest.substr(0, at);
  missing.version = rest.substr(at + mark.size(), end - at - mark.size());
  size_t by = end + notFound.size();
  missing.requiredBy = rest.substr(by, rest.size() - by - 1);
  listing->missingVersions.push_back(missing);
  return true;
}

std::string named(const std::string& object, const std::string& argv0, const std::string& program) {
  return object == program ? argv0 : object;
}

std::string trimmedEntry(std::string entry) {
  if (entry.empty()) return ".";
  while (entry.size() > 1 && entry.back() == '/') entry.pop_back();
  return entry;
}

std::string expandOrigin(std::string entry, const std::string& origin) {
  for (const char* token : {"${ORIGIN}", "$ORIGIN"}) {
    for (size_t at; (at = entry.find(token)) != std::string::npos;)
      entry.replace(at, strlen(token), origin);
  }
  return entry;
}

std::vector<std::string> split(const std::string& list) {
  std::vector<std::string> entries;
  size_t start = 0;
  for (size_t colon; (colon = list.find(':', start)) != std::string::npos; start = colon + 1)
    entries.push_back(list.substr(start, colon - start));
  entries.push_back(list.substr(start));
  return entries;
}

// Reads what a child wrote to a memory file, from its start.
std::string drain(int fd) {
  std::string bytes;
  lseek(fd, 0, SEEK_SET);
  char buffer[4096];
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;)
    bytes.append(buffer, static_cast<size_t>(n));
  return bytes;
}

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

bool parseLoaderListing(const std::string& program, const std::string& out, const std::string& err,
                        LoaderListing* listing, std::string* why) {
  *listing = LoaderListing();
  for (const std::string& line : lines(out)) {
    if (!parseObjectLine(line, listing)) {
      *why = "unexpected line from the dynamic loader: " + line;
      return false;
    }
  }
  const std::string ownLine = program + ": ";
  for (const std::string& line : lines(err)) {
    if (parseUndefinedSymbol(line, listing)) continue;
    if (startsWith(line, ownLine)) {
      std::string rest = line.substr(ownLine.size());
      if (parseMissingVersion(rest, listing)) continue;
      // The loader ends with this line when it cannot go on.
      if (listing->fatalError.empty() && rest.find(": ") != std::string::npos) {
        listing->fatalError = rest;
        continue;
      }
    }
    *why = "unexpected line from the dynamic loader: " + line;
    return false;
  }
  return true;
}

bool listLoadedLibraries(const std::string& program, const std::optional<std::string>& libraryPath,
                         LoaderListing* listing, std::string* err) {
  // Memory files rather than pipes: the loader can write any amount without a reader.
  Descriptor out(memfd_create("loader-stdout", MFD_CLOEXEC));
  Descriptor errors(memfd_create("loader-stderr", MFD_CLOEXEC));
  if (out.get() < 0 || errors.get() < 0) {
    *err = std::string("cannot run the dynamic loader: ") + strerror(errno);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out.get(), 1);
  posix_spawn_file_actions_adddup2(&actions, errors.get(), 2);
  // The switches of `ldd -r`: list, bind every symbol now, and warn about each one missing.
  std::vector<std::string> env = {"LD_TRACE_LOADED_OBJECTS=1", "LD_WARN=yes", "LD_BIND_NOW=yes"};
  if (libraryPath) env.push_back("LD_LIBRARY_PATH=" + *libraryPath);
  std::vector<std::string> args = {kSystemLoader, program};
  std::vector<char*> argv, envp;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  for (std::string& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  pid_t pid;
  int spawned = posix_spawn(&pid, kSystemLoader, &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    *err = std::string("cannot run the dynamic loader ") + kSystemLoader + ": " + strerror(spawned);
    return false;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  std::string outText = drain(out.get()), errText = drain(errors.get());
  std::string why;
  bool parsed = parseLoaderListing(program, outText, errText, listing, &why);
  bool exited = WIFEXITED(status) && (WEXITSTATUS(status) == 0 || !listing->fatalError.empty());
  if (!parsed || !exited) {
    if (parsed) why = errText.substr(0, errText.find('\n'));
    *err = "the dynamic loader cannot list " + program + (why.empty() ? "" : ": " + why);
    return false;
  }
  return true;
}

std::string missingLibraryMessage(const std::string& argv0, const std::string& name) {
  return argv0 + ": error while loading shared libraries: " + name +
         ": cannot open shared object file: No such file or directory";
}

std::string fatalLoadMessage(const std::string& argv0, const std::string& fatalError) {
  return argv0 + ": " + fatalError;
}

std::string missingVersionMessage(const std::string& argv0, const std::string& program,
                                  const MissingVersion& missing) {
  return argv0 + ": " + missing.library + ": version `" + missing.version +
         "' not found (required by " + named(missing.requiredBy, argv0, program) + ")";
}

std::string undefinedSymbolMessage(const std::string& argv0, const std::string& program,
                                   const UndefinedSymbol& undefined) {
  return argv0 + ": symbol lookup error: " + named(undefined.requiredBy, argv0, program) +
         ": undefined symbol: " + undefined.symbol +
         (undefined.version.empty() ? "" : ", version " + undefined.version);
}

LibraryOrigin libraryOrigin(const ListedLibrary& library, const std::optional<std::string>& runPath,
                            bool runPathIsRunPath, const std::string& origin,
                            const std::optional<std::string>& libraryPath) {
  LibraryOrigin found;
  if (library.name.find('/') != std::string::npos) {
    found.source = LibrarySource::kNamedByPath;
    return found;
  }
  size_t slash = library.path.rfind('/');
  std::string directory =
      slash == std::string::npos ? "." : trimmedEntry(library.path.substr(0, slash));
  auto match = [&](const std::optional<std::string>& list, LibrarySource source, bool expand) {
    if (!list || list->empty()) return false;
    for (const std::string& entry : split(*list)) {
      std::string expanded = expand ? expandOrigin(entry, origin) : entry;
      if (trimmedEntry(expanded) != directory) continue;
      found = {source, entry, expanded};
      return true;
    }
    return false;
  };
  // The loader searches the older DT_RPATH before LD_LIBRARY_PATH, and DT_RUNPATH after it.
  if (!runPathIsRunPath && match(runPath, LibrarySource::kRunPath, true)) return found;
  if (match(libraryPath, LibrarySource::kLibraryPath, false)) return found;
  if (runPathIsRunPath && match(runPath, LibrarySource::kRunPath, true)) return found;
  return found;
}
