// The real serial port code against a pseudo-terminal whose master side the test drives.

#include <gtest/gtest.h>

#include <chrono>
#include <dirent.h>
#include <fcntl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include "Pty.h"
#include "link/ComPort.h"

using namespace zr7;
using Ms = std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;

namespace {

int OpenFdCount() {
  int n = 0;
  for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) (void)e, ++n;
  return n;
}

class ComPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty.Open());
    PortMap map;
    map.Set(0, pty.SlavePath());
    map.Set(1, "/nonexistent/ttyZR7");
    port.SetPortMap(map);
  }

  // What the board side received, waiting at most timeoutMs for it.
  std::vector<std::uint8_t> PeerRead(std::size_t count, int timeoutMs = 1000) {
    std::vector<std::uint8_t> out(count);
    std::size_t got = 0;
    auto deadline = SteadyClock::now() + Ms(timeoutMs);
    while (got < count && SteadyClock::now() < deadline) {
      long n = pty.Read(out.data() + got, count - got, 50);
      if (n > 0) got += static_cast<std::size_t>(n);
    }
    out.resize(got);
    return out;
  }

  zr7sim::Pty pty;
  ComPort port;
};

TEST_F(ComPortTest, FailedOpensLeaveThePortClosed) {
  EXPECT_EQ(port.Status(), "Not initialized");
  for (int index : {1, -1, 8}) {
    EXPECT_FALSE(port.Open(index, 19200)) << index;
    EXPECT_EQ(port.Status(), "Error in CreateFile") << index;
    EXPECT_FALSE(port.IsConnected());
  }
  // A file that is no serial device is refused too.
  auto plain = std::filesystem::temp_directory_path() / ("zr7-not-a-tty-" + std::to_string(getpid()));
  { std::FILE* f = std::fopen(plain.c_str(), "w"); ASSERT_NE(f, nullptr); std::fclose(f); }
  PortMap map = port.Ports();
  map.Set(2, plain.string());
  port.SetPortMap(map);
  EXPECT_FALSE(port.Open(2, 19200));
  EXPECT_EQ(port.Status(), "Error in CreateFile");
  std::filesystem::remove(plain);
  // A rate the link has no setting for.
  EXPECT_FALSE(port.Open(0, 12345));
  EXPECT_EQ(port.Status(), "Error in SetCommState");
  EXPECT_FALSE(port.IsConnected());
}

TEST_F(ComPortTest, ClosedLinkTouchesNothing) {
  EXPECT_TRUE(port.Disconnect());
  EXPECT_EQ(port.Status(), "Disconnect: OK");
  EXPECT_FALSE(port.SendByte(0x10));
  EXPECT_EQ(port.Status(), "Send: not connected");
  std::uint8_t block[2] = {1, 2};
  EXPECT_FALSE(port.SendBlock(block, 2));
  EXPECT_EQ(port.Receive(1), nullptr);
  EXPECT_EQ(port.Status(), "Receive: not connected");
  EXPECT_EQ(port.ReceiveByte(), 0);  // not -1: a closed link is not silence
  EXPECT_EQ(port.Status(), "Receive1: not connected");
  EXPECT_TRUE(PeerRead(1, 100).empty());
}

TEST_F(ComPortTest, LineSettingsAre8N1RawWithoutFlowControl) {
  ASSERT_TRUE(port.Open(0, 19200));
  EXPECT_EQ(port.Status(), "Connect: OK");
  termios t{};
  ASSERT_EQ(tcgetattr(pty.MasterFd(), &t), 0);  // a pty master reports its slave's settings
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_NE(t.c_cflag & CLOCAL, 0u);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(pty.HostBaud(), 19200u);
}

TEST_F(ComPortTest, EveryByteValueCrossesUnchangedBothWays) {
  ASSERT_TRUE(port.Open(0, 115200));
  std::vector<std::uint8_t> all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<std::uint8_t>(i);
  ASSERT_TRUE(port.SendBlock(all.data(), all.size()));
  EXPECT_EQ(port.Status(), "Send: OK");
  EXPECT_EQ(PeerRead(256), all);

  ASSERT_TRUE(pty.Write(all.data(), all.size()));
  const std::uint8_t* got = port.Receive(256);
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(port.Status(), "Receive: OK");
  EXPECT_EQ(std::vector<std::uint8_t>(got, got + 256), all);

  const std::uint8_t ff = 0xFF;
  ASSERT_TRUE(pty.Write(&ff, 1));
  EXPECT_EQ(port.ReceiveByte(), 255);
}

