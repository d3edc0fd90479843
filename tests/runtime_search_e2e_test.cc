// End-to-end runs of the launcher's search for the version-specific run-time library: where the
// file may lie, what the verbose trace shows, and the message and status when it is missing.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "archive/data_block_writer.h"
#include "tests/block_fixtures.h"
#include "tests/deployment.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// Runs the launcher from $ROOT/cwd with LD_LIBRARY_PATH set to |libraryPath| (unset when absent).
LauncherRun runFromCwd(const Deployment& d, const std::optional<std::string>& libraryPath,
                       bool verbose) {
  ProcessLaunch launch;
  launch.program = d.executable();
  launch.argv = {d.executable()};
  launch.cwd = d.root() + "/cwd";
  fs::create_directories(launch.cwd);
  launch.env = d.baseEnvironment();
  if (libraryPath) launch.env.push_back("LD_LIBRARY_PATH=" + expand(*libraryPath, d));
  if (verbose) launch.env.push_back("QPAX_VERBOSE=");
  return d.runWith(launch);
}

// What a verbose run writes after the data block listing, whose last line is the complete message.
std::string afterListing(const std::string& out) {
  size_t line = out.find("\nComplete message:");
  if (line == std::string::npos) return "(no data block listing in) " + out;
  return out.substr(out.find('\n', line + 1) + 1);
}

DataBlockFields withUpdater(const std::string& updater) {
  DataBlockFields f;
  f.updaterVersion = updater;
  return f;
}

const char kApplication[] = "out ran\\n\n";
const char kRan[] = "Status:zekInitializeApplication completed\nran\n";

struct FoundCase {
  const char* name;
  std::optional<std::string> libraryPath;
  std::vector<std::string> entries;  // laid out after the platform directory's file is removed
  std::string search;                // the verbose search lines
};

// The file is found: quietly nothing but the application's output, verbosely the search lines.
void expectFound(const FoundCase& c) {
  SCOPED_TRACE(c.name);
  Deployment d;
  d.writeSidecar(kApplication);
  d.removeRuntimeLibrary();
  layOut(d, c.entries);
  LauncherRun quiet = runFromCwd(d, c.libraryPath, false);
  EXPECT_EQ(0, quiet.status);
  EXPECT_EQ("ran\n", quiet.out);
  EXPECT_EQ("", quiet.err);
  LauncherRun verbose = runFromCwd(d, c.libraryPath, true);
  EXPECT_EQ(0, verbose.status);
  EXPECT_EQ(expand(c.search, d) + kRan, afterListing(verbose.out));
  EXPECT_EQ("", verbose.err);
}

TEST(RuntimeSearch, FindsTheFileInThePlatformDirectory) {
  const std::string found =
      "build library name=$LIB\n"
      "1. search $DIR/runtime/tzora64/$LIB\n"
      "Find $LIB in $DIR/runtime/tzora64\n";
  const FoundCase cases[] = {
      {"regular file", std::nullopt, {"$DIR/runtime/tzora64/$LIB"}, found},
      // Stage 1 ends the search, so the library path is not even announced.
      {"also in a library path directory",
       "$ROOT/lib",
       {"$DIR/runtime/tzora64/$LIB", "$ROOT/lib/$LIB"},
       found},
      {"directory named like the file", std::nullopt, {"$DIR/runtime/tzora64/$LIB/"}, found},
      {"link to the file elsewhere",
       std::nullopt,
       {"$ROOT/store/$LIB", "$DIR/runtime/tzora64/$LIB -> $ROOT/store/$LIB"},
       found},
  };
  for (const FoundCase& c : cases) expectFound(c);
}

