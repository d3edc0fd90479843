#include "tools/check_command.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>

#include "archive/data_block.h"
#include "archive/required_version.h"
#include "base/diagnostics.h"
#include "base/text_escapes.h"
#include "launcher/executable_path.h"
#include "launcher/path_operations.h"
#include "launcher/startup_decision.h"
#include "runtime/proxy_calls.h"
#include "tools/elf_file.h"
#include "tools/loader_listing.h"

namespace {

// Keys in the order in which the text form shows them.
using json = nlohmann::ordered_json;

// Who ends the start, in the order in which they would.
enum class Stage { kSystem, kLoader, kLauncher, kRuntime };

struct LibraryLine {
  ListedLibrary library;
  LibraryOrigin origin;
  bool neededByExecutable = false;
};

// Everything check finds, gathered before it is written in either form.
struct Check {
  std::string argv0;       // the name the start is given, as check was
  std::string executable;  // the absolute path the launcher takes for its own
  std::string systemRefusal;
  bool elfRead = false;
  ElfFacts elf;
  // The loader's step, taken for a dynamically linked executable.
  bool loaderRan = false;
  std::string loadedAs;  // the executable's real path, which $ORIGIN is taken from
  std::string origin;
  LoaderListing listing;
  std::vector<LibraryLine> libraries;
  std::optional<std::string> proxyPath;
  std::vector<std::string> missingFunctions;
  std::string proxyProblem;
  // The launcher's steps, taken once the system starts the executable.
  bool launcherRan = false;
  StartupDecision decision;
  bool nothingAppended = false;
  std::string runtimeFileProblem;

  Stage stage = Stage::kRuntime;
  std::optional<int> exitStatus;  // absent when the runtime decides it, or nothing is started
  std::string result;
  std::vector<std::string> notes;
  std::vector<std::string> errorLines;  // what the start writes to standard error, in order
};

bool findExecutable(const std::string& name, std::string* path, std::string* err) {
  if (!absoluteExecutableName(name, path)) {
    *err = "cannot find " + name + ": " + strerror(errno);
    return false;
  }
  struct stat status;
  if (stat(path->c_str(), &status) != 0) {
    *err = "cannot find " + name + ": " + strerror(errno);
    return false;
  }
  if (!S_ISREG(status.st_mode)) {
    *err = name + " is not a regular file";
    return false;
  }
  return true;
}

// The first two bytes of the file, to tell a script from a binary. Fails when it cannot be read,
// since the dynamic loader could not read it either.
bool readHead(const std::string& path, const std::string& name, std::string* head,
              std::string* err) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    *err = "cannot read " + name + ": " + strerror(errno);
    return false;
  }
  char bytes[2];
  ssize_t n = read(fd, bytes, sizeof bytes);
  close(fd);
  head->assign(bytes, n > 0 ? static_cast<size_t>(n) : 0);
  return true;
}

std::string quoted(const std::string& text) { return "\"" + escapeText(text) + "\""; }

// Why the runtime could not load the file at |path|, or empty when it is an ELF shared object
// for x86-64.
std::string runtimeFileProblem(const std::string& path) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0) return strerror(errno);
  if (S_ISDIR(status.st_mode)) return "it is a directory";
  if (!S_ISREG(status.st_mode)) return "it is not a regular file";
  if (status.st_size == 0) return "it is an empty file";
  ElfFacts facts;
  std::string err;
  if (!readElfFacts(path, &facts, &err)) return "it is not an ELF file";
  if (facts.type != ET_DYN || facts.pie || !isX8664(facts))
    return "it is not an ELF shared object for 64-bit x86-64";
  return "";
}

