// The launcher under test runs the sample application inside the Debian 11 root that
// tools/build-portable.sh made, with the stand-in built in that root, deployed as a user would.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "tests/deployment.h"

namespace {

namespace fs = std::filesystem;

const std::string kRoot = KORVEL_PORTABLE_DIR "/root";
const std::string kRootStandin = KORVEL_PORTABLE_DIR "/bin/libqxzekztvrt.so";

// Runs a host program with |argv| and fails the test unless it succeeds.
void runOnHost(const std::vector<std::string>& argv) {
  ProcessLaunch launch;
  launch.program = argv[0];
  launch.argv = argv;
  launch.env = {"PATH=/usr/bin:/bin"};
  ProcessOutcome result;
  std::string err;
  ASSERT_TRUE(runProcess(launch, &result, &err)) << err;
  ASSERT_EQ(0, result.status) << argv[0] << ": " << result.err;
}

// The text that expand() gives for the deployment, with its paths as seen from inside the root.
std::string insideRoot(const std::string& text, const Deployment& d) {
  std::string expanded = expand(text, d);
  for (size_t at; (at = expanded.find(kRoot)) != std::string::npos;)
    expanded.erase(at, kRoot.size());
  return expanded;
}

TEST(Debian11Root, TheLauncherRunsTheSampleThere) {
  ASSERT_EQ(0u, geteuid()) << "entering the root needs root";
  ASSERT_EQ("11.", readFile(kRoot + "/etc/debian_version").substr(0, 3))
      << "no Debian 11 root in " << kRoot << ": run tools/build-portable.sh";

  const std::string out =
      "Initializing Korvel Compiler Runtime version 7.14.1\n"
      "Starting Up:Starting the Korvel hello sample\n"
      "The Korvel hello sample is ready\n"
      "Hello from Korvel!\nArguments:\nargc=2\nargv[0]=$EXE\nargv[1]=x y\n";
  const std::string sidecarCalls =
      "getInitOptionsFromQpaFile_proxy(ptr, \"$EXE.qpa\")\n"
      "zekInitializeApplication_proxy([\"-qpa\", \"$EXE.qpa\"], 2)\n"
      "zekFreeStrArray_proxy(ptr, 2)\n"
      "zekRunMain_proxy(ptr, 2, [\"$EXE\", \"x y\"])\n"
      "zekInitializeComponentInstanceNonEmbeddedStandalone_proxy(ptr, \"$DIR\", \"\", 0, ptr, "
      "ptr)\n";
  const std::string appendedCalls =
      "getInitOptionsFromQpaFile_proxy(ptr, \"$EXE\")\n"
      "zekInitializeApplication_proxy([\"-qpa\", \"$EXE\"], 2)\n"
      "zekFreeStrArray_proxy(ptr, 2)\n"
      "zekRunMain_proxy(ptr, 2, [\"$EXE\", \"x y\"])\n"
      "zekGetEmbeddedQpaStream_proxy(\"$EXE\", OFFSET)\n"
      "zekInitializeComponentInstanceEmbedded_proxy(ptr, ptr, ptr, ptr, OFFSET)\n"
      "zekDestroyStream_proxy(ptr)\n";
  const std::string runCalls =
      "zekGetID_proxy(ptr)\n"
      "zekSetCmdLineUserData_proxy(1, 2, [\"$EXE\", \"x y\"])\n"
      "zekWrite_proxy(1, \"The Korvel hello sample is ready\", 32)\n"
      "zekWrite_proxy(1, \"\\n\", 1)\n"
      "zekMain_proxy(ptr, 2, [\"$EXE\", \"x y\"], \"\", 0)\n"
      "zekWrite_proxy(1, \"Hello from Korvel!\\n\", 19)\n"
      "zekWrite_proxy(1, \"Arguments:\\n\", 11)\n"
      "zekWrite_proxy(1, \"argc=2\\n\", 7)\n"
      "zekWrite_proxy(1, \"argv[0]=$EXE\\n\", ARGV0)\n"
      "zekWrite_proxy(1, \"argv[1]=x y\\n\", 12)\n"
      "zekWrite_proxy(2, \"This line goes through the error handler.\\n\", 42)\n"
      "zekTerminateInstance_proxy(ptr)\n"
      "zekTerminateApplication_proxy()\n";

  for (bool appended : {false, true}) {
    SCOPED_TRACE(appended ? "appended archive" : "sidecar archive");
    Deployment d("hello", kRoot + "/tmp");
    fs::copy_file(kRootStandin, d.appDir() + "/libqxzekztvrt.so",
                  fs::copy_options::overwrite_existing);
    // Packed and embedded as examples/run_hello.sh does, with the qpa tool.
    std::string archive = appended ? d.root() + "/hello.qpa" : d.sidecarPath();
    runOnHost({KORVEL_HELLO_DIR "/pack.sh", KORVEL_QPA_PATH, archive});
    if (appended) {
      runOnHost({KORVEL_QPA_PATH, "embed", builtLauncherPath(), archive, "-o", d.executable()});
    }
    std::string exe = d.executable().substr(kRoot.size());
    // A mount namespace of its own gives the root a /proc that ends with the run.
    ProcessLaunch launch;
    launch.program = "/usr/bin/unshare";
    launch.argv = {"unshare", "--mount-proc=/proc", "--root=" + kRoot, exe, "x y"};
    launch.env = {"PATH=/usr/bin:/bin", "STANDIN_TRACE=" + d.tracePath().substr(kRoot.size())};
    LauncherRun r = d.runWith(launch);

    EXPECT_EQ(0, r.status);
    EXPECT_EQ(insideRoot(out, d), r.out);
    EXPECT_EQ("This line goes through the error handler.\n", r.err);
    std::string calls =
        "zekztvInitialize_proxy()\n" + (appended ? appendedCalls : sidecarCalls) + runCalls;
    std::string launcherSize = std::to_string(fs::file_size(builtLauncherPath()));
    std::string argv0Line = std::to_string(std::string("argv[0]=\n").size() + exe.size());
    for (auto [key, value] : {std::pair{"OFFSET", launcherSize}, {"ARGV0", argv0Line}}) {
      for (size_t at; (at = calls.find(key)) != std::string::npos;)
        calls.replace(at, std::string(key).size(), value);
    }
    EXPECT_EQ(insideRoot(calls, d), r.trace);
  }
}

}  // namespace
