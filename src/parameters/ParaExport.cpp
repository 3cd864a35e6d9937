#include "ParaExport.h"

#include <QFile>
#include <QFileInfo>
#include <sstream>

#include "Constants.h"
#include "SaveWhole.h"
#include "Language.h"

namespace vanta {

QString FullExportName(const QString& device, const QString& plant, const QString& field, const QDate& date) {
  return QStringLiteral("Vanta_%1_%2_%3_%4.xml").arg(device, plant, field, date.toString(QStringLiteral("yyMMdd")));
}

QString ChangeExportName(const QDateTime& when) {
  return QStringLiteral("ChangeExport_%1.xml").arg(when.toString(QStringLiteral("yyMMdd_HHmmss")));
}

QString CsvExportPath(const QString& tmpDir, uint32_t serial) { return QStringLiteral("%1para_%2.csv").arg(tmpDir).arg(serial); }

namespace {

QString Key(const pugi::xml_node& n) {
  return ChangeKey(QString::fromUtf8(n.attribute("id").value()), QString::fromUtf8(n.parent().attribute("id").value()));
}

// Last child first; a changed item stays whole, anything else stays only
// while something changed is below it.
void Prune(pugi::xml_node parent, const TChangeList& changes) {
  for (pugi::xml_node c = parent.last_child(); c;) {
    pugi::xml_node prev = c.previous_sibling();
    if (c.type() == pugi::node_element && changes.contains(Key(c))) {
      c = prev;
      continue;
    }
    if (c.first_child()) Prune(c, changes);
    if (!c.first_child()) parent.remove_child(c);
    c = prev;
  }
}

QByteArray Serialise(const pugi::xml_document& doc) {
  std::ostringstream out;
  doc.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
  const std::string s = out.str();
  return QByteArray(s.data(), qsizetype(s.size()));
}

}  // namespace

QByteArray ChangeExport(TParaDocument& doc, const TChangeList& changes) {
  if (changes.isEmpty()) return {};
  pugi::xml_document copy;
  const QByteArray bytes = doc.Bytes();
  if (!copy.load_buffer(bytes.constData(), size_t(bytes.size()))) return {};
  if (pugi::xml_node device = copy.select_node("//device[@name]").node()) device.attribute("name").set_value("anyDevice");
  if (pugi::xml_node system = copy.select_node("//system").node()) Prune(system, changes);
  return Serialise(copy);
}

QStringList ModuleEntries(const TParaDocument& doc, const TCaptionSource& captions) {
  QStringList out;
  for (const pugi::xpath_node& x : doc.Sys().select_nodes(".//swmodule")) {
    const uint32_t id = x.node().attribute("id").as_uint();
    out << QStringLiteral("%1=%2").arg(id).arg(captions.CaptionOf(id));
  }
  return out;
}

namespace {

void CsvWalk(const pugi::xml_node& folder, int level, const TCaptionSource& captions, const QStringList& chosen,
             QStringList& lines) {
  for (pugi::xml_node c = folder.first_child(); c; c = c.next_sibling()) {
    const QString name = QString::fromUtf8(c.name());
    const uint32_t id = c.attribute("id").as_uint();
    const bool visible = GetNodeValue(c, "./visibility").trimmed().toInt() <= level;
    if (name == QLatin1String("parameter") && visible) {  // untranslated
      QString value = GetNodeValue(c, "./value");
      if (GetXTRecTyp(GetNodeValue(c, "./type")) == TGridRowTyp::grtFloat)
        value = QString::number(MyStrToFloatDef(value, 0.0), 'g', 15);
      lines << captions.CaptionOf(id) + CSepa + value;
    } else if (name == QLatin1String("datapoint") && visible) {
      lines << captions.CaptionOf(id) + CSepa + GetNodeValue(c, "./rec");
    } else if ((name == QLatin1String("group") && id == CModuleGroupId) ||
               (name == QLatin1String("swmodule") && chosen.contains(QString::number(id)))) {
      lines << QString() << captions.CaptionOf(id) << QString();
      CsvWalk(c, level, captions, chosen, lines);
    }
  }
}

}  // namespace

QByteArray CsvExport(const TParaDocument& doc, int level, const TCaptionSource& captions, const QStringList& chosenModuleIds) {
  QStringList lines;
  CsvWalk(doc.Sys(), level, captions, chosenModuleIds, lines);
  QByteArray out;
  for (const QString& l : lines) out += l.toUtf8() + "\r\n";
  return out;
}

// ---- ICD ----------------------------------------------------------------------------------

namespace {
bool LoadIcd(const QString& path, pugi::xml_document& doc, QString& error) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) {
    error = QStringLiteral("%1: %2").arg(path, f.errorString());
    return false;
  }
  const QByteArray bytes = f.readAll();
  const pugi::xml_parse_result r = doc.load_buffer(bytes.constData(), size_t(bytes.size()));
  if (!r) {
    error = TTr::tr("%1: kein gültiges XML (%2)").arg(path, QString::fromUtf8(r.description()));
    return false;
  }
  return true;
}
}  // namespace

