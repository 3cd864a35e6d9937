// vanta-cli para: the parameter set without a device. Rows as the editor
// builds them, values through the editor's accept path, and the values the
// rules would correct.
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <functional>
#include <cmath>
#include <limits>

#include "Captions.h"
#include "CliSession.h"
#include "GridRules.h"
#include "JsonOut.h"
#include "MessClass.h"
#include "ParaExport.h"
#include "ParaWorkflow.h"
#include "ParaHelper.h"
#include "SaveWhole.h"
#include "Language.h"

namespace vanta::cli {

namespace {

// The caption tables of this installation; without them ids read as
// "Parameter <id>".
const TMessClass& Classes(const TCliArgs& a) {
  static TMessClass classes;
  static const bool loaded = LoadInstalledCaptions(classes);
  (void)loaded;
  // The command's own --lang, else the program's language.
  const QString lang = a.Has(QStringLiteral("lang")) ? a.Value(QStringLiteral("lang")) : CurrentLanguage();
  classes.SetLanguage(lang == QLatin1String("en") ? TMessLang::mlEnglish : TMessLang::mlGerman);
  return classes;
}

const char* const CRangeMessage =
    QT_TRANSLATE_NOOP("TTr", "Der eingegebene Wert für %1 liegt im ungültigen Bereich.\r\nBitte die Bereichsgrenzen beachten:\r\nMinimaler Wert: %2\r\nMaximaler Wert: %3\r\nStandard Wert: %4\r\n\r\nDer Parameter wird auf den Wert %5 gesetzt!");
const char* const CGpsMessage =
    QT_TRANSLATE_NOOP("TTr", "Die Eingegebenen GPS Koordinaten \"%1\" sind ungültig. Bitte geben Sie diese im Format \"N49.12345678E11.12345678\" ein.");

int LevelOf(const TCliArgs& a, const TCliOptions& o) {
  bool ok = false;
  const int level = a.Value(QStringLiteral("level")).toInt(&ok);
  return ok ? level : o.Visibility;
}

// The kind as the JSON names it: "float", "integer", "measId".
QString KindName(TGridRowTyp t) {
  QString n = GridRowTypName(t).mid(3);
  if (!n.isEmpty()) n[0] = n[0].toLower();
  return n;
}

// An id text as a number; null when it is none (a folder without an id).
QJsonValue IdJson(const QString& text) {
  bool ok = false;
  const uint32_t id = text.toUInt(&ok);
  return ok ? QJsonValue(qint64(id)) : QJsonValue(QJsonValue::Null);
}

QString HexId(uint32_t id) { return TMessClass::HexOf(id); }

// A value of `kind` as a script wants it: numbers for the numeric kinds,
// true/false for switches, text for the rest. A text that does not fit its
// kind stays text, so that nothing the file holds is lost; an empty number
// is null. Secrets are never given away.
QJsonValue Typed(TGridRowTyp kind, const QString& text) {
  const QString t = text.trimmed();
  switch (kind) {
    case TGridRowTyp::grtFloat:
    case TGridRowTyp::grtInteger:
    case TGridRowTyp::grtUint32:
    case TGridRowTyp::grtmeasId:
    case TGridRowTyp::grtexitmeasId: {
      if (t.isEmpty()) return QJsonValue::Null;
      bool ok = false;
      const double v = t.toDouble(&ok);
      return ok && std::isfinite(v) ? QJsonValue(v) : QJsonValue(text);
    }
    case TGridRowTyp::grtBoolean:
    case TGridRowTyp::grtDatapoint:
      if (t == QLatin1String("1") || t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) return true;
      if (t == QLatin1String("0") || t.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0) return false;
      return t.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
    case TGridRowTyp::grtsecret: return QJsonValue::Null;
    default: return text;
  }
}

// A limit: a number whenever it is one (a text's limits are its lengths).
QJsonValue LimitJson(TGridRowTyp kind, const QVariant& limit) {
  bool ok = false;
  const double v = limit.toString().trimmed().toDouble(&ok);
  return ok && std::isfinite(v) ? QJsonValue(v) : Typed(kind, limit.toString());
}

// The kind of an item element as the editor reads it (odd spellings of the
// type included).
TGridRowTyp KindOf(const pugi::xml_node& item, const TCaptionSource& captions) {
  TGridRow row;
  const TChangeList none;
  const QString parent = QString::fromUtf8(item.parent().attribute("id").value());
  return item && GetGridRow(std::numeric_limits<int>::max(), parent, item, row, captions, none) ? row.RowTyp : TGridRowTyp::grtText;
}

// The value column as the text output shows it.
QString ValueText(const TGridRow& r) {
  if (r.RowTyp == TGridRowTyp::grtFloat) return FormatFloat5(r.RowVal.toDouble());
  if (r.RowTyp == TGridRowTyp::grtBoolean || r.RowTyp == TGridRowTyp::grtDatapoint) return r.RowVal.toString();
  return DisplayText(r, 1);
}

// The text output's fields of a row: id, parent, kind, caption, value, default, min, max.
QStringList RowTexts(const TGridRow& r, const QString& parent) {
  return {r.IDStr, parent, GridRowTypName(r.RowTyp), r.RowCap, ValueText(r), r.RowDef.toString(), DisplayText(r, 3), DisplayText(r, 4)};
}

QJsonObject RowJson(const TGridRow& r, const QString& parent) {
  const QStringList t = RowTexts(r, parent);
  // Limits of a switch are no limits anybody sets.
  const bool limits = r.RowTyp != TGridRowTyp::grtBoolean && r.RowTyp != TGridRowTyp::grtDatapoint;
  QJsonObject o{{QStringLiteral("id"), qint64(r.ID)},
                {QStringLiteral("idHex"), HexId(r.ID)},
                {QStringLiteral("parent"), IdJson(parent)},
                {QStringLiteral("kind"), KindName(r.RowTyp)},
                {QStringLiteral("caption"), r.RowCap},
                {QStringLiteral("value"), Typed(r.RowTyp, r.RowVal.toString())},
                {QStringLiteral("default"), Typed(r.RowTyp, r.RowDef.toString())},
                {QStringLiteral("min"), limits ? LimitJson(r.RowTyp, r.RowMin) : QJsonValue(QJsonValue::Null)},
                {QStringLiteral("max"), limits ? LimitJson(r.RowTyp, r.RowMax) : QJsonValue(QJsonValue::Null)},
                {QStringLiteral("editable"), r.Editable},
                {QStringLiteral("texts"), QJsonObject{{QStringLiteral("value"), t[4]},
                                                      {QStringLiteral("default"), t[5]},
                                                      {QStringLiteral("min"), t[6]},
                                                      {QStringLiteral("max"), t[7]}}}};
  if (r.IsList) {
    QJsonArray entries;
    for (const QString& e : r.List) {
      const qsizetype eq = e.indexOf(QLatin1Char('='));
      entries.append(QJsonObject{{QStringLiteral("value"), Typed(r.RowTyp, e.left(eq))}, {QStringLiteral("text"), e.mid(eq + 1)}});
    }
    o.insert(QStringLiteral("list"), entries);
  }
  return o;
}

// Every item element below `root` with the id text of its parent, in document order.
template <typename F>
void ForEachItem(const pugi::xml_node& root, F&& f) {
  for (pugi::xml_node c = root.first_child(); c; c = c.next_sibling()) {
    if (c.type() != pugi::node_element) continue;
    const QString name = QString::fromUtf8(c.name());
    if (name == QLatin1String("parameter") || name == QLatin1String("property") || name == QLatin1String("datapoint"))  // untranslated
      f(c, QString::fromUtf8(root.attribute("id").value()));
    if (name == QLatin1String("group") || name == QLatin1String("swmodule") || name == QLatin1String("datapoint"))
      ForEachItem(c, f);
  }
}

bool Load(TParaDocument& doc, const QString& path, TCliOutput& out) {
  QString error;
  if (!doc.LoadFile(path, error)) {
    out.Error(error);
    return false;
  }
  for (const QString& w : doc.Warnings()) out.Note(QStringLiteral("%1: %2").arg(path, w));
  return true;
}

// Writes `doc` to `path` and names it as saved; the reason and exit 1 when it cannot.
int SaveTo(TCliOutput& out, const TParaDocument& doc, const QString& path) {
  QString error;
  if (!doc.SaveFile(path, error)) {
    out.Error(error);
    return ecUsage;
  }
  out.Result().insert(QStringLiteral("saved"), path);
  return ecDone;
}

int Rows(TCliOutput& out, const TCliArgs& a, const TCliOptions& o) {
  TParaDocument doc;
  if (!Load(doc, a.Args[1], out)) return ecUsage;
  const int level = LevelOf(a, o);
  pugi::xml_node root = doc.Sys();
  if (a.Has(QStringLiteral("folder"))) {
    root = doc.FindFirst(a.Value(QStringLiteral("folder")).toUInt());
    if (!root) {
      out.Error(TTr::tr("Ordner %1 gibt es nicht").arg(a.Value(QStringLiteral("folder"))));
      return ecUsage;
    }
  }
  QJsonArray rows;
  const TCaptionSource captions = CaptionsFrom(Classes(a));
  ForEachItem(root, [&](const pugi::xml_node& n, const QString& parent) {
    TGridRow r;
    if (!GetGridRow(level, parent, n, r, captions, doc.Changes)) return;
    rows.append(RowJson(r, parent));
    QStringList fields = RowTexts(r, parent);
    fields << (r.Editable ? TEn::tr("editable") : TEn::tr("read-only"));
    if (r.IsList) fields << r.List.join(QLatin1Char('|'));
    out.Line(fields.join(QLatin1Char('\t')));
  });
  out.Result().insert(QStringLiteral("rows"), rows);
  return ecDone;
}

// The stored values of a list row's entries.
QStringList ListValues(const TGridRow& row) {
  QStringList values;
  for (const QString& e : row.List) values << e.left(e.indexOf(QLatin1Char('=')));
  return values;
}

int Check(TCliOutput& out, const TCliArgs& a, const TCliOptions& o) {
  TParaDocument doc;
  if (!Load(doc, a.Args[1], out)) return ecUsage;
  const int level = LevelOf(a, o);
  QJsonArray found;
  const TCaptionSource captions = CaptionsFrom(Classes(a));
  ForEachItem(doc.Sys(), [&](const pugi::xml_node& n, const QString& parent) {
    TGridRow r;
    if (!GetGridRow(level, parent, n, r, captions, doc.Changes) || r.RowTyp == TGridRowTyp::grtProperty) return;
    const QString current = GetNodeValue(n, r.RowTyp == TGridRowTyp::grtDatapoint ? ".//rec" : ".//value");
    if (r.IsList) {
      // A list is not clamped: a value outside its entries is no choice the device offers.
      if (IsListEntry(r, current)) return;
      QJsonArray entries;
      for (const QString& e : ListValues(r)) entries.append(Typed(r.RowTyp, e));
      found.append(QJsonObject{{QStringLiteral("id"), qint64(r.ID)}, {QStringLiteral("parent"), IdJson(parent)},
                               {QStringLiteral("value"), Typed(r.RowTyp, current)}, {QStringLiteral("notInList"), true},
                               {QStringLiteral("entries"), entries}});
      out.Line(TTr::tr("%1@%2: \"%3\" ist kein Eintrag der Liste (%4)").arg(r.IDStr, parent, current,
                                                                                  ListValues(r).join(QStringLiteral(", "))));
      return;
    }
    bool corrected = false;
    const QString stored = CheckValue(r, current, {}, corrected);
    if (!corrected) return;
    found.append(QJsonObject{{QStringLiteral("id"), qint64(r.ID)}, {QStringLiteral("parent"), IdJson(parent)},
                             {QStringLiteral("value"), Typed(r.RowTyp, current)}, {QStringLiteral("stored"), Typed(r.RowTyp, stored)}});
    out.Line(QStringLiteral("%1@%2: \"%3\" -> \"%4\"").arg(r.IDStr, parent, current, stored));
  });
  out.Result().insert(QStringLiteral("corrections"), found);
  return found.isEmpty() ? ecDone : ecCorrected;
}

bool WriteChanges(const TChangeList& changes, const QString& path, TCliOutput& out) {
  QJsonArray list;
  for (auto it = changes.cbegin(); it != changes.cend(); ++it)
    list.append(QJsonObject{{QStringLiteral("key"), it.key()},
                            {QStringLiteral("id"), it->ID},
                            {QStringLiteral("parent"), it->ParentID},
                            {QStringLiteral("original"), it->OriVal}});
  QString error;
  if (SaveWhole(path, QJsonDocument(QJsonObject{{QStringLiteral("changes"), list}}).toJson(), error)) return true;
  out.Error(error);
  return false;
}

int Set(TCliOutput& out, const TCliArgs& a, const TCliOptions& o) {
  TParaDocument doc;
  if (!Load(doc, a.Args[1], out)) return ecUsage;
  const int level = LevelOf(a, o);
  const TCaptionSource captions = CaptionsFrom(Classes(a));
  QJsonArray results;
  bool anyCorrection = false;
  int refused = 0;
  for (const QString& input : a.Args.mid(2)) {
    const qsizetype eq = input.indexOf(QLatin1Char('='));
    const QString target = input.left(eq);
    const QString typed = input.mid(eq + 1);
    const QString idText = target.section(QLatin1Char('@'), 0, 0);
    const QString parentText = target.contains(QLatin1Char('@')) ? target.section(QLatin1Char('@'), 1) : QString();
    QJsonObject res{{QStringLiteral("id"), IdJson(idText)}, {QStringLiteral("input"), typed}};
    const uint32_t id = idText.toUInt();
    const pugi::xml_node n = parentText.isEmpty() ? doc.FindFirst(id) : doc.Find(id, parentText.toUInt());
    const QString parent = QString::fromUtf8(n.parent().attribute("id").value());
    res[QStringLiteral("parent")] = IdJson(parent);
    TGridRow row;
    // Why an input was refused or corrected: German in the JSON document,
    // where scripts compare it, in the chosen language on the line below.
    QString message, shown;
    auto tell = [&](const char* text, const std::function<QString(const QString&)>& fill) {
      message = fill(QString::fromUtf8(text));
      shown = fill(TTr::tr(text));
    };
    bool corrected = false, rejected = false;
    QString stored;
    if (!n) {
      rejected = true;
      if (parentText.isEmpty())
        tell(QT_TRANSLATE_NOOP("TTr", "Parameter %1 gibt es nicht"), [&](const QString& t) { return t.arg(idText); });
      else
        tell(QT_TRANSLATE_NOOP("TTr", "Parameter %1 unter %2 gibt es nicht"),
             [&](const QString& t) { return t.arg(idText, parentText); });
    } else if (!GetGridRow(level, parent, n, row, captions, doc.Changes)) {
      rejected = true;
      tell(QT_TRANSLATE_NOOP("TTr", "Parameter %1 ist auf Stufe %2 nicht sichtbar"),
           [&](const QString& t) { return t.arg(idText).arg(level); });
    } else if (!row.Editable || row.RowTyp == TGridRowTyp::grtProperty) {
      rejected = true;
      tell(QT_TRANSLATE_NOOP("TTr", "Parameter %1 ist auf Stufe %2 nicht änderbar"),
           [&](const QString& t) { return t.arg(idText).arg(level); });
    } else {
      const TAcceptResult r = AcceptValue(
          row, typed, [&](const QString&, const QString& min, const QString& max, const QString& def, const QString& outVal,
                          const QString&) {
            tell(CRangeMessage, [&](const QString& t) { return t.arg(row.RowCap, min, max, def, outVal); });
          });
      corrected = r.Corrected;
      stored = r.Stored;
      if (!r.Accepted) {
        rejected = true;
        corrected = false;  // nothing was stored, corrected or not
        if (row.ID == CGpsPositionId)
          tell(CGpsMessage, [&](const QString& t) { return t.arg(typed); });
        else if (row.ID == CIedNameId)
          tell(QT_TRANSLATE_NOOP("TTr", "Der IED-Name \"%1\" ist ungültig"), [&](const QString& t) { return t.arg(typed); });
        else if (row.IsList)
          tell(QT_TRANSLATE_NOOP("TTr", "\"%1\" ist kein Eintrag der Liste (%2)"),
               [&](const QString& t) { return t.arg(typed, ListValues(row).join(QStringLiteral(", "))); });
        else
          tell(QT_TRANSLATE_NOOP("TTr", "Eingabe abgelehnt"), [](const QString& t) { return t; });
        stored = row.IsList ? row.RowVal.toString() : DisplayText(row, 1);
      } else {
        WriteBackValue(n, stored, row.Equal, row.RowTyp, doc.Changes);
      }
    }
    anyCorrection = anyCorrection || corrected || rejected;
    if (rejected) ++refused;
    // One word for the outcome; a rejected input names why and what the
    // item keeps, a corrected one what was stored instead and why.
    if (rejected) {
      res[QStringLiteral("result")] = QStringLiteral("rejected");
      res[QStringLiteral("reason")] = message;
      // Only an item visible at the level shows what it holds.
      if (row.Node) {
        res[QStringLiteral("current")] = Typed(row.RowTyp, row.RowVal.toString());
        res[QStringLiteral("texts")] = QJsonObject{{QStringLiteral("current"), ValueText(row)}};
      }
    } else {
      res[QStringLiteral("result")] = corrected ? QStringLiteral("corrected") : QStringLiteral("stored");
      res[QStringLiteral("stored")] = Typed(row.RowTyp, stored);
      res[QStringLiteral("texts")] = QJsonObject{{QStringLiteral("stored"), stored}};
      if (corrected) res[QStringLiteral("message")] = message;
    }
    results.append(res);
    out.Line(QStringLiteral("%1@%2 = \"%3\"%4%5").arg(idText, parent, stored,
                                                      rejected ? TTr::tr(" (abgelehnt)")
                                                               : corrected ? TTr::tr(" (korrigiert)") : QString(),
                                                      shown.isEmpty() ? QString()
                                                                      : QStringLiteral(": ") + QString(shown).replace(QLatin1String("\r\n"), QLatin1String(" ")).replace(QLatin1Char('\n'), QLatin1Char(' '))));
  }
  out.Result().insert(QStringLiteral("inputs"), results);
  // The inputs belong together: when one is refused, a file with the others
  // would be a set nobody asked for. Without --out this is a check only.
  const QString target = a.Value(QStringLiteral("out"));
  bool saved = false;
  if (refused > 0) {
    out.Note(TTr::tr("Nichts gespeichert: %1 Eingabe(n) abgelehnt%2")
                 .arg(refused)
                 .arg(a.Has(QStringLiteral("out")) ? TTr::tr(", %1 bleibt unverändert").arg(target) : QString()));
  } else if (!a.Has(QStringLiteral("out"))) {
    out.Note(TTr::tr("%1 bleibt unverändert: ohne --out werden die Werte nicht gespeichert").arg(a.Args[1]));
  } else {
    QString error;
    if (!doc.SaveFile(target, error)) {
      out.Error(error);
      return ecUsage;
    }
    saved = true;
  }
  out.Result().insert(QStringLiteral("saved"), saved ? QJsonValue(target) : QJsonValue(QJsonValue::Null));
  if (refused == 0 && a.Has(QStringLiteral("changes")) && !WriteChanges(doc.Changes, a.Value(QStringLiteral("changes")), out))
    return ecUsage;
  return anyCorrection ? ecCorrected : ecDone;
}

bool ReadChanges(const QString& path, TChangeList& changes, TCliOutput& out) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) {
    out.Error(QStringLiteral("%1: %2").arg(path, f.errorString()));
    return false;
  }
  QJsonParseError e;
  const QJsonDocument d = QJsonDocument::fromJson(f.readAll(), &e);
  if (e.error != QJsonParseError::NoError || !d.object().value(QStringLiteral("changes")).isArray()) {
    out.Error(TTr::tr("%1: keine Änderungsliste (%2)").arg(path, e.errorString()));
    return false;
  }
  for (const QJsonValue& v : d.object().value(QStringLiteral("changes")).toArray()) {
    const QJsonObject o = v.toObject();
    const TChangeListRec rec{o.value(QStringLiteral("id")).toString(), o.value(QStringLiteral("parent")).toString(),
                             o.value(QStringLiteral("original")).toString()};
    changes.insert(ChangeKey(rec.ID, rec.ParentID), rec);
  }
  return true;
}

