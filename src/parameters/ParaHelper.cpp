#include "ParaHelper.h"

#include <QFile>
#include <cerrno>
#include <cstdlib>
#include <QLocale>
#include <cmath>
#include <cstdio>
#include <charconv>
#include <cctype>
#include <charconv>
#include <cstring>
#include <strings.h>
#include <limits>
#include <sstream>

#include "Constants.h"
#include "MessClass.h"
#include "SaveWhole.h"
#include "Language.h"

namespace vanta {

namespace {

QString Utf8(const char* s) { return QString::fromUtf8(s); }
QByteArray Utf8(const QString& s) { return s.toUtf8(); }

// Descendant paths are compiled once; every row asks several of them.
const pugi::xpath_query& Query(const char* path) {
  thread_local std::unordered_map<std::string, std::unique_ptr<pugi::xpath_query>> cache;
  auto& q = cache[path];
  if (!q) q = std::make_unique<pugi::xpath_query>(path);
  return *q;
}

// The first descendant element called `name`, in document order: what
// ".//name" selects, without the XPath machinery (every row asks several).
pugi::xml_node FirstDescendant(const pugi::xml_node& node, const char* name) {
  pugi::xml_node n = node.first_child();
  while (n) {
    if (n.type() == pugi::node_element && std::strcmp(n.name(), name) == 0) return n;
    if (n.first_child()) {
      n = n.first_child();
      continue;
    }
    while (n && !n.next_sibling() && n != node) n = n.parent();
    if (!n || n == node) break;
    n = n.next_sibling();
  }
  return {};
}

pugi::xml_node Select(const pugi::xml_node& node, const char* path) {
  if (!node) return {};
  if (path[0] == '.' && path[1] == '/' && path[2] == '/' && std::strpbrk(path + 3, "/[@*|()") == nullptr)
    return FirstDescendant(node, path + 3);
  return node.select_node(Query(path)).node();
}

// The first descendant of each name a row reads, in one walk: the same
// elements the separate ".//name" searches would find.
struct TFields {
  pugi::xml_node Visibility, Editability, Type, Value, Default, Low, High, Range, Rec;
};

TFields Gather(const pugi::xml_node& node) {
  TFields f;
  struct TSlot {
    const char* Name;
    pugi::xml_node TFields::*Field;
  };
  static const TSlot CFieldSlots[] = {{"visibility", &TFields::Visibility}, {"editability", &TFields::Editability},
                                {"type", &TFields::Type},             {"value", &TFields::Value},
                                {"default", &TFields::Default},       {"low", &TFields::Low},
                                {"high", &TFields::High},             {"range", &TFields::Range},
                                {"rec", &TFields::Rec}};
  pugi::xml_node n = node.first_child();
  while (n) {
    if (n.type() == pugi::node_element) {
      const char* name = n.name();
      for (const TSlot& s : CFieldSlots)
        if (!(f.*s.Field) && std::strcmp(name, s.Name) == 0) {
          f.*s.Field = n;
          break;
        }
    }
    if (n.first_child()) {
      n = n.first_child();
      continue;
    }
    while (n && !n.next_sibling() && n != node) n = n.parent();
    if (!n || n == node) break;
    n = n.next_sibling();
  }
  return f;
}


QString TextOf(const pugi::xml_node& field) { return field && field.first_child() ? QString::fromUtf8(field.first_child().value()) : QString(); }

int Level(const pugi::xml_node& node, const char* path) {
  // Read in place (the walks ask this of every item): surrounding blanks are
  // ignored, a sign is allowed, anything else reads as 0, as the text rule does.
  const pugi::xml_node n = Select(node, path);
  const char* b = n && n.first_child() ? n.first_child().value() : "";
  const char* e = b + std::strlen(b);
  while (b < e && std::isspace(static_cast<unsigned char>(*b))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(e[-1]))) --e;
  if (b + 1 < e && *b == '+' && b[1] != '-') ++b;
  int v = 0;
  const auto [end, ec] = std::from_chars(b, e, v);
  return ec == std::errc() && end == e ? v : 0;
}

const char* const CKindNames[] = {"grtText",     "grtFloat",  "grtInteger", "grtBoolean",    "grtProperty",  "grtDatapoint",
                                  "grtUint32",   "grtsecret", "grtmeasId",  "grtexitmeasId", "grtipaddress"};

int32_t ToInt(const QString& text, int32_t def, bool* ok = nullptr) {
  bool good = false;
  const qlonglong v = text.trimmed().toLongLong(&good);
  good = good && v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max();
  if (ok) *ok = good;
  return good ? int32_t(v) : def;
}

uint32_t ToUint(const QString& text, uint32_t def, bool* ok = nullptr) {
  bool good = false;
  const qulonglong v = text.trimmed().toULongLong(&good);
  good = good && v <= std::numeric_limits<uint32_t>::max() && !text.trimmed().startsWith(QLatin1Char('-'));
  if (ok) *ok = good;
  return good ? uint32_t(v) : def;
}

// The same rules on the raw text of an element, without a QString: rows of
// large documents are built by the hundred thousand.
const char* Trim(const char* t, const char*& end) {
  while (*t == ' ' || *t == '\t' || *t == '\n' || *t == '\r') ++t;
  end = t + std::strlen(t);
  while (end > t && (end[-1] == ' ' || end[-1] == '\t' || end[-1] == '\n' || end[-1] == '\r')) --end;
  return t;
}

int32_t IntOf(const char* text, int32_t def) {
  const char* end = nullptr;
  const char* t = Trim(text, end);
  long long v = 0;
  const auto r = std::from_chars(*t == '+' ? t + 1 : t, end, v);
  if (t == end || r.ec != std::errc() || r.ptr != end || v < std::numeric_limits<int32_t>::min() ||
      v > std::numeric_limits<int32_t>::max())
    return def;
  return int32_t(v);
}

uint32_t UintOf(const char* text, uint32_t def) {
  const char* end = nullptr;
  const char* t = Trim(text, end);
  unsigned long long v = 0;
  const auto r = std::from_chars(*t == '+' ? t + 1 : t, end, v);
  if (t == end || r.ec != std::errc() || r.ptr != end || v > std::numeric_limits<uint32_t>::max()) return def;
  return uint32_t(v);
}

double FloatOf(const char* text, double def) {
  const char* end = nullptr;
  const char* t = Trim(text, end);
  double v = 0;
  auto r = std::from_chars(*t == '+' ? t + 1 : t, end, v);
  if (t != end && r.ec == std::errc() && r.ptr == end) return v;
  return MyStrToFloatDef(QString::fromUtf8(t, end - t), def);  // a comma, and the rare forms
}

const char* RawText(const pugi::xml_node& field) { return field && field.first_child() ? field.first_child().value() : ""; }

int LevelOf(const pugi::xml_node& field) {
  // Missing or unreadable text (also "1x") counts as 0, as in the tree walk.
  return field && field.first_child() ? IntOf(field.first_child().value(), 0) : 0;
}

QString ParentIdOf(const pugi::xml_node& node) { return Utf8(node.parent().attribute("id").value()); }

}  // namespace

