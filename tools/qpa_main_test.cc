// The qpa command line as a whole: every subcommand's help, and a missing subcommand.
#include <gtest/gtest.h>

#include "tools/qpa_test_support.h"

namespace {

TEST(QpaCommandLine, EverySubcommandExplainsItself) {
  const std::pair<std::string, std::string> usages[] = {
      {"pack", "Usage: qpa pack [OPTIONS] PAYLOAD\n"},
      {"embed", "Usage: qpa embed [OPTIONS] LAUNCHER ARCHIVE\n"},
      {"show", "Usage: qpa show [OPTIONS] FILE\n"},
      {"check", "Usage: qpa check [OPTIONS] EXECUTABLE\n"},
      {"extract", "Usage: qpa extract [OPTIONS] FILE\n"},
      {"strip", "Usage: qpa strip [OPTIONS] EXECUTABLE\n"},
  };
  for (const auto& [name, usage] : usages) {
    ProcessOutcome run = runQpa({name, "--help"});
    EXPECT_EQ(run.status, 0) << name;
    EXPECT_NE(run.out.find(usage), std::string::npos) << run.out;
    EXPECT_EQ(run.err, "") << name;
  }
  ProcessOutcome run = runQpa({"--help"});
  EXPECT_EQ(run.status, 0);
  for (const auto& [name, usage] : usages) {
    EXPECT_NE(run.out.find("\n  " + name + " "), std::string::npos) << name << "\n" << run.out;
  }
}

TEST(QpaCommandLine, ASubcommandIsNeeded) {
  ProcessOutcome run = runQpa({});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err,
            "qpa: no subcommand given: pack, embed, show, check, extract or strip (see qpa "
            "--help)\n");
  run = runQpa({"list"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "qpa: The following argument was not expected: list\n");
}

}  // namespace