bool SaveBytesTo(const QString& path, const QByteArray& bytes, TCliOutput& out) {
  QString error;
  if (SaveWhole(path, bytes, error)) return true;
  out.Error(error);
  return false;
}

int Export(TCliOutput& out, const TCliArgs& a, const TCliOptions& o) {
  TParaDocument doc;
  if (!Load(doc, a.Args[1], out)) return ecUsage;
  const QString format = a.Value(QStringLiteral("format"));
  if (a.Has(QStringLiteral("changes")) && !ReadChanges(a.Value(QStringLiteral("changes")), doc.Changes, out)) return ecUsage;
  const TCaptionSource captions = CaptionsFrom(Classes(a));
  QByteArray bytes;
  QString name;
  if (format == QLatin1String("full")) {
    CheckAllMandatoryNodes(doc.Doc());
    bytes = doc.Bytes();
    const pugi::xml_node device = doc.Doc().select_node("//device[@name]").node();
    name = FullExportName(QString::fromUtf8(device.attribute("name").value()), QString(), QString(), QDate::currentDate());
  } else if (format == QLatin1String("changes")) {
    bytes = ChangeExport(doc, doc.Changes);
    if (bytes.isEmpty()) {
      out.Error(TTr::tr("Keine Änderungen"));
      return ecUsage;
    }
    name = ChangeExportName(QDateTime::currentDateTime());
  } else {
    QStringList modules;
    for (const QString& m : ModuleEntries(doc, captions)) modules << m.section(QLatin1Char('='), 0, 0);
    bytes = CsvExport(doc, LevelOf(a, o), captions, modules);
    name = QStringLiteral("para.csv");
  }
  QString target = a.Value(QStringLiteral("out"));
  if (target.isEmpty() || QFileInfo(target).isDir()) target = QDir(target.isEmpty() ? QStringLiteral(".") : target).filePath(name);
  if (!SaveBytesTo(target, bytes, out)) return ecUsage;
  out.Result().insert(QStringLiteral("file"), target);
  out.Line(target);
  return ecDone;
}

