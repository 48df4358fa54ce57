#pragma once
// Acts on a modal dialog once it is up, for tests of code that runs one. Whatever is still modal
// at the deadline is rejected, so that a dialog that fails to close fails the test instead of
// hanging it.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <functional>

template <typename D>
class WhenModalOf {
 public:
  explicit WhenModalOf(std::function<void(D&)> act) : act_(std::move(act)) {
    poll_.setInterval(5);
    QObject::connect(&poll_, &QTimer::timeout, [this] {
      if (auto* d = qobject_cast<D*>(QApplication::activeModalWidget())) {
        poll_.stop();
        acted_ = true;
        act_(*d);
      }
    });
    poll_.start();
    deadline_.setSingleShot(true);
    QObject::connect(&deadline_, &QTimer::timeout, [] {
      ADD_FAILURE() << "a dialog was still open at the deadline";
      if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) d->reject();
    });
    deadline_.start(30000);
  }
  bool Acted() const { return acted_; }

 private:
  std::function<void(D&)> act_;
  QTimer poll_;
  QTimer deadline_;
  bool acted_ = false;
};

using WhenModal = WhenModalOf<QDialog>;
