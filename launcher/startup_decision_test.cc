#include "launcher/startup_decision.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "archive/data_block_writer.h"
#include "base/captured_output.h"
#include "tests/block_fixtures.h"
#include "tests/deployment.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

const char kInvalid[] = "Your application is not a valid Korvel compiled application.";

void append(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::app) << bytes;
}

// A deployment on disk, removed with the object: root/app/tool, its runtime library in
// root/app/runtime/tzora64, and whatever archive a case gives it.
struct Layout {
  Layout() {
    root = scratch.path();
    app = root + "/app";
    exe = app + "/tool";
    library = app + "/runtime/tzora64/" + kRuntimeLibraryName;
    fs::create_directories(app + "/runtime/tzora64");
    writeFile(exe,
              "\x7f"
              "ELF launcher");
    writeFile(library, "");
  }

  // Replaces $EXE, $ROOT and $LIB (the library in the platform directory) in |text|.
  std::string expand(std::string text) const {
    for (auto [key, value] : {std::pair{"$EXE"s, exe}, {"$ROOT"s, root}, {"$LIB"s, library}}) {
      for (size_t at; (at = text.find(key)) != std::string::npos;)
        text.replace(at, key.size(), value);
    }
    return text;
  }

  ScratchDirectory scratch{"startup_decision_test"};
  std::string root, app, exe, library;
};

std::vector<std::string> tested(const StartupDecision& d) {
  std::vector<std::string> paths;
  for (const SearchCandidate& c : d.runtimeSearch.tested) paths.push_back(c.path);
  return paths;
}

DataBlockFields withStart(std::optional<std::string> start) {
  DataBlockFields f;
  f.startMessage = std::move(start);
  return f;
}

DataBlockFields withVersions(std::string major, std::string minor, std::string updater = "1") {
  DataBlockFields f;
  f.majorVersion = std::move(major);
  f.minorVersion = std::move(minor);
  f.updaterVersion = std::move(updater);
  return f;
}

