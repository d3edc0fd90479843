// End-to-end runs of the launcher: a deployment on disk, the real binary as a process, and the
// stand-in runtime's trace of every call.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "archive/data_block_layout.h"
#include "archive/data_block_writer.h"
#include "tests/block_fixtures.h"
#include "tests/deployment.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

DataBlockFields messages(std::optional<std::string> start, std::optional<std::string> complete) {
  DataBlockFields f;
  f.startMessage = std::move(start);
  f.completeMessage = std::move(complete);
  return f;
}

// The verbose trace of a search that finds the library in the platform directory.
const char kSearchFound[] =
    "build library name=libqxzekztvrt.so.7.14.1\n"
    "1. search $DIR/runtime/tzora64/libqxzekztvrt.so.7.14.1\n"
    "Find libqxzekztvrt.so.7.14.1 in $DIR/runtime/tzora64\n";

const char kPayload[] = "out Hello\\n\nerr oops\nexit 3\n";

const char kSidecarTrace[] =
    "zekztvInitialize_proxy()\n"
    "getInitOptionsFromQpaFile_proxy(ptr, \"$EXE.qpa\")\n"
    "zekInitializeApplication_proxy([\"-qpa\", \"$EXE.qpa\"], 2)\n"
    "zekFreeStrArray_proxy(ptr, 2)\n"
    "zekRunMain_proxy(ptr, 2, [\"$EXE\", \"x y\"])\n"
    "zekInitializeComponentInstanceNonEmbeddedStandalone_proxy(ptr, \"$DIR\", \"comp\", 0, ptr, "
    "ptr)\n"
    "zekGetID_proxy(ptr)\n"
    "zekSetCmdLineUserData_proxy(1, 2, [\"$EXE\", \"x y\"])\n"
    "zekWrite_proxy(1, \"Done\", 4)\n"
    "zekWrite_proxy(1, \"\\n\", 1)\n"
    "zekMain_proxy(ptr, 2, [\"$EXE\", \"x y\"], \"mainp\", 42)\n"
    "zekWrite_proxy(1, \"Hello\\n\", 6)\n"
    "zekWrite_proxy(2, \"oops\", 4)\n"
    "zekWrite_proxy(2, \"\\n\", 1)\n"
    "zekTerminateInstance_proxy(ptr)\n"
    "zekTerminateApplication_proxy()\n";

TEST(LauncherRun, SidecarArchiveRunsTheApplicationQuietly) {
  Deployment d;
  DataBlockFields f = messages(" \tWelcome aboard\r\n", "Done");
  f.componentParam = "comp";
  f.mainParam = "mainp";
  f.mainIntParam = 42;
  d.writeSidecar(kPayload, f);
  LauncherRun r = d.run({"x y"});
  EXPECT_EQ(3, r.status);
  EXPECT_EQ(
      "Initializing Korvel Compiler Runtime version 7.14.1\nStarting Up:Welcome aboard\n"
      "Done\nHello\n",
      r.out);
  EXPECT_EQ("oops\n", r.err);
  EXPECT_EQ(expand(kSidecarTrace, d), r.trace);
}

TEST(LauncherRun, VerboseSidecarListsEveryStepInOrder) {
  Deployment d;
  d.writeSidecar("exit 0\n", messages("Hi", "Bye"));
  for (const char* value : {"QPAX_VERBOSE=", "QPAX_VERBOSE=0"}) {
    LauncherRun r = d.run({}, {value});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(expand("Status:Executable file full name=$EXE\n"
                     "Status:QPA is embedded=false\n"
                     "Status:QPA file name=$EXE.qpa\n",
                     d) +
                  defaultBlockListing("Hi", "Bye") + expand(kSearchFound, d) +
                  "Initializing Korvel Compiler Runtime version 7.14.1\nStarting Up:Hi\n"
                  "Status:zekInitializeApplication completed\nBye\n",
              r.out);
    EXPECT_EQ("", r.err);
  }
}

