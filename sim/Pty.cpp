#include "Pty.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace zr7sim {

namespace {

std::string Errno(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

bool Fail(std::string* error, const std::string& text) {
  if (error) *error = text;
  return false;
}

}  // namespace

Pty::~Pty() { Close(); }

bool Pty::Open(std::string* error) {
  Close();
  master_ = posix_openpt(O_RDWR | O_NOCTTY);
  if (master_ < 0) return Fail(error, Errno("posix_openpt"));
  // Non-blocking so a host that stops reading can never wedge the board thread in write().
  if (fcntl(master_, F_SETFD, FD_CLOEXEC) != 0 ||
      fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK) != 0) {
    std::string text = Errno("fcntl");
    Close();
    return Fail(error, text);
  }
  if (grantpt(master_) != 0 || unlockpt(master_) != 0) {
    std::string text = Errno("grantpt/unlockpt");
    Close();
    return Fail(error, text);
  }
  char name[256];
  if (ptsname_r(master_, name, sizeof name) != 0) {
    std::string text = Errno("ptsname_r");
    Close();
    return Fail(error, text);
  }
  slavePath_ = name;

  // Our own slave descriptor keeps the line alive between host sessions: without it the master
  // reads EIO whenever the host closes the port, and the host's line settings would be lost.
  slaveKeep_ = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (slaveKeep_ < 0) {
    std::string text = Errno("open slave");
    Close();
    return Fail(error, text);
  }
  termios tio{};
  if (tcgetattr(slaveKeep_, &tio) != 0) {
    std::string text = Errno("tcgetattr");
    Close();
    return Fail(error, text);
  }
  // Raw from the start: a host that opens without configuring must not see echo or CR mapping.
  cfmakeraw(&tio);
  cfsetispeed(&tio, B19200);
  cfsetospeed(&tio, B19200);
  if (tcsetattr(slaveKeep_, TCSANOW, &tio) != 0) {
    std::string text = Errno("tcsetattr");
    Close();
    return Fail(error, text);
  }
  return true;
}

void Pty::Close() {
  if (slaveKeep_ >= 0) close(slaveKeep_);
  if (master_ >= 0) close(master_);
  slaveKeep_ = -1;
  master_ = -1;
  slavePath_.clear();
}

std::uint32_t Pty::HostBaud() const {
  if (master_ < 0) return 0;
  termios tio{};
  // On Linux the master reports the slave's settings, i.e. what the host last asked for.
  if (tcgetattr(master_, &tio) != 0) return 0;
  switch (cfgetospeed(&tio)) {
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    case B230400: return 230400;
#ifdef B460800
    case B460800: return 460800;
#endif
#ifdef B921600
    case B921600: return 921600;
#endif
    default: return 0;
  }
}

bool Pty::Write(const std::uint8_t* data, std::size_t length) {
  if (master_ < 0) return false;
  std::size_t done = 0;
  while (done < length) {
    ssize_t n = write(master_, data + done, length - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
    // The host's input queue is full: wait until it reads, or give up (or be interrupted).
    pollfd fds[2] = {{master_, POLLOUT, 0}, {interruptFd_, POLLIN, 0}};
    int ready = poll(fds, interruptFd_ >= 0 ? 2 : 1, writeStallMs_);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    if (interruptFd_ >= 0 && (fds[1].revents & POLLIN)) return false;
    if (fds[0].revents & (POLLERR | POLLNVAL)) return false;
  }
  return true;
}

long Pty::Read(std::uint8_t* data, std::size_t capacity, int timeoutMs) {
  if (master_ < 0) return -1;
  for (;;) {
    pollfd fd{master_, POLLIN, 0};
    int ready = poll(&fd, 1, timeoutMs);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return -1;
    if (ready == 0) return 0;
    if (fd.revents & POLLNVAL) return -1;
    ssize_t n = read(master_, data, capacity);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    return -1;
  }
}

void Pty::SetWriteInterrupt(int fd, int stallTimeoutMs) {
  interruptFd_ = fd;
  writeStallMs_ = stallTimeoutMs;
}

}  // namespace zr7sim
