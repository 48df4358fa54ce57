#include "link/ComPort.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#ifdef __linux__
#include <linux/serial.h>
#endif

namespace zr7 {

namespace {

bool SpeedFor(std::uint32_t baud, speed_t* out) {
  switch (baud) {
    case 9600: *out = B9600; return true;
    case 19200: *out = B19200; return true;
    case 38400: *out = B38400; return true;
    case 57600: *out = B57600; return true;
    case 115200: *out = B115200; return true;
    default: return false;
  }
}

using Clock = std::chrono::steady_clock;

int MsUntil(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

// USB-serial drivers batch input for up to 16 ms unless asked not to; a refusal is harmless.
void RequestLowLatency(int fd) {
#if defined(__linux__) && defined(ASYNC_LOW_LATENCY)
  serial_struct ss{};
  if (ioctl(fd, TIOCGSERIAL, &ss) == 0) {
    ss.flags |= ASYNC_LOW_LATENCY;
    (void)ioctl(fd, TIOCSSERIAL, &ss);
  }
#else
  (void)fd;
#endif
}

}  // namespace

ComPort::ComPort(PortMap ports) : ports_(std::move(ports)), rxBuffer_(new std::uint8_t[RxBufferSize]) {}

ComPort::~ComPort() {
  Disconnect();
  status_ = "Not initialized";
}

bool ComPort::Open(int portIndex, std::uint32_t baudRate) {
  Disconnect();
  status_ = "Connect...";
  baudRate_ = baudRate;
  fd_ = -1;
  connected_ = false;
  openErrno_ = 0;

  const std::string& path = ports_.PathFor(portIndex);
  if (path.empty()) {
    status_ = "Error in CreateFile";
    return false;
  }
  // Non-blocking open: a modem line waiting for carrier must not hang us.
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    openErrno_ = errno;
    status_ = "Error in CreateFile";
    return false;
  }
  // Exclusive use: flock keeps out a second instance of ours (also as root, where TIOCEXCL
  // does not), TIOCEXCL keeps out other programs that open the tty.
  if (!isatty(fd) || flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TIOCEXCL) != 0) {
    openErrno_ = isatty(fd) ? EBUSY : ENOTTY;
    ::close(fd);
    status_ = "Error in CreateFile";
    return false;
  }

  termios tio{};
  speed_t speed{};
  if (tcgetattr(fd, &tio) != 0 || !SpeedFor(baudRate, &speed)) {
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
    status_ = "Error in SetCommState";
    return false;
  }
  cfmakeraw(&tio);  // binary: no line editing, no CR/LF translation, no echo
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
  tio.c_cflag |= CS8 | CREAD | CLOCAL;
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  cfsetispeed(&tio, speed);
  cfsetospeed(&tio, speed);
  if (tcsetattr(fd, TCSANOW, &tio) != 0) {
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
    status_ = "Error in SetCommState";
    return false;
  }
  // DTR and RTS inactive; pseudo-terminals have no modem lines, so a refusal is fine.
  int lines = TIOCM_DTR | TIOCM_RTS;
  (void)ioctl(fd, TIOCMBIC, &lines);
  RequestLowLatency(fd);
  // Whatever arrived while nobody had the port open belongs to no command of ours.
  tcflush(fd, TCIOFLUSH);

  fd_ = fd;
  connected_ = true;
  status_ = "Connect: OK";
  return true;
}

std::optional<std::string> ComPort::NotASerialDevice(int portIndex) const {
  if (openErrno_ != ENOTTY && openErrno_ != EISDIR) return std::nullopt;
  return ports_.PathFor(portIndex);
}

bool ComPort::Disconnect() {
  status_ = "Disconnect...";
  if (connected_) {
    connected_ = false;
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);  // also releases the flock
    fd_ = -1;
  }
  status_ = "Disconnect: OK";
  return true;
}

bool ComPort::Write(const std::uint8_t* bytes, std::size_t length, std::size_t& done) {
  // The previous command must be on the wire before the next one goes out.
  tcdrain(fd_);
  const auto deadline = Clock::now() + std::chrono::milliseconds(CallTimeoutMs);
  while (done < length) {
    ssize_t n = ::write(fd_, bytes + done, length - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
    pollfd p{fd_, POLLOUT, 0};
    int left = MsUntil(deadline);
    if (left == 0) return false;
    const int r = ::poll(&p, 1, left);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) return false;
  }
  return true;
}

bool ComPort::SendBlock(const std::uint8_t* bytes, std::size_t length) {
  status_ = "Send...";
  if (!connected_) {
    status_ = "Send: not connected";
    return false;
  }
  // One retry of a failed write call, as the driver may refuse once after a line error;
  // the retry sends only what did not go out, so no byte reaches the board twice.
  std::size_t done = 0;
  if (!Write(bytes, length, done) && !Write(bytes, length, done)) {
    status_ = "Send: I/O error";
    return false;
  }
  status_ = "Send: OK";
  return true;
}

bool ComPort::SendByte(std::uint8_t byte) { return SendBlock(&byte, 1); }

std::size_t ComPort::ReadSome(std::uint8_t* into, std::size_t capacity) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(CallTimeoutMs);
  bool readable = false;
  for (;;) {
    ssize_t n = ::read(fd_, into, capacity);
    if (n > 0) return static_cast<std::size_t>(n);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return 0;
    // Nothing although poll said readable: the line hung up (an unplugged adapter).
    if (n == 0 && readable) return 0;
    pollfd p{fd_, POLLIN, 0};
    int left = MsUntil(deadline);
    if (left == 0) return 0;
    int r = ::poll(&p, 1, left);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return 0;
    if (p.revents & (POLLERR | POLLNVAL)) return 0;
    readable = (p.revents & POLLIN) != 0;
    if (!readable) return 0;  // hang-up with nothing left to read
  }
}

const std::uint8_t* ComPort::Receive(std::size_t count) {
  status_ = "Receive...";
  if (!connected_) {
    status_ = "Receive: not connected";
    return nullptr;
  }
  if (count == 0 || count > RxBufferSize) {
    status_ = "Receive: I/O error";
    return nullptr;
  }
  // A slow peer is fine as long as some byte arrives within each call's 2000 ms.
  std::size_t got = 0;
  while (got < count) {
    std::size_t n = ReadSome(rxBuffer_.get() + got, count - got);
    if (n == 0) {
      status_ = "Receive: I/O error";
      return nullptr;
    }
    got += n;
  }
  status_ = "Receive: OK";
  return rxBuffer_.get();
}

int ComPort::ReceiveByte() {
  status_ = "Receive1...";
  if (!connected_) {
    status_ = "Receive1: not connected";
    return 0;
  }
  std::uint8_t b = 0;
  if (ReadSome(&b, 1) != 1) return -1;
  return b;
}

}  // namespace zr7