TEST(LauncherRun, EmbeddedArchiveIsReadThroughTheStreamAndListedTwice) {
  Deployment d;
  int64_t launcherSize = static_cast<int64_t>(fs::file_size(d.executable()));
  // A complete message that ends in a line feed still gets one of its own.
  d.embed("out embedded\\n\nexit 7\n", messages(std::nullopt, "Bye\n"));
  LauncherRun r = d.run({}, {"QPAX_VERBOSE=1"});
  EXPECT_EQ(7, r.status);
  EXPECT_EQ(expand("Status:Executable file full name=$EXE\n", d) +
                defaultBlockListing("", "Bye\n") + "Status:QPA is embedded=true\n" +
                expand("Status:QPA file name=$EXE\n", d) + defaultBlockListing("", "Bye\n") +
                expand(kSearchFound, d) +
                "Status:zekInitializeApplication completed\nBye\n\nembedded\n",
            r.out);
  EXPECT_EQ("", r.err);
  std::string n = std::to_string(launcherSize);
  EXPECT_EQ(expand("zekztvInitialize_proxy()\n"
                   "getInitOptionsFromQpaFile_proxy(ptr, \"$EXE\")\n"
                   "zekInitializeApplication_proxy([\"-qpa\", \"$EXE\"], 2)\n"
                   "zekFreeStrArray_proxy(ptr, 2)\n"
                   "zekRunMain_proxy(ptr, 1, [\"$EXE\"])\n"
                   "zekGetEmbeddedQpaStream_proxy(\"$EXE\", " +
                       n +
                       ")\n"
                       "zekInitializeComponentInstanceEmbedded_proxy(ptr, ptr, ptr, ptr, " +
                       n +
                       ")\n"
                       "zekDestroyStream_proxy(ptr)\n"
                       "zekGetID_proxy(ptr)\n"
                       "zekSetCmdLineUserData_proxy(1, 1, [\"$EXE\"])\n"
                       "zekWrite_proxy(1, \"Bye\\n\", 4)\n"
                       "zekWrite_proxy(1, \"\\n\", 1)\n"
                       "zekMain_proxy(ptr, 1, [\"$EXE\"], \"\", 0)\n"
                       "zekWrite_proxy(1, \"embedded\\n\", 9)\n"
                       "zekTerminateInstance_proxy(ptr)\n"
                       "zekTerminateApplication_proxy()\n",
                   d),
            r.trace);
}

