// The hex view as painted and as driven by mouse and keyboard: colours read back from the
// rendered image, editing sequences and shortcuts, refreshes from a worker.

#include <QAction>
#include <QScrollBar>
#include <QSignalSpy>
#include <algorithm>
#include <set>
#include <thread>

#include "Widgets.h"
#include "buffers/MemoryBuffer.h"
#include "present/ByteColours.h"
#include "support/ScriptedOperator.h"
#include "text/MessageCatalog.h"
#include "ui/HexView.h"

namespace {

using zr7::ByteRole;
using zr7::EditMode;
using zr7::HexView;

QRect ToQRect(const zr7::CellRect& r) { return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1)); }

class HexViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    buffer.Init(op, catalog, false, nullptr, nullptr);
    // In a window of its own, as in the main window: it has no focus until clicked.
    view = new HexView(&window, buffer);
    view->setGeometry(0, 0, 560, 4 + 9 * view->layout().lineHeight());  // eight full rows under the header
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
    view->Refresh();
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
  static std::set<QRgb> Only(ByteRole role) {
    const zr7::Rgb c = zr7::RoleColour(role);
    return {qRgb(c.red, c.green, c.blue) & 0xFFFFFF};
  }
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
  zr7::MemoryBuffer buffer;
  QWidget window;
  HexView* view = nullptr;
};

TEST_F(HexViewTest, EachStateColoursItsCellsAndWhileBusyEveryByteIsBlack) {
  // Empty: the header and the grid, nothing in the rows.
  const QRect rows(1, view->layout().HeaderRuleY() + 1, 540, 8 * view->layout().lineHeight());
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

  // While busy every byte is black and shows what was last seen.
  buffer.data()[0] = buffer.data()[1] = 0x11;
  buffer.states()[1] = buffer.states()[0];  // only the bytes can tell the two apart
  Shot();
  buffer.busy = true;
  buffer.data()[0] = 0x22;  // the worker writes: the view must not read it now
  const QImage busy = Shot();
  for (std::uint32_t i = 0; i < 17; ++i) EXPECT_EQ(Ink(busy, Hex(i)), Only(ByteRole::Busy)) << i;
  EXPECT_EQ(Ink(busy, Char(5)), Only(ByteRole::Busy));
  EXPECT_EQ(busy.copy(Inside(Hex(0))), busy.copy(Inside(Hex(1))));
  buffer.busy = false;
  EXPECT_NE(Shot().copy(Inside(Hex(0))), Shot().copy(Inside(Hex(1))));
}

TEST_F(HexViewTest, ClickAndTypeHexDigitsThenCharacters) {
  Load(200);  // long enough to scroll, so a stray arrow key would show
  buffer.states()[1] = zr7::StateWritten;
  Click(Hex(0));
  QTest::keyClicks(view, "12");
  EXPECT_EQ(buffer.data()[0], 0x12);
  EXPECT_TRUE(buffer.modified());
  EXPECT_EQ(view->selectedIndex(), 1u);
  EXPECT_EQ(Ink(Shot(), Hex(1)), Only(ByteRole::Selected));
  for (Qt::Key ignored : {Qt::Key_G, Qt::Key_Down, Qt::Key_PageDown}) QTest::keyClick(view, ignored);
  EXPECT_EQ(buffer.data()[1], 0x11);
  EXPECT_EQ(view->topRow(), 0);
  Click(Hex(5), Qt::RightButton);
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
}

TEST_F(HexViewTest, ARefreshFromAWorkerIsQueuedToTheViewsThread) {
  buffer.data().assign(1 << 16, 0);
  buffer.states().assign(1 << 16, zr7::StatePending);
  std::thread worker([this] { view->Refresh(); });
  worker.join();
  EXPECT_FALSE(view->scrollBarShown());
  QCoreApplication::processEvents();
  EXPECT_TRUE(view->scrollBarShown());
  EXPECT_EQ(view->verticalScrollBar()->maximum(), 4096 - 8);
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

}  // namespace
