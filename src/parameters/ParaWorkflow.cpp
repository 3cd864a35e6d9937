#include "ParaWorkflow.h"

#include <QDir>
#include <QFileInfo>
#include <QTimeZone>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <sstream>

#include "Constants.h"
#include "GridRules.h"
#include "SaveWhole.h"
#include "Language.h"

namespace vanta {

namespace {

bool IsItem(const pugi::xml_node& n) {
  return std::strcmp(n.name(), "parameter") == 0 || std::strcmp(n.name(), "datapoint") == 0;  // untranslated
}

QString DirectValue(const pugi::xml_node& item) {
  const pugi::xml_node v = item.child(std::strcmp(item.name(), "datapoint") == 0 ? "rec" : "value");
  return v && v.first_child() ? QString::fromUtf8(v.first_child().value()) : CEmpty;
}

int VisibilityOf(const pugi::xml_node& item) { return GetNodeValue(item, ".//visibility").trimmed().toInt(); }

// Walks every element below `n` with a stack of the enclosing ids and calls
// `f` for each item with visibility below 3 and its match key.
template <typename F>
void WalkItems(const pugi::xml_node& n, QStringList& stack, const QString& module, F&& f) {
  for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling()) {
    if (c.type() != pugi::node_element) continue;
    const pugi::xml_attribute id = c.attribute("id");
    if (id) stack.push_back(QString::fromUtf8(id.value()));
    QString inModule = module;
    if (std::strcmp(c.name(), "swmodule") == 0) inModule = QString::fromUtf8(id.value());
    if (id && IsItem(c) && VisibilityOf(c) < 3) {
      QString key;
      for (qsizetype i = qMax<qsizetype>(0, stack.size() - 3); i < stack.size(); ++i) key += stack[i];
      f(c, key, inModule);
    }
    WalkItems(c, stack, inModule, f);
    if (id) stack.pop_back();
  }
}

bool IsFloatType(const pugi::xml_node& item) {
  return GetNodeValue(item, ".//type").trimmed().compare(QLatin1String("float"), Qt::CaseInsensitive) == 0;
}

// Whether an imported value lies in the item's range: the limits for
// numbers, the length for texts. The grid's typing rules (which characters
// can be typed) are no range: a file may hold what the device stores.
bool InRange(const TGridRow& row, const QString& value) {
  switch (row.RowTyp) {
    case TGridRowTyp::grtText:
    case TGridRowTyp::grtsecret:
      return row.RowMax.toInt() < 0 || value.size() <= row.RowMax.toInt();
    case TGridRowTyp::grtFloat: {
      const double v = MyStrToFloatDef(value, std::nan(""));
      return std::isfinite(v) && v >= row.RowMin.toDouble() - 1e-9 && v <= row.RowMax.toDouble() + 1e-9;
    }
    case TGridRowTyp::grtInteger:
    case TGridRowTyp::grtBoolean:
    case TGridRowTyp::grtDatapoint: {
      bool ok = false;
      const qlonglong v = value.trimmed().toLongLong(&ok);
      return ok && v >= row.RowMin.toLongLong() && v <= row.RowMax.toLongLong();
    }
    case TGridRowTyp::grtUint32:
    case TGridRowTyp::grtmeasId:
    case TGridRowTyp::grtexitmeasId: {
      bool ok = false;
      const QString t = value.trimmed();
      const qulonglong v = t.toULongLong(&ok);
      return ok && !t.startsWith(QLatin1Char('-')) && v >= row.RowMin.toULongLong() && v <= row.RowMax.toULongLong();
    }
    case TGridRowTyp::grtipaddress:
      return value.compare(QLatin1String("non"), Qt::CaseInsensitive) != 0;
    case TGridRowTyp::grtProperty:
      return true;
  }
  return true;
}

}  // namespace

QString TCompareRec::Line() const {
  if (Valid) return QStringLiteral("%1: %2 [%3]").arg(NodeName, ImportVal, OriVal);
  return QStringLiteral("(%1) - %2: %3  [%4]").arg(QStringLiteral("Standard"), NodeName, Default, OriVal);
}

