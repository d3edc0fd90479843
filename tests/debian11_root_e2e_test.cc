// The launcher under test started inside the Debian 11 root that tools/build-portable.sh made,
// with the stand-in built in that root: the oldest C library the launcher is built for runs it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "tests/deployment.h"

namespace {

namespace fs = std::filesystem;

const std::string kRoot = KORVEL_PORTABLE_DIR "/root";
const std::string kRootStandin = KORVEL_PORTABLE_DIR "/bin/libqxzekztvrt.so";

const char kPayload[] = "out Hello\\n\nerr oops\\n\nexit 3\n";

// The text that expand() gives for the deployment, with its paths as seen from inside the root.
std::string insideRoot(const std::string& text, const Deployment& d) {
  std::string expanded = expand(text, d);
  for (size_t at; (at = expanded.find(kRoot)) != std::string::npos;)
    expanded.erase(at, kRoot.size());
  return expanded;
}

TEST(Debian11Root, TheLauncherRunsItsApplicationThere) {
  ASSERT_EQ(0u, geteuid()) << "entering the root needs root";
  ASSERT_EQ("11.", readFile(kRoot + "/etc/debian_version").substr(0, 3))
      << "no Debian 11 root in " << kRoot << ": run tools/build-portable.sh";
  ASSERT_TRUE(fs::exists(kRootStandin)) << kRootStandin;

  const std::string out =
      "Initializing Korvel Compiler Runtime version 7.14.1\nStarting Up:Welcome\nDone\nHello\n";
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
      "zekWrite_proxy(1, \"Done\", 4)\n"
      "zekWrite_proxy(1, \"\\n\", 1)\n"
      "zekMain_proxy(ptr, 2, [\"$EXE\", \"x y\"], \"\", 0)\n"
      "zekWrite_proxy(1, \"Hello\\n\", 6)\n"
      "zekWrite_proxy(2, \"oops\\n\", 5)\n"
      "zekTerminateInstance_proxy(ptr)\n"
      "zekTerminateApplication_proxy()\n";

  for (bool appended : {false, true}) {
    SCOPED_TRACE(appended ? "appended archive" : "sidecar archive");
    Deployment d("app", kRoot + "/tmp");
    fs::copy_file(kRootStandin, d.appDir() + "/libqxzekztvrt.so",
                  fs::copy_options::overwrite_existing);
    std::string offset = std::to_string(fs::file_size(d.executable()));
    DataBlockFields fields;
    fields.startMessage = "Welcome";
    fields.completeMessage = "Done";
    if (appended) {
      d.embed(kPayload, fields);
    } else {
      d.writeSidecar(kPayload, fields);
    }
    std::string exe = d.executable().substr(kRoot.size());
    // A mount namespace of its own gives the root a /proc that ends with the run.
    ProcessSpec spec;
    spec.program = "/usr/bin/unshare";
    spec.argv = {"unshare", "--mount-proc=/proc", "--root=" + kRoot, exe, "x y"};
    spec.env = {"PATH=/usr/bin:/bin", "STANDIN_TRACE=" + d.tracePath().substr(kRoot.size())};
    LauncherRun r = d.runWith(spec);

    EXPECT_EQ(3, r.status);
    EXPECT_EQ(out, r.out);
    EXPECT_EQ("oops\n", r.err);
    std::string calls =
        "zekztvInitialize_proxy()\n" + (appended ? appendedCalls : sidecarCalls) + runCalls;
    for (size_t at; (at = calls.find("OFFSET")) != std::string::npos;) calls.replace(at, 6, offset);
    EXPECT_EQ(insideRoot(calls, d), r.trace);
  }
}

}  // namespace