TCaptionSource CaptionsFrom(const TMessClass& classes) {
  TCaptionSource c;
  c.Caption = [&classes](uint32_t id) {
    const TMessRec r = classes.GetMessRec(id);
    return r.Known ? r.Text : QString();
  };
  c.Hex = [](uint32_t id) { return TMessClass::HexOf(id); };
  return c;
}

QString GridRowTypName(TGridRowTyp t) { return QLatin1String(CKindNames[int(t)]); }

QString TCaptionSource::CaptionOf(uint32_t id) const {
  const QString c = Caption ? Caption(id) : QString();
  if (!c.isEmpty()) return c;
  char buf[32];
  const int n = std::snprintf(buf, sizeof buf, "Parameter %u", id);  // untranslated
  return QString::fromLatin1(buf, n);
}

QString TCaptionSource::HexOf(uint32_t id) const {
  if (Hex) return Hex(id);
  char buf[16];
  const int n = std::snprintf(buf, sizeof buf, "0x%08X", id);
  return QString::fromLatin1(buf, n);
}

// ---- free functions -----------------------------------------------------------------------

QString GetNodeValue(const pugi::xml_node& node, const char* path) { return GetNodeValue(Select(node, path)); }

QString GetNodeValue(const pugi::xml_node& node) {
  if (!node || !node.first_child()) return {};
  return Utf8(node.first_child().value());
}

