// The memory image itself: checksum, label, modification tracking, what it reports, allocation
// for a read.

#include <gtest/gtest.h>

#include "text/MessageCatalog.h"
#include "support/ScriptedOperator.h"
#include "buffers/MemoryBuffer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// The project and the view around the image; the view keeps the label as the window would.
struct Surroundings : zr7::ViewInterface, zr7::ModificationListener {
  void ImageChanged(zr7::ImageKind which, std::uint32_t offset, std::uint32_t length) override {
    changes.push_back({which, offset, length});
    label = zr7::ImageLabelText(*buffer);
  }
  void SetModified() override { ++setModified; }
  void ClearModifiedIfClean() override {}
  struct Change {
    zr7::ImageKind which;
    std::uint32_t offset, length;
    bool operator==(const Change&) const = default;
  };
  const zr7::MemoryBuffer* buffer = nullptr;
  std::vector<Change> changes;
  std::string label;
  int setModified = 0;
};

class MemoryBufferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    s.buffer = &buffer;
    buffer.Init(op, catalog, false, &s, &s);
    buffer.Clear();
  }
  zr7::ScriptedOperator op;
  zr7::LanguageSettings language;
  zr7::MessageCatalog catalog{language};
  Surroundings s;
  zr7::MemoryBuffer buffer;
};

// The sum itself is ImageChecksum's (ImageFilesTest); here only that the buffer's bytes are summed.
TEST_F(MemoryBufferTest, ChecksumIsTheSumOfTheImage) {
  EXPECT_EQ(buffer.Checksum(), 0);
  buffer.data() = {0xFF, 0x01, 0x02};
  EXPECT_EQ(buffer.Checksum(), 0x0102);
}

TEST_F(MemoryBufferTest, LabelShowsUnspecifiedAndAStarOnlyForAModifiedImage) {
  EXPECT_EQ(s.label, "[Unspecified]");
  const std::size_t reports = s.changes.size();
  buffer.MarkModified();
  buffer.MarkModified();
  EXPECT_TRUE(buffer.modified());
  EXPECT_EQ(s.setModified, 2) << "the project hears of every change";
  EXPECT_EQ(s.changes.size(), reports + 1) << "the view hears of the mark once";
  EXPECT_EQ(s.label, "[Unspecified]");  // nothing to save: no star
  buffer.SetFileName("/tmp/a.hex");
  buffer.data() = {1, 2};
  EXPECT_EQ(zr7::ImageLabelText(buffer), "/tmp/a.hex*");
  buffer.SetModifiedFlag(false);
  EXPECT_EQ(zr7::ImageLabelText(buffer), "/tmp/a.hex");
  buffer.SetFileName("");
  EXPECT_EQ(zr7::ImageLabelText(buffer), "[Unspecified]");
}

TEST_F(MemoryBufferTest, ChangesAreReportedAsRangesOfTheirImage) {
  zr7::MemoryBuffer eeprom;
  eeprom.Init(op, catalog, true, &s, &s);
  using C = Surroundings::Change;
  using zr7::ImageKind;
  ASSERT_TRUE(buffer.Allocate(300));
  EXPECT_EQ(s.changes.back(), (C{ImageKind::Flash, 0, 300}));
  s.changes.clear();
  buffer.Changed(256, 44);
  eeprom.Changed(3, 1);
  EXPECT_EQ(s.changes, (std::vector<C>{{ImageKind::Flash, 256, 44}, {ImageKind::Eeprom, 3, 1}}));
}

// Allocate gives erased bytes waiting for the chip's; Clear empties the image but the project
// still counts it as unsaved; Detach frees the states and stops repaints.
TEST_F(MemoryBufferTest, AllocateClearAndDetach) {
  ASSERT_TRUE(buffer.Allocate(0x2000));
  EXPECT_EQ(buffer.data(), Bytes(8192, 0xFF));
  EXPECT_EQ(buffer.states(), Bytes(8192, zr7::StatePending));
  EXPECT_TRUE(buffer.modified());
  EXPECT_EQ(s.setModified, 1);
  ASSERT_FALSE(s.changes.empty());
  EXPECT_EQ(s.changes.back().length, 8192u);

  buffer.busy = true;
  buffer.SetFileName("/tmp/a.hex");
  ASSERT_TRUE(buffer.Clear());
  EXPECT_TRUE(buffer.empty() && buffer.states().empty());
  EXPECT_FALSE(buffer.busy);
  EXPECT_EQ(buffer.fileName(), "[Unspecified]");
  EXPECT_FALSE(buffer.HasFileName());
  EXPECT_TRUE(buffer.modified());

  buffer.Allocate(16);
  const std::size_t reports = s.changes.size();
  buffer.Detach();
  EXPECT_TRUE(buffer.states().empty());
  EXPECT_EQ(buffer.size(), 16u);
  buffer.Changed();
  EXPECT_EQ(s.changes.size(), reports);
}

}  // namespace
