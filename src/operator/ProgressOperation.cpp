#include "operator/ProgressOperation.h"

#include <chrono>
#include <system_error>

#include "text/MessageCatalog.h"

namespace zr7 {

void ProgressOperation::BeginPhase(std::string_view caption, std::string_view line, std::int32_t total) {
  total_ = total;
  lastPercent_ = 0;
  if (sink_) {
    sink_->SetCaption(caption);
    sink_->SetOperationLine(line);
    sink_->SetBar(0);
  }
}

void ProgressOperation::ReportProgress(std::int32_t done) {
  if (total_ <= 0) return;
  // Wide arithmetic: done x 100 must not wrap for the 8 MiB images.
  const auto percent = static_cast<std::int32_t>(static_cast<std::int64_t>(done) * 100 / total_);
  if (percent == lastPercent_) return;
  lastPercent_ = percent;
  std::string text = FormatText(catalog_.GetText(msg::PercentCompleted), percent);
  if (text != lastPercentText_) {
    if (sink_) sink_->SetPercentLine(text);
    lastPercentText_ = std::move(text);
  }
  if (sink_) sink_->SetBar(percent);
}

void ProgressOperation::RequestCancel() {
  if (!cancelAllowed_) return;
  result_.store(ResultCancelledAfterCompletion, std::memory_order_relaxed);
  cancelRequested_.store(true);
  cancelledByUser_.store(true);
}

bool ProgressOperation::CreateThread(std::function<void()> body) {
  try {
    worker_ = std::thread(std::move(body));
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

bool ProgressOperation::StartWorker() {
  done_.store(false);
  return CreateThread([this] {
    const std::int32_t r = Run();
    result_.store(r, std::memory_order_relaxed);
    done_.store(true, std::memory_order_release);  // publishes result_
  });
}

void ProgressOperation::JoinWorker() {
  if (worker_.joinable()) worker_.join();
}

std::int32_t RunProgressModal(ProgressOperation& op, const std::function<void()>& tick) {
  if (!op.StartWorker()) return ResultNoThread;
  for (;;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ProgressOperation::CompletionPollMs));
    // What happened in the window since the last tick (a Cancel press) comes before the check.
    if (tick) tick();
    if (op.Done()) break;
  }
  op.JoinWorker();
  return op.Result();
}

}  // namespace zr7
