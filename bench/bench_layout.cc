#include "bench/bench_layout.h"

bool makeBenchLayout(const std::string& root, BenchLayout* layout, std::string* err) {
  SharedBinaries binaries;
  if (!copyBuiltBinaries(root + "/bin", &binaries, err)) return false;
  for (size_t i = 0; i < kArchiveScales.size(); ++i) {
    const ArchiveScale& scale = kArchiveScales[i];
    if (!makeDeployment(root + "/sidecar-" + scale.label,
                        {ArchivePlacement::kSidecar, scale.size, true}, binaries,
                        &layout->sidecar[i], err) ||
        !makeDeployment(root + "/appended-" + scale.label,
                        {ArchivePlacement::kAppended, scale.size, true}, binaries,
                        &layout->appended[i], err)) {
      return false;
    }
  }
  uint64_t small = kArchiveScales[0].size;
  if (!makeDeployment(root + "/sidecar-start-message",
                      {ArchivePlacement::kSidecar, small, true, kStartMessage}, binaries,
                      &layout->sidecarStartMessage, err) ||
      !makeDeployment(root + "/appended-start-message",
                      {ArchivePlacement::kAppended, small, true, kStartMessage}, binaries,
                      &layout->appendedStartMessage, err)) {
    return false;
  }
  if (!binaries.portableLauncher.empty()) {
    SharedBinaries portable = binaries;
    portable.launcher = binaries.portableLauncher;
    if (!makeDeployment(root + "/portable-sidecar", {ArchivePlacement::kSidecar, small, true},
                        portable, &layout->portableSidecar, err) ||
        !makeDeployment(root + "/portable-appended", {ArchivePlacement::kAppended, small, true},
                        portable, &layout->portableAppended, err)) {
      return false;
    }
    layout->portable = true;
  }
  std::string dir = root + "/library-path";
  return makeDeployment(dir, {ArchivePlacement::kSidecar, small, false}, binaries,
                        &layout->libraryPath, err) &&
         makeLibraryPathDirectories(dir, kLibraryPathLengths.back(), err);
}
