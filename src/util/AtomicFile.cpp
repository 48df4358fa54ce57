#include "util/AtomicFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zr7 {

namespace {
constexpr std::size_t kBufferBytes = 1 << 16;

std::string DirectoryOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}
}  // namespace

AtomicFile::~AtomicFile() { Abandon(); }

void AtomicFile::Fail(const char* what) {
  if (!failed_) error_ = std::string(what) + ": " + std::strerror(errno);
  failed_ = true;
}

bool AtomicFile::Open(const std::string& path) {
  Abandon();
  failed_ = false;
  error_.clear();
  path_ = path;
  std::string pattern = path + ".tmp-XXXXXX";
  fd_ = mkstemp(pattern.data());
  if (fd_ < 0) {
    Fail("cannot create a file beside the target");
    return false;
  }
  tempPath_ = pattern;
  // An existing file keeps its permissions; a new one gets the usual ones for documents.
  struct stat st {};
  mode_t mode = 0666;
  if (::stat(path.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode &= ~mask;
  }
  fchmod(fd_, mode);
  buffer_.reserve(kBufferBytes);
  return true;
}

bool AtomicFile::FlushBuffer() {
  std::size_t done = 0;
  while (done < buffer_.size()) {
    ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      Fail("cannot write");
      buffer_.clear();
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  buffer_.clear();
  return true;
}

bool AtomicFile::Write(const void* data, std::size_t length) {
  if (fd_ < 0 || failed_) return false;
  if (buffer_.size() + length > kBufferBytes && !FlushBuffer()) return false;
  if (length > kBufferBytes) {
    buffer_.assign(static_cast<const char*>(data), length);
    return FlushBuffer();
  }
  buffer_.append(static_cast<const char*>(data), length);
  return true;
}

bool AtomicFile::Commit() {
  if (fd_ < 0) return false;
  bool ok = !failed_ && FlushBuffer();
  if (ok && ::fsync(fd_) != 0) {
    Fail("cannot flush to disk");
    ok = false;
  }
  if (::close(fd_) != 0 && ok) {
    Fail("cannot close");
    ok = false;
  }
  fd_ = -1;
  if (ok && ::rename(tempPath_.c_str(), path_.c_str()) != 0) {
    Fail("cannot replace the target");
    ok = false;
  }
  if (!ok) {
    ::unlink(tempPath_.c_str());
    tempPath_.clear();
    return false;
  }
  tempPath_.clear();
  // The rename itself must reach the disk too, or a power cut may bring the old file back.
  int dir = ::open(DirectoryOf(path_).c_str(), O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

void AtomicFile::Abandon() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (!tempPath_.empty()) {
    ::unlink(tempPath_.c_str());
    tempPath_.clear();
  }
  buffer_.clear();
}

bool WriteFileAtomically(const std::string& path, std::string_view contents, std::string* error) {
  AtomicFile f;
  bool ok = f.Open(path) && f.Write(contents) && f.Commit();
  if (!ok && error) *error = f.Error();
  return ok;
}

}  // namespace zr7
