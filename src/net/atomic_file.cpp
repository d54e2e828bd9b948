#include "net/atomic_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace corvane {
namespace {

bool WriteAll(int fd, std::string_view text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Makes a completed rename durable; a failure here loses nothing already written.
void SyncFolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::string folder =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

// The umask, read without changing it for good: only the main thread writes files.
mode_t ProcessUmask() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

}  // namespace

bool ReplaceFileAtomically(const std::string& path, std::string_view content, mode_t create_mode,
                           struct stat* written) {
  // A symbolic link stays a link: the file it points to is replaced.
  std::string target = path;
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    if (char* real = ::realpath(path.c_str(), nullptr)) {
      target = real;
      std::free(real);
    }
  }
  const bool exists = ::stat(target.c_str(), &st) == 0;
  const mode_t mode = exists ? (st.st_mode & 07777) : (create_mode & 07777 & ~ProcessUmask());

  const std::string temp = target + ".tmp";
  ::unlink(temp.c_str());  // left over from an interrupted write
  // O_EXCL: never writes through whatever else stands at the temporary name.
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  if (exists && (st.st_uid != ::geteuid() || st.st_gid != ::getegid())) {
    // Keeps the owner when the program runs with the rights to; otherwise ours.
    [[maybe_unused]] const int ignored = ::fchown(fd, st.st_uid, st.st_gid);
  }
  struct stat now {};
  // The data must be on disk before the rename makes it the file.
  bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, content) && ::fsync(fd) == 0 &&
            (written == nullptr || ::fstat(fd, written) == 0);
  int error = ok ? 0 : errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  // Only a plain file (or nothing) may be replaced; a folder or a device at the path stays.
  if (ok && ::lstat(target.c_str(), &now) == 0 && !S_ISREG(now.st_mode)) {
    ok = false;
    error = EISDIR;
  }
  if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    ::unlink(temp.c_str());
    errno = error;  // the caller reports why
    return false;
  }
  SyncFolderOf(target);
  return true;
}

}  // namespace corvane
