// The help page in a window of Dozewick's own, in the interface language.
#pragma once

#include <QString>
#include <QUrl>
#include <QWidget>
#include <functional>

#include "localization/language_manager.h"
#include "views/queued_redraw.h"

class QLabel;
class QTextBrowser;

namespace dozewick {

// The help page in a window of Dozewick's own, so that Authorize shows something on every
// desktop, with a web browser or without. It shows the page's part in the interface language and
// follows a switch; a link leaves for the browser only where there is one, else its address is
// shown to copy.
class HelpView : public QWidget {
  Q_OBJECT

 public:
  // `page`: the help page's file, empty where it is not installed. `browserExists` is asked at
  // each click on a link.
  HelpView(LanguageManager& language, QString page, std::function<bool()> browserExists,
           QWidget* parent = nullptr);
  ~HelpView() override;

  // What a click on a link does.
  void follow(const QUrl& url);

 private:
  void refresh();
  QString text(const char* key) const;

  LanguageManager& language_;
  QString page_;
  std::function<bool()> browserExists_;
  QString shownLanguage_;
  QueuedRedraw redraw_{this, [this] { refresh(); }};
  QTextBrowser* browser_ = nullptr;
  QLabel* note_ = nullptr;
};

}  // namespace dozewick
