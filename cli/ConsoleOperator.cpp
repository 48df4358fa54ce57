#include "ConsoleOperator.h"

#include <ostream>
#include <string>

#include "StopSignals.h"
#include "operator/ProgressOperation.h"

namespace zr7cli {

namespace {

constexpr int kBarWidth = 30;

}  // namespace

// Draws one operation's progress on stderr: a bar rewritten in place on a terminal, the phase's
// line once otherwise (so logs are not flooded and nobody has to scrape a bar).
class ConsoleProgress : public zr7::ProgressSink {
 public:
  explicit ConsoleProgress(ConsoleOperator& op) : op_(op) {}
  ~ConsoleProgress() override {
    std::lock_guard lock(op_.mutex_);
    if (drawn_) op_.err_ << '\n' << std::flush;
  }
  void SetCaption(std::string_view) override {}
  void SetOperationLine(std::string_view text) override {
    std::lock_guard lock(op_.mutex_);
    line_ = text;
    percent_ = 0;
    if (op_.bar_) {
      Draw();
    } else if (text != lastPlain_) {
      op_.err_ << text << "...\n" << std::flush;
      lastPlain_ = text;
    }
  }
  void SetPercentLine(std::string_view) override {}
  void SetBar(int percent) override {
    std::lock_guard lock(op_.mutex_);
    percent_ = percent;
    if (op_.bar_) Draw();
  }

 private:
  void Draw() {
    const int filled = percent_ * kBarWidth / 100;
    op_.err_ << '\r' << line_ << " [" << std::string(filled, '#') << std::string(kBarWidth - filled, '.') << "] "
             << percent_ << "%" << std::flush;
    drawn_ = true;
  }

  ConsoleOperator& op_;
  std::string line_;
  std::string lastPlain_;
  int percent_ = 0;
  bool drawn_ = false;
};

void ConsoleOperator::SetStatus(std::string_view text) {
  std::lock_guard lock(mutex_);
  if (!text.empty()) out_ << text << '\n' << std::flush;
}

void ConsoleOperator::Note(std::string_view text) {
  std::lock_guard lock(mutex_);
  err_ << text << '\n' << std::flush;
}

zr7::BoxAnswer ConsoleOperator::ShowBox(const zr7::MessageBoxRequest& box) {
  using zr7::BoxAnswer;
  using zr7::BoxButtons;
  BoxAnswer answer = BoxAnswer::Ok;
  const char* shown = nullptr;
  switch (box.buttons) {
    case BoxButtons::Ok:
      break;
    case BoxButtons::OkCancel:
      answer = yes_ ? BoxAnswer::Ok : BoxAnswer::Cancel;
      shown = yes_ ? "OK" : "Cancel";
      break;
    case BoxButtons::YesNo:
    case BoxButtons::YesNoCancel:
      answer = yes_ ? BoxAnswer::Yes : BoxAnswer::No;
      shown = yes_ ? "Yes" : "No";
      break;
  }
  std::lock_guard lock(mutex_);
  if (bar_) err_ << '\n';  // not on top of a bar
  err_ << box.text;
  // The answer is written beside the question, so a log shows what was decided.
  if (shown) err_ << " [" << shown << "]";
  err_ << '\n' << std::flush;
  return answer;
}

std::int32_t ConsoleOperator::RunProgress(zr7::ProgressOperation& op) {
  ConsoleProgress progress(*this);
  op.SetSink(&progress);
  // Ctrl+C or SIGTERM asks the operation to stop where it safely can; the connection then ends
  // cleanly.
  if (StopRequested()) op.RequestCancel();
  const std::int32_t result = zr7::RunProgressModal(op, [&] {
    if (StopRequested()) op.RequestCancel();
  });
  op.SetSink(nullptr);
  return result;
}

}  // namespace zr7cli
