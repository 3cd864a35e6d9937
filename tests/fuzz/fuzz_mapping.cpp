#include "fuzz_mapping.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include "MappingDb.h"

namespace vanta::fuzz {

namespace {

uint32_t U32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Every statement on one open database; none may fail without a reason.
int Query(TMappingDb& db, int dataClass, uint32_t vantaId, const QString& text) {
  QString error;
  int values = 0;
  QList<TDataClass> classes;
  if (!db.DataClasses(classes, error) && error.isEmpty()) __builtin_trap();
  for (const int cls : {dataClass, classes.isEmpty() ? 0 : classes.first().Number}) {
    TDictCollection dict;
    error.clear();
    if (!db.ClassValues(cls, dict, error)) {
      if (error.isEmpty()) __builtin_trap();
      continue;
    }
    // Ids arrive in order and once each.
    if (dict.Order.size() != dict.Items.size()) __builtin_trap();
    values += int(dict.Items.size());
    TPickerTree tree;
    error.clear();
    if (!db.BuildTree(dict, text, tree, error) && error.isEmpty()) __builtin_trap();
    const QList<int> path = SearchPickerTree(tree, text);
    // A found path leads to a node that exists.
    const QList<TPickerNode>* level = &tree.Roots;
    for (const int i : path) {
      if (i < 0 || i >= level->size()) __builtin_trap();
      level = &level->at(i).Children;
    }
  }
  int cls = 0;
  bool found = false;
  error.clear();
  if (!db.DataClassOf(vantaId, cls, found, error) && error.isEmpty()) __builtin_trap();
  TDictCollection modbus;
  error.clear();
  if (!db.ModbusValues(modbus, error) && error.isEmpty()) __builtin_trap();
  return values;
}

}  // namespace

int FuzzMappingOneInput(const QString& dbPath, const QString& scratch, const uint8_t* data, size_t size) {
  static const QByteArray CSqliteMagic("SQLite format 3\0", 16);
  const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  QString error;
  if (bytes.startsWith(CSqliteMagic)) {
    const QString path = QDir(scratch).filePath(QStringLiteral("input.db"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size()) return 0;
    f.close();
    TMappingDb db;
    if (!db.Open(path, QStringLiteral("lang_de"), error)) {
      if (error.isEmpty()) __builtin_trap();
      return 0;
    }
    return Query(db, 18, 0, {});
  }
  if (size < 8) return 0;
  static TMappingDb* sample = [&] {
    auto* db = new TMappingDb;
    QString e;
    if (!db->Open(dbPath, QStringLiteral("lang_de"), e)) __builtin_trap();  // the sample must open
    return db;
  }();
  return Query(*sample, int(U32(data)), U32(data + 4), QString::fromUtf8(bytes.mid(8)));
}

}  // namespace vanta::fuzz
