#pragma once
// The parameter set as the editor holds it: the setup document as a live
// DOM tree (pugixml), an index from id to the elements carrying it, the row
// record every visible item becomes, the change list, the mandatory rule and
// the instrument-transformer arithmetic. Qt Core and pugixml only: the
// windows, the command line and the tests share it.
#include <QHash>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <cstdint>
#include <functional>
#include <memory>
#include <pugixml.hpp>
#include <unordered_map>
#include <vector>

namespace vanta {

// The group that holds the software modules.
inline constexpr uint32_t CModuleGroupId = 4278190084u;

enum class TGridRowTyp : uint8_t {
  grtText,
  grtFloat,
  grtInteger,
  grtBoolean,
  grtProperty,
  grtDatapoint,
  grtUint32,
  grtsecret,
  grtmeasId,
  grtexitmeasId,
  grtipaddress,
};
QString GridRowTypName(TGridRowTyp t);  // "grtFloat"

// Where captions come from: the text of an id and its hexadecimal form.
struct TCaptionSource {
  std::function<QString(uint32_t id)> Caption;
  std::function<QString(uint32_t id)> Hex;
  QString CaptionOf(uint32_t id) const;
  QString HexOf(uint32_t id) const;
};
// Captions from the measurement classes in their current language; the
// classes must outlive the source.
TCaptionSource CaptionsFrom(const class TMessClass& classes);

struct TChangeListRec {
  QString ID;
  QString ParentID;
  QString OriVal;
  bool operator==(const TChangeListRec&) const = default;
};
// Keyed by the id text immediately followed by the parent's id text.
using TChangeList = QMap<QString, TChangeListRec>;
inline QString ChangeKey(const QString& id, const QString& parentId) { return id + parentId; }

struct TGridRow {
  TGridRowTyp RowTyp = TGridRowTyp::grtText;
  QString RowCap;
  QVariant RowPar;
  QVariant RowVal;
  QVariant RowDef;
  QVariant RowMin;
  QVariant RowMax;
  bool Equal = false;
  pugi::xml_node Node;
  bool Editable = false;
  QString IDStr;
  uint32_t ID = 0;
  bool IsList = false;
  QStringList List;  // "stored value=shown text"
};

// ---- free functions of the editor ------------------------------------------------------

// First match of `path` below `node`: the value of its first child, or "".
QString GetNodeValue(const pugi::xml_node& node, const char* path);
// The value of the node's first child, or "".
QString GetNodeValue(const pugi::xml_node& node);
// Sets the first child of the first match of `path`; false when there is none.
bool SetNodeValue(const pugi::xml_node& node, const char* path, const QString& value);
// Point first, then comma; `def` when neither parses.
double MyStrToFloatDef(const QString& text, double def);
TGridRowTyp GetXTRecTyp(const QString& typeText);
bool GetAndCheckAttribute(const pugi::xml_node& node, pugi::xml_attribute& attr, const char* name, QString& value);
bool GetSubNode(const pugi::xml_node& node, const char* path, pugi::xml_node& found);
// Builds the row of one item element; false (and a cleared row) when the
// item is not visible at `level` or is no item.
bool GetGridRow(int level, const QString& parentId, const pugi::xml_node& node, TGridRow& row,
                const TCaptionSource& captions, const TChangeList& changes);
// Writes an accepted value into the document and keeps the change list.
void WriteBackValue(const pugi::xml_node& item, const QString& value, bool equal, TGridRowTyp kind, TChangeList& changes);
// The mandatory rule over the whole document.
void CheckAllMandatoryNodes(pugi::xml_document& doc);

// ---- the editor's tree ------------------------------------------------------------------

struct TParaTreeItem {
  pugi::xml_node Node;
  uint32_t ID = 0;
  bool IsModule = false;    // a software module or a group below the module group
  int Visible = 0;          // non-zero: a visible item lies in it or below
  int LastKind = 0;         // 1: last item seen directly below was a parameter/property, 2: a datapoint
  int Items = 0;            // visible items directly below
  std::vector<std::unique_ptr<TParaTreeItem>> Children;
};

struct TParaTree {
  std::unique_ptr<TParaTreeItem> Root;  // the "sys" element
  QStringList ModuleList;               // "caption=1" / "caption=0"
};
TParaTree WalkParaTree(const pugi::xml_node& sys, int level, const TCaptionSource& captions);

// ---- instrument transformers --------------------------------------------------------------

enum class TNetzForm : uint8_t { nf4L3Pf, nf4L1ph, nf3L };

struct TWandlerRec {
  float WLFU = 0, WLKFU1 = 0, WLKFU2 = 0, WLKFU3 = 0, WLKFU4 = 0, WFU1 = 0, WFU2 = 0, WFU3 = 0, WFU4 = 0;
  float WLFI = 0, WLKFI1 = 0, WLKFI2 = 0, WLKFI3 = 0, WLKFI4 = 0, WFI1 = 0, WFI2 = 0, WFI3 = 0, WFI4 = 0;
  TNetzForm Netzform = TNetzForm::nf4L3Pf;
  float SekNennSpannung = 0, NormLLSp = 0, NennSpannungLL = 0, NennSpannungLE = 0;
  void CalcInputs();
  void CalcOutputs();
};

// ---- one loaded setup document ------------------------------------------------------------

class TParaDocument {
 public:
  // Loads a setup document; false with `error` naming the file and what is
  // wrong (not XML, no "sys", an id that is not a number).
  bool LoadFile(const QString& path, QString& error);
  bool LoadBytes(const QByteArray& bytes, QString& error, const QString& what = QStringLiteral("Setup"));
  bool SaveFile(const QString& path, QString& error) const;
  QByteArray Bytes() const;

  pugi::xml_document& Doc() { return FDoc; }
  const pugi::xml_document& Doc() const { return FDoc; }
  pugi::xml_node Sys() const { return FSys; }
  // Every element carrying `id` (the same id may sit under several parents).
  const std::vector<pugi::xml_node>& Find(uint32_t id) const;
  pugi::xml_node FindFirst(uint32_t id) const;
  // The element with `id` whose parent carries `parentId`.
  pugi::xml_node Find(uint32_t id, uint32_t parentId) const;
  // Rebuilds the index after elements were added or removed.
  void Reindex();
  // Texts of values that did not read as their kind, or limits with low >
  // high; worked out when first asked for, so loading stays a parse and an index.
  const QStringList& Warnings() const;

  TChangeList Changes;

 private:
  bool Index(QString& error);
  void Check(const pugi::xml_node& parameter, uint32_t id) const;
  pugi::xml_document FDoc;
  pugi::xml_node FSys;
  // id -> the elements carrying it, in document order.
  std::unordered_map<uint32_t, std::vector<pugi::xml_node>> FIndex;
  mutable QStringList FWarnings;
  mutable bool FChecked = false;
};

}  // namespace vanta
