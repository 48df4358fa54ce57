#pragma once
// Opens link targets with the desktop's own opener, xdg-open, and turns its exit code into the
// reason the failure box shows. QDesktopServices would do the same work but answers only yes or
// no, leaving the operator nothing to read when a link does not open.

#include <QString>

#include "present/LinkRules.h"

namespace zr7 {

class XdgUrlOpener : public UrlOpener {
 public:
  // The program is given the URL as its one argument, never through a shell. The wait bounds
  // how long the window stays blocked: an opener still running then is taken to have handed
  // the target on (some run the browser in the foreground) and is left to end by itself.
  explicit XdgUrlOpener(QString program = QStringLiteral("xdg-open"), int waitMs = 5000)
      : program_(std::move(program)), waitMs_(waitMs) {}

  OpenOutcome Open(const std::string& url) override;

 private:
  QString program_;
  int waitMs_;
};

}  // namespace zr7
