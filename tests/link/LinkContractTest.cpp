// What the board protocol relies on from a byte link, checked against the serial port on a
// pseudo-terminal and against the scripted fake the protocol tests use: a fake that drifts
// from the port would let those tests pass on behaviour no board shows.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <vector>

#include "Pty.h"
#include "link/ComPort.h"
#include "support/FakeLink.h"

using namespace zr7;
using Bytes = std::vector<std::uint8_t>;
using SteadyClock = std::chrono::steady_clock;

namespace {

// A link and the far end of its line.
struct Line {
  virtual ~Line() = default;
  virtual SerialLink& Link() = 0;
  // The far end answers `reply` to the next write, which must be `write`.
  virtual void Answer(const Bytes& write, const Bytes& reply) = 0;
  // What reached the far end.
  virtual Bytes Arrived(std::size_t count) = 0;
  // How long the link waits out silence before giving up.
  virtual int SilenceMs() const = 0;
};

struct PtyLine : Line {
  PtyLine() {
    EXPECT_TRUE(pty.Open());
    PortMap map;
    map.Set(0, pty.SlavePath());
    port.SetPortMap(map);
  }
  SerialLink& Link() override { return port; }
  void Answer(const Bytes&, const Bytes& reply) override { pty.Write(reply.data(), reply.size()); }
  Bytes Arrived(std::size_t count) override {
    Bytes out(count);
    std::size_t got = 0;
    const auto deadline = SteadyClock::now() + std::chrono::seconds(1);
    while (got < count && SteadyClock::now() < deadline) {
      const long n = pty.Read(out.data() + got, count - got, 50);
      if (n > 0) got += static_cast<std::size_t>(n);
    }
    out.resize(got);
    return out;
  }
  int SilenceMs() const override { return 2000; }

  zr7sim::Pty pty;
  ComPort port;
};

struct FakeLine : Line {
  SerialLink& Link() override { return fake; }
  void Answer(const Bytes& write, const Bytes& reply) override { fake.Then(write, reply); }
  Bytes Arrived(std::size_t count) override {
    Bytes out;
    for (const Bytes& w : fake.Writes()) out.insert(out.end(), w.begin(), w.end());
    if (out.size() > count) out.resize(count);
    return out;
  }
  int SilenceMs() const override { return 0; }

  zr7test::FakeLink fake;
};

class LinkContract : public ::testing::TestWithParam<bool> {
 protected:
  LinkContract() : line(GetParam() ? std::unique_ptr<Line>(new PtyLine) : std::unique_ptr<Line>(new FakeLine)) {}
  std::unique_ptr<Line> line;
  SerialLink& link() { return line->Link(); }
};

TEST_P(LinkContract, AClosedLinkSendsAndReceivesNothing) {
  EXPECT_FALSE(link().IsConnected());
  EXPECT_FALSE(link().SendByte(0x10));
  const std::uint8_t two[2] = {1, 2};
  EXPECT_FALSE(link().SendBlock(two, 2));
  EXPECT_EQ(link().Receive(1), nullptr);
  EXPECT_EQ(link().ReceiveByte(), 0);  // not -1: a closed link is not a silent board
  EXPECT_TRUE(line->Arrived(1).empty());
}

TEST_P(LinkContract, EveryByteValueCrossesUnchangedBothWays) {
  ASSERT_TRUE(link().Open(0, 115200));
  EXPECT_TRUE(link().IsConnected());
  Bytes all(256);
  for (int i = 0; i < 256; ++i) all[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(255 - i);
  line->Answer(all, all);
  ASSERT_TRUE(link().SendBlock(all.data(), all.size()));
  EXPECT_EQ(line->Arrived(all.size()), all);
  const std::uint8_t* got = link().Receive(255);
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(Bytes(got, got + 255), Bytes(all.begin(), all.end() - 1));
  EXPECT_EQ(link().ReceiveByte(), 0x00);  // the last one, one at a time
}

TEST_P(LinkContract, SilenceIsNoAnswerAndNoReasonToClose) {
  ASSERT_TRUE(link().Open(0, 19200));
  line->Answer({0x76}, {'O', 'K'});
  ASSERT_TRUE(link().SendByte(0x76));
  const auto start = SteadyClock::now();
  EXPECT_EQ(link().Receive(3), nullptr);  // two of three came
  EXPECT_EQ(link().ReceiveByte(), -1);
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start).count();
  EXPECT_GE(took, 2 * line->SilenceMs() - 200);
  EXPECT_LT(took, 2 * line->SilenceMs() + 2000);
  EXPECT_TRUE(link().IsConnected());
  EXPECT_TRUE(link().Disconnect());
  EXPECT_FALSE(link().IsConnected());
  EXPECT_FALSE(link().SendByte(0x76));
}

INSTANTIATE_TEST_SUITE_P(Links, LinkContract, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "ComPortOnPty" : "FakeLink"; });

}  // namespace
