#pragma once
// The progress window (template 129): operation line, a busy animation, the bar, the
// percentage line and Cancel. The worker's progress calls are posted to the GUI thread;
// the worker never touches a widget. Cancel only asks the worker to stop; the window closes
// on the first 150 ms poll after the worker has finished.

#include <QDialog>
#include <QTimer>
#include <cstdint>

#include "operator/ProgressOperation.h"
#include "ui/QtWindowTexts.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace zr7 {

class OperatorInterface;

// A small endless animation: a lit block running along a row of cells.
class BusyIndicator : public QWidget {
 public:
  explicit BusyIndicator(QWidget* parent);
  int Phase() const { return phase_; }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  QTimer timer_;
  int phase_ = 0;
};

class ProgressDialog : public QDialog, public ProgressSink {
 public:
  ProgressDialog(QWidget* parent, ProgressOperation& op, OperatorInterface& operatorSeam);
  ~ProgressDialog() override;

  // Starts the worker and shows the window until the worker has finished; its result code,
  // or ResultNoThread at once when no worker could be started.
  std::int32_t Run();

  void SetCaption(std::string_view text) override;
  void SetOperationLine(std::string_view text) override;
  void SetPercentLine(std::string_view text) override;
  void SetBar(int percent) override;

  QString OperationLine() const;
  QString PercentLine() const;
  int Bar() const;
  QPushButton* CancelButton() const { return cancel_; }

  // Enter never closes this window; Esc and the close box are Cancel.
  void accept() override {}
  void reject() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void Poll();

  ProgressOperation& op_;
  QtWindowTexts texts_;
  QLabel* operationLine_;
  BusyIndicator* animation_;
  QProgressBar* bar_;
  QLabel* percentLine_;
  QPushButton* cancel_;
  QTimer poll_;
  bool finishing_ = false;
};

}  // namespace zr7
