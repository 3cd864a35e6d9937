#include "MessClass.h"

#include <QFile>

namespace vanta {

namespace {
bool ParseId(const QString& text, uint32_t& id) {
  bool ok = false;
  const QString t = text.trimmed();
  const qulonglong v = t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? t.mid(2).toULongLong(&ok, 16) : t.toULongLong(&ok, 10);
  if (!ok || v > 0xFFFFFFFFull) return false;
  id = uint32_t(v);
  return true;
}
}  // namespace

bool TMessClass::LoadTable(TMessLang lang, const QString& path, QString& error) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) {
    error = QStringLiteral("%1: %2").arg(path, f.errorString());
    return false;
  }
  QHash<uint32_t, TEntry> table;
  QHash<QString, uint32_t> names;
  int lineNo = 0;
  for (const QByteArray& raw : f.readAll().split('\n')) {
    ++lineNo;
    const QString line = QString::fromUtf8(raw).trimmed();
    if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
    const QStringList parts = line.split(QLatin1Char('\t'));
    uint32_t id = 0;
    if (parts.size() != 3 || !ParseId(parts[0], id)) {
      error = QStringLiteral("%1, Zeile %2: erwartet \"id<TAB>name<TAB>text\"").arg(path).arg(lineNo);
      return false;
    }
    table.insert(id, {parts[1].trimmed(), parts[2].trimmed()});
    names.insert(parts[1].trimmed(), id);
  }
  FTables[int(lang)] = std::move(table);
  FNames[int(lang)] = std::move(names);
  return true;
}

TMessRec TMessClass::GetMessRec(uint32_t id) const {
  TMessRec r;
  r.ID = id;
  // An English table without the id still has the German name to offer.
  for (const TMessLang lang : {FLang, TMessLang::mlGerman}) {
    const auto& t = FTables[int(lang)];
    if (auto it = t.find(id); it != t.end()) {
      r.Name = it->Name;
      r.Text = it->Text;
      r.Known = true;
      return r;
    }
  }
  {
    r.Text = QStringLiteral("Parameter %1").arg(id);  // untranslated: the same word in both languages
  }
  return r;
}

TMessRec TMessClass::GetMessRec(const QString& name) const {
  const auto& n = FNames[int(FLang)];
  if (auto it = n.find(name); it != n.end()) return GetMessRec(*it);
  TMessRec r;
  r.Name = name;
  r.Text = name;
  return r;
}

QString TMessClass::HexOf(uint32_t id) { return QStringLiteral("0x%1").arg(id, 8, 16, QLatin1Char('0')).toUpper().replace(QLatin1String("0X"), QLatin1String("0x")); }

QString TMessClass::StrToHexToStr(const QString& idText) {
  uint32_t id = 0;
  return ParseId(idText, id) ? HexOf(id) : QString();
}

}  // namespace vanta
