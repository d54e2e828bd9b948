#include "config/home.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace corvane {
namespace {

namespace fs = std::filesystem;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace

THomePaths ResolveHome(const std::string& given, const std::string& program_folder) {
  THomePaths paths{given, program_folder};
  const fs::path folder(program_folder);
  const fs::path installed_share = folder.parent_path() / "share" / "corvane";
  std::error_code ec;
  const bool installed = folder.filename() == "bin" && fs::is_directory(installed_share, ec);
  if (installed) paths.shared = installed_share.string();
  if (!paths.home.empty()) return paths;
  paths.home = Env("CORVANE_HOME");
  if (!paths.home.empty()) return paths;
  if (!installed) {
    paths.home = program_folder;
    return paths;
  }
  // The XDG rule: a relative $XDG_DATA_HOME is to be ignored.
  std::string data = Env("XDG_DATA_HOME");
  if (data.empty() || data.front() != '/') data = Env("HOME") + "/.local/share";
  paths.home = data + "/corvane";
  paths.per_user = true;
  return paths;
}

bool EnsureHome(const std::string& home, std::string& error) {
  std::error_code ec;
  if (fs::is_directory(home, ec)) return true;
  fs::create_directories(fs::path(home).parent_path(), ec);
  if (mkdir(home.c_str(), 0700) != 0 && errno != EEXIST) {
    error = "cannot create the home " + home + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace corvane
