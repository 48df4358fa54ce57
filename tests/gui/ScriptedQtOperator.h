#pragma once
// The window's real Qt operator with its boxes, file dialogs and Load Address dialog answered
// from a script, for tests that drive the main window.

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "ui/QtOperator.h"

namespace zr7 {

class ScriptedQtOperator : public QtOperator {
 public:
  using QtOperator::QtOperator;
  // Queued answers; without one a box with only OK gets Ok, a question No.
  std::deque<BoxAnswer> answers;
  std::vector<MessageBoxRequest> boxes;
  std::deque<std::string> files;  // nothing queued: the file dialog is cancelled
  int fileRequests = 0;
  std::deque<std::optional<std::uint32_t>> addresses;  // nothing queued: the proposed address

  std::optional<std::uint32_t> AskLoadAddress(std::uint32_t proposed) override {
    if (addresses.empty()) return proposed;
    auto a = addresses.front();
    addresses.pop_front();
    return a;
  }

 protected:
  BoxAnswer AskOnGuiThread(const MessageBoxRequest& box) override {
    boxes.push_back(box);
    if (answers.empty()) return box.buttons == BoxButtons::Ok ? BoxAnswer::Ok : BoxAnswer::No;
    const BoxAnswer a = answers.front();
    answers.pop_front();
    return a;
  }
  std::optional<std::string> ChooseFileOnGuiThread(const FileRequest&, bool) override {
    ++fileRequests;
    if (files.empty()) return std::nullopt;
    std::string f = files.front();
    files.pop_front();
    return f;
  }
};

}  // namespace zr7
