// The memory image itself: checksum, label, modification tracking, allocation for a read.

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

#include "text/MessageCatalog.h"
#include "support/ScriptedOperator.h"
#include "buffers/MemoryBuffer.h"

namespace {

struct Label : zr7::BufferLabel {
  void SetText(std::string_view t) override {
    text = t;
    ++writes;
  }
  std::string text;
  int writes = 0;
};
struct View : zr7::BufferView {
  void Refresh() override { ++refreshes; }
  int refreshes = 0;
};
struct Project : zr7::ModificationListener {
  void SetModified() override { ++setModified; }
  void ClearModifiedIfClean() override { ++clearIfClean; }
  int setModified = 0, clearIfClean = 0;
};
struct Owner : zr7::ControlsOwner {
  void RefreshControls() override { ++refreshes; }
  int refreshes = 0;
};

class MemoryBufferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    buffer.Init(op, catalog, false, &label, &project, &owner);
    buffer.AttachView(&view);
  }
  zr7::ScriptedOperator op;
  zr7::LanguageSettings language;
  zr7::MessageCatalog catalog{language};
  Label label;
  View view;
  Project project;
  Owner owner;
  zr7::MemoryBuffer buffer;
};

TEST_F(MemoryBufferTest, ChecksumIsTheByteSumModulo65536) {
  EXPECT_EQ(buffer.Checksum(), 0);  // empty
  buffer.data() = {0xFF, 0x01, 0x02};
  EXPECT_EQ(buffer.Checksum(), 0x0102);
  buffer.data().assign(258, 0xFF);
  EXPECT_EQ(buffer.Checksum(), 0x00FE);
  // Long and odd lengths: each 16-bit lane must not overflow before it is folded in.
  for (std::size_t n : {std::size_t{7}, std::size_t{1031}, std::size_t{100003}, std::size_t{zr7::MaxImageSize - 1}}) {
    buffer.data().assign(n, 0xFF);
    EXPECT_EQ(buffer.Checksum(), static_cast<std::uint16_t>(n * 255)) << n;
  }
  std::mt19937 random(7);
  buffer.data().resize(65541);
  for (auto& b : buffer.data()) b = static_cast<std::uint8_t>(random());
  const auto sum = std::accumulate(buffer.data().begin(), buffer.data().end(), std::uint64_t{0});
  EXPECT_EQ(buffer.Checksum(), static_cast<std::uint16_t>(sum));
}

TEST_F(MemoryBufferTest, LabelShowsUnspecifiedAndAStarOnlyForAModifiedImage) {
  EXPECT_EQ(label.text, "[Unspecified]");  // Init writes it for the name ""
  buffer.MarkModified();
  EXPECT_EQ(label.text, "[Unspecified]");  // nothing to save: no star
  buffer.SetFileName("/tmp/a.hex");
  buffer.data() = {1, 2};
  buffer.UpdateLabel();
  EXPECT_EQ(label.text, "/tmp/a.hex*");
  buffer.SetModifiedFlag(false);
  buffer.UpdateLabel();
  EXPECT_EQ(label.text, "/tmp/a.hex");
}

TEST_F(MemoryBufferTest, MarkModifiedTellsTheProjectEveryTimeButWritesTheLabelOnce) {
  const int before = label.writes;
  buffer.MarkModified();
  buffer.MarkModified();
  EXPECT_TRUE(buffer.modified());
  EXPECT_EQ(project.setModified, 2);
  EXPECT_EQ(label.writes, before + 1);
}

TEST_F(MemoryBufferTest, AllocateGivesErasedPendingBytesAndMarksEverythingModified) {
  ASSERT_TRUE(buffer.Allocate(0x2000));
  ASSERT_EQ(buffer.size(), 8192u);
  EXPECT_EQ(std::count(buffer.data().begin(), buffer.data().end(), 0xFF), 8192);
  ASSERT_EQ(buffer.states().size(), 8192u);
  EXPECT_EQ(std::count(buffer.states().begin(), buffer.states().end(), zr7::StatePending), 8192);
  EXPECT_TRUE(buffer.modified());
  EXPECT_EQ(project.setModified, 1);
  EXPECT_EQ(owner.refreshes, 1);
  EXPECT_GT(view.refreshes, 0);
}

TEST_F(MemoryBufferTest, ClearEmptiesTheImageButKeepsItModified) {
  buffer.Allocate(16);
  buffer.busy = true;
  buffer.SetFileName("/tmp/a.hex");
  ASSERT_TRUE(buffer.Clear());
  EXPECT_TRUE(buffer.empty());
  EXPECT_TRUE(buffer.states().empty());
  EXPECT_FALSE(buffer.busy);
  EXPECT_EQ(buffer.fileName(), "[Unspecified]");
  EXPECT_FALSE(buffer.HasFileName());
  EXPECT_TRUE(buffer.modified());  // the project still counts it as unsaved
}

TEST_F(MemoryBufferTest, DetachStopsRepaintsAndFreesTheStates) {
  buffer.Allocate(16);
  const int refreshes = view.refreshes, writes = label.writes;
  buffer.Detach();
  EXPECT_TRUE(buffer.states().empty());
  EXPECT_EQ(buffer.size(), 16u);
  buffer.RefreshView();
  buffer.UpdateLabel();
  EXPECT_EQ(view.refreshes, refreshes);
  EXPECT_EQ(label.writes, writes);
}

}  // namespace
