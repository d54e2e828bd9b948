// Fuzz target for the INI store in config/ini_file.h.
//
// The input is the file, rewritten at each run under /dev/shm (or /tmp) with the pid in its
// name. Byte 0 picks the section and byte 1 the key of the single write (an existing one or a
// new one); the last 16 bytes are its value. Every read must keep within its limits, the write
// must read back, and the other keys must keep their values.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "config/ini_file.h"

namespace {

using corvane::TIniFile;

// Values can never hold a line break, so this default tells "missing" apart.
const std::string kMissing = "\n";

void Check(bool ok) {
  if (!ok) {
    __builtin_trap();
  }
}

// In memory where possible: every write of the store ends in an fsync. Removed at exit.
const std::string& Path() {
  static const struct Owned {
    std::string path;
    ~Owned() { ::unlink(path.c_str()); }
  } file{std::string(::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/corvane-ini-fuzz-" +
         std::to_string(::getpid()) + ".ini"};
  return file.path;
}

void WriteFile(const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(Path().c_str(), "wb");
  Check(f != nullptr);
  Check(std::fwrite(data, 1, size, f) == size);
  Check(std::fclose(f) == 0);
}

using Snapshot = std::vector<std::pair<std::string, std::map<std::string, std::string>>>;

// Every section with its keys and values as the store reads them.
Snapshot Read(const TIniFile& ini) {
  Snapshot all;
  for (const std::string& section : ini.ReadSections()) {
    auto& keys = all.emplace_back(section, std::map<std::string, std::string>{}).second;
    for (const std::string& key : ini.ReadKeys(section)) {
      const std::string value = ini.ReadString(section, key, kMissing);
      Check(value != kMissing && value.size() <= TIniFile::kMaxValue);
      Check(value.find_first_of("\r\n") == std::string::npos);
      ini.ReadInteger(section, key, 0);
      keys.emplace(key, value);
    }
  }
  return all;
}

// Names as the store matches them.
bool Same(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c | 0x20) : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

std::string Expected(const std::string& value) {
  return value.substr(0, value.find_first_of("\r\n")).substr(0, TIniFile::kMaxValue);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  WriteFile(data, size);
  TIniFile ini(Path());
  const Snapshot before = Read(ini);

  std::string section = "Fuzz section";
  std::string key = "fuzz key";
  if (!before.empty() && data[0] % 4 != 0) {
    const auto& picked = before[data[0] % before.size()];
    section = picked.first;
    if (!picked.second.empty() && data[1] % 3 != 0) {
      auto it = picked.second.begin();
      std::advance(it, data[1] % picked.second.size());
      key = it->first;
    }
  }
  const std::size_t tail = size < 16 ? size : 16;
  const std::string value(reinterpret_cast<const char*>(data) + size - tail, tail);

  Check(ini.WriteString(section, key, value));
  Check(ini.ReadString(section, key, kMissing) == Expected(value));

  // Nothing else moved: the sections read before are still there in the same order, with
  // the same values; only the written key may be new or changed.
  Snapshot after = Read(ini);
  Check(after.size() >= before.size());
  for (std::size_t i = 0; i < before.size(); ++i) {
    Check(after[i].first == before[i].first);
    auto keys = after[i].second;
    for (const auto& [name, old_value] : before[i].second) {
      auto it = keys.find(name);
      Check(it != keys.end());
      if (it->second != old_value) {
        Check(Same(after[i].first, section) && Same(name, key) && it->second == Expected(value));
      }
      keys.erase(it);
    }
    Check(keys.size() <= 1);
  }

  // A batch writes once; nested updates count. Each of the three writes has its own key
  // unless the file happens to use the same names, which the later write wins.
  const std::int32_t number = static_cast<std::int32_t>(size) - 5000;
  const bool flag = data[1] & 1;
  ini.BeginUpdate();
  ini.BeginUpdate();
  Check(ini.WriteInteger(section, "fuzz number", number));
  Check(ini.EndUpdate());
  Check(ini.WriteBool("Fuzz flags", "flag", flag));
  Check(ini.WriteString(section, key, value + "!"));
  Check(ini.EndUpdate());

  TIniFile fresh(Path());
  const bool number_kept = !Same(key, "fuzz number");
  const bool flag_kept = !Same(section, "Fuzz flags") || !Same(key, "flag");
  Check(!number_kept || fresh.ReadInteger(section, "fuzz number", 0) == number);
  Check(!flag_kept || fresh.ReadBool("Fuzz flags", "flag", !flag) == flag);
  Check(fresh.ReadString(section, key, kMissing) == Expected(value + "!"));
  return 0;
}
