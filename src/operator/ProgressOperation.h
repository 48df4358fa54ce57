#pragma once
// A long conversation with the chip, run on a worker thread while the operator watches its
// progress: two text lines, a percentage and a Cancel button. Concrete operations supply Run.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace zr7 {

class MessageCatalog;

// Result codes of Run and of a modal run.
enum ProgressResult : std::int32_t {
  ResultSuccess = 0,
  ResultCancelled = 1,
  ResultCommunicationError = -1,
  ResultPollingFailure = 100,  // also "not blank" for the blank check
  ResultNoThread = 2,
  ResultCancelledAfterCompletion = 3,
};

// What shows an operation's progress: the progress window, a terminal bar, a test's record.
// Called from the worker thread; an implementation marshals to its own thread if it must.
class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void SetCaption(std::string_view text) = 0;
  virtual void SetOperationLine(std::string_view text) = 0;
  virtual void SetPercentLine(std::string_view text) = 0;
  virtual void SetBar(int percent) = 0;  // 0..100
};

class ProgressOperation {
 public:
  explicit ProgressOperation(const MessageCatalog& catalog) : catalog_(catalog) {}
  virtual ~ProgressOperation() = default;
  ProgressOperation(const ProgressOperation&) = delete;
  ProgressOperation& operator=(const ProgressOperation&) = delete;

  // The worker body: returns a ProgressResult code.
  virtual std::int32_t Run() = 0;

  // For Run: start a phase of `total` units (0 = no progress shown).
  void BeginPhase(std::string_view caption, std::string_view line, std::int32_t total);
  // For Run: unit `done` (0-based index of the unit just finished) of the current phase.
  void ReportProgress(std::int32_t done);
  bool CancelRequested() const { return cancelRequested_.load(std::memory_order_relaxed); }

  // The Cancel button (or Esc): asks Run to stop; pressing it again changes nothing more.
  void RequestCancel();
  bool CancelledByUser() const { return cancelledByUser_.load(); }
  bool Done() const { return done_.load(std::memory_order_acquire); }
  std::int32_t Result() const { return result_.load(std::memory_order_relaxed); }

  // Whether a Cancel button is offered (the firmware transfer cannot be interrupted).
  bool CancelAllowed() const { return cancelAllowed_; }
  void SetCancelAllowed(bool allowed) { cancelAllowed_ = allowed; }

  // Where progress goes while the operation runs; null = nowhere.
  void SetSink(ProgressSink* sink) { sink_ = sink; }

  // Starts Run on a worker thread of its own; false when no thread could be made.
  bool StartWorker();
  // Joins a finished worker (call once Done() is true).
  void JoinWorker();

  // How often a modal run checks whether the worker has finished.
  static constexpr int CompletionPollMs = 150;

  const MessageCatalog& Catalog() const { return catalog_; }

 protected:
  // Lets tests make thread creation fail.
  virtual bool CreateThread(std::function<void()> body);

 private:
  const MessageCatalog& catalog_;
  ProgressSink* sink_ = nullptr;
  std::int32_t total_ = 0;
  std::int32_t lastPercent_ = 0;
  std::string lastPercentText_;
  std::atomic<std::int32_t> result_{0};
  std::atomic<bool> done_{false};
  std::atomic<bool> cancelRequested_{false};
  std::atomic<bool> cancelledByUser_{false};
  bool cancelAllowed_ = true;
  std::thread worker_;
};

// What a modal progress window does, without the window: starts the worker, and every 150 ms
// calls `tick` (what the window handled meanwhile: a Cancel press) and then checks whether the
// worker has finished; returns its result, or ResultNoThread at once when it could not start.
std::int32_t RunProgressModal(ProgressOperation& op, const std::function<void()>& tick = {});

}  // namespace zr7