int Mandatory(TCliOutput& out, const TCliArgs& a) {
  TParaDocument doc;
  if (!Load(doc, a.Args[1], out)) return ecUsage;
  std::vector<std::pair<pugi::xml_node, QString>> before;
  for (const pugi::xpath_node& x : doc.Doc().select_nodes("//datapoint"))
    before.emplace_back(x.node(), GetNodeValue(x.node(), ".//rec"));
  CheckAllMandatoryNodes(doc.Doc());
  QJsonArray changed;
  for (const auto& [n, old] : before) {
    const QString now = GetNodeValue(n, ".//rec");
    if (now == old) continue;
    const QString id = QString::fromUtf8(n.attribute("id").value());
    changed.append(QJsonObject{{QStringLiteral("id"), IdJson(id)},
                               {QStringLiteral("from"), Typed(TGridRowTyp::grtDatapoint, old)},
                               {QStringLiteral("to"), Typed(TGridRowTyp::grtDatapoint, now)}});
    out.Line(QStringLiteral("%1: %2 -> %3").arg(id, old, now));
  }
  out.Result().insert(QStringLiteral("changed"), changed);
  out.Result().insert(QStringLiteral("saved"), QJsonValue(QJsonValue::Null));
  if (a.Has(QStringLiteral("out"))) {
    return SaveTo(out, doc, a.Value(QStringLiteral("out")));
  }
  return ecDone;
}

