// Fuzz target for usrcmd.bin in bot/command_processor.h: the input is the whole file,
// loaded into a database that holds the internal commands, as at start-up. The load must
// give what the plain operations give for the same entries, and what it saves must load
// into a fresh database that saves the very same bytes.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "bot/command_processor.h"
#include "net/Buffer.h"

namespace {

using corvane::TBotCommand;
using corvane::TBotCommandControl;
using corvane::TBuffer;

void Check(bool ok) {
  if (!ok) {
    __builtin_trap();
  }
}

// Every save syncs the file to disk, which on a disk-backed /tmp costs far more than the
// rest of a run: TMPDIR can point at a memory file system instead.
std::string TempPath(const char* which) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/corvane_usrcmd_fuzz_" +
         std::to_string(getpid()) + "_" + which;
}

void RegisterInternal(TBotCommandControl& db) {
  for (const auto& d : corvane::kInternalCommands) {
    db.AddInternalCommand(d.name, d.flags, d.access, true, {}, true);
  }
}

// The file read entry by entry through the public operations, whose searches scan the
// lists, as the reference for the load's own lookups.
void LoadByOperations(TBuffer b, TBotCommandControl& db) {
  if (b.GetString(4) != "QVCL") return;
  const std::uint8_t version = b.GetByte();
  if (version != 1 && version != 2) return;
  b.Skip(3);
  for (std::uint32_t n = b.GetDWord(); n > 0 && b.Length() > 0; --n) {
    b.GetDWord();
    const std::string name = b.GetNTString();
    const std::string flags = b.GetNTString();
    db.SetUser(name, static_cast<std::int32_t>(b.GetDWord()), flags);
  }
  b.Skip(3);
  for (std::uint32_t n = b.GetDWord(); n > 0 && b.Length() > 0; --n) {
    b.GetDWord();
    const std::string name = b.GetNTString();
    const std::string flags = b.GetNTString();
    const auto access = static_cast<std::int32_t>(b.GetDWord());
    const bool enabled = b.GetByte() != 0;
    const std::uint8_t kind = version == 1 ? 1 : b.GetByte();
    const std::string text = version == 1 ? std::string() : b.GetNTString();
    if (kind == 1) db.AddInternalCommand(name, flags, access, enabled, {}, true);
    if (kind == 2) db.AddCustomCommand(name, text, true, enabled, access, flags);
    if (kind == 3) db.AddPluginCommand(text, name, 1, nullptr, enabled, access, flags);
  }
}

bool SameCommand(const TBotCommand& a, const TBotCommand& b) {
  return a.Name == b.Name && a.Enabled == b.Enabled && a.Flags == b.Flags && a.Access == b.Access &&
         a.CmdType == b.CmdType && a.Text == b.Text && a.PluginLoaded == b.PluginLoaded;
}

bool SameDatabase(const TBotCommandControl& a, const TBotCommandControl& b) {
  if (a.Users().size() != b.Users().size() || a.Commands().size() != b.Commands().size())
    return false;
  for (std::size_t i = 0; i < a.Users().size(); ++i) {
    const auto& x = *a.Users()[i];
    const auto& y = *b.Users()[i];
    if (x.Name != y.Name || x.Access != y.Access || x.Flags != y.Flags) return false;
  }
  for (std::size_t i = 0; i < a.Commands().size(); ++i) {
    if (!SameCommand(*a.Commands()[i], *b.Commands()[i])) return false;
  }
  return true;
}

std::string FileBytes(const std::string& path) {
  TBuffer b;
  Check(b.LoadFromFile(path));
  return b.Bytes();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string input = TempPath("in.bin");
  static const std::string saved = TempPath("saved.bin");
  static const std::string resaved = TempPath("resaved.bin");

  TBuffer bytes;
  bytes.AddData(data, static_cast<int>(size));
  Check(bytes.SaveToFile(input));

  TBotCommandControl loaded;
  RegisterInternal(loaded);
  const bool ok = loaded.LoadFromFile(input);
  Check(ok ==
        (size >= 5 && bytes.Bytes().compare(0, 4, "QVCL") == 0 && (data[4] == 1 || data[4] == 2)));

  TBotCommandControl reference;
  RegisterInternal(reference);
  LoadByOperations(bytes, reference);
  Check(SameDatabase(loaded, reference));

  // A load leaves no two records that one of its searches would merge, and the save keeps
  // their order, so a fresh database reads the same records back (after a sort it may not:
  // an internal command moved behind a custom one of its name takes that one's place).
  Check(loaded.SaveToFile(saved));
  TBotCommandControl again;
  Check(again.LoadFromFile(saved));
  Check(again.Users().size() == loaded.Users().size());
  Check(again.Commands().size() == loaded.Commands().size());
  Check(again.SaveToFile(resaved));
  Check(FileBytes(saved) == FileBytes(resaved));

  loaded.SortCommands();
  for (std::size_t i = 1; i < loaded.Commands().size(); ++i) {
    Check(loaded.Commands()[i - 1]->Access >= loaded.Commands()[i]->Access);
  }
  return 0;
}
