#include "bot/plugin_file.h"

#include <elf.h>

#include <cstring>
#include <fstream>

namespace corvane {

bool LooksLoadable(std::istream& in, std::uint64_t size) {
  Elf64_Ehdr eh{};
  if (size < sizeof eh || !in.read(reinterpret_cast<char*>(&eh), sizeof eh)) return false;
  if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64 ||
      eh.e_phentsize != sizeof(Elf64_Phdr) || eh.e_phnum == 0) {
    return false;
  }
  const std::uint64_t table_size = static_cast<std::uint64_t>(eh.e_phnum) * sizeof(Elf64_Phdr);
  if (eh.e_phoff > size || table_size > size - eh.e_phoff) return false;
  in.seekg(static_cast<std::streamoff>(eh.e_phoff));
  for (int i = 0; i < eh.e_phnum; ++i) {
    Elf64_Phdr ph{};
    if (!in.read(reinterpret_cast<char*>(&ph), sizeof ph)) return false;
    if (ph.p_offset > size || ph.p_filesz > size - ph.p_offset) return false;
  }
  return true;
}

bool LooksLoadable(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 0) return false;
  in.seekg(0);
  return LooksLoadable(in, static_cast<std::uint64_t>(size));
}

}  // namespace corvane