bool sameFile(const std::string& a, const std::string& b) {
  struct stat first, second;
  return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

std::string systemRefusal(const ElfFacts& elf, bool isElf) {
  const std::string refused = " (Exec format error)";
  if (!isElf) return "it is not an ELF file" + refused;
  if (!isX8664(elf)) {
    return "it is an ELF file for " + describeClassAndMachine(elf) + ", not for 64-bit x86-64" +
           refused;
  }
  if (elf.type != ET_EXEC && elf.type != ET_DYN) return "it is not an ELF executable" + refused;
  // The kernel starts the interpreter that the file names; without it nothing starts.
  if (elf.dynamic && access(elf.interpreter.c_str(), X_OK) != 0) {
    return "the interpreter that it names, " + escapeText(elf.interpreter) + ", cannot be run (" +
           strerror(errno) + ")";
  }
  return "";
}

void takeLoaderStep(const CheckEnvironment& environment, Check* c) {
  const LoaderListing& listing = c->listing;
  for (const ListedLibrary& library : listing.libraries) {
    LibraryLine line{library, {}, false};
    for (const std::string& needed : c->elf.needed)
      line.neededByExecutable |= needed == library.name;
    if (library.found && library.searched) {
      line.origin = libraryOrigin(library, c->elf.runPath, c->elf.runPathIsRunPath, c->origin,
                                  environment.libraryPath);
    }
    c->libraries.push_back(line);
    if (library.name != kProxyLibraryName || !library.found) continue;
    c->proxyPath = library.path;
    ElfFacts proxy;
    if (!readElfFacts(library.path, &proxy, &c->proxyProblem)) continue;
    for (const ProxyCall& call : kProxyCalls) {
      bool exported = false;
      for (const std::string& name : proxy.exportedFunctions) exported |= name == call.name;
      if (!exported) c->missingFunctions.push_back(call.name);
    }
  }
}

void stopAt(Check* c, Stage stage, std::optional<int> status, std::string result,
            std::vector<std::string> errorLines) {
  c->stage = stage;
  c->exitStatus = status;
  c->result = std::move(result);
  c->errorLines = std::move(errorLines);
}

const UndefinedSymbol* undefinedInExecutable(const Check& c, const std::string& symbol) {
  for (const UndefinedSymbol& undefined : c.listing.undefinedSymbols) {
    if (undefined.symbol == symbol && undefined.requiredBy == c.loadedAs) return &undefined;
  }
  return nullptr;
}

bool isProxyFunction(const std::string& name) {
  for (const ProxyCall& call : kProxyCalls) {
    if (name == call.name) return true;
  }
  return false;
}

// The loader's verdict before any code of the executable runs: a library it cannot map, a
// version need it cannot meet, or, when every symbol is bound at load, a symbol it cannot find.
bool loaderStopsAtLoad(const CheckEnvironment& environment, Check* c) {
  const LoaderListing& listing = c->listing;
  const std::string stops = "the dynamic loader stops the start, with exit status ";
  for (const ListedLibrary& library : listing.libraries) {
    if (library.found) continue;
    stopAt(c, Stage::kLoader, 127, stops + "127", {missingLibraryMessage(c->argv0, library.name)});
    return true;
  }
  if (!listing.fatalError.empty()) {
    stopAt(c, Stage::kLoader, 127, stops + "127", {fatalLoadMessage(c->argv0, listing.fatalError)});
    return true;
  }
  if (!listing.missingVersions.empty()) {
    // The loader reports every missing version, then exits with 1 before it binds a symbol.
    std::vector<std::string> lines;
    for (const MissingVersion& missing : listing.missingVersions)
      lines.push_back(missingVersionMessage(c->argv0, c->loadedAs, missing));
    stopAt(c, Stage::kLoader, 1, stops + "1", lines);
    return true;
  }
  if ((environment.bindNow || c->elf.bindNow) && !listing.undefinedSymbols.empty()) {
    stopAt(c, Stage::kLoader, 127, stops + "127",
           {undefinedSymbolMessage(c->argv0, c->loadedAs, listing.undefinedSymbols.front())});
    return true;
  }
  return false;
}

bool calledOnEveryStart(const ProxyCall& call, const StartupDecision& d) {
  switch (call.when) {
    case ProxyCallWhen::kEveryStart:
      return true;
    case ProxyCallWhen::kAppendedArchive:
      return d.archiveEmbedded;
    case ProxyCallWhen::kSidecarArchive:
      return !d.archiveEmbedded;
    case ProxyCallWhen::kCompleteMessage:
      return cString(d.dataBlock.completeMessage)[0] != '\0';
    case ProxyCallWhen::kRuntimeCallFailed:
      return false;
  }
  return false;
}

// Bound lazily, a missing function ends the process at its first call, after the launcher's
// steps: the first one that a start makes decides.
void judgeRuntimeCalls(Check* c) {
  for (const ProxyCall& call : kProxyCalls) {
    const UndefinedSymbol* undefined = undefinedInExecutable(*c, call.name);
    if (!undefined) continue;
    if (calledOnEveryStart(call, c->decision)) {
      stopAt(c, Stage::kLoader, 127,
             std::string("the launcher reaches the runtime, and the dynamic loader ends the "
                         "process at its first call of ") +
                 call.name + ", with exit status 127",
             {undefinedSymbolMessage(c->argv0, c->loadedAs, *undefined)});
      return;
    }
    c->notes.push_back(std::string("the process ends with exit status 127 if it calls ") +
                       call.name +
                       (call.when == ProxyCallWhen::kRuntimeCallFailed
                            ? ", which the launcher calls when a runtime call fails"
                            : ", which the launcher calls for each text the application writes"));
  }
  for (const UndefinedSymbol& undefined : c->listing.undefinedSymbols) {
    if (undefined.requiredBy == c->loadedAs && isProxyFunction(undefined.symbol)) continue;
    c->notes.push_back("the process ends with exit status 127 at its first use of " +
                       undefined.symbol + ", which " + undefined.requiredBy + " needs");
  }
  stopAt(c, Stage::kRuntime, std::nullopt, "the launcher reaches the runtime", {});
}

void judge(const CheckEnvironment& environment, Check* c) {
  if (!c->systemRefusal.empty()) {
    stopAt(c, Stage::kSystem, std::nullopt, "the system will not start it: " + c->systemRefusal,
           {});
    return;
  }
  if (c->loaderRan && loaderStopsAtLoad(environment, c)) return;
  if (!c->decision.reachesRuntime()) {
    // One entry a line: the runtime's missing-library message spans four.
    std::vector<std::string> lines;
    for (const std::string& message : c->decision.errorMessages) {
      std::string text = "Error:" + message;
      for (size_t start = 0, end; start <= text.size(); start = end + 1) {
        end = std::min(text.find('\n', start), text.size());
        lines.push_back(text.substr(start, end - start));
      }
    }
    stopAt(c, Stage::kLauncher, 255, "start-up stops here, with exit status 255", lines);
    return;
  }
  judgeRuntimeCalls(c);
}

bool gather(const CheckRequest& request, const CheckEnvironment& environment, Check* c,
            std::string* err) {
  c->argv0 = request.executablePath;
  if (!findExecutable(request.executablePath, &c->executable, err)) return false;
  std::string head;
  if (!readHead(c->executable, request.executablePath, &head, err)) return false;
  if (head == "#!") {
    *err = request.executablePath + " is a script; check takes the launcher that it starts";
    return false;
  }
  // The system runs only what this user may execute; no step of the start would begin.
  if (access(c->executable.c_str(), X_OK) != 0) {
    c->systemRefusal = strerror(errno);
    judge(environment, c);
    return true;
  }
  std::string notElf;
  c->elfRead = readElfFacts(c->executable, &c->elf, &notElf);
  c->systemRefusal = systemRefusal(c->elf, c->elfRead);
  if (!c->systemRefusal.empty()) {
    judge(environment, c);
    return true;
  }
  if (c->elf.dynamic) {
    char real[PATH_MAX];
    if (!realpath(c->executable.c_str(), real)) {
      *err = "cannot resolve " + request.executablePath + ": " + strerror(errno);
      return false;
    }
    c->loadedAs = real;
    c->origin = directoryOf(c->loadedAs);
    if (!listLoadedLibraries(c->loadedAs, environment.libraryPath, &c->listing, err)) return false;
    c->loaderRan = true;
    takeLoaderStep(environment, c);
    if (!sameFile(c->elf.interpreter, kSystemLoader)) {
      c->notes.push_back("the executable names the interpreter " + c->elf.interpreter +
                         ", which is not the system's loader that check asked");
    }
  }
  c->launcherRan = true;
  c->decision = decideStartup(c->executable, environment.libraryPath, nullptr);
  const StartupDecision& d = c->decision;
  c->nothingAppended = !d.archiveEmbedded && !d.archiveExists && c->elf.extent >= c->elf.fileSize;
  if (d.runtimeSearch.found)
    c->runtimeFileProblem = runtimeFileProblem(d.runtimeSearch.tested.back().path);
  judge(environment, c);
  return true;
}

const char* sourceName(LibrarySource source) {
  switch (source) {
    case LibrarySource::kNamedByPath:
      return "named by its path";
    case LibrarySource::kRunPath:
      return "run path";
    case LibrarySource::kLibraryPath:
      return "LD_LIBRARY_PATH";
    case LibrarySource::kSystem:
      return "system";
  }
  return "";
}

std::string describeOrigin(const LibraryOrigin& origin) {
  switch (origin.source) {
    case LibrarySource::kNamedByPath:
      return "as the needed name gives it";
    case LibrarySource::kRunPath:
      return "through run path entry " + quoted(origin.entry) +
             (origin.entry == origin.expanded ? "" : " (" + escapeText(origin.expanded) + ")");
    case LibrarySource::kLibraryPath:
      return "through LD_LIBRARY_PATH entry " + quoted(origin.entry);
    case LibrarySource::kSystem:
      return "through the system's cache or default directories";
  }
  return "";
}

const char* stageName(Stage stage) {
  switch (stage) {
    case Stage::kSystem:
      return "system";
    case Stage::kLoader:
      return "dynamic loader";
    case Stage::kLauncher:
      return "launcher";
    case Stage::kRuntime:
      return "runtime";
  }
  return "";
}

std::string archiveLine(const Check& c) {
  const StartupDecision& d = c.decision;
  if (d.archiveEmbedded) return "appended to the executable";
  std::string line =
      "sidecar " + escapeText(d.archivePath) + ", " + (d.archiveExists ? "present" : "missing");
  if (c.nothingAppended) {
    line +=
        "; nothing is appended to the executable either (strip and objcopy remove what is "
        "appended to an executable)";
  }
  return line;
}

std::string runtimeFileLine(const Check& c) {
  return c.runtimeFileProblem.empty()
             ? "an ELF shared object for 64-bit x86-64"
             : "the runtime will not be able to load it: " + c.runtimeFileProblem;
}

void writeLoaderText(const Check& c, const CheckEnvironment& environment, std::ostream& out) {
  const ElfFacts& elf = c.elf;
  out << "ELF file: " << describeClassAndMachine(elf) << ", "
      << (elf.type != ET_DYN ? "executable"
          : elf.pie          ? "position-independent executable"
                             : "shared object")
      << ", " << (elf.dynamic ? "dynamically linked" : "statically linked") << "\n";
  if (!c.loaderRan) return;
  out << "dynamic loader: " << kSystemLoader << " in its list mode, on " << escapeText(c.loadedAs)
      << "\n";
  out << "run path: "
      << (elf.runPath
              ? quoted(*elf.runPath) + (elf.runPathIsRunPath ? " (DT_RUNPATH)" : " (DT_RPATH)")
              : "none")
      << ", $ORIGIN " << escapeText(c.origin) << "\n";
  out << "LD_LIBRARY_PATH: "
      << (environment.libraryPath ? quoted(*environment.libraryPath) : "unset") << "\n";
  for (const LibraryLine& line : c.libraries) {
    if (!line.library.searched) continue;
    out << (line.neededByExecutable ? "needed library " : "indirectly needed library ")
        << escapeText(line.library.name) << ": ";
    if (line.library.found) {
      out << escapeText(line.library.path) << ", " << describeOrigin(line.origin) << "\n";
    } else {
      out << "not found\n";
    }
  }
  for (const MissingVersion& missing : c.listing.missingVersions) {
    out << "version need not met: " << escapeText(missing.version) << " of "
        << escapeText(missing.library) << ", needed by " << escapeText(missing.requiredBy) << "\n";
  }
  bool libraryMissing = false;
  for (const LibraryLine& line : c.libraries) libraryMissing |= !line.library.found;
  // Every symbol of a missing library is undefined too; the missing library says it all.
  if (libraryMissing && !c.listing.undefinedSymbols.empty()) {
    out << "undefined symbols: " << c.listing.undefinedSymbols.size()
        << ", while a needed library is missing\n";
  }
  for (const UndefinedSymbol& undefined : c.listing.undefinedSymbols) {
    if (libraryMissing) break;
    out << "undefined symbol: " << escapeText(undefined.symbol)
        << (undefined.version.empty() ? "" : ", version " + escapeText(undefined.version))
        << ", needed by " << escapeText(undefined.requiredBy) << "\n";
  }
  if (!c.listing.fatalError.empty())
    out << "dynamic loader stopped: " << escapeText(c.listing.fatalError) << "\n";
  out << "proxy library " << kProxyLibraryName << ": ";
  if (!c.proxyPath) {
    out << "not found\n";
  } else if (!c.proxyProblem.empty()) {
    out << escapeText(c.proxyProblem) << "\n";
  } else {
    out << "exports " << std::size(kProxyCalls) - c.missingFunctions.size() << " of the "
        << std::size(kProxyCalls) << " functions\n";
  }
  for (const std::string& name : c.missingFunctions)
    out << "proxy function missing: " << name << "\n";
}

void writeLauncherText(const Check& c, std::ostream& out) {
  const StartupDecision& d = c.decision;
  out << "application directory: " << escapeText(d.applicationDirectory) << "\n";
  out << "archive: " << archiveLine(c) << "\n";
  if (d.failure == StartupFailure::kNoArchive) return;

  out << "data block: "
      << (d.blockRefusal.empty() ? "accepted" : "not accepted: " + escapeText(d.blockRefusal))
      << "\n";
  out << "runtime version: major " << quoted(cString(d.dataBlock.majorVersion)) << ", minor "
      << quoted(cString(d.dataBlock.minorVersion)) << ", "
      << (d.versionAccepted ? "accepted"
                            : "refused: the launcher accepts " + requiredVersionName() + " only")
      << "\n";
  if (d.failure == StartupFailure::kNotAnApplication) return;

  const RuntimeSearch& search = d.runtimeSearch;
  out << "runtime library: " << escapeText(search.libraryName) << "\n";
  for (size_t i = 0; i < search.tested.size(); ++i) {
    const SearchCandidate& candidate = search.tested[i];
    bool hit = search.found && i + 1 == search.tested.size();
    out << "searched " << escapeText(candidate.path) << " ("
        << (candidate.stage == SearchStage::kPlatformDirectory
                ? "platform directory"
                : "LD_LIBRARY_PATH entry " + quoted(candidate.location))
        << "): " << (hit ? "present" : "absent") << "\n";
  }
  if (!search.found) {
    out << "runtime library found: nowhere\n";
    return;
  }
  out << "runtime library found in: " << escapeText(search.tested.back().location) << "\n";
  out << "runtime library file: " << runtimeFileLine(c) << "\n";
  if (!d.startMessage) {
    out << "start message: none\n";
  } else if (d.startMessage->empty()) {
    out << "start message: blank, so only the Initializing line is shown\n";
  } else {
    out << "start message: " << quoted(*d.startMessage) << "\n";
  }
}

void writeText(const Check& c, const CheckEnvironment& environment, std::ostream& out) {
  out << "executable: " << escapeText(c.executable) << "\n";
  if (c.argv0 != c.executable) out << "started as: " << escapeText(c.argv0) << "\n";
  if (c.elfRead) writeLoaderText(c, environment, out);
  if (c.launcherRan) writeLauncherText(c, out);
  for (const std::string& note : c.notes) out << "note: " << escapeText(note) << "\n";
  out << "result: " << c.result << "\n";
}

json texts(const std::vector<std::string>& values) {
  json list = json::array();
  for (const std::string& value : values) list.push_back(escapeText(value));
  return list;
}

json optionalText(const std::optional<std::string>& value) {
  return value ? json(escapeText(*value)) : json(nullptr);
}

json loaderJson(const Check& c, const CheckEnvironment& environment) {
  json loader;
  loader["program"] = kSystemLoader;
  loader["loadedAs"] = escapeText(c.loadedAs);
  loader["origin"] = escapeText(c.origin);
  loader["libraryPath"] = optionalText(environment.libraryPath);
  json libraries = json::array();
  for (const LibraryLine& line : c.libraries) {
    json library = {{"name", escapeText(line.library.name)},
                    {"neededByExecutable", line.neededByExecutable},
                    {"found", line.library.found},
                    {"path", line.library.found ? json(escapeText(line.library.path)) : json()}};
    if (line.library.found && line.library.searched) {
      library["source"] = sourceName(line.origin.source);
      if (!line.origin.entry.empty() || line.origin.source == LibrarySource::kRunPath ||
          line.origin.source == LibrarySource::kLibraryPath) {
        library["entry"] = escapeText(line.origin.entry);
        library["expandedEntry"] = escapeText(line.origin.expanded);
      }
    }
    libraries.push_back(library);
  }
  loader["libraries"] = libraries;
  json versions = json::array();
  for (const MissingVersion& missing : c.listing.missingVersions) {
    versions.push_back({{"version", escapeText(missing.version)},
                        {"library", escapeText(missing.library)},
                        {"requiredBy", escapeText(missing.requiredBy)}});
  }
  loader["missingVersions"] = versions;
  json symbols = json::array();
  for (const UndefinedSymbol& undefined : c.listing.undefinedSymbols) {
    symbols.push_back({{"symbol", escapeText(undefined.symbol)},
                       {"version", escapeText(undefined.version)},
                       {"requiredBy", escapeText(undefined.requiredBy)}});
  }
  loader["undefinedSymbols"] = symbols;
  loader["stopped"] =
      optionalText(c.listing.fatalError.empty() ? std::nullopt
                                                : std::optional<std::string>(c.listing.fatalError));
  loader["proxyLibrary"] = {{"path", optionalText(c.proxyPath)},
                            {"problem", escapeText(c.proxyProblem)},
                            {"missingFunctions", texts(c.missingFunctions)}};
  return loader;
}

json launcherJson(const Check& c) {
  const StartupDecision& d = c.decision;
  json launcher;
  launcher["applicationDirectory"] = escapeText(d.applicationDirectory);
  launcher["archive"] = {{"appended", d.archiveEmbedded},
                         {"path", escapeText(d.archivePath)},
                         {"present", d.archiveExists},
                         {"nothingAppendedToExecutable", c.nothingAppended}};
  if (d.failure == StartupFailure::kNoArchive) return launcher;
  launcher["dataBlock"] = {{"accepted", d.blockRefusal.empty()},
                           {"reason", escapeText(d.blockRefusal)},
                           {"majorVersion", escapeText(cString(d.dataBlock.majorVersion))},
                           {"minorVersion", escapeText(cString(d.dataBlock.minorVersion))},
                           {"versionAccepted", d.versionAccepted}};
  if (d.failure == StartupFailure::kNotAnApplication) return launcher;
  const RuntimeSearch& search = d.runtimeSearch;
  json searched = json::array();
  for (size_t i = 0; i < search.tested.size(); ++i) {
    const SearchCandidate& candidate = search.tested[i];
    searched.push_back(
        {{"path", escapeText(candidate.path)},
         {"place", candidate.stage == SearchStage::kPlatformDirectory ? "platform directory"
                                                                      : "LD_LIBRARY_PATH entry"},
         {"location", escapeText(candidate.location)},
         {"present", search.found && i + 1 == search.tested.size()}});
  }
  launcher["runtimeLibrary"] = {
      {"name", escapeText(search.libraryName)},
      {"searched", searched},
      {"foundIn", search.found ? json(escapeText(search.tested.back().location)) : json()},
      {"loadable", search.found ? json(c.runtimeFileProblem.empty()) : json()},
      {"problem", escapeText(c.runtimeFileProblem)}};
  if (search.found) launcher["startMessage"] = optionalText(d.startMessage);
  return launcher;
}

json asJson(const Check& c, const CheckEnvironment& environment) {
  json doc;
  doc["executable"] = escapeText(c.executable);
  doc["startedAs"] = escapeText(c.argv0);
  if (c.elfRead) {
    doc["elf"] = {{"class", c.elf.elfClass == ELFCLASS64 ? 64 : 32},
                  {"machine", c.elf.machine},
                  {"type", c.elf.type},
                  {"dynamic", c.elf.dynamic},
                  {"needed", texts(c.elf.needed)},
                  {"runPath", optionalText(c.elf.runPath)},
                  {"runPathTag", c.elf.runPathIsRunPath ? "DT_RUNPATH" : "DT_RPATH"},
                  {"bindNow", c.elf.bindNow}};
  }
  doc["loader"] = c.loaderRan ? loaderJson(c, environment) : json();
  doc["launcher"] = c.launcherRan ? launcherJson(c) : json();
  doc["result"] = {{"stage", stageName(c.stage)},
                   {"text", c.result},
                   {"exitStatus", c.exitStatus ? json(*c.exitStatus) : json()},
                   {"notes", texts(c.notes)},
                   {"errorLines", texts(c.errorLines)}};
  return doc;
}

}  // namespace

