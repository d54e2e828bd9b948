#pragma once
// Replacing a file whole, so that a crash or a full disk leaves either the old file or the
// new one, never half of one. Every file the program writes goes through here.

#include <sys/stat.h>
#include <sys/types.h>

#include <string>
#include <string_view>

namespace corvane {

// Writes `content` to a temporary file beside the file at `path` (path + ".tmp"), syncs it,
// renames it over the file and syncs the folder. A symbolic link at `path` stays a link: the
// file it points to is replaced. An existing file keeps its mode (and its owner when the
// program has the rights to keep it); a new one gets `create_mode` less the umask, as any
// file the program creates. Only a regular file, or nothing, is replaced: a folder or a device at
// the path stays (EISDIR). False when anything failed, with errno telling why and the temporary
// file gone. `written`, when given, receives the status of the new file.
bool ReplaceFileAtomically(const std::string& path, std::string_view content, mode_t create_mode,
                           struct stat* written = nullptr);

}  // namespace corvane