bool SetNodeValue(const pugi::xml_node& node, const char* path, const QString& value) {
  pugi::xml_node found = Select(node, path);
  if (!found || !found.first_child()) return false;
  return found.first_child().set_value(Utf8(value).constData());
}

double MyStrToFloatDef(const QString& text, double def) {
  static const QLocale c = [] {
    QLocale l = QLocale::c();
    l.setNumberOptions(QLocale::RejectGroupSeparator);  // "1,000.5" is no number here
    return l;
  }();
  const QString t = text.trimmed();
  bool ok = false;
  double v = c.toDouble(t, &ok);
  if (ok) return v;
  QString comma = t;
  if (comma.count(QLatin1Char(',')) == 1 && !comma.contains(QLatin1Char('.'))) {
    comma.replace(QLatin1Char(','), QLatin1Char('.'));
    v = c.toDouble(comma, &ok);
    if (ok) return v;
  }
  return def;
}

namespace {
// The type text without dashes and blanks around it, compared without case.
TGridRowTyp KindOfRaw(const char* text) {
  char name[40] = "grt";
  size_t n = 3;
  const char* end = nullptr;
  for (const char* p = Trim(text, end); p < end; ++p) {
    if (*p == '-') continue;
    if (n + 1 >= sizeof name) return TGridRowTyp::grtText;
    name[n++] = *p;
  }
  name[n] = 0;
  for (int i = 0; i < int(std::size(CKindNames)); ++i)
    if (strcasecmp(name, CKindNames[i]) == 0) return TGridRowTyp(i);
  return TGridRowTyp::grtText;
}
}  // namespace

TGridRowTyp GetXTRecTyp(const QString& typeText) {
  QString name = typeText.trimmed();
  name.remove(QLatin1Char('-'));
  name.prepend(QLatin1String("grt"));
  for (int i = 0; i < int(std::size(CKindNames)); ++i)
    if (name.compare(QLatin1String(CKindNames[i]), Qt::CaseInsensitive) == 0) return TGridRowTyp(i);
  return TGridRowTyp::grtText;
}

bool GetAndCheckAttribute(const pugi::xml_node& node, pugi::xml_attribute& attr, const char* name, QString& value) {
  attr = node.attribute(name);
  value = attr ? Utf8(attr.value()) : QString();
  return bool(attr);
}

bool GetSubNode(const pugi::xml_node& node, const char* path, pugi::xml_node& found) {
  found = Select(node, path);
  return bool(found);
}

namespace {

// Caption, change state and the level-2 prefix, shared by every item kind.
void Identify(int level, const QString& parentId, const pugi::xml_node& node, TGridRow& row,
              const TCaptionSource& captions, const TChangeList& changes) {
  row.IDStr = Utf8(node.attribute("id").value());
  row.ID = ToUint(row.IDStr, 0);
  row.RowCap = captions.CaptionOf(row.ID);
  row.Equal = !changes.contains(ChangeKey(row.IDStr, parentId));
  if (level >= 2) row.RowCap = QLatin1Char('(') + row.IDStr + QLatin1Char('/') + captions.HexOf(row.ID) + QLatin1String(") ") + row.RowCap;
}

QString InitialText(const TGridRow& row, const QString& parentId, const TChangeList& changes, const QString& current) {
  return row.Equal ? current : changes.value(ChangeKey(row.IDStr, parentId)).OriVal;
}

}  // namespace

