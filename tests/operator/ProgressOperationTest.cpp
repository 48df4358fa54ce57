// The progress framework: throttled progress, cancel semantics, result codes.

#include <gtest/gtest.h>

#include <atomic>

#include "text/MessageCatalog.h"
#include "support/ScriptedOperator.h"
#include "operator/ProgressOperation.h"

using namespace zr7;

namespace {

// Runs `units` units, reporting each; stops at a unit boundary when asked to.
class CountingOperation : public ProgressOperation {
 public:
  CountingOperation(const MessageCatalog& c, std::int32_t units) : ProgressOperation(c), units_(units) {}
  std::int32_t Run() override {
    ran = true;
    BeginPhase("Program", "Programming Flash", units_);
    for (std::int32_t i = 0; i < units_; ++i) {
      if (CancelRequested()) return ResultCancelled;
      ReportProgress(i);  // the 0-based index of the unit just finished
      ++unitsDone;
    }
    return ResultSuccess;
  }
  std::atomic<bool> ran{false};
  std::atomic<int> unitsDone{0};

 private:
  std::int32_t units_;
};

class NoThreadOperation : public CountingOperation {
 public:
  using CountingOperation::CountingOperation;

 protected:
  bool CreateThread(std::function<void()>) override { return false; }
};

struct Rig {
  LanguageSettings language;
  MessageCatalog catalog{language};
  ScriptedOperator op;
  std::vector<std::string> Texts(ScriptedOperator::EventKind kind) {
    std::vector<std::string> out;
    for (const auto& e : op.Events())
      if (e.kind == kind) out.push_back(e.text);
    return out;
  }
};

// Reports 1..n directly, as a worker would after each unit, to see the throttling.
class DirectReports : public ProgressOperation {
 public:
  using ProgressOperation::ProgressOperation;
  std::int32_t Run() override { return ResultSuccess; }
};

struct RecordingSink : ProgressSink {
  void SetCaption(std::string_view t) override { caption = t; }
  void SetOperationLine(std::string_view t) override { line = t; }
  void SetPercentLine(std::string_view t) override { texts.emplace_back(t); }
  void SetBar(int p) override { bars.push_back(p); }
  std::string caption, line;
  std::vector<std::string> texts;
  std::vector<int> bars;
};

TEST(ProgressOperation, PercentagesAreTruncatedAndThrottled) {
  Rig rig;
  DirectReports op(rig.catalog);
  RecordingSink sink;
  op.SetSink(&sink);
  op.BeginPhase("Verify", "Verifying Flash", 7);
  EXPECT_EQ(sink.caption, "Verify");
  EXPECT_EQ(sink.line, "Verifying Flash");
  sink.bars.clear();
  for (int d = 1; d <= 7; ++d) op.ReportProgress(d);
  EXPECT_EQ(sink.bars, (std::vector<int>{14, 28, 42, 57, 71, 85, 100}));
  EXPECT_EQ(sink.texts.front(), "14% completed");
  EXPECT_EQ(sink.texts.back(), "100% completed");

  op.BeginPhase("Read", "Reading Flash", 1000);
  sink.bars.clear();
  sink.texts.clear();
  for (int d = 0; d < 1000; ++d) op.ReportProgress(d);
  EXPECT_EQ(sink.bars.size(), 99u);  // 1..99: the last unit's index is 999
  EXPECT_EQ(sink.texts.size(), 99u);

  // No division by a zero total, nothing shown.
  op.BeginPhase("Erase", "Erasing device", 0);
  sink.bars.clear();
  op.ReportProgress(5);
  EXPECT_TRUE(sink.bars.empty());

  // The largest image does not overflow the percentage.
  op.BeginPhase("Program", "Programming Flash", 8388608);
  sink.bars.clear();
  op.ReportProgress(8388607);
  EXPECT_EQ(sink.bars, std::vector<int>{99});
}

TEST(ProgressOperation, ModalRunReturnsTheWorkersResult) {
  Rig rig;
  CountingOperation op(rig.catalog, 50);
  EXPECT_EQ(rig.op.RunProgress(op), ResultSuccess);
  EXPECT_EQ(op.unitsDone, 50);
  EXPECT_FALSE(op.CancelledByUser());
  EXPECT_EQ(rig.Texts(ScriptedOperator::EventKind::ProgressCaption), std::vector<std::string>{"Program"});
  EXPECT_EQ(rig.Texts(ScriptedOperator::EventKind::ProgressLine), std::vector<std::string>{"Programming Flash"});
}

TEST(ProgressOperation, CancelStopsAtAUnitBoundary) {
  Rig rig;
  CountingOperation op(rig.catalog, 100);
  rig.op.CancelProgressAt(50);
  EXPECT_EQ(rig.op.RunProgress(op), ResultCancelled);
  EXPECT_TRUE(op.CancelledByUser());
  EXPECT_EQ(op.unitsDone, 51);  // the unit that reached 50% finished, the next did not start
  op.RequestCancel();           // a second press changes nothing
  EXPECT_TRUE(op.CancelledByUser());
}

TEST(ProgressOperation, CancelAfterTheWorkerFinishedIsReportedAsACancel) {
  Rig rig;
  CountingOperation op(rig.catalog, 3);
  rig.op.CancelProgressAfterCompletion(true);
  EXPECT_EQ(rig.op.RunProgress(op), ResultCancelledAfterCompletion);
  EXPECT_TRUE(op.CancelledByUser());
  EXPECT_EQ(op.unitsDone, 3);
}

TEST(ProgressOperation, NoThreadMeansNoWork) {
  Rig rig;
  NoThreadOperation op(rig.catalog, 10);
  EXPECT_EQ(RunProgressModal(op), ResultNoThread);
  EXPECT_FALSE(op.ran);
}

TEST(ProgressOperation, UninterruptibleOperationIgnoresCancel) {
  Rig rig;
  CountingOperation op(rig.catalog, 20);
  op.SetCancelAllowed(false);
  rig.op.CancelProgressAt(10);
  EXPECT_EQ(rig.op.RunProgress(op), ResultSuccess);
  EXPECT_FALSE(op.CancelledByUser());
  EXPECT_EQ(op.unitsDone, 20);
}

}  // namespace