TEST(StartupDecision, TakesEachStepUpToTheFirstFailure) {
  DataBlockFields otherTag;
  otherTag.versionTag = "V1DRN4000HBS1000ZTV1001";
  struct Case {
    const char* name;
    std::function<void(const Layout&)> deploy;
    std::optional<std::string> libraryPath;
    StartupFailure failure;
    bool embedded;
    std::string refusal;  // $EXE: the executable
    std::vector<std::string> tested;
    std::optional<std::string> startMessage;
  } cases[] = {
      {"sidecar",
       [](const Layout& t) { writeFile(t.exe + ".qpa", "payload" + block(withStart(" Hi\n"))); },
       std::nullopt,
       StartupFailure::kNone,
       false,
       "",
       {"$LIB"},
       "Hi"},
      {"appended",
       [](const Layout& t) { append(t.exe, "payload" + block(withStart(std::nullopt))); },
       std::nullopt,
       StartupFailure::kNone,
       true,
       "",
       {"$LIB"},
       std::nullopt},
      {"blank start message",
       [](const Layout& t) { writeFile(t.exe + ".qpa", block(withStart(" \t"))); },
       std::nullopt,
       StartupFailure::kNone,
       false,
       "",
       {"$LIB"},
       ""},
      {"no archive",
       [](const Layout&) {},
       std::nullopt,
       StartupFailure::kNoArchive,
       false,
       "",
       {},
       std::nullopt},
      {"sidecar too short",
       [](const Layout& t) { writeFile(t.exe + ".qpa", "short"); },
       std::nullopt,
       StartupFailure::kNotAnApplication,
       false,
       "$EXE.qpa is 5 bytes, shorter than 8192",
       {},
       std::nullopt},
      {"sidecar of another tag",
       [&](const Layout& t) { writeFile(t.exe + ".qpa", block(otherTag)); },
       std::nullopt,
       StartupFailure::kNotAnApplication,
       false,
       "the version tag is \"V1DRN4000HBS1000ZTV1001\", not \"V1DRN4000HBS1000ZTV1000\"",
       {},
       std::nullopt},
      // An accepted block of another version.
      {"major 8",
       [](const Layout& t) { writeFile(t.exe + ".qpa", block(withVersions("8", "14"))); },
       std::nullopt,
       StartupFailure::kNotAnApplication,
       false,
       "",
       {},
       std::nullopt},
      {"appended block of another tag over a sidecar",
       [&](const Layout& t) {
         append(t.exe, block(otherTag));
         writeFile(t.exe + ".qpa", block());
       },
       std::nullopt,
       StartupFailure::kNone,
       false,
       "",
       {"$LIB"},
       std::nullopt},
      {"runtime missing",
       [](const Layout& t) {
         writeFile(t.exe + ".qpa", block());
         fs::remove(t.library);
       },
       "$ROOT/a:",
       StartupFailure::kRuntimeMissing,
       false,
       "",
       {"$LIB", "$ROOT/a/" + std::string(kRuntimeLibraryName), kRuntimeLibraryName},
       std::nullopt},
      {"runtime in the library path",
       [](const Layout& t) {
         writeFile(t.exe + ".qpa", block());
         fs::remove(t.library);
         fs::create_directories(t.root + "/b");
         writeFile(t.root + "/b/" + kRuntimeLibraryName, "");
       },
       "$ROOT/a:$ROOT/b:$ROOT/c",
       StartupFailure::kNone,
       false,
       "",
       {"$LIB", "$ROOT/a/" + std::string(kRuntimeLibraryName),
        "$ROOT/b/" + std::string(kRuntimeLibraryName)},
       std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Layout t;
    c.deploy(t);
    std::optional<std::string> libraryPath;
    if (c.libraryPath) libraryPath = t.expand(*c.libraryPath);

    StartupDecision d = decideStartup(t.exe, libraryPath, nullptr);
    EXPECT_EQ(d.failure, c.failure);
    EXPECT_EQ(d.reachesRuntime(), c.failure == StartupFailure::kNone);
    EXPECT_EQ(d.executablePath, t.exe);
    EXPECT_EQ(d.applicationDirectory, t.app);
    EXPECT_EQ(d.archiveEmbedded, c.embedded);
    EXPECT_EQ(d.archivePath, c.embedded ? t.exe : t.exe + ".qpa");
    EXPECT_EQ(d.archiveExists, c.failure != StartupFailure::kNoArchive);
    EXPECT_EQ(d.blockRefusal, t.expand(c.refusal));
    EXPECT_EQ(d.versionAccepted, d.archiveExists && c.failure != StartupFailure::kNotAnApplication);
    std::vector<std::string> expectedTested;
    for (const std::string& path : c.tested) expectedTested.push_back(t.expand(path));
    EXPECT_EQ(tested(d), expectedTested);
    EXPECT_EQ(d.startMessage, c.startMessage);

    std::vector<std::string> messages;
    switch (c.failure) {
      case StartupFailure::kNone:
        break;
      case StartupFailure::kNoArchive:
        messages = {"Cannot find QPA archive " + t.exe + ".qpa", "Error initializing QPA Archive."};
        break;
      case StartupFailure::kNotAnApplication:
        messages = {kInvalid};
        break;
      case StartupFailure::kRuntimeMissing:
        messages = {runtimeMissingMessage(kRuntimeLibraryName)};
        break;
    }
    EXPECT_EQ(d.errorMessages, messages);
  }
}

// The verbose lines come in the launcher's order: an appended archive is listed by the probe and
// again when it is read.
TEST(StartupDecision, WritesTheVerboseLinesAsTheStepsAreTaken) {
  Layout t;
  append(t.exe, "payload" + block(withStart("Hi")));
  const std::string listing = defaultBlockListing("Hi");
  std::string verbose;
  CapturedOutput output;
  StartupDecision d = decideStartup(t.exe, "", &verbose);
  decideStartup(t.exe, "", nullptr);
  EXPECT_EQ(output.out(), "");
  EXPECT_EQ(output.err(), "");
  EXPECT_TRUE(d.reachesRuntime());
  EXPECT_EQ(verbose, "Status:Executable file full name=" + t.exe + "\n" + listing +
                         "Status:QPA is embedded=true\nStatus:QPA file name=" + t.exe + "\n" +
                         listing + "build library name=" + kRuntimeLibraryName + "\n1. search " +
                         t.library + "\nFind " + kRuntimeLibraryName + " in " + t.app +
                         "/runtime/tzora64\n");
}

TEST(StartupDecision, StopsTheVerboseLinesAtTheFailure) {
  Layout t;
  writeFile(t.exe + ".qpa", block(withVersions("7", "15")));
  std::string verbose;
  StartupDecision d = decideStartup(t.exe, std::nullopt, &verbose);
  EXPECT_EQ(d.failure, StartupFailure::kNotAnApplication);
  EXPECT_EQ(verbose.substr(0, verbose.find("QPA_DataBlock:")),
            "Status:Executable file full name=" + t.exe +
                "\nStatus:QPA is embedded=false\nStatus:QPA file name=" + t.exe + ".qpa\n");
  EXPECT_EQ(verbose.find("build library name="), std::string::npos);
}

}  // namespace
