#pragma once
// The one seam between the rules of the system and a person: status line, message boxes,
// questions, wait cursor and file choice. The desktop window implements it with widgets; the
// command line and the tests implement it with scripted answers. Core code reaches the
// operator only through here.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zr7 {

class MessageCatalog;
class ProgressOperation;

enum class BoxIcon { None, Information, Warning, Error, Question };
enum class BoxButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class BoxAnswer { Ok, Cancel, Yes, No };

struct MessageBoxRequest {
  std::string caption;
  std::string text;
  BoxIcon icon = BoxIcon::None;
  BoxButtons buttons = BoxButtons::Ok;
  // The button Enter presses; none: the first (OK, Yes). A question whose Yes cannot be undone
  // (erase a locked chip) defaults to No.
  std::optional<BoxAnswer> defaultAnswer = std::nullopt;
};

struct FileRequest {
  std::string title;
  std::string filter;            // e.g. "Intel HEX (*.hex)|*.hex|All files (*.*)|*.*"
  std::string initialPath;
  std::string defaultExtension;  // without the dot
};

class OperatorInterface {
 public:
  virtual ~OperatorInterface() = default;

  // The single result line of the window; an empty text clears it.
  virtual void SetStatus(std::string_view text) = 0;
  // Shows a box and waits for the answer (Ok for a box with only an OK button).
  virtual BoxAnswer ShowBox(const MessageBoxRequest& box) = 0;
  // Nested calls are counted: the cursor is normal again after as many offs as ons.
  virtual void SetWaitCursor(bool on) = 0;
  virtual std::optional<std::string> ChooseFileToOpen(const FileRequest& request) = 0;
  virtual std::optional<std::string> ChooseFileToSave(const FileRequest& request) = 0;
  // The Load Address dialog: where to merge a file into an image, `proposed` offered first;
  // nothing on Cancel.
  virtual std::optional<std::uint32_t> AskLoadAddress(std::uint32_t proposed) = 0;
  // Runs a long operation modally (its worker thread, its progress, its Cancel button) and
  // returns its result code. By default: no display, no Cancel.
  virtual std::int32_t RunProgress(ProgressOperation& op);
};

// The standard boxes of the programmer, captioned with the product name: with the
// information icon (ShowInfo) and without (ShowNotice).
void ShowInfo(OperatorInterface& op, const MessageCatalog& catalog, std::string_view text);
void ShowNotice(OperatorInterface& op, const MessageCatalog& catalog, std::string_view text);

// Shows the wait cursor for the life of the object.
class WaitCursor {
 public:
  explicit WaitCursor(OperatorInterface& op) : op_(&op) { op_->SetWaitCursor(true); }
  ~WaitCursor() { Release(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
  // Ends the wait cursor early (before a box that the operator must read, say).
  void Release() {
    if (op_) op_->SetWaitCursor(false);
    op_ = nullptr;
  }

 private:
  OperatorInterface* op_;
};

}  // namespace zr7
