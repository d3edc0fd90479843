// qpa pack, embed, extract and strip on archives far larger than the memory they may take, on
// sparse files so that no test writes gigabytes, and across file systems.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

#include "archive/data_block_layout.h"
#include "archive/data_block_reader.h"
#include "tests/deployment.h"

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kKiB = 1024;
constexpr uint64_t kMiB = 1024 * kKiB;
constexpr uint64_t kGiB = 1024 * kMiB;
// What each command may take at its peak, whatever the archive's size; the sanitizers' shadow
// memory and allocator add their own, still far below a copy of the 256 MiB or 4 GiB inputs.
#if defined(__SANITIZE_ADDRESS__)
constexpr long kPeakResidentLimitKiB = 128 * 1024;
#else
constexpr long kPeakResidentLimitKiB = 16 * 1024;
#endif

ProcessOutcome runQpa(const std::vector<std::string>& args) {
  ProcessLaunch spec;
  spec.program = KORVEL_QPA_PATH;
  spec.argv = {"qpa"};
  spec.argv.insert(spec.argv.end(), args.begin(), args.end());
  ProcessOutcome result;
  std::string err;
  EXPECT_TRUE(runProcess(spec, &result, &err)) << err;
  return result;
}

void expectQuietSuccess(const std::vector<std::string>& args) {
  ProcessOutcome run = runQpa(args);
  EXPECT_EQ(run.status, 0) << args[0] << ": " << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");
  EXPECT_LE(run.peakResidentKiB, kPeakResidentLimitKiB) << args[0];
}

// Writes |bytes| at |offset| of the file at |path|, made when missing, and makes it |size| long.
void writeAt(const std::string& path, uint64_t offset, const std::string& bytes, uint64_t size) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(fd, 0) << path << ": " << strerror(errno);
  EXPECT_EQ(pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)),
            static_cast<ssize_t>(bytes.size()));
  EXPECT_EQ(ftruncate(fd, static_cast<off_t>(size)), 0);
  close(fd);
}

