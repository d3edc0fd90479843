// qpa check against a real start, end to end: both run as processes on the same deployment, with
// the same environment, working directory and user. The exit status that check predicts is the
// start's, and the messages it gives are what the start writes to standard error, byte for byte:
// the dynamic loader's, or the launcher's own error lines. check exits 0 exactly when the start
// reaches the runtime (the stand-in's trace is not empty and no loader message ends it). Where
// both say where the archive and the library are, they agree.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>

#include "archive/data_block_layout.h"
#include "archive/data_block_writer.h"
#include "tests/block_fixtures.h"
#include "tests/deployment.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using json = nlohmann::json;

const char kPayload[] = "out ok\\n\n";

struct Case {
  std::string name;
  std::function<void(Deployment&)> deploy;
  std::vector<std::string> env = {};  // after expand(), added to the base environment
  std::string deployment = "app";     // the name of the deployment's executable
  std::string executable = "";  // as both are started and checked; empty: the deployment's own
  std::string cwd = "$ROOT/cwd";
  // Both run as an unprivileged user, when the test can drop to one, so that permissions bite.
  bool unprivileged = false;
  // Lines, after expand(), that check's text must hold.
  std::vector<std::string> lines = {};
  // When set, check refuses the executable as bad input with this line, after expand().
  std::string refused = "";
};

// The value of the first line of |text| that starts with |label|, if any.
std::optional<std::string> lineAfter(const std::string& text, const std::string& label) {
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    if (text.compare(at, label.size(), label) == 0)
      return text.substr(at + label.size(), end - at - label.size());
    at = end + 1;
  }
  return std::nullopt;
}

// Where the launcher's verbose search trace says it found the library: its "Find NAME in " or
// "Found NAME in " line.
std::optional<std::string> foundIn(const std::string& out) {
  for (const char* verb : {"Find ", "Found "}) {
    std::optional<std::string> rest = lineAfter(out, verb);
    size_t in = rest ? rest->find(" in ") : std::string::npos;
    if (in != std::string::npos) return rest->substr(in + 4);
  }
  return std::nullopt;
}

