// The About box and its links, driven through their widgets. Links open through a recording
// opener, or through the xdg-open opener pointed at small scripts: no browser is ever started.

#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <deque>

#include "ProductInfo.h"
#include "text/MessageCatalog.h"
#include "support/ScriptedOperator.h"
#include "gui/WhenModal.h"
#include "ui/AboutDialog.h"
#include "ui/HyperLink.h"
#include "ui/UrlOpener.h"

using namespace zr7;

namespace {

QString U(const char* text) { return QString::fromUtf8(text); }

class RecordingOpener : public UrlOpener {
 public:
  OpenOutcome Open(const std::string& url) override {
    urls.push_back(url);
    if (outcomes.empty()) return {true, {}};
    OpenOutcome o = outcomes.front();
    outcomes.pop_front();
    return o;
  }
  std::vector<std::string> urls;
  std::deque<OpenOutcome> outcomes;
};

template <class T = QWidget>
T* Control(QWidget& dialog, int id) {
  T* w = dialog.findChild<T*>(QStringLiteral("id%1").arg(id));
  EXPECT_NE(w, nullptr) << id;
  return w;
}

void Enter(QWidget* w) {
  QEnterEvent e(QPointF(2, 2), w->mapToGlobal(QPointF(2, 2)), w->mapToGlobal(QPointF(2, 2)));
  QApplication::sendEvent(w, &e);
}

void Leave(QWidget* w) {
  QEvent e(QEvent::Leave);
  QApplication::sendEvent(w, &e);
}

bool Painted(QWidget* w, const QColor& colour) {
  const QImage image = w->grab().toImage();
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixelColor(x, y) == colour) return true;
  return false;
}

class AboutDialogTest : public testing::Test {
 protected:
  ScriptedOperator op;
  RecordingOpener opener;
  LanguageSettings english;
  LanguageSettings russian{true};
  MessageCatalog en{english};
  MessageCatalog ru{russian};
};

TEST_F(AboutDialogTest, LinesComeFromTheCatalogInEitherLanguageAndTheMakerFromTheProductInformation) {
  struct Case {
    const MessageCatalog* catalog;
    const char *title, *product, *version, *platform, *lastVersion;
  };
  const Case cases[] = {
      {&en, "About", "ZR7 In-System Programmer", "Version 10.30a, July 2005", "For Linux and other Unix-like systems",
       "Last version:"},
      {&ru, "О программе", "Внутрисхемный программатор ZR7", "версия 10.30a, июль 2005",
       "Для Linux и других Unix-подобных систем", "Последняя версия:"},
  };
  for (const Case& c : cases) {
    AboutDialog dialog(nullptr, *c.catalog, op, opener);
    EXPECT_EQ(dialog.windowTitle(), U(c.title));
    EXPECT_EQ(Control<QLabel>(dialog, 1104)->text(), U(c.product));
    EXPECT_EQ(Control<QLabel>(dialog, 1107)->text(), U(c.version));
    EXPECT_EQ(Control<QLabel>(dialog, 1105)->text(), U(c.platform));
    EXPECT_EQ(Control<QLabel>(dialog, 1111)->text(), U(c.lastVersion));
    EXPECT_EQ(Control<QLabel>(dialog, 1106)->text(), U(product::MakerName));
    EXPECT_TRUE(Control<QLabel>(dialog, 1127)->text().contains(U(product::MakerYears)));
    EXPECT_FALSE(dialog.findChild<QLabel*>(QStringLiteral("picture"))->pixmap().isNull());
  }
  EXPECT_TRUE(op.Boxes().empty());
}

TEST_F(AboutDialogTest, LinksAreUnderlinedHoverLinksAndTheMailLinkOpensMailto) {
  AboutDialog dialog(nullptr, en, op, opener);
  const std::pair<int, const char*> links[] = {{1070, product::RepositoryUrl}, {1077, product::ContactEmail},
                                              {1112, product::ReleasesUrl}};
  for (auto [id, text] : links) {
    auto* l = Control<CHyperLink>(dialog, id);
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->LinkStyle(), link_style::Underline | link_style::HoverColour) << id;
    EXPECT_TRUE(l->font().underline()) << id;
    EXPECT_EQ(l->text(), U(text));
    EXPECT_EQ(l->toolTip(), l->Url());
    EXPECT_EQ(l->cursor().shape(), Qt::PointingHandCursor);
  }
  EXPECT_EQ(Control<CHyperLink>(dialog, 1070)->Url(), U(product::RepositoryUrl));
  EXPECT_EQ(Control<CHyperLink>(dialog, 1077)->Url(), QStringLiteral("mailto:") + U(product::ContactEmail));

  dialog.show();
  QTest::mouseClick(Control<CHyperLink>(dialog, 1077), Qt::LeftButton);
  EXPECT_EQ(opener.urls, std::vector<std::string>{std::string("mailto:") + product::ContactEmail});
}

