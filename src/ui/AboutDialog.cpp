#include "ui/AboutDialog.h"

#include <QPainter>
#include <QPixmap>
#include <QPushButton>

#include "ProductInfo.h"
#include "ui/AppIcon.h"
#include "text/MessageCatalog.h"
#include "ui/DialogUnits.h"
#include "ui/HyperLink.h"

namespace zr7 {

namespace {

// Our icon with the board's name beside it, drawn to fit the picture's place.
QPixmap AboutPicture(QSize size, const QFont& base) {
  QPixmap pixmap(size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const int side = size.height();
  QFont font = base;
  font.setBold(true);
  font.setPixelSize(side * 2 / 3);
  const QString name = QStringLiteral("ZR7");
  const int textWidth = QFontMetrics(font).horizontalAdvance(name);
  const int gap = side / 4;
  const int left = (size.width() - side - gap - textWidth) / 2;
  p.drawPixmap(left, 0, ApplicationIcon().pixmap(side, side));
  p.setFont(font);
  p.setPen(QColor(30, 30, 40));
  p.drawText(QRect(left + side + gap, 0, textWidth, side), Qt::AlignVCenter | Qt::AlignLeft, name);
  return pixmap;
}

QString U(const char* text) { return QString::fromUtf8(text); }

}  // namespace

AboutDialog::AboutDialog(QWidget* parent, const MessageCatalog& catalog, OperatorInterface& op, UrlOpener& opener)
    : QDialog(parent), texts_(this) {
  setWindowTitle(QStringLiteral("About"));
  const DialogUnits du(font());
  setFixedSize(du.X(157), du.Y(226));

  auto* picture = new QLabel(this);
  picture->setObjectName(QStringLiteral("picture"));
  du.Place(picture, 7, 7, 143, 44);
  picture->setPixmap(AboutPicture(picture->size(), font()));
  picture->setAlignment(Qt::AlignCenter);

  auto line = [&](int id, const QString& text, int y) {
    auto* label = new QLabel(text, this);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignCenter);
    label->setObjectName(QStringLiteral("id%1").arg(id));
    du.Place(label, 7, y, 143, 10);
    return label;
  };
  auto link = [&](int id, const char* text, int y) {
    auto* l = new CHyperLink(U(text), this);
    l->setAlignment(Qt::AlignCenter);
    l->setObjectName(QStringLiteral("id%1").arg(id));
    du.Place(l, 7, y, 143, 10);
    l->SetOpener(opener, op);
    l->Attach();
    return l;
  };

  QLabel* product = line(1104, QStringLiteral("ZR7 In-System Programmer"), 57);
  QFont bold = product->font();
  bold.setBold(true);
  product->setFont(bold);
  QLabel* version = line(1107, QString(), 68);
  // The catalog's own rows for these lines name another platform and another maker; this
  // build's platforms are a row of ours and the maker comes from the product information.
  line(1105, U(catalog.GetText(msg::AboutPlatformLine)), 79);
  line(1106, U(product::MakerName), 97);
  line(1127, U("© ") + U(product::MakerYears), 108);
  CHyperLink* web = link(1070, product::RepositoryUrl, 126);
  CHyperLink* mail = link(1077, product::ContactEmail, 137);
  QLabel* lastVersion = line(1111, QStringLiteral("Last version:"), 155);
  CHyperLink* releases = link(1112, product::ReleasesUrl, 166);

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("id1"));
  du.Place(ok, 53, 200, 50, 14);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  texts_.AddControl(1104, product);
  texts_.AddControl(1107, version);
  texts_.AddControl(1111, lastVersion);
  texts_.Translate(dialog::About, catalog, op);

  for (CHyperLink* l : {web, mail, releases})
    l->ModifyLinkStyle(~(link_style::Underline | link_style::HoverColour), link_style::Underline | link_style::HoverColour,
                       true);
  mail->SetUrl(QStringLiteral("mailto:") + mail->text());
  // The links are reached with Tab, but the box opens on its button.
  ok->setFocus();
}

void RunAboutDialog(QWidget* parent, const MessageCatalog& catalog, OperatorInterface& op, UrlOpener& opener) {
  AboutDialog dialog(parent, catalog, op, opener);
  dialog.exec();
}

}  // namespace zr7
