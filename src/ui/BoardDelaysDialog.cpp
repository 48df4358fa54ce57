#include "ui/BoardDelaysDialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "operator/OperatorInterface.h"
#include "present/DialogRules.h"
#include "ui/DialogUnits.h"

namespace zr7 {

BoardDelaysDialog::BoardDelaysDialog(QWidget* parent, OperatorInterface& op, const BoardDelays& delays)
    : QDialog(parent), op_(op), delays_(delays) {
  setWindowTitle(QStringLiteral("Advanced Board Settings"));
  const DialogUnits du(font());
  setFixedSize(du.X(197), du.Y(151));

  auto* warning = new QLabel(
      QStringLiteral("WARNING: This window is provided to be used by advanced users/programmers only. "
                     "Changing this delays to large values may degrade perfomance."),
      this);
  warning->setWordWrap(true);
  du.Place(warning, 7, 7, 183, 32);

  constexpr const char* kLabels[] = {"Pre-read delay", "Page read delay", "Page write delay", "Post-send delay"};
  const BoardDelayTexts values = DelayTexts(delays);
  for (int i = 0; i < BoardDelayCount; ++i) {
    const int y = 46 + 18 * i;
    auto* label = new QLabel(QString::fromLatin1(kLabels[i]), this);
    du.Place(label, 20, y + 2, 80, 8);
    auto* edit = new QLineEdit(QString::fromStdString(values[static_cast<std::size_t>(i)]), this);
    du.Place(edit, 104, y, 44, 12);
    edit->setObjectName(QStringLiteral("id%1").arg(1076 + i));
    label->setBuddy(edit);
    auto* unit = new QLabel(QStringLiteral("ms"), this);
    du.Place(unit, 152, y + 2, 20, 8);
    edits_[static_cast<std::size_t>(i)] = edit;
  }

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  du.Place(ok, 40, 128, 50, 14);
  ok->setDefault(true);
  ok->setObjectName(QStringLiteral("id1"));
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  du.Place(cancel, 107, 128, 50, 14);
  cancel->setObjectName(QStringLiteral("id2"));
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void BoardDelaysDialog::accept() {
  BoardDelayTexts texts;
  for (std::size_t i = 0; i < texts.size(); ++i) texts[i] = edits_[i]->text().toStdString();
  const DelaysCheck check = CheckDelays(texts);
  if (!check.delays) {
    op_.ShowBox(DelayRangeBox());
    QLineEdit* bad = edits_[static_cast<std::size_t>(check.invalidIndex)];
    bad->setFocus();
    bad->selectAll();
    return;
  }
  delays_ = *check.delays;
  QDialog::accept();
}

std::optional<BoardDelays> RunBoardDelaysDialog(QWidget* parent, OperatorInterface& op, const BoardDelays& delays) {
  BoardDelaysDialog dialog(parent, op, delays);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.Delays();
}

}  // namespace zr7
