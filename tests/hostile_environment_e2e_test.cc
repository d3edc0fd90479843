// Hostile environments, end to end: environment strings at the kernel's limit, a huge command
// line, executable paths near and past the path buffers, a root without /proc and an executable
// that cannot be read. Each run ends in its defined result, in bounded time.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "archive/data_block_writer.h"
#include "tests/block_fixtures.h"
#include "tests/deployment.h"

namespace {

namespace fs = std::filesystem;

const char kPayload[] = "out ok\\n\n";
const std::string kNotFound = "Error:Could not find the current executable file.\n";
const std::string kRuntimeMissing =
    "Error:Could not find version 7.14.1 of the ZTV.\n"
    "Attempting to load libqxzekztvrt.so.7.14.1.\n"
    "Please install the correct version of the ZTV.\n"
    "Contact your vendor if you do not have an installer for the ZTV.\n";
// The longest NAME=VALUE string the kernel passes to a new program (its limit counts the NUL).
constexpr size_t kMaxEnvironmentString = 128 * 1024 - 1;

// Standard output of a verbose run of executable |exe| with the default archive and kPayload,
// up to the runtime search; |embedded| lists the block twice.
std::string statusAndListing(const std::string& exe, bool embedded) {
  if (embedded) {
    return "Status:Executable file full name=" + exe + "\n" + defaultBlockListing() +
           "Status:QPA is embedded=true\nStatus:QPA file name=" + exe + "\n" +
           defaultBlockListing();
  }
  return "Status:Executable file full name=" + exe +
         "\nStatus:QPA is embedded=false\nStatus:QPA file name=" + exe + ".qpa\n" +
         defaultBlockListing();
}

std::string foundInPlatformDirectory(const std::string& dir) {
  return std::string("build library name=") + kRuntimeLibraryName + "\n1. search " + dir +
         "/runtime/tzora64/" + kRuntimeLibraryName + "\nFind " + kRuntimeLibraryName + " in " +
         dir + "/runtime/tzora64\n";
}

const char kCompleted[] = "Status:zekInitializeApplication completed\nok\n";

// Far above the few MiB a start takes, far below what a runaway copy of its input would take.
#if defined(__SANITIZE_ADDRESS__)
constexpr long kMemoryBoundKiB = 256 * 1024;
#else
constexpr long kMemoryBoundKiB = 32 * 1024;
#endif

// The run ended by itself (the harness's timeout did not kill it), within the memory bound.
void expectBounded(const LauncherRun& r) {
  EXPECT_FALSE(r.timedOut);
  EXPECT_GT(r.peakResidentKiB, 0);
  EXPECT_LT(r.peakResidentKiB, kMemoryBoundKiB);
}

std::string embeddedExecutable(const std::string& payload) {
  std::string launcher = readFile(builtLauncherPath());
  DataBlockFields f;
  f.embeddedArchiveParam = static_cast<int64_t>(launcher.size());
  std::string block, err;
  if (!buildDataBlock(f, &block, &err)) throw std::runtime_error(err);
  return launcher + payload + block;
}

TEST(HostileEnvironment, ValuesAtTheKernelsLimitForOneString) {
  Deployment d;
  d.writeSidecar(kPayload);
  d.removeRuntimeLibrary();
  std::string hitDir = d.root() + "/rt";
  fs::create_directory(hitDir);
  writeFile(hitDir + "/" + kRuntimeLibraryName, "");

  // Over ten thousand directories that do not hold the library, the one that does last; a filler
  // entry brings the string to the limit.
  std::string misses;
  const int kMisses = 12000;
  for (int i = 0; i < kMisses; ++i) misses += "/n/" + std::to_string(10000 + i) + ":";
  const std::string name = "LD_LIBRARY_PATH=";
  size_t filler = kMaxEnvironmentString - name.size() - misses.size() - hitDir.size() - 1;
  std::string libraryPath = "/" + std::string(filler - 1, 'f') + ":" + misses + hitDir;
  ASSERT_EQ(kMaxEnvironmentString, name.size() + libraryPath.size());
  std::string verbose = "QPAX_VERBOSE=" + std::string(kMaxEnvironmentString - 13, 'v');

  const std::string found =
      statusAndListing(d.executable(), false) + "build library name=" + kRuntimeLibraryName +
      "\n1. search " + d.appDir() + "/runtime/tzora64/" + kRuntimeLibraryName + "\n2. search " +
      libraryPath + "\nFound " + kRuntimeLibraryName + " in " + hitDir + "\n" + kCompleted;
  struct Case {
    const char* name;
    std::vector<std::string> env;
    bool hitDirHoldsTheLibrary;
    int status;
    std::string out, err;
  } cases[] = {
      {"hit in the last entry", {name + libraryPath, "QPAX_VERBOSE="}, true, 0, found, ""},
      {"hit in the last entry, verbose switch at the limit too",
       {name + libraryPath, verbose},
       true,
       0,
       found,
       ""},
      {"no hit", {name + libraryPath}, false, 255, "", kRuntimeMissing},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (!c.hitDirHoldsTheLibrary) fs::remove(hitDir + "/" + kRuntimeLibraryName);
    ProcessLaunch launch;
    launch.program = d.executable();
    launch.argv = {d.executable()};
    launch.env = d.baseEnvironment();
    launch.env.insert(launch.env.end(), c.env.begin(), c.env.end());
    launch.timeoutSeconds = 10;
    LauncherRun r = d.runWith(launch);
    expectBounded(r);
    EXPECT_EQ(c.status, r.status);
    EXPECT_EQ(c.out, r.out);
    EXPECT_EQ(c.err, r.err);
  }
}

TEST(HostileEnvironment, TenThousandArgumentsReachTheApplication) {
  Deployment d;
  d.writeSidecar("args\n");
  std::vector<std::string> args;
  std::string expected = "argc=10001\nargv[0]=" + d.executable() + "\n";
  for (int i = 0; i < 10000; ++i) {
    args.push_back(i % 1000 == 0 ? std::string() : "a" + std::to_string(i));
    expected += "argv[" + std::to_string(i + 1) + "]=" + args.back() + "\n";
  }
  LauncherRun r = d.run(args);
  expectBounded(r);
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(expected, r.out);
  EXPECT_EQ("", r.err);
}

// A directory whose absolute path has exactly the length asked for, built with relative names
// since a path handed to a system call is limited to 4096 bytes. It is removed the same way.
class DeepDirectory {
 public:
  DeepDirectory(const std::string& base, size_t length) : path_(base) {
    fd_ = open(base.c_str(), O_DIRECTORY | O_CLOEXEC);
    baseFd_ = dup(fd_);
    while (path_.size() < length) {
      size_t name = std::min<size_t>(200, length - path_.size() - 1);
      // A single byte left over could not hold a separator and a name.
      if (length - path_.size() - 1 - name == 1) --name;
      std::string component(name, 'd');
      if (first_.empty()) first_ = component;
      if (mkdirat(fd_, component.c_str(), 0755) != 0) throw std::runtime_error("mkdirat failed");
      int next = openat(fd_, component.c_str(), O_DIRECTORY | O_CLOEXEC);
      if (next < 0) throw std::runtime_error("openat failed");
      close(fd_);
      fd_ = next;
      path_ += "/" + component;
    }
  }
  ~DeepDirectory() {
    removeAt(baseFd_, first_);
    close(fd_);
    close(baseFd_);
  }
  DeepDirectory(const DeepDirectory&) = delete;
  DeepDirectory& operator=(const DeepDirectory&) = delete;

