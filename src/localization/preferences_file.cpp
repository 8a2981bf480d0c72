// The user's preferences as a small INI file.
#include "localization/preferences_file.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringDecoder>
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <ostream>
#include <system_error>
#include <utility>

#include "platform/user_files.h"

namespace dozewick {

namespace {

QString qs(const std::string& text) {
  return QString::fromStdString(text);
}

bool isSection(const QString& trimmed) {
  return trimmed.startsWith('[') && trimmed.endsWith(']');
}

bool isComment(const QString& trimmed) {
  return trimmed.startsWith(';') || trimmed.startsWith('#');
}

}  // namespace

namespace preferences_text {

std::optional<QStringList> parseLines(const QByteArray& bytes) {
  if (bytes.size() > kMaxSize)
    return std::nullopt;
  QStringDecoder decoder(QStringDecoder::Utf8);
  const QString text = decoder(bytes);
  if (decoder.hasError())
    return std::nullopt;
  for (const QChar c : text) {
    if ((c.unicode() < 0x20 && c != '\t' && c != '\n' && c != '\r') || c.unicode() == 0x7f)
      return std::nullopt;
  }
  QStringList lines = text.split('\n');
  if (!lines.isEmpty() && lines.back().isEmpty())
    lines.removeLast();
  for (QString& line : lines) {
    if (line.endsWith('\r'))
      line.chop(1);
    const QString trimmed = line.trimmed();
    if (trimmed.isEmpty() || isComment(trimmed) || isSection(trimmed))
      continue;
    if (trimmed.indexOf('=') <= 0)
      return std::nullopt;
  }
  return lines;
}

std::optional<QStringList> decodeItems(const QString& raw) {
  QStringList items;
  const QString value = raw.trimmed();
  if (value.isEmpty())
    return items;
  qsizetype i = 0;
  for (;;) {
    while (i < value.size() && value[i] == ' ')
      ++i;
    QString item;
    if (i < value.size() && value[i] == '"') {
      for (++i;; ++i) {
        if (i == value.size())
          return std::nullopt;
        const QChar c = value[i];
        if (c == '"')
          break;
        if (c == '\\' && i + 1 < value.size()) {
          const QChar next = value[++i];
          const QString digits = value.mid(i + 1, 2);
          if (next == 'x' && digits.size() == 2 &&
              std::all_of(digits.begin(), digits.end(),
                          [](QChar d) { return isxdigit(d.unicode()) && d.unicode() < 0x80; })) {
            item += QChar(digits.toUShort(nullptr, 16));
            i += 2;
            continue;
          }
          item += next == 'n' ? QChar('\n') : next == 't' ? QChar('\t') : next;
          continue;
        }
        item += c;
      }
      ++i;
      while (i < value.size() && value[i] == ' ')
        ++i;
    } else {
      const qsizetype comma = value.indexOf(',', i);
      const qsizetype end = comma < 0 ? value.size() : comma;
      item = value.mid(i, end - i).trimmed();
      if (item.startsWith('@'))
        return std::nullopt;
      i = end;
    }
    items << item;
    if (i == value.size())
      return items;
    if (value[i] != ',')
      return std::nullopt;
    ++i;
  }
}

QString encodeItem(const QString& item) {
  bool plain = !item.isEmpty();
  for (const QChar c : item) {
    plain = plain && (c.isLetterOrNumber() || c == '-' || c == '_' || c == '.');
  }
  if (plain)
    return item;
  QString quoted = "\"";
  for (const QChar c : item) {
    if (c == '"' || c == '\\')
      quoted += '\\';
    if (c == '\n' || c == '\t')
      quoted += c == '\n' ? QStringLiteral("\\n") : QStringLiteral("\\t");
    else if (c.unicode() < 0x20 || c.unicode() == 0x7f)  // unreadable in the file itself
      quoted += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QChar('0'));
    else
      quoted += c;
  }
  return quoted + '"';
}

}  // namespace preferences_text

using namespace preferences_text;

PreferencesFile::PreferencesFile(std::ostream& errors)
    : PreferencesFile(defaultFileName(), errors) {}

PreferencesFile::PreferencesFile(QString fileName, std::ostream& errors)
    : fileName_(std::move(fileName)), errors_(errors) {
  load();
}

QString PreferencesFile::defaultFileName() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         "/Dozewick/Dozewick.conf";
}

void PreferencesFile::load() {
  const QFileInfo info(fileName_);
  if (!info.exists())
    return;
  // A folder or a pipe in its place is never read (a pipe would block) and never replaced.
  if (!info.isFile()) {
    readError_ = (fileName_ + " is not a regular file").toStdString();
    return;
  }
  QFile file(fileName_);
  if (!file.open(QIODevice::ReadOnly)) {
    readError_ = ("Could not read " + fileName_ + ": " + file.errorString()).toStdString();
    return;
  }
  const QByteArray bytes = file.read(kMaxSize + 1);
  auto lines = parseLines(bytes);
  if (!lines) {
    unreadable_ = true;
    return;
  }
  lines_ = std::move(*lines);
  saved_ = lines_;
}

