#pragma once
// Read-only queries on the mapping database (the measurement values a
// device can deliver, their classes, groups and texts). The statements are
// run exactly as the picker dialogs need them; the language table's name is
// put in for "%s".
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <cstdint>

namespace vanta {

struct TDictItems {
  QString grpMain;    // text of the main group
  QString grpSub;     // sub-group short name
  QString subNum;     // ordering number
  bool hasNum = false;
  QString TagString;  // VantaID as text
  QString text;
  QString shortText;
  uint32_t vantaID = 0;
};

// Values in the order the rows arrived, first row for an ID wins.
struct TDictCollection {
  QMap<qint64, TDictItems> Items;
  QList<qint64> Order;
  void Add(qint64 id, const TDictItems& item);
};

struct TDataClass {
  int Number = 0;
  QString Name;
};

struct TSubGroup {
  QString Grouping, MainGroup, Text, Number, Short;
};

struct TMainGroup {
  QString Text, Number, Short;
};

// The picker's tree: main groups, their sub-groups, optional number nodes,
// and the values ("text [short]" with the device id as tag).
struct TPickerNode {
  enum class TKind : uint8_t { pnMain, pnSub, pnNumber, pnValue };
  TKind Kind = TKind::pnMain;
  QString Text;
  QString Tag;  // values: the device id
  QList<TPickerNode> Children;
};
struct TPickerTree {
  QList<TPickerNode> Roots;
  QList<int> Selected;  // path of child indexes to the node to select (empty: none)
};
// First leaf, depth first, whose text or tag contains `text` (any case).
QList<int> SearchPickerTree(const TPickerTree& tree, const QString& text);

class TMappingDb {
 public:
  // Opens the file read-only; false with a reason when it is missing or
  // lacks the expected tables. `langTable`: "lang_de" or "lang_en".
  bool Open(const QString& path, const QString& langTable, QString& error);
  ~TMappingDb();
  TMappingDb() = default;
  TMappingDb(const TMappingDb&) = delete;
  TMappingDb& operator=(const TMappingDb&) = delete;

  // The seven statements; each returns false with `error` on a database fault.
  bool DataClasses(QList<TDataClass>& out, QString& error);                       // 1
  bool ModbusValues(TDictCollection& out, QString& error);                        // 2, then 3
  bool SubGroups(QList<TSubGroup>& out, QString& error);                          // 4
  bool MainGroups(QList<TMainGroup>& out, QString& error);                        // 5
  bool ClassValues(int dataClass, TDictCollection& out, QString& error);          // 6
  bool DataClassOf(uint32_t vantaId, int& dataClass, bool& found, QString& error); // 7

  // Builds the tree for `values` (statements 4 and 5); the first value whose
  // id text equals `startId` is the one to select.
  bool BuildTree(const TDictCollection& values, const QString& startId, TPickerTree& tree, QString& error);

  // The statements as they reach the database (placeholders filled).
  static QString Statement(int number, const QString& langTable, int dataClass = 0, uint32_t vantaId = 0);

 private:
  bool Values(const QString& sql, TDictCollection& out, QString& error);
  QString FConnection;
  QString FLang;
};

}  // namespace vanta
