#include "ui/HexView.h"

#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QThread>

#include "present/ByteColours.h"
#include "ui/HexViewGlyphs.h"

namespace zr7 {

namespace {

// The original terminal font is a bitmap font: no smoothing, so every inked pixel has exactly
// the colour of its byte's state.
QFont ViewFont() {
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setStyleHint(QFont::Monospace, QFont::NoAntialias);
  font.setFixedPitch(true);
  font.setPixelSize(10);
  return font;
}

QColor Colour(ByteRole role) {
  const Rgb c = RoleColour(role);
  return QColor(c.red, c.green, c.blue);
}

ScrollRequest RequestOf(int sliderAction) {
  switch (sliderAction) {
    case QAbstractSlider::SliderSingleStepSub: return ScrollRequest::LineUp;
    case QAbstractSlider::SliderSingleStepAdd: return ScrollRequest::LineDown;
    case QAbstractSlider::SliderPageStepSub: return ScrollRequest::PageUp;
    case QAbstractSlider::SliderPageStepAdd: return ScrollRequest::PageDown;
    case QAbstractSlider::SliderMove: return ScrollRequest::ThumbTrack;  // dragging and the wheel
    default: return ScrollRequest::Other;
  }
}

// The client height is known before the viewport is first laid out: no frame, no
// horizontal bar.
int ClientHeight(const QAbstractScrollArea& area) { return area.contentsRect().height(); }

QRect ToQRect(const CellRect& r) { return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1)); }

}  // namespace

HexView::HexView(QWidget* parent, MemoryBuffer& buffer)
    : QAbstractScrollArea(parent), buffer_(buffer), layout_(0, 0), edit_(buffer) {
  setFrameShape(QFrame::NoFrame);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setFocusPolicy(Qt::ClickFocus);
  // Every pixel is painted each time; no background erase first.
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setAutoFillBackground(false);
  viewport()->setCursor(Qt::ArrowCursor);
  setFont(ViewFont());
  // Measured now, so a click that comes before the first paint has real cell sizes.
  Measure();
  QScrollBar* bar = verticalScrollBar();
  bar->setSingleStep(1);
  bar->setPageStep(HexLayout::PageRows);
  connect(bar, &QAbstractSlider::actionTriggered, this, &HexView::OnScrollAction);
}

HexView::~HexView() = default;

void HexView::Measure() {
  const QFontMetrics metrics(font());
  layout_ = HexLayout(metrics.averageCharWidth(), metrics.height());
  glyphs_.reset();
}

int HexView::topRow() const { return scrollBarShown_ ? verticalScrollBar()->value() : 0; }

void HexView::Refresh() {
  if (QThread::currentThread() == thread()) {
    UpdateScrollRange();
    return;
  }
  QMetaObject::invokeMethod(this, [this] { UpdateScrollRange(); }, Qt::QueuedConnection);
}

void HexView::UpdateScrollRange() {
  const ScrollRange range = layout_.ComputeScrollRange(edit_.Positions().DisplayLength(), ClientHeight(*this));
  scrollBarShown_ = range.shown;
  if (range.shown) verticalScrollBar()->setRange(0, range.maximum);
  setVerticalScrollBarPolicy(range.shown ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  if (!buffer_.busy) CaptureShownBytes();
  Redraw();
}

void HexView::SetSwapBytePairs(bool swap) {
  edit_.SetSwapBytePairs(swap);
  // An odd-length image gains or loses its absent position, which may add a row.
  UpdateScrollRange();
}

void HexView::RepaintNow() { viewport()->repaint(); }

void HexView::Redraw() { viewport()->update(); }

void HexView::CaptureShownBytes() {
  const PositionMap positions = edit_.Positions();
  const int top = topRow();
  const std::uint32_t first = layout_.FirstPainted(top);
  const std::uint32_t end = layout_.EndPainted(top, ClientHeight(*this), positions.DisplayLength());
  shownFirst_ = first;
  shownBytes_.assign(end > first ? end - first : 0, 0);
  const auto& data = buffer_.data();
  for (std::uint32_t b = first; b < end; ++b)
    if (const auto s = positions.StorageIndex(b)) shownBytes_[b - first] = data[*s];
}

void HexView::paintEvent(QPaintEvent*) {
  QWidget* port = viewport();
  const int w = port->width();
  const int h = port->height();
  if (!glyphs_ || glyphs_->devicePixelRatio() != port->devicePixelRatioF())
    glyphs_ = std::make_unique<HexViewGlyphs>(font(), layout_, port->devicePixelRatioF());

  QPainter p(port);
  p.fillRect(0, 0, w, h, palette().color(QPalette::Base));
  const QColor ink = Colour(ByteRole::Text);
  p.setPen(QPen(ink, 0));

  const int ruleY = layout_.HeaderRuleY();
  p.drawLine(0, ruleY, w - 1, ruleY);
  for (int x : layout_.ColumnRuleXs()) p.drawLine(x, 0, x, h - 1);

  const bool swap = edit_.swapBytePairs();
  for (int i = 0; i < HexLayout::BytesPerRow; ++i) {
    const auto d = static_cast<std::uint8_t>(swap ? i ^ 1 : i);
    glyphs_->DrawHexPair(p, ink, d, layout_.HeaderHexCell(i));
    glyphs_->DrawHexNumber(p, ink, d, 1, layout_.HeaderCharCell(i));
  }

  const PositionMap positions = edit_.Positions();
  const std::uint32_t length = positions.DisplayLength();
  const int top = topRow();
  const int rows = layout_.PaintedRows(h);
  for (int r = 0; r < rows; ++r) {
    const std::uint64_t address = std::uint64_t{HexLayout::BytesPerRow} * (top + r);
    if (address >= length) break;
    glyphs_->DrawHexNumber(p, ink, static_cast<std::uint32_t>(address), 5, layout_.AddressCell(r));
  }

  if (!buffer_.busy) CaptureShownBytes();
  const std::uint32_t first = layout_.FirstPainted(top);
  const std::uint32_t end = layout_.EndPainted(top, h, length);
  for (std::uint32_t b = first; b < end; ++b) {
    const auto role = edit_.RoleAt(b);
    if (!role || b < shownFirst_ || b - shownFirst_ >= shownBytes_.size()) continue;
    const std::uint8_t value = shownBytes_[b - shownFirst_];
    const QColor colour = Colour(*role);
    const int k = static_cast<int>(b - first);
    const int r = k / HexLayout::BytesPerRow;
    const int c = k % HexLayout::BytesPerRow;
    glyphs_->DrawHexPair(p, colour, value, layout_.HexCell(r, c));
    glyphs_->DrawChar(p, colour, value, layout_.CharCell(r, c));  // the zero byte has no glyph
  }

  const int frameWidth = hasFocus_ ? 3 : 1;
  for (int k = 0; k < frameWidth; ++k) p.drawRect(k, k, w - 1 - 2 * k, h - 1 - 2 * k);
}

bool HexView::event(QEvent* e) {
  // While a byte is being edited its characters belong to it, not to the window's shortcuts.
  if (e->type() == QEvent::ShortcutOverride && edit_.mode() != EditMode::None &&
      !static_cast<QKeyEvent*>(e)->text().isEmpty()) {
    e->accept();
    return true;
  }
  return QAbstractScrollArea::event(e);
}

void HexView::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton) {
    setFocus(Qt::MouseFocusReason);
    const std::uint32_t length = edit_.Positions().DisplayLength();
    if (length == 0) return;
    const QPoint at = e->position().toPoint();
    // A click on the header or beside the bytes selects nothing and keeps the old selection.
    edit_.Click(layout_.HitTest(at.x(), at.y(), topRow(), length));
    Redraw();
  } else if (e->button() == Qt::RightButton) {
    if (edit_.Cancel()) Redraw();
  }
  e->accept();
}