// para icd show ICD | para icd apply ICD FILE [--out FILE] | para icd rename NAME ICD
int Icd(TCliOutput& out, const TCliArgs& a) {
  const QString op = a.Args.value(1);
  QString error;
  TIcdInfo info;
  if (op == QLatin1String("rename")) {
    if (!RenameIcd(a.Args.value(3), a.Args.value(2), error)) {
      out.Error(error);
      return ecUsage;
    }
    out.Line(QStringLiteral("%1: %2").arg(a.Args.value(3), a.Args.value(2)));
    out.Result().insert(QStringLiteral("file"), a.Args.value(3));
    out.Result().insert(QStringLiteral("name"), a.Args.value(2));
    return ecDone;
  }
  if (!ReadIcd(a.Args.value(2), info, error)) {
    out.Error(TTr::tr("Ungülige ICD Datei ") + error);
    return ecUsage;
  }
  if (op == QLatin1String("show")) {
    const QJsonObject o{{QStringLiteral("name"), info.Name},          {QStringLiteral("version"), info.Version},
                        {QStringLiteral("revision"), info.Revision},  {QStringLiteral("id"), info.HeaderId},
                        {QStringLiteral("originalSclVersion"), info.SclVersion},
                        {QStringLiteral("originalSclRevision"), info.SclRevision}};
    for (auto it = o.begin(); it != o.end(); ++it) out.Line(QStringLiteral("%1	%2").arg(it.key(), it.value().toString()));
    out.Result().insert(QStringLiteral("icd"), o);
    return ecDone;
  }
  TParaDocument doc;
  if (!Load(doc, a.Args.value(3), out)) return ecUsage;
  const QStringList changed = ApplyIcdToSetup(doc, QFileInfo(a.Args.value(2)).fileName(), info);
  for (const QString& id : changed) out.Line(QStringLiteral("%1 = \"%2\"").arg(id, GetNodeValue(doc.FindFirst(id.toUInt()), ".//value")));
  QJsonArray changedIds;
  for (const QString& id : changed) changedIds.append(IdJson(id));
  out.Result().insert(QStringLiteral("changed"), changedIds);
  const QString target = a.Value(QStringLiteral("out")).isEmpty() ? a.Args.value(3) : a.Value(QStringLiteral("out"));
  return SaveTo(out, doc, target);
}

QByteArray ReadFile(const QString& path, TCliOutput& out, bool& ok) {
  QFile f(path);
  ok = f.open(QIODevice::ReadOnly);
  if (!ok) out.Error(QStringLiteral("%1: %2").arg(path, f.errorString()));
  return ok ? f.readAll() : QByteArray();
}

// para diff DEVICE IMPORT: the change dialog's lines.
// The device set (argument 1) and its comparison with the import file (argument 2).
bool LoadAndCompare(TCliOutput& out, const TCliArgs& a, TParaDocument& device, TImportComparison& c) {
  if (!Load(device, a.Args[1], out)) return false;
  bool ok = false;
  const QByteArray bytes = ReadFile(a.Args[2], out, ok);
  if (!ok) return false;
  c = CompareImport(device, bytes, CaptionsFrom(Classes(a)));
  if (c.Error.isEmpty()) return true;
  out.Error(c.Error);
  return false;
}

// One item of a comparison: the device's value and the file's, typed by the item's kind.
QJsonObject CompareJson(const TCompareRec& r, const TCaptionSource& captions) {
  const TGridRowTyp kind = KindOf(r.Item, captions);
  return QJsonObject{{QStringLiteral("key"), r.Key},
                     {QStringLiteral("id"), IdJson(r.ID)},
                     {QStringLiteral("parent"), IdJson(QString::fromUtf8(r.Item.parent().attribute("id").value()))},
                     {QStringLiteral("caption"), r.NodeName},
                     {QStringLiteral("module"), r.Module},
                     {QStringLiteral("kind"), KindName(kind)},
                     {QStringLiteral("device"), Typed(kind, r.OriVal)},
                     {QStringLiteral("file"), Typed(kind, r.ImportVal)},
                     {QStringLiteral("line"), r.Line()}};
}

int Diff(TCliOutput& out, const TCliArgs& a) {
  TParaDocument device;
  TImportComparison c;
  if (!LoadAndCompare(out, a, device, c)) return ecUsage;
  QJsonArray list;
  const TCaptionSource captions = CaptionsFrom(Classes(a));
  for (const TCompareRec& r : c.Candidates) {
    QJsonObject o = CompareJson(r, captions);
    o.insert(QStringLiteral("default"), Typed(KindOf(r.Item, captions), r.Default));
    o.insert(QStringLiteral("valid"), r.Valid);
    o.insert(QStringLiteral("service"), !r.Tickable());
    list.append(o);
    out.Line(QStringLiteral("%1\t%2").arg(r.Key, r.Line()));
  }
  if (c.Candidates.isEmpty()) out.Line(TTr::tr("Keine geänderten Daten gefunden"));
  out.Result().insert(QStringLiteral("changes"), list);
  out.Result().insert(QStringLiteral("invalid"), QJsonArray::fromStringList(c.InvalidImportList));
  for (const QString& l : c.InvalidImportList) out.Note(l);
  return ecDone;
}

