#include "core/util/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace nuve::core {
namespace {

bool WriteAll(int fd, std::string_view bytes) {
  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

Status WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes, mode_t mode, bool flush) {
  // The temporary name starts with a dot and has no extension of its own, so
  // that nobody lists it as one of their files while it exists.
  std::string tmp_path = (path.parent_path() / ("." + path.filename().string() + ".tmp-XXXXXX")).string();
  const int fd = mkstemp(tmp_path.data());
  if (fd < 0) return Error{ErrorKind::kIo, path.string() + ": " + std::strerror(errno)};
  bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, bytes) && (!flush || ::fsync(fd) == 0);
  int saved_errno = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    saved_errno = errno;
  }
  if (ok && std::rename(tmp_path.c_str(), path.c_str()) != 0) {
    ok = false;
    saved_errno = errno;
  }
  if (!ok) {
    ::unlink(tmp_path.c_str());
    return Error{ErrorKind::kIo, path.string() + ": " + std::strerror(saved_errno)};
  }
  return {};
}

Status FlushFileSystem(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Error{ErrorKind::kIo, path.string() + ": " + std::strerror(errno)};
  const bool ok = ::syncfs(fd) == 0;
  const int saved_errno = errno;
  ::close(fd);
  if (!ok) return Error{ErrorKind::kIo, path.string() + ": " + std::strerror(saved_errno)};
  return {};
}

}  // namespace nuve::core