bool ReadIcd(const QString& path, TIcdInfo& info, QString& error) {
  pugi::xml_document doc;
  if (!LoadIcd(path, doc, error)) return false;
  const pugi::xml_node scl = doc.child("SCL");
  const pugi::xml_node header = scl.child("Header");
  const pugi::xml_node ied = scl.child("IED");
  if (!scl || !header || !ied) {
    error = TTr::tr("%1: SCL, Header oder IED fehlt").arg(path);
    return false;
  }
  for (const auto& [node, attr] : std::initializer_list<std::pair<pugi::xml_node, const char*>>{
           {header, "version"}, {header, "revision"}, {header, "id"},
           {ied, "name"}, {ied, "originalSclVersion"}, {ied, "originalSclRevision"}}) {
    if (!node.attribute(attr)) {
      error = TTr::tr("%1: Attribut %2 von %3 fehlt").arg(path, QLatin1String(attr), QString::fromUtf8(node.name()));
      return false;
    }
  }
  info.Version = QString::fromUtf8(header.attribute("version").value());
  info.Revision = QString::fromUtf8(header.attribute("revision").value());
  info.HeaderId = QString::fromUtf8(header.attribute("id").value());
  info.Name = QString::fromUtf8(ied.attribute("name").value());
  info.SclVersion = QString::fromUtf8(ied.attribute("originalSclVersion").value());
  info.SclRevision = QString::fromUtf8(ied.attribute("originalSclRevision").value());
  return true;
}

bool RenameIcd(const QString& path, const QString& name, QString& error) {
  pugi::xml_document doc;
  if (!LoadIcd(path, doc, error)) return false;
  const pugi::xml_node scl = doc.child("SCL");
  pugi::xml_node ap = scl.child("Communication").child("SubNetwork").child("ConnectedAP");
  pugi::xml_node ied = scl.child("IED");
  if (!ap || !ied) {
    error = TTr::tr("%1: ConnectedAP oder IED fehlt").arg(path);
    return false;
  }
  const QByteArray n = name.toUtf8();
  (ap.attribute("iedName") ? ap.attribute("iedName") : ap.append_attribute("iedName")).set_value(n.constData());
  (ied.attribute("name") ? ied.attribute("name") : ied.append_attribute("name")).set_value(n.constData());
  return SaveWhole(path, Serialise(doc), error);
}

QStringList ApplyIcdToSetup(TParaDocument& doc, const QString& icdFileName, const TIcdInfo& info) {
  const std::pair<uint32_t, QString> values[] = {
      {4278190467u, info.Name},       {4278190468u, icdFileName},     {4278190469u, info.Version},
      {4278190470u, info.Revision},   {4278190471u, info.SclVersion}, {4278190472u, info.SclRevision},
      {4278190473u, info.HeaderId}};
  QStringList changed;
  for (const auto& [id, value] : values) {
    if (value.isEmpty()) continue;
    // The first element with this id that has a value element; when that
    // value has no text, nothing changes.
    for (const pugi::xml_node& item : doc.Find(id)) {
      const pugi::xml_node v = item.child("value");
      if (!v) continue;
      if (v.first_child()) {
        const QString old = QString::fromUtf8(v.first_child().value());
        if (old.compare(value, Qt::CaseInsensitive) != 0) {
          // Like an edit: back at the value first read, the item leaves the change list.
          const QString key = ChangeKey(QString::number(id), QString::fromUtf8(item.parent().attribute("id").value()));
          const bool equal = doc.Changes.contains(key) && doc.Changes.value(key).OriVal == value;
          WriteBackValue(item, value, equal, TGridRowTyp::grtText, doc.Changes);
          changed << QString::number(id);
        }
      }
      break;
    }
  }
  return changed;
}

}  // namespace vanta