TImportComparison CompareImport(const TParaDocument& device, const QByteArray& importBytes, const TCaptionSource& captions) {
  TImportComparison out;
  TParaDocument imported;
  if (!imported.LoadBytes(importBytes, out.Error, QStringLiteral("Importdatei"))) return out;
  QHash<QString, QString> values;
  QStringList stack;
  WalkItems(imported.Doc(), stack, QString(), [&](const pugi::xml_node& item, const QString& key, const QString&) {
    if (!values.contains(key)) values.insert(key, DirectValue(item));
  });
  stack.clear();
  const TChangeList none;
  WalkItems(device.Doc(), stack, QString(), [&](const pugi::xml_node& item, const QString& key, const QString& module) {
    if (!values.contains(key)) return;
    TCompareRec c;
    c.Key = key;
    c.Item = item;
    c.ID = QString::fromUtf8(item.attribute("id").value());
    c.NodeName = captions.CaptionOf(c.ID.toUInt());
    c.Module = module.isEmpty() ? QString() : captions.CaptionOf(module.toUInt());
    c.OriVal = DirectValue(item);
    c.ImportVal = values.value(key);
    c.Visibility = VisibilityOf(item);
    c.Default = GetNodeValue(item, ".//default");
    const bool datapoint = std::strcmp(item.name(), "datapoint") == 0;
    c.IsFloatVal = !datapoint && IsFloatType(item);
    if (c.IsFloatVal) {
      const double a = MyStrToFloatDef(c.OriVal, std::nan("")), b = MyStrToFloatDef(c.ImportVal, std::nan(""));
      if (!std::isnan(a) && !std::isnan(b)) {
        if (std::fabs(a - b) < 1e-5) return;
        c.OriVal = FormatFloat5(a);
        c.ImportVal = FormatFloat5(b);
      }
    }
    if (c.ImportVal == c.OriVal) return;
    TGridRow row;
    GetGridRow(3, QString::fromUtf8(item.parent().attribute("id").value()), item, row, captions, none);
    if (datapoint) {
      c.Valid = c.ImportVal == QLatin1String("0") || c.ImportVal == QLatin1String("1");
    } else if (row.IsList) {
      c.Valid = false;
      for (const QString& e : row.List)
        if (e.section(QLatin1Char('='), 0, 0) == (c.ImportVal == CEmpty ? CEmpty : c.ImportVal)) c.Valid = true;
    } else {
      c.Valid = InRange(row, c.ImportVal == CEmpty ? QString() : c.ImportVal);
    }
    c.NewVal = c.Valid ? c.ImportVal : c.Default;
    if (!c.Valid && !datapoint)
      out.InvalidImportList << QStringLiteral("%1 = %2 [%3 - min: %4 / max: %5]")
                                   .arg(c.NodeName, c.ImportVal, c.Default, row.RowMin.toString(), row.RowMax.toString());
    out.Candidates << c;
  });
  return out;
}

QStringList ApplyImport(TParaDocument& device, const TImportComparison& comparison, const QStringList& tickedKeys) {
  QStringList log;
  for (const TCompareRec& c : comparison.Candidates) {
    if (!tickedKeys.contains(c.Key)) {
      log << QStringLiteral("No Import: Key %1 not checked!").arg(c.Key);
      continue;
    }
    pugi::xml_node v = c.Item.child(std::strcmp(c.Item.name(), "datapoint") == 0 ? "rec" : "value");
    if (!v) {
      log << QStringLiteral("Import Error Key %1 Not found!").arg(c.Key);
      continue;
    }
    const QString parent = QString::fromUtf8(c.Item.parent().attribute("id").value());
    const QString key = ChangeKey(c.ID, parent);
    if (!device.Changes.contains(key)) device.Changes.insert(key, {c.ID, parent, c.OriVal == CEmpty ? QString() : c.OriVal});
    const QByteArray text = (c.NewVal == CEmpty ? QString() : c.NewVal).toUtf8();
    if (v.first_child()) {
      v.first_child().set_value(text.constData());
      log << QStringLiteral("Import Update Key %1 - %2").arg(c.Key, c.Line());
    } else {
      v.append_child(pugi::node_pcdata).set_value(text.constData());
      log << QStringLiteral("Import New Entry for Key %1").arg(c.Key);
    }
  }
  for (const QStringList& unknown : {tickedKeys}) {
    for (const QString& k : unknown) {
      bool known = false;
      for (const TCompareRec& c : comparison.Candidates) known = known || c.Key == k;
      if (!known) log << QStringLiteral("Import Error Key %1 Not found!").arg(k);
    }
  }
  return log;
}