TEST(LauncherRun, StartMessageShowsUpToItsFirstNulTrimmed) {
  struct Case {
    std::optional<std::string> start;
    std::string out;
  } cases[] = {
      {std::nullopt, ""},
      {"", ""},
      {"\0Hidden"s, ""},
      {" \t\r\n\v\f", "Initializing Korvel Compiler Runtime version 7.14.1\n"},
      {"  Go\0 ignored"s, "Initializing Korvel Compiler Runtime version 7.14.1\nStarting Up:Go\n"},
      {"Two\nlines ",
       "Initializing Korvel Compiler Runtime version 7.14.1\nStarting Up:Two\nlines\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.out);
    Deployment d;
    d.writeSidecar("", messages(c.start, std::nullopt));
    LauncherRun r = d.run();
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(c.out, r.out);
  }
}

TEST(LauncherRun, StartUpFailuresEndWithTheirLinesAndStatus255) {
  auto version = [](std::string major, std::string minor) {
    DataBlockFields f;
    f.majorVersion = major;
    f.minorVersion = minor;
    return f;
  };
  DataBlockFields otherTag;
  otherTag.versionTag = "V1DRN4000HBS1000ZTV1001";
  const std::string invalid =
      "Error:Your application is not a valid Korvel compiled application.\n";
  struct Case {
    const char* name;
    std::optional<DataBlockFields> sidecar;  // none: no sidecar archive at all
    std::vector<std::string> env;
    std::string err;
    std::string trace;
  } cases[] = {
      {"no archive",
       std::nullopt,
       {},
       "Error:Cannot find QPA archive $EXE.qpa\nError:Error initializing QPA Archive.\n",
       ""},
      {"major 8", version("8", "14"), {}, invalid, ""},
      {"minor 15", version("7", "15"), {}, invalid, ""},
      {"major 70", version("70", "14"), {}, invalid, ""},
      {"minor 1", version("7", "1"), {}, invalid, ""},
      {"other tag", otherTag, {}, invalid, ""},
      {"runtime start-up layer",
       DataBlockFields{},
       {"STANDIN_FAIL=zekztvInitialize_proxy"},
       "Error:zekztv initialization failed\n",
       "zekztvInitialize_proxy()\n"},
      {"application initialization",
       DataBlockFields{},
       {"STANDIN_FAIL=zekInitializeApplication_proxy", "STANDIN_ERROR=no licence"},
       "Error:Application initialization failed.\nError:no licence\n",
       "zekztvInitialize_proxy()\n"
       "getInitOptionsFromQpaFile_proxy(ptr, \"$EXE.qpa\")\n"
       "zekInitializeApplication_proxy([\"-qpa\", \"$EXE.qpa\"], 2)\n"
       "zekFreeStrArray_proxy(ptr, 2)\n"
       "zekGetLastErrorMessage_proxy()\n"},
      {"application initialization, no error text",
       DataBlockFields{},
       {"STANDIN_FAIL=zekInitializeApplication_proxy", "STANDIN_NULL_ERROR=1"},
       "Error:Application initialization failed.\nError:The runtime gave no error text.\n",
       "zekztvInitialize_proxy()\n"
       "getInitOptionsFromQpaFile_proxy(ptr, \"$EXE.qpa\")\n"
       "zekInitializeApplication_proxy([\"-qpa\", \"$EXE.qpa\"], 2)\n"
       "zekFreeStrArray_proxy(ptr, 2)\n"
       "zekGetLastErrorMessage_proxy()\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Deployment d;
    if (c.sidecar) d.writeSidecar("out never\n", *c.sidecar);
    for (const std::vector<std::string>& extra : {std::vector<std::string>{}, {"QPAX_VERBOSE="}}) {
      std::vector<std::string> env = c.env;
      env.insert(env.end(), extra.begin(), extra.end());
      LauncherRun r = d.run({}, env);
      EXPECT_EQ(255, r.status);
      EXPECT_EQ(expand(c.err, d), r.err);
      EXPECT_EQ(expand(c.trace, d), r.trace);
      if (extra.empty()) {
        EXPECT_EQ("", r.out);
      }
    }
  }
}

TEST(LauncherRun, ABlockThatCannotBeReadIsNotAnApplication) {
  Deployment d;
  for (std::string bytes : {""s, "short"s, std::string(9000, '\0')}) {
    writeFile(d.sidecarPath(), bytes);
    LauncherRun r = d.run({}, {"QPAX_VERBOSE="});
    EXPECT_EQ(255, r.status);
    EXPECT_EQ("Error:Your application is not a valid Korvel compiled application.\n", r.err);
    EXPECT_EQ(expand("Status:Executable file full name=$EXE\nStatus:QPA is embedded=false\n"
                     "Status:QPA file name=$EXE.qpa\n",
                     d),
              r.out);
  }
}

TEST(LauncherRun, AnExecutableWhoseTrailerLiesCountsAsNotEmbedded) {
  Deployment d;
  // 8192 in the last four bytes, but over garbage / over a block with another tag.
  DataBlockFields otherTag;
  otherTag.versionTag = "V1DRN4000HBS1000ZTV1001";
  std::string block, err;
  ASSERT_TRUE(buildDataBlock(otherTag, &block, &err));
  d.appendToExecutable(block);
  d.writeSidecar("out sidecar\\n\n");
  LauncherRun r = d.run();
  EXPECT_EQ(0, r.status);
  EXPECT_EQ("sidecar\n", r.out);
}

// However the launcher is started, it reads the archive that belongs to the file it runs from.
TEST(LauncherStart, FindsItsOwnExecutableHoweverItIsStarted) {
  Deployment d;
  d.writeSidecar("out real\\n\n");
  // A decoy of the same name, an executable with an archive of its own, in the working directory.
  std::string decoyDir = d.root() + "/decoy";
  fs::create_directory(decoyDir);
  std::string decoy = decoyDir + "/app";
  fs::copy_file(builtLauncherPath(), decoy);
  std::string block, err;
  DataBlockFields f;
  f.embeddedArchiveParam = static_cast<int64_t>(fs::file_size(decoy));
  ASSERT_TRUE(buildDataBlock(f, &block, &err));
  {
    std::ofstream out(decoy, std::ios::binary | std::ios::app);
    out << "out decoy\\n\n" << block;
  }
  const std::string loader = "/lib64/ld-linux-x86-64.so.2";
  struct Case {
    const char* name;
    std::string program;
    std::vector<std::string> argv;
    std::string cwd;
  } cases[] = {
      {"through PATH beside a decoy", d.executable(), {"app"}, decoyDir},
      {"relative name", d.executable(), {"./app"}, d.appDir()},
      {"argv[0] naming another file", d.executable(), {decoy}, d.root()},
      {"argv[0] naming nothing", d.executable(), {"no-such-file"}, d.root()},
      {"through the dynamic loader", loader, {loader, "./app"}, d.appDir()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ProcessLaunch launch;
    launch.program = c.program;
    launch.argv = c.argv;
    launch.cwd = c.cwd;
    launch.env = d.baseEnvironment();
    launch.env.push_back("QPAX_VERBOSE=");
    LauncherRun r = d.runWith(launch);
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(0u, r.out.find(expand("Status:Executable file full name=$EXE\n", d)));
    EXPECT_NE(std::string::npos, r.out.find("\nreal\n")) << r.out;
    EXPECT_EQ("", r.err);
  }
}

// The stand-in names the file behind the launcher's code by the absolute name that the kernel ran
// it by, links as written; by its own executable link when that name is relative; and from the
// maps when the dynamic loader ran the launcher, where both would name the loader. Every way, the
// stream is the launcher's file.
TEST(LauncherStart, AnAppendedArchiveIsFoundHoweverTheLauncherWasRun) {
  Deployment d;
  std::string n = std::to_string(fs::file_size(d.executable()));
  d.embed("out embedded\\n\n");
  const std::string loader = "/lib64/ld-linux-x86-64.so.2";
  const std::string link = d.appDir() + "/link";
  fs::create_symlink(d.executable(), link);
  struct Case {
    std::string program;
    std::vector<std::string> argv;
    std::string streamPath;
  } cases[] = {
      {d.executable(), {"./app"}, d.executable()},
      {link, {link}, link},
      {"./app", {"./app"}, d.executable()},
      {loader, {loader, "./app"}, d.executable()},
      // argv[0] naming no file: the launcher takes the file mapped as its code.
      {loader, {loader, "--argv0", "elsewhere", "./app"}, d.executable()},
      // Run from a descriptor, the program is named /dev/fd/3 by the kernel.
      {"/bin/sh", {"sh", "-c", "exec 3<./app && exec /dev/fd/3"}, d.executable()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program);
    ProcessLaunch launch;
    launch.program = c.program;
    launch.argv = c.argv;
    launch.cwd = d.appDir();
    launch.env = d.baseEnvironment();
    LauncherRun r = d.runWith(launch);
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("embedded\n", r.out);
    EXPECT_EQ("", r.err);
    EXPECT_NE(std::string::npos,
              r.trace.find("\nzekGetEmbeddedQpaStream_proxy(\"" + c.streamPath + "\", " + n +
                           ")\nzekInitializeComponentInstanceEmbedded_proxy(ptr, ptr, ptr, ptr, " +
                           n + ")\n"))
        << r.trace;
  }
}

TEST(LauncherStart, ASymbolicLinkStartUsesTheLinksPathAndItsSidecar) {
  Deployment d;
  std::string link = d.root() + "/link";
  fs::create_symlink(d.executable(), link);
  Deployment::writeArchive(link + ".qpa", "out via link\\n\n");
  fs::create_directories(d.root() + "/runtime/tzora64");
  writeFile(d.root() + "/runtime/tzora64/" + kRuntimeLibraryName, "");
  // Run by the name in argv[0], and by another name, so that argv[0] is taken only once the file
  // mapped as the program is found to be the one it names.
  for (const std::string& program : {link, "./link"s}) {
    SCOPED_TRACE(program);
    ProcessLaunch launch;
    launch.program = program;
    launch.argv = {link};
    launch.cwd = d.root();
    launch.env = d.baseEnvironment();
    launch.env.push_back("QPAX_VERBOSE=");
    LauncherRun r = d.runWith(launch);
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(0u, r.out.find("Status:Executable file full name=" + link +
                             "\n"
                             "Status:QPA is embedded=false\n"
                             "Status:QPA file name=" +
                             link + ".qpa\n"));
    EXPECT_NE(std::string::npos, r.out.find("\nvia link\n")) << r.out;
  }
}

TEST(LauncherStart, TheCommandLineReachesTheApplication) {
  Deployment d;
  d.writeSidecar("args\nparams\n", [] {
    DataBlockFields f;
    f.componentParam = "c\0hidden"s;
    f.mainParam = "m";
    f.mainIntParam = -5;
    return f;
  }());
  LauncherRun r = d.run({"one", "", "three"});
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(expand("argc=4\nargv[0]=$EXE\nargv[1]=one\nargv[2]=\nargv[3]=three\n"
                   "mainParam=m\nmainIntParam=-5\ncomponentParam=c\napplicationDirectory=$DIR\n",
                   d),
            r.out);
  // The count that the runtime returns, not argc, reaches the application's main function.
  r = d.run({"one", "", "three"}, {"STANDIN_CMDLINE_COUNT=2"});
  EXPECT_EQ(expand("argc=2\nargv[0]=$EXE\nargv[1]=one\n", d), r.out.substr(0, r.out.find("main")));
}

}  // namespace
