#include "ConsoleOperator.h"

#include <ostream>

namespace zr7cli {

void ConsoleOperator::SetStatus(std::string_view text) {
  if (!text.empty()) out_ << text << '\n' << std::flush;
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
  err_ << box.text;
  // The answer is written beside the question, so a log shows what was decided.
  if (shown) err_ << " [" << shown << "]";
  err_ << '\n' << std::flush;
  return answer;
}

}  // namespace zr7cli
