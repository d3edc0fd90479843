// Malformed archives, end to end: whatever the archive file holds, the launcher ends with the
// lines and status that its start-up sequence defines, and calls nothing in the runtime.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <functional>

#include "archive/data_block_layout.h"
#include "archive/data_block_writer.h"
#include "tests/block_fixtures.h"
#include "tests/deployment.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

const char kPayload[] = "out ok\\n\n";
const std::string kInvalid = "Error:Your application is not a valid Korvel compiled application.\n";
const std::string kCannotFind =
    "Error:Cannot find QPA archive $EXE.qpa\nError:Error initializing QPA Archive.\n";
const std::string kSidecarStatus =
    "Status:Executable file full name=$EXE\nStatus:QPA is embedded=false\n"
    "Status:QPA file name=$EXE.qpa\n";

// Standard output of a verbose run of the default sidecar archive with kPayload.
std::string sidecarRunOut(const Deployment& d) {
  return expand(kSidecarStatus, d) + defaultBlockListing() +
         "build library name=libqxzekztvrt.so.7.14.1\n1. search " + d.appDir() +
         "/runtime/tzora64/libqxzekztvrt.so.7.14.1\nFind libqxzekztvrt.so.7.14.1 in " + d.appDir() +
         "/runtime/tzora64\nStatus:zekInitializeApplication completed\nok\n";
}

struct SidecarCase {
  std::string name;
  std::string bytes;  // the whole sidecar file
  bool accepted;
  std::string listing = "";  // a malformed block has none
};

// The listing of a default block with one of its lines replaced.
std::string listingWith(const std::string& line, const std::string& replacement) {
  std::string text = defaultBlockListing();
  return text.replace(text.find(line), line.size(), replacement);
}

std::vector<SidecarCase> malformedSidecars() {
  std::vector<SidecarCase> cases;
  for (size_t size = 0; size <= 3; ++size)
    cases.push_back({std::to_string(size) + " bytes", std::string(size, '\x20'), false});
  cases.push_back({"only a trailer of 8192", block().substr(layout::kTrailerField.offset), false});
  cases.push_back({"block cut short by one byte", block().substr(1), false});
  const int32_t fileSize = static_cast<int32_t>(sizeof kPayload - 1 + layout::kBlockSize);
  for (int32_t trailer : {0, -1, -8192, INT32_MIN, 8191, 8193, fileSize + 1, INT32_MAX}) {
    cases.push_back({"trailer " + std::to_string(trailer),
                     kPayload + withInt32(block(), layout::kTrailerField, trailer), false});
  }

  // Each slot alone, so that its end mark is the end of the text area.
  const int32_t textAreaEnd = static_cast<int32_t>(layout::kTextAreaEnd);
  const int32_t textAreaBegin = static_cast<int32_t>(layout::kTextAreaBegin);
  for (int slot = 0; slot < layout::kTextSlotCount; ++slot) {
    auto s = static_cast<layout::TextSlot>(slot);
    std::string name(layout::kTextSlotNames[slot]);
    for (int32_t offset : {-1, INT32_MIN, 1, textAreaBegin - 1, textAreaEnd + 1,
                           static_cast<int32_t>(layout::kBlockSize), INT32_MAX}) {
      cases.push_back(
          {name + " at " + std::to_string(offset), kPayload + withSlots({{s, offset}}), false});
    }
    cases.push_back(
        {name + " at the text area's end: empty", kPayload + withSlots({{s, textAreaEnd}}), true});
    cases.push_back(
        {name + " at the text area's start", kPayload + withSlots({{s, textAreaBegin}}), true});
  }
  // Later slots end where the previous present text begins.
  for (int slot = layout::kCompleteMessage; slot < layout::kTextSlotCount; ++slot) {
    auto s = static_cast<layout::TextSlot>(slot);
    std::string name(layout::kTextSlotNames[slot]);
    cases.push_back({name + " equal to the start message's offset: empty",
                     kPayload + withSlots({{layout::kStartMessage, 5000}, {s, 5000}}), true});
    cases.push_back({name + " above the start message's offset",
                     kPayload + withSlots({{layout::kStartMessage, 5000}, {s, 5001}}), false});
  }
  cases.push_back(
      {"an absent slot leaves the end mark where it was",
       kPayload + withSlots({{layout::kStartMessage, 5000}, {layout::kComponentParam, 5001}}),
       false});

  cases.push_back({"tag field without a NUL", kPayload + block(tag(std::string(32, 'V'))), false});
  cases.push_back({"tag with characters up to the field's end",
                   kPayload + block(tag(std::string(layout::kVersionTag) + std::string(9, 'x'))),
                   false});
  // Well-formed blocks of another version: listed, then refused.
  cases.push_back({"major without a NUL", kPayload + block(versions("7777", "14", "1")), false,
                   listingWith("Major Version:7\0\0\0"s, "Major Version:7777")});
  cases.push_back({"minor without a NUL", kPayload + block(versions("7", "1444", "1")), false,
                   listingWith("Minor Version:14\0\0"s, "Minor Version:1444")});
  cases.push_back(
      {"major 7 with bytes after its NUL", kPayload + block(versions("7\0x\0"s, "14", "1")), true});
  return cases;
}

