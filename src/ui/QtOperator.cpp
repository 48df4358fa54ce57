#include "ui/QtOperator.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QThread>

#include "present/WindowRules.h"
#include "ui/ProgressDialog.h"
#include "ui/LoadAddressDialog.h"

namespace zr7 {

namespace {

QString Q(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

bool OnGuiThreadNow() { return QThread::currentThread() == QCoreApplication::instance()->thread(); }

QMessageBox::Icon IconOf(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::Information: return QMessageBox::Information;
    case BoxIcon::Warning: return QMessageBox::Warning;
    case BoxIcon::Error: return QMessageBox::Critical;
    case BoxIcon::Question: return QMessageBox::Question;
    case BoxIcon::None: break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

void OnGuiThread(const std::function<void()>& work) {
  if (OnGuiThreadNow())
    work();
  else
    QMetaObject::invokeMethod(QCoreApplication::instance(), work, Qt::BlockingQueuedConnection);
}

void QtOperator::SetStatusLabel(QLabel* label) {
  status_ = label;
  if (status_) status_->setText(StatusText());
}

QString QtOperator::StatusText() const {
  std::lock_guard lock(statusMutex_);
  return statusText_;
}

void QtOperator::SetStatus(std::string_view text) {
  const QString q = Q(text);
  {
    std::lock_guard lock(statusMutex_);
    statusText_ = q;
  }
  OnGuiThread([&] {
    if (!status_) return;
    status_->setText(q);
    // Commands run on this thread: without an immediate repaint a line such as
    // "Connecting to COM1..." would never be seen before the next one replaces it.
    status_->repaint();
  });
}

QWidget* QtOperator::BoxParent() const {
  for (auto it = modalStack_.rbegin(); it != modalStack_.rend(); ++it)
    if (*it) return *it;
  return owner_;
}

BoxAnswer QtOperator::ShowBox(const MessageBoxRequest& box) {
  BoxAnswer answer = BoxAnswer::Ok;
  OnGuiThread([&] {
    // The operator must be able to point at the buttons while a command waits.
    const bool waiting = waitDepth_ > 0;
    if (waiting) QApplication::setOverrideCursor(Qt::ArrowCursor);
    answer = AskOnGuiThread(box);
    if (waiting) QApplication::restoreOverrideCursor();
  });
  return answer;
}

BoxAnswer QtOperator::AskOnGuiThread(const MessageBoxRequest& box) {
  QMessageBox mb(IconOf(box.icon), Q(box.caption), Q(box.text), QMessageBox::NoButton, BoxParent());
  switch (box.buttons) {
    case BoxButtons::Ok:
      mb.setStandardButtons(QMessageBox::Ok);
      break;
    case BoxButtons::OkCancel:
      mb.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      mb.setEscapeButton(QMessageBox::Cancel);
      break;
    case BoxButtons::YesNo:
      mb.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      mb.setEscapeButton(QMessageBox::No);
      break;
    case BoxButtons::YesNoCancel:
      mb.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      mb.setEscapeButton(QMessageBox::Cancel);
      break;
  }
  // Named always: left to itself, the style picks the default, and Enter must never erase a chip
  // the operator did not mean to.
  QMessageBox::StandardButton first = QMessageBox::Ok;
  if (box.buttons == BoxButtons::YesNo || box.buttons == BoxButtons::YesNoCancel) first = QMessageBox::Yes;
  QMessageBox::StandardButton chosen = first;
  if (box.defaultAnswer == BoxAnswer::No) chosen = QMessageBox::No;
  if (box.defaultAnswer == BoxAnswer::Cancel) chosen = QMessageBox::Cancel;
  if (mb.button(chosen) == nullptr) chosen = first;
  mb.setDefaultButton(chosen);
  mb.setWindowModality(Qt::ApplicationModal);
  switch (mb.exec()) {
    case QMessageBox::Yes: return BoxAnswer::Yes;
    case QMessageBox::No: return BoxAnswer::No;
    case QMessageBox::Cancel: return BoxAnswer::Cancel;
    default: return BoxAnswer::Ok;
  }
}

void QtOperator::SetWaitCursor(bool on) {
  OnGuiThread([&] {
    if (on) {
      if (waitDepth_++ == 0) QApplication::setOverrideCursor(Qt::WaitCursor);
    } else if (waitDepth_ > 0) {
      if (--waitDepth_ == 0) QApplication::restoreOverrideCursor();
    }
  });
}

std::optional<std::string> QtOperator::ChooseFileToOpen(const FileRequest& request) {
  std::optional<std::string> chosen;
  OnGuiThread([&] { chosen = ChooseFileOnGuiThread(request, false); });
  return chosen;
}

std::optional<std::string> QtOperator::ChooseFileToSave(const FileRequest& request) {
  std::optional<std::string> chosen;
  OnGuiThread([&] { chosen = ChooseFileOnGuiThread(request, true); });
  return chosen;
}

std::optional<std::string> QtOperator::ChooseFileOnGuiThread(const FileRequest& request, bool save) {
  QFileDialog dialog(BoxParent(), Q(request.title), QString(), Q(DialogFilterText(request.filter)));
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  if (!request.defaultExtension.empty()) dialog.setDefaultSuffix(Q(request.defaultExtension));
  if (!request.initialPath.empty()) dialog.selectFile(Q(request.initialPath));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first().toStdString();
}

std::optional<std::uint32_t> QtOperator::AskLoadAddress(std::uint32_t proposed) {
  std::optional<std::uint32_t> address;
  OnGuiThread([&] { address = RunLoadAddressDialog(BoxParent(), catalog_, *this, proposed); });
  return address;
}

std::int32_t QtOperator::RunProgress(ProgressOperation& op) {
  std::int32_t result = ResultNoThread;
  OnGuiThread([&] {
    // Cancel must be reachable while the command shows the wait cursor.
    const bool waiting = waitDepth_ > 0;
    if (waiting) QApplication::setOverrideCursor(Qt::ArrowCursor);
    ProgressDialog dialog(BoxParent(), op, *this);
    modalStack_.push_back(&dialog);
    result = dialog.Run();
    modalStack_.pop_back();
    if (waiting) QApplication::restoreOverrideCursor();
  });
  return result;
}

}  // namespace zr7
