// A fresh directory for a test's or the benchmark's files, removed with everything in it when the
// object goes.
#pragma once

#include <set>
#include <string>

class ScratchDirectory {
 public:
  // Made as |parent|/|prefix|-XXXXXX, below TMPDIR (or /tmp) when |parent| is empty; throws when
  // it cannot be made.
  explicit ScratchDirectory(const std::string& prefix = "korvel", const std::string& parent = "");
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  // The names in the directory, hidden ones included.
  std::set<std::string> names() const;

 private:
  std::string path_;
};
