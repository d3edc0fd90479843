#include "tools/check_command.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>

#include "tests/deployment.h"
#include "tools/qpa_test_support.h"

namespace {

namespace fs = std::filesystem;

// A deployment for check: ROOT/app/tool (a stand-in for the launcher), its runtime library in
// ROOT/app/runtime/tzora64, and the archive a case gives it. Nothing is ever run.
// Its members are public so that the cases' deploy functions can reach them.
class CheckTest : public testing::Test {
 public:
  void SetUp() override {
    fs::create_directories(app_ + "/runtime/tzora64");
    writeFile(launcher_,
              "\x7f"
              "ELF stand-in" +
                  std::string(3000, 'L'),
              0755);
    fs::copy_file(launcher_, exe_);
    writeFile(library_, "");
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

const char kHead[] =
    "executable: $APP/tool\n"
    "application directory: $APP\n";
const char kSidecar[] =
    "archive: sidecar $APP/tool.qpa, present\n"
    "data block: accepted\n"
    "runtime version: major \"7\", minor \"14\", accepted\n";
const char kFoundInPlatform[] =
    "runtime library: $LIB\n"
    "LD_LIBRARY_PATH: unset\n"
    "searched $APP/runtime/tzora64/$LIB (platform directory): present\n"
    "runtime library found in: $APP/runtime/tzora64\n";
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
           "LD_LIBRARY_PATH: \"$ROOT/a: $ROOT/b/ :$ROOT/c\"\n"
           "searched $APP/runtime/tzora64/$LIB (platform directory): absent\n"
           "searched $ROOT/a/$LIB (LD_LIBRARY_PATH entry \"$ROOT/a\"): absent\n"
           "searched $ROOT/b/$LIB (LD_LIBRARY_PATH entry \" $ROOT/b/ \"): present\n"
           "runtime library found in:  $ROOT/b/ \n"
           "start message: none\n" +
           kReaches,
       ""},
      {"no archive",
       [](CheckTest*) {},
       {},
       2,
       std::string(kHead) + "archive: sidecar $APP/tool.qpa, missing\n" + kStops,
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
           "LD_LIBRARY_PATH: \"\"\n"
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
    writeFile(library_, "");
    c.deploy(this);
    std::vector<std::string> env;
    for (const std::string& entry : c.env) env.push_back(expand(entry));
    ProcessOutcome run = runProgram(QPA_PATH, {"check", exe_}, env);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out, expand(c.out));
    EXPECT_EQ(run.err, expand(c.err));
  }
}

TEST_F(CheckTest, BadInputGivesOneLine) {
  expectRefused(
      dir_,
      {
          {{"check", dir_.file("missing")},
           "qpa: cannot find " + dir_.file("missing") + ": No such file or directory\n"},
          {{"check", "missing"}, "qpa: cannot find missing: No such file or directory\n"},
          {{"check", app_}, "qpa: " + app_ + " is not a regular file\n"},
          {{"check"}, "qpa: EXECUTABLE is required\n"},
          {{"check", exe_, "--json"}, "qpa: The following argument was not expected: --json\n"},
      });
}

}  // namespace
