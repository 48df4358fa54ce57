#pragma once
// The operator seam with widgets: the status line, message boxes, the wait cursor, file
// dialogs, the Load Address dialog and the progress window. A worker thread may call it
// too: what it asks is shown by the GUI thread while the worker waits for the answer.

#include <QPointer>
#include <QString>
#include <functional>
#include <mutex>
#include <vector>

#include "operator/OperatorInterface.h"

class QLabel;
class QWidget;

namespace zr7 {

class MessageCatalog;

// Runs `work` on the GUI thread: at once when called there, else queued and waited for.
void OnGuiThread(const std::function<void()>& work);

class QtOperator : public OperatorInterface {
 public:
  explicit QtOperator(const MessageCatalog& catalog) : catalog_(catalog) {}

  // The window that owns boxes and dialogs (the main window); may be null.
  void SetOwner(QWidget* owner) { owner_ = owner; }
  // The status line, control 1057. What was written before it exists shows once it does.
  void SetStatusLabel(QLabel* label);
  QString StatusText() const;

  void SetStatus(std::string_view text) override;
  BoxAnswer ShowBox(const MessageBoxRequest& box) override;
  void SetWaitCursor(bool on) override;
  std::optional<std::string> ChooseFileToOpen(const FileRequest& request) override;
  std::optional<std::string> ChooseFileToSave(const FileRequest& request) override;
  std::optional<std::uint32_t> AskLoadAddress(std::uint32_t proposed) override;
  std::int32_t RunProgress(ProgressOperation& op) override;

  int WaitCursorDepth() const { return waitDepth_; }
  const MessageCatalog& Catalog() const { return catalog_; }
  // Where boxes go now: the progress window while one is open, else the owner.
  QWidget* BoxParent() const;

 protected:
  // On the GUI thread: the box itself, and the file dialog itself.
  virtual BoxAnswer AskOnGuiThread(const MessageBoxRequest& box);
  virtual std::optional<std::string> ChooseFileOnGuiThread(const FileRequest& request, bool save);

 private:
  const MessageCatalog& catalog_;
  QPointer<QWidget> owner_;
  QPointer<QLabel> status_;
  std::vector<QPointer<QWidget>> modalStack_;  // open progress windows, innermost last
  mutable std::mutex statusMutex_;
  QString statusText_;
  int waitDepth_ = 0;  // GUI thread only
};

}  // namespace zr7
