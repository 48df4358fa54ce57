#pragma once
// The hex view of one memory image: addresses, 16 bytes a row in hexadecimal and as
// characters, each coloured by where it came from; click a byte and type to overwrite it.
// Geometry lives in HexLayout, editing in HexEdit, colours in ByteColours; this class paints
// and routes the toolkit's events to them.

#include <QAbstractScrollArea>
#include <QRect>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "buffers/MemoryBuffer.h"
#include "present/HexEdit.h"
#include "present/HexLayout.h"

namespace zr7 {

class HexViewGlyphs;

class HexView : public QAbstractScrollArea {
  Q_OBJECT

 public:
  // Shows the buffer, which must outlive the view's use of it.
  HexView(QWidget* parent, MemoryBuffer& buffer);
  ~HexView() override;

  // Recomputes the scroll range and repaints; safe from any thread (a chip operation's worker
  // reports its bytes through the window), the work itself runs on the view's thread.
  void Refresh();
  // The scroll bar from the image length and the current height. Not run on resizing: the
  // next change of the image does it.
  void UpdateScrollRange();
  // The Flash view's "Inv": byte i is shown and edited at storage index i xor 1.
  void SetSwapBytePairs(bool swap);
  bool swapBytePairs() const { return edit_.swapBytePairs(); }
  // Paints now rather than at the next turn of the event loop (before and after an operation).
  void RepaintNow();

  EditMode editMode() const { return edit_.mode(); }
  std::optional<std::uint32_t> selectedIndex() const { return edit_.selectedIndex(); }
  bool scrollBarShown() const { return scrollBarShown_; }
  // The first row shown: the scroll position while the bar is shown, else 0.
  int topRow() const;
  const HexLayout& layout() const { return layout_; }
  // Where a display position is painted now, in viewport coordinates; none when off the page.
  std::optional<QRect> HexCellRect(std::uint32_t position) const;
  std::optional<QRect> CharCellRect(std::uint32_t position) const;

  QSize sizeHint() const override;

 protected:
  bool event(QEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;
  void changeEvent(QEvent* e) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  void Measure();
  void Redraw();
  void OnScrollAction(int action);
  void CaptureShownBytes();
  std::optional<CellRect> CellOf(std::uint32_t position, bool hexArea) const;

  MemoryBuffer& buffer_;
  HexLayout layout_;
  HexEdit edit_;
  bool hasFocus_ = false;
  bool scrollBarShown_ = false;
  std::unique_ptr<HexViewGlyphs> glyphs_;
  // The page's bytes as last read while the buffer was not busy: while an operation's worker
  // owns the arrays the view shows these rather than read what the worker writes.
  std::uint32_t shownFirst_ = 0;
  std::vector<std::uint8_t> shownBytes_;
};

}  // namespace zr7
