// Paint time of the Flash hex view filling a 1920x1080 screen with the largest image (8 MiB),
// against the 2 ms a frame it must stay within. A plain program, run by hand; off screen.

#include <QApplication>
#include <QScrollBar>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "buffers/MemoryBuffer.h"
#include "ui/HexView.h"

namespace {

constexpr double TargetMs = 2.0;

struct Timing {
  double median;
  double p95;
};

// Each frame scrolls one row, so no frame repeats the one before; unless `scrolls` is false
// (while busy the view shows the page as last seen, which scrolling would leave behind).
template <typename Frame>
Timing Measure(zr7::HexView& view, int frames, Frame frame, bool scrolls = true) {
  QScrollBar* bar = view.verticalScrollBar();
  const int start = bar->maximum() / 2;
  std::vector<double> ms;
  ms.reserve(frames);
  for (int i = 0; i < frames; ++i) {
    if (scrolls) bar->setValue(start + i % 64);
    const auto t0 = std::chrono::steady_clock::now();
    frame();
    const auto t1 = std::chrono::steady_clock::now();
    ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
  }
  std::sort(ms.begin(), ms.end());
  return {ms[ms.size() / 2], ms[ms.size() * 95 / 100]};
}

// Lines that include the toolkit's own drawing are shown for scale, not judged.
void Report(const char* name, Timing t, bool judged = true) {
  std::printf("%-38s median %.3f ms, 95%% %.3f ms a frame", name, t.median, t.p95);
  if (judged) std::printf(" (target %.1f ms): %s", TargetMs, t.p95 <= TargetMs ? "within" : "OVER");
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);

  zr7::MemoryBuffer buffer;
  std::mt19937 random(1);
  buffer.data().resize(zr7::MaxImageSize);
  buffer.states().resize(zr7::MaxImageSize);
  for (auto& b : buffer.data()) b = static_cast<std::uint8_t>(random());
  for (auto& s : buffer.states()) s = static_cast<std::uint8_t>(random() % 8);  // every colour on screen

  QWidget window;
  auto* view = new zr7::HexView(&window, buffer);
  view->setGeometry(0, 0, 1920, 1080);
  window.resize(1920, 1080);
  window.show();
  QApplication::processEvents();
  view->SetSwapBytePairs(true);  // the Flash view with "Inv": every position maps through the swap
  view->Refresh();
  QApplication::processEvents();

  // The view painted into an image of the screen's size: the paint itself. Then through the
  // window system: a repaint of the view, and one after a scroll, which also redraws the bar.
  QImage screen(1920, 1080, QImage::Format_RGB32);
  auto paint = [&] { view->viewport()->render(&screen, QPoint(), QRegion(), QWidget::RenderFlags()); };
  auto scroll = [&] { view->RepaintNow(); };
  auto clear = [&] { screen.fill(Qt::white); };

  Measure(*view, 50, paint);  // the glyph sheets are drawn once, on first use of each colour
  const int frames = argc > 1 ? std::max(std::atoi(argv[1]), 20) : 1000;
  Report("view painted", Measure(*view, frames, paint));
  paint();
  buffer.busy = true;
  Report("view painted, while an operation runs", Measure(*view, frames, paint, false));
  buffer.busy = false;
  Report("repainted on screen", Measure(*view, frames, scroll, false));
  Report("repainted on screen, scroll bar too", Measure(*view, frames, scroll), false);
  Report("one fill of the screen, for scale", Measure(*view, frames, clear), false);
  buffer.Detach();
  return 0;
}
