#pragma once
// The check a plug-in file passes before it is handed to the dynamic loader. The loader
// maps a library's segments as its headers describe them and crashes on the first page past
// the end of a truncated file instead of failing.

#include <cstdint>
#include <istream>
#include <string>

namespace corvane {

// True when the file is a 64-bit ELF object whose program headers and segments lie within
// its `size` bytes.
bool LooksLoadable(std::istream& in, std::uint64_t size);
bool LooksLoadable(const std::string& path);

}  // namespace corvane
