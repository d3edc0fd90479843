#include "tools/elf_file.h"

#include <fcntl.h>
#include <gelf.h>
#include <libelf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// Closes the descriptor and ends the libelf handle however the read ends.
class ElfHandle {
 public:
  explicit ElfHandle(int fd) : fd_(fd) {}
  ~ElfHandle() {
    if (elf_) elf_end(elf_);
    if (fd_ >= 0) close(fd_);
  }
  ElfHandle(const ElfHandle&) = delete;
  ElfHandle& operator=(const ElfHandle&) = delete;
  Elf** elf() { return &elf_; }
  int fd() const { return fd_; }

 private:
  int fd_;
  Elf* elf_ = nullptr;
};

std::string elfError() { return elf_errmsg(-1); }

bool readDynamic(Elf* elf, Elf_Scn* section, const GElf_Shdr& header, ElfFacts* facts) {
  Elf_Data* data = elf_getdata(section, nullptr);
  if (!data || header.sh_entsize == 0) return false;
  std::optional<std::string> rpath, runpath;
  for (size_t i = 0; i < header.sh_size / header.sh_entsize; ++i) {
    GElf_Dyn entry;
    if (!gelf_getdyn(data, static_cast<int>(i), &entry)) return false;
    if (entry.d_tag == DT_NULL) break;
    if ((entry.d_tag == DT_FLAGS && (entry.d_un.d_val & DF_BIND_NOW)) ||
        (entry.d_tag == DT_FLAGS_1 && (entry.d_un.d_val & DF_1_NOW))) {
      facts->bindNow = true;
    }
    if (entry.d_tag == DT_FLAGS_1 && (entry.d_un.d_val & DF_1_PIE)) facts->pie = true;
    if (entry.d_tag != DT_NEEDED && entry.d_tag != DT_RPATH && entry.d_tag != DT_RUNPATH) continue;
    const char* text = elf_strptr(elf, header.sh_link, entry.d_un.d_val);
    if (!text) return false;
    if (entry.d_tag == DT_NEEDED) facts->needed.push_back(text);
    if (entry.d_tag == DT_RPATH) rpath = text;
    if (entry.d_tag == DT_RUNPATH) runpath = text;
  }
  facts->runPathIsRunPath = runpath.has_value();
  facts->runPath = runpath ? runpath : rpath;
  return true;
}

bool readDynamicSymbols(Elf* elf, Elf_Scn* section, const GElf_Shdr& header, ElfFacts* facts) {
  Elf_Data* data = elf_getdata(section, nullptr);
  if (!data || header.sh_entsize == 0) return false;
  for (size_t i = 0; i < header.sh_size / header.sh_entsize; ++i) {
    GElf_Sym symbol;
    if (!gelf_getsym(data, static_cast<int>(i), &symbol)) return false;
    int type = GELF_ST_TYPE(symbol.st_info);
    int bind = GELF_ST_BIND(symbol.st_info);
    if ((type != STT_FUNC && type != STT_GNU_IFUNC) || symbol.st_shndx == SHN_UNDEF ||
        (bind != STB_GLOBAL && bind != STB_WEAK) ||
        GELF_ST_VISIBILITY(symbol.st_other) != STV_DEFAULT) {
      continue;
    }
    const char* name = elf_strptr(elf, header.sh_link, symbol.st_name);
    if (!name) return false;
    facts->exportedFunctions.push_back(name);
  }
  return true;
}

}  // namespace

bool readElfFacts(const std::string& path, ElfFacts* facts, std::string* err) {
  *facts = ElfFacts();
  if (elf_version(EV_CURRENT) == EV_NONE) {
    *err = "libelf: " + elfError();
    return false;
  }
  // Non-blocking, so that a FIFO never stalls the read; a regular file is unaffected.
  ElfHandle handle(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (handle.fd() < 0) {
    *err = "cannot open " + path + ": " + strerror(errno);
    return false;
  }
  // Mapped rather than read, so that an executable with a large archive appended costs no more.
  *handle.elf() = elf_begin(handle.fd(), ELF_C_READ_MMAP, nullptr);
  Elf* elf = *handle.elf();
  GElf_Ehdr header;
  if (!elf || elf_kind(elf) != ELF_K_ELF || !gelf_getehdr(elf, &header)) {
    *err = path + " is not an ELF file";
    return false;
  }
  facts->elfClass = header.e_ident[EI_CLASS];
  facts->machine = header.e_machine;
  facts->type = header.e_type;
  struct stat status;
  if (fstat(handle.fd(), &status) == 0) facts->fileSize = static_cast<uint64_t>(status.st_size);
  facts->extent = std::max<uint64_t>(
      header.e_ehsize, header.e_shoff + uint64_t{header.e_shnum} * header.e_shentsize);
  facts->extent = std::max<uint64_t>(
      facts->extent, header.e_phoff + uint64_t{header.e_phnum} * header.e_phentsize);
  size_t segments = 0;
  if (elf_getphdrnum(elf, &segments) == 0) {
    for (size_t i = 0; i < segments; ++i) {
      GElf_Phdr segment;
      if (!gelf_getphdr(elf, static_cast<int>(i), &segment)) continue;
      facts->extent = std::max<uint64_t>(facts->extent, segment.p_offset + segment.p_filesz);
      if (segment.p_type != PT_INTERP) continue;
      facts->dynamic = true;
      size_t size = 0;
      const char* image = elf_rawfile(elf, &size);
      if (image && segment.p_offset < size) {
        size_t length = std::min<uint64_t>(segment.p_filesz, size - segment.p_offset);
        facts->interpreter = std::string(image + segment.p_offset, length).c_str();
      }
    }
  }
  for (Elf_Scn* section = nullptr; (section = elf_nextscn(elf, section));) {
    GElf_Shdr sectionHeader;
    if (!gelf_getshdr(section, &sectionHeader)) continue;
    if (sectionHeader.sh_type != SHT_NOBITS) {
      facts->extent =
          std::max<uint64_t>(facts->extent, sectionHeader.sh_offset + sectionHeader.sh_size);
    }
    bool ok = true;
    if (sectionHeader.sh_type == SHT_DYNAMIC) {
      ok = readDynamic(elf, section, sectionHeader, facts);
    } else if (sectionHeader.sh_type == SHT_DYNSYM) {
      ok = readDynamicSymbols(elf, section, sectionHeader, facts);
    }
    if (!ok) {
      *err = path + ": malformed ELF file: " + elfError();
      return false;
    }
  }
  return true;
}

bool isX8664(const ElfFacts& facts) {
  return facts.elfClass == ELFCLASS64 && facts.machine == EM_X86_64;
}

std::string describeClassAndMachine(const ElfFacts& facts) {
  std::string bits = facts.elfClass == ELFCLASS64   ? "64-bit"
                     : facts.elfClass == ELFCLASS32 ? "32-bit"
                                                    : "class " + std::to_string(facts.elfClass);
  std::string machine =
      facts.machine == EM_X86_64 ? "x86-64" : "machine " + std::to_string(facts.machine);
  return bits + " " + machine;
}
