#include "runtime_search/search_candidates.h"

#include <gtest/gtest.h>

#include <ostream>

void PrintTo(const SearchCandidate& c, std::ostream* out) {
  *out << "{stage " << static_cast<int>(c.stage) << ", path \"" << c.path << "\", location \""
       << c.location << "\"}";
}

namespace {

constexpr char kName[] = "libqxzekztvrt.so.7.14.1";

SearchCandidate platform(const std::string& directory) {
  return {SearchStage::kPlatformDirectory, directory + "/" + kName, directory};
}

SearchCandidate entry(const std::string& path, const std::string& asWritten) {
  return {SearchStage::kLibraryPath, path, asWritten};
}

struct CandidatesCase {
  const char* label;
  const char* applicationDirectory;
  std::optional<std::string> libraryPath;
  std::vector<SearchCandidate> candidates;
};

TEST(SearchCandidatesTest, ListsThePlatformDirectoryThenEveryLibraryPathEntry) {
  const std::string name = kName;
  const std::string opt = "/opt/app/runtime/tzora64";
  const CandidatesCase cases[] = {
      {"unset", "/opt/app", std::nullopt, {platform(opt)}},
      {"empty value", "/opt/app", "", {platform(opt)}},
      {"only separators",
       "/opt/app",
       "::",
       {platform(opt), entry(name, ""), entry(name, ""), entry(name, "")}},
      {"empty entry between two",
       "/opt/app",
       "/a::/b",
       {platform(opt), entry("/a/" + name, "/a"), entry(name, ""), entry("/b/" + name, "/b")}},
      {"trailing slash",
       "/opt/app",
       "/opt/rt/",
       {platform(opt), entry("/opt/rt/" + name, "/opt/rt/")}},
      {"blank-padded entries",
       "/opt/app",
       " /usr/lib :\t/opt/rt/ : ",
       {platform(opt), entry("/usr/lib/" + name, " /usr/lib "),
        entry("/opt/rt/" + name, "\t/opt/rt/ "), entry(name, " ")}},
      {"duplicate directory",
       "/opt/app",
       "/opt/rt:/usr/lib:/opt/rt",
       {platform(opt), entry("/opt/rt/" + name, "/opt/rt"), entry("/usr/lib/" + name, "/usr/lib"),
        entry("/opt/rt/" + name, "/opt/rt")}},
      {"relative entry", "/opt/app", "lib", {platform(opt), entry("lib/" + name, "lib")}},
      {"empty application directory", "", std::nullopt, {platform("runtime/tzora64")}},
      {"application directory with trailing slash", "/opt/app/", std::nullopt, {platform(opt)}},
  };
  for (const CandidatesCase& c : cases) {
    EXPECT_EQ(listSearchCandidates(c.applicationDirectory, name, c.libraryPath), c.candidates)
        << c.label;
  }
}

}  // namespace
