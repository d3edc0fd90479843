// The facts of an ELF file that decide whether and how the dynamic loader can load it, read
// through libelf: class, machine and type, the needed libraries, the run path, and the functions
// that a shared object exports.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct ElfFacts {
  unsigned char elfClass = 0;  // ELFCLASS32 or ELFCLASS64
  uint16_t machine = 0;        // EM_*
  uint16_t type = 0;           // ET_EXEC, ET_DYN, ...
  std::vector<std::string> needed;
  // DT_RUNPATH when there is one, else DT_RPATH: the loader ignores DT_RPATH beside DT_RUNPATH.
  std::optional<std::string> runPath;
  bool runPathIsRunPath = false;  // true for DT_RUNPATH, false for DT_RPATH
  // Names an interpreter: the kernel hands the start to the dynamic loader. A static executable,
  // position-independent or not, names none.
  bool dynamic = false;
  std::string interpreter;  // the path that PT_INTERP names, which the kernel starts
  bool bindNow = false;     // DF_BIND_NOW or DF_1_NOW: every symbol is bound at load
  bool pie = false;         // DF_1_PIE: an executable of type ET_DYN, which dlopen refuses to load
  // The bytes that the headers, sections and segments cover, and the file's size: anything
  // beyond the former was appended to the file.
  uint64_t extent = 0;
  uint64_t fileSize = 0;
  // Defined global and weak functions of default visibility in the dynamic symbol table.
  std::vector<std::string> exportedFunctions;
};

// Reads the facts of the file at |path|. Fails, saying why, when the file cannot be read or is
// not an ELF file.
bool readElfFacts(const std::string& path, ElfFacts* facts, std::string* err);

// True for a 64-bit x86-64 file, the only kind this system's loader and launcher take.
bool isX8664(const ElfFacts& facts);

// "64-bit x86-64", "32-bit machine 3", ...: the class and machine of |facts| for messages.
std::string describeClassAndMachine(const ElfFacts& facts);
