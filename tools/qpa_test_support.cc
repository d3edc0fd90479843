#include "tools/qpa_test_support.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

ProcessOutcome runProgram(const std::string& program, const std::vector<std::string>& args,
                          const std::vector<std::string>& env) {
  ProcessLaunch launch;
  launch.program = program;
  launch.argv = {program};
  launch.argv.insert(launch.argv.end(), args.begin(), args.end());
  launch.env = env;
  ProcessOutcome outcome;
  std::string err;
  if (!runProcess(launch, &outcome, &err))
    ADD_FAILURE() << "cannot start " << program << ": " << err;
  return outcome;
}

ProcessOutcome runQpa(const std::vector<std::string>& args) {
  return runProgram(QPA_PATH, args, {});
}

mode_t permissionBits(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return 0;
  return st.st_mode & 07777;
}

void expectRefused(const ScratchDirectory& dir, const std::vector<RefusedRun>& runs) {
  const std::set<std::string> before = dir.names();
  for (const RefusedRun& run : runs) {
    ProcessOutcome result = runQpa(run.args);
    EXPECT_EQ(result.status, 1) << run.err;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, run.err);
    EXPECT_EQ(dir.names(), before) << run.err;
  }
}

void PackedAppTest::packApp(const std::string& payloadBytes, mode_t launcherMode,
                            const std::vector<std::string>& packOptions) {
  writeFile(payload_, payloadBytes);
  writeFile(launcher_, launcherBytes_, launcherMode);
  std::vector<std::string> pack = {"pack", payload_, "-o", archive_};
  pack.insert(pack.end(), packOptions.begin(), packOptions.end());
  ProcessOutcome run = runQpa(pack);
  ASSERT_EQ(run.status, 0) << run.err;
}

void PackedAppTest::makeApp(const std::string& payloadBytes, mode_t launcherMode,
                            const std::vector<std::string>& packOptions) {
  ASSERT_NO_FATAL_FAILURE(packApp(payloadBytes, launcherMode, packOptions));
  ProcessOutcome run = runQpa({"embed", launcher_, archive_, "-o", exe_});
  ASSERT_EQ(run.status, 0) << run.err;
}