void expectAgreement(const Case& c) {
  SCOPED_TRACE(c.name);
  Deployment d(c.deployment);
  fs::create_directories(d.root() + "/cwd");
  c.deploy(d);
  // Without root the test's own user is as unprivileged as the case needs.
  const bool drop = c.unprivileged && geteuid() == 0;
  if (drop) giveRootTo(d, kUnprivilegedUid);
  ProcessLaunch launcher;
  launcher.program = c.executable.empty() ? d.executable() : expand(c.executable, d);
  launcher.argv = {launcher.program};
  launcher.cwd = expand(c.cwd, d);
  launcher.env = d.baseEnvironment();
  for (const std::string& entry : c.env) launcher.env.push_back(expand(entry, d));
  launcher.uid = drop ? kUnprivilegedUid : -1;
  launcher.timeoutSeconds = 10;

  ProcessLaunch check = launcher;
  check.program = drop ? d.stage(KORVEL_QPA_PATH) : KORVEL_QPA_PATH;
  check.argv = {"qpa", "check", launcher.program};
  ProcessOutcome checked, record;
  std::string err;
  ASSERT_TRUE(runProcess(check, &checked, &err)) << err;
  check.argv.push_back("--json");
  ASSERT_TRUE(runProcess(check, &record, &err)) << err;

  LauncherRun quiet = d.runWith(launcher);
  launcher.env.push_back("QPAX_VERBOSE=");
  LauncherRun verbose = d.runWith(launcher);
  ASSERT_FALSE(quiet.timedOut || verbose.timedOut || checked.timedOut);
  // Verbose mode changes what is said, never what is decided.
  EXPECT_EQ(quiet.err, verbose.err);
  EXPECT_EQ(quiet.trace, verbose.trace);

  if (!c.refused.empty()) {
    for (const ProcessOutcome* run : {&checked, &record}) {
      EXPECT_EQ(run->status, 1);
      EXPECT_EQ(run->out, "");
      EXPECT_EQ(run->err, "qpa: " + expand(c.refused, d) + "\n");
    }
    return;
  }

  // The record holds what the text says, and the same messages go to standard error.
  const json doc = json::parse(record.out, nullptr, false);
  ASSERT_FALSE(doc.is_discarded()) << record.out;
  const json& result = doc["result"];
  const std::string stage = result["stage"];
  EXPECT_EQ(record.status, checked.status);
  EXPECT_EQ(record.err, checked.err);
  EXPECT_EQ(lineAfter(checked.out, "result: "), result["text"].get<std::string>());
  EXPECT_EQ(lineAfter(checked.out, "executable: "), doc["executable"].get<std::string>());
  std::string errorLines;
  for (const json& line : result["errorLines"]) errorLines += line.get<std::string>() + "\n";
  EXPECT_EQ(errorLines, checked.err);
  for (const std::string& line : c.lines) {
    EXPECT_NE(checked.out.find("\n" + expand(line, d) + "\n"), std::string::npos)
        << expand(line, d) << "\n"
        << checked.out;
  }

  const bool reached = !quiet.trace.empty();
  const bool reachesRuntime =
      result["text"].get<std::string>().starts_with("the launcher reaches the runtime");
  EXPECT_EQ(reachesRuntime, reached) << checked.out << checked.err;
  if (stage == "runtime") {
    // The runtime decides the status; no loader message ends the process.
    EXPECT_EQ(checked.status, 0) << checked.out << checked.err;
    EXPECT_TRUE(result["exitStatus"].is_null());
    EXPECT_EQ(checked.err, "");
    EXPECT_NE(quiet.status, 127) << quiet.err;
  } else if (stage == "system") {
    // The harness's child ends with 127 and says nothing when the system will not execute it.
    EXPECT_EQ(checked.status, 2);
    EXPECT_EQ(quiet.status, 127);
    EXPECT_EQ(quiet.out + quiet.err, "");
  } else {
    EXPECT_EQ(checked.status, stage == "launcher" ? 2 : 3) << stage;
    ASSERT_TRUE(result["exitStatus"].is_number()) << record.out;
    EXPECT_EQ(quiet.status, result["exitStatus"].get<int>()) << quiet.err;
    EXPECT_EQ(checked.err, quiet.err);
  }

  // The facts that both state.
  auto exe = lineAfter(verbose.out, "Status:Executable file full name=");
  if (exe) {
    EXPECT_EQ(lineAfter(checked.out, "executable: "), exe);
  }
  if (auto embedded = lineAfter(verbose.out, "Status:QPA is embedded=")) {
    EXPECT_EQ(*embedded == "true",
              lineAfter(checked.out, "archive: ") == "appended to the executable");
  }
  if (auto archive = lineAfter(verbose.out, "Status:QPA file name="); archive && exe) {
    if (*archive != *exe) {
      EXPECT_EQ(lineAfter(checked.out, "archive: "), "sidecar " + *archive + ", present");
    }
  }
  if (auto location = foundIn(verbose.out)) {
    // check shows a tab as \t; the library path entries of these cases hold no other such byte.
    for (size_t at; (at = location->find('\t')) != std::string::npos;)
      location->replace(at, 1, "\\t");
    EXPECT_EQ(lineAfter(checked.out, "runtime library found in: "), location);
  } else if (exe) {
    EXPECT_EQ(lineAfter(checked.out, "runtime library found in: "), std::nullopt);
  }
}

