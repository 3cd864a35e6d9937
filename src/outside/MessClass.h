#pragma once
// Measurement classes: the caption of an id (parameters, folders, modules,
// measurement values), from a German and an English table. A table is a
// plain text file, one "id<TAB>name<TAB>text" line per id (id in decimal or
// 0x-hexadecimal, name a short unique key, text the caption); "#" starts a
// comment line. An id without a text reads as a text that contains the id.
#include <QHash>
#include <QString>
#include <cstdint>

namespace vanta {

struct TMessRec {
  uint32_t ID = 0;
  QString Name;
  QString Text;
  bool Known = false;
};

enum class TMessLang : uint8_t { mlGerman, mlEnglish };

class TMessClass {
 public:
  // Reads one language's table; false with the reason (file, line). A table
  // that fails to load leaves that language empty.
  bool LoadTable(TMessLang lang, const QString& path, QString& error);
  void SetLanguage(TMessLang lang) { FLang = lang; }
  TMessLang Language() const { return FLang; }

  TMessRec GetMessRec(uint32_t id) const;
  TMessRec GetMessRec(const QString& name) const;
  // "0x%08X" of an id given as decimal text (empty for a text that is no id).
  static QString StrToHexToStr(const QString& idText);
  static QString HexOf(uint32_t id);
  int Size(TMessLang lang) const { return int(FTables[int(lang)].size()); }

 private:
  struct TEntry {
    QString Name, Text;
  };
  QHash<uint32_t, TEntry> FTables[2];
  QHash<QString, uint32_t> FNames[2];
  TMessLang FLang = TMessLang::mlGerman;
};

}  // namespace vanta
