// The About box: the version, the licence and the home page.
#include "app/about_box.h"

#include <QApplication>
#include <QIcon>

namespace dozewick {

void showAboutBox(const Localizer& texts, QPointer<QMessageBox>& box) {
  if (!box) {
    auto text = [&texts](const char* key) {
      return QString::fromStdString(texts.localizedString(key));
    };
    const QString home = QStringLiteral(DOZEWICK_HOMEPAGE);
    const QString body =
        QStringLiteral("<p><b>Dozewick</b></p><p>%1<br>%2<br>%3</p>")
            .arg(text("about.version").arg(QStringLiteral(DOZEWICK_VERSION)).toHtmlEscaped(),
                 text("about.license").arg(QStringLiteral(DOZEWICK_LICENSE)).toHtmlEscaped(),
                 text("about.homePage")
                     .toHtmlEscaped()
                     .arg(QStringLiteral("<a href=\"%1\">%1</a>").arg(home.toHtmlEscaped())));
    box = new QMessageBox(QMessageBox::NoIcon, text("menu.about"), body, QMessageBox::Close);
    box->setObjectName(QStringLiteral("aboutBox"));
    box->setTextFormat(Qt::RichText);
    box->setIconPixmap(QApplication::windowIcon().pixmap(64, 64));
    box->setAttribute(Qt::WA_DeleteOnClose);
  }
  box->show();
  box->raise();
  box->activateWindow();
}

}  // namespace dozewick
