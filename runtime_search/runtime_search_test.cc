#include "runtime_search/runtime_search.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <vector>

#include "base/captured_output.h"

namespace {

namespace fs = std::filesystem;

constexpr char kName[] = "libqxzekztvrt.so.7.14.1";

// Restores one environment variable to what it was when the guard was made.
class ScopedEnvironmentVariable {
 public:
  explicit ScopedEnvironmentVariable(const char* name) : name_(name) {
    if (const char* value = getenv(name)) saved_ = value;
  }
  ~ScopedEnvironmentVariable() {
    if (saved_) {
      setenv(name_, saved_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  void set(const std::string& value) { setenv(name_, value.c_str(), 1); }
  void unset() { unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> saved_;
};

DataBlock blockWithUpdater(const char* updater) {
  // The fixed fields hold 4 bytes each, padded with NULs.
  DataBlock block;
  block.majorVersion = std::string("7\0\0\0", 4);
  block.minorVersion = std::string("14\0\0", 4);
  block.updaterVersion = std::string(updater) + std::string(4 - strlen(updater), '\0');
  return block;
}

std::string missingMessage(const std::string& name) {
  return "Could not find version 7.14.1 of the ZTV.\n"
         "Attempting to load " +
         name +
         ".\n"
         "Please install the correct version of the ZTV.\n"
         "Contact your vendor if you do not have an installer for the ZTV.";
}

std::vector<std::string> paths(const RuntimeSearch& search) {
  std::vector<std::string> out;
  for (const SearchCandidate& candidate : search.tested) out.push_back(candidate.path);
  return out;
}

class RuntimeSearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    verboseVariable_.unset();
    libraryPath_.unset();
    std::string pattern = (fs::temp_directory_path() / "runtime_search_test.XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    app_ = root_ + "/app";
    platform_ = app_ + "/runtime/tzora64";
    fs::create_directories(app_);
  }

  void TearDown() override { fs::remove_all(root_); }

  static void makeFile(const std::string& path) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path).put('x');
  }

  ScopedEnvironmentVariable verboseVariable_{"QPAX_VERBOSE"};
  ScopedEnvironmentVariable libraryPath_{"LD_LIBRARY_PATH"};
  std::string root_;
  std::string app_;
  std::string platform_;
};

TEST_F(RuntimeSearchTest, TracesASearchThatMissesTheFirstLibraryPathEntryAndHitsTheSecond) {
  fs::create_directories(root_ + "/usr/lib");
  makeFile(root_ + "/opt/rt/" + kName);
  // The entry after the hit is never tested.
  const std::string libraryPath = root_ + "/usr/lib:" + root_ + "/opt/rt:" + root_ + "/later";

  std::string trace;
  RuntimeSearch search = locateRuntime(app_, blockWithUpdater("1"), libraryPath, &trace);
  EXPECT_TRUE(search.found);
  EXPECT_EQ(search.libraryName, kName);
  EXPECT_EQ(paths(search),
            (std::vector<std::string>{platform_ + "/" + kName, root_ + "/usr/lib/" + kName,
                                      root_ + "/opt/rt/" + kName}));
  EXPECT_EQ(trace, std::string("build library name=") + kName + "\n" + "1. search " + app_ +
                       "/runtime/tzora64/" + kName + "\n" + "2. search " + libraryPath + "\n" +
                       "Found " + kName + " in " + root_ + "/opt/rt\n");
}

TEST_F(RuntimeSearchTest, ReportsTheServedVersionAndTheMissingFileName) {
  // Files of other updaters do not count: only the exact name is tested.
  makeFile(platform_ + "/libqxzekztvrt.so.7.14.1");
  makeFile(platform_ + "/libqxzekztvrt.so.7.14");

  RuntimeSearch search = locateRuntime(app_, blockWithUpdater("2"), std::nullopt, nullptr);
  EXPECT_FALSE(search.found);
  EXPECT_EQ(search.libraryName, "libqxzekztvrt.so.7.14.2");
  EXPECT_EQ(paths(search), (std::vector<std::string>{platform_ + "/libqxzekztvrt.so.7.14.2"}));
  EXPECT_EQ(runtimeMissingMessage(search.libraryName), missingMessage("libqxzekztvrt.so.7.14.2"));
}

TEST_F(RuntimeSearchTest, TracesAllThreeStagesWhenTheLibraryPathIsEmpty) {
  const std::string name = "libqxzekztvrt.so.7.14";

  std::string trace;
  RuntimeSearch search = locateRuntime(app_, blockWithUpdater("0"), "", &trace);
  EXPECT_FALSE(search.found);
  EXPECT_EQ(trace, "build library name=" + name + "\n" + "1. search " + platform_ + "/" + name +
                       "\n" + "2. search \n" + "3. Try to find " + name +
                       " in registry and preference settings\n");
}

TEST_F(RuntimeSearchTest, PlatformDirectoryWinsAndADirectoryCounts) {
  fs::create_directories(platform_ + "/" + kName);
  makeFile(root_ + "/lib/" + kName);

  std::string trace;
  RuntimeSearch search = searchRuntimeLibrary(app_, kName, root_ + "/lib", &trace);
  EXPECT_TRUE(search.found);
  EXPECT_EQ(paths(search), (std::vector<std::string>{platform_ + "/" + kName}));
  EXPECT_EQ(trace, "1. search " + platform_ + "/" + kName + "\n" + "Find " + kName + " in " +
                       platform_ + "\n");
}

// The search takes the library path and the trace text it is given, never the environment's
// values nor the standard descriptors.
TEST_F(RuntimeSearchTest, ReadsNoEnvironmentAndTracesOnlyOnTheGivenStream) {
  makeFile(root_ + "/lib/" + kName);
  verboseVariable_.set("");
  {
    CapturedOutput output;
    EXPECT_TRUE(searchRuntimeLibrary(app_, kName, root_ + "/lib", nullptr).found);
    EXPECT_EQ(output.out(), "");
    EXPECT_EQ(output.err(), "");
  }
  CapturedOutput output;
  std::string trace;
  EXPECT_TRUE(searchRuntimeLibrary(app_, kName, root_ + "/lib", &trace).found);
  EXPECT_EQ(trace, "1. search " + platform_ + "/" + kName + "\n" + "2. search " + root_ +
                       "/lib\nFound " + kName + " in " + root_ + "/lib\n");
  EXPECT_EQ(output.out(), "");
  EXPECT_EQ(output.err(), "");
  libraryPath_.set(root_ + "/lib");
  EXPECT_FALSE(searchRuntimeLibrary(app_, kName, std::nullopt, nullptr).found);
}

struct LibraryPathHitCase {
  const char* label;
  // "@" stands for the case's own directory.
  const char* libraryPath;
  std::vector<const char*> files;
  const char* foundIn;
};

std::string expand(const std::string& text, const std::string& directory) {
  std::string result;
  for (char c : text) {
    if (c == '@') {
      result += directory;
    } else {
      result += c;
    }
  }
  return result;
}

TEST_F(RuntimeSearchTest, ShowsTheFirstLibraryPathEntryThatHoldsTheFileAsWritten) {
  const LibraryPathHitCase cases[] = {
      {"empty entry is the working directory", "@/a::@/b", {"@/cwd/", "@/b/"}, ""},
      {"blank-padded entry with trailing slash", "@/a: @/b/ \t:@/c", {"@/b/", "@/c/"}, " @/b/ \t"},
      {"first hit in list order", "@/a:@/c:@/b", {"@/b/", "@/c/"}, "@/c"},
      {"only separators", "::", {"@/cwd/"}, ""},
  };
  const fs::path savedCwd = fs::current_path();
  int index = 0;
  for (const LibraryPathHitCase& c : cases) {
    const std::string directory = root_ + "/case" + std::to_string(index++);
    fs::create_directories(directory + "/cwd");
    for (const char* file : c.files) makeFile(expand(file, directory) + kName);
    fs::current_path(directory + "/cwd");
    const std::string libraryPath = expand(c.libraryPath, directory);

    std::string trace;
    bool found = searchRuntimeLibrary(app_, kName, libraryPath, &trace).found;
    fs::current_path(savedCwd);
    EXPECT_TRUE(found) << c.label;
    EXPECT_EQ(trace, "1. search " + platform_ + "/" + kName + "\n" + "2. search " + libraryPath +
                         "\n" + "Found " + kName + " in " + expand(c.foundIn, directory) + "\n")
        << c.label;
  }
}

}  // namespace
