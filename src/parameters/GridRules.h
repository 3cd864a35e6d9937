#pragma once
// The value rules of the parameter grid without the grid: what a cell
// shows, how a typed value is checked and normalised (CheckValue), the
// format checks by id, filling a column, and the clipboard text. The
// editor window draws on top of these; the command line uses them directly.
#include <QString>
#include <QVariant>
#include <functional>
#include <vector>

#include "ParaHelper.h"

namespace vanta {

// The fixed ids with a format check or a role of their own.
inline constexpr uint32_t CGpsPositionId = 4261413254u;  // 0xFE000186
inline constexpr uint32_t CIedNameId = 4278190467u;      // 0xFF000183
inline constexpr uint32_t CTunnelConfigId = 4261413803u; // 0xFE0003AB

// ValID, Min, Max, Def, the stored value, the typed value.
using TCheckErrorCallBack = std::function<void(const QString& ValID, const QString& Min, const QString& Max,
                                               const QString& Def, const QString& OutVal, const QString& InVal)>;

// Validates and normalises one input for `row` (the row's RowVal and Equal
// follow); returns the text to store. `corrected` is set when the input was
// changed other than by normalising (a comma, rounding to five places).
QString CheckValue(TGridRow& row, const QVariant& input, const TCheckErrorCallBack& onError, bool& corrected);

// Float texts as the grid shows and stores them: at most five decimals, "." as separator.
QString FormatFloat5(double v);
// Only "-", ".", digits, letters and "_" are kept; true when something was removed.
bool CheckAsciiChar(QString& text);
// HTML entity encoding of the characters HTML reserves.
QString EncodeForHTML(const QString& text);
bool IsValidGpsPosition(const QString& text);
// An IED name as IEC 61850 allows it: a letter, then letters, digits and "_", at most 64.
bool IsValidIedName(const QString& text);

// Column texts: 0 caption, 1 value, 2 default, 3 minimum, 4 maximum.
QString DisplayText(const TGridRow& row, int column, const std::function<QString(const QString&)>& nameOfId = {});

// Whether `value` (a stored text) is one of the entries of a list row; any
// value is for a row that is no list.
bool IsListEntry(const TGridRow& row, const QString& value);

// Whether a value as a set holds it (not as typed) keeps the row's own
// rules: an entry for a list, the format for the GPS position and the IED
// name, the length for a text, a readable number within the limits for the
// rest. Which characters the grid lets one type is no rule of the set.
// `allowed` gets the rule in words ("45 – 65", "a, b, c") for the message.
bool KeepsRules(const TGridRow& row, const QString& value, QString* allowed = nullptr);

// The grid's accept path for one typed value: CheckValue, then the format
// checks by id and, for a list, its entries. On acceptance the row is updated and `onAccept` gets the
// stored text; a rejected input leaves the row untouched.
struct TAcceptResult {
  bool Accepted = false;
  bool Corrected = false;
  QString Stored;
};
TAcceptResult AcceptValue(TGridRow& row, const QString& typed, const TCheckErrorCallBack& onError,
                          const std::function<void(const QString& iedName)>& onIedName = {});

// Sets every row after `from` to that row's value read as an integer.
// `accept` is the path a typed value takes (it writes into the document).
void FillColumn(std::vector<TGridRow>& rows, int from, const std::function<void(TGridRow& row, const QString& text)>& accept);

// All rows as tab-separated lines ending in CR LF.
QString ClipboardText(const std::vector<TGridRow>& rows);

}  // namespace vanta
