#include "tools/atomic_file.h"

#include <gtest/gtest.h>
#include <limits.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>

#include "tools/qpa_test_support.h"

namespace {

TEST(WriteFileAtomically, WritesAnyNameTheDirectoryTakesAndLeavesNoTemporaryFile) {
  ScratchDirectory dir;
  for (size_t length : {size_t{1}, size_t{243}, size_t{244}, size_t{NAME_MAX}}) {
    std::string name(length, 'n');
    std::string err;
    ASSERT_TRUE(writeFileAtomically(dir.file(name), {"ab", "", "c"}, 0640, &err))
        << length << ": " << err;
    EXPECT_EQ("abc", readFile(dir.file(name)));
    EXPECT_EQ(0640u, permissionBits(dir.file(name)));
    EXPECT_EQ(std::set<std::string>{name}, dir.names());
    std::remove(dir.file(name).c_str());
  }
}

// A piece that ends in a hole leaves the output as long as the pieces, though nothing was written
// at its end.
TEST(WriteFileAtomically, CopiesRangesOfFilesBetweenBytesHeldInMemory) {
  ScratchDirectory dir;
  writeFile(dir.file("source"), "abc");
  ASSERT_EQ(truncate(dir.file("source").c_str(), 100000), 0);
  RegularFile source;
  std::string err;
  ASSERT_TRUE(source.open(dir.file("source"), &err)) << err;
  ASSERT_TRUE(writeFileAtomically(dir.file("out"), {"<", {source, 1, 99999}, ">", {source, 0, 2}},
                                  0640, &err))
      << err;
  EXPECT_EQ(readFile(dir.file("out")), "<bc" + std::string(99997, '\0') + ">ab");
  ASSERT_TRUE(writeFileAtomically(dir.file("out"), {{source, 2, 99998}}, 0640, &err)) << err;
  EXPECT_EQ(readFile(dir.file("out")), "c" + std::string(99997, '\0'));
  EXPECT_EQ((std::set<std::string>{"out", "source"}), dir.names());
}

// A directory tree as text: each name below the top, with "file:BYTES", "link:TARGET", "dir",
// "fifo" or "socket". Links are described, not followed, so a replaced link shows.
using Tree = std::map<std::string, std::string>;

Tree describe(const ScratchDirectory& dir) {
  Tree tree;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
    std::string name = entry.path().lexically_relative(dir.path());
    std::filesystem::file_status status = entry.symlink_status();
    if (std::filesystem::is_symlink(status)) {
      tree[name] = "link:" + std::filesystem::read_symlink(entry.path()).string();
    } else if (std::filesystem::is_regular_file(status)) {
      tree[name] = "file:" + readFile(entry.path());
    } else if (std::filesystem::is_directory(status)) {
      tree[name] = "dir";
    } else if (std::filesystem::is_fifo(status)) {
      tree[name] = "fifo";
    } else if (std::filesystem::is_socket(status)) {
      tree[name] = "socket";
    } else {
      tree[name] = "other";
    }
  }
  return tree;
}

// The map is sorted, so a directory is made before the names in it.
void build(const ScratchDirectory& dir, const Tree& tree) {
  for (const auto& [name, kind] : tree) {
    std::string path = dir.file(name);
    if (kind.rfind("file:", 0) == 0) {
      writeFile(path, kind.substr(5));
    } else if (kind.rfind("link:", 0) == 0) {
      ASSERT_EQ(symlink(kind.substr(5).c_str(), path.c_str()), 0) << name;
    } else if (kind == "dir") {
      ASSERT_EQ(mkdir(path.c_str(), 0755), 0) << name;
    } else if (kind == "fifo") {
      ASSERT_EQ(mkfifo(path.c_str(), 0644), 0) << name;
    } else if (kind == "socket") {
      int fd = socket(AF_UNIX, SOCK_STREAM, 0);
      sockaddr_un address{};
      address.sun_family = AF_UNIX;
      ASSERT_LT(path.size(), sizeof address.sun_path) << name;
      memcpy(address.sun_path, path.c_str(), path.size() + 1);
      ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << name;
      close(fd);
    } else {
      FAIL() << "no such kind: " << kind;
    }
  }
}

std::string withDir(std::string text, const ScratchDirectory& dir) {
  for (size_t at; (at = text.find("$D")) != std::string::npos;) text.replace(at, 2, dir.path());
  return text;
}