namespace {

// Every parameter and datapoint below `folder` to its default, through
// groups, modules and nested datapoints; excluded modules are left alone.
int ResetFolder(const pugi::xml_node& folder, TChangeList& changes, const QList<uint32_t>& excluded);

// The reset rule for one child `c` of `folder`.
int ResetOne(const pugi::xml_node& folder, const pugi::xml_node& c, TChangeList& changes, const QList<uint32_t>& excluded) {
  int changed = 0;
  if (c.type() != pugi::node_element) return 0;
  const QString name = QString::fromUtf8(c.name());
  if (name == QLatin1String("swmodule") && excluded.contains(c.attribute("id").as_uint())) return 0;
  const bool datapoint = name.compare(QLatin1String("datapoint"), Qt::CaseInsensitive) == 0;
  if (datapoint || name.compare(QLatin1String("parameter"), Qt::CaseInsensitive) == 0) {  // untranslated
    pugi::xml_node value = c.child(datapoint ? "rec" : "value");
    const pugi::xml_node def = c.child("default");
    const QString defText = GetNodeValue(def);
    const QString current = GetNodeValue(value);
    // A missing default reads as the empty text, as the rule compares texts.
    if (value && defText.compare(current, Qt::CaseInsensitive) != 0) {
      const QString id = QString::fromUtf8(c.attribute("id").value());
      const QString parent = QString::fromUtf8(folder.attribute("id").value());
      const QString key = ChangeKey(id, parent);
      if (!changes.contains(key)) changes.insert(key, {id, parent, current});
      if (changes.value(key).OriVal.compare(defText, Qt::CaseInsensitive) == 0) changes.remove(key);
      const QByteArray bytes = defText.toUtf8();
      if (value.first_child())
        value.first_child().set_value(bytes.constData());
      else
        value.append_child(pugi::node_pcdata).set_value(bytes.constData());
      ++changed;
    }
  }
  if (name == QLatin1String("group") || name == QLatin1String("swmodule") || datapoint) changed += ResetFolder(c, changes, excluded);
  return changed;
}

int ResetFolder(const pugi::xml_node& folder, TChangeList& changes, const QList<uint32_t>& excluded) {
  int changed = 0;
  for (pugi::xml_node c = folder.first_child(); c; c = c.next_sibling()) changed += ResetOne(folder, c, changes, excluded);
  return changed;
}

}  // namespace

int ResetToDefaults(TParaDocument& doc, const QList<uint32_t>& excludedModules,
                    const std::function<void(int done, int total)>& progress) {
  if (!progress) return ResetFolder(doc.Sys(), doc.Changes, excludedModules);
  // Folder by folder below "sys", so that a long reset can say how far it is.
  std::vector<pugi::xml_node> children;
  for (pugi::xml_node c = doc.Sys().first_child(); c; c = c.next_sibling()) children.push_back(c);
  int changed = 0, done = 0;
  const int total = int(children.size());
  for (const pugi::xml_node& c : children) {
    changed += ResetOne(doc.Sys(), c, doc.Changes, excludedModules);
    progress(++done, total);
  }
  return changed;
}

