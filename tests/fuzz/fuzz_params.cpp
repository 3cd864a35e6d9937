#include "fuzz_params.h"

#include <QByteArray>
#include <QString>

#include "GridRules.h"
#include "ParaExport.h"
#include "ParaHelper.h"

namespace vanta::fuzz {

bool FuzzParamsOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  TParaDocument doc;
  QString error;
  if (!doc.LoadBytes(bytes, error)) return false;
  const QString typed = QString::fromLatin1(bytes.right(16));
  const TCaptionSource captions;
  for (int level : {0, 3}) {
    std::vector<TGridRow> rows;
    for (const pugi::xpath_node& x : doc.Sys().select_nodes(".//*[@id]")) {
      TGridRow row;
      const QString parent = QString::fromUtf8(x.node().parent().attribute("id").value());
      if (!GetGridRow(level, parent, x.node(), row, captions, doc.Changes)) continue;
      for (int c = 0; c < 6; ++c) DisplayText(row, c);
      TGridRow edited = row;
      const TAcceptResult r = AcceptValue(edited, typed, {});
      if (r.Accepted && row.RowTyp != TGridRowTyp::grtProperty) WriteBackValue(row.Node, r.Stored, edited.Equal, row.RowTyp, doc.Changes);
      rows.push_back(row);
    }
    ClipboardText(rows);
    WalkParaTree(doc.Sys(), level, captions);
  }
  CheckAllMandatoryNodes(doc.Doc());
  ChangeExport(doc, doc.Changes);
  CsvExport(doc, 3, captions, ModuleEntries(doc, captions));
  return true;
}

}  // namespace vanta::fuzz
