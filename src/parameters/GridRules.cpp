#include "GridRules.h"

#include <QLocale>
#include <QRegularExpression>
#include <cmath>
#include <limits>

#include "Constants.h"
#include "Language.h"

namespace vanta {

namespace {

const QLocale& CLocale() {
  static const QLocale c = [] {
    QLocale l = QLocale::c();
    l.setNumberOptions(QLocale::RejectGroupSeparator | QLocale::OmitGroupSeparator);
    return l;
  }();
  return c;
}

bool ParseFloat(const QString& text, double& out) {
  const QString t = text.trimmed();
  bool ok = false;
  out = CLocale().toDouble(t, &ok);
  if (ok && std::isfinite(out)) return true;
  if (t.count(QLatin1Char(',')) == 1 && !t.contains(QLatin1Char('.'))) {
    out = CLocale().toDouble(QString(t).replace(QLatin1Char(','), QLatin1Char('.')), &ok);
    return ok && std::isfinite(out);
  }
  return false;
}

// Into [lo, hi]; a document whose lower limit lies above its upper one
// gets the lower limit, not undefined behaviour.
template <typename T>
T Clamp(T v, T lo, T hi) {
  return v < lo ? lo : (v > hi ? hi : v);
}

template <typename T>
bool ParseWhole(const QString& text, T& out) {
  const QString t = text.trimmed();
  bool ok = false;
  if constexpr (std::is_signed_v<T>) {
    const qlonglong v = t.toLongLong(&ok);
    if (!ok || v < std::numeric_limits<T>::min() || v > std::numeric_limits<T>::max()) return false;
    out = T(v);
  } else {
    if (t.startsWith(QLatin1Char('-'))) return false;
    const qulonglong v = t.toULongLong(&ok);
    if (!ok || v > std::numeric_limits<T>::max()) return false;
    out = T(v);
  }
  return true;
}

}  // namespace

QString FormatFloat5(double v) {
  // "0.#####": at most five decimals, no trailing zeros, "." always.
  if (!std::isfinite(v)) return CLocale().toString(v);
  QString s = CLocale().toString(v, 'f', 5);
  if (s.contains(QLatin1Char('.'))) {
    while (s.endsWith(QLatin1Char('0'))) s.chop(1);
    if (s.endsWith(QLatin1Char('.'))) s.chop(1);
  }
  if (s == QLatin1String("-0")) s = QStringLiteral("0");
  return s;
}

bool CheckAsciiChar(QString& text) {
  QString kept;
  kept.reserve(text.size());
  for (const QChar c : text) {
    const char16_t u = c.unicode();
    if (u == '-' || u == '.' || u == '_' || (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z'))
      kept.append(c);
  }
  const bool changed = kept.size() != text.size();
  text = kept;
  return changed;
}

QString EncodeForHTML(const QString& text) { return text.toHtmlEscaped().replace(QLatin1Char('\''), QLatin1String("&#39;")); }

bool IsValidGpsPosition(const QString& text) {
  static const QRegularExpression re(QStringLiteral(
      "^(N|S)([0-9]|[0-8][0-9]|[9][0])((\\.)(\\d{1,8}))?(E|W)([0-9]|[0-9][0-9]|[1][0-7][0-9]|[1][8][0])((\\.)(\\d{1,8}))?$"));
  return re.match(text).hasMatch();
}

QString CheckValue(TGridRow& row, const QVariant& input, const TCheckErrorCallBack& onError, bool& corrected) {
  row.Equal = true;
  corrected = false;
  QString result;
  if (input.isValid() && input.typeId() != QMetaType::QString) return result;
  const QString typed = input.toString();
  QString minText, maxText, defText;
  switch (row.RowTyp) {
    case TGridRowTyp::grtText:
    case TGridRowTyp::grtsecret: {
      QString v = typed;
      if (row.RowTyp == TGridRowTyp::grtText && !row.IsList) corrected = CheckAsciiChar(v);
      if (row.RowTyp == TGridRowTyp::grtsecret) v = EncodeForHTML(v);
      const int max = row.RowMax.toInt();
      if (max >= 0 && v.size() > max) {
        v.truncate(max);
        corrected = true;
      }
      result = v;
      row.Equal = v.compare(row.RowPar.toString(), Qt::CaseInsensitive) == 0;
      row.RowVal = v;
      minText = QString::number(row.RowMin.toInt());
      maxText = QString::number(row.RowMax.toInt());
      defText = CMinus;
      break;
    }
    case TGridRowTyp::grtFloat: {
      double v = 0;
      if (!ParseFloat(typed, v)) {
        v = row.RowDef.toDouble();
        corrected = true;
      }
      if (!row.IsList) {
        const double clamped = Clamp(v, row.RowMin.toDouble(), row.RowMax.toDouble());
        if (clamped != v) corrected = true;
        v = clamped;
      }
      result = FormatFloat5(v);
      row.RowVal = MyStrToFloatDef(result, v);
      row.Equal = std::fabs(row.RowVal.toDouble() - row.RowPar.toDouble()) < 1e-5;
      minText = FormatFloat5(row.RowMin.toDouble());
      maxText = FormatFloat5(row.RowMax.toDouble());
      defText = FormatFloat5(row.RowDef.toDouble());
      break;
    }
    case TGridRowTyp::grtInteger:
    case TGridRowTyp::grtBoolean:
    case TGridRowTyp::grtDatapoint: {
      int32_t v = 0;
      if (!ParseWhole(typed, v)) {
        v = row.RowDef.toInt();
        corrected = true;
      }
      if (!row.IsList) {
        const int32_t clamped = Clamp(v, row.RowMin.toInt(), row.RowMax.toInt());
        if (clamped != v) corrected = true;
        v = clamped;
      }
      result = QString::number(v);
      row.RowVal = v;
      row.Equal = v == row.RowPar.toInt();
      minText = QString::number(row.RowMin.toInt());
      maxText = QString::number(row.RowMax.toInt());
      defText = QString::number(row.RowDef.toInt());
      break;
    }
    case TGridRowTyp::grtUint32:
    case TGridRowTyp::grtmeasId:
    case TGridRowTyp::grtexitmeasId: {
      uint32_t v = 0;
      if (!ParseWhole(typed, v)) {
        v = row.RowDef.toUInt();
        corrected = true;
      }
      if (!row.IsList) {
        const uint32_t clamped = Clamp(v, row.RowMin.toUInt(), row.RowMax.toUInt());
        if (clamped != v) corrected = true;
        v = clamped;
      }
      result = QString::number(v);
      row.RowVal = v;
      row.Equal = v == row.RowPar.toUInt();
      minText = QString::number(row.RowMin.toUInt());
      maxText = QString::number(row.RowMax.toUInt());
      defText = QString::number(row.RowDef.toUInt());
      break;
    }
    case TGridRowTyp::grtipaddress:
      result = typed;
      if (typed.compare(QLatin1String("non"), Qt::CaseInsensitive) == 0) {
        result = row.RowDef.toString();
        corrected = true;
      }
      row.RowVal = result;
      row.Equal = result.compare(row.RowPar.toString(), Qt::CaseInsensitive) == 0;
      minText = row.RowMin.toString();
      maxText = row.RowMax.toString();
      defText = row.RowDef.toString();
      break;
    case TGridRowTyp::grtProperty:
      return result;
  }
  if (corrected && !row.IsList && onError) onError(row.IDStr, minText, maxText, defText, result, typed);
  return result;
}

QString DisplayText(const TGridRow& row, int column, const std::function<QString(const QString&)>& nameOfId) {
  switch (column) {
    case 0: return row.RowCap;
    case 3:
    case 4: {
      // Limits as stored; numbers of a float row without an exponent where
      // fifteen digits allow it (1000000, not 1e+06).
      const QVariant& v = column == 3 ? row.RowMin : row.RowMax;
      return row.RowTyp == TGridRowTyp::grtFloat && !row.IsList ? QString::number(v.toDouble(), 'g', 15) : v.toString();
    }
    case 1:
    case 2: break;
    default: return QStringLiteral("NaN");
  }
  const QVariant& v = column == 1 ? row.RowVal : row.RowDef;
  if (row.IsList) {
    QString text = row.RowTyp == TGridRowTyp::grtFloat ? FormatFloat5(v.toDouble()) : v.toString();
    if (text.isEmpty()) text = CEmpty;
    for (const QString& entry : row.List) {
      const qsizetype eq = entry.indexOf(QLatin1Char('='));
      if (entry.left(eq) == text) return entry.mid(eq + 1);
    }
    return text;
  }
  switch (row.RowTyp) {
    case TGridRowTyp::grtBoolean:
    case TGridRowTyp::grtDatapoint: return {};  // a check image is drawn
    case TGridRowTyp::grtsecret: return column == 1 ? QString(row.RowVal.toString().size(), QLatin1Char('*')) : QString();
    case TGridRowTyp::grtmeasId:
    case TGridRowTyp::grtexitmeasId:
      if (column == 1 && v.toString() != QLatin1String("0") && nameOfId)
        return QStringLiteral("%1 (%2)").arg(nameOfId(v.toString()), v.toString());
      return v.toString();
    case TGridRowTyp::grtFloat: return column == 1 ? FormatFloat5(v.toDouble()) : v.toString();
    default: return v.toString();
  }
}

bool IsValidIedName(const QString& text) {
  static const QRegularExpression re(QStringLiteral("^[A-Za-z][0-9A-Za-z_]{0,63}$"));
  return re.match(text).hasMatch();
}

bool IsListEntry(const TGridRow& row, const QString& value) {
  if (!row.IsList) return true;
  QString text = value;
  if (row.RowTyp == TGridRowTyp::grtFloat) {
    const double v = MyStrToFloatDef(value, std::nan(""));
    if (std::isnan(v)) return false;
    text = FormatFloat5(v);
  }
  for (const QString& entry : row.List) {
    QString stored = entry.left(entry.indexOf(QLatin1Char('=')));
    if (stored == CEmpty) stored.clear();
    if (row.RowTyp == TGridRowTyp::grtFloat) stored = FormatFloat5(MyStrToFloatDef(stored, std::nan("")));
    if (stored == text) return true;
  }
  return false;
}

TAcceptResult AcceptValue(TGridRow& row, const QString& typed, const TCheckErrorCallBack& onError,
                          const std::function<void(const QString&)>& onIedName) {
  TAcceptResult r;
  TGridRow candidate = row;
  r.Stored = CheckValue(candidate, QVariant(typed), onError, r.Corrected);
  if (row.ID == CGpsPositionId && !IsValidGpsPosition(typed)) return r;  // the old value stays
  // The IED name also names the station in the ICD file: an invalid one is refused, not cut.
  if (row.ID == CIedNameId && !IsValidIedName(typed)) return r;
  // A list takes only its entries: anything else is no choice the device
  // offers. An input that does not even read as the row's kind would have
  // become the default, an entry nobody chose.
  if (row.IsList && (r.Corrected || !IsListEntry(row, r.Stored))) return r;
  if (row.ID == CIedNameId && onIedName) onIedName(typed);
  row = candidate;
  r.Accepted = true;
  return r;
}

bool KeepsRules(const TGridRow& row, const QString& value, QString* allowed) {
  auto says = [allowed](const QString& text) {
    if (allowed) *allowed = text;
  };
  if (row.IsList) {
    QStringList entries;
    for (const QString& e : row.List) entries << e.left(e.indexOf(QLatin1Char('=')));
    says(entries.join(QStringLiteral(", ")));
    return IsListEntry(row, value);
  }
  if (row.ID == CGpsPositionId) {
    says(QStringLiteral("Format N49.12345678E11.12345678"));
    return IsValidGpsPosition(value);
  }
  if (row.ID == CIedNameId) {
    says(TTr::tr("IED-Name nach IEC 61850"));
    return IsValidIedName(value);
  }
  switch (row.RowTyp) {
    case TGridRowTyp::grtProperty:
      return true;
    case TGridRowTyp::grtText:
    case TGridRowTyp::grtsecret:
      says(TTr::tr("höchstens %1 Zeichen").arg(row.RowMax.toInt()));
      return row.RowMax.toInt() < 0 || value.size() <= row.RowMax.toInt();
    default: {
      // The limits and the kind's reading: a value the grid would clamp or
      // replace by its default breaks them.
      TGridRow probe = row;
      bool corrected = false;
      CheckValue(probe, value, {}, corrected);
      says(row.RowTyp == TGridRowTyp::grtipaddress ? TTr::tr("eine IP-Adresse")
                                                   : QStringLiteral("%1 – %2").arg(DisplayText(row, 3), DisplayText(row, 4)));
      return !corrected;
    }
  }
}

void FillColumn(std::vector<TGridRow>& rows, int from, const std::function<void(TGridRow& row, const QString& text)>& accept) {
  if (from < 0 || from >= int(rows.size())) return;
  const QString text = QString::number(rows[size_t(from)].RowVal.toInt());
  for (size_t i = size_t(from) + 1; i < rows.size(); ++i) accept(rows[i], text);
}

QString ClipboardText(const std::vector<TGridRow>& rows) {
  QString out;
  auto line = [&out](const QStringList& fields) { out += fields.join(QLatin1Char('\t')) + QLatin1String("\r\n"); };
  for (const TGridRow& r : rows) {
    switch (r.RowTyp) {
      case TGridRowTyp::grtText:
        line({r.RowCap, r.RowVal.toString(), r.RowDef.toString(), r.RowMin.toString(), r.RowMax.toString()});
        break;
      case TGridRowTyp::grtFloat: {
        auto g = [](const QVariant& v) { return QString::number(v.toDouble(), 'g', 15); };
        line({r.RowCap, g(r.RowVal), g(r.RowDef), g(r.RowMin), g(r.RowMax)});
        break;
      }
      case TGridRowTyp::grtInteger:
      case TGridRowTyp::grtBoolean:
      case TGridRowTyp::grtDatapoint: {
        auto d = [](const QVariant& v) { return QString::number(v.toInt()); };
        line({r.RowCap, d(r.RowVal), d(r.RowDef), d(r.RowMin), d(r.RowMax)});
        break;
      }
      case TGridRowTyp::grtUint32:
      case TGridRowTyp::grtmeasId:
      case TGridRowTyp::grtexitmeasId: {
        auto u = [](const QVariant& v) { return QString::number(v.toUInt()); };
        line({r.RowCap, u(r.RowVal), u(r.RowDef), u(r.RowMin), u(r.RowMax)});
        break;
      }
      default:
        out += QLatin1String("\r\n");
        break;
    }
  }
  return out;
}

}  // namespace vanta
