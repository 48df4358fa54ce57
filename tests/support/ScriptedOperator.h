#pragma once
// An operator with answers given in advance: for the command line and for tests.
// Records everything the system showed, in order.

#include <deque>
#include <mutex>
#include <vector>

#include "operator/OperatorInterface.h"
#include "operator/ProgressOperation.h"

namespace zr7 {

class ScriptedOperator : public OperatorInterface {
 public:
  enum class EventKind { Status, Box, FileOpen, FileSave, LoadAddress, ProgressCaption, ProgressLine, ProgressPercent };
  struct Event {
    EventKind kind = EventKind::Status;
    std::string text;     // status text, box text, or file dialog title
    std::string caption;  // boxes only
    BoxIcon icon = BoxIcon::None;
    BoxButtons buttons = BoxButtons::Ok;
    BoxAnswer answer = BoxAnswer::Ok;
    std::optional<BoxAnswer> defaultAnswer = std::nullopt;  // the button Enter would press; none: the first
  };

  void SetStatus(std::string_view text) override;
  BoxAnswer ShowBox(const MessageBoxRequest& box) override;
  void SetWaitCursor(bool on) override;
  std::optional<std::string> ChooseFileToOpen(const FileRequest& request) override;
  std::optional<std::string> ChooseFileToSave(const FileRequest& request) override;
  std::optional<std::uint32_t> AskLoadAddress(std::uint32_t proposed) override;
  // Runs the operation as the progress window would, recording its captions, lines and
  // percentage texts, and pressing Cancel when told to.
  std::int32_t RunProgress(ProgressOperation& op) override;

  // Press Cancel once the bar reaches this percentage (at the unit boundary that reached it).
  void CancelProgressAt(std::optional<int> percent);
  // Press Cancel after the worker has finished but before the window notices.
  void CancelProgressAfterCompletion(bool on);
  // Bar positions shown by the last progress run.
  std::vector<int> ProgressBars() const;

  // Answers to the next questions, in order; once used up, questions get the default answer.
  void QueueAnswer(BoxAnswer answer);
  void SetDefaultAnswer(BoxAnswer answer);
  // Files to "choose" next; once used up, the dialogs are cancelled.
  void QueueFile(std::string path);
  // Answers to the next Load Address dialogs (nullopt = Cancel); once used up, the proposed
  // address is accepted.
  void QueueLoadAddress(std::optional<std::uint32_t> address);

  std::vector<Event> Events() const;
  std::vector<std::string> StatusTexts() const;
  std::vector<Event> Boxes() const;
  // The texts of the boxes shown, in order.
  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> out;
    for (const Event& e : Boxes()) out.push_back(e.text);
    return out;
  }
  std::string LastStatus() const;
  int WaitCursorDepth() const;
  // The deepest the wait cursor was nested, and whether it was ever switched off too often.
  int MaxWaitCursorDepth() const;
  bool WaitCursorUnderflow() const;
  void ClearEvents();

 private:
  BoxAnswer AnswerFor(BoxButtons buttons);
  void Record(EventKind kind, std::string text);  // the mutex held

  mutable std::mutex mutex_;  // worker threads may write the status line
  std::vector<Event> events_;
  std::deque<BoxAnswer> answers_;
  std::deque<std::optional<std::string>> files_;
  std::deque<std::optional<std::uint32_t>> addresses_;
  BoxAnswer defaultAnswer_ = BoxAnswer::Yes;
  int waitDepth_ = 0;
  int maxWaitDepth_ = 0;
  bool waitUnderflow_ = false;
  std::optional<int> cancelAtPercent_;
  bool cancelAfterCompletion_ = false;
  std::vector<int> bars_;
};

}  // namespace zr7