TEST(RuntimeSearch, FindsTheFileInTheFirstLibraryPathEntryThatHoldsIt) {
  auto hit = [](const std::string& libraryPath, const std::string& entry) {
    return "build library name=$LIB\n"
           "1. search $DIR/runtime/tzora64/$LIB\n"
           "2. search " +
           libraryPath + "\nFound $LIB in " + entry + "\n";
  };
  const FoundCase cases[] = {
      {"list order, not directory order",
       "$ROOT/a:$ROOT/c:$ROOT/b",
       {"$ROOT/b/$LIB", "$ROOT/c/$LIB"},
       hit("$ROOT/a:$ROOT/c:$ROOT/b", "$ROOT/c")},
      {"trailing slash shown as written",
       "$ROOT/a/:$ROOT/b",
       {"$ROOT/a/$LIB", "$ROOT/b/$LIB"},
       hit("$ROOT/a/:$ROOT/b", "$ROOT/a/")},
      {"surrounding blanks shown as written",
       "$ROOT/a: \t$ROOT/b \t:$ROOT/c",
       {"$ROOT/b/$LIB", "$ROOT/c/$LIB"},
       hit("$ROOT/a: \t$ROOT/b \t:$ROOT/c", " \t$ROOT/b \t")},
      {"empty entry is the working directory",
       "$ROOT/a::$ROOT/b",
       {"$ROOT/cwd/$LIB", "$ROOT/b/$LIB"},
       hit("$ROOT/a::$ROOT/b", "")},
      {"blank entry is the working directory",
       "$ROOT/a: :$ROOT/b",
       {"$ROOT/cwd/$LIB", "$ROOT/b/$LIB"},
       hit("$ROOT/a: :$ROOT/b", " ")},
      {"only separators", "::", {"$ROOT/cwd/$LIB"}, hit("::", "")},
      {"relative entry", "sub", {"$ROOT/cwd/sub/$LIB"}, hit("sub", "sub")},
      {"directory listed twice",
       "$ROOT/a:$ROOT/b:$ROOT/a",
       {"$ROOT/a/$LIB", "$ROOT/b/$LIB"},
       hit("$ROOT/a:$ROOT/b:$ROOT/a", "$ROOT/a")},
      {"directory named like the file",
       "$ROOT/a:$ROOT/b",
       {"$ROOT/a/$LIB/", "$ROOT/b/$LIB"},
       hit("$ROOT/a:$ROOT/b", "$ROOT/a")},
      {"dangling link in the platform directory is a miss",
       "$ROOT/a",
       {"$DIR/runtime/tzora64/$LIB -> $ROOT/nowhere/$LIB", "$ROOT/a/$LIB"},
       hit("$ROOT/a", "$ROOT/a")},
  };
  for (const FoundCase& c : cases) expectFound(c);
}