bool checkDeployment(const CheckRequest& request, const CheckEnvironment& environment,
                     std::ostream& out, std::ostream& errorOut, int* status, std::string* err) {
  Check c;
  if (!gather(request, environment, &c, err)) return false;
  if (request.json) {
    out << asJson(c, environment).dump(2) << "\n";
  } else {
    writeText(c, environment, out);
  }
  out.flush();
  for (const std::string& line : c.errorLines) errorOut << line << "\n";
  errorOut.flush();
  *status = c.stage == Stage::kRuntime ? 0 : c.stage == Stage::kLoader ? kLoaderStops : kAnswerNo;
  return true;
}

Command addCheckCommand(CLI::App* app) {
  auto request = std::make_shared<CheckRequest>();
  CLI::App* check = app->add_subcommand(
      "check", "Show how a start of an executable would go, without starting it.");
  check->footer(
      "Takes the steps of a start of EXECUTABLE under the current LD_LIBRARY_PATH and working "
      "directory, up to the point where the launcher calls the runtime. First the dynamic "
      "loader's: the system's own loader (" +
      std::string(kSystemLoader) +
      "), run in its list mode with bind-now and warnings as `ldd -r` runs it, which runs no "
      "code of the executable, tells where each needed library resolves (a run-path entry, an "
      "LD_LIBRARY_PATH directory, or the system's cache and default directories) or that it is "
      "missing, each symbol-version need that is not met, and each function that the proxy "
      "library lacks. Then the launcher's: the archive, appended or beside it; the data block "
      "and its version; each place where the runtime library is looked for, and whether the "
      "runtime can load that file; the start message. A relative EXECUTABLE is resolved as the "
      "launcher resolves its own name, and the start is taken to name the executable as given, "
      "as its argv[0]. The messages that the start would print on standard error (the dynamic "
      "loader's, or the launcher's error lines) are printed on standard error. Exit status: 0 "
      "when the launcher reaches the runtime; 2 when the launcher refuses to start (exit status "
      "255), or when the system will not start EXECUTABLE at all; 3 when the dynamic loader "
      "stops the start (exit status 127, or 1 for a version need that is not met); 1 when "
      "EXECUTABLE cannot be found or read.");
  check->add_option("EXECUTABLE", request->executablePath, "The launcher, as deployed")->required();
  check->add_flag("--json", request->json,
                  "Print one JSON document: every step, every place searched, the loader's "
                  "findings, the predicted exit status and the error lines");
  return Command{check, [request](int* status, std::string* err) {
                   CheckEnvironment environment;
                   if (const char* value = getenv("LD_LIBRARY_PATH"))
                     environment.libraryPath = value;
                   const char* bindNow = getenv("LD_BIND_NOW");
                   environment.bindNow = bindNow && *bindNow;
                   return checkDeployment(*request, environment, std::cout, std::cerr, status, err);
                 }};
}
