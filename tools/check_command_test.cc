#include "tools/check_command.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>

#include "tests/deployment.h"
#include "tools/qpa_test_support.h"

namespace {

namespace fs = std::filesystem;

// A deployment for check: ROOT/app/tool (a copy of the launcher) with the stand-in proxy library
// beside it, a copy of the stand-in as its runtime library in ROOT/app/runtime/tzora64, and the
// archive a case gives it. check never runs it.
// Its members are public so that the cases' deploy functions can reach them.
class CheckTest : public testing::Test {
 public:
  void SetUp() override {
    fs::create_directories(app_ + "/runtime/tzora64");
    fs::copy_file(LAUNCHER_PATH, launcher_);
    fs::copy_file(launcher_, exe_);
    fs::copy_file(STANDIN_PATH, app_ + "/libqxzekztvrt.so");
    writeFile(payload_, "out Hello\\n\n");
  }

  void pack(const std::string& out, std::vector<std::string> options) {
    std::vector<std::string> args = {"pack", payload_, "-o", out};
    args.insert(args.end(), options.begin(), options.end());
    ProcessOutcome run = runQpa(args);
    ASSERT_EQ(run.status, 0) << run.err;
  }

  // Replaces $APP, $ROOT and $LIB in |text|.
  std::string expand(std::string text) const {
    for (auto [key, value] : {std::pair<std::string, std::string>{"$APP", app_},
                              {"$ROOT", dir_.path()},
                              {"$LIB", kRuntimeLibraryName}}) {
      for (size_t at; (at = text.find(key)) != std::string::npos;)
        text.replace(at, key.size(), value);
    }
    return text;
  }