// para import DEVICE IMPORT (--all | --tick KEY...) [--service] --out FILE
int Import(TCliOutput& out, const TCliArgs& a) {
  TParaDocument device;
  TImportComparison c;
  if (!LoadAndCompare(out, a, device, c)) return ecUsage;
  QStringList ticked;
  const bool service = a.Has(QStringLiteral("service"));
  // --tick KEY[,KEY] and further keys after it as arguments.
  const QStringList wanted = a.Value(QStringLiteral("tick")).split(QLatin1Char(','), Qt::SkipEmptyParts) + a.Args.mid(3);
  for (const TCompareRec& r : c.Candidates)
    if ((a.Has(QStringLiteral("all")) || wanted.contains(r.Key)) && (r.Tickable() || service)) ticked << r.Key;
  for (const QString& k : wanted)
    if (!ticked.contains(k)) ticked << k;  // unknown keys are reported by the apply
  const QStringList log = ApplyImport(device, c, ticked);
  for (const QString& l : log) out.Line(l);
  out.Result().insert(QStringLiteral("log"), QJsonArray::fromStringList(log));
  return SaveTo(out, device, a.Value(QStringLiteral("out")));
}

int Reset(TCliOutput& out, const TCliArgs& a) {
  TParaDocument doc;
  if (!Load(doc, a.Args[1], out)) return ecUsage;
  const int changed = ResetToDefaults(doc, {CNetworkModuleId});
  out.Line(CountText(changed, TTr::tr("1 Wert auf Standard gesetzt"), TTr::tr("%1 Werte auf Standard gesetzt")));
  out.Result().insert(QStringLiteral("reset"), changed);
  return SaveTo(out, doc, a.Value(QStringLiteral("out")));
}

int Transformer(TCliOutput& out, const TCliArgs& a) {
  TParaDocument doc;
  if (!Load(doc, a.Args[1], out)) return ecUsage;
  const TWandlerRec w = ReadWandler(doc);
  const std::pair<const char*, float> fields[] = {
      {"WLFU", w.WLFU},       {"WFU1", w.WFU1},     {"WFU2", w.WFU2},
      {"WFU3", w.WFU3},       {"WFU4", w.WFU4},     {"WLFI", w.WLFI},
      {"WFI1", w.WFI1},       {"WFI2", w.WFI2},     {"WFI3", w.WFI3},
      {"WFI4", w.WFI4},       {"SekNennSpannung", w.SekNennSpannung},
      {"NormLLSp", w.NormLLSp}, {"NennSpannungLL", w.NennSpannungLL}};
  for (const auto& [name, v] : fields) out.Line(QStringLiteral("%1\t%2").arg(QLatin1String(name), FormatFloat5(double(v))));
  // The device's German field names mean nothing to a script: English names,
  // the four channels of each side as one array.
  const auto four = [](float a, float b, float c, float d) { return QJsonArray{double(a), double(b), double(c), double(d)}; };
  static const char* const forms[] = {"fourWireThreePhase", "fourWireSinglePhase", "threeWire"};
  const QJsonObject o{{QStringLiteral("voltageRatio"), double(w.WLFU)},
                      {QStringLiteral("voltageFactors"), four(w.WFU1, w.WFU2, w.WFU3, w.WFU4)},
                      {QStringLiteral("currentRatio"), double(w.WLFI)},
                      {QStringLiteral("currentFactors"), four(w.WFI1, w.WFI2, w.WFI3, w.WFI4)},
                      {QStringLiteral("secondaryNominalVoltage"), double(w.SekNennSpannung)},
                      {QStringLiteral("normLineVoltage"), double(w.NormLLSp)},
                      {QStringLiteral("nominalLineVoltage"), double(w.NennSpannungLL)},
                      {QStringLiteral("networkForm"), QLatin1String(forms[qBound(0, int(w.Netzform), 2)])}};
  out.Result().insert(QStringLiteral("transformer"), o);
  return ecDone;
}

// The device's set as it is now, read from the device; -1 when it is here,
// otherwise the exit code.
int ReadDeviceSet(TCliSession& s, TParaDocument& device, QByteArray& bytes, const QString& what) {
  TCliOutput& out = s.Out();
  TComUnit& u = s.Unit();
  QString got;
  const int since = s.RefusalCount();
  u.FOnNewXMLFile = [&](QObject*, const QString& f, int32_t) { got = f; };
  s.Request(ccci::TCcci::SETUP_RD_ALL, [&] { u.SendCommand(ccci::TCcci::SETUP_RD_ALL); });
  u.FOnNewXMLFile = nullptr;
  if (got.isEmpty()) return s.Fail(since, what);
  bool ok = false;
  bytes = ReadFile(got, out, ok);
  return ok && Load(device, got, out) ? -1 : int(ecUsage);
}

// One change of a send. "included": its module is part of the upload;
// "sent": it went to the device (never in a dry run or a refused send).
QJsonObject ChangeJson(const TPendingChange& c, TGridRowTyp kind, bool wentOut) {
  return QJsonObject{{QStringLiteral("key"), c.Key},
                     {QStringLiteral("id"), IdJson(c.ID)},
                     {QStringLiteral("parent"), IdJson(c.ParentID)},
                     {QStringLiteral("caption"), c.Caption},
                     {QStringLiteral("module"), c.Module},
                     {QStringLiteral("kind"), KindName(kind)},
                     {QStringLiteral("device"), Typed(kind, c.OriVal)},
                     {QStringLiteral("new"), Typed(kind, c.NewVal)},
                     {QStringLiteral("texts"), QJsonObject{{QStringLiteral("device"), c.OriVal}, {QStringLiteral("new"), c.NewVal}}},
                     {QStringLiteral("included"), c.Sent},
                     {QStringLiteral("sent"), c.Sent && wentOut}};
}

// The module choice ("caption=1" / "caption=0") as named switches.
QJsonArray ModulesJson(const QStringList& modules) {
  QJsonArray list;
  for (const QString& m : modules)
    list.append(QJsonObject{{QStringLiteral("name"), m.section(QLatin1Char('='), 0, -2)},
                            {QStringLiteral("included"), m.section(QLatin1Char('='), -1) != QLatin1String("0")}});
  return list;
}

