#include "util/AtomicFile.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zr7 {

namespace {
constexpr std::size_t kBufferBytes = 1 << 16;
constexpr int kMaxLinks = 40;              // as the kernel's own limit on a path
constexpr std::size_t kTempNameBase = 200;  // leaves room for the suffix within NAME_MAX

std::string DirectoryOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The file the bytes belong in: `path` with the symbolic links of its last component
// followed, so the link stays a link. A dangling link names the file to create.
bool FollowLinks(const std::string& path, std::string& target) {
  target = path;
  for (int hops = 0; hops < kMaxLinks; ++hops) {
    struct stat st {};
    if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;  // errors show at creation
    std::string link(PATH_MAX, '\0');
    const ssize_t n = ::readlink(target.c_str(), link.data(), link.size());
    if (n < 0) return false;
    link.resize(static_cast<std::size_t>(n));
    target = (!link.empty() && link.front() == '/') ? link : DirectoryOf(target) + "/" + link;
  }
  errno = ELOOP;
  return false;
}

// Write permission as the user means it: root may write anything, but a file with no write
// bit at all was made read-only on purpose.
bool MayReplace(const std::string& path, const struct stat& st) {
  if ((st.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0) {
    errno = EACCES;
    return false;
  }
  return true;
}

// A hidden temporary file beside `target`; -1 with errno when the folder cannot take it.
int MakeTemp(const std::string& target, std::string& tempPath) {
  const auto slash = target.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  tempPath = folder + "." + name.substr(0, kTempNameBase) + ".tmp-XXXXXX";
  const int fd = ::mkstemp(tempPath.data());
  if (fd < 0) tempPath.clear();
  return fd;
}

// A reader that went away must fail the save, not end the program: SIGPIPE is held back for
// this thread while it writes to a FIFO, and one raised meanwhile is taken away.
class PipeSignalHeld {
 public:
  PipeSignalHeld() {
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    wasPending_ = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
  }
  ~PipeSignalHeld() {
    const int saved = errno;
    if (!wasPending_) {
      const timespec none{};
      while (sigtimedwait(&pipe_, nullptr, &none) == SIGPIPE) {
      }
    }
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    errno = saved;
  }
  PipeSignalHeld(const PipeSignalHeld&) = delete;
  PipeSignalHeld& operator=(const PipeSignalHeld&) = delete;

 private:
  sigset_t pipe_{};
  sigset_t old_{};
  bool wasPending_ = false;
};
}  // namespace

AtomicFile::~AtomicFile() { Abandon(); }

bool AtomicFile::Fail() {
  if (errorNumber_ == 0) errorNumber_ = errno != 0 ? errno : EIO;
  return false;
}

// `stat` follows links as the kernel does, the /proc links behind /dev/stdout included, so it
// tells a FIFO or a device (written through by its own name) from a file to replace.
int AtomicFile::ReplaceProblem(const std::string& path) {
  struct stat st {};
  const bool exists = ::stat(path.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) return EISDIR;
  if (exists && !S_ISREG(st.st_mode)) return ::access(path.c_str(), W_OK) == 0 ? 0 : errno;
  std::string target;
  if (!FollowLinks(path, target)) return errno;
  if (exists && !MayReplace(target, st)) return errno;
  std::string temp;
  const int fd = MakeTemp(target, temp);
  if (fd < 0) return errno;
  ::close(fd);
  ::unlink(temp.c_str());
  return 0;
}

bool AtomicFile::Open(const std::string& path) {
  Abandon();
  errorNumber_ = 0;
  direct_ = false;
  struct stat st {};
  const bool exists = ::stat(path.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    return Fail();
  }
  if (exists && !S_ISREG(st.st_mode)) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) return Fail();
    direct_ = true;
    buffer_.reserve(kBufferBytes);
    return true;
  }
  if (!FollowLinks(path, target_)) return Fail();
  if (exists && !MayReplace(target_, st)) return Fail();
  fd_ = MakeTemp(target_, tempPath_);
  if (fd_ < 0) return Fail();
  // An existing file keeps its permissions, and its owner where we may give it away (root
  // saving a user's file); a new one gets the usual permissions.
  mode_t mode = 0666;
  if (exists) {
    mode = st.st_mode & 07777;
    const int owned = ::fchown(fd_, st.st_uid, st.st_gid);
    static_cast<void>(owned);
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
    ssize_t n;
    if (direct_) {
      PipeSignalHeld held;
      n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
    } else {
      n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
    }
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      Fail();
      buffer_.clear();
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  buffer_.clear();
  return true;
}

bool AtomicFile::Write(const void* data, std::size_t length) {
  if (fd_ < 0 || errorNumber_ != 0) return false;
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
  bool ok = errorNumber_ == 0 && FlushBuffer();
  // A pipe or a character device has nothing to sync and says so with EINVAL or EROFS.
  if (ok && ::fsync(fd_) != 0 && !(direct_ && (errno == EINVAL || errno == EROFS))) ok = Fail();
  if (::close(fd_) != 0 && ok) ok = Fail();
  fd_ = -1;
  if (direct_) return ok;
  if (ok && ::rename(tempPath_.c_str(), target_.c_str()) != 0) ok = Fail();
  if (!ok) {
    ::unlink(tempPath_.c_str());
    tempPath_.clear();
    return false;
  }
  tempPath_.clear();
  // The rename itself must reach the disk too, or a power cut may bring the old file back.
  int dir = ::open(DirectoryOf(target_).c_str(), O_RDONLY | O_DIRECTORY);
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

bool WriteFileAtomically(const std::string& path, std::string_view contents, int* errorNumber) {
  AtomicFile f;
  bool ok = f.Open(path) && f.Write(contents) && f.Commit();
  if (errorNumber) *errorNumber = ok ? 0 : f.ErrorNumber();
  return ok;
}

}  // namespace zr7
