// The launcher under valgrind's memcheck: no invalid read or write, no use of uninitialised
// values and nothing definitely lost, on its main paths and its failures. The data block that
// start-up keeps to the end of the process is still reachable by design.
#include <gtest/gtest.h>

#include <fstream>

#include "archive/data_block_writer.h"
#include "tests/deployment.h"

namespace {

DataBlockFields withMessages() {
  DataBlockFields f;
  f.startMessage = "Welcome";
  f.completeMessage = "Done";
  f.list = "a,b";
  return f;
}

TEST(Memcheck, MainPathsAndFailuresAreClean) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "memcheck does not run sanitized binaries";
#endif
  if (!std::ifstream("/usr/bin/valgrind")) GTEST_SKIP() << "valgrind is not installed";
  struct Case {
    const char* name;
    bool embedded;
    bool sidecar;
    std::vector<std::string> env;
    int status;
    bool runtimeLibrary = true;
  } cases[] = {
      {"sidecar, verbose", false, true, {"QPAX_VERBOSE="}, 3},
      {"embedded, verbose", true, false, {"QPAX_VERBOSE="}, 3},
      {"no archive", false, false, {}, 255},
      {"runtime library missing",
       false,
       true,
       {"LD_LIBRARY_PATH=/nonexistent::", "QPAX_VERBOSE="},
       255,
       false},
      {"application initialization fails",
       false,
       true,
       {"STANDIN_FAIL=zekInitializeApplication_proxy"},
       255},
      {"instance fails",
       false,
       true,
       {"STANDIN_FAIL=zekInitializeComponentInstanceNonEmbeddedStandalone_proxy"},
       255},
      {"command line refused", false, true, {"STANDIN_CMDLINE_COUNT=-1"}, 255},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Deployment d;
    const char payload[] = "out hello\\n\nerr oops\nargs\nexit 3\n";
    if (c.embedded) d.embed(payload, withMessages());
    if (c.sidecar) d.writeSidecar(payload, withMessages());
    if (!c.runtimeLibrary) d.removeRuntimeLibrary();
    std::string log = d.root() + "/memcheck.log";
    ProcessLaunch launch;
    launch.program = "/usr/bin/valgrind";
    launch.argv = {"valgrind",
                   "--quiet",
                   "--error-exitcode=99",
                   "--leak-check=full",
                   "--errors-for-leak-kinds=definite",
                   "--log-file=" + log,
                   d.executable(),
                   "arg"};
    launch.env = d.baseEnvironment();
    launch.env.insert(launch.env.end(), c.env.begin(), c.env.end());
    launch.timeoutSeconds = 120;
    LauncherRun r = d.runWith(launch);
    EXPECT_EQ(c.status, r.status) << r.err;
    EXPECT_EQ("", readFile(log));
  }
}

}  // namespace