// Sends `doc` with the module choice `modules`: the device's set is read,
// what changes is listed, the device's set is kept in its data folder, and
// only then the pruned copy goes out. With `dryRun` nothing is kept or sent.
int SendSet(TCliSession& s, TParaDocument& doc, const QStringList& modules, const TCaptionSource& captions, bool dryRun) {
  TCliOutput& out = s.Out();
  TComUnit& u = s.Unit();
  TParaDocument device;
  QByteArray deviceBytes;
  if (const int failed = ReadDeviceSet(s, device, deviceBytes, QStringLiteral("para push")); failed >= 0) return failed;
  const QList<TPendingChange> changes = DiffSets(device, doc, modules, captions);
  QList<TGridRowTyp> kinds;
  int sent = 0;
  for (const TPendingChange& c : changes) {
    kinds << KindOf(doc.Find(c.ID.toUInt(), c.ParentID.toUInt()), captions);
    sent += c.Sent ? 1 : 0;
    out.Line(QStringLiteral("%1 %2@%3 %4: %5 -> %6%7")
                 .arg(c.Sent ? TTr::tr("Senden") : TTr::tr("Nicht gesendet"), c.ID, c.ParentID, c.Caption, c.OriVal,
                      c.NewVal, c.Module.isEmpty() ? QString() : QStringLiteral(" [%1]").arg(c.Module)));
  }
  if (changes.isEmpty()) out.Line(TTr::tr("Keine geänderten Werte"));
  // Until the device has taken the set, nothing counts as sent.
  auto report = [&](bool wentOut) {
    QJsonArray list;
    for (int i = 0; i < changes.size(); ++i) list.append(ChangeJson(changes[i], kinds[i], wentOut));
    out.Result().insert(QStringLiteral("changes"), list);
    out.Result().insert(QStringLiteral("sent"), wentOut);
  };
  report(false);
  out.Result().insert(QStringLiteral("modules"), ModulesJson(modules));
  out.Result().insert(QStringLiteral("dryRun"), dryRun);
  // A hand-edited file is not checked by anyone on its way here: every value
  // that would go out must keep its row's rules, or the set stays here.
  QJsonArray refused;
  QStringList named;
  for (const TPendingChange& c : changes) {
    if (!c.Sent) continue;
    const pugi::xml_node n = doc.Find(c.ID.toUInt(), c.ParentID.toUInt());
    TGridRow row;
    if (!n || !GetGridRow(std::numeric_limits<int>::max(), c.ParentID, n, row, captions, doc.Changes)) continue;
    QString allowed;
    if (KeepsRules(row, c.NewVal, &allowed)) continue;
    refused.append(QJsonObject{{QStringLiteral("id"), IdJson(c.ID)},
                               {QStringLiteral("parent"), IdJson(c.ParentID)},
                               {QStringLiteral("caption"), c.Caption},
                               {QStringLiteral("value"), Typed(row.RowTyp, c.NewVal)},
                               {QStringLiteral("texts"), QJsonObject{{QStringLiteral("value"), c.NewVal}}},
                               {QStringLiteral("allowed"), allowed}});
    named << QStringLiteral("%1@%2 (%3) = \"%4\", erlaubt: %5").arg(c.ID, c.ParentID, c.Caption, c.NewVal, allowed);
  }
  if (!refused.isEmpty()) {
    out.Result().insert(QStringLiteral("refused"), refused);
    out.Error(TTr::tr("Nichts gesendet, unzulässige Werte: %1").arg(named.join(QStringLiteral("; "))));
    return ecCorrected;
  }
  if (dryRun) {
    out.Line(TTr::tr("Probelauf: nichts gesendet"));
    return ecDone;
  }
  QString error;
  const QString backup = SaveSetBackup(u.FDatadir, deviceBytes, QDateTime::currentDateTime(), error, CParaBackupsKept);
  if (backup.isEmpty()) {
    out.Error(error + TTr::tr(" - nichts gesendet"));
    return ecUsage;
  }
  out.Result().insert(QStringLiteral("backup"), backup);
  out.Note(TTr::tr("Sicherung der Geräteparametrierung: %1").arg(backup));
  // Modules without visible items are not sent either (their flag is 0 already).
  const QString temp = TempParaFileName(u.FTmpDir + QStringLiteral("setup.xml"), u.FSN);
  if (!SaveBytesTo(temp, PrunedForSending(doc, modules, captions), out)) return ecUsage;
  u.WriteLog(QStringLiteral("SaveTo=%1").arg(temp));
  int result = -1;
  u.FSendParaDone = [&](QObject*, bool ok) { result = ok ? 1 : 0; };
  const int since = s.RefusalCount();
  u.SendCommandFile(ccci::TCcci::SETUP_WR, temp);
  u.WriteLog(QStringLiteral("SendTo=%1").arg(temp));
  s.WaitFor([&] { return result >= 0 || s.ConnectionLost(); });
  u.FSendParaDone = nullptr;
  u.WriteLog(QStringLiteral("Para: Upload Done - succ %1").arg(result == 1 ? QStringLiteral("True") : QStringLiteral("False")));
  if (result != 1) {
    out.Error(TTr::tr("ACHTUNG: Parametrierung nicht erfolgreich!") +
              (u.FLastNakCode ? QStringLiteral(" (NAK %1 %2)").arg(u.FLastNakCode).arg(u.FLastNakText) : QString()));
    return result == 0 ? int(ecRefused) : s.Fail(since, QStringLiteral("para push"));
  }
  report(true);
  // Only what went out is reported as transferred.
  if (sent == changes.size())
    out.Line(TTr::tr("Übertragung abgeschlossen"));
  else
    out.Line(CountText(changes.size() - sent, TTr::tr("Teilweise übertragen: 1 geänderter Wert wurde nicht gesendet"),
                       TTr::tr("Teilweise übertragen: %1 geänderte Werte wurden nicht gesendet")));
  return ecDone;
}

// The module list of a send at `level`, with the modules named in --untick
// (by id or caption) left out.
QStringList ModulesFor(const TParaDocument& doc, int level, const QStringList& untick, const TCaptionSource& captions) {
  QStringList modules = WalkParaTree(doc.Sys(), level, captions).ModuleList;
  for (const QString& raw : untick) {
    const QString name = raw.trimmed();
    bool number = false;
    const uint32_t id = name.toUInt(&number);
    const QString caption = number ? captions.CaptionOf(id) : name;
    for (QString& m : modules)
      if (m.startsWith(caption + QLatin1Char('='))) m = caption + QStringLiteral("=0");
  }
  return modules;
}

// --untick names software modules of the set, by id or caption: a name that
// matches none would silently send the module it was meant to keep back.
TArgProblem UntickProblem(const TCliArgs& a) {
  const QStringList names = a.Value(QStringLiteral("untick")).split(QLatin1Char(','), Qt::SkipEmptyParts);
  if (names.isEmpty()) return TArgProblem::None();
  TParaDocument doc;
  QString error;
  if (!doc.LoadFile(a.Args[1], error)) return TArgProblem::Fact(error);
  const QStringList entries = ModuleEntries(doc, CaptionsFrom(Classes(a)));  // "id=caption"
  QStringList unknown;
  for (const QString& name : names) {
    const bool known = std::any_of(entries.cbegin(), entries.cend(), [&](const QString& e) {
      return e.section(QLatin1Char('='), 0, 0) == name.trimmed() || e.section(QLatin1Char('='), 1) == name.trimmed();
    });
    if (!known) unknown << name;
  }
  if (unknown.isEmpty()) return TArgProblem::None();
  QStringList valid;
  for (const QString& e : entries) valid << QStringLiteral("%1 (%2)").arg(e.section(QLatin1Char('='), 0, 0), e.section(QLatin1Char('='), 1));
  return TArgProblem::Usage(TEn::tr("--untick: no module %1; the set's modules: %2")
                                .arg(unknown.join(QStringLiteral(", ")), valid.isEmpty() ? QStringLiteral("none") : valid.join(QStringLiteral(", "))));
}

