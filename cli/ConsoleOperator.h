#pragma once
// The operator of a command-line job: the status line goes to stdout, every box to stderr,
// questions get the answer given on the command line, and a long operation shows a bar on
// stderr when that is a terminal (Ctrl+C cancels it at the next safe point).

#include <iosfwd>
#include <mutex>

#include "operator/OperatorInterface.h"

namespace zr7cli {

class ConsoleOperator : public zr7::OperatorInterface {
 public:
  ConsoleOperator(std::ostream& out, std::ostream& err, bool answerYes) : out_(out), err_(err), yes_(answerYes) {}

  void SetStatus(std::string_view text) override;
  zr7::BoxAnswer ShowBox(const zr7::MessageBoxRequest& box) override;
  void SetWaitCursor(bool) override {}
  // Nobody is there to choose: dialogs are cancelled.
  std::optional<std::string> ChooseFileToOpen(const zr7::FileRequest&) override { return std::nullopt; }
  std::optional<std::string> ChooseFileToSave(const zr7::FileRequest&) override { return std::nullopt; }
  std::optional<std::uint32_t> AskLoadAddress(std::uint32_t) override { return std::nullopt; }
  std::int32_t RunProgress(zr7::ProgressOperation& op) override;

  // A line of the command line's own on stderr (why a port did not open, say).
  void Note(std::string_view text);

  // Where progress goes; set when stderr is a terminal.
  void SetProgressBar(bool onTerminal) { bar_ = onTerminal; }

 private:
  friend class ConsoleProgress;
  std::ostream& out_;
  std::ostream& err_;
  bool yes_;
  bool bar_ = false;
  std::mutex mutex_;  // the worker's boxes and progress meet the main thread's lines
};

}  // namespace zr7cli
