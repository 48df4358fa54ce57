#pragma once
// A static text that draws itself as a link, with a pointing hand, the URL as its tooltip, and
// opens its target when clicked or when the space bar is pressed on it. The rules are
// LinkModel's; this widget only passes events to it and paints.

#include <QLabel>
#include <string>

#include "present/LinkRules.h"

namespace zr7 {

class OperatorInterface;

class CHyperLink : public QLabel {
  Q_OBJECT

 public:
  CHyperLink(const QString& text, QWidget* parent);

  // Where the target is opened and where a failure is reported. Without them a click does nothing.
  void SetOpener(UrlOpener& opener, OperatorInterface& op);

  // Takes over the text as it stands once the control is placed: URL and text fill each other
  // in, the font gets its underline, the control fits its text, the cursor and tooltip are set.
  void Attach();

  QString Url() const;
  void SetUrl(const QString& url);
  std::uint32_t LinkStyle() const { return model_.Style(); }
  // Refused with false when the masks overlap.
  bool ModifyLinkStyle(std::uint32_t remove, std::uint32_t add, bool redraw);
  void SetLinkFont(const QFont& font);

  const LinkModel& Model() const { return model_; }
  QColor CurrentColour() const;

  void FollowLink();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void React(const LinkReaction& reaction);
  void UpdateUnderline();
  void FitToText();

  LinkModel model_;
  UrlOpener* opener_ = nullptr;
  OperatorInterface* op_ = nullptr;
};

}  // namespace zr7