bool GetGridRow(int level, const QString& parentId, const pugi::xml_node& node, TGridRow& row,
                const TCaptionSource& captions, const TChangeList& changes) {
  row = TGridRow();
  const char* name = node.name();
  const bool datapoint = std::strcmp(name, "datapoint") == 0;
  const bool property = std::strcmp(name, "property") == 0;
  const bool parameter = std::strcmp(name, "parameter") == 0;  // untranslated
  if (!datapoint && !property && !parameter) return false;
  const TFields f = Gather(node);
  row.Node = node;
  if (LevelOf(f.Visibility) > level) {
    row = TGridRow();
    return false;
  }
  if (datapoint) {
    row.IsList = std::strcmp(f.Range.attribute("list").value(), "true") == 0;
    Identify(level, parentId, node, row, captions, changes);
    row.Editable = LevelOf(f.Editability) <= level;
    row.RowTyp = TGridRowTyp::grtDatapoint;
    const QString rec = TextOf(f.Rec);
    row.RowVal = ToInt(rec, 0);
    row.RowPar = ToInt(InitialText(row, parentId, changes, rec), 0);
    row.RowDef = ToInt(TextOf(f.Default), 0);
    row.RowMin = 0;
    row.RowMax = 1;
    return true;
  }
  if (property) {
    Identify(level, parentId, node, row, captions, changes);
    row.Editable = false;
    row.Equal = true;
    row.RowTyp = TGridRowTyp::grtProperty;
    row.RowVal = TextOf(f.Value);
    row.RowPar = row.RowVal;
    return true;
  }
  const pugi::xml_node range = f.Range;
  row.IsList = std::strcmp(range.attribute("list").value(), "true") == 0;
  Identify(level, parentId, node, row, captions, changes);
  row.Editable = LevelOf(f.Editability) <= level;
  row.RowTyp = KindOfRaw(RawText(f.Type));
  const char* val = RawText(f.Value);
  // The initial value is the one read from the device while nothing changed.
  const QByteArray parText = row.Equal ? QByteArray() : changes.value(ChangeKey(row.IDStr, parentId)).OriVal.toUtf8();
  const char* par = row.Equal ? val : parText.constData();
  const char* def = RawText(f.Default);
  const char* low = RawText(f.Low);
  const char* high = RawText(f.High);
  auto text = [](const char* t) { return QString::fromUtf8(t); };
  switch (row.RowTyp) {
    case TGridRowTyp::grtText:
    case TGridRowTyp::grtsecret:
      row.RowVal = text(val);
      row.RowPar = text(par);
      row.RowDef = text(def);
      row.RowMin = IntOf(low, 0);
      row.RowMax = IntOf(high, 100);
      break;
    case TGridRowTyp::grtFloat:
      row.RowVal = FloatOf(val, 0.0);
      row.RowPar = FloatOf(par, 0.0);
      row.RowDef = FloatOf(def, 0.0);
      row.RowMin = FloatOf(low, double(std::numeric_limits<float>::min()));
      row.RowMax = FloatOf(high, double(std::numeric_limits<float>::max()));
      break;
    case TGridRowTyp::grtInteger:
      row.RowVal = IntOf(val, 0);
      row.RowPar = IntOf(par, 0);
      row.RowDef = IntOf(def, 0);
      row.RowMin = IntOf(low, std::numeric_limits<int32_t>::min());
      row.RowMax = IntOf(high, std::numeric_limits<int32_t>::max());
      break;
    case TGridRowTyp::grtBoolean:
      row.RowVal = IntOf(val, 0);
      row.RowPar = IntOf(par, 0);
      row.RowDef = IntOf(def, 0);
      row.RowMin = 0;
      row.RowMax = 1;
      break;
    case TGridRowTyp::grtUint32:
    case TGridRowTyp::grtmeasId:
    case TGridRowTyp::grtexitmeasId:
      row.RowVal = UintOf(val, 0);
      row.RowPar = UintOf(par, 0);
      row.RowDef = UintOf(def, 0);
      row.RowMin = UintOf(low, 0);
      row.RowMax = UintOf(high, std::numeric_limits<uint32_t>::max());
      break;
    case TGridRowTyp::grtipaddress:
      row.RowVal = text(val);
      row.RowPar = text(par);
      row.RowDef = text(def);
      row.RowMin = text(low);
      row.RowMax = text(high);
      break;
    default:
      break;
  }
  if (row.IsList) {
    row.List.clear();
    row.RowMin = 0;
    row.RowMax = std::numeric_limits<int32_t>::max();
    for (pugi::xml_node entry = range.first_child(); entry; entry = entry.next_sibling()) {
      if (entry.type() != pugi::node_element) continue;  // white space between entries
      const QString text = entry.first_child() ? Utf8(entry.first_child().value()) : CEmpty;
      const QString id = Utf8(entry.attribute("id").value());
      if (!id.isEmpty())
        row.List << text + QLatin1Char('=') + captions.CaptionOf(ToUint(id, 0));
      else
        row.List << text + QLatin1Char('=') + text;
    }
  }
  return true;
}