QString TempParaFileName(const QString& setupPath, uint32_t serial) {
  QString folder = QFileInfo(setupPath).path();
  if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
  return QStringLiteral("%1%2_TempPara.XML").arg(folder).arg(serial);
}

QByteArray PrunedForSending(const TParaDocument& doc, const QStringList& moduleList, const TCaptionSource& captions) {
  QStringList off;
  for (const QString& m : moduleList)
    if (m.endsWith(QLatin1String("=0"))) off << m.left(m.size() - 2);
  pugi::xml_document copy;
  copy.reset(doc.Doc());
  pugi::xml_node sys;
  // The same element in the copy: same path of child positions from the root.
  std::vector<int> path;
  for (pugi::xml_node n = doc.Sys(); n && n.parent(); n = n.parent()) {
    int i = 0;
    for (pugi::xml_node s = n.parent().first_child(); s != n; s = s.next_sibling()) ++i;
    path.insert(path.begin(), i);
  }
  sys = copy;
  for (int i : path) {
    pugi::xml_node c = sys.first_child();
    for (int k = 0; k < i; ++k) c = c.next_sibling();
    sys = c;
  }
  // Children of "sys" whose caption is switched off, and the software modules
  // (at any depth below "sys") the user left out.
  auto off_ = [&](const pugi::xml_node& n) {
    return n.type() == pugi::node_element && n.attribute("id") && off.contains(captions.CaptionOf(n.attribute("id").as_uint()));
  };
  std::vector<pugi::xml_node> drop;
  auto dropped = [&](pugi::xml_node n) {  // the node or one of its ancestors is already going
    for (; n; n = n.parent())
      if (std::find(drop.begin(), drop.end(), n) != drop.end()) return true;
    return false;
  };
  for (pugi::xml_node c = sys.first_child(); c; c = c.next_sibling())
    if (off_(c)) drop.push_back(c);
  for (const pugi::xpath_node& x : sys.select_nodes(".//swmodule"))
    if (off_(x.node()) && !dropped(x.node())) drop.push_back(x.node());
  for (auto it = drop.rbegin(); it != drop.rend(); ++it) it->parent().remove_child(*it);
  std::ostringstream out;
  copy.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
  const std::string s = out.str();
  return QByteArray(s.data(), qsizetype(s.size()));
}

namespace {

// The flags of a module list: caption -> switched off.
QStringList OffModules(const QStringList& moduleList) {
  QStringList off;
  for (const QString& m : moduleList)
    if (m.endsWith(QLatin1String("=0"))) off << m.left(m.size() - 2);
  return off;
}

}  // namespace

namespace {

// Every item of `doc` with its parent, the caption of the module or top
// folder it lies in and whether sending with `off` leaves it behind.
template <typename F>
void WalkForSending(const TParaDocument& doc, const QStringList& off, const TCaptionSource& captions, F&& f) {
  const pugi::xml_node sys = doc.Sys();
  std::function<void(const pugi::xml_node&, const QString&, bool)> walk = [&](const pugi::xml_node& n, const QString& module,
                                                                              bool dropped) {
    for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling()) {
      if (c.type() != pugi::node_element) continue;
      const bool folder = std::strcmp(c.name(), "group") == 0 || std::strcmp(c.name(), "swmodule") == 0;
      const QString caption = c.attribute("id") ? captions.CaptionOf(c.attribute("id").as_uint()) : QString();
      // As the pruning for sending: top folders and software modules by their caption.
      const bool unit = n == sys || std::strcmp(c.name(), "swmodule") == 0;
      const bool cDropped = dropped || (unit && off.contains(caption));
      const QString cModule = unit && folder ? caption : module;
      if (IsItem(c)) f(c, n, cModule, cDropped);
      if (folder || std::strcmp(c.name(), "datapoint") == 0) walk(c, cModule, cDropped);
    }
  };
  if (sys) walk(sys, QString(), false);
}

