#pragma once
// What the parameter editor's pieces share: its texts and the helpers the
// grid page, the simplified page, the time page and the send workflow use.
#include <QString>
#include <QUndoCommand>
#include <optional>
#include <pugixml.hpp>

#include "FormPara.h"

namespace vanta::formpara {


// The editor's texts in German as written; shown through TFormPara::tr, so
// they are looked up when shown, after the language is chosen.
inline const char* const CCaption = QT_TRANSLATE_NOOP("vanta::TFormPara", "Geräte-Parametrierung");
inline const char* const CRangeText = QT_TRANSLATE_NOOP("vanta::TFormPara", "Der eingegebene Wert für %1 liegt im ungültigen Bereich.\r\nBitte die Bereichsgrenzen beachten:\r\nMinimaler Wert: %2\r\nMaximaler Wert: %3\r\nStandard Wert: %4\r\n\r\nDer Parameter wird auf den Wert %5 gesetzt!");
inline const char* const CEasyRangeText = QT_TRANSLATE_NOOP("vanta::TFormPara", "Der eingegebene Wert liegt im ungültigen Bereich.\r\nBitte die Bereichsgrenzen beachten:\r\nMinimaler Wert: %1\r\nMaximaler Wert: %2\r\nStandard Wert: %3\r\n\r\nDer Parameter wird auf den Wert %4 gesetzt!");
inline const char* const CGpsText = QT_TRANSLATE_NOOP("vanta::TFormPara", "Die Eingegebenen GPS Koordinaten \"%1\" sind ungültig. Bitte geben Sie diese im Format \"N49.12345678E11.12345678\" ein.");
inline const char* const CIedText = QT_TRANSLATE_NOOP("vanta::TFormPara", "Der IED-Name \"%1\" ist ungültig. Er beginnt mit einem Buchstaben und enthält nur Buchstaben, Ziffern und \"_\" (höchstens 64 Zeichen).");
inline const char* const CServiceQuestion = QT_TRANSLATE_NOOP("vanta::TFormPara", "Achtung: Einstellungen im Servicemodus können u.U. zu Fehlfunktionen im Gerät führen!\r\n\r\nWollen Sie den Servicemodus wirklich aktivieren?");
inline const char* const COverwrite = QT_TRANSLATE_NOOP("vanta::TFormPara", "Die Datei %1 existstiert bereits - soll diese überschrieben werden?");

// Rows of the simplified page that have no control but feed its conversions.
inline QList<uint32_t> HiddenEasyIds() {
  QList<uint32_t> ids{0x10040000, 0x0D000000, 0x0E0C0000, 0x0D030000, 0x0E090000};
  for (uint32_t id = 0x0E0B0000; id <= 0x0E0B0300; id += 0x100) ids << id;
  ids << 0x0E0A0000;
  for (uint32_t id = 0x0E0B0400; id <= 0x0E0B0700; id += 0x100) ids << id;
  ids << 0x0E040000 << 0x0E0D0000 << 0xFE000306 << 0xFE000307 << 0xFE000308 << 0xFE00030A << 0xFE00030B << 0xFE00030C;
  for (uint32_t id = 0xFE00030D; id <= 0xFE000311; ++id) ids << id;
  ids << 0x14030000 << 0x14010000;
  return ids;
}

inline QString ParentIdText(const pugi::xml_node& n) { return QString::fromUtf8(n.parent().attribute("id").value()); }

// The id a page control stands for: the decimal after the first "_" of its
// name (a radio button adds "_" and the index of its list entry).
inline std::optional<uint32_t> IdOfName(const QString& name) {
  if (!name.contains(QLatin1Char('_'))) return std::nullopt;
  bool ok = false;
  const uint32_t id = name.section(QLatin1Char('_'), 1, 1).toUInt(&ok);
  return ok ? std::optional<uint32_t>(id) : std::nullopt;
}

// One accepted value as the undo stack keeps it: the document text and the
// change-list entry before and after.
struct TValueState {
  QString Text;
  std::optional<TChangeListRec> Entry;
};

class TValueEdit : public QUndoCommand {
 public:
  TValueEdit(TFormPara* form, pugi::xml_node target, QString key, TValueState before, TValueState after, QString text)
      : QUndoCommand(text), FForm(form), FTarget(target), FKey(std::move(key)), FBefore(std::move(before)),
        FAfter(std::move(after)) {}
  void undo() override { Apply(FBefore); }
  void redo() override {
    if (FFirst) {  // the edit is already in the document
      FFirst = false;
      return;
    }
    Apply(FAfter);
  }
  std::function<void()> Refresh;

 private:
  void Apply(const TValueState& s) {
    const QByteArray bytes = s.Text.toUtf8();
    if (FTarget.first_child())
      FTarget.first_child().set_value(bytes.constData());
    else
      FTarget.append_child(pugi::node_pcdata).set_value(bytes.constData());
    if (s.Entry)
      FForm->Fxf.Changes.insert(FKey, *s.Entry);
    else
      FForm->Fxf.Changes.remove(FKey);
    // The ICD file follows the IED name, also backwards.
    if (FTarget.parent().attribute("id").as_uint() == CIedNameId) FForm->ICDNameChange(s.Text);
    if (Refresh) Refresh();
  }
  TFormPara* FForm;
  pugi::xml_node FTarget;
  QString FKey;
  TValueState FBefore, FAfter;
  bool FFirst = true;
};

inline pugi::xml_node ValueElement(const pugi::xml_node& item, TGridRowTyp kind) {
  const char* path = kind == TGridRowTyp::grtDatapoint ? "rec" : "value";
  pugi::xml_node n = item.child(path);
  if (!n) n = item.select_node((std::string(".//") + path).c_str()).node();
  return n;
}


}  // namespace vanta::formpara