TEST(MalformedSidecar, EachMalformedBlockIsNotAnApplication) {
  Deployment d;
  for (const SidecarCase& c : malformedSidecars()) {
    SCOPED_TRACE(c.name);
    writeFile(d.sidecarPath(), c.bytes);
    LauncherRun r = d.run();
    if (c.accepted) {
      EXPECT_EQ(0, r.status);
      EXPECT_EQ("ok\n", r.out);
      EXPECT_EQ("", r.err);
      continue;
    }
    EXPECT_EQ(255, r.status);
    EXPECT_EQ("", r.out);
    EXPECT_EQ(kInvalid, r.err);
    EXPECT_EQ("", r.trace);
    r = d.run({}, {"QPAX_VERBOSE="});
    EXPECT_EQ(255, r.status);
    EXPECT_EQ(expand(kSidecarStatus, d) + c.listing, r.out);
    EXPECT_EQ(kInvalid, r.err);
    EXPECT_EQ("", r.trace);
  }
}

// The updater version is used up to the field's end, not beyond it.
TEST(MalformedSidecar, AnUpdaterWithoutANulNamesItsFourBytes) {
  Deployment d;
  d.writeSidecar(kPayload, versions("7", "14", "1111"));
  LauncherRun r = d.run();
  EXPECT_EQ(255, r.status);
  EXPECT_EQ("", r.out);
  EXPECT_EQ(
      "Error:Could not find version 7.14.1 of the ZTV.\n"
      "Attempting to load libqxzekztvrt.so.7.14.1111.\n"
      "Please install the correct version of the ZTV.\n"
      "Contact your vendor if you do not have an installer for the ZTV.\n",
      r.err);
  EXPECT_EQ("", r.trace);
}

TEST(MalformedSidecar, APathThatIsNoRegularFileIsNotAnApplication) {
  struct Case {
    const char* name;
    std::function<void(const Deployment&)> make;
    int uid;
    std::string out, err;
  } cases[] = {
      {"directory", [](const Deployment& d) { fs::create_directory(d.sidecarPath()); }, -1,
       kSidecarStatus, kInvalid},
      {"FIFO without a writer",
       [](const Deployment& d) { ASSERT_EQ(0, mkfifo(d.sidecarPath().c_str(), 0644)); }, -1,
       kSidecarStatus, kInvalid},
      {"link to a directory",
       [](const Deployment& d) { fs::create_directory_symlink(d.appDir(), d.sidecarPath()); }, -1,
       kSidecarStatus, kInvalid},
      {"link to an endless device",
       [](const Deployment& d) { fs::create_symlink("/dev/zero", d.sidecarPath()); }, -1,
       kSidecarStatus, kInvalid},
      {"unreadable file",
       [](const Deployment& d) {
         Deployment::writeArchive(d.sidecarPath(), kPayload);
         fs::permissions(d.sidecarPath(), fs::perms::none);
         if (geteuid() == 0) giveRootTo(d, kUnprivilegedUid);
       },
       kUnprivilegedUid, kSidecarStatus, kInvalid},
      // Its status cannot be read, so no archive exists there at all.
      {"symbolic link loop",
       [](const Deployment& d) {
         fs::create_symlink(d.executable() + ".loop", d.sidecarPath());
         fs::create_symlink(d.sidecarPath(), d.executable() + ".loop");
       },
       -1, "Status:Executable file full name=$EXE\nStatus:QPA is embedded=false\n", kCannotFind},
      {"link to a valid archive",
       [](const Deployment& d) {
         Deployment::writeArchive(d.root() + "/real.qpa", kPayload);
         fs::create_symlink(d.root() + "/real.qpa", d.sidecarPath());
       },
       -1, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Deployment d;
    c.make(d);
    ProcessLaunch launch;
    launch.program = d.executable();
    launch.argv = {d.executable()};
    launch.env = d.baseEnvironment();
    launch.env.push_back("QPAX_VERBOSE=");
    // Without root the test's own user cannot read the file either.
    if (geteuid() == 0) launch.uid = c.uid;
    launch.timeoutSeconds = 10;
    LauncherRun r = d.runWith(launch);
    EXPECT_FALSE(r.timedOut);
    if (c.err.empty()) {
      EXPECT_EQ(0, r.status);
      EXPECT_EQ(sidecarRunOut(d), r.out);
      EXPECT_EQ("", r.err);
      continue;
    }
    EXPECT_EQ(255, r.status);
    EXPECT_EQ(expand(c.out, d), r.out);
    EXPECT_EQ(expand(c.err, d), r.err);
    EXPECT_EQ("", r.trace);
  }
}

// An executable that ends in 8192 over anything but a well-formed block of the right tag carries
// no archive: the sidecar is looked for, and used when it is there.
TEST(MalformedAppended, ATrailerOverAMalformedBlockIsNotEmbedded) {
  struct Case {
    const char* name;
    std::string appended;
  } cases[] = {
      {"garbage", withInt32(std::string(layout::kBlockSize, '\xa5'), layout::kTrailerField,
                            layout::kBlockSize)},
      {"tag field without a NUL", block(tag(std::string(32, 'V')))},
      {"negative offset", withSlots({{layout::kStartMessage, -1}})},
      {"offset above the text area", withSlots({{layout::kMainParam, 8189}})},
      {"offsets out of order",
       withSlots({{layout::kStartMessage, 4000}, {layout::kCompleteMessage, 6000}})},
  };
  const std::string notEmbedded =
      "Status:Executable file full name=$EXE\nStatus:QPA is embedded=false\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Deployment d;
    d.appendToExecutable("out embedded\\n\n" + c.appended);
    LauncherRun r = d.run({}, {"QPAX_VERBOSE="});
    EXPECT_EQ(255, r.status);
    EXPECT_EQ(expand(notEmbedded, d), r.out);
    EXPECT_EQ(expand(kCannotFind, d), r.err);
    EXPECT_EQ("", r.trace);

    d.writeSidecar(kPayload);
    r = d.run({}, {"QPAX_VERBOSE="});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(sidecarRunOut(d), r.out);
    EXPECT_EQ("", r.err);
  }
}

}  // namespace