TEST(CheckAgreement, ArchivesBesideAndAppended) {
  auto sidecar = [](DataBlockFields f) {
    return [f](Deployment& d) { d.writeSidecar(kPayload, f); };
  };
  DataBlockFields messages;
  messages.startMessage = " \tWelcome aboard\r\n";
  messages.completeMessage = "Done";
  const Case cases[] = {
      {.name = "sidecar", .deploy = sidecar({})},
      {.name = "sidecar with messages", .deploy = sidecar(messages)},
      {.name = "appended", .deploy = [](Deployment& d) { d.embed(kPayload); }},
      {.name = "appended and a sidecar",
       .deploy =
           [](Deployment& d) {
             d.embed(kPayload);
             d.writeSidecar(kPayload);
           }},
      {.name = "no archive", .deploy = [](Deployment&) {}},
      {.name = "executable named tool.bin", .deploy = sidecar({}), .deployment = "tool.bin"},
      {.name = "started through a relative name",
       .deploy = sidecar({}),
       .executable = "./app",
       .cwd = "$DIR"},
      {.name = "started through a symbolic link",
       .deploy =
           [](Deployment& d) {
             fs::create_symlink(d.executable(), d.root() + "/link");
             Deployment::writeArchive(d.root() + "/link.qpa", kPayload);
             layOut(d, {"$ROOT/runtime/tzora64/$LIB"});
           },
       .executable = "$ROOT/link"},
      {.name = "a trailer of 8192 over another tag, no sidecar",
       .deploy =
           [](Deployment& d) { d.appendToExecutable(block(tag("V1DRN4000HBS1000ZTV1001"))); }},
      {.name = "a trailer of 8192 over another tag, and a sidecar",
       .deploy =
           [](Deployment& d) {
             d.appendToExecutable(block(tag("V1DRN4000HBS1000ZTV1001")));
             d.writeSidecar(kPayload);
           }},
      {.name = "a trailer of 8192 over garbage",
       .deploy =
           [](Deployment& d) {
             std::string garbage(layout::kBlockSize, '\xa5');
             setBlockInt32(&garbage, layout::kTrailerField, layout::kBlockSize);
             d.appendToExecutable(garbage);
             d.writeSidecar(kPayload);
           }},
      // The runtime is reached, and fails there: check answers for start-up only.
      {.name = "runtime start-up layer fails",
       .deploy = sidecar({}),
       .env = {"STANDIN_FAIL=zekztvInitialize_proxy"}},
      {.name = "application initialization fails",
       .deploy = sidecar({}),
       .env = {"STANDIN_FAIL=zekInitializeApplication_proxy"}},
  };
  for (const Case& c : cases) expectAgreement(c);
}

TEST(CheckAgreement, DataBlocksAcceptedAndRefused) {
  std::vector<Case> cases;
  auto sidecarBytes = [&](std::string name, std::string bytes) {
    cases.push_back({name, [bytes](Deployment& d) { writeFile(d.sidecarPath(), bytes); }});
  };
  auto sidecar = [&](std::string name, DataBlockFields f) {
    sidecarBytes(name, kPayload + block(f));
  };
  sidecar("major 8", versions("8", "14"));
  sidecar("minor 15", versions("7", "15"));
  sidecar("major 70", versions("70", "14"));
  sidecar("minor 1", versions("7", "1"));
  sidecar("major without a NUL", versions("7777", "14"));
  sidecar("major 7 with bytes after its NUL", versions("7\0x\0"s, "14"));
  sidecar("updater without a NUL", versions("7", "14", "1111"));
  sidecar("another tag", tag("V1DRN4000HBS1000ZTV1001"));
  sidecar("a shortened tag", tag("V1DRN4000HBS1000ZTV100"));
  sidecar("tag field without a NUL", tag(std::string(32, 'V')));
  for (size_t size : {0, 1, 3, 4, 8191})
    sidecarBytes(std::to_string(size) + " bytes", block().substr(0, size));
  sidecarBytes("9000 NUL bytes", std::string(9000, '\0'));
  for (int32_t trailer : {0, -1, 8191, 8193, INT32_MAX}) {
    std::string bytes = block();
    setBlockInt32(&bytes, layout::kTrailerField, trailer);
    sidecarBytes("trailer " + std::to_string(trailer), kPayload + bytes);
  }
  sidecarBytes("negative offset", kPayload + withSlots({{layout::kStartMessage, -1}}));
  sidecarBytes("offset in the header", kPayload + withSlots({{layout::kMainParam, 1023}}));
  sidecarBytes("offset past the text area", kPayload + withSlots({{layout::kList, 8189}}));
  sidecarBytes("offset at the text area's end", kPayload + withSlots({{layout::kList, 8188}}));
  {
    std::string bytes = withSlots({{layout::kStartMessage, 5000}});
    setBlockInt32(&bytes, layout::kTextOffsetFields[layout::kCompleteMessage], 6000);
    sidecarBytes("offsets out of order", kPayload + bytes);
  }
  cases.push_back({"appended block with a negative offset", [](Deployment& d) {
                     d.appendToExecutable(kPayload + withSlots({{layout::kStartMessage, -1}}));
                   }});
  cases.push_back({"appended block of another version",
                   [](Deployment& d) { d.embed(kPayload, versions("8", "14")); }});
  for (const Case& c : cases) expectAgreement(c);
}

