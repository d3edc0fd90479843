#include "base/diagnostics.h"

#include <gtest/gtest.h>

#include "base/captured_output.h"
#include "base/launcher_state.h"

namespace {

class DiagnosticsTest : public ::testing::Test {
 protected:
  void TearDown() override { launcherState().verbose = false; }
};

TEST_F(DiagnosticsTest, QuietModeWritesErrorsAndLabelledLinesOnly) {
  launcherState().verbose = false;
  CapturedOutput output;
  reportStatus("Executable file full name=/x");
  reportError("Application initialization failed.");
  reportLine("Hello", "Starting Up");
  reportError("");
  EXPECT_EQ("Starting Up:Hello\n", output.out());
  EXPECT_EQ("Error:Application initialization failed.\nError:\n", output.err());
  EXPECT_EQ(41u + 7u, output.err().size());
}

TEST_F(DiagnosticsTest, VerboseModeAddsStatusLinesToStandardOutput) {
  launcherState().verbose = true;
  CapturedOutput output;
  reportStatus("QPA is embedded=false");
  reportStatus("two\nlines\n");
  reportError("first\nsecond");
  EXPECT_EQ("Status:QPA is embedded=false\nStatus:two\nlines\n\n", output.out());
  EXPECT_EQ("Error:first\nsecond\n", output.err());
}

TEST_F(DiagnosticsTest, ANullTextIsWrittenEmptyAndLaterLinesStillAppear) {
  CapturedOutput output;
  reportError(nullptr);
  reportError("after");
  reportLine(nullptr, nullptr);
  reportLine("after", "Starting Up");
  EXPECT_EQ("Error:\nError:after\n", output.err());
  EXPECT_EQ(":\nStarting Up:after\n", output.out());
}

// The collected form holds the very bytes that the written one writes.
TEST_F(DiagnosticsTest, AppendedLinesMatchTheWrittenOnes) {
  std::string collected;
  appendDiagnosticLine(&collected, "Status", "two\nlines\n");
  appendDiagnosticLine(&collected, nullptr, nullptr);
  appendDiagnosticLine(&collected, "Starting Up", "Hi");
  launcherState().verbose = true;
  CapturedOutput output;
  reportStatus("two\nlines\n");
  reportLine(nullptr, nullptr);
  reportLine("Hi", "Starting Up");
  EXPECT_EQ("Status:two\nlines\n\n:\nStarting Up:Hi\n", collected);
  EXPECT_EQ(collected, output.out());
}

}  // namespace
