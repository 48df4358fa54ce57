// The progress window and the Qt operator seam: updates and questions of the worker pass through
// the GUI thread, Cancel only asks, Enter does nothing, and Enter in a box presses its default.

#include <QElapsedTimer>
#include <QMessageBox>
#include <QThread>
#include <atomic>
#include <thread>

#include "Widgets.h"
#include "text/MessageCatalog.h"
#include "ui/ProgressDialog.h"
#include "ui/QtOperator.h"

namespace zr7 {
namespace {

// On the GUI thread: polls `condition` (at most 5 s), then runs `then`.
void When(const std::function<bool()>& condition, const std::function<void()>& then) {
  auto* timer = new QTimer;
  QElapsedTimer clock;
  clock.start();
  QObject::connect(timer, &QTimer::timeout, [=] {
    if (!condition() && clock.elapsed() < 5000) return;
    timer->stop();
    timer->deleteLater();
    then();
  });
  timer->start(5);
}

ProgressDialog* Shown() { return dynamic_cast<ProgressDialog*>(QApplication::activeModalWidget()); }

class StepOperation : public ProgressOperation {
 public:
  using ProgressOperation::ProgressOperation;
  std::function<std::int32_t(StepOperation&)> body;
  std::int32_t Run() override { return body(*this); }
};

class ProgressWindow : public ::testing::Test {
 protected:
  // The worker's side: until released, or give up after 5 s.
  bool Released() {
    for (int i = 0; i < 2500 && !release; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return release;
  }
  LanguageSettings language;
  MessageCatalog catalog{language};
  QtOperator op{catalog};
  StepOperation work{catalog};
  std::atomic<bool> release{false};
};

TEST_F(ProgressWindow, WorkerUpdatesReachTheWindowThroughTheGuiThread) {
  work.body = [&](StepOperation& self) {
    self.BeginPhase("Program", "Programming Flash", 7);
    for (int i = 1; i <= 7; ++i) self.ReportProgress(i);
    return Released() ? ResultSuccess : ResultCommunicationError;
  };
  QStringList shown;
  When([] { return Shown() && Shown()->Bar() == 100; }, [&] {
    ProgressDialog& d = *Shown();
    shown = {d.windowTitle(), d.OperationLine(), d.PercentLine(), QString::number(d.Bar())};
    if (d.CancelButton()->isEnabled()) shown << QStringLiteral("Cancel");
    release = true;
  });
  EXPECT_EQ(op.RunProgress(work), ResultSuccess);
  EXPECT_EQ(shown, (QStringList{"Program", "Programming Flash", "100% completed", "100", "Cancel"}));
  EXPECT_FALSE(work.CancelledByUser());
}

// Enter presses nothing; Cancel, and Esc, only ask: the window stays until the worker returns.
TEST_F(ProgressWindow, CancelAndEscOnlyAskAndEnterDoesNothing) {
  for (const Qt::Key key : {Qt::Key_unknown, Qt::Key_Escape}) {
    SCOPED_TRACE(key);
    StepOperation job(catalog);
    release = false;
    job.body = [&](StepOperation& self) {
      self.BeginPhase("Verify", "Verifying Flash", 0);  // no total: no percentage, no division
      self.ReportProgress(5);
      return Released() && self.CancelRequested() ? ResultCancelled : ResultCommunicationError;
    };
    bool cancelAfterEnter = true, visibleAfterCancel = false;
    QString percent = QStringLiteral("unset");
    When([] { return Shown() != nullptr; }, [&] {
      QTest::keyClick(Shown(), Qt::Key_Return);
      QTimer::singleShot(2 * ProgressOperation::CompletionPollMs, [&] {
        cancelAfterEnter = job.CancelRequested();
        percent = Shown()->PercentLine();
        key == Qt::Key_Escape ? QTest::keyClick(Shown(), key) : Shown()->CancelButton()->click();
        When([&] { return job.CancelRequested(); }, [&] {
          QTimer::singleShot(2 * ProgressOperation::CompletionPollMs, [&] {
            visibleAfterCancel = Shown() && Shown()->isVisible();
            release = true;
          });
        });
      });
    });
    EXPECT_EQ(op.RunProgress(job), ResultCancelled);
    EXPECT_FALSE(cancelAfterEnter);
    EXPECT_EQ(percent, QString());
    EXPECT_TRUE(visibleAfterCancel);
    EXPECT_TRUE(job.CancelledByUser());
  }
}

// A worker's question: shown as a real box by the GUI thread, in front of the progress window,
// answered there, and the worker gets the answer.
TEST_F(ProgressWindow, WorkerQuestionIsAskedOnTheGuiThread) {
  BoxAnswer workerGot = BoxAnswer::Ok;
  work.body = [&](StepOperation&) {
    workerGot = op.ShowBox({"ZR7 Programmer", "Go on?", BoxIcon::Question, BoxButtons::YesNo});
    return ResultSuccess;
  };
  WhenModalOf<QMessageBox> answer([&](QMessageBox& box) {
    EXPECT_EQ(QThread::currentThread(), qApp->thread());
    EXPECT_EQ(box.text(), QStringLiteral("Go on?"));
    EXPECT_NE(dynamic_cast<ProgressDialog*>(box.parentWidget()), nullptr);
    box.button(QMessageBox::Yes)->click();
  });
  EXPECT_EQ(op.RunProgress(work), ResultSuccess);
  EXPECT_EQ(workerGot, BoxAnswer::Yes);
}

TEST_F(ProgressWindow, StatusFromAnyThreadReachesTheLine) {
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
}

// Enter answers with the default button: No where a Yes cannot be undone (erasing a locked
// chip), the first button everywhere else; Escape cancels where there is a Cancel. A box
// shows the arrow over the wait cursor.
TEST_F(ProgressWindow, BoxesShowWhatTheyAreGivenAndEnterPressesTheDefaultAnswer) {
  const struct { BoxButtons buttons; std::optional<BoxAnswer> preferred; Qt::Key key; BoxAnswer answer; } cases[] = {
      {BoxButtons::YesNo, std::nullopt, Qt::Key_Return, BoxAnswer::Yes},
      {BoxButtons::YesNo, BoxAnswer::No, Qt::Key_Return, BoxAnswer::No},
      {BoxButtons::OkCancel, std::nullopt, Qt::Key_Return, BoxAnswer::Ok},
      {BoxButtons::YesNoCancel, BoxAnswer::Cancel, Qt::Key_Return, BoxAnswer::Cancel},
      {BoxButtons::Ok, BoxAnswer::No, Qt::Key_Return, BoxAnswer::Ok},
      {BoxButtons::YesNoCancel, std::nullopt, Qt::Key_Escape, BoxAnswer::Cancel},
  };
  op.SetWaitCursor(true);
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.buttons));
    WhenModalOf<QMessageBox> press([&](QMessageBox& box) {
      EXPECT_EQ(box.windowTitle(), QStringLiteral("Caption"));
      EXPECT_EQ(box.icon(), QMessageBox::Information);
      EXPECT_TRUE(QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::ArrowCursor);
      QTest::keyClick(&box, c.key);
    });
    EXPECT_EQ(op.ShowBox({"Caption", "Question?", BoxIcon::Information, c.buttons, c.preferred}), c.answer);
  }
  op.SetWaitCursor(false);
  op.SetWaitCursor(false);  // one off too many changes nothing
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

}  // namespace
}  // namespace zr7
