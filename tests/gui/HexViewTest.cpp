// The hex view as painted and as driven by mouse and keyboard: colours read back from the
// rendered image, editing sequences, "Inv", scrolling a long image, refreshes from a worker.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFocusEvent>
#include <QImage>
#include <QKeyEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <set>
#include <thread>

#include "text/MessageCatalog.h"
#include "support/ScriptedOperator.h"
#include "buffers/MemoryBuffer.h"
#include "present/ByteColours.h"
#include "ui/HexView.h"

namespace {

using zr7::ByteRole;
using zr7::EditMode;
using zr7::HexView;

struct Project : zr7::ModificationListener {
  void SetModified() override { ++setModified; }
  void ClearModifiedIfClean() override {}
  int setModified = 0;
};

QRgb ColourOf(ByteRole role) {
  const zr7::Rgb c = zr7::RoleColour(role);
  return qRgb(c.red, c.green, c.blue);
}

QRect ToQRect(const zr7::CellRect& r) { return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1)); }

class HexViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    buffer.Init(op, catalog, false, nullptr, &project, nullptr);
    // In a window of its own, as in the main window: it has no focus until clicked.
    view = new HexView(&window, buffer);
    lh = view->layout().lineHeight();
    view->setGeometry(0, 0, 560, 4 + 9 * lh);  // eight full rows under the header
    window.resize(view->size());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  }
  void TearDown() override { buffer.Detach(); }

  // n bytes from the file, 0x10 + i, all in state 0.
  void Load(std::uint32_t n) {
    buffer.data().resize(n);
    for (std::uint32_t i = 0; i < n; ++i) buffer.data()[i] = static_cast<std::uint8_t>(0x10 + i);
    buffer.states().assign(n, zr7::StateFromFile);
    buffer.RefreshView();
  }
  QImage Shot() { return view->grab().toImage().convertToFormat(QImage::Format_RGB32); }
  // A cell without its first row and column, where the grid lines may run.
  static QRect Inside(const QRect& cell) { return cell.adjusted(1, 1, 0, 0); }
  QRgb Background() const { return view->palette().color(QPalette::Base).rgb(); }
  bool OnGrid(int x, int y) const {
    const auto rules = view->layout().ColumnRuleXs();
    return y == view->layout().HeaderRuleY() || std::find(rules.begin(), rules.end(), x) != rules.end();
  }
  // The colours of the inked pixels in a rectangle, the grid lines through it left out.
  std::set<QRgb> Ink(const QImage& image, const QRect& r) const {
    std::set<QRgb> ink;
    for (int y = r.top(); y <= r.bottom(); ++y)
      for (int x = r.left(); x <= r.right(); ++x)
        if (!OnGrid(x, y) && image.pixel(x, y) != Background()) ink.insert(image.pixel(x, y) & 0xFFFFFF);
    return ink;
  }
  std::set<QRgb> Only(ByteRole role) const { return {ColourOf(role) & 0xFFFFFF}; }
  QRect Hex(std::uint32_t position) const { return view->HexCellRect(position).value_or(QRect()); }
  QRect Char(std::uint32_t position) const { return view->CharCellRect(position).value_or(QRect()); }
  void Click(const QRect& cell, Qt::MouseButton button = Qt::LeftButton) {
    QTest::mouseClick(view->viewport(), button, {}, cell.center());
  }
  void SendText(const QString& text) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
    QApplication::sendEvent(view, &press);
  }

  zr7::ScriptedOperator op;
  zr7::LanguageSettings language;
  zr7::MessageCatalog catalog{language};
  Project project;
  zr7::MemoryBuffer buffer;
  QWidget window;
  HexView* view = nullptr;
  int lh = 0;
};

TEST_F(HexViewTest, EachStateColoursItsCellsAndAZeroByteHasNoCharacter) {
  // Empty: the header and the grid, nothing in the rows.
  const QRect rows(1, view->layout().HeaderRuleY() + 1, 540, 8 * lh);
  EXPECT_TRUE(Ink(Shot(), rows).empty());
  EXPECT_FALSE(Ink(Shot(), ToQRect(view->layout().HeaderHexCell(0))).empty());

  Load(17);
  for (std::uint8_t i = 0; i < 16; ++i) {
    buffer.data()[i] = 0xDB;  // a full block: plenty of ink in the character cell
    buffer.states()[i] = i % 8;
  }
  buffer.data()[16] = 0;
  view->update();
  const QImage image = Shot();
  for (std::uint32_t i = 0; i < 16; ++i) {
    const auto expected = Only(static_cast<ByteRole>(i % 8));
    EXPECT_EQ(Ink(image, Hex(i)), expected) << "hex cell " << i;
    EXPECT_EQ(Ink(image, Char(i)), expected) << "character cell " << i;
  }
  EXPECT_EQ(Ink(image, Hex(16)), Only(ByteRole::FromFile));  // "00"
  EXPECT_TRUE(Ink(image, Char(16)).empty());
}