TEST(CheckAgreement, SidecarsThatAreNoRegularFile) {
  const Case cases[] = {
      {"directory", [](Deployment& d) { fs::create_directory(d.sidecarPath()); }},
      {"FIFO without a writer",
       [](Deployment& d) { ASSERT_EQ(0, mkfifo(d.sidecarPath().c_str(), 0644)); }},
      {"link to a directory",
       [](Deployment& d) { fs::create_directory_symlink(d.appDir(), d.sidecarPath()); }},
      {"link to an endless device",
       [](Deployment& d) { fs::create_symlink("/dev/zero", d.sidecarPath()); }},
      {"symbolic link loop",
       [](Deployment& d) {
         fs::create_symlink(d.executable() + ".loop", d.sidecarPath());
         fs::create_symlink(d.sidecarPath(), d.executable() + ".loop");
       }},
      {"link to a valid archive",
       [](Deployment& d) {
         Deployment::writeArchive(d.root() + "/real.qpa", kPayload);
         fs::create_symlink(d.root() + "/real.qpa", d.sidecarPath());
       }},
      {.name = "unreadable sidecar",
       .deploy =
           [](Deployment& d) {
             d.writeSidecar(kPayload);
             fs::permissions(d.sidecarPath(), fs::perms::none);
           },
       .unprivileged = true},
  };
  for (const Case& c : cases) expectAgreement(c);
}

// The dynamic loader, like check, must read the file to list it: check refuses it as bad input.
TEST(CheckAgreement, ExecutablesWithoutReadPermission) {
  const fs::perms execOnly = fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
  const Case cases[] = {
      {.name = "sidecar beside it",
       .deploy =
           [=](Deployment& d) {
             d.writeSidecar(kPayload);
             fs::permissions(d.executable(), execOnly);
           },
       .unprivileged = true,
       .refused = "cannot read $EXE: Permission denied"},
      {.name = "archive appended",
       .deploy =
           [=](Deployment& d) {
             d.embed(kPayload);
             fs::permissions(d.executable(), execOnly);
           },
       .unprivileged = true,
       .refused = "cannot read $EXE: Permission denied"},
  };
  for (const Case& c : cases) expectAgreement(c);
}