QString ValueText(const pugi::xml_node& item) {
  return GetNodeValue(item.child(std::strcmp(item.name(), "datapoint") == 0 ? "rec" : "value"));
}

}  // namespace

QList<TPendingChange> ChangePreview(const TParaDocument& doc, const QStringList& moduleList, const TCaptionSource& captions) {
  QList<TPendingChange> out;
  WalkForSending(doc, OffModules(moduleList), captions,
                 [&](const pugi::xml_node& c, const pugi::xml_node& parentNode, const QString& module, bool dropped) {
                   const QString id = QString::fromUtf8(c.attribute("id").value());
                   const QString parent = QString::fromUtf8(parentNode.attribute("id").value());
                   const auto it = doc.Changes.constFind(ChangeKey(id, parent));
                   if (it == doc.Changes.cend()) return;
                   out << TPendingChange{it.key(), id, parent, captions.CaptionOf(c.attribute("id").as_uint()), module,
                                         it->OriVal, ValueText(c), !dropped};
                 });
  return out;
}

QList<TPendingChange> DiffSets(const TParaDocument& device, const TParaDocument& next, const QStringList& moduleList,
                               const TCaptionSource& captions) {
  QList<TPendingChange> out;
  WalkForSending(next, OffModules(moduleList), captions,
                 [&](const pugi::xml_node& c, const pugi::xml_node& parentNode, const QString& module, bool dropped) {
                   const uint32_t idNum = c.attribute("id").as_uint();
                   const pugi::xml_node there = device.Find(idNum, parentNode.attribute("id").as_uint());
                   const QString now = ValueText(c);
                   const QString before = there ? ValueText(there) : QString();
                   if (there && now == before) return;
                   if (there && IsFloatType(c)) {
                     const double a = MyStrToFloatDef(before, std::nan("")), b = MyStrToFloatDef(now, std::nan(""));
                     if (!std::isnan(a) && !std::isnan(b) && std::fabs(a - b) < 1e-5) return;
                   }
                   const QString id = QString::fromUtf8(c.attribute("id").value());
                   const QString parent = QString::fromUtf8(parentNode.attribute("id").value());
                   out << TPendingChange{ChangeKey(id, parent), id, parent, captions.CaptionOf(idNum), module, before, now, !dropped};
                 });
  return out;
}

QString SaveSetBackup(const QString& folder, const QByteArray& bytes, const QDateTime& when, QString& error, int keep) {
  QDir dir(folder);
  if (folder.isEmpty() || !dir.mkpath(QStringLiteral("."))) {
    error = TTr::tr("Ordner für die Sicherung fehlt: %1").arg(folder);
    return {};
  }
  const QString stem = QStringLiteral("ParaBackup_") + when.toString(QStringLiteral("yyyyMMdd_HHmmss_zzz"));
  QString path = dir.filePath(stem + QStringLiteral(".xml"));
  for (int n = 2; QFileInfo::exists(path); ++n) path = dir.filePath(QStringLiteral("%1_%2.xml").arg(stem).arg(n));
  if (QString why; !SaveWhole(path, bytes, why)) {
    error = TTr::tr("Sicherung kann nicht geschrieben werden: %1").arg(why);
    return {};
  }
  // The names sort by time: the oldest go first.
  QStringList all = dir.entryList({QStringLiteral("ParaBackup_*.xml")}, QDir::Files, QDir::Name);
  while (all.size() > qMax(1, keep)) dir.remove(all.takeFirst());
  return path;
}

// ---- transformers ----------------------------------------------------------------------------

