// The run callback when the runtime fails at each of its steps: the lines, the status, and from
// the trace which calls were made and which were not.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>

#include "archive/data_block_writer.h"
#include "tests/deployment.h"

namespace {

namespace fs = std::filesystem;

// The names of the calls in a trace, one per line, in order.
std::vector<std::string> calls(const std::string& trace) {
  std::vector<std::string> names;
  std::istringstream lines(trace);
  for (std::string line; std::getline(lines, line);)
    names.push_back(line.substr(0, line.find('(')));
  return names;
}

DataBlockFields withCompleteMessage() {
  DataBlockFields f;
  f.completeMessage = "Done";
  return f;
}

const std::vector<std::string> kStartUp = {
    "zekztvInitialize_proxy", "getInitOptionsFromQpaFile_proxy", "zekInitializeApplication_proxy",
    "zekFreeStrArray_proxy", "zekRunMain_proxy"};

std::vector<std::string> concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(RuntimeFaults, EachFailureHasItsLinesStatusAndCalls) {
  const std::string standalone = "zekInitializeComponentInstanceNonEmbeddedStandalone_proxy";
  const std::vector<std::string> run = {"zekGetID_proxy", "zekSetCmdLineUserData_proxy",
                                        "zekWrite_proxy", "zekWrite_proxy",
                                        "zekMain_proxy",  "zekWrite_proxy"};
  struct Case {
    const char* name;
    bool embedded;
    std::vector<std::string> env;
    int status;
    std::string out, err;
    std::vector<std::string> calls;  // after the start-up calls
  } cases[] = {
      {"standalone instance fails",
       false,
       {"STANDIN_FAIL=" + standalone, "STANDIN_ERROR=no component"},
       255,
       "",
       "Error:Initialize component instance failed.\nError:no component\n",
       {standalone, "zekGetLastErrorMessage_proxy"}},
      {"embedded instance fails",
       true,
       {"STANDIN_FAIL=zekInitializeComponentInstanceEmbedded_proxy", "STANDIN_ERROR=bad stream"},
       255,
       "",
       "Error:Initialize component instance failed.\nError:bad stream\n",
       {"zekGetEmbeddedQpaStream_proxy", "zekInitializeComponentInstanceEmbedded_proxy",
        "zekDestroyStream_proxy", "zekGetLastErrorMessage_proxy"}},
      {"instance fails without an error text",
       false,
       {"STANDIN_FAIL=" + standalone, "STANDIN_NULL_ERROR="},
       255,
       "",
       "Error:Initialize component instance failed.\nError:The runtime gave no error text.\n",
       {standalone, "zekGetLastErrorMessage_proxy"}},
      {"command line refused",
       false,
       {"STANDIN_CMDLINE_COUNT=-1", "STANDIN_ERROR=bad command line"},
       255,
       "",
       "Error:bad command line\n",
       {standalone, "zekGetID_proxy", "zekSetCmdLineUserData_proxy", "zekGetLastErrorMessage_proxy",
        "zekTerminateInstance_proxy", "zekTerminateApplication_proxy"}},
      {"instance termination fails",
       false,
       {"STANDIN_FAIL=zekTerminateInstance_proxy", "STANDIN_ERROR=cannot stop"},
       9,
       "Done\nran\n",
       "Error:cannot stop\n",
       concat(concat({standalone}, run),
              {"zekTerminateInstance_proxy", "zekGetLastErrorMessage_proxy",
               "zekTerminateApplication_proxy"})},
      {"both terminations fail",
       false,
       {"STANDIN_FAIL=zekTerminateInstance_proxy,zekTerminateApplication_proxy",
        "STANDIN_ERROR=cannot stop"},
       9,
       "Done\nran\n",
       "Error:cannot stop\nError:cannot stop\n",
       concat(concat({standalone}, run),
              {"zekTerminateInstance_proxy", "zekGetLastErrorMessage_proxy",
               "zekTerminateApplication_proxy", "zekGetLastErrorMessage_proxy"})},
      {"null instance after main",
       false,
       {"STANDIN_NULL_INSTANCE=1"},
       9,
       "Done\nran\n",
       "",
       concat(concat({standalone}, run), {"zekTerminateApplication_proxy"})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Deployment d;
    if (c.embedded) {
      d.embed("out ran\\n\nexit 9\n", withCompleteMessage());
    } else {
      d.writeSidecar("out ran\\n\nexit 9\n", withCompleteMessage());
    }
    LauncherRun r = d.run({}, c.env);
    EXPECT_EQ(c.status, r.status);
    EXPECT_EQ(c.out, r.out);
    EXPECT_EQ(c.err, r.err);
    EXPECT_EQ(concat(kStartUp, c.calls), calls(r.trace));
  }
}

// Every count but -1 goes on to the application's main function, which receives it unchanged.
TEST(RuntimeFaults, AnyCountButMinusOneReachesMain) {
  Deployment d;
  d.writeSidecar("exit 4\n");
  for (int count : {0, -2, 1, 3}) {
    LauncherRun r = d.run({"a", "b"}, {"STANDIN_CMDLINE_COUNT=" + std::to_string(count)});
    EXPECT_EQ(4, r.status);
    EXPECT_EQ("", r.err);
    std::string mainCall = r.trace.substr(r.trace.find("zekMain_proxy("));
    EXPECT_EQ(0u, mainCall.find("zekMain_proxy(ptr, " + std::to_string(count) + ", "));
  }
}

}  // namespace