TEST(CheckAgreement, RuntimeLibraryFoundOrMissing) {
  // Each deployment's library is removed from the platform directory first, then |entries| are
  // laid out; the runs start in $ROOT/cwd.
  struct Search {
    std::string name;
    std::optional<std::string> libraryPath;
    std::vector<std::string> entries;
    std::string updater = "1";
  };
  const Search searches[] = {
      {"platform directory", std::nullopt, {"$DIR/runtime/tzora64/$LIB"}},
      {"platform directory and library path",
       "$ROOT/lib",
       {"$DIR/runtime/tzora64/$LIB", "$ROOT/lib/$LIB"}},
      {"directory named like the file", std::nullopt, {"$DIR/runtime/tzora64/$LIB/"}},
      {"link to the file elsewhere",
       std::nullopt,
       {"$ROOT/store/$LIB", "$DIR/runtime/tzora64/$LIB -> $ROOT/store/$LIB"}},
      {"only in the second library path directory",
       "$ROOT/usr/lib:$ROOT/opt/rt",
       {"$ROOT/usr/lib/", "$ROOT/opt/rt/$LIB"}},
      {"list order, not directory order",
       "$ROOT/a:$ROOT/c:$ROOT/b",
       {"$ROOT/b/$LIB", "$ROOT/c/$LIB"}},
      {"trailing slash", "$ROOT/a/:$ROOT/b", {"$ROOT/a/$LIB"}},
      {"surrounding blanks", "$ROOT/a: \t$ROOT/b \t:$ROOT/c", {"$ROOT/b/$LIB"}},
      {"empty entry is the working directory", "$ROOT/a::$ROOT/b", {"$ROOT/cwd/$LIB"}},
      {"blank entry is the working directory", "$ROOT/a: :$ROOT/b", {"$ROOT/cwd/$LIB"}},
      {"only separators", "::", {"$ROOT/cwd/$LIB"}},
      {"relative entry", "sub", {"$ROOT/cwd/sub/$LIB"}},
      {"directory listed twice", "$ROOT/a:$ROOT/b:$ROOT/a", {"$ROOT/a/$LIB"}},
      {"dangling link in the platform directory",
       "$ROOT/a",
       {"$DIR/runtime/tzora64/$LIB -> $ROOT/nowhere/$LIB", "$ROOT/a/$LIB"}},
      {"missing, library path unset, file in the working directory",
       std::nullopt,
       {"$ROOT/cwd/$LIB"}},
      {"missing, library path empty", "", {"$ROOT/cwd/$LIB"}},
      {"missing, only separators", ":::", {}},
      {"missing, only other versions",
       "$ROOT/a:$ROOT/none:$ROOT/b",
       {"$DIR/runtime/tzora64/libqxzekztvrt.so.7.14", "$ROOT/a/libqxzekztvrt.so.7.14.10",
        "$ROOT/b/libqxzekztvrt.so.7.14.1.0"}},
      {"missing, updater 2 beside the 7.14.1 file",
       "$ROOT/a",
       {"$DIR/runtime/tzora64/$LIB", "$ROOT/a/$LIB"},
       "2"},
      {"updater 0", std::nullopt, {"$DIR/runtime/tzora64/libqxzekztvrt.so.7.14"}, "0"},
  };
  for (const Search& s : searches) {
    Case c{s.name, [s](Deployment& d) {
             d.writeSidecar(kPayload, versions("7", "14", s.updater));
             d.removeRuntimeLibrary();
             layOut(d, s.entries);
           }};
    if (s.libraryPath) c.env.push_back("LD_LIBRARY_PATH=" + *s.libraryPath);
    expectAgreement(c);
  }
}

// The stand-in built without |function|, from tests/CMakeLists.txt.
std::string lacking(const std::string& function) {
  return std::string(KORVEL_LACKING_DIR) + "/" + function + "/libqxzekztvrt.so";
}

void replaceProxy(Deployment& d, const std::string& library) {
  fs::copy_file(library, d.appDir() + "/libqxzekztvrt.so", fs::copy_options::overwrite_existing);
}

// |path|'s bytes with every |from| replaced by |to|, of the same length.
void patchFile(const std::string& path, const std::string& from, const std::string& to) {
  std::string bytes = readFile(path);
  size_t count = 0;
  for (size_t at; (at = bytes.find(from)) != std::string::npos; ++count)
    bytes.replace(at, from.size(), to);
  ASSERT_GT(count, 0u) << from;
  writeFile(path, bytes, 0755);
}

