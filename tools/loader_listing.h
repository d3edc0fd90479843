// The dynamic loader's part of a start, as the system's own loader tells it: run in its list mode
// with bind-now and warnings, as `ldd -r` runs it, it maps the executable and every needed
// library and resolves every symbol, and exits before any code of theirs runs. The loader is
// named explicitly, never taken from the executable's interpreter entry.
#pragma once

#include <optional>
#include <string>
#include <vector>

// The x86-64 ABI's fixed path of the system's dynamic loader.
inline constexpr char kSystemLoader[] = "/lib64/ld-linux-x86-64.so.2";

struct ListedLibrary {
  std::string name;  // as needed, or the path of an object that the loader maps unasked
  std::string path;  // where it resolves; empty when not found
  bool found = false;
  // False for what the loader maps without a name to search for: the vDSO and the loader itself.
  bool searched = true;
};

// A version that an object needs and that the library it names does not define.
struct MissingVersion {
  std::string library;     // the path of the library that lacks the version
  std::string version;     // GLIBC_2.34, ...
  std::string requiredBy;  // the object that needs it, as the loader names it
};

struct UndefinedSymbol {
  std::string symbol;
  std::string version;     // empty when the reference carries none
  std::string requiredBy;  // the object that refers to it, as the loader names it
};

struct LoaderListing {
  std::vector<ListedLibrary> libraries;  // in the loader's order, which is the load order
  std::vector<MissingVersion> missingVersions;
  std::vector<UndefinedSymbol> undefinedSymbols;
  // When the loader stopped while mapping a library it found (a file too short, not an ELF file,
  // ...): its message after the program's name, "error while loading shared libraries: ...";
  // empty otherwise.
  std::string fatalError;
};

// Parses the loader's standard output |out| and standard error |err| of a list-mode run on
// |program|, the name it was given. Fails, saying why, on a line it cannot place.
bool parseLoaderListing(const std::string& program, const std::string& out, const std::string& err,
                        LoaderListing* listing, std::string* why);

// Runs the system's loader in list mode on |program| (an absolute path) with an environment of
// the list-mode switches and |libraryPath| as LD_LIBRARY_PATH (absent: unset), and parses what it
// says. Fails when the loader cannot be run or says something it does not say for a start.
bool listLoadedLibraries(const std::string& program, const std::optional<std::string>& libraryPath,
                         LoaderListing* listing, std::string* err);

// The loader's own message for each way it stops a start, as a process started with |argv0| (in
// its argv[0]) from |program| prints it on standard error, without the line feed. An object that
// the loader names |program| is named |argv0| in a start.
std::string missingLibraryMessage(const std::string& argv0, const std::string& name);
std::string fatalLoadMessage(const std::string& argv0, const std::string& fatalError);
std::string missingVersionMessage(const std::string& argv0, const std::string& program,
                                  const MissingVersion& missing);
std::string undefinedSymbolMessage(const std::string& argv0, const std::string& program,
                                   const UndefinedSymbol& undefined);

// Which of the loader's search places a library's path comes from.
enum class LibrarySource {
  kNamedByPath,  // the needed name holds a "/" and is used as it is
  kRunPath,      // an entry of the executable's run path
  kLibraryPath,  // a directory of LD_LIBRARY_PATH
  kSystem,       // the loader's cache or its default directories
};

struct LibraryOrigin {
  LibrarySource source = LibrarySource::kSystem;
  std::string entry;     // the run-path or LD_LIBRARY_PATH entry as written
  std::string expanded;  // that entry with $ORIGIN expanded
};

// Tells where |library|'s path came from, given the run path of the executable |runPath| (absent:
// none; |runPathIsRunPath| false for the older DT_RPATH, which is searched before
// LD_LIBRARY_PATH rather than after it), |origin| (the directory of the executable, what $ORIGIN
// stands for) and |libraryPath|.
LibraryOrigin libraryOrigin(const ListedLibrary& library, const std::optional<std::string>& runPath,
                            bool runPathIsRunPath, const std::string& origin,
                            const std::optional<std::string>& libraryPath);