qsizetype PreferencesFile::indexOf(const QString& key) const {
  // Keys before any section and in [General] are the top-level keys.
  bool general = true;
  for (qsizetype i = 0; i < lines_.size(); ++i) {
    const QString trimmed = lines_[i].trimmed();
    if (isSection(trimmed)) {
      general = trimmed == "[General]";
      continue;
    }
    if (!general || trimmed.isEmpty() || isComment(trimmed))
      continue;
    if (trimmed.left(trimmed.indexOf('=')).trimmed() == key)
      return i;
  }
  return -1;
}

std::optional<QString> PreferencesFile::rawValue(const std::string& key) const {
  const qsizetype index = indexOf(qs(key));
  if (index < 0)
    return std::nullopt;
  const QString& line = lines_[index];
  return line.mid(line.indexOf('=') + 1);
}

std::optional<std::string> PreferencesFile::string(const std::string& key) const {
  const auto raw = rawValue(key);
  if (!raw)
    return std::nullopt;
  const auto items = decodeItems(*raw);
  if (!items || items->size() > 1)
    return std::nullopt;
  return items->isEmpty() ? std::string() : items->front().toStdString();
}

std::optional<std::vector<std::string>> PreferencesFile::stringList(const std::string& key) const {
  const auto raw = rawValue(key);
  if (!raw)
    return std::nullopt;
  const auto items = decodeItems(*raw);
  if (!items)
    return std::nullopt;
  std::vector<std::string> list;
  for (const QString& item : *items)
    list.push_back(item.toStdString());
  return list;
}

void PreferencesFile::setString(const std::string& key, const std::string& value) {
  if (string(key) != value)
    setRawValue(key, encodeItem(qs(value)));
}

void PreferencesFile::setStringList(const std::string& key, const std::vector<std::string>& value) {
  if (stringList(key) == value)
    return;
  QStringList items;
  for (const std::string& item : value)
    items << encodeItem(qs(item));
  setRawValue(key, items.join(", "));
}

void PreferencesFile::setRawValue(const std::string& key, const QString& value) {
  const QString line = qs(key) + '=' + value;
  pending_ = true;
  if (const qsizetype index = indexOf(qs(key)); index >= 0) {
    lines_[index] = line;
    return;
  }
  const qsizetype general = lines_.indexOf("[General]");
  if (general < 0) {
    lines_.prepend(line);
    lines_.prepend("[General]");
    return;
  }
  qsizetype end = general + 1;
  while (end < lines_.size() && !isSection(lines_[end].trimmed()))
    ++end;
  while (end > general + 1 && lines_[end - 1].trimmed().isEmpty())
    --end;
  lines_.insert(end, line);
}

std::optional<std::string> PreferencesFile::synchronize() {
  if (!pending_)
    return std::nullopt;
  auto failure = save();
  // What could not be saved is dropped, so that every value read is the one on disk.
  if (failure)
    lines_ = saved_;
  else
    saved_ = lines_;
  pending_ = false;
  return failure;
}

std::optional<std::string> PreferencesFile::save() {
  if (readError_)
    return readError_;
  // Resolved once, so that a link whose target is moved aside leads to the new file.
  const user_files::Target target = user_files::writableTarget(fileName_);
  if (target.error)
    return target.error;
  const std::filesystem::path folder(
      QFile::encodeName(QFileInfo(target.path).absolutePath()).data());
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error)
    return "Could not create the folder " + folder.string() + ": " + error.message();
  if (unreadable_) {
    if (auto failure = moveAside(target.path))
      return failure;
  }
  return user_files::write(target.path, lines_.join('\n').toUtf8() + '\n');
}

std::optional<std::string> PreferencesFile::moveAside(const QString& path) {
  const QString stem =
      path + ".unreadable-" + QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss");
  QString aside = stem;
  for (int n = 2; QFileInfo(aside).exists() || QFileInfo(aside).isSymLink(); ++n)
    aside = stem + '-' + QString::number(n);
  QFile file(path);
  if (!file.rename(aside)) {
    return ("Could not move the unreadable " + path + " aside: " + file.errorString())
        .toStdString();
  }
  unreadable_ = false;
  errors_ << "Dozewick could not read its preferences file " << path.toStdString()
          << "; it was moved to " << aside.toStdString() << " and a new one is started."
          << std::endl;
  return std::nullopt;
}

}  // namespace dozewick