// para push FILE: the editor's send: mandatory rule, modules left out
// pruned from a copy, the copy written to the device.
int Push(TCliSession& s, const TCliArgs& a) {
  TCliOutput& out = s.Out();
  TParaDocument doc;
  if (!Load(doc, a.Args[1], out)) return ecUsage;
  const int level = LevelOf(a, s.Options());
  CheckAllMandatoryNodes(doc.Doc());
  const TCaptionSource captions = CaptionsFrom(Classes(a));
  const QStringList modules =
      ModulesFor(doc, level, a.Value(QStringLiteral("untick")).split(QLatin1Char(','), Qt::SkipEmptyParts), captions);
  return SendSet(s, doc, modules, captions, a.Has(QStringLiteral("dry-run")));
}

// para apply CHANGES.xml: the device's set, the change export imported into
// it, and the result sent back. As the change dialog starts: the network
// settings stay unless --network, service items need --service, and a value
// that would be replaced by its default needs --defaults.
int Apply(TCliSession& s, const TCliArgs& a) {
  TCliOutput& out = s.Out();
  bool ok = false;
  const QByteArray changes = ReadFile(a.Args[1], out, ok);
  if (!ok) return ecUsage;
  TParaDocument device;
  QByteArray deviceBytes;
  if (const int failed = ReadDeviceSet(s, device, deviceBytes, QStringLiteral("para apply")); failed >= 0) return failed;
  const TCaptionSource captions = CaptionsFrom(Classes(a));
  const TImportComparison c = CompareImport(device, changes, captions);
  if (!c.Error.isEmpty()) {
    out.Error(c.Error);
    return ecUsage;
  }
  out.Result().insert(QStringLiteral("dryRun"), a.Has(QStringLiteral("dry-run")));
  out.Result().insert(QStringLiteral("sent"), false);
  if (c.Candidates.isEmpty()) {
    out.Result().insert(QStringLiteral("applied"), QJsonArray());
    out.Result().insert(QStringLiteral("leftOut"), QJsonArray());
    out.Line(TTr::tr("Keine geänderten Daten gefunden"));
    return ecDone;
  }
  const QString network = captions.CaptionOf(CNetworkModuleId);
  QStringList keys;
  QJsonArray applied, leftOut;
  for (const TCompareRec& r : c.Candidates) {
    // A catalogue key: German in the document (scripts compare it), in the
    // chosen language on the line.
    const char* why = nullptr;
    // The device's own address lives in the network group as well as in the
    // network module: an export from another device must not bring either.
    const bool networkSetting = r.Module == network || IsDeviceNetworkItem(r.Item);
    if (networkSetting && !a.Has(QStringLiteral("network")))
      why = QT_TRANSLATE_NOOP("TTr", "Netzwerkeinstellungen, nur mit --network");
    else if (!r.Tickable() && !a.Has(QStringLiteral("service")))
      why = QT_TRANSLATE_NOOP("TTr", "Serviceparameter, nur mit --service");
    else if (!r.Valid && !a.Has(QStringLiteral("defaults")))
      why = QT_TRANSLATE_NOOP("TTr", "ungültiger Wert, Standardwert nur mit --defaults");
    if (!why) {
      keys << r.Key;
      QJsonObject o = CompareJson(r, captions);
      // What applying writes: the file's value, or the default for an invalid one.
      o.insert(QStringLiteral("value"), Typed(KindOf(r.Item, captions), r.NewVal));
      applied.append(o);
      out.Line(TTr::tr("Übernehmen: %1").arg(r.Line()));
    } else {
      // What the file holds, not what applying would write: the operator
      // has to find the value in the file.
      const QString line = QStringLiteral("%1: %2 [%3]").arg(r.NodeName, r.ImportVal, r.OriVal);
      QJsonObject o = CompareJson(r, captions);
      o.insert(QStringLiteral("value"), Typed(KindOf(r.Item, captions), r.ImportVal));
      o.insert(QStringLiteral("line"), line);
      o.insert(QStringLiteral("reason"), QString::fromUtf8(why));
      leftOut.append(o);
      out.Line(TTr::tr("Ausgelassen: %1 (%2)").arg(line, TTr::tr(why)));
    }
  }
  out.Result().insert(QStringLiteral("applied"), applied);
  out.Result().insert(QStringLiteral("leftOut"), leftOut);
  if (keys.isEmpty()) {
    out.Line(TTr::tr("Keine Werte zu übernehmen"));
    return ecDone;
  }
  ApplyImport(device, c, keys);
  const int level = qMax(1, s.Options().Visibility);
  CheckAllMandatoryNodes(device.Doc());
  const QStringList modules = ModulesFor(device, level, {}, captions);
  if (a.Has(QStringLiteral("dry-run"))) {
    out.Result().insert(QStringLiteral("dryRun"), true);
    out.Line(TTr::tr("Probelauf: nichts gesendet"));
    return ecDone;
  }
  return SendSet(s, device, modules, captions, false);
}

}  // namespace

TCliCommand ClockCommand() {
  TCliCommand c{QStringLiteral("clock"),
                QStringLiteral("clock [--set now|\"dd.mm.yyyy hh:nn:ss\"]"),
                {{{QStringLiteral("set")}, true}},
                [](const TCliArgs& a) {
                  if (!a.Args.isEmpty()) return Unexpected(a.Args[0]);
                  const QString v = a.Value(QStringLiteral("set"));
                  if (a.Has(QStringLiteral("set")) && v != QLatin1String("now") &&
                      !QDateTime::fromString(v, QStringLiteral("dd.MM.yyyy HH:mm:ss")).isValid())
                    return TArgProblem::Usage(TEn::tr("--set needs now or \"dd.mm.yyyy hh:nn:ss\""));
                  return TArgProblem::None();
                },
                [](TCliSession& s, const TCliArgs& a) {
                  TComUnit& u = s.Unit();
                  if (!a.Has(QStringLiteral("set"))) {
                    const QDateTime utc = QDateTime::fromSecsSinceEpoch(u.FConTime, Qt::UTC);
                    // The device's wall time with its offset: what its display shows, still comparable.
                    s.Out().Result().insert(QStringLiteral("deviceTime"), IsoDeviceTime({u.FConTime, 0}, u.FtmeSet));
                    s.Out().Line(utc.toString(Qt::ISODate));
                    return int(ecDone);
                  }
                  const QString v = a.Value(QStringLiteral("set"));
                  const QDateTime when = v == QLatin1String("now") ? QDateTime::currentDateTime()
                                                                   : QDateTime::fromString(v, QStringLiteral("dd.MM.yyyy HH:mm:ss"));
                  QJsonArray sent;
                  for (const TTimedStatement& st : ClockStatements(u.FRev.Major(), when)) {
                    if (st.DelayMs > 0) s.WaitFor([t = QDateTime::currentMSecsSinceEpoch() + st.DelayMs] {
                      return QDateTime::currentMSecsSinceEpoch() >= t;
                    });
                    QString output;
                    bool failed = false;
                    if (!s.Lua(st.Lua, output, failed) || failed) {
                      s.Out().Error(QStringLiteral("%1: %2").arg(st.Lua, output.trimmed()));
                      return int(ecRefused);
                    }
                    sent.append(st.Lua);
                    s.Out().Line(st.Lua);
                  }
                  s.Out().Result().insert(QStringLiteral("statements"), sent);
                  return int(ecDone);
                }};
  return c;
}

