#pragma once
// Dialog 139, "Advanced Board Settings": the four board delays. It has no catalog texts and
// reads the same in both languages.

#include <QDialog>
#include <array>
#include <optional>

#include "link/ChipJob.h"

class QLineEdit;

namespace zr7 {

class OperatorInterface;

class BoardDelaysDialog : public QDialog {
  Q_OBJECT

 public:
  BoardDelaysDialog(QWidget* parent, OperatorInterface& op, const BoardDelays& delays);

  // The delays, valid once the dialog is accepted; until then the ones given.
  const BoardDelays& Delays() const { return delays_; }

  // Stays open, with the range named and the offending edit focused, unless all four hold
  // an allowed value.
  void accept() override;

 private:
  OperatorInterface& op_;
  std::array<QLineEdit*, 4> edits_{};
  BoardDelays delays_;
};

// The delays on OK, nothing on Cancel.
std::optional<BoardDelays> RunBoardDelaysDialog(QWidget* parent, OperatorInterface& op, const BoardDelays& delays);

}  // namespace zr7
