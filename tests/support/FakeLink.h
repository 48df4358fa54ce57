#pragma once
// A scripted byte link: each step expects one write and queues the board's answer, or makes
// that write fail. For failures a pseudo-terminal cannot produce on demand.

#include <cstring>
#include <deque>
#include <vector>

#include "link/SerialLink.h"

namespace zr7test {

class FakeLink : public zr7::SerialLink {
 public:
  struct Step {
    std::vector<std::uint8_t> expectWrite;
    std::vector<std::uint8_t> reply;
    bool failSend = false;
  };

  void Then(std::vector<std::uint8_t> write, std::vector<std::uint8_t> reply = {}) {
    steps_.push_back({std::move(write), std::move(reply), false});
  }
  void ThenSendFails(std::vector<std::uint8_t> write) { steps_.push_back({std::move(write), {}, true}); }

  bool Open(int portIndex, std::uint32_t baudRate) override {
    connected_ = true;
    openedIndex_ = portIndex;
    baud_ = baudRate;
    return true;
  }
  bool Disconnect() override {
    connected_ = false;
    return true;
  }
  bool SendByte(std::uint8_t byte) override { return SendBlock(&byte, 1); }
  bool SendBlock(const std::uint8_t* bytes, std::size_t length) override {
    if (!connected_) return false;  // nothing leaves a closed port
    std::vector<std::uint8_t> w(bytes, bytes + length);
    writes_.push_back(w);
    if (steps_.empty()) {
      unexpected_ = true;
      return false;
    }
    Step s = steps_.front();
    steps_.pop_front();
    if (s.expectWrite != w) unexpected_ = true;
    if (s.failSend) return false;
    rx_.insert(rx_.end(), s.reply.begin(), s.reply.end());
    return true;
  }
  const std::uint8_t* Receive(std::size_t count) override {
    if (!connected_) return nullptr;
    if (rx_.size() < count) {  // the port has read what came before it gave up
      rx_.clear();
      return nullptr;
    }
    for (std::size_t i = 0; i < count; ++i) buf_[i] = rx_[i];
    rx_.erase(rx_.begin(), rx_.begin() + static_cast<long>(count));
    return buf_;
  }
  int ReceiveByte() override {
    if (!connected_) return 0;
    if (rx_.empty()) return -1;
    int b = rx_.front();
    rx_.pop_front();
    return b;
  }
  bool IsConnected() const override { return connected_; }
  std::string_view Status() const override { return "fake"; }

  const std::vector<std::vector<std::uint8_t>>& Writes() const { return writes_; }
  bool SawUnexpectedWrite() const { return unexpected_; }
  bool ScriptDone() const { return steps_.empty(); }
  int OpenedIndex() const { return openedIndex_; }

 private:
  std::deque<Step> steps_;
  std::deque<std::uint8_t> rx_;
  std::vector<std::vector<std::uint8_t>> writes_;
  std::uint8_t buf_[RxBufferSize];
  bool connected_ = false;
  bool unexpected_ = false;
  int openedIndex_ = -1;
  std::uint32_t baud_ = 0;
};

}  // namespace zr7test
