#include "ui/QtWindowTexts.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>

namespace zr7 {

namespace {

constexpr const char* kCommandProperty = "zr7CommandId";

QString Q(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QAction* FindAction(QMenu* menu, int commandId) {
  for (QAction* a : menu->actions()) {
    if (CommandIdOf(a) == commandId) return a;
    if (a->menu())
      if (QAction* inner = FindAction(a->menu(), commandId)) return inner;
  }
  return nullptr;
}

}  // namespace

int CommandIdOf(const QAction* action) {
  const QVariant v = action->property(kCommandProperty);
  return v.isValid() ? v.toInt() : 0;
}

void SetCommandId(QAction* action, int commandId) { action->setProperty(kCommandProperty, commandId); }

void QtWindowTexts::Translate(int dialogId, const MessageCatalog& catalog, OperatorInterface& op) {
  TranslateWindow(*this, dialogId, catalog, op);
}

void QtWindowTexts::SetMenuItemText(int commandId, std::string_view text) {
  if (!menuBar_) return;
  for (QAction* top : menuBar_->actions())
    if (top->menu())
      if (QAction* a = FindAction(top->menu(), commandId)) {
        a->setText(Q(text));  // "&" marks the mnemonic and "&&" is one "&" in Qt too
        return;
      }
}

void QtWindowTexts::SetPopupTitle(int position, std::string_view text, bool) {
  // A Qt menu bar keeps a popup's placement when its title changes.
  if (!menuBar_) return;
  const QList<QAction*> tops = menuBar_->actions();
  if (position >= 0 && position < tops.size()) tops[position]->setText(Q(text));
}

void QtWindowTexts::RedrawMenu() {
  if (menuBar_) menuBar_->update();
}

void QtWindowTexts::SetCaption(std::string_view text) {
  if (window_) window_->setWindowTitle(Q(text));
}

bool QtWindowTexts::HasControl(int controlId) const {
  auto it = controls_.find(controlId);
  return it != controls_.end() && it->second;
}

void QtWindowTexts::SetControlText(int controlId, std::string_view text) {
  auto it = controls_.find(controlId);
  if (it == controls_.end() || !it->second) return;
  QWidget* w = it->second;
  if (auto* b = qobject_cast<QAbstractButton*>(w))
    b->setText(Q(text));
  else if (auto* g = qobject_cast<QGroupBox*>(w))
    g->setTitle(Q(text));
  else if (auto* l = qobject_cast<QLabel*>(w))
    l->setText(Q(text));
  else if (auto* e = qobject_cast<QLineEdit*>(w))
    e->setText(Q(text));
}

}  // namespace zr7