  ScratchDirectory dir_;
  std::string app_ = dir_.file("app");
  std::string exe_ = app_ + "/tool";
  std::string launcher_ = dir_.file("launcher");
  std::string library_ = app_ + "/runtime/tzora64/" + kRuntimeLibraryName;
  std::string payload_ = dir_.file("app.payload");
};

// The lines of |out| from the launcher's first step on, and the line that the loader's step
// gives for the proxy library.
std::string launcherPart(const std::string& out) {
  size_t at = out.find("application directory: ");
  return at == std::string::npos ? out : out.substr(0, out.find('\n') + 1) + out.substr(at);
}

const char kHead[] =
    "executable: $APP/tool\n"
    "application directory: $APP\n";
const char kSidecar[] =
    "archive: sidecar $APP/tool.qpa, present\n"
    "data block: accepted\n"
    "runtime version: major \"7\", minor \"14\", accepted\n";
const char kFoundInPlatform[] =
    "runtime library: $LIB\n"
    "searched $APP/runtime/tzora64/$LIB (platform directory): present\n"
    "runtime library found in: $APP/runtime/tzora64\n"
    "runtime library file: an ELF shared object for 64-bit x86-64\n";
const char kReaches[] = "result: the launcher reaches the runtime\n";
const char kStops[] = "result: start-up stops here, with exit status 255\n";
const char kInvalid[] = "Error:Your application is not a valid Korvel compiled application.\n";

TEST_F(CheckTest, ShowsEachStepAndTheLaunchersErrorLines) {
  struct Case {
    const char* name;
    std::function<void(CheckTest*)> deploy;
    std::vector<std::string> env;
    int status;
    std::string out, err;
  } cases[] = {
      {"sidecar with a start message",
       [](CheckTest* t) {
         t->pack(t->exe_ + ".qpa", {"--start-message", " \\tWelcome\\n"});
       },
       {},
       0,
       std::string(kHead) + kSidecar + kFoundInPlatform + "start message: \"Welcome\"\n" + kReaches,
       ""},
      {"appended archive without a start message",
       [](CheckTest* t) {
         t->pack(t->dir_.file("app.qpa"), {});
         ProcessOutcome run =
             runQpa({"embed", t->launcher_, t->dir_.file("app.qpa"), "-o", t->exe_, "--replace"});
         ASSERT_EQ(run.status, 0) << run.err;
       },
       {},
       0,
       std::string(kHead) +
           "archive: appended to the executable\n"
           "data block: accepted\n"
           "runtime version: major \"7\", minor \"14\", accepted\n" +
           kFoundInPlatform + "start message: none\n" + kReaches,
       ""},
      {"blank start message",
       [](CheckTest* t) {
         t->pack(t->exe_ + ".qpa", {"--start-message", " \\t"});
       },
       {},
       0,
       std::string(kHead) + kSidecar + kFoundInPlatform +
           "start message: blank, so only the Initializing line is shown\n" + kReaches,
       ""},
      {"runtime library in the library path, entries shown as written",
       [](CheckTest* t) {
         t->pack(t->exe_ + ".qpa", {});
         fs::remove(t->library_);
         fs::create_directory(t->dir_.file("b"));
         writeFile(t->dir_.file("b/") + kRuntimeLibraryName, "");
       },
       {"LD_LIBRARY_PATH=$ROOT/a: $ROOT/b/ :$ROOT/c"},
       0,
       std::string(kHead) + kSidecar +
           "runtime library: $LIB\n"
           "searched $APP/runtime/tzora64/$LIB (platform directory): absent\n"
           "searched $ROOT/a/$LIB (LD_LIBRARY_PATH entry \"$ROOT/a\"): absent\n"
           "searched $ROOT/b/$LIB (LD_LIBRARY_PATH entry \" $ROOT/b/ \"): present\n"
           "runtime library found in:  $ROOT/b/ \n"
           "runtime library file: the runtime will not be able to load it: it is an empty file\n"
           "start message: none\n" +
           kReaches,
       ""},
      {"no archive",
       [](CheckTest*) {},
       {},
       2,
       std::string(kHead) +
           "archive: sidecar $APP/tool.qpa, missing; nothing is appended to the executable "
           "either (strip and objcopy remove what is appended to an executable)\n" +
           kStops,
       "Error:Cannot find QPA archive $APP/tool.qpa\nError:Error initializing QPA Archive.\n"},
      {"another version",
       [](CheckTest* t) {
         t->pack(t->exe_ + ".qpa", {"--major", "8"});
       },
       {},
       2,
       std::string(kHead) +
           "archive: sidecar $APP/tool.qpa, present\n"
           "data block: accepted\n"
           "runtime version: major \"8\", minor \"14\", refused: the launcher accepts 7.14 only\n" +
           kStops,
       kInvalid},
      {"a block the reader does not accept",
       [](CheckTest* t) {
         t->pack(t->exe_ + ".qpa", {"--tag", "OTHER\\x01"});
       },
       {},
       2,
       std::string(kHead) +
           "archive: sidecar $APP/tool.qpa, present\n"
           "data block: not accepted: the version tag is \"OTHER\\x01\", not "
           "\"V1DRN4000HBS1000ZTV1000\"\n"
           "runtime version: major \"\", minor \"\", refused: the launcher accepts 7.14 only\n" +
           kStops,
       kInvalid},
      {"not executable",
       [](CheckTest* t) {
         t->pack(t->exe_ + ".qpa", {});
         fs::permissions(t->exe_, fs::perms(0644));
       },
       {},
       2,
       "executable: $APP/tool\nresult: the system will not start it: Permission denied\n",
       ""},
      {"runtime library missing",
       [](CheckTest* t) {
         t->pack(t->exe_ + ".qpa", {"--updater", "0"});
         fs::remove(t->library_);
       },
       {"LD_LIBRARY_PATH="},
       2,
       std::string(kHead) + kSidecar +
           "runtime library: libqxzekztvrt.so.7.14\n"
           "searched $APP/runtime/tzora64/libqxzekztvrt.so.7.14 (platform directory): absent\n"
           "runtime library found: nowhere\n" +
           kStops,
       "Error:Could not find version 7.14.1 of the ZTV.\n"
       "Attempting to load libqxzekztvrt.so.7.14.\n"
       "Please install the correct version of the ZTV.\n"
       "Contact your vendor if you do not have an installer for the ZTV.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(exe_ + ".qpa");
    fs::copy_file(launcher_, exe_, fs::copy_options::overwrite_existing);
    fs::copy_file(STANDIN_PATH, library_, fs::copy_options::overwrite_existing);
    c.deploy(this);
    std::vector<std::string> env;
    for (const std::string& entry : c.env) env.push_back(expand(entry));
    ProcessOutcome run = runProgram(QPA_PATH, {"check", exe_}, env);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(launcherPart(run.out), expand(c.out));
    EXPECT_EQ(run.err, expand(c.err));
  }
}

TEST_F(CheckTest, BadInputGivesOneLine) {
  ASSERT_EQ(0, mkfifo((dir_.path() + "/fifo").c_str(), 0644));
  writeFile(dir_.file("script"), "#!/bin/sh\nexec ./tool\n", 0755);
  expectRefused(dir_,
                {
                    {{"check", dir_.file("missing")},
                     "qpa: cannot find " + dir_.file("missing") + ": No such file or directory\n"},
                    {{"check", "missing"}, "qpa: cannot find missing: No such file or directory\n"},
                    {{"check", app_}, "qpa: " + app_ + " is not a regular file\n"},
                    {{"check"}, "qpa: EXECUTABLE is required\n"},
                    {{"check", dir_.path() + "/fifo"},
                     "qpa: " + dir_.path() + "/fifo is not a regular file\n"},
                    {{"check", dir_.file("script")},
                     "qpa: " + dir_.file("script") +
                         " is a script; check takes the launcher that it starts\n"},
                });
}

TEST_F(CheckTest, JsonHoldsTheWholeRecord) {
  pack(exe_ + ".qpa", {});
  fs::remove(library_);
  fs::create_directory(dir_.file("b"));
  fs::create_directory(dir_.file("b/") + kRuntimeLibraryName);
  ProcessOutcome run =
      runProgram(QPA_PATH, {"check", "--json", exe_}, {expand("LD_LIBRARY_PATH=$ROOT/a:$ROOT/b")});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const nlohmann::json doc = nlohmann::json::parse(run.out);
  EXPECT_EQ(doc["executable"], exe_);
  EXPECT_EQ(doc["elf"]["runPathTag"], "DT_RUNPATH");
  const nlohmann::json& loader = doc["loader"];
  EXPECT_EQ(loader["libraryPath"], expand("$ROOT/a:$ROOT/b"));
  EXPECT_EQ(loader["proxyLibrary"]["path"], app_ + "/libqxzekztvrt.so");
  EXPECT_EQ(loader["proxyLibrary"]["missingFunctions"], nlohmann::json::array());
  nlohmann::json proxy;
  for (const nlohmann::json& library : loader["libraries"]) {
    if (library["name"] == "libqxzekztvrt.so") proxy = library;
  }
  EXPECT_EQ(proxy["source"], "run path");
  EXPECT_EQ(proxy["entry"], "$ORIGIN");
  EXPECT_EQ(proxy["expandedEntry"], app_);
  const nlohmann::json& search = doc["launcher"]["runtimeLibrary"];
  ASSERT_EQ(search["searched"].size(), 3u);
  EXPECT_EQ(search["searched"][2]["path"], dir_.file("b/") + kRuntimeLibraryName);
  EXPECT_EQ(search["searched"][2]["present"], true);
  EXPECT_EQ(search["foundIn"], dir_.file("b"));
  EXPECT_EQ(search["loadable"], false);
  EXPECT_EQ(search["problem"], "it is a directory");
  EXPECT_EQ(doc["result"]["stage"], "runtime");
  EXPECT_TRUE(doc["result"]["exitStatus"].is_null());

  fs::remove(exe_ + ".qpa");
  run = runProgram(QPA_PATH, {"check", "--json", exe_}, {});
  EXPECT_EQ(run.status, 2);
  const nlohmann::json refused = nlohmann::json::parse(run.out);
  EXPECT_EQ(refused["launcher"]["archive"]["nothingAppendedToExecutable"], true);
  EXPECT_EQ(refused["result"]["exitStatus"], 255);
  EXPECT_EQ(refused["result"]["errorLines"],
            nlohmann::json::array({"Error:Cannot find QPA archive " + exe_ + ".qpa",
                                   "Error:Error initializing QPA Archive."}));
}

}  // namespace
