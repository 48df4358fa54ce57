#pragma once
// The operator of a command-line job: the status line goes to stdout, every box to stderr,
// and questions get the answer given on the command line.

#include <iosfwd>

#include "app/OperatorInterface.h"

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

 private:
  std::ostream& out_;
  std::ostream& err_;
  bool yes_;
};

}  // namespace zr7cli