TEST_F(ComPortTest, ReopenClosesTheFirstHandleAndTakesTheNewRate) {
  ASSERT_TRUE(port.Open(0, 19200));
  const int fds = OpenFdCount();
  ASSERT_TRUE(port.Open(0, 115200));
  EXPECT_EQ(OpenFdCount(), fds);
  EXPECT_EQ(pty.HostBaud(), 115200u);
  EXPECT_EQ(port.BaudRate(), 115200u);
  ASSERT_TRUE(port.Open(0, 19200));
  EXPECT_EQ(pty.HostBaud(), 19200u);
  EXPECT_EQ(OpenFdCount(), fds);
}

TEST_F(ComPortTest, SecondUserOfThePortIsRefused) {
  ASSERT_TRUE(port.Open(0, 19200));
  ComPort other(port.Ports());
  EXPECT_FALSE(other.Open(0, 19200));
  EXPECT_EQ(other.Status(), "Error in CreateFile");
  port.Disconnect();
  EXPECT_TRUE(other.Open(0, 19200));
}

TEST_F(ComPortTest, StaleInputFromBeforeTheOpenIsDiscarded) {
  const std::uint8_t junk[3] = {'x', 'y', 'z'};
  ASSERT_TRUE(pty.Write(junk, 3));
  std::this_thread::sleep_for(Ms(20));
  ASSERT_TRUE(port.Open(0, 19200));
  const std::uint8_t fresh = 0x42;
  ASSERT_TRUE(pty.Write(&fresh, 1));
  EXPECT_EQ(port.ReceiveByte(), 0x42);
}

TEST_F(ComPortTest, SlowPeerSucceedsWhileEachByteComesWithinTheLimit) {
  ASSERT_TRUE(port.Open(0, 19200));
  std::thread peer([&] {
    const std::uint8_t first = 'a';
    pty.Write(&first, 1);
    std::this_thread::sleep_for(Ms(500));
    const std::uint8_t rest[2] = {'b', 'c'};
    pty.Write(rest, 2);
  });
  const std::uint8_t* got = port.Receive(3);
  peer.join();
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(got), 3), "abc");
}

TEST_F(ComPortTest, SilenceEndsAReceiveAfterTheLimit) {
  ASSERT_TRUE(port.Open(0, 19200));
  const std::uint8_t two[2] = {1, 2};
  ASSERT_TRUE(pty.Write(two, 2));
  auto start = SteadyClock::now();
  EXPECT_EQ(port.Receive(3), nullptr);
  auto took = std::chrono::duration_cast<Ms>(SteadyClock::now() - start).count();
  EXPECT_EQ(port.Status(), "Receive: I/O error");
  EXPECT_GE(took, 1900);
  EXPECT_LT(took, 3000);

  start = SteadyClock::now();
  EXPECT_EQ(port.ReceiveByte(), -1);
  took = std::chrono::duration_cast<Ms>(SteadyClock::now() - start).count();
  EXPECT_GE(took, 1900);
  EXPECT_LT(took, 3000);
  EXPECT_TRUE(port.IsConnected());  // silence is no reason to close
}

TEST_F(ComPortTest, FullBufferReceiveAcrossManyReads) {
  ASSERT_TRUE(port.Open(0, 115200));
  std::vector<std::uint8_t> data(ComPort::RxBufferSize);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
  std::thread peer([&] { pty.Write(data.data(), data.size()); });
  const std::uint8_t* got = port.Receive(data.size());
  peer.join();
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(std::vector<std::uint8_t>(got, got + data.size()), data);
  EXPECT_EQ(port.Receive(ComPort::RxBufferSize + 1), nullptr);
}

TEST_F(ComPortTest, VanishedPeerFailsAtOnce) {
  ASSERT_TRUE(port.Open(0, 19200));
  pty.Close();
  auto start = SteadyClock::now();
  EXPECT_EQ(port.ReceiveByte(), -1);
  EXPECT_LT(std::chrono::duration_cast<Ms>(SteadyClock::now() - start).count(), 1000);
  EXPECT_FALSE(port.SendByte(0x10));
  EXPECT_EQ(port.Status(), "Send: I/O error");
}

}  // namespace