void WriteBackValue(const pugi::xml_node& item, const QString& value, bool equal, TGridRowTyp kind, TChangeList& changes) {
  pugi::xml_node target = Select(item, kind == TGridRowTyp::grtDatapoint ? ".//rec" : ".//value");
  if (!target) return;
  const QString ori = GetNodeValue(target);
  const QString id = Utf8(item.attribute("id").value());
  const QString parent = ParentIdOf(item);
  const QString key = ChangeKey(id, parent);
  if (changes.contains(key)) {
    if (equal) changes.remove(key);
  } else if (!equal) {
    changes.insert(key, {id, parent, ori});
  }
  const QByteArray bytes = Utf8(value);
  if (target.first_child())
    target.first_child().set_value(bytes.constData());
  else
    target.append_child(pugi::node_pcdata).set_value(bytes.constData());
}

namespace {

bool Recorded(const pugi::xml_node& datapoint) {
  const QString rec = GetNodeValue(datapoint, ".//rec").trimmed();
  return rec == QLatin1String("1") || rec.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
}

// A group counts as recorded when a datapoint not in `skip` below it is.
bool GroupRecorded(const pugi::xml_node& group, const QStringList& skip) {
  for (pugi::xml_node c = group.first_child(); c; c = c.next_sibling()) {
    const QString name = Utf8(c.name());
    // Only datapoints on the list are left out; a listed group is still searched.
    if (name == QLatin1String("datapoint") && !skip.contains(Utf8(c.attribute("id").value())) && Recorded(c)) return true;
    if (name == QLatin1String("group") && GroupRecorded(c, skip)) return true;
  }
  return false;
}

void SetRec(const pugi::xml_node& datapoint, bool on) {
  pugi::xml_node rec = Select(datapoint, ".//rec");
  if (!rec) return;
  const char* text = on ? "1" : "0";
  if (rec.first_child())
    rec.first_child().set_value(text);
  else
    rec.append_child(pugi::node_pcdata).set_value(text);
}

void SetGroupRec(const pugi::xml_node& group, bool on) {
  for (pugi::xml_node c = group.first_child(); c; c = c.next_sibling()) {
    const QString name = Utf8(c.name());
    if (name == QLatin1String("datapoint")) SetRec(c, on);
    if (name == QLatin1String("group")) SetGroupRec(c, on);
  }
}

}  // namespace