TEST_F(HexViewTest, WhileBusyEveryByteIsBlackAndShowsWhatWasLastSeen) {
  Load(16);
  for (std::uint8_t i = 0; i < 16; ++i) buffer.states()[i] = i % 8;
  buffer.data()[0] = buffer.data()[1] = 0x11;
  Shot();
  buffer.busy = true;
  buffer.data()[0] = 0x22;  // the worker writes: the view must not read it now
  QImage image = Shot();
  for (std::uint32_t i = 0; i < 16; ++i) {
    EXPECT_EQ(Ink(image, Hex(i)), Only(ByteRole::Busy)) << i;
    EXPECT_EQ(Ink(image, Char(i)), Only(ByteRole::Busy)) << i;
  }
  EXPECT_EQ(image.copy(Inside(Hex(0))), image.copy(Inside(Hex(1))));
  buffer.busy = false;
  image = Shot();
  EXPECT_NE(image.copy(Inside(Hex(0))), image.copy(Inside(Hex(1))));
  EXPECT_EQ(Ink(image, Hex(5)), Only(ByteRole::Pending));
}

TEST_F(HexViewTest, ClickAndTypeHexDigitsThenCharacters) {
  Load(200);  // long enough to scroll, so a stray arrow key would show
  buffer.states()[1] = zr7::StateWritten;
  Click(Hex(0));
  QTest::keyClicks(view, "12");
  EXPECT_EQ(buffer.data()[0], 0x12);
  EXPECT_TRUE(buffer.modified());
  EXPECT_EQ(view->selectedIndex(), 1u);
  QImage image = Shot();
  EXPECT_EQ(Ink(image, Hex(0)), Only(ByteRole::Changed));
  EXPECT_EQ(Ink(image, Char(0)), Only(ByteRole::Changed));
  EXPECT_EQ(Ink(image, Hex(1)), Only(ByteRole::Selected));

  const int modifications = project.setModified;
  QTest::keyClick(view, Qt::Key_G);
  QTest::keyClick(view, Qt::Key_Down);
  QTest::keyClick(view, Qt::Key_PageDown);
  EXPECT_EQ(buffer.data()[1], 0x11);
  EXPECT_EQ(project.setModified, modifications);
  ASSERT_TRUE(view->scrollBarShown());
  EXPECT_EQ(view->topRow(), 0);
  Click(Hex(5), Qt::RightButton);
  EXPECT_EQ(view->editMode(), EditMode::None);
  EXPECT_EQ(Ink(Shot(), Hex(1)), Only(ByteRole::Written));

  Click(Char(2));
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(10, Hex(7).center().y()));  // an address
  EXPECT_EQ(view->editMode(), EditMode::Ascii);
  QTest::keyClicks(view, "Hi");
  SendText(QString(QChar(0x01)));
  SendText(QStringLiteral("\u2588x"));  // one key giving two characters, the first as its glyph
  const std::uint8_t typed[] = {'H', 'i', 0x01, 0xDB, 'x'};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(buffer.data()[2 + i], typed[i]) << i;
  EXPECT_EQ(view->selectedIndex(), 7u);

  view->verticalScrollBar()->setSliderPosition(view->verticalScrollBar()->maximum());
  Click(Hex(199));
  QTest::keyClicks(view, "aBc");
  EXPECT_EQ(buffer.data()[199], 0xAB);
  EXPECT_EQ(view->editMode(), EditMode::None);  // the last byte ends the edit
}

TEST_F(HexViewTest, InvSwapsTheHeaderAndTheEditedByte) {
  Load(32);
  const auto& l = view->layout();
  const QImage plain = Shot();
  view->SetSwapBytePairs(true);
  const QImage swapped = Shot();
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(swapped.copy(ToQRect(l.HeaderHexCell(i))), plain.copy(ToQRect(l.HeaderHexCell(i ^ 1)))) << i;
    EXPECT_EQ(swapped.copy(ToQRect(l.HeaderCharCell(i))), plain.copy(ToQRect(l.HeaderCharCell(i ^ 1)))) << i;
    EXPECT_EQ(swapped.copy(Inside(Hex(i))), plain.copy(Inside(Hex(i ^ 1)))) << i;
  }
  Click(Hex(0));
  QTest::keyClicks(view, "99");
  EXPECT_EQ(buffer.data()[1], 0x99);
  EXPECT_EQ(buffer.data()[0], 0x10);
  EXPECT_EQ(Ink(Shot(), Hex(0)), Only(ByteRole::Changed));
  Click(Hex(0), Qt::RightButton);
  view->SetSwapBytePairs(false);
  EXPECT_EQ(Ink(Shot(), Hex(1)), Only(ByteRole::Changed));
  EXPECT_EQ(Ink(Shot(), Hex(0)), Only(ByteRole::FromFile));
}

