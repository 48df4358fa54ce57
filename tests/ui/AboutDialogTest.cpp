// The About box and its links, driven through their widgets. Links open through a recording
// opener, or through the xdg-open opener pointed at a script: no browser is ever started.

#include <QFile>
#include <QTemporaryDir>

#include "ProductInfo.h"
#include "Widgets.h"
#include "support/ScriptedOperator.h"
#include "text/MessageCatalog.h"
#include "ui/AboutDialog.h"
#include "ui/HyperLink.h"
#include "ui/UrlOpener.h"

using namespace zr7;
using namespace zr7test;

namespace {

struct RecordingOpener : UrlOpener {
  OpenOutcome Open(const std::string& url) override {
    urls.push_back(url);
    return {true, {}};
  }
  std::vector<std::string> urls;
};

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
    EXPECT_EQ(Find<QLabel>(dialog, 1104)->text(), U(c.product));
    EXPECT_EQ(Find<QLabel>(dialog, 1107)->text(), U(c.version));
    EXPECT_EQ(Find<QLabel>(dialog, 1105)->text(), U(c.platform));
    EXPECT_EQ(Find<QLabel>(dialog, 1111)->text(), U(c.lastVersion));
    EXPECT_EQ(Find<QLabel>(dialog, 1106)->text(), U(product::MakerName));
    EXPECT_TRUE(Find<QLabel>(dialog, 1127)->text().contains(U(product::MakerYears)));
    EXPECT_FALSE(Find<QLabel>(dialog, QStringLiteral("picture"))->pixmap().isNull());
  }
  EXPECT_TRUE(op.Boxes().empty());
}

// Modal until OK; meanwhile its links, underlined and under a hand, open on a click or the
// space bar and on no other key.
TEST_F(AboutDialogTest, RunsModallyUntilOkAndItsLinksOpenOnAClickOrTheSpaceBar) {
  const struct { int id; const char* text; std::string url; } links[] = {
      {1070, product::RepositoryUrl, product::RepositoryUrl},
      {1077, product::ContactEmail, std::string("mailto:") + product::ContactEmail},
      {1112, product::ReleasesUrl, product::ReleasesUrl}};
  WhenModalOf<AboutDialog> act([&](AboutDialog& d) {
    for (const auto& [id, text, url] : links) {
      auto* l = Find<CHyperLink>(d, id);
      EXPECT_EQ(l->LinkStyle(), link_style::Underline | link_style::HoverColour) << id;
      EXPECT_TRUE(l->font().underline()) << id;
      EXPECT_EQ(l->text(), U(text));
      EXPECT_EQ(l->Url().toStdString(), url);
      EXPECT_EQ(l->toolTip(), l->Url());
      EXPECT_EQ(l->cursor().shape(), Qt::PointingHandCursor);
    }
    QTest::mouseClick(Find<CHyperLink>(d, 1077), Qt::LeftButton);
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_A, Qt::Key_Space}) QTest::keyClick(Find<CHyperLink>(d, 1112), key);
    QTest::mouseClick(Find<QPushButton>(d, 1), Qt::LeftButton);
  });
  RunAboutDialog(nullptr, ru, op, opener);
  EXPECT_EQ(opener.urls, (std::vector<std::string>{links[1].url, links[2].url}));
}

// The real opener, with xdg-open replaced by a script that writes down its arguments.
TEST(XdgOpener, PassesTheUrlAsOneArgumentWithoutAShellAndNeverOneLikeAnOption) {
  QTemporaryDir dir;
  const QString script = dir.filePath(QStringLiteral("opener")), args = dir.filePath(QStringLiteral("args"));
  QFile f(script);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$#\" \"$1\" > \"%1\"\n").arg(args).toUtf8());
  f.close();
  f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
  XdgUrlOpener opener(script);
  EXPECT_FALSE(opener.Open("--help").opened);
  EXPECT_FALSE(QFile::exists(args));
  const std::string url = "https://zr7.example.org/a b;touch \"$HOME/x\"`id`&c=$(id)";
  const OpenOutcome outcome = opener.Open(url);
  EXPECT_TRUE(outcome.opened) << outcome.reason;
  QFile written(args);
  ASSERT_TRUE(written.open(QIODevice::ReadOnly));
  EXPECT_EQ(QString::fromUtf8(written.readAll()), QStringLiteral("1\n") + QString::fromStdString(url) + "\n");
}

}  // namespace