TEST(CheckAgreement, TheDynamicLoadersPart) {
  const std::string proxy = "needed library libqxzekztvrt.so: ";
  const Case cases[] = {
      {.name = "proxy library missing",
       .deploy =
           [](Deployment& d) {
             d.writeSidecar(kPayload);
             fs::remove(d.appDir() + "/libqxzekztvrt.so");
           },
       .lines = {proxy + "not found",
                 "result: the dynamic loader stops the start, with exit status 127"}},
      {.name = "proxy library missing, started through a relative name, no archive",
       .deploy = [](Deployment& d) { fs::remove(d.appDir() + "/libqxzekztvrt.so"); },
       .executable = "./app",
       .cwd = "$DIR"},
      {.name = "proxy library only in LD_LIBRARY_PATH",
       .deploy =
           [](Deployment& d) {
             d.writeSidecar(kPayload);
             fs::create_directory(d.root() + "/lib");
             fs::rename(d.appDir() + "/libqxzekztvrt.so", d.root() + "/lib/libqxzekztvrt.so");
           },
       .env = {"LD_LIBRARY_PATH=$ROOT/none:$ROOT/lib"},
       .lines = {proxy +
                 "$ROOT/lib/libqxzekztvrt.so, through LD_LIBRARY_PATH entry \"$ROOT/lib\""}},
      {.name = "LD_LIBRARY_PATH comes before the run path",
       .deploy =
           [](Deployment& d) {
             d.writeSidecar(kPayload);
             fs::create_directory(d.root() + "/lib");
             fs::copy_file(d.appDir() + "/libqxzekztvrt.so", d.root() + "/lib/libqxzekztvrt.so");
           },
       .env = {"LD_LIBRARY_PATH=$ROOT/lib"},
       .lines = {proxy +
                 "$ROOT/lib/libqxzekztvrt.so, through LD_LIBRARY_PATH entry \"$ROOT/lib\""}},
      {.name = "proxy library an empty file",
       .deploy =
           [](Deployment& d) {
             d.writeSidecar(kPayload);
             writeFile(d.appDir() + "/libqxzekztvrt.so", "");
           },
       .lines = {"dynamic loader stopped: error while loading shared libraries: "
                 "$DIR/libqxzekztvrt.so: file too short"}},
      {.name = "proxy library a directory",
       .deploy =
           [](Deployment& d) {
             d.writeSidecar(kPayload);
             fs::remove(d.appDir() + "/libqxzekztvrt.so");
             fs::create_directory(d.appDir() + "/libqxzekztvrt.so");
           }},
      {.name = "proxy library lacking the function a start calls last",
       .deploy =
           [](Deployment& d) {
             d.writeSidecar(kPayload);
             replaceProxy(d, lacking("zekMain_proxy"));
           },
       .lines = {"proxy function missing: zekMain_proxy",
                 "undefined symbol: zekMain_proxy, needed by $EXE",
                 "result: the launcher reaches the runtime, and the dynamic loader ends the "
                 "process at its first call of zekMain_proxy, with exit status 127"}},
      {.name = "proxy library lacking it, with every symbol bound at load",
       .deploy =
           [](Deployment& d) {
             d.writeSidecar(kPayload);
             replaceProxy(d, lacking("zekMain_proxy"));
           },
       .env = {"LD_BIND_NOW=1"}},
      {.name = "proxy library lacking the first function, and no archive",
       .deploy = [](Deployment& d) { replaceProxy(d, lacking("zekztvInitialize_proxy")); }},
      {.name = "proxy library lacking an appended archive's function, sidecar archive",
       .deploy =
           [](Deployment& d) {
             d.writeSidecar(kPayload);
             replaceProxy(d, lacking("zekGetEmbeddedQpaStream_proxy"));
           },
       .lines = {"proxy function missing: zekGetEmbeddedQpaStream_proxy",
                 "result: the launcher reaches the runtime"}},
      {.name = "proxy library lacking an appended archive's function, appended archive",
       .deploy =
           [](Deployment& d) {
             d.embed(kPayload);
             replaceProxy(d, lacking("zekGetEmbeddedQpaStream_proxy"));
           }},
      // Every version that the launcher needs of the C library becomes one that no system has.
      {.name = "built on a newer system",
       .deploy =
           [](Deployment& d) {
             d.writeSidecar(kPayload);
             patchFile(d.executable(), "GLIBC_2.", "GLIBC_9.");
           },
       .lines = {"result: the dynamic loader stops the start, with exit status 1"}},
  };
  for (const Case& c : cases) expectAgreement(c);
}

// The launcher's run path, one entry at a time: the executable lies four levels down, so that
// every entry stays inside the deployment.
TEST(CheckAgreement, ProxyLibraryThroughEachRunPathEntry) {
  const std::string deep = "$ROOT/w/x/y/z";
  for (const std::string entry :
       {"$ORIGIN/../../bin/tzora64", "$ORIGIN", "$ORIGIN/../../../../bin/tzora64",
        "$ORIGIN/../../../../sys/os/tzora64"}) {
    std::string expanded = deep + entry.substr(7);
    Case c{.name = entry,
           .deploy =
               [=](Deployment& d) {
                 layOut(d, {deep + "/runtime/tzora64/$LIB", expanded + "/"});
                 fs::copy_file(d.executable(), expand(deep + "/app", d));
                 Deployment::writeArchive(expand(deep + "/app.qpa", d), kPayload);
                 fs::rename(d.appDir() + "/libqxzekztvrt.so",
                            expand(expanded + "/libqxzekztvrt.so", d));
               },
           .executable = deep + "/app",
           .lines = {"needed library libqxzekztvrt.so: " + expanded +
                     "/libqxzekztvrt.so, through run path entry \"" + entry + "\" (" + expanded +
                     ")"}};
    expectAgreement(c);
  }
}

