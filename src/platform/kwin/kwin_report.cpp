// What the KWin script reports of the windows, read from the JSON text it sends.
#include "platform/kwin/kwin_report.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QSet>
#include <limits>

namespace dozewick::kwin {

namespace {

// Far above any real desktop; a larger report is refused rather than parsed.
constexpr qsizetype kMaxReportBytes = 4 << 20;
constexpr qsizetype kMaxKey = 64;
constexpr qsizetype kMaxText = 1 << 14;

// What each kind of window KWin names is; a kind the script does not know is "other".
WindowType typeOf(const QString& kind) {
  static const QHash<QString, WindowType> types = {
      {QStringLiteral("normalWindow"), WindowType::ordinary},
      {QStringLiteral("dialog"), WindowType::ordinary},
  };
  if (kind == QStringLiteral("other")) {
    return WindowType::unknown;
  }
  return types.value(kind, WindowType::other);
}

std::optional<std::int32_t> validPid(const QJsonValue& value) {
  const double pid = value.toDouble(-1);
  if (!(pid >= 1 && pid <= std::numeric_limits<std::int32_t>::max()) ||
      pid != static_cast<double>(static_cast<std::int32_t>(pid))) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(pid);
}

// An X11 window's number, as the script reports it for a window KWin knows no process of.
std::uint32_t validXid(const QJsonValue& value) {
  const double xid = value.toDouble(0);
  if (!(xid >= 1 && xid <= std::numeric_limits<std::uint32_t>::max()) ||
      xid != static_cast<double>(static_cast<std::uint32_t>(xid))) {
    return 0;
  }
  return static_cast<std::uint32_t>(xid);
}

std::string boundedText(const QJsonValue& value) {
  return value.toString().left(kMaxText).toStdString();
}

}  // namespace

std::optional<Report> readReport(const QByteArray& json) {
  if (json.size() > kMaxReportBytes) {
    return std::nullopt;
  }
  const QJsonDocument document = QJsonDocument::fromJson(json);
  if (!document.isObject()) {
    return std::nullopt;
  }
  const QJsonObject report = document.object();
  const QJsonArray list = report.value(QStringLiteral("windows")).toArray();
  Report result;
  result.activeKey = report.value(QStringLiteral("active")).toString();
  result.windows.reserve(std::min<qsizetype>(list.size(), DesktopModel::kMaxWindows));
  QSet<QString> keys;
  for (const QJsonValue& value : list) {
    const QJsonObject w = value.toObject();
    const QString key = w.value(QStringLiteral("id")).toString();
    const auto pid = validPid(w.value(QStringLiteral("pid")));
    const std::uint32_t xid = pid ? 0 : validXid(w.value(QStringLiteral("xid")));
    if (key.isEmpty() || key.size() > kMaxKey || (!pid && !xid) || keys.contains(key)) {
      continue;
    }
    keys.insert(key);
    DesktopWindow window;
    window.pid = pid.value_or(0);
    window.application = boundedText(w.value(QStringLiteral("app")));
    window.title = boundedText(w.value(QStringLiteral("title")));
    window.type = typeOf(w.value(QStringLiteral("kind")).toString());
    window.minimized = w.value(QStringLiteral("minimized")).toBool(false);
    window.onCurrentDesktop = w.value(QStringLiteral("current")).toBool(true);
    window.skipsTaskbar = w.value(QStringLiteral("skipTaskbar")).toBool(false);
    if (key == result.activeKey && pid) {
      result.activePid = window.pid;
    }
    result.windows.push_back({key, std::move(window), xid});
  }
  return result;
}

}  // namespace dozewick::kwin
