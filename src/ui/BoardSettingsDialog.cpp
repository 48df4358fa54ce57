#include "ui/BoardSettingsDialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "text/MessageCatalog.h"
#include "ui/DialogUnits.h"

namespace zr7 {

namespace {

constexpr int kRowTop = 14;
constexpr int kRowStep = 16;
constexpr int kPresenceRefreshMs = 1000;

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

BoardSettingsDialog::BoardSettingsDialog(QWidget* parent, const MessageCatalog& catalog, OperatorInterface& op,
                                         int port, bool highSpeed, const PortMap& ports)
    : QDialog(parent), catalog_(catalog), texts_(this), choice_{port, highSpeed, ports} {
  setWindowTitle(QStringLiteral("Board Settings"));
  const DialogUnits du(font());
  setFixedSize(du.X(260), du.Y(192));

  auto* group = new QGroupBox(QStringLiteral("Communication port"), this);
  du.Place(group, 7, 7, 246, 144);
  texts_.AddControl(1113, group);
  group->setObjectName(QStringLiteral("id1113"));
  radios_ = new QButtonGroup(this);
  for (int i = 0; i < PortCount; ++i) {
    // Places inside the frame count from its corner.
    const int y = kRowTop + kRowStep * i;
    auto* radio = new QRadioButton(Q(PortMap::PortName(i)), group);
    du.Place(radio, 8, y + 1, 36, 10);
    radio->setObjectName(QStringLiteral("id%1").arg(PortRadioIds[static_cast<std::size_t>(i)]));
    texts_.AddControl(PortRadioIds[static_cast<std::size_t>(i)], radio);
    radios_->addButton(radio, i);

    auto* path = new QLineEdit(Q(ports.PathFor(i)), group);
    du.Place(path, 46, y, 124, 12);
    path->setObjectName(QStringLiteral("path%1").arg(i + 1));
    path->setPlaceholderText(Q(PortMap::DefaultPath(i)));
    path->setToolTip(Q(FormatText(catalog.GetText(msg::PortPathTip), PortMap::PortName(i).c_str(),
                                  PortMap::DefaultPath(i).c_str())));
    auto* note = new QLabel(group);
    du.Place(note, 174, y + 2, 68, 8);
    note->setObjectName(QStringLiteral("presence%1").arg(i + 1));
    paths_[static_cast<std::size_t>(i)] = path;
    notes_[static_cast<std::size_t>(i)] = note;
    connect(path, &QLineEdit::textChanged, this, [this, i] { ShowPresence(i); });
  }

  highSpeed_ = new QCheckBox(QStringLiteral("Enable 115200 baud"), this);
  du.Place(highSpeed_, 7, 156, 160, 10);
  highSpeed_->setObjectName(QStringLiteral("id1054"));
  texts_.AddControl(1054, highSpeed_);

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  du.Place(ok, 148, 172, 50, 14);
  ok->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  du.Place(cancel, 203, 172, 50, 14);
  for (auto [id, button] : {std::pair<int, QPushButton*>{1, ok}, {2, cancel}}) {
    button->setObjectName(QStringLiteral("id%1").arg(id));
    texts_.AddControl(id, button);
  }
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  texts_.Translate(dialog::BoardSettings, catalog, op);
  radios_->button(CheckedPortPosition(port))->setChecked(true);
  highSpeed_->setChecked(highSpeed);
  RefreshPresence();

  // An adapter may be plugged in or pulled while the dialog is open.
  auto* timer = new QTimer(this);
  connect(timer, &QTimer::timeout, this, &BoardSettingsDialog::RefreshPresence);
  timer->start(kPresenceRefreshMs);
}

void BoardSettingsDialog::ShowPresence(int portIndex) {
  const auto i = static_cast<std::size_t>(portIndex);
  // An empty edit stands for the built-in path, so that is the file to look for.
  const bool present = PortPresent(NormalizedPortPath(paths_[i]->text().toStdString(), portIndex));
  notes_[i]->setText(QString::fromUtf8(catalog_.GetText(present ? msg::PortPresentNote : msg::PortAbsentNote)));
}

void BoardSettingsDialog::RefreshPresence() {
  for (int i = 0; i < PortCount; ++i) ShowPresence(i);
}

void BoardSettingsDialog::accept() {
  choice_.port = PortFromPosition(radios_->checkedId(), choice_.port);
  choice_.highSpeed = highSpeed_->isChecked();
  for (int i = 0; i < PortCount; ++i)
    choice_.ports.Set(i, NormalizedPortPath(paths_[static_cast<std::size_t>(i)]->text().toStdString(), i));
  QDialog::accept();
}

std::optional<BoardSettingsChoice> RunBoardSettingsDialog(QWidget* parent, const MessageCatalog& catalog,
                                                          OperatorInterface& op, int port, bool highSpeed,
                                                          const PortMap& ports) {
  BoardSettingsDialog dialog(parent, catalog, op, port, highSpeed, ports);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.Choice();
}

}  // namespace zr7
