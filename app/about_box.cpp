#include "app/about_box.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/main_controller.h"
#include "app/maker.h"

namespace fennick {

namespace {

QLabel* Link(const QString& text, QWidget* parent) {
  auto* label = new QLabel(QStringLiteral("<a href=\"#\">%1</a>").arg(text.toHtmlEscaped()), parent);
  label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  return label;
}

}  // namespace

TFormAbout::TFormAbout(TMainController& controller, QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("About"));
  setModal(true);
  auto* layout = new QGridLayout(this);
  layout->setHorizontalSpacing(20);
  layout->setVerticalSpacing(6);
  auto* icon = new QLabel(this);
  icon->setPixmap(QIcon(QStringLiteral(":/icons/fennick.svg")).pixmap(64, 64));
  icon->setAlignment(Qt::AlignTop);
  layout->addWidget(icon, 0, 0, 5, 1);
  LabelProduct = new QLabel(QString::fromLatin1(ProductName), this);
  QFont bold = LabelProduct->font();
  bold.setBold(true);
  bold.setPointSizeF(bold.pointSizeF() * 1.3);
  LabelProduct->setFont(bold);
  layout->addWidget(LabelProduct, 0, 1);
  LabelVersion = new QLabel(tr("Version %1").arg(QStringLiteral(FENNICK_VERSION)), this);
  layout->addWidget(LabelVersion, 1, 1);
  LinkWebSite = Link(tr("Visit our Website"), this);
  LinkWebSite->setToolTip(QString::fromLatin1(MakerWebSite));
  layout->addWidget(LinkWebSite, 2, 1);
  LinkSupport = Link(tr("Contact Support Department"), this);
  LinkSupport->setToolTip(QString::fromLatin1(MakerSupportAddress));
  layout->addWidget(LinkSupport, 3, 1);
  ButtonOK = new QPushButton(tr("OK"), this);
  ButtonOK->setDefault(true);
  layout->addWidget(ButtonOK, 4, 1, Qt::AlignRight);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(LinkWebSite, &QLabel::linkActivated, this, [&controller] { controller.VisitOurWebsite1Click(); });
  connect(LinkSupport, &QLabel::linkActivated, this, [&controller] { controller.ContactSupportClick(); });
  connect(ButtonOK, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace fennick