std::string randomBytes(size_t count, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(count, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

uint64_t fileSize(const std::string& path) { return fs::file_size(path); }

uint64_t allocatedBytes(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 ? static_cast<uint64_t>(status.st_blocks) * 512 : 0;
}

// The ranges of [from, to) of |fd| that hold data, as offsets from |from|.
std::vector<std::pair<uint64_t, uint64_t>> dataRanges(int fd, uint64_t from, uint64_t to) {
  std::vector<std::pair<uint64_t, uint64_t>> ranges;
  for (uint64_t at = from; at < to;) {
    off_t data = lseek(fd, static_cast<off_t>(at), SEEK_DATA);
    if (data < 0 || static_cast<uint64_t>(data) >= to) break;
    off_t hole = lseek(fd, data, SEEK_HOLE);
    uint64_t end = std::min<uint64_t>(static_cast<uint64_t>(hole), to);
    ranges.push_back({static_cast<uint64_t>(data) - from, end - from});
    at = end;
  }
  return ranges;
}

// Expects |length| bytes of |a| from |aAt| to equal those of |b| from |bAt|: every range where
// either holds data is compared, and elsewhere both read as zeros.
void expectSameBytes(const std::string& a, uint64_t aAt, const std::string& b, uint64_t bAt,
                     uint64_t length) {
  SCOPED_TRACE(a + " and " + b);
  int fa = open(a.c_str(), O_RDONLY);
  int fb = open(b.c_str(), O_RDONLY);
  ASSERT_TRUE(fa >= 0 && fb >= 0);
  auto ranges = dataRanges(fa, aAt, aAt + length);
  auto more = dataRanges(fb, bAt, bAt + length);
  ranges.insert(ranges.end(), more.begin(), more.end());
  std::string bytesA(kMiB, '\0'), bytesB(kMiB, '\0');
  for (auto [from, to] : ranges) {
    for (uint64_t at = from; at < to; at += kMiB) {
      size_t n = static_cast<size_t>(std::min(kMiB, to - at));
      ASSERT_EQ(pread(fa, bytesA.data(), n, static_cast<off_t>(aAt + at)), static_cast<ssize_t>(n));
      ASSERT_EQ(pread(fb, bytesB.data(), n, static_cast<off_t>(bAt + at)), static_cast<ssize_t>(n));
      ASSERT_TRUE(memcmp(bytesA.data(), bytesB.data(), n) == 0) << "at " << at;
    }
  }
  close(fa);
  close(fb);
}

// The data block at the end of |path|, accepted by the launcher's reader.
DataBlock acceptedBlock(const std::string& path) {
  DataBlock block;
  std::string err;
  EXPECT_TRUE(readDataBlock(path, &block, &err)) << path << ": " << err;
  return block;
}

// A sparse payload: a program for the stand-in, then random bytes at an unaligned offset in the
// middle and at its very end, holes between.
void writeSparsePayload(const std::string& path, uint64_t size) {
  const std::string program = std::string("out Hello from a large archive\\n\n", 33) + '\0';
  writeAt(path, 0, program + randomBytes(70000, 1), size);
  writeAt(path, size / 2 + 12345, randomBytes(100000, 2), size);
  writeAt(path, size - 5000, randomBytes(5000, 3), size);
}

// Pack, embed (the launcher rewritten in place, then started), extract and strip, each through
// the kernel's copy with the holes kept, in bounded memory.
TEST(QpaLargeArchive, A4GiBSparseArchiveMakesTheRoundTrip) {
  Deployment d;
  const std::string payload = d.root() + "/payload", archive = d.root() + "/app.qpa";
  const std::string extracted = d.root() + "/extracted", stripped = d.root() + "/stripped";
  const uint64_t size = 4 * kGiB + 3;
  ASSERT_NO_FATAL_FAILURE(writeSparsePayload(payload, size));
  const std::string launcher = d.executable();
  const uint64_t launcherSize = fileSize(launcher);
  const uint64_t slack = kMiB;

  expectQuietSuccess({"pack", payload, "-o", archive});
  ASSERT_EQ(fileSize(archive), size + layout::kBlockSize);
  expectSameBytes(payload, 0, archive, 0, size);
  EXPECT_EQ(acceptedBlock(archive).embeddedArchiveParam, 0);
  EXPECT_LT(allocatedBytes(archive), allocatedBytes(payload) + slack);

  expectQuietSuccess({"embed", launcher, archive, "-o", launcher});
  ASSERT_EQ(fileSize(launcher), launcherSize + size + layout::kBlockSize);
  expectSameBytes(builtLauncherPath(), 0, launcher, 0, launcherSize);
  expectSameBytes(payload, 0, launcher, launcherSize, size);
  EXPECT_EQ(acceptedBlock(launcher).embeddedArchiveParam, static_cast<int64_t>(launcherSize));
  EXPECT_LT(allocatedBytes(launcher), launcherSize + allocatedBytes(payload) + slack);
  LauncherRun started = d.run();
  EXPECT_EQ(started.status, 0) << started.err;
  EXPECT_EQ(started.out, "Hello from a large archive\n");

  expectQuietSuccess({"extract", launcher, "-o", extracted});
  ASSERT_EQ(fileSize(extracted), size);
  expectSameBytes(payload, 0, extracted, 0, size);
  EXPECT_LT(allocatedBytes(extracted), allocatedBytes(payload) + slack);

  expectQuietSuccess({"strip", launcher, "-o", stripped});
  ASSERT_EQ(fileSize(stripped), launcherSize);
  expectSameBytes(builtLauncherPath(), 0, stripped, 0, launcherSize);
}

// A tmpfs of its own size, mounted in a mount namespace of this process's own so that nothing
// outlives the test, and unmounted before the directory around it is removed.
class Tmpfs {
 public:
  Tmpfs(const std::string& dir, int megabytes) : dir_(dir) {
    static const bool ownNamespace =
        unshare(CLONE_NEWNS) == 0 &&
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    fs::create_directories(dir);
    std::string options = "size=" + std::to_string(megabytes) + "m";
    mounted_ = ownNamespace && mount("tmpfs", dir.c_str(), "tmpfs", 0, options.c_str()) == 0;
    if (!mounted_) refusal_ = strerror(errno);
  }
  ~Tmpfs() {
    if (mounted_) umount2(dir_.c_str(), MNT_DETACH);
  }
  Tmpfs(const Tmpfs&) = delete;
  Tmpfs& operator=(const Tmpfs&) = delete;

  // False where mounting is refused (no root, a container without the right).
  bool mounted() const { return mounted_; }
  const std::string& refusal() const { return refusal_; }

 private:
  std::string dir_;
  bool mounted_ = false;
  std::string refusal_;
};

// The kernel copies nothing between two file systems, so every command falls back to its buffer.
TEST(QpaLargeArchive, CopiesBetweenFileSystemsThroughTheBuffer) {
  Deployment d;
  const std::string disk = d.root(), memory = d.root() + "/tmpfs";
  Tmpfs tmpfs(memory, 64);
  if (!tmpfs.mounted()) GTEST_SKIP() << "cannot mount a tmpfs: " << tmpfs.refusal();
  const uint64_t size = 256 * kMiB + 1;
  ASSERT_NO_FATAL_FAILURE(writeSparsePayload(disk + "/payload", size));
  const std::string launcher = d.executable();
  const uint64_t launcherSize = fileSize(launcher);

  expectQuietSuccess({"pack", disk + "/payload", "-o", memory + "/app.qpa"});
  expectSameBytes(disk + "/payload", 0, memory + "/app.qpa", 0, size);
  expectQuietSuccess({"embed", launcher, memory + "/app.qpa", "-o", disk + "/exe"});
  expectSameBytes(launcher, 0, disk + "/exe", 0, launcherSize);
  expectSameBytes(disk + "/payload", 0, disk + "/exe", launcherSize, size);
  expectQuietSuccess({"extract", disk + "/exe", "-o", memory + "/extracted"});
  ASSERT_EQ(fileSize(memory + "/extracted"), size);
  expectSameBytes(disk + "/payload", 0, memory + "/extracted", 0, size);
  expectQuietSuccess({"strip", disk + "/exe", "-o", memory + "/stripped"});
  ASSERT_EQ(fileSize(memory + "/stripped"), launcherSize);
  expectSameBytes(launcher, 0, memory + "/stripped", 0, launcherSize);
  for (const char* name : {"/app.qpa", "/extracted", "/stripped"}) {
    EXPECT_LT(allocatedBytes(memory + name), launcherSize + 2 * kMiB) << name;
  }
}

// A full file system: one clear line, and neither the output nor a temporary file is left, whether
// the kernel's copy (on the same file system) or the buffer (from another) meets it.
TEST(QpaLargeArchive, AFullFileSystemLeavesNoFile) {
  Deployment d;
  const std::string disk = d.root(), small = d.root() + "/small";
  Tmpfs tmpfs(small, 4);
  if (!tmpfs.mounted()) GTEST_SKIP() << "cannot mount a tmpfs: " << tmpfs.refusal();
  // On disk: a launcher and an archive of 3 MiB of data each, and both embedded; on the tmpfs, a
  // payload of 3 MiB, which leaves no room for a copy of it.
  const std::string launcher = disk + "/launcher";
  writeFile(launcher,
            "\x7f"
            "ELF" +
                randomBytes(3 * kMiB, 4));
  writeFile(disk + "/payload", randomBytes(3 * kMiB, 5));
  writeFile(small + "/payload", randomBytes(3 * kMiB, 6));
  ASSERT_EQ(runQpa({"pack", disk + "/payload", "-o", disk + "/app.qpa"}).status, 0);
  ASSERT_EQ(runQpa({"embed", launcher, disk + "/app.qpa", "-o", disk + "/exe"}).status, 0);
  const std::string out = small + "/out";
  const std::vector<std::vector<std::string>> runs = {
      {"pack", disk + "/payload", "-o", out},
      {"pack", small + "/payload", "-o", out},
      {"embed", launcher, disk + "/app.qpa", "-o", out},
      {"extract", disk + "/exe", "-o", out},
      {"strip", disk + "/exe", "-o", out},
  };
  for (const auto& args : runs) {
    SCOPED_TRACE(args[0] + " " + args[1]);
    ProcessOutcome run = runQpa(args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "qpa: cannot write " + out + ": No space left on device\n");
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(small)) left.push_back(entry.path());
    EXPECT_EQ(left, std::vector<std::string>{small + "/payload"});
  }
}

}  // namespace
