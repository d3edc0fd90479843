// Reading and writing whole files as bytes, for the harness, the tests and the benchmark.
#pragma once

#include <sys/types.h>

#include <string>

// Every byte of the file at |path|; empty when it cannot be read.
std::string readFile(const std::string& path);

// Replaces the file at |path| with |bytes| and gives it the permission bits |mode|; throws when
// it cannot be written.
void writeFile(const std::string& path, const std::string& bytes, mode_t mode = 0644);