TEST(RuntimeSearch, AMissingFileEndsStartUpWithTheInstallMessage) {
  struct Case {
    const char* name;
    const char* updater;
    std::optional<std::string> libraryPath;
    std::vector<std::string> entries;  // laid out after the platform directory's file is removed
    std::string search;                // the verbose search lines
    std::string missing;               // the file name in the message
  } cases[] = {
      {"unset library path ignores the working directory",
       "1",
       std::nullopt,
       {"$ROOT/cwd/$LIB"},
       "build library name=$LIB\n"
       "1. search $DIR/runtime/tzora64/$LIB\n"
       "3. Try to find $LIB in registry and preference settings\n",
       "libqxzekztvrt.so.7.14.1"},
      {"empty library path ignores the working directory",
       "1",
       "",
       {"$ROOT/cwd/$LIB"},
       "build library name=$LIB\n"
       "1. search $DIR/runtime/tzora64/$LIB\n"
       "2. search \n"
       "3. Try to find $LIB in registry and preference settings\n",
       "libqxzekztvrt.so.7.14.1"},
      {"only separators",
       "1",
       ":::",
       {},
       "build library name=$LIB\n"
       "1. search $DIR/runtime/tzora64/$LIB\n"
       "2. search :::\n"
       "3. Try to find $LIB in registry and preference settings\n",
       "libqxzekztvrt.so.7.14.1"},
      {"only other versions and a missing directory",
       "1",
       "$ROOT/a:$ROOT/none:$ROOT/b",
       {"$DIR/runtime/tzora64/libqxzekztvrt.so.7.14", "$ROOT/a/libqxzekztvrt.so.7.14.10",
        "$ROOT/b/libqxzekztvrt.so.7.14.1.0", "$ROOT/b/libqxzekztvrt.so.7"},
       "build library name=$LIB\n"
       "1. search $DIR/runtime/tzora64/$LIB\n"
       "2. search $ROOT/a:$ROOT/none:$ROOT/b\n"
       "3. Try to find $LIB in registry and preference settings\n",
       "libqxzekztvrt.so.7.14.1"},
      {"updater 2 beside the 7.14.1 file",
       "2",
       "$ROOT/a",
       {"$DIR/runtime/tzora64/$LIB", "$ROOT/a/$LIB"},
       "build library name=libqxzekztvrt.so.7.14.2\n"
       "1. search $DIR/runtime/tzora64/libqxzekztvrt.so.7.14.2\n"
       "2. search $ROOT/a\n"
       "3. Try to find libqxzekztvrt.so.7.14.2 in registry and preference settings\n",
       "libqxzekztvrt.so.7.14.2"},
      {"updater 0 beside the 7.14.1 file",
       "0",
       std::nullopt,
       {"$DIR/runtime/tzora64/$LIB"},
       "build library name=libqxzekztvrt.so.7.14\n"
       "1. search $DIR/runtime/tzora64/libqxzekztvrt.so.7.14\n"
       "3. Try to find libqxzekztvrt.so.7.14 in registry and preference settings\n",
       "libqxzekztvrt.so.7.14"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Deployment d;
    d.writeSidecar(kApplication, withUpdater(c.updater));
    d.removeRuntimeLibrary();
    layOut(d, c.entries);
    const std::string message =
        "Error:Could not find version 7.14.1 of the ZTV.\n"
        "Attempting to load " +
        c.missing +
        ".\n"
        "Please install the correct version of the ZTV.\n"
        "Contact your vendor if you do not have an installer for the ZTV.\n";
    LauncherRun quiet = runFromCwd(d, c.libraryPath, false);
    EXPECT_EQ(255, quiet.status);
    EXPECT_EQ("", quiet.out);
    EXPECT_EQ(message, quiet.err);
    EXPECT_EQ("", quiet.trace);
    LauncherRun verbose = runFromCwd(d, c.libraryPath, true);
    EXPECT_EQ(255, verbose.status);
    EXPECT_EQ(expand(c.search, d), afterListing(verbose.out));
    EXPECT_EQ(message, verbose.err);
    EXPECT_EQ("", verbose.trace);
  }
}

TEST(RuntimeSearch, VerboseRunThatFindsTheFileInTheSecondLibraryPathDirectory) {
  Deployment d;
  DataBlockFields f = withUpdater("1");
  f.startMessage = "Hi";
  f.completeMessage = "Bye";
  d.writeSidecar(kApplication, f);
  d.removeRuntimeLibrary();
  layOut(d, {"$ROOT/usr/lib/", "$ROOT/opt/rt/$LIB"});
  LauncherRun r = runFromCwd(d, "$ROOT/usr/lib:$ROOT/opt/rt", true);
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(expand("Status:Executable file full name=$EXE\n"
                   "Status:QPA is embedded=false\n"
                   "Status:QPA file name=$EXE.qpa\n"s +
                       defaultBlockListing("Hi", "Bye") +
                       "build library name=libqxzekztvrt.so.7.14.1\n"
                       "1. search $DIR/runtime/tzora64/libqxzekztvrt.so.7.14.1\n"
                       "2. search $ROOT/usr/lib:$ROOT/opt/rt\n"
                       "Found libqxzekztvrt.so.7.14.1 in $ROOT/opt/rt\n"
                       "Initializing Korvel Compiler Runtime version 7.14.1\n"
                       "Starting Up:Hi\n"
                       "Status:zekInitializeApplication completed\n"
                       "Bye\n"
                       "ran\n",
                   d),
            r.out);
  EXPECT_EQ("", r.err);
}

}  // namespace