namespace {

struct TWandlerField {
  const char* Name;
  uint32_t Id;
  float TWandlerRec::*Field;
};

const TWandlerField CWandlerFields[] = {
    {"WLFU", 0x0E090000, &TWandlerRec::WLFU},     {"WLKFU1", 0x0E0B0000, &TWandlerRec::WLKFU1},
    {"WLKFU2", 0x0E0B0100, &TWandlerRec::WLKFU2}, {"WLKFU3", 0x0E0B0200, &TWandlerRec::WLKFU3},
    {"WLKFU4", 0x0E0B0300, &TWandlerRec::WLKFU4}, {"WLFI", 0x0E0A0000, &TWandlerRec::WLFI},
    {"WLKFI1", 0x0E0B0400, &TWandlerRec::WLKFI1}, {"WLKFI2", 0x0E0B0500, &TWandlerRec::WLKFI2},
    {"WLKFI3", 0x0E0B0600, &TWandlerRec::WLKFI3}, {"WLKFI4", 0x0E0B0700, &TWandlerRec::WLKFI4},
    {"SekNennSpannung", 0x0E0C0000, &TWandlerRec::SekNennSpannung},
    {"NormLLSp", 0x0D030000, &TWandlerRec::NormLLSp},
};

}  // namespace

TWandlerRec ReadWandler(const TParaDocument& doc) {
  TWandlerRec w;
  for (const TWandlerField& f : CWandlerFields) {
    const pugi::xml_node n = doc.FindFirst(f.Id);
    if (n) w.*f.Field = float(MyStrToFloatDef(GetNodeValue(n, ".//value"), 0.0));
  }
  if (const pugi::xml_node n = doc.FindFirst(TWandlerIds::Netzform))
    w.Netzform = TNetzForm(qBound(0, GetNodeValue(n, ".//value").trimmed().toInt(), 2));
  w.CalcOutputs();
  return w;
}

bool WriteWandler(TParaDocument& doc, TWandlerRec rec, const std::function<void(const QString&)>& log, QStringList* corrected) {
  // Only a side (voltage or current) the operator changed is scaled to its
  // largest channel factor again: the other keeps its stored fields exactly,
  // also when they are not scaled that way, so nobody's values get rewritten.
  const TWandlerRec stored = ReadWandler(doc);
  TWandlerRec scaled = rec;
  scaled.CalcInputs();
  struct TSide {
    const char* Common;
    const char* Relative;
    float TWandlerRec::*Fields[9];  // the common factor, the four relative ones, the four channel factors
  };
  static const TSide CSides[] = {
      {"WLFU", "WLKFU1-4",
       {&TWandlerRec::WLFU, &TWandlerRec::WLKFU1, &TWandlerRec::WLKFU2, &TWandlerRec::WLKFU3, &TWandlerRec::WLKFU4,
        &TWandlerRec::WFU1, &TWandlerRec::WFU2, &TWandlerRec::WFU3, &TWandlerRec::WFU4}},
      {"WLFI", "WLKFI1-4",
       {&TWandlerRec::WLFI, &TWandlerRec::WLKFI1, &TWandlerRec::WLKFI2, &TWandlerRec::WLKFI3, &TWandlerRec::WLKFI4,
        &TWandlerRec::WFI1, &TWandlerRec::WFI2, &TWandlerRec::WFI3, &TWandlerRec::WFI4}},
  };
  QStringList refused;
  for (const TSide& side : CSides) {
    bool touched = false, allZero = true;
    for (float TWandlerRec::*f : side.Fields) touched = touched || rec.*f != stored.*f;
    for (int i = 5; i < 9; ++i) allZero = allZero && rec.*side.Fields[i] == 0.0f;
    if (!touched) {
      for (int i = 0; i < 5; ++i) rec.*side.Fields[i] = stored.*side.Fields[i];
    } else if (allZero) {
      // Every channel at 0 leaves no factor to scale to; the device would get NaN.
      refused << (rec.*side.Fields[0] == 0.0f
                      ? TTr::tr("%1 = 0: der Wandlerfaktor darf nicht 0 sein").arg(QLatin1String(side.Common))
                      : TTr::tr("%1 = 0: mindestens ein Faktor muss ungleich 0 sein").arg(QLatin1String(side.Relative)));
    } else {
      for (int i = 0; i < 5; ++i) rec.*side.Fields[i] = scaled.*side.Fields[i];
    }
  }
  if (!refused.isEmpty()) {
    if (corrected) *corrected << refused;
    return false;
  }
  const TCaptionSource captions;
  // The twelve fields belong together (the relative factors are scaled to
  // the common one): all are checked first, and only a set that passes as a
  // whole goes into the document. A partly written set would be sent later.
  struct TPending {
    pugi::xml_node Node;
    QString Stored;
    TGridRow Row;
  };
  std::vector<TPending> pending;
  bool allAccepted = true;
  for (const TWandlerField& f : CWandlerFields) {
    const pugi::xml_node n = doc.FindFirst(f.Id);
    if (!n) continue;  // a device without this field
    const double v = double(rec.*f.Field);
    if (log) log(QString::asprintf("Checking %s[%u] with val %f", f.Name, f.Id, v));
    if (rec.*f.Field == stored.*f.Field) continue;  // what the document holds stays as it is written there
    TGridRow row;
    if (!GetGridRow(3, QString::fromUtf8(n.parent().attribute("id").value()), n, row, captions, doc.Changes)) continue;
    bool wasCorrected = false;
    const QString stored = CheckValue(row, FormatFloat5(v), {}, wasCorrected);
    if (wasCorrected) {
      if (corrected) *corrected << QStringLiteral("%1 = %2").arg(QLatin1String(f.Name), FormatFloat5(v));
      allAccepted = false;
      continue;
    }
    pending.push_back({n, stored, row});
  }
  if (!allAccepted) return false;
  for (const TPending& p : pending) WriteBackValue(p.Node, p.Stored, p.Row.Equal, p.Row.RowTyp, doc.Changes);
  return true;
}