// The view does not tell double clicks apart: the second press is one more press.
void HexView::mouseDoubleClickEvent(QMouseEvent* e) { mousePressEvent(e); }

void HexView::mouseReleaseEvent(QMouseEvent* e) { e->accept(); }

void HexView::contextMenuEvent(QContextMenuEvent* e) { e->accept(); }

// Only the character a key produces counts; arrows and page keys do nothing here.
void HexView::keyPressEvent(QKeyEvent* e) {
  bool changed = false;
  for (char32_t ch : e->text().toUcs4()) changed |= edit_.Type(ch);
  if (changed) Redraw();
  e->accept();
}

void HexView::focusInEvent(QFocusEvent* e) {
  hasFocus_ = true;
  QAbstractScrollArea::focusInEvent(e);
  Redraw();
}

void HexView::focusOutEvent(QFocusEvent* e) {
  hasFocus_ = false;
  QAbstractScrollArea::focusOutEvent(e);
  Redraw();
}

void HexView::changeEvent(QEvent* e) {
  if (e->type() == QEvent::FontChange) Measure();
  if (e->type() == QEvent::FontChange || e->type() == QEvent::PaletteChange) viewport()->update();
  QAbstractScrollArea::changeEvent(e);
}

void HexView::scrollContentsBy(int, int) { Redraw(); }

void HexView::OnScrollAction(int action) {
  QScrollBar* bar = verticalScrollBar();
  // Called before the bar applies the action: the position set here is the one it takes.
  bar->setSliderPosition(HexLayout::Scroll(RequestOf(action), bar->value(), bar->sliderPosition(), bar->maximum()));
}

std::optional<CellRect> HexView::CellOf(std::uint32_t position, bool hexArea) const {
  const std::uint32_t first = layout_.FirstPainted(topRow());
  if (position < first || !edit_.Positions().StorageIndex(position)) return std::nullopt;
  const std::uint32_t k = position - first;
  const int row = static_cast<int>(k / HexLayout::BytesPerRow);
  if (row >= layout_.PaintedRows(ClientHeight(*this))) return std::nullopt;
  const int column = static_cast<int>(k % HexLayout::BytesPerRow);
  return hexArea ? layout_.HexCell(row, column) : layout_.CharCell(row, column);
}

std::optional<QRect> HexView::HexCellRect(std::uint32_t position) const {
  const auto cell = CellOf(position, true);
  return cell ? std::optional<QRect>(ToQRect(*cell)) : std::nullopt;
}

std::optional<QRect> HexView::CharCellRect(std::uint32_t position) const {
  const auto cell = CellOf(position, false);
  return cell ? std::optional<QRect>(ToQRect(*cell)) : std::nullopt;
}

QSize HexView::sizeHint() const {
  const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
  return QSize(51 * layout_.cellWidth() + 7 + bar, 10 * layout_.lineHeight() + 4);
}

}  // namespace zr7
