// Fuzz target for the check a plug-in file passes before it is handed to the dynamic
// loader: any bytes, as a file of that size. A file it accepts has its program header
// table and every segment inside it.

#include <elf.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>

#include "bot/plugin_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::istringstream in(bytes);
  if (!corvane::LooksLoadable(in, size)) return 0;
  Elf64_Ehdr eh;
  if (size < sizeof eh) __builtin_trap();
  std::memcpy(&eh, data, sizeof eh);
  const std::uint64_t end = eh.e_phoff + std::uint64_t{eh.e_phnum} * sizeof(Elf64_Phdr);
  if (end > size) __builtin_trap();
  for (int i = 0; i < eh.e_phnum; ++i) {
    Elf64_Phdr ph;
    std::memcpy(&ph, data + eh.e_phoff + i * sizeof ph, sizeof ph);
    if (ph.p_offset + ph.p_filesz > size || ph.p_offset + ph.p_filesz < ph.p_offset) {
      __builtin_trap();
    }
  }
  return 0;
}