bool IsWandlerId(uint32_t id) {
  for (const TWandlerField& f : CWandlerFields)
    if (f.Id == id) return true;
  return false;
}

float* WandlerField(TWandlerRec& rec, uint32_t id) {
  for (const TWandlerField& f : CWandlerFields)
    if (f.Id == id) return &(rec.*f.Field);
  return nullptr;
}

QList<TTimeZoneSettings> TimeZoneList(int year) {
  QList<TTimeZoneSettings> out;
  const QDateTime winter(QDate(year, 1, 15), QTime(12, 0), Qt::UTC), summer(QDate(year, 7, 15), QTime(12, 0), Qt::UTC);
  for (const QByteArray& id : QTimeZone::availableTimeZoneIds()) {
    const QTimeZone tz(id);
    if (!tz.isValid()) continue;
    TTimeZoneSettings z;
    z.Name = QString::fromLatin1(id);
    const int standard = tz.standardTimeOffset(winter);
    z.Bias = -standard / 60;
    // January or July, whichever half of the year has daylight saving time here.
    z.DaylightBias = -qMax(tz.daylightTimeOffset(winter), tz.daylightTimeOffset(summer)) / 60;
    const int h = qAbs(standard) / 3600, m = (qAbs(standard) % 3600) / 60;
    z.Display = QStringLiteral("(UTC%1%2:%3) %4")
                    .arg(standard < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                    .arg(h, 2, 10, QLatin1Char('0'))
                    .arg(m, 2, 10, QLatin1Char('0'))
                    .arg(z.Name);
    out << z;
  }
  std::sort(out.begin(), out.end(), [](const TTimeZoneSettings& a, const TTimeZoneSettings& b) {
    return a.Bias != b.Bias ? a.Bias > b.Bias : a.Name < b.Name;
  });
  return out;
}

QList<TTimedStatement> ClockStatements(int firmwareMajor, const QDateTime& local) {
  if (firmwareMajor < 2)
    return {{QStringLiteral("uti.setTime(\"%1\")").arg(local.toString(QStringLiteral("HH:mm:ss"))), 0},
            {QStringLiteral("uti.setDate(\"%1\")").arg(local.toString(QStringLiteral("dd.MM.yyyy"))), 5000}};
  return {{QStringLiteral("uti.setDateTime(\"%1\")").arg(local.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"))), 0}};
}

}  // namespace vanta