void CheckAllMandatoryNodes(pugi::xml_document& doc) {
  struct TEntry {
    pugi::xml_node Datapoint;
    QStringList Ids;
  };
  std::vector<TEntry> entries;
  QHash<QString, size_t> byId;
  for (const pugi::xpath_node& x : doc.select_nodes("//mandatory")) {
    const pugi::xml_node parent = x.node().parent();
    if (QString::fromUtf8(parent.name()).compare(QLatin1String("datapoint"), Qt::CaseInsensitive) != 0) continue;
    const QString id = Utf8(parent.attribute("id").value());
    if (id.isEmpty()) continue;
    if (!byId.contains(id)) {
      byId.insert(id, entries.size());
      entries.push_back({parent, {}});
    }
    // "+101" or "0101" name the same datapoint as "101".
    const QString listed = GetNodeValue(x.node()).trimmed();
    bool numeric = false;
    const qulonglong value = listed.toULongLong(&numeric);
    entries[byId.value(id)].Ids << (numeric ? QString::number(value) : listed);
  }
  for (const TEntry& e : entries) {
    bool verdict = false;
    for (pugi::xml_node c = e.Datapoint.first_child(); c && !verdict; c = c.next_sibling()) {
      if (e.Ids.contains(Utf8(c.attribute("id").value()))) continue;
      const QString name = Utf8(c.name());
      if (name == QLatin1String("datapoint"))
        verdict = Recorded(c);
      else if (name == QLatin1String("group"))
        verdict = GroupRecorded(c, e.Ids);
    }
    for (const QString& id : e.Ids) {
      bool numeric = false;
      const qulonglong wanted = id.toULongLong(&numeric);
      if (!numeric) continue;
      // A walk, not an XPath built from file text: "+6" or "1e3" parse as
      // numbers here but are no valid query and would throw.
      const pugi::xml_node target = e.Datapoint.find_node([wanted](const pugi::xml_node& n) {
        bool ok = false;
        const qulonglong have = QString::fromUtf8(n.attribute("id").value()).trimmed().toULongLong(&ok);
        return ok && have == wanted;
      });
      const QString name = Utf8(target.name());
      if (name == QLatin1String("group")) SetGroupRec(target, verdict);
      if (name == QLatin1String("datapoint")) SetRec(target, verdict);
    }
  }
}

// ---- the editor's tree ------------------------------------------------------------------

namespace {

struct TWalk {
  int Level;
  const TCaptionSource& Captions;
  QStringList& Modules;
};

// `inModules`: the folder lies below the module group or below one of its
// later siblings, so its groups are module folders.
int WalkFolder(const pugi::xml_node& folder, TParaTreeItem& item, TWalk& w, bool inModules) {
  int visible = 0;
  bool moduleGroupSeen = false;
  for (pugi::xml_node c = folder.first_child(); c; c = c.next_sibling()) {
    if (c.type() != pugi::node_element) continue;
    // Names compared in place: this walk visits every element of the set.
    const char* name = c.name();
    const bool datapoint = std::strcmp(name, "datapoint") == 0;
    if (datapoint || std::strcmp(name, "parameter") == 0 || std::strcmp(name, "property") == 0) {  // untranslated
      if (Level(c, ".//visibility") <= w.Level) {
        ++item.Items;
        item.LastKind = datapoint ? 2 : 1;
        visible = 1;
      }
      continue;
    }
    const bool group = std::strcmp(name, "group") == 0;
    if (!group && std::strcmp(name, "swmodule") != 0) continue;
    auto child = std::make_unique<TParaTreeItem>();
    child->Node = c;
    child->ID = ToUint(Utf8(c.attribute("id").value()), 0);
    child->IsModule = !group || inModules;
    const bool isModuleGroup = group && child->ID == CModuleGroupId;
    child->Visible = WalkFolder(c, *child, w, inModules || moduleGroupSeen || isModuleGroup);
    if (isModuleGroup) moduleGroupSeen = true;
    if (!group)
      w.Modules << QStringLiteral("%1=%2").arg(w.Captions.CaptionOf(child->ID), child->Visible ? QStringLiteral("1")
                                                                                                 : QStringLiteral("0"));
    if (child->Visible) {
      visible = 1;
      item.Children.push_back(std::move(child));
    }
  }
  return visible;
}

}  // namespace

TParaTree WalkParaTree(const pugi::xml_node& sys, int level, const TCaptionSource& captions) {
  TParaTree tree;
  tree.Root = std::make_unique<TParaTreeItem>();
  tree.Root->Node = sys;
  tree.Root->ID = ToUint(Utf8(sys.attribute("id").value()), 0);
  TWalk w{level, captions, tree.ModuleList};
  tree.Root->Visible = WalkFolder(sys, *tree.Root, w, false);
  return tree;
}

// ---- transformers -----------------------------------------------------------------------