TEST_F(AboutDialogTest, RunsModallyUntilOkAndItsLinksWorkMeanwhile) {
  WhenModalOf<AboutDialog> act([](AboutDialog& d) {
    QTest::keyClick(Control<CHyperLink>(d, 1112), Qt::Key_Space);
    QTest::mouseClick(Control<QPushButton>(d, 1), Qt::LeftButton);
  });
  RunAboutDialog(nullptr, ru, op, opener);
  EXPECT_TRUE(act.Acted());
  EXPECT_EQ(opener.urls, std::vector<std::string>{product::ReleasesUrl});
}

TEST_F(AboutDialogTest, LinkColoursFollowHoverActiveAndVisited) {
  AboutDialog dialog(nullptr, en, op, opener);
  dialog.show();
  auto* l = Control<CHyperLink>(dialog, 1070);
  ASSERT_NE(l, nullptr);
  EXPECT_EQ(l->CurrentColour(), QColor(0, 0, 255));
  EXPECT_TRUE(Painted(l, QColor(0, 0, 255)));
  Enter(l);
  EXPECT_EQ(l->CurrentColour(), QColor(255, 0, 0));
  EXPECT_TRUE(Painted(l, QColor(255, 0, 0)));
  // A move that ends outside while the button is held counts as leaving.
  QMouseEvent outside(QEvent::MouseMove, QPointF(-5, -5), l->mapToGlobal(QPointF(-5, -5)), Qt::NoButton,
                      Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(l, &outside);
  EXPECT_EQ(l->CurrentColour(), QColor(0, 0, 255));

  // A click leaves it active: teal, as long as it stays so, over visited.
  Enter(l);
  QTest::mouseClick(l, Qt::LeftButton);
  Leave(l);
  EXPECT_TRUE(l->Model().Visited());
  EXPECT_EQ(l->CurrentColour(), QColor(0, 128, 128));
  EXPECT_TRUE(Painted(l, QColor(0, 128, 128)));

  // Losing the focus ends the active state; the visit remains.
  dialog.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  l->setFocus();
  ASSERT_TRUE(l->hasFocus());
  Control<QPushButton>(dialog, 1)->setFocus();
  EXPECT_EQ(l->CurrentColour(), QColor(128, 0, 128));
  EXPECT_TRUE(Painted(l, QColor(128, 0, 128)));
}

class HyperLinkTest : public AboutDialogTest {
 protected:
  void SetUp() override { window.resize(400, 100); }
  QWidget window;
};

TEST_F(HyperLinkTest, TooltipShowsAUrlThatDiffersFromTheText) {
  CHyperLink link(QStringLiteral("Our releases"), &window);
  link.Attach();
  EXPECT_EQ(link.toolTip(), QStringLiteral("Our releases"));
  link.SetUrl(QStringLiteral("https://zr7.example.org/releases"));
  EXPECT_EQ(link.text(), QStringLiteral("Our releases"));
  EXPECT_EQ(link.toolTip(), QStringLiteral("https://zr7.example.org/releases"));
}

TEST_F(HyperLinkTest, FitsItsTextAroundTheCentreOnlyWhenCentredAndOnlyWithBit4) {
  CHyperLink centred(QStringLiteral("https://zr7.example.org/"), &window);
  centred.setAlignment(Qt::AlignCenter);
  centred.setGeometry(20, 10, 300, 40);
  centred.Attach();
  const int width = QFontMetrics(centred.font()).horizontalAdvance(centred.text());
  const int height = QFontMetrics(centred.font()).height();
  EXPECT_EQ(centred.geometry(), QRect(20 + (300 - width) / 2, 10 + (40 - height) / 2, width, height));

  QFont big = centred.font();
  big.setPointSize(big.pointSize() * 2);
  centred.SetLinkFont(big);
  EXPECT_GT(centred.width(), width);
  EXPECT_TRUE(centred.font().underline()) << "the new font gets the underline too";
  EXPECT_EQ(centred.geometry().center().x(), QRect(20, 10, 300, 40).center().x());

  CHyperLink left(QStringLiteral("zr7@example.org"), &window);
  left.setAlignment(Qt::AlignLeft | Qt::AlignTop);
  left.setGeometry(20, 60, 300, 30);
  left.Attach();
  EXPECT_EQ(left.geometry().topLeft(), QPoint(20, 60));
  EXPECT_LT(left.width(), 300);

  CHyperLink fixed(QStringLiteral("zr7@example.org"), &window);
  fixed.setGeometry(20, 60, 300, 30);
  ASSERT_TRUE(fixed.ModifyLinkStyle(link_style::FitToText, 0, false));
  fixed.Attach();
  EXPECT_EQ(fixed.geometry(), QRect(20, 60, 300, 30));
}

TEST_F(HyperLinkTest, StyleBitsReachTheFontAndTheCursorAndOverlapsAreRefused) {
  CHyperLink link(QStringLiteral("https://zr7.example.org/"), &window);
  link.Attach();
  EXPECT_FALSE(link.ModifyLinkStyle(link_style::Underline, link_style::Underline | link_style::NoHandCursor, true));
  EXPECT_TRUE(link.font().underline());
  EXPECT_EQ(link.cursor().shape(), Qt::PointingHandCursor);
  ASSERT_TRUE(link.ModifyLinkStyle(link_style::Underline, link_style::NoHandCursor, true));
  EXPECT_FALSE(link.font().underline());
  EXPECT_NE(link.cursor().shape(), Qt::PointingHandCursor);
}

TEST_F(HyperLinkTest, SpaceBarFollowsOtherKeysDoNot) {
  CHyperLink link(QStringLiteral("https://zr7.example.org/"), &window);
  link.SetOpener(opener, op);
  link.Attach();
  QTest::keyClick(&link, Qt::Key_Return);
  QTest::keyClick(&link, Qt::Key_A);
  EXPECT_TRUE(opener.urls.empty());
  QTest::keyClick(&link, Qt::Key_Space);
  EXPECT_EQ(opener.urls, std::vector<std::string>{"https://zr7.example.org/"});
  EXPECT_TRUE(link.Model().Visited());
}

// The real opener, with xdg-open replaced by a script that records its arguments and exits
// with a given code.
class XdgOpenerTest : public testing::Test {
 protected:
  QString Script(int exitCode, const char* after = "") {
    const QString path = dir.filePath(QStringLiteral("opener%1").arg(exitCode));
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$#\" \"$1\" > \"%1\"\n%2\nexit %3\n")
                .arg(dir.filePath(QStringLiteral("args")), QString::fromUtf8(after))
                .arg(exitCode)
                .toUtf8());
    f.close();
    f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
    return path;
  }
  QString Args() {
    QFile f(dir.filePath(QStringLiteral("args")));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll());
  }
  QTemporaryDir dir;
};

