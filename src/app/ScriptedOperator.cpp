#include "app/ScriptedOperator.h"

namespace zr7 {

void ScriptedOperator::SetStatus(std::string_view text) {
  std::lock_guard lock(mutex_);
  events_.push_back({EventKind::Status, std::string(text), {}, BoxIcon::None, BoxButtons::Ok, BoxAnswer::Ok});
}

BoxAnswer ScriptedOperator::AnswerFor(BoxButtons buttons) {
  if (buttons == BoxButtons::Ok) return BoxAnswer::Ok;
  BoxAnswer a = defaultAnswer_;
  if (!answers_.empty()) {
    a = answers_.front();
    answers_.pop_front();
  }
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
  events_.push_back({EventKind::Box, box.text, box.caption, box.icon, box.buttons, a});
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
  events_.push_back({EventKind::FileOpen, request.title, {}, BoxIcon::None, BoxButtons::Ok, BoxAnswer::Ok});
  if (files_.empty()) return std::nullopt;
  std::string f = std::move(files_.front());
  files_.pop_front();
  return f;
}

std::optional<std::string> ScriptedOperator::ChooseFileToSave(const FileRequest& request) {
  std::lock_guard lock(mutex_);
  events_.push_back({EventKind::FileSave, request.title, {}, BoxIcon::None, BoxButtons::Ok, BoxAnswer::Ok});
  if (files_.empty()) return std::nullopt;
  std::string f = std::move(files_.front());
  files_.pop_front();
  return f;
}

std::optional<std::uint32_t> ScriptedOperator::AskLoadAddress(std::uint32_t proposed) {
  std::lock_guard lock(mutex_);
  events_.push_back({EventKind::LoadAddress, std::to_string(proposed), {}, BoxIcon::None, BoxButtons::Ok, BoxAnswer::Ok});
  if (addresses_.empty()) return proposed;
  std::optional<std::uint32_t> a = addresses_.front();
  addresses_.pop_front();
  return a;
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
  std::lock_guard lock(mutex_);
  std::vector<std::string> out;
  for (const Event& e : events_)
    if (e.kind == EventKind::Status) out.push_back(e.text);
  return out;
}

std::vector<ScriptedOperator::Event> ScriptedOperator::Boxes() const {
  std::lock_guard lock(mutex_);
  std::vector<Event> out;
  for (const Event& e : events_)
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