void TWandlerRec::CalcInputs() {
  auto side = [](float& common, float* rel[4], const float abs[4]) {
    double largest = std::nan("");
    for (int i = 0; i < 4; ++i) {
      const double a = std::fabs(double(abs[i]));
      if (std::isnan(largest) || a > std::fabs(largest)) largest = a;
    }
    common = float(largest);
    for (int i = 0; i < 4; ++i) *rel[i] = float(double(abs[i]) / double(common));
  };
  float* ru[4] = {&WLKFU1, &WLKFU2, &WLKFU3, &WLKFU4};
  const float au[4] = {WFU1, WFU2, WFU3, WFU4};
  side(WLFU, ru, au);
  float* ri[4] = {&WLKFI1, &WLKFI2, &WLKFI3, &WLKFI4};
  const float ai[4] = {WFI1, WFI2, WFI3, WFI4};
  side(WLFI, ri, ai);
}

void TWandlerRec::CalcOutputs() {
  WFU1 = WLFU * WLKFU1;
  WFU2 = WLFU * WLKFU2;
  WFU3 = WLFU * WLKFU3;
  WFU4 = WLFU * WLKFU4;
  WFI1 = WLFI * WLKFI1;
  WFI2 = WLFI * WLKFI2;
  WFI3 = WLFI * WLKFI3;
  WFI4 = WLFI * WLKFI4;
  const double base = double(SekNennSpannung) * double(NormLLSp) * double(WLFU) / 100.0;
  NennSpannungLL = float(Netzform == TNetzForm::nf3L ? base : base * std::sqrt(3.0));
}

// ---- document -------------------------------------------------------------------------------

bool TParaDocument::LoadFile(const QString& path, QString& error) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) {
    error = QStringLiteral("%1: %2").arg(path, f.errorString());
    return false;
  }
  return LoadBytes(f.readAll(), error, path);
}

bool TParaDocument::LoadBytes(const QByteArray& bytes, QString& error, const QString& what) {
  error.clear();  // a reason left over from an earlier call must not fail this one
  pugi::xml_document doc;
  const pugi::xml_parse_result r = doc.load_buffer(bytes.constData(), size_t(bytes.size()));
  if (!r) {
    // The line of the fault, counted in the bytes read.
    const int line = int(bytes.left(qsizetype(r.offset)).count('\n')) + 1;
    error = TTr::tr("%1: kein gültiges XML (Zeile %2: %3)").arg(what).arg(line).arg(QString::fromUtf8(r.description()));
    return false;
  }
  // What "//*[@name='sys']" finds, without an XPath pass over the whole document.
  pugi::xml_node sys;
  for (pugi::xml_node n = doc.first_child(); n && !sys;) {
    if (n.type() == pugi::node_element && std::strcmp(n.attribute("name").value(), "sys") == 0) {
      sys = n;
      break;
    }
    if (n.first_child()) {
      n = n.first_child();
      continue;
    }
    while (n && !n.next_sibling()) n = n.parent();
    if (n) n = n.next_sibling();
  }
  if (!sys) {
    error = TTr::tr("%1: kein Element mit name=\"sys\"").arg(what);
    return false;
  }
  FDoc = std::move(doc);  // the nodes move with it
  FSys = sys;
  Changes.clear();
  if (!Index(error)) {
    error = QStringLiteral("%1: %2").arg(what, error);
    FDoc.reset();
    FSys = {};
    FIndex.clear();
    return false;
  }
  return true;
}

bool TParaDocument::Index(QString& error) {
  FIndex.clear();
  FWarnings.clear();
  FChecked = false;
  struct TWalker : pugi::xml_tree_walker {
    TParaDocument* D;
    QString* Error;
    bool for_each(pugi::xml_node& n) override {
      if (n.type() != pugi::node_element) return true;
      const pugi::xml_attribute a = n.attribute("id");
      if (!a) return true;
      const char* name = n.name();
      const bool parameter = std::strcmp(name, "parameter") == 0;  // untranslated
      const bool item = parameter || std::strcmp(name, "datapoint") == 0 || std::strcmp(name, "property") == 0 ||
                        std::strcmp(name, "group") == 0 || std::strcmp(name, "swmodule") == 0;
      const char* text = a.value();
      while (*text == ' ') ++text;
      char* end = nullptr;
      errno = 0;
      const unsigned long long id = (*text >= '0' && *text <= '9') ? std::strtoull(text, &end, 10) : 0;
      bool ok = end && end != text && errno == 0 && id <= 0xFFFFFFFFull;
      if (ok)
        for (const char* p = end; *p; ++p) ok = ok && *p == ' ';
      if (!ok) {
        if (item) {
          *Error = TTr::tr("id \"%1\" von <%2> ist keine Zahl").arg(QString::fromUtf8(a.value()), QString::fromUtf8(name));
          return false;
        }
        return true;  // range entries name ids too; those are only captions
      }
      D->FIndex[uint32_t(id)].push_back(n);
      return true;
    }
  } walker;
  walker.D = this;
  walker.Error = &error;
  return FSys.traverse(walker) && error.isEmpty();
}