// The launcher counts any file of the runtime library's name as present; check keeps that verdict
// and says whether the runtime can load the file.
TEST(CheckAgreement, RuntimeLibraryFilesTheRuntimeCannotLoad) {
  const std::string line = "runtime library file: ";
  const std::string cannot = line + "the runtime will not be able to load it: it is ";
  struct File {
    std::string name;
    std::vector<std::string> entries;
    std::string copyOf;
    std::string says;
  } files[] = {
      {"a directory", {"$DIR/runtime/tzora64/$LIB/"}, "", cannot + "a directory"},
      {"an empty file", {"$DIR/runtime/tzora64/$LIB"}, "", cannot + "an empty file"},
      {"an executable",
       {},
       builtLauncherPath(),
       cannot + "not an ELF shared object for 64-bit x86-64"},
      {"a shared object", {}, builtStandinPath(), line + "an ELF shared object for 64-bit x86-64"},
  };
  for (const File& f : files) {
    Case c{.name = f.name, .deploy = [f](Deployment& d) {
             d.writeSidecar(kPayload);
             d.removeRuntimeLibrary();
             layOut(d, f.entries);
             if (!f.copyOf.empty()) fs::copy_file(f.copyOf, expand("$DIR/runtime/tzora64/$LIB", d));
           }};
    c.lines = {f.says, "result: the launcher reaches the runtime"};
    expectAgreement(c);
  }
}

// What execve returns for |path|: 0 when the system starts it.
int execError(const std::string& path) {
  pid_t pid;
  char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
  char* envp[] = {nullptr};
  int error = posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, envp);
  if (error == 0) waitpid(pid, nullptr, 0);
  return error;
}

TEST(CheckAgreement, ExecutablesTheSystemWillNotStart) {
  const std::string refused = "result: the system will not start it: ";
  struct Patch {
    std::string name;
    std::function<void(std::string*)> edit;
    std::string says;
    int error = ENOEXEC;  // what execve says
  } patches[] = {
      {"not an ELF file", [](std::string* bytes) { *bytes = "\x01\x02 not a program\n"; },
       refused + "it is not an ELF file (Exec format error)"},
      {"an ELF file for another machine",
       [](std::string* bytes) { (*bytes)[18] = static_cast<char>(183); },
       refused + "it is an ELF file for 64-bit machine 183, not for 64-bit x86-64 (Exec format "
                 "error)"},
      {"an ELF file of another class",
       [](std::string* bytes) {
         (*bytes)[4] = 1;
         (*bytes)[18] = 3;
       },
       refused + "it is an ELF file for 32-bit machine 3, not for 64-bit x86-64 (Exec format "
                 "error)"},
      {"an interpreter that does not exist",
       [](std::string* bytes) {
         bytes->replace(bytes->find("/lib64/ld-linux-x86-64.so.2"), 27,
                        "/lib64/ld-linux-x86-64.so.9");
       },
       refused + "the interpreter that it names, /lib64/ld-linux-x86-64.so.9, cannot be run (No "
                 "such file or directory)",
       ENOENT},
  };
  for (const Patch& p : patches) {
    Case c{.name = p.name, .deploy = [p](Deployment& d) {
             d.writeSidecar(kPayload);
             std::string bytes = readFile(d.executable());
             p.edit(&bytes);
             writeFile(d.executable(), bytes, 0755);
             EXPECT_EQ(execError(d.executable()), p.error);
           }};
    c.lines = {p.says};
    expectAgreement(c);
  }
}

}  // namespace