TEST_F(HexViewTest, ALongImageScrollsOnlyThroughItsFirst512KiB) {
  buffer.data().assign(1 << 20, 0x5A);
  buffer.states().assign(1 << 20, zr7::StateRead);
  buffer.RefreshView();
  ASSERT_TRUE(view->scrollBarShown());
  QScrollBar* bar = view->verticalScrollBar();
  EXPECT_TRUE(bar->isVisibleTo(view));
  EXPECT_EQ(bar->maximum(), 32768 - 8);

  bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(view->topRow(), 17);
  bar->triggerAction(QAbstractSlider::SliderToMaximum);  // not a step the view takes
  EXPECT_EQ(view->topRow(), 17);
  bar->triggerAction(QAbstractSlider::SliderPageStepSub);
  bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
  bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
  EXPECT_EQ(view->topRow(), 0);

  bar->setSliderPosition(bar->maximum() + 100);  // dragging the thumb
  const std::uint32_t lastRow = 16 * (32768 - 1);
  ASSERT_TRUE(view->HexCellRect(lastRow).has_value());
  Click(Hex(lastRow + 15));
  EXPECT_EQ(view->selectedIndex(), lastRow + 15);
  // The last whole row's lowest pixels lie under the thick frame of the focused view.
  EXPECT_EQ(Ink(Shot(), Hex(lastRow).adjusted(0, 0, 0, -1)), Only(ByteRole::Read));
}

TEST_F(HexViewTest, ResizingKeepsTheScrollRangeUntilTheImageChanges) {
  Load(16 * 100);
  EXPECT_EQ(view->verticalScrollBar()->maximum(), 100 - 8);
  view->resize(view->width(), view->height() + 5 * lh);
  EXPECT_EQ(view->verticalScrollBar()->maximum(), 100 - 8);
  buffer.RefreshView();
  EXPECT_EQ(view->verticalScrollBar()->maximum(), 100 - 13);
  Load(16 * 13);
  EXPECT_FALSE(view->scrollBarShown());
  EXPECT_FALSE(view->verticalScrollBar()->isVisibleTo(view));
}

TEST_F(HexViewTest, ARefreshFromAWorkerRunsOnTheViewsThread) {
  Load(16);
  buffer.data().assign(1 << 16, 0);
  buffer.states().assign(1 << 16, zr7::StatePending);
  std::thread worker([this] { buffer.RefreshView(); });
  worker.join();
  EXPECT_FALSE(view->scrollBarShown());  // queued, not run on the worker
  QCoreApplication::processEvents();
  EXPECT_TRUE(view->scrollBarShown());
}

TEST_F(HexViewTest, FocusDrawsAThickFrame) {
  Load(16);
  const int w = view->viewport()->width();
  const int y = view->viewport()->height() / 2;
  auto inkAt = [&](int inset) { return Ink(Shot(), QRect(w - 1 - inset, y, 1, 1)); };
  EXPECT_EQ(inkAt(0), Only(ByteRole::Text));
  EXPECT_TRUE(inkAt(1).empty());
  QFocusEvent in(QEvent::FocusIn, Qt::MouseFocusReason);
  QApplication::sendEvent(view, &in);
  EXPECT_EQ(inkAt(2), Only(ByteRole::Text));
  EXPECT_TRUE(inkAt(3).empty());
  QFocusEvent out(QEvent::FocusOut, Qt::OtherFocusReason);
  QApplication::sendEvent(view, &out);
  EXPECT_TRUE(inkAt(1).empty());
}

TEST_F(HexViewTest, WhileEditingTheWindowsShortcutsDoNotTakeTheKeys) {
  auto* action = new QAction(&window);
  action->setShortcut(Qt::Key_1);
  window.addAction(action);
  QSignalSpy triggered(action, &QAction::triggered);
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  Load(16);
  buffer.data()[0] = 0xFF;
  Click(Hex(0));
  EXPECT_TRUE(view->hasFocus());
  QTest::keyClick(view, Qt::Key_1);
  EXPECT_EQ(triggered.count(), 0);
  EXPECT_EQ(buffer.data()[0], 0x1F);
  EXPECT_EQ(view->editMode(), EditMode::HexLow);
  Click(Hex(0), Qt::RightButton);
  QTest::keyClick(view, Qt::Key_1);
  EXPECT_EQ(triggered.count(), 1);
}

TEST(HexViewBeforePaint, AClickBeforeTheFirstPaintSelects) {
  zr7::MemoryBuffer buffer;
  buffer.data().assign(64, 0);
  buffer.states().assign(64, 0);
  HexView view(nullptr, buffer);
  view.resize(560, 200);
  const auto cell = view.HexCellRect(17);
  ASSERT_TRUE(cell.has_value());
  QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, cell->center());
  EXPECT_EQ(view.editMode(), EditMode::HexHigh);
  EXPECT_EQ(view.selectedIndex(), 17u);
  buffer.Detach();
}

}  // namespace
