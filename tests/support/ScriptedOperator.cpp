#include "support/ScriptedOperator.h"

#include <chrono>
#include <thread>

namespace zr7 {

namespace {
// The next scripted answer, or `otherwise` once they are used up.
template <typename T>
T Next(std::deque<T>& queue, T otherwise) {
  if (queue.empty()) return otherwise;
  T front = std::move(queue.front());
  queue.pop_front();
  return front;
}
}  // namespace

void ScriptedOperator::Record(EventKind kind, std::string text) {
  Event e;
  e.kind = kind;
  e.text = std::move(text);
  events_.push_back(std::move(e));
}

void ScriptedOperator::SetStatus(std::string_view text) {
  std::lock_guard lock(mutex_);
  Record(EventKind::Status, std::string(text));
}

BoxAnswer ScriptedOperator::AnswerFor(BoxButtons buttons) {
  if (buttons == BoxButtons::Ok) return BoxAnswer::Ok;
  BoxAnswer a = Next(answers_, defaultAnswer_);
  // An answer the box cannot give falls back to the box's "no" button.
  bool fits = (buttons == BoxButtons::OkCancel && (a == BoxAnswer::Ok || a == BoxAnswer::Cancel)) ||
              (buttons == BoxButtons::YesNo && (a == BoxAnswer::Yes || a == BoxAnswer::No)) ||
              (buttons == BoxButtons::YesNoCancel && a != BoxAnswer::Ok);
  if (!fits) a = buttons == BoxButtons::OkCancel ? BoxAnswer::Cancel : BoxAnswer::No;
  return a;
}

BoxAnswer ScriptedOperator::ShowBox(const MessageBoxRequest& box) {
  std::lock_guard lock(mutex_);
  BoxAnswer a = AnswerFor(box.buttons);
  events_.push_back({EventKind::Box, box.text, box.caption, box.icon, box.buttons, a, box.defaultAnswer});
  return a;
}

void ScriptedOperator::SetWaitCursor(bool on) {
  std::lock_guard lock(mutex_);
  if (on) {
    ++waitDepth_;
    if (waitDepth_ > maxWaitDepth_) maxWaitDepth_ = waitDepth_;
  } else if (waitDepth_ == 0) {
    waitUnderflow_ = true;
  } else {
    --waitDepth_;
  }
}

std::optional<std::string> ScriptedOperator::ChooseFileToOpen(const FileRequest& request) {
  std::lock_guard lock(mutex_);
  Record(EventKind::FileOpen, request.title);
  return Next<std::optional<std::string>>(files_, std::nullopt);
}

std::optional<std::string> ScriptedOperator::ChooseFileToSave(const FileRequest& request) {
  std::lock_guard lock(mutex_);
  Record(EventKind::FileSave, request.title);
  return Next<std::optional<std::string>>(files_, std::nullopt);
}

std::optional<std::uint32_t> ScriptedOperator::AskLoadAddress(std::uint32_t proposed) {
  std::lock_guard lock(mutex_);
  Record(EventKind::LoadAddress, std::to_string(proposed));
  return Next<std::optional<std::uint32_t>>(addresses_, proposed);
}

namespace {

class RecordingSink : public ProgressSink {
 public:
  RecordingSink(ProgressOperation& operation, std::optional<int> cancelAt,
                std::function<void(ScriptedOperator::EventKind, std::string_view)> record,
                std::function<void(int)> bar)
      : operation_(operation), cancelAt_(cancelAt), record_(std::move(record)), bar_(std::move(bar)) {}
  void SetCaption(std::string_view text) override { record_(ScriptedOperator::EventKind::ProgressCaption, text); }
  void SetOperationLine(std::string_view text) override { record_(ScriptedOperator::EventKind::ProgressLine, text); }
  void SetPercentLine(std::string_view text) override { record_(ScriptedOperator::EventKind::ProgressPercent, text); }
  void SetBar(int percent) override {
    bar_(percent);
    if (cancelAt_ && percent >= *cancelAt_) operation_.RequestCancel();
  }

 private:
  ProgressOperation& operation_;
  std::optional<int> cancelAt_;
  std::function<void(ScriptedOperator::EventKind, std::string_view)> record_;
  std::function<void(int)> bar_;
};

}  // namespace

std::int32_t ScriptedOperator::RunProgress(ProgressOperation& op) {
  std::optional<int> cancelAt;
  bool afterCompletion;
  {
    std::lock_guard lock(mutex_);
    cancelAt = cancelAtPercent_;
    afterCompletion = cancelAfterCompletion_;
    bars_.clear();
  }
  RecordingSink sink(
      op, cancelAt,
      [this](EventKind kind, std::string_view text) {
        std::lock_guard lock(mutex_);
        Record(kind, std::string(text));
      },
      [this](int percent) {
        std::lock_guard lock(mutex_);
        bars_.push_back(percent);
      });
  op.SetSink(&sink);
  std::int32_t result = RunProgressModal(op, [&] {
    if (!afterCompletion) return;
    // Wait for the worker to store its result, then press Cancel before the next poll.
    while (!op.Done()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    op.RequestCancel();
  });
  op.SetSink(nullptr);
  return result;
}

void ScriptedOperator::CancelProgressAt(std::optional<int> percent) {
  std::lock_guard lock(mutex_);
  cancelAtPercent_ = percent;
}

void ScriptedOperator::CancelProgressAfterCompletion(bool on) {
  std::lock_guard lock(mutex_);
  cancelAfterCompletion_ = on;
}

std::vector<int> ScriptedOperator::ProgressBars() const {
  std::lock_guard lock(mutex_);
  return bars_;
}

void ScriptedOperator::QueueLoadAddress(std::optional<std::uint32_t> address) {
  std::lock_guard lock(mutex_);
  addresses_.push_back(address);
}

void ScriptedOperator::QueueAnswer(BoxAnswer answer) {
  std::lock_guard lock(mutex_);
  answers_.push_back(answer);
}

void ScriptedOperator::SetDefaultAnswer(BoxAnswer answer) {
  std::lock_guard lock(mutex_);
  defaultAnswer_ = answer;
}

void ScriptedOperator::QueueFile(std::string path) {
  std::lock_guard lock(mutex_);
  files_.push_back(std::move(path));
}

std::vector<ScriptedOperator::Event> ScriptedOperator::Events() const {
  std::lock_guard lock(mutex_);
  return events_;
}

std::vector<std::string> ScriptedOperator::StatusTexts() const {
  std::vector<std::string> out;
  for (const Event& e : Events())
    if (e.kind == EventKind::Status) out.push_back(e.text);
  return out;
}

std::vector<ScriptedOperator::Event> ScriptedOperator::Boxes() const {
  std::vector<Event> out;
  for (const Event& e : Events())
    if (e.kind == EventKind::Box) out.push_back(e);
  return out;
}

std::string ScriptedOperator::LastStatus() const {
  std::lock_guard lock(mutex_);
  for (auto it = events_.rbegin(); it != events_.rend(); ++it)
    if (it->kind == EventKind::Status) return it->text;
  return {};
}

int ScriptedOperator::WaitCursorDepth() const {
  std::lock_guard lock(mutex_);
  return waitDepth_;
}

int ScriptedOperator::MaxWaitCursorDepth() const {
  std::lock_guard lock(mutex_);
  return maxWaitDepth_;
}

bool ScriptedOperator::WaitCursorUnderflow() const {
  std::lock_guard lock(mutex_);
  return waitUnderflow_;
}

void ScriptedOperator::ClearEvents() {
  std::lock_guard lock(mutex_);
  events_.clear();
}

}  // namespace zr7
