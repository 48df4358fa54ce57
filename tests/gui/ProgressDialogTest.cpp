// The progress window and the Qt operator seam under the offscreen platform: updates come
// from the worker through the GUI thread, Cancel only asks, Enter does nothing, a worker's
// question is answered on the GUI thread while the worker waits.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "text/MessageCatalog.h"
#include "ui/QtOperator.h"
#include "gui/WhenModal.h"
#include "ui/ProgressDialog.h"

namespace zr7 {
namespace {

using namespace std::chrono_literals;

// Bounded wait for the worker: until the condition holds, or give up after 5 s.
bool WaitUntil(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

bool WaitFor(const std::atomic<bool>& flag) {
  return WaitUntil([&] { return flag.load(); });
}

class StepOperation : public ProgressOperation {
 public:
  using ProgressOperation::ProgressOperation;
  std::function<std::int32_t(StepOperation&)> body;
  std::int32_t Run() override { return body(*this); }
};

class NoThreadOperation : public StepOperation {
 public:
  using StepOperation::StepOperation;
  bool ran = false;

 protected:
  bool CreateThread(std::function<void()>) override { return false; }
};

// Runs `check` on the GUI thread once the progress window is up (polled, at most 5 s).
void WhenProgressShown(const std::function<void(ProgressDialog&)>& check) {
  auto* timer = new QTimer;
  auto* clock = new QElapsedTimer;
  clock->start();
  QObject::connect(timer, &QTimer::timeout, [=] {
    auto* d = dynamic_cast<ProgressDialog*>(QApplication::activeModalWidget());
    if (!d && clock->elapsed() < 5000) return;
    timer->stop();
    timer->deleteLater();
    delete clock;
    if (d) check(*d);
  });
  timer->start(5);
}

// Polls `condition` on the GUI thread (at most 5 s), then runs `then`.
void When(const std::function<bool()>& condition, const std::function<void()>& then) {
  auto* timer = new QTimer;
  auto* clock = new QElapsedTimer;
  clock->start();
  QObject::connect(timer, &QTimer::timeout, [=] {
    if (!condition() && clock->elapsed() < 5000) return;
    timer->stop();
    timer->deleteLater();
    delete clock;
    then();
  });
  timer->start(5);
}

class ProgressWindow : public ::testing::Test {
 protected:
  LanguageSettings language;
  MessageCatalog catalog{language};
  QtOperator op{catalog};
};

TEST_F(ProgressWindow, WorkerUpdatesReachTheWindowThroughTheGuiThread) {
  StepOperation work(catalog);
  std::atomic<bool> release{false};
  work.body = [&](StepOperation& self) {
    self.BeginPhase("Program", "Programming Flash", 7);
    for (int i = 1; i <= 7; ++i) self.ReportProgress(i);
    return WaitFor(release) ? ResultSuccess : ResultCommunicationError;
  };
  QString caption, line, percent;
  int bar = -1;
  bool cancelEnabled = false;
  WhenProgressShown([&](ProgressDialog& d) {
    When([&d] { return d.PercentLine() == QStringLiteral("100% completed"); },
         [&] {
           caption = d.windowTitle();
           line = d.OperationLine();
           percent = d.PercentLine();
           bar = d.Bar();
           cancelEnabled = d.CancelButton()->isEnabled();
           release = true;
         });
  });
  EXPECT_EQ(op.RunProgress(work), ResultSuccess);
  EXPECT_EQ(caption, QStringLiteral("Program"));
  EXPECT_EQ(line, QStringLiteral("Programming Flash"));
  EXPECT_EQ(percent, QStringLiteral("100% completed"));
  EXPECT_EQ(bar, 100);
  EXPECT_TRUE(cancelEnabled);
  EXPECT_FALSE(work.CancelledByUser());
}

TEST_F(ProgressWindow, CancelOnlyAsksAndTheWindowWaitsForTheWorker) {
  StepOperation work(catalog);
  std::atomic<bool> release{false};
  std::atomic<bool> sawCancel{false};
  work.body = [&](StepOperation& self) {
    self.BeginPhase("Read", "Reading Flash", 10);
    if (!WaitUntil([&] { return self.CancelRequested(); })) return ResultCommunicationError;
    sawCancel = true;
    // Still working after Cancel: the window must stay until Run returns.
    if (!WaitFor(release)) return ResultCommunicationError;
    return ResultCancelled;
  };
  bool visibleAfterCancel = false;
  WhenProgressShown([&](ProgressDialog& d) {
    d.CancelButton()->click();
    d.CancelButton()->click();  // twice is the same as once
    When([&] { return sawCancel.load(); },
         [&] {
           QTimer::singleShot(2 * ProgressOperation::CompletionPollMs, [&] {
             visibleAfterCancel = d.isVisible();
             release = true;
           });
         });
  });
  EXPECT_EQ(op.RunProgress(work), ResultCancelled);
  EXPECT_TRUE(visibleAfterCancel);
  EXPECT_TRUE(work.CancelledByUser());
}

TEST_F(ProgressWindow, EnterDoesNothingAndEscIsCancel) {
  StepOperation work(catalog);
  std::atomic<bool> release{false};
  work.body = [&](StepOperation& self) {
    self.BeginPhase("Verify", "Verifying Flash", 0);  // no total: no percentage, no division
    self.ReportProgress(5);
    if (!WaitFor(release)) return ResultCommunicationError;
    return self.CancelRequested() ? ResultCancelled : ResultSuccess;
  };
  bool cancelAfterEnter = true;
  bool visibleAfterEnter = false;
  QString percent = QStringLiteral("unset");
  WhenProgressShown([&](ProgressDialog& d) {
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(&d, &enter);
    QTimer::singleShot(2 * ProgressOperation::CompletionPollMs, [&] {
      cancelAfterEnter = work.CancelRequested();
      visibleAfterEnter = d.isVisible();
      percent = d.PercentLine();
      QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
      QApplication::sendEvent(&d, &esc);
      release = true;
    });
  });
  EXPECT_EQ(op.RunProgress(work), ResultCancelled);
  EXPECT_FALSE(cancelAfterEnter);
  EXPECT_TRUE(visibleAfterEnter);
  EXPECT_EQ(percent, QString());
}

TEST_F(ProgressWindow, NoThreadGivesCodeTwoAtOnce) {
  NoThreadOperation work(catalog);
  work.body = [&](StepOperation&) {
    return ResultSuccess;
  };
  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(op.RunProgress(work), ResultNoThread);
  EXPECT_LT(clock.elapsed(), ProgressOperation::CompletionPollMs);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(ProgressWindow, UncancellableOperationOffersNoCancel) {
  StepOperation work(catalog);
  work.SetCancelAllowed(false);
  std::atomic<bool> release{false};
  work.body = [&](StepOperation& self) {
    if (!WaitFor(release)) return ResultCommunicationError;
    return self.CancelRequested() ? ResultCancelled : ResultSuccess;
  };
  bool enabled = true;
  WhenProgressShown([&](ProgressDialog& d) {
    enabled = d.CancelButton()->isEnabled();
    d.reject();  // Esc
    release = true;
  });
  EXPECT_EQ(op.RunProgress(work), ResultSuccess);
  EXPECT_FALSE(enabled);
}

// A worker's question: shown as a real box by the GUI thread, answered there, and the worker
// gets the answer.
TEST_F(ProgressWindow, WorkerQuestionIsAskedOnTheGuiThread) {
  StepOperation work(catalog);
  std::atomic<bool> boxThreadIsGui{false};
  BoxAnswer workerGot = BoxAnswer::Ok;
  work.body = [&](StepOperation&) {
    workerGot = op.ShowBox({"ZR7 Programmer", "Go on?", BoxIcon::Question, BoxButtons::YesNo});
    return ResultSuccess;
  };
  QString text;
  When([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr; },
       [&] {
         auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
         if (!box) return;
         boxThreadIsGui = QThread::currentThread() == qApp->thread();
         text = box->text();
         // Parented to the progress window, so it stands in front of it.
         EXPECT_NE(dynamic_cast<ProgressDialog*>(box->parentWidget()), nullptr);
         box->button(QMessageBox::Yes)->click();
       });
  EXPECT_EQ(op.RunProgress(work), ResultSuccess);
  EXPECT_EQ(workerGot, BoxAnswer::Yes);
  EXPECT_EQ(text, QStringLiteral("Go on?"));
  EXPECT_TRUE(boxThreadIsGui);
}

TEST(QtOperatorSeam, StatusFromAnyThreadAndCountedWaitCursor) {
  LanguageSettings language;
  MessageCatalog catalog(language);
  QtOperator op(catalog);
  op.SetStatus("before the line exists");
  QLabel status;
  op.SetStatusLabel(&status);
  EXPECT_EQ(status.text(), QStringLiteral("before the line exists"));

  std::thread worker([&] { op.SetStatus("from a worker"); });
  QElapsedTimer clock;
  clock.start();
  while (status.text() != QStringLiteral("from a worker") && clock.elapsed() < 5000)
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  worker.join();
  EXPECT_EQ(status.text(), QStringLiteral("from a worker"));

  ASSERT_EQ(QApplication::overrideCursor(), nullptr);
  op.SetWaitCursor(true);
  op.SetWaitCursor(true);
  op.SetWaitCursor(false);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  op.SetWaitCursor(false);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  op.SetWaitCursor(false);  // one off too many changes nothing
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(op.WaitCursorDepth(), 0);
}

TEST(QtOperatorSeam, BoxesCarryCaptionIconAndButtons) {
  LanguageSettings language;
  MessageCatalog catalog(language);
  QtOperator op(catalog);
  QString caption;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  bool hasNo = false;
  Qt::CursorShape cursorDuringBox = Qt::WaitCursor;
  op.SetWaitCursor(true);
  When([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr; },
       [&] {
         auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
         if (!box) return;
         caption = box->windowTitle();
         icon = box->icon();
         hasNo = box->button(QMessageBox::No) != nullptr;
         if (QApplication::overrideCursor()) cursorDuringBox = QApplication::overrideCursor()->shape();
         box->button(QMessageBox::Ok)->click();
       });
  ShowInfo(op, catalog, "Done");
  op.SetWaitCursor(false);
  EXPECT_EQ(caption, QStringLiteral("ZR7 Programmer"));
  EXPECT_EQ(icon, QMessageBox::Information);
  EXPECT_FALSE(hasNo);
  EXPECT_EQ(cursorDuringBox, Qt::ArrowCursor);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// Enter answers with the default button: No where a Yes cannot be undone (erasing a locked
// chip), the first button everywhere else.
TEST(QtOperatorSeam, EnterPressesTheDefaultAnswer) {
  LanguageSettings language;
  MessageCatalog catalog(language);
  QtOperator op(catalog);
  const struct {
    BoxButtons buttons;
    std::optional<BoxAnswer> preferred;
    BoxAnswer enter;
  } cases[] = {
      {BoxButtons::YesNo, std::nullopt, BoxAnswer::Yes},     {BoxButtons::YesNo, BoxAnswer::No, BoxAnswer::No},
      {BoxButtons::OkCancel, std::nullopt, BoxAnswer::Ok},   {BoxButtons::YesNoCancel, BoxAnswer::Cancel, BoxAnswer::Cancel},
      {BoxButtons::Ok, BoxAnswer::No, BoxAnswer::Ok},
  };
  for (const auto& c : cases) {
    WhenModalOf<QMessageBox> enter([](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Return); });
    const BoxAnswer answer = op.ShowBox({"Caption", "Question?", BoxIcon::Question, c.buttons, c.preferred});
    EXPECT_TRUE(enter.Acted());
    EXPECT_EQ(answer, c.enter) << static_cast<int>(c.buttons);
  }
}

}  // namespace
}  // namespace zr7
