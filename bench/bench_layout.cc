#include "bench/bench_layout.h"

bool makeBenchLayout(const std::string& root, BenchLayout* layout, std::string* err) {
  SharedBinaries binaries;
  if (!copyBuiltBinaries(root + "/bin", &binaries, err)) return false;
  for (size_t i = 0; i < kArchiveScales.size(); ++i) {
    const ArchiveScale& scale = kArchiveScales[i];
    if (!makeDeployment(root + "/sidecar-" + scale.label,
                        {.placement = ArchivePlacement::kSidecar, .archiveSize = scale.size},
                        binaries, &layout->sidecar[i], err) ||
        !makeDeployment(root + "/appended-" + scale.label,
                        {.placement = ArchivePlacement::kAppended, .archiveSize = scale.size},
                        binaries, &layout->appended[i], err)) {
      return false;
    }
  }
  // Every other case has the smallest archive, the shape's default.
  static_assert(DeploymentShape{}.archiveSize == kArchiveScales[0].size);
  if (!makeDeployment(root + "/sidecar-start-message",
                      {.placement = ArchivePlacement::kSidecar, .startMessage = kStartMessage},
                      binaries, &layout->sidecarStartMessage, err) ||
      !makeDeployment(root + "/appended-start-message",
                      {.placement = ArchivePlacement::kAppended, .startMessage = kStartMessage},
                      binaries, &layout->appendedStartMessage, err) ||
      !makeDeployment(root + "/empty-runtime-sidecar",
                      {.placement = ArchivePlacement::kSidecar, .emptyRuntime = true}, binaries,
                      &layout->emptyRuntimeSidecar, err) ||
      !makeDeployment(root + "/empty-runtime-appended",
                      {.placement = ArchivePlacement::kAppended, .emptyRuntime = true}, binaries,
                      &layout->emptyRuntimeAppended, err)) {
    return false;
  }
  if (!binaries.portableLauncher.empty()) {
    SharedBinaries portable = binaries;
    portable.launcher = binaries.portableLauncher;
    if (!makeDeployment(root + "/portable-sidecar", {.placement = ArchivePlacement::kSidecar},
                        portable, &layout->portableSidecar, err) ||
        !makeDeployment(root + "/portable-appended", {.placement = ArchivePlacement::kAppended},
                        portable, &layout->portableAppended, err)) {
      return false;
    }
    layout->portable = true;
  }
  std::string dir = root + "/library-path";
  return makeDeployment(dir, {.placement = ArchivePlacement::kSidecar, .platformLibrary = false},
                        binaries, &layout->libraryPath, err) &&
         makeLibraryPathDirectories(dir, kLibraryPathLengths.back(), err);
}
