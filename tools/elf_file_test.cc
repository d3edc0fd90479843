#include "tools/elf_file.h"

#include <elf.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "runtime/proxy_calls.h"
#include "tools/qpa_test_support.h"

namespace {

namespace fs = std::filesystem;

// |bytes| with |value| written at |offset|.
std::string patched(const std::string& bytes, size_t offset, unsigned char value) {
  return bytes.substr(0, offset) + static_cast<char>(value) + bytes.substr(offset + 1);
}

TEST(ElfFile, TheLaunchersFactsAsItIsBuilt) {
  ElfFacts facts;
  std::string err;
  ASSERT_TRUE(readElfFacts(LAUNCHER_PATH, &facts, &err)) << err;
  EXPECT_TRUE(isX8664(facts));
  EXPECT_TRUE(facts.dynamic);
  EXPECT_EQ(facts.interpreter, "/lib64/ld-linux-x86-64.so.2");
  EXPECT_FALSE(facts.bindNow);
  EXPECT_TRUE(facts.pie);
  EXPECT_EQ(facts.runPath,
            "$ORIGIN/../../bin/tzora64:$ORIGIN:$ORIGIN/../../../../bin/tzora64:$ORIGIN/../../../../"
            "sys/os/tzora64");
  EXPECT_TRUE(facts.runPathIsRunPath);
  EXPECT_NE(std::find(facts.needed.begin(), facts.needed.end(), kProxyLibraryName),
            facts.needed.end());
  EXPECT_EQ(facts.extent, facts.fileSize);
  EXPECT_EQ(describeClassAndMachine(facts), "64-bit x86-64");
}

TEST(ElfFile, TheStandInExportsExactlyTheSixteenFunctions) {
  ElfFacts facts;
  std::string err;
  ASSERT_TRUE(readElfFacts(STANDIN_PATH, &facts, &err)) << err;
  EXPECT_EQ(facts.type, ET_DYN);
  EXPECT_FALSE(facts.pie);
  std::vector<std::string> expected;
  for (const ProxyCall& call : kProxyCalls) expected.push_back(call.name);
  std::sort(expected.begin(), expected.end());
  std::sort(facts.exportedFunctions.begin(), facts.exportedFunctions.end());
  EXPECT_EQ(facts.exportedFunctions, expected);
}

TEST(ElfFile, ClassMachineAndAppendedBytes) {
  ScratchDirectory dir;
  const std::string launcher = readFile(LAUNCHER_PATH);
  struct Case {
    const char* name;
    std::string bytes;
    std::string described;
    bool x8664;
    uint64_t appended;
  } cases[] = {
      {"as built", launcher, "64-bit x86-64", true, 0},
      {"archive appended", launcher + std::string(9000, 'A'), "64-bit x86-64", true, 9000},
      {"another machine", patched(launcher, 18, EM_AARCH64), "64-bit machine 183", false, 0},
      {"another class", patched(patched(launcher, EI_CLASS, ELFCLASS32), 18, EM_386),
       "32-bit machine 3", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    writeFile(dir.file("exe"), c.bytes);
    ElfFacts facts;
    std::string err;
    ASSERT_TRUE(readElfFacts(dir.file("exe"), &facts, &err)) << err;
    EXPECT_EQ(describeClassAndMachine(facts), c.described);
    EXPECT_EQ(isX8664(facts), c.x8664);
    if (c.x8664) {
      EXPECT_EQ(facts.fileSize - facts.extent, c.appended);
    }
  }
}

TEST(ElfFile, RefusesWhatIsNoElfFile) {
  ScratchDirectory dir;
  writeFile(dir.file("empty"), "");
  writeFile(dir.file("text"), "#!/bin/sh\nexit 0\n");
  writeFile(dir.file("magic only"),
            "\x7f"
            "ELF");
  fs::create_directory(dir.file("directory"));
  const std::pair<std::string, std::string> cases[] = {
      {dir.file("empty"), dir.file("empty") + " is not an ELF file"},
      {dir.file("text"), dir.file("text") + " is not an ELF file"},
      {dir.file("magic only"), dir.file("magic only") + " is not an ELF file"},
      {dir.file("directory"), dir.file("directory") + " is not an ELF file"},
      {dir.file("missing"), "cannot open " + dir.file("missing") + ": No such file or directory"},
  };
  for (const auto& [path, why] : cases) {
    ElfFacts facts;
    std::string err;
    EXPECT_FALSE(readElfFacts(path, &facts, &err)) << path;
    EXPECT_EQ(err, why);
  }
}

}  // namespace
