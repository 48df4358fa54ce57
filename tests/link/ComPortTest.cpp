// The real serial port code against a pseudo-terminal whose master side the test drives.

#include <gtest/gtest.h>

#include <termios.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "Pty.h"
#include "link/ComPort.h"
#include "support/TempFolder.h"

using namespace zr7;
using Ms = std::chrono::milliseconds;

namespace {

int OpenFdCount() {
  const std::filesystem::directory_iterator fds("/proc/self/fd");
  return static_cast<int>(std::distance(fds, {}));
}

class ComPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty.Open());
    PortMap map;
    map.Set(0, pty.SlavePath());
    map.Set(1, "/nonexistent/ttyZR7");
    map.Set(2, folder.File("not-a-tty", ""));
    port.SetPortMap(map);
  }

  zr7test::TempFolder folder;
  zr7sim::Pty pty;
  ComPort port;
};

TEST_F(ComPortTest, FailedOpensLeaveThePortClosed) {
  EXPECT_EQ(port.Status(), "Not initialized");
  for (int index : {1, -1, 8, 2}) {  // 2 is a file that is no serial device
    EXPECT_FALSE(port.Open(index, 19200)) << index;
    EXPECT_EQ(port.Status(), "Error in CreateFile") << index;
    EXPECT_FALSE(port.IsConnected());
  }
  // A rate the link has no setting for.
  EXPECT_FALSE(port.Open(0, 12345));
  EXPECT_EQ(port.Status(), "Error in SetCommState");
  EXPECT_FALSE(port.IsConnected());
}

TEST_F(ComPortTest, LineSettingsAre8N1RawWithoutFlowControlOnOneHandle) {
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

  // A reopen closes the first handle and takes the new rate.
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

TEST_F(ComPortTest, StaleInputIsDiscardedAndASlowPeerWaitedFor) {
  const std::uint8_t junk[3] = {'x', 'y', 'z'};
  ASSERT_TRUE(pty.Write(junk, 3));
  std::this_thread::sleep_for(Ms(20));
  ASSERT_TRUE(port.Open(0, 19200));
  const std::uint8_t fresh = 0x42;
  ASSERT_TRUE(pty.Write(&fresh, 1));
  EXPECT_EQ(port.ReceiveByte(), 0x42);

  // A slow peer succeeds while each byte comes within the limit.
  std::thread peer([&] {
    pty.Write(reinterpret_cast<const std::uint8_t*>("a"), 1);
    std::this_thread::sleep_for(Ms(500));
    pty.Write(reinterpret_cast<const std::uint8_t*>("bc"), 2);
  });
  const std::uint8_t* got = port.Receive(3);
  peer.join();
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(got), 3), "abc");
}

TEST_F(ComPortTest, FullBufferReceiveAcrossManyReads) {
  ASSERT_TRUE(port.Open(0, 115200));
  const std::vector<std::uint8_t> data = zr7test::RandomBytes(ComPort::RxBufferSize, 7);
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
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(port.ReceiveByte(), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, Ms(1000));
  EXPECT_FALSE(port.SendByte(0x10));
  EXPECT_EQ(port.Status(), "Send: I/O error");
}

}  // namespace