TEST(WriteFileAtomically, WritesThroughLinksAndRefusesWhatIsNotARegularFile) {
  struct Row {
    std::string what;
    Tree before;
    std::string err;  // empty when the write succeeds; $D stands for the directory
    Tree after;
  };
  const std::string notRegular = "cannot write $D/out: not a regular file";
  const std::vector<Row> rows = {
      {"a regular file is replaced", {{"out", "file:old"}}, "", {{"out", "file:new"}}},
      {"a link to a file replaces the file and stays",
       {{"out", "link:t"}, {"t", "file:old"}},
       "",
       {{"out", "link:t"}, {"t", "file:new"}}},
      {"each link of a chain is read relative to its own directory",
       {{"out", "link:sub/next"}, {"sub", "dir"}, {"sub/next", "link:t"}, {"sub/t", "file:old"}},
       "",
       {{"out", "link:sub/next"}, {"sub", "dir"}, {"sub/next", "link:t"}, {"sub/t", "file:new"}}},
      {"a dangling link gets its target made",
       {{"out", "link:sub/made"}, {"sub", "dir"}},
       "",
       {{"out", "link:sub/made"}, {"sub", "dir"}, {"sub/made", "file:new"}}},
      {"a dangling link into a missing directory",
       {{"out", "link:no/made"}},
       "cannot write $D/out: it links to $D/no/made, whose directory does not exist",
       {{"out", "link:no/made"}}},
      {"a link loop",
       {{"out", "link:out"}},
       "cannot write $D/out: Too many levels of symbolic links",
       {{"out", "link:out"}}},
      {"a FIFO", {{"out", "fifo"}}, notRegular, {{"out", "fifo"}}},
      {"a link to a FIFO",
       {{"out", "link:f"}, {"f", "fifo"}},
       notRegular,
       {{"out", "link:f"}, {"f", "fifo"}}},
      {"a link to a device", {{"out", "link:/dev/null"}}, notRegular, {{"out", "link:/dev/null"}}},
      {"a socket", {{"out", "socket"}}, notRegular, {{"out", "socket"}}},
      {"a directory", {{"out", "dir"}}, "cannot write $D/out: Is a directory", {{"out", "dir"}}},
      {"a link to a directory",
       {{"out", "link:sub"}, {"sub", "dir"}},
       "cannot write $D/out: Is a directory",
       {{"out", "link:sub"}, {"sub", "dir"}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ScratchDirectory dir;
    ASSERT_NO_FATAL_FAILURE(build(dir, row.before));
    std::string err;
    bool written = writeFileAtomically(dir.file("out"), {"n", "ew"}, 0640, &err);
    EXPECT_EQ(written, row.err.empty());
    EXPECT_EQ(err, withDir(row.err, dir));
    EXPECT_EQ(describe(dir), row.after);
  }
}

// The signals the child sends itself once the write has begun.
int gFirstSignal;
int gSignal;

void sendSignals(int) {
  if (gFirstSignal != 0) {
    raise(gFirstSignal);
    // An ignored signal lets the write go on (nohup), so its temporary file must still be linked.
    for (int fd = 0; fd < 1024; ++fd) {
      struct stat status;
      if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_nlink == 0) _exit(14);
    }
  }
  raise(gSignal);
}

constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Runs in the forked child and reports through its exit status when no signal ends it. A file size
// limit stops the write part-way with SIGXFSZ, whose handler then sends the signal as a user's
// Ctrl-C or kill would: the write is interrupted at the same point on every run.
[[noreturn]] void writeUntilSignalled(const ScratchDirectory& dir, int ignored) {
  if (ignored != 0) signal(ignored, SIG_IGN);
  struct sigaction before[3];
  for (int i = 0; i < 3; ++i) sigaction(kCleanupSignals[i], nullptr, &before[i]);
  std::string err;
  if (!writeFileAtomically(dir.file("first"), {"first"}, 0644, &err)) _exit(10);
  // A finished write leaves the process's own handling of the signals as it found it.
  for (int i = 0; i < 3; ++i) {
    struct sigaction after;
    sigaction(kCleanupSignals[i], nullptr, &after);
    if (after.sa_handler != before[i].sa_handler) _exit(11);
  }
  rlimit limit = {8, 8};
  if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(12);
  signal(SIGXFSZ, sendSignals);
  writeFileAtomically(dir.file("out"), {std::string(64, 'x')}, 0644, &err);
  _exit(13);
}

TEST(WriteFileAtomically, ASignalDuringTheWriteRemovesTheTemporaryFileAndStillEndsTheProcess) {
  struct Row {
    int ignored;  // a signal the process ignores, sent first; 0 for none
    int signal;
    int endedBy;
  };
  const std::vector<Row> rows = {
      {0, SIGINT, SIGINT},
      {0, SIGTERM, SIGTERM},
      {0, SIGHUP, SIGHUP},
      // An ignored signal stays ignored while the temporary file exists (nohup).
      {SIGHUP, SIGTERM, SIGTERM},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(strsignal(row.signal));
    ScratchDirectory dir;
    writeFile(dir.file("out"), "old");
    gFirstSignal = row.ignored;
    gSignal = row.signal;
    pid_t pid = fork();
    ASSERT_GE(pid, 0) << strerror(errno);
    if (pid == 0) writeUntilSignalled(dir, row.ignored);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), row.endedBy);
    EXPECT_EQ(describe(dir), (Tree{{"first", "file:first"}, {"out", "file:old"}}));
  }
}

}  // namespace