TEST_F(XdgOpenerTest, PassesTheUrlAsOneArgumentWithoutAShell) {
  XdgUrlOpener opener(Script(0));
  const std::string url = "https://zr7.example.org/a b;touch \"$HOME/x\"`id`&c=$(id)";
  const OpenOutcome outcome = opener.Open(url);
  EXPECT_TRUE(outcome.opened) << outcome.reason;
  EXPECT_EQ(Args(), QStringLiteral("1\n") + QString::fromStdString(url) + QStringLiteral("\n"));
}

TEST_F(XdgOpenerTest, ExitCodesBecomeTheReasonsTheBoxShows) {
  ScriptedOperator op;
  QWidget window;
  window.setWindowTitle(QStringLiteral("About"));
  const std::pair<int, const char*> cases[] = {
      {2, "Can't open link:\n\nThe specified file was not found."},
      {3, "Can't open link:\n\nThere is no application associated\nwith the given filename extension."},
      {5, "Can't open link:\n\nUnknown Error (5) occurred."},
  };
  for (auto [code, text] : cases) {
    XdgUrlOpener opener(Script(code));
    CHyperLink link(QStringLiteral("https://zr7.example.org/"), &window);
    link.SetOpener(opener, op);
    link.Attach();
    op.ClearEvents();
    link.FollowLink();
    ASSERT_EQ(op.Boxes().size(), 1u) << code;
    EXPECT_EQ(op.Boxes()[0].text, text);
    EXPECT_EQ(op.Boxes()[0].icon, BoxIcon::Warning);
    EXPECT_EQ(op.Boxes()[0].caption, "About");
    EXPECT_FALSE(link.Model().Visited());
  }
}

TEST_F(XdgOpenerTest, AMissingOpenerOrAnOptionLikeUrlFailsAndOneStillRunningCountsAsOpened) {
  XdgUrlOpener missing(dir.filePath(QStringLiteral("no-such-opener")));
  EXPECT_EQ(missing.Open("https://zr7.example.org/").reason, "The specified file was not found.");

  XdgUrlOpener recorder(Script(0));
  EXPECT_FALSE(recorder.Open("--help").opened);
  EXPECT_TRUE(Args().isEmpty()) << "an option-like URL is never passed on";

  XdgUrlOpener slow(Script(4, "sleep 1"), 100);
  EXPECT_TRUE(slow.Open("https://zr7.example.org/").opened);
}

}  // namespace