  int fd() const { return fd_; }
  const std::string& path() const { return path_; }

  void write(const std::string& relative, const std::string& bytes, mode_t mode) const {
    int out = openat(fd_, relative.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (out < 0 || ::write(out, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
      throw std::runtime_error("cannot write " + relative);
    close(out);
  }
  void makeDirectory(const std::string& relative) const {
    if (mkdirat(fd_, relative.c_str(), 0755) != 0) throw std::runtime_error("mkdirat failed");
  }

 private:
  static void removeAt(int parent, const std::string& name) {
    int fd = openat(parent, name.c_str(), O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;
    DIR* dir = fdopendir(fd);
    for (dirent* entry; (entry = readdir(dir));) {
      std::string child = entry->d_name;
      if (child == "." || child == "..") continue;
      struct stat st;
      if (fstatat(fd, child.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)) {
        removeAt(fd, child);
      } else {
        unlinkat(fd, child.c_str(), 0);
      }
    }
    closedir(dir);
    unlinkat(parent, name.c_str(), AT_REMOVEDIR);
  }

  std::string path_, first_;
  int fd_ = -1, baseFd_ = -1;
};

// Runs from inside a directory that a single path could not reach.
class InsideDirectory {
 public:
  explicit InsideDirectory(int fd) : saved_(open(".", O_DIRECTORY | O_CLOEXEC)) {
    if (fchdir(fd) != 0) throw std::runtime_error("fchdir failed");
  }
  ~InsideDirectory() {
    if (fchdir(saved_) != 0) ADD_FAILURE() << "cannot return to the test's directory";
    close(saved_);
  }

 private:
  int saved_;
};

// The launcher finds its path with realpath and /proc/self/exe, both limited to 4095 characters.
// Up to that it reports the whole path; beyond it, it says it cannot find itself, never giving a
// cut path. The archive and the runtime library are reached only through paths that fit too.
TEST(HostileEnvironment, ExecutablePathsNearAndPastThePathBuffers) {
  enum Outcome { kRunsFromPlatformDirectory, kRunsFromLibraryPath, kSidecarOutOfReach, kNoPath };
  struct Case {
    size_t length;  // of the executable's absolute path
    bool embedded;
    std::string argv0;  // "$EXE": the executable's absolute path
    Outcome outcome;
  } cases[] = {
      // The longest path whose platform directory candidate still fits.
      {4059, false, "./app", kRunsFromPlatformDirectory},
      {4059, false, "no-such-file", kRunsFromPlatformDirectory},
      {4095, true, "./app", kRunsFromLibraryPath},
      {4095, true, "no-such-file", kRunsFromLibraryPath},
      {4095, true, "$EXE", kRunsFromLibraryPath},
      {4095, false, "./app", kSidecarOutOfReach},
      {4096, true, "./app", kNoPath},
      {4096, true, "no-such-file", kNoPath},
      {4096, true, "$EXE", kNoPath},
      // Past the 8193-byte path buffer of the launcher, and right at its end.
      {8192, true, "$EXE", kNoPath},
      {8193, true, "$EXE", kNoPath},
      {8200, true, "./app", kNoPath},
  };
  Deployment d;
  // Past 4095 bytes the loader cannot resolve the run path either, so the proxy library comes
  // through the library path; the runtime library comes from its second entry.
  const std::string libraryPath = d.appDir() + ":" + d.appDir() + "/runtime/tzora64";
  const std::string embedded = embeddedExecutable(kPayload);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.length) + " " + c.argv0);
    DeepDirectory deep(d.root(), c.length - 4);
    const std::string exe = deep.path() + "/app";
    ASSERT_EQ(c.length, exe.size());
    if (c.embedded) {
      deep.write("app", embedded, 0755);
    } else {
      deep.write("app", readFile(builtLauncherPath()), 0755);
      std::string block, err;
      ASSERT_TRUE(buildDataBlock({}, &block, &err));
      deep.write("app.qpa", kPayload + block, 0644);
    }
    deep.makeDirectory("runtime");
    deep.makeDirectory("runtime/tzora64");
    deep.write(std::string("runtime/tzora64/") + kRuntimeLibraryName, "", 0644);

    ProcessLaunch launch;
    launch.program = "./app";
    launch.argv = {c.argv0 == "$EXE" ? exe : c.argv0};
    launch.env = d.baseEnvironment();
    launch.env.push_back("LD_LIBRARY_PATH=" + libraryPath);
    launch.env.push_back("QPAX_VERBOSE=");
    launch.timeoutSeconds = 10;
    LauncherRun r;
    {
      InsideDirectory inside(deep.fd());
      r = d.runWith(launch);
    }
    expectBounded(r);
    switch (c.outcome) {
      case kRunsFromPlatformDirectory:
        EXPECT_EQ(0, r.status);
        EXPECT_EQ(
            statusAndListing(exe, c.embedded) + foundInPlatformDirectory(deep.path()) + kCompleted,
            r.out);
        EXPECT_EQ("", r.err);
        break;
      case kRunsFromLibraryPath:
        EXPECT_EQ(0, r.status);
        EXPECT_EQ(statusAndListing(exe, c.embedded) + "build library name=" + kRuntimeLibraryName +
                      "\n1. search " + deep.path() + "/runtime/tzora64/" + kRuntimeLibraryName +
                      "\n2. search " + libraryPath + "\nFound " + kRuntimeLibraryName + " in " +
                      d.appDir() + "/runtime/tzora64\n" + kCompleted,
                  r.out);
        EXPECT_EQ("", r.err);
        break;
      case kSidecarOutOfReach:
        EXPECT_EQ(255, r.status);
        EXPECT_EQ("Status:Executable file full name=" + exe + "\nStatus:QPA is embedded=false\n",
                  r.out);
        EXPECT_EQ("Error:Cannot find QPA archive " + exe +
                      ".qpa\nError:Error initializing QPA Archive.\n",
                  r.err);
        EXPECT_EQ("", r.trace);
        break;
      case kNoPath:
        EXPECT_EQ(255, r.status);
        EXPECT_EQ("", r.out);
        EXPECT_EQ(kNotFound, r.err);
        EXPECT_EQ("", r.trace);
        break;
    }
  }
}

// Copies |from| to the same path below |root|.
void copyBelow(const std::string& root, const std::string& from, const std::string& to) {
  fs::create_directories(fs::path(root + to).parent_path());
  fs::copy_file(from, root + to, fs::copy_options::overwrite_existing);
}

// Without /proc the launcher has only argv[0] to go by: an absolute or resolvable name works, a
// name of nothing ends the start. An executable in "/" has the empty application directory, so
// its runtime directory is looked up from the working directory.
TEST(HostileEnvironment, ARootWithoutProc) {
  if (geteuid() != 0) GTEST_SKIP() << "chroot needs root";
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizers' runtime cannot run without /proc";
#endif
  Deployment d;
  const std::string& root = d.root();
  // The launcher's libraries at their own paths; the proxy library in the system directory,
  // since without /proc the loader cannot resolve the launcher's $ORIGIN run path.
  ProcessLaunch ldd;
  ldd.program = "/usr/bin/ldd";
  ldd.argv = {"ldd", builtLauncherPath()};
  ldd.env = {"PATH=/usr/bin:/bin"};
  ProcessOutcome listed;
  std::string err;
  ASSERT_TRUE(runProcess(ldd, &listed, &err)) << err;
  ASSERT_EQ(0, listed.status) << listed.err;
  std::istringstream lines(listed.out);
  std::string systemDirectory;
  for (std::string line; std::getline(lines, line);) {
    size_t arrow = line.find("=> ");
    size_t begin = line.find('/', arrow == std::string::npos ? 0 : arrow);
    if (begin == std::string::npos) continue;
    std::string library = line.substr(begin, line.find(' ', begin) - begin);
    if (fs::path(library).filename() == kProxyLibraryName) continue;
    copyBelow(root, library, library);
    if (fs::path(library).filename() == "libc.so.6")
      systemDirectory = fs::path(library).parent_path();
  }
  ASSERT_FALSE(systemDirectory.empty()) << listed.out;
  copyBelow(root, builtStandinPath(), systemDirectory + "/" + kProxyLibraryName);
  ASSERT_FALSE(fs::exists(root + "/proc"));

  d.writeSidecar("params\n");
  copyBelow(root, builtLauncherPath(), "/tool");
  Deployment::writeArchive(root + "/tool.qpa", "params\n");
  fs::create_directories(root + "/work/runtime/tzora64");
  writeFile(root + "/work/runtime/tzora64/" + kRuntimeLibraryName, "");

  const std::string params = "mainParam=\nmainIntParam=0\ncomponentParam=\napplicationDirectory=";
  const std::string inApp = statusAndListing("/app/app", false) + foundInPlatformDirectory("/app") +
                            "Status:zekInitializeApplication completed\n" + params + "/app\n";
  const std::string inRoot = statusAndListing("/tool", false) +
                             "build library name=" + kRuntimeLibraryName +
                             "\n1. search runtime/tzora64/" + kRuntimeLibraryName;
  struct Case {
    const char* name;
    std::string program, argv0, cwd;
    int status;
    std::string out, err;
  } cases[] = {
      {"absolute argv[0]", "/app/app", "/app/app", "/", 0, inApp, ""},
      {"relative argv[0]", "/app/app", "app", "/app", 0, inApp, ""},
      {"argv[0] naming nothing", "/app/app", "no-such-file", "/", 255, "", kNotFound},
      {"in the root directory", "/tool", "/tool", "/work", 0,
       inRoot + "\nFind " + kRuntimeLibraryName +
           " in runtime/tzora64\nStatus:zekInitializeApplication completed\n" + params + "\n",
       ""},
      {"in the root directory, no runtime below the working directory", "/tool", "/tool", "/", 255,
       inRoot + "\n3. Try to find " + kRuntimeLibraryName +
           " in registry and preference settings\n",
       kRuntimeMissing},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ProcessLaunch launch;
    launch.program = c.program;
    launch.argv = {c.argv0};
    launch.env = {"PATH=/usr/bin:/bin", "STANDIN_TRACE=/trace", "QPAX_VERBOSE="};
    launch.chroot = root;
    launch.cwd = c.cwd;
    launch.timeoutSeconds = 10;
    LauncherRun r = d.runWith(launch);
    expectBounded(r);
    EXPECT_EQ(c.status, r.status);
    EXPECT_EQ(c.out, r.out);
    EXPECT_EQ(c.err, r.err);
    EXPECT_EQ(c.status == 0, !r.trace.empty());
  }
}

// An executable that can be run but not read has no archive the launcher can see.
TEST(HostileEnvironment, AnExecutableWithoutReadPermission) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to drop to an unprivileged user";
  struct Case {
    const char* name;
    bool embedded, sidecar;
    fs::perms mode;
    int status;
    bool embeddedSeen;
    std::string err;
  } cases[] = {
      {"sidecar beside it", false, true,
       fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec, 0, false, ""},
      {"archive appended", true, false,
       fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec, 255, false,
       "Error:Cannot find QPA archive $EXE.qpa\nError:Error initializing QPA Archive.\n"},
      {"archive appended, readable", true, false,
       fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec, 0, true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Deployment d;
    if (c.embedded) d.embed(kPayload);
    if (c.sidecar) d.writeSidecar(kPayload);
    fs::permissions(d.executable(), c.mode);
    giveRootTo(d, kUnprivilegedUid);
    ProcessLaunch launch;
    launch.program = d.executable();
    launch.argv = {d.executable()};
    launch.env = d.baseEnvironment();
    launch.env.push_back("QPAX_VERBOSE=");
    launch.uid = kUnprivilegedUid;
    launch.timeoutSeconds = 10;
    LauncherRun r = d.runWith(launch);
    expectBounded(r);
    EXPECT_EQ(c.status, r.status);
    std::string err = c.err;
    if (size_t at = err.find("$EXE"); at != std::string::npos) err.replace(at, 4, d.executable());
    EXPECT_EQ(err, r.err);
    if (c.status == 0) {
      EXPECT_EQ(statusAndListing(d.executable(), c.embeddedSeen) +
                    foundInPlatformDirectory(d.appDir()) + kCompleted,
                r.out);
    } else {
      EXPECT_EQ(
          "Status:Executable file full name=" + d.executable() + "\nStatus:QPA is embedded=false\n",
          r.out);
      EXPECT_EQ("", r.trace);
    }
  }
}

}  // namespace
