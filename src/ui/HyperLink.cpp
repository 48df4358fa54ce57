#include "ui/HyperLink.h"

#include <QApplication>
#include <QEnterEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "operator/OperatorInterface.h"

namespace zr7 {

CHyperLink::CHyperLink(const QString& text, QWidget* parent) : QLabel(text, parent) {
  // A URL is shown as typed, never read as markup.
  setTextFormat(Qt::PlainText);
  // Reached with Tab; a click takes the focus only when the style says so.
  setFocusPolicy(Qt::TabFocus);
  setMouseTracking(true);
}

void CHyperLink::SetOpener(UrlOpener& opener, OperatorInterface& op) {
  opener_ = &opener;
  op_ = &op;
}

void CHyperLink::Attach() {
  std::string shown = text().toStdString();
  model_.Attach(shown);
  setText(QString::fromStdString(shown));
  UpdateUnderline();
  FitToText();
  if (!model_.Has(link_style::NoHandCursor)) setCursor(Qt::PointingHandCursor);
  setToolTip(Url());
}

QString CHyperLink::Url() const { return QString::fromStdString(model_.Url()); }

void CHyperLink::SetUrl(const QString& url) {
  model_.SetUrl(url.toStdString());
  FitToText();
  setToolTip(url);
  update();
}

bool CHyperLink::ModifyLinkStyle(std::uint32_t remove, std::uint32_t add, bool redraw) {
  if (!model_.ModifyStyle(remove, add)) return false;
  UpdateUnderline();
  if (model_.Has(link_style::NoHandCursor))
    unsetCursor();
  else
    setCursor(Qt::PointingHandCursor);
  if (redraw) update();
  return true;
}

void CHyperLink::SetLinkFont(const QFont& font) {
  QFont f = font;
  f.setUnderline(model_.Has(link_style::Underline));
  setFont(f);
  FitToText();
}

QColor CHyperLink::CurrentColour() const {
  const LinkColour c = model_.Colour();
  return QColor(c.red, c.green, c.blue);
}

void CHyperLink::FollowLink() {
  if (!opener_ || !op_) return;
  const std::optional<std::string> failure = model_.Follow(*opener_);
  update();
  if (!failure) return;
  QApplication::beep();
  op_->ShowBox({window()->windowTitle().toStdString(), *failure, BoxIcon::Warning, BoxButtons::Ok});
}

void CHyperLink::UpdateUnderline() {
  QFont f = font();
  f.setUnderline(model_.Has(link_style::Underline));
  setFont(f);
}

void CHyperLink::FitToText() {
  if (!model_.Has(link_style::FitToText)) return;
  const QFontMetrics metrics(font());
  const QRect g = geometry();
  const Qt::Alignment a = alignment();
  const LinkRect r = FitLinkToText({g.x(), g.y(), g.width(), g.height()}, metrics.horizontalAdvance(text()),
                                   metrics.height(), a.testFlag(Qt::AlignHCenter), a.testFlag(Qt::AlignVCenter));
  setGeometry(r.x, r.y, r.width, r.height);
}

void CHyperLink::React(const LinkReaction& reaction) {
  if (reaction.takeFocus) setFocus(Qt::MouseFocusReason);
  if (reaction.redraw) update();
  if (reaction.follow) FollowLink();
}

void CHyperLink::paintEvent(QPaintEvent*) {
  // No background: the dialog shows through, as under a static text.
  QPainter p(this);
  p.setFont(font());
  p.setPen(CurrentColour());
  p.drawText(contentsRect(), static_cast<int>(alignment()), text());
}

void CHyperLink::enterEvent(QEnterEvent* event) {
  QLabel::enterEvent(event);
  React(model_.MouseMoved(true));
}

void CHyperLink::leaveEvent(QEvent* event) {
  QLabel::leaveEvent(event);
  React(model_.MouseMoved(false));
}

void CHyperLink::mouseMoveEvent(QMouseEvent* event) {
  React(model_.MouseMoved(rect().contains(event->position().toPoint())));
}

void CHyperLink::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QLabel::mousePressEvent(event);
  React(model_.LeftPressed());
}

void CHyperLink::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QLabel::mouseReleaseEvent(event);
  React(model_.LeftReleased());
}

void CHyperLink::keyPressEvent(QKeyEvent* event) {
  // A held space bar opens the target once, not once per repeat.
  const LinkReaction reaction = model_.KeyPressed(event->key() == Qt::Key_Space && !event->isAutoRepeat());
  if (!reaction.follow) return QLabel::keyPressEvent(event);
  React(reaction);
}

void CHyperLink::focusInEvent(QFocusEvent* event) {
  QLabel::focusInEvent(event);
  React(model_.FocusGained());
}

void CHyperLink::focusOutEvent(QFocusEvent* event) {
  QLabel::focusOutEvent(event);
  React(model_.FocusLost());
}

}  // namespace zr7