TCliCommand ParaCommand() {
  TCliCommand c{QStringLiteral("para"),
                QStringLiteral("para rows FILE [--level N] [--folder ID] | para set FILE ID[@PARENT]=TEXT... [--level N] "
                               "[--out FILE (else nothing is saved)] [--changes FILE] | para check FILE [--level N] | para mandatory FILE [--out FILE] | "
                               "para export FILE --format full|changes|csv [--changes FILE] [--out PATH] | "
                               "para icd show ICD | para icd apply ICD FILE [--out FILE] | para icd rename NAME ICD | "
                               "para diff DEVICE IMPORT | para import DEVICE IMPORT (--all | --tick KEY...) [--service] --out FILE | "
                               "para reset FILE --out FILE | para transformer FILE | para push FILE [--level N] [--untick MODULE,...] [--dry-run] | "
                               "para apply CHANGES.xml [--network] [--service] [--defaults] [--dry-run]"),
                {{{QStringLiteral("level")}, true},
                 {{QStringLiteral("folder")}, true},
                 {{QStringLiteral("out")}, true},
                 {{QStringLiteral("changes")}, true},
                 {{QStringLiteral("format")}, true},
                 {{QStringLiteral("all")}, false},
                 {{QStringLiteral("tick")}, true},
                 {{QStringLiteral("service")}, false},
                 {{QStringLiteral("untick")}, true},
                 {{QStringLiteral("dry-run")}, false},
                 {{QStringLiteral("network")}, false},
                 {{QStringLiteral("defaults")}, false},
                 {{QStringLiteral("lang")}, true}},
                [](const TCliArgs& a) {
                  if (a.Args.isEmpty()) return Missing(TEn::tr("rows, set or check"));
                  const QString op = a.Args[0];
                  static const QStringList ops{QStringLiteral("rows"), QStringLiteral("set"), QStringLiteral("check"),
                                               QStringLiteral("mandatory"), QStringLiteral("export"), QStringLiteral("icd"),
                                               QStringLiteral("diff"), QStringLiteral("import"), QStringLiteral("reset"),
                                               QStringLiteral("transformer"), QStringLiteral("push"), QStringLiteral("apply")};
                  if (!ops.contains(op)) return TArgProblem::Usage(TEn::tr("unknown operation '%1'").arg(op));
                  if (op == QLatin1String("icd")) {
                    const QString sub = a.Args.value(1);
                    const int need = sub == QLatin1String("show") ? 3 : sub == QLatin1String("apply") || sub == QLatin1String("rename") ? 4 : 0;
                    if (need == 0) return TArgProblem::Usage(TEn::tr("icd needs show, apply or rename"));
                    if (a.Args.size() < need) return Missing(sub == QLatin1String("rename") ? QStringLiteral("NAME ICD") : QStringLiteral("ICD FILE"));
                    if (a.Args.size() > need) return Unexpected(a.Args[need]);
                    return TArgProblem::None();
                  }
                  if (a.Args.size() < 2) return Missing(TEn::tr("FILE"));
                  if (op == QLatin1String("export")) {
                    static const QStringList formats{QStringLiteral("full"), QStringLiteral("changes"), QStringLiteral("csv")};
                    if (!formats.contains(a.Value(QStringLiteral("format"))))
                      return TArgProblem::Usage(TEn::tr("--format needs full, changes or csv"));
                  }
                  if (!QFile::exists(a.Args[1])) return TArgProblem::Fact(TTr::tr("%1: Datei fehlt").arg(a.Args[1]));
                  if (a.Has(QStringLiteral("level"))) {
                    bool ok = false;
                    a.Value(QStringLiteral("level")).toInt(&ok);
                    if (!ok) return TArgProblem::Usage(TEn::tr("--level needs a whole number"));
                  }
                  if (op == QLatin1String("diff") || op == QLatin1String("import")) {
                    if (a.Args.size() < 3) return Missing(TEn::tr("IMPORT"));
                    if (!QFile::exists(a.Args[2])) return TArgProblem::Fact(TTr::tr("%1: Datei fehlt").arg(a.Args[2]));
                    if (a.Args.size() > 3 && !(op == QLatin1String("import") && a.Has(QStringLiteral("tick"))))
                      return Unexpected(a.Args[3]);
                    if (op == QLatin1String("import") &&
                        (a.Has(QStringLiteral("all")) == a.Has(QStringLiteral("tick")) || !a.Has(QStringLiteral("out"))))
                      return TArgProblem::Usage(TEn::tr("import needs --all or --tick, and --out"));
                    return TArgProblem::None();
                  }
                  if (op == QLatin1String("reset") && !a.Has(QStringLiteral("out")))
                    return TArgProblem::Usage(TEn::tr("reset needs --out"));
                  if (op == QLatin1String("set")) {
                    if (a.Args.size() < 3) return Missing(TEn::tr("ID=TEXT"));
                    for (const QString& in : a.Args.mid(2)) {
                      const QString target = in.section(QLatin1Char('='), 0, 0);
                      bool idOk = false, parentOk = true;
                      target.section(QLatin1Char('@'), 0, 0).toUInt(&idOk);
                      if (target.contains(QLatin1Char('@'))) target.section(QLatin1Char('@'), 1).toUInt(&parentOk);
                      if (!in.contains(QLatin1Char('=')) || !idOk || !parentOk)
                        return TArgProblem::Usage(TEn::tr("'%1' is not ID[@PARENT]=TEXT").arg(in));
                    }
                  } else if (a.Args.size() > 2) {
                    return Unexpected(a.Args[2]);
                  }
                  if (op == QLatin1String("push")) return UntickProblem(a);
                  return TArgProblem::None();
                },
                [](TCliSession& s, const TCliArgs& a) {
                  return a.Args[0] == QLatin1String("apply") ? Apply(s, a) : Push(s, a);
                }};
  c.Online = [](const TCliArgs& a) {
    return a.Args.value(0) == QLatin1String("push") || a.Args.value(0) == QLatin1String("apply");
  };
  c.RunOffline = [](TCliOutput& out, const TCliArgs& a, const TCliOptions& o) {
    const QString op = a.Args[0];
    if (op == QLatin1String("rows")) return Rows(out, a, o);
    if (op == QLatin1String("check")) return Check(out, a, o);
    if (op == QLatin1String("mandatory")) return Mandatory(out, a);
    if (op == QLatin1String("export")) return Export(out, a, o);
    if (op == QLatin1String("icd")) return Icd(out, a);
    if (op == QLatin1String("diff")) return Diff(out, a);
    if (op == QLatin1String("import")) return Import(out, a);
    if (op == QLatin1String("reset")) return Reset(out, a);
    if (op == QLatin1String("transformer")) return Transformer(out, a);
    return Set(out, a, o);
  };
  return c;
}

}  // namespace vanta::cli
