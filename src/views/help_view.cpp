// The help page in a window of Dozewick's own, in the interface language.
#include "views/help_view.h"

#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace dozewick {

namespace {

// The page holds one section per language (id "en", "zh"); the whole page where it has none.
QString sectionFor(const QString& html, const std::string& language) {
  const QString id = language.starts_with("zh") ? QStringLiteral("zh") : QStringLiteral("en");
  const QRegularExpression section(
      QStringLiteral("<section id=\"%1\"[^>]*>(.*?)</section>").arg(id),
      QRegularExpression::DotMatchesEverythingOption);
  const QRegularExpressionMatch found = section.match(html);
  return found.hasMatch() ? found.captured(1) : html;
}

}  // namespace

HelpView::HelpView(LanguageManager& language, QString page, std::function<bool()> browserExists,
                   QWidget* parent)
    : QWidget(parent, Qt::Window),
      language_(language),
      page_(std::move(page)),
      browserExists_(std::move(browserExists)) {
  setObjectName(QStringLiteral("helpView"));
  resize(560, 600);
  auto* layout = new QVBoxLayout(this);
  browser_ = new QTextBrowser;
  browser_->setObjectName(QStringLiteral("page"));
  // Links go through follow(): nothing is fetched into the window, nothing leaves it unasked.
  browser_->setOpenLinks(false);
  connect(browser_, &QTextBrowser::anchorClicked, this, &HelpView::follow);
  layout->addWidget(browser_, 1);
  note_ = new QLabel;
  note_->setObjectName(QStringLiteral("note"));
  note_->setWordWrap(true);
  note_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  note_->hide();
  layout->addWidget(note_);
  redraw_.observe(language_);
  refresh();
}

HelpView::~HelpView() {
  redraw_.stop();
}

QString HelpView::text(const char* key) const {
  return QString::fromStdString(language_.localizedString(key));
}

void HelpView::refresh() {
  setWindowTitle(text("help.title"));
  const QString language = QString::fromStdString(language_.currentLanguage().get());
  if (language == shownLanguage_)
    return;
  shownLanguage_ = language;
  QFile file(page_);
  if (page_.isEmpty() || !file.open(QIODevice::ReadOnly)) {
    browser_->setHtml(QStringLiteral("<p>%1</p>").arg(text("help.missing").toHtmlEscaped()));
    return;
  }
  browser_->setHtml(sectionFor(QString::fromUtf8(file.readAll()), language.toStdString()));
}

void HelpView::follow(const QUrl& url) {
  if (url.scheme().isEmpty() && url.path().isEmpty()) {
    browser_->scrollToAnchor(url.fragment());
    return;
  }
  if (browserExists_() && QDesktopServices::openUrl(url)) {
    note_->hide();
    return;
  }
  note_->setText(text("help.noBrowser") + QLatin1Char(' ') + url.toString());
  note_->show();
}

}  // namespace dozewick