const QStringList& TParaDocument::Warnings() const {
  if (FChecked) return FWarnings;
  FChecked = true;
  for (const pugi::xpath_node& x : FSys.select_nodes(".//parameter[@id]")) Check(x.node(), x.node().attribute("id").as_uint());  // untranslated
  return FWarnings;
}

void TParaDocument::Check(const pugi::xml_node& n, uint32_t id) const {
  const TGridRowTyp kind = GetXTRecTyp(GetNodeValue(n, ".//type"));
  const QString val = GetNodeValue(n, ".//value");
  bool ok = true;
  double low = 0, high = 0;
  bool limits = false;
  switch (kind) {
    case TGridRowTyp::grtFloat:
      ok = !std::isnan(MyStrToFloatDef(val, std::nan("")));
      low = MyStrToFloatDef(GetNodeValue(n, ".//low"), -std::numeric_limits<double>::infinity());
      high = MyStrToFloatDef(GetNodeValue(n, ".//high"), std::numeric_limits<double>::infinity());
      limits = true;
      break;
    case TGridRowTyp::grtInteger:
    case TGridRowTyp::grtBoolean:
      ToInt(val, 0, &ok);
      low = ToInt(GetNodeValue(n, ".//low"), std::numeric_limits<int32_t>::min());
      high = ToInt(GetNodeValue(n, ".//high"), std::numeric_limits<int32_t>::max());
      limits = kind == TGridRowTyp::grtInteger;
      break;
    case TGridRowTyp::grtUint32:
    case TGridRowTyp::grtmeasId:
    case TGridRowTyp::grtexitmeasId:
      ToUint(val, 0, &ok);
      low = ToUint(GetNodeValue(n, ".//low"), 0);
      high = ToUint(GetNodeValue(n, ".//high"), std::numeric_limits<uint32_t>::max());
      limits = true;
      break;
    default:
      break;
  }
  if (!ok)
    FWarnings << TTr::tr("%1: Wert \"%2\" passt nicht zu %3").arg(id).arg(val, GridRowTypName(kind));
  if (limits && low > high) FWarnings << TTr::tr("%1: untere Grenze über der oberen").arg(id);
}

void TParaDocument::Reindex() {
  QString ignored;
  Index(ignored);
}

const std::vector<pugi::xml_node>& TParaDocument::Find(uint32_t id) const {
  static const std::vector<pugi::xml_node> none;
  const auto it = FIndex.find(id);
  return it == FIndex.end() ? none : it->second;
}

pugi::xml_node TParaDocument::FindFirst(uint32_t id) const {
  const std::vector<pugi::xml_node>& all = Find(id);
  return all.empty() ? pugi::xml_node() : all.front();
}

pugi::xml_node TParaDocument::Find(uint32_t id, uint32_t parentId) const {
  for (const pugi::xml_node& n : Find(id))
    if (n.parent().attribute("id").as_ullong(0xFFFFFFFFFFull) == parentId) return n;
  return {};
}

QByteArray TParaDocument::Bytes() const {
  std::ostringstream out;
  FDoc.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
  const std::string s = out.str();
  return QByteArray(s.data(), qsizetype(s.size()));
}

bool TParaDocument::SaveFile(const QString& path, QString& error) const {
  return SaveWhole(path, Bytes(), error);
}

}  // namespace vanta
