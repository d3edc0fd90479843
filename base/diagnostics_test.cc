#include "base/diagnostics.h"

#include <gtest/gtest.h>

#include <sstream>

#include "base/launcher_state.h"
#include "base/standard_streams.h"

namespace {

// Captures what the diagnostics write to standard output and standard error.
class DiagnosticsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    oldOut_ = standardOutput().rdbuf(out_.rdbuf());
    oldErr_ = standardError().rdbuf(err_.rdbuf());
  }
  void TearDown() override {
    standardOutput().rdbuf(oldOut_);
    standardError().rdbuf(oldErr_);
    launcherState().verbose = false;
  }
  std::ostringstream out_, err_;
  std::streambuf* oldOut_ = nullptr;
  std::streambuf* oldErr_ = nullptr;
};

TEST_F(DiagnosticsTest, QuietModeWritesErrorsAndLabelledLinesOnly) {
  launcherState().verbose = false;
  reportStatus("Executable file full name=/x");
  reportError("Application initialization failed.");
  reportLine("Hello", "Starting Up");
  reportError("");
  EXPECT_EQ("Starting Up:Hello\n", out_.str());
  EXPECT_EQ("Error:Application initialization failed.\nError:\n", err_.str());
  EXPECT_EQ(41u + 7u, err_.str().size());
}

TEST_F(DiagnosticsTest, VerboseModeAddsStatusLinesToStandardOutput) {
  launcherState().verbose = true;
  reportStatus("QPA is embedded=false");
  reportStatus("two\nlines\n");
  reportError("first\nsecond");
  EXPECT_EQ("Status:QPA is embedded=false\nStatus:two\nlines\n\n", out_.str());
  EXPECT_EQ("Error:first\nsecond\n", err_.str());
}

TEST_F(DiagnosticsTest, ANullTextIsWrittenEmptyAndLaterLinesStillAppear) {
  reportError(nullptr);
  reportError("after");
  reportLine(nullptr, nullptr);
  reportLine("after", "Starting Up");
  EXPECT_EQ("Error:\nError:after\n", err_.str());
  EXPECT_EQ(":\nStarting Up:after\n", out_.str());
}

}  // namespace
