#include "ui/ProgressDialog.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>

#include "text/MessageCatalog.h"
#include "ui/DialogUnits.h"

namespace zr7 {

namespace {

constexpr int kIndicatorCells = 12;
constexpr int kIndicatorStepMs = 90;

QString Q(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

BusyIndicator::BusyIndicator(QWidget* parent) : QWidget(parent) {
  connect(&timer_, &QTimer::timeout, this, [this] {
    phase_ = (phase_ + 1) % kIndicatorCells;
    update();
  });
  timer_.start(kIndicatorStepMs);
}

void BusyIndicator::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const int gap = 3;
  const int cell = std::max(4, (width() - gap * (kIndicatorCells - 1)) / kIndicatorCells);
  const int h = std::min(height() - 4, cell);
  const int left = (width() - (cell * kIndicatorCells + gap * (kIndicatorCells - 1))) / 2;
  const int top = (height() - h) / 2;
  const QColor lit = palette().color(QPalette::Highlight);
  for (int i = 0; i < kIndicatorCells; ++i) {
    // A short tail behind the lit cell makes the motion readable at a glance.
    const int behind = (phase_ - i + kIndicatorCells) % kIndicatorCells;
    QColor c = palette().color(QPalette::Mid);
    if (behind == 0)
      c = lit;
    else if (behind <= 2)
      c = lit.lighter(100 + 40 * behind);
    p.fillRect(left + i * (cell + gap), top, cell, h, c);
  }
}

ProgressDialog::ProgressDialog(QWidget* parent, ProgressOperation& op, OperatorInterface& operatorSeam)
    : QDialog(parent), op_(op), texts_(this) {
  setModal(true);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  const DialogUnits du(font());
  setFixedSize(du.X(202), du.Y(116));

  operationLine_ = new QLabel(this);
  operationLine_->setAlignment(Qt::AlignCenter);
  du.Place(operationLine_, 8, 5, 185, 10);
  animation_ = new BusyIndicator(this);
  du.Place(animation_, 8, 20, 185, 30);
  bar_ = new QProgressBar(this);
  bar_->setRange(0, 100);
  bar_->setValue(0);
  bar_->setTextVisible(false);
  du.Place(bar_, 8, 60, 185, 15);
  percentLine_ = new QLabel(this);
  percentLine_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  du.Place(percentLine_, 8, 80, 182, 10);
  cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  cancel_->setAutoDefault(false);  // so that Enter presses nothing
  cancel_->setDefault(false);
  du.Place(cancel_, 123, 95, 70, 15);
  cancel_->setEnabled(op_.CancelAllowed());
  connect(cancel_, &QPushButton::clicked, this, [this] { op_.RequestCancel(); });

  texts_.AddControl(2, cancel_);
  texts_.AddControl(1051, operationLine_);
  texts_.AddControl(1052, percentLine_);
  texts_.Translate(dialog::Progress, op_.Catalog(), operatorSeam);

  poll_.setInterval(ProgressOperation::CompletionPollMs);
  connect(&poll_, &QTimer::timeout, this, &ProgressDialog::Poll);
}

ProgressDialog::~ProgressDialog() { op_.SetSink(nullptr); }

std::int32_t ProgressDialog::Run() {
  op_.SetSink(this);
  if (!op_.StartWorker()) {
    op_.SetSink(nullptr);
    return ResultNoThread;
  }
  poll_.start();
  const int code = exec();
  op_.JoinWorker();
  op_.SetSink(nullptr);
  return code;
}

void ProgressDialog::Poll() {
  if (!op_.Done()) return;
  poll_.stop();
  finishing_ = true;
  done(op_.Result());
}

// The worker's calls: each one becomes an event for this window, carried out by the GUI
// thread; an event still queued when the window closes is dropped with it.
void ProgressDialog::SetCaption(std::string_view text) {
  QMetaObject::invokeMethod(this, [this, t = Q(text)] { setWindowTitle(t); }, Qt::QueuedConnection);
}

void ProgressDialog::SetOperationLine(std::string_view text) {
  QMetaObject::invokeMethod(this, [this, t = Q(text)] { operationLine_->setText(t); }, Qt::QueuedConnection);
}

void ProgressDialog::SetPercentLine(std::string_view text) {
  QMetaObject::invokeMethod(this, [this, t = Q(text)] { percentLine_->setText(t); }, Qt::QueuedConnection);
}

void ProgressDialog::SetBar(int percent) {
  QMetaObject::invokeMethod(this, [this, percent] { bar_->setValue(percent); }, Qt::QueuedConnection);
}

QString ProgressDialog::OperationLine() const { return operationLine_->text(); }
QString ProgressDialog::PercentLine() const { return percentLine_->text(); }
int ProgressDialog::Bar() const { return bar_->value(); }

void ProgressDialog::reject() {
  if (cancel_->isEnabled()) op_.RequestCancel();
}

void ProgressDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void ProgressDialog::closeEvent(QCloseEvent* event) {
  // Only the worker's end closes the window.
  if (finishing_) {
    QDialog::closeEvent(event);
    return;
  }
  event->ignore();
  reject();
}

}  // namespace zr7
