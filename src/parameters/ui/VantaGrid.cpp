#include "VantaGrid.h"

#include "Constants.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace vanta {

namespace {

// Shown through TVantaGridModel::tr in the header.
const char* const CHeaders[] = {QT_TRANSLATE_NOOP("vanta::TVantaGridModel", "Parametername"),
                                QT_TRANSLATE_NOOP("vanta::TVantaGridModel", "Wert"),
                                QT_TRANSLATE_NOOP("vanta::TVantaGridModel", "Werkseinstellung"),
                                QT_TRANSLATE_NOOP("vanta::TVantaGridModel", "Minimum"),
                                QT_TRANSLATE_NOOP("vanta::TVantaGridModel", "Maximum")};
const int CWidths[] = {100, 100, 200, 150, 150};

bool IsCheckKind(const TGridRow& r) {
  return r.RowTyp == TGridRowTyp::grtBoolean || r.RowTyp == TGridRowTyp::grtDatapoint;
}

// The value differs from what the device sent (floats within the five
// places the grid keeps).
bool Changed(const TGridRow& r) {
  if (r.RowTyp == TGridRowTyp::grtFloat) return std::fabs(r.RowVal.toDouble() - r.RowPar.toDouble()) > 1e-5;
  return r.RowVal.toString() != r.RowPar.toString();
}

bool DiffersFromDefault(const TGridRow& r) {
  if (r.RowTyp == TGridRowTyp::grtProperty || r.RowDef.toString().isEmpty()) return false;
  if (r.RowTyp == TGridRowTyp::grtFloat) return std::fabs(r.RowVal.toDouble() - r.RowDef.toDouble()) > 1e-5;
  return r.RowVal.toString() != r.RowDef.toString();
}

// The inverse of EncodeForHTML for the characters it encodes.
QString DecodeHTML(QString text) {
  static const std::pair<const char*, const char*> CEntities[] = {
      {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}, {"&#x27;", "'"}, {"&apos;", "'"}, {"&amp;", "&"}};
  for (const auto& [from, to] : CEntities) text.replace(QLatin1String(from), QLatin1String(to));
  return text;
}

QPixmap Bitmap(const std::vector<QPoint>& points) {
  QPixmap p(11, 11);
  p.fill(Qt::transparent);
  QPainter g(&p);
  g.setPen(QPen(Qt::black, 1));
  for (size_t i = 1; i < points.size(); ++i) g.drawLine(points[i - 1], points[i]);
  return p;
}

}  // namespace

// ---- model ------------------------------------------------------------------------------------

TVantaGridModel::TVantaGridModel(TVantaGrid* grid) : QAbstractTableModel(grid), FGrid(grid) {}

int TVantaGridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : FRows; }
int TVantaGridModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 5; }

QVariant TVantaGridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= int(FGrid->FRowLst.size())) return {};
  const TGridRow& r = FGrid->FRowLst[size_t(index.row())];
  const int col = index.column();
  switch (role) {
    case Qt::DisplayRole:
      return DisplayText(r, col, FGrid->GetStringFromIDCB);
    case Qt::EditRole:
      if (col != 1) return DisplayText(r, col);
      // A secret is stored encoded; the editor gets it as typed, so that a
      // commit without a change stores the same text again.
      if (r.RowTyp == TGridRowTyp::grtsecret) return DecodeHTML(r.RowVal.toString());
      return r.RowTyp == TGridRowTyp::grtFloat ? FormatFloat5(r.RowVal.toDouble()) : r.RowVal.toString();
    case Qt::ForegroundRole:
      if (col == 1 && DiffersFromDefault(r)) return QColor(0x00, 0x40, 0xA0);
      return {};
    case Qt::ToolTipRole:
      if (col == 0) return QStringLiteral("%1 (0x%2)").arg(r.IDStr).arg(r.ID, 8, 16, QLatin1Char('0'));
      if (col == 1 && Changed(r)) return tr("Gelesen: %1").arg(DisplayText([&] {
                                                                               TGridRow o = r;
                                                                               o.RowVal = r.RowPar;
                                                                               return o;
                                                                             }(), 1, FGrid->GetStringFromIDCB));
      return {};
    case Qt::FontRole:
      // Values away from the factory setting stand out even when unchanged.
      if (col == 1 && DiffersFromDefault(r)) {
        QFont f = FGrid->font();
        f.setBold(true);
        return f;
      }
      if (col >= 3) {
        QFont f = FGrid->font();
        f.setPixelSize(12);
        return f;
      }
      return {};
    case Qt::DecorationRole:
      if (col == 1 && r.IsList) return TVantaGrid::ImgList();
      if ((col == 1 || (col == 2 && !r.IsList)) && IsCheckKind(r) && !r.IsList) {
        const QVariant& v = col == 1 ? r.RowVal : r.RowDef;
        return v.toString().trimmed() == QLatin1String("1") ? TVantaGrid::ImgBoolTrue() : TVantaGrid::ImgBoolFalse();
      }
      return {};
    case Qt::UserRole:  // the fill of the value cell: 1 changed, 2 read-only, 3 property
      if (col != 1) return 0;
      if (Changed(r)) return 1;
      // A property is never editable: it is asked for before the read-only grey.
      if (r.RowTyp == TGridRowTyp::grtProperty) return 3;
      if (!r.Editable) return 2;
      return 0;
    default:
      return {};
  }
}

bool TVantaGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || index.column() != 1) return false;
  return FGrid->SetValue(index.row(), value.toString());
}

Qt::ItemFlags TVantaGridModel::flags(const QModelIndex& index) const {
  if (!index.isValid() || index.row() >= int(FGrid->FRowLst.size())) return Qt::NoItemFlags;
  const TGridRow& r = FGrid->FRowLst[size_t(index.row())];
  Qt::ItemFlags f = Qt::ItemIsEnabled;
  if (index.column() == 1 || FGrid->Visibility() >= 2) f |= Qt::ItemIsSelectable;
  if (index.column() == 1 && r.Editable && !r.IsList && !IsCheckKind(r) && r.RowTyp != TGridRowTyp::grtmeasId &&
      r.RowTyp != TGridRowTyp::grtexitmeasId && r.RowTyp != TGridRowTyp::grtProperty)
    f |= Qt::ItemIsEditable;
  return f;
}

QVariant TVantaGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < 5)
    return tr(CHeaders[section]);
  return QAbstractTableModel::headerData(section, orientation, role);
}

void TVantaGridModel::Reset(int rows) {
  beginResetModel();
  FRows = rows;
  endResetModel();
}

void TVantaGridModel::RowChanged(int row) { emit dataChanged(index(row, 0), index(row, 4)); }

// ---- delegate ---------------------------------------------------------------------------------

QWidget* TVantaGridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const {
  auto* e = new QLineEdit(parent);
  e->setFrame(false);
  if (FGrid->Rows()[size_t(index.row())].RowTyp == TGridRowTyp::grtsecret) e->setEchoMode(QLineEdit::Password);
  e->installEventFilter(const_cast<TVantaGridDelegate*>(this));
  return e;
}

bool TVantaGridDelegate::eventFilter(QObject* object, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const QString t = static_cast<QKeyEvent*>(event)->text();
    // Characters the device cannot store never reach the cell; control keys pass.
    if (t.size() == 1 && t[0].unicode() >= 0x20 && (t[0].unicode() > 0x7A)) return true;
  }
  return QStyledItemDelegate::eventFilter(object, event);
}

void TVantaGridDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
  QStyledItemDelegate::initStyleOption(option, index);
  const TGridRow& r = FGrid->Rows()[size_t(index.row())];
  if (r.IsList) option->decorationPosition = QStyleOptionViewItem::Right;
  if (!r.IsList && (r.RowTyp == TGridRowTyp::grtBoolean || r.RowTyp == TGridRowTyp::grtDatapoint))
    option->decorationAlignment = Qt::AlignLeft | Qt::AlignVCenter;
}

void TVantaGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  if (index.column() == 1) {
    FGrid->CountValueDraw();
    const int fill = index.data(Qt::UserRole).toInt();
    static const QColor CFills[] = {{}, QColor(0xFF, 0, 0), QColor(0x80, 0x80, 0x80), QColor(0, 0, 0xFF)};
    if (fill > 0) {
      QColor c = CFills[fill];
      c.setAlphaF(0.2f);
      painter->save();
      painter->setRenderHint(QPainter::Antialiasing);
      QPainterPath path;
      path.addRoundedRect(QRectF(option.rect).adjusted(1, 1, -1, -1), 10, 10);
      painter->fillPath(path, c);
      painter->restore();
    }
  } else if (index.column() >= 3) {
    QColor c(0xFF, 0, 0);
    c.setAlphaF(0.2f);
    painter->fillRect(option.rect, c);
  }
  QStyledItemDelegate::paint(painter, option, index);
}

// ---- grid -------------------------------------------------------------------------------------

TVantaGrid::TVantaGrid(QWidget* parent) : QTableView(parent), FModel(new TVantaGridModel(this)) {
  setObjectName(QStringLiteral("Grid-Style"));
  setModel(FModel);
  setItemDelegate(new TVantaGridDelegate(this));
  setAlternatingRowColors(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectItems);
  setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
  setWordWrap(false);
  verticalHeader()->setVisible(false);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
  horizontalHeader()->setStretchLastSection(true);
  for (int i = 0; i < 5; ++i) setColumnWidth(i, CWidths[i]);
  ChoosePopup = [this](const QStringList& captions, const QPoint& at) {
    QMenu menu(this);
    for (int i = 0; i < captions.size(); ++i) menu.addAction(captions[i])->setData(i);
    QAction* a = menu.exec(at);
    return a ? a->data().toInt() : -1;
  };
}

void TVantaGrid::SetRowCnt() { FModel->Reset(int(FRowLst.size())); }

void TVantaGrid::ClearList() {
  FRowLst.clear();
  FModel->Reset(0);
}

void TVantaGrid::HideColumns(int level) {
  setUpdatesEnabled(false);
  setColumnHidden(3, level < 2);
  setColumnHidden(4, level < 2);
  setUpdatesEnabled(true);
}

void TVantaGrid::FillColumn(int row) {
  setUpdatesEnabled(false);
  vanta::FillColumn(FRowLst, row, [this](TGridRow& r, const QString& text) {
    SetValue(int(&r - FRowLst.data()), text);
  });
  setUpdatesEnabled(true);
  viewport()->update();
}

void TVantaGrid::CopyToClip() { QApplication::clipboard()->setText(ClipboardText(FRowLst)); }

bool TVantaGrid::SetValue(int row, const QString& typed) {
  if (row < 0 || row >= int(FRowLst.size())) return false;
  TGridRow& r = FRowLst[size_t(row)];
  const TAcceptResult res = AcceptValue(r, typed, CheckErrorCallBack, ICDCallBack);
  if (!res.Accepted) {
    if (InvalidMaskCB) InvalidMaskCB(typed, r.ID);
    return false;
  }
  if (OnGridRowChange) OnGridRowChange(this, r.Node, res.Stored, r.Equal, r.RowTyp);
  FModel->RowChanged(row);
  return true;
}

void TVantaGrid::ClickCell(int row, int column, Qt::MouseButton button, const QPoint& globalPos) {
  const bool valid = row >= 0 && row < int(FRowLst.size());
  if (valid && column == 1 && button == Qt::LeftButton) {
    TGridRow& r = FRowLst[size_t(row)];
    setCurrentIndex(FModel->index(row, 1));
    if (r.IsList && r.Editable) {
      FChoiceRow = row;
      QStringList captions, values;
      for (const QString& e : r.List) {
        const qsizetype eq = e.indexOf(QLatin1Char('='));
        values << (eq < 0 ? e : e.left(eq));
        captions << (eq < 0 ? e : e.mid(eq + 1));
      }
      const int chosen = ChoosePopup ? ChoosePopup(captions, globalPos) : -1;
      if (chosen >= 0 && chosen < values.size() && FChoiceRow == row)
        SetValue(row, values[chosen] == CEmpty ? QString() : values[chosen]);
      FChoiceRow = -1;
    } else if (IsCheckKind(r) && r.Editable) {
      SetValue(row, r.RowVal.toString().trimmed() == QLatin1String("1") ? QStringLiteral("0") : QStringLiteral("1"));
    } else if (r.RowTyp == TGridRowTyp::grtmeasId && MessWatchCB) {
      if (const uint32_t id = MessWatchCB(r.RowVal.toUInt())) SetValue(row, QString::number(id));
    } else if (r.RowTyp == TGridRowTyp::grtexitmeasId && ModBusCB) {
      if (const uint32_t id = ModBusCB(r.RowVal.toUInt())) SetValue(row, QString::number(id));
    }
    return;
  }
  if (valid && column == 1 && button == Qt::RightButton) {
    if (FRowLst[size_t(row)].RowTyp == TGridRowTyp::grtDatapoint && RMBDataPointCB) RMBDataPointCB(row);
    return;
  }
  if (valid && column == 0 && button == Qt::RightButton && CopyClip) {
    CopyClip(FRowLst[size_t(row)].RowCap);
    return;
  }
  if (!valid || FVisibility < 2) clearSelection();
}

void TVantaGrid::mousePressEvent(QMouseEvent* event) {
  const QModelIndex idx = indexAt(event->position().toPoint());
  const int row = idx.isValid() ? idx.row() : -1;
  const int col = idx.isValid() ? idx.column() : -1;
  // Only the value column is selectable below the service level.
  if (col == 1 || (col >= 0 && FVisibility >= 2)) QTableView::mousePressEvent(event);
  ClickCell(row, col, event->button(), event->globalPosition().toPoint());
}

void TVantaGrid::keyPressEvent(QKeyEvent* event) {
  const QModelIndex idx = currentIndex();
  // Space toggles check rows and opens lists, as a click would.
  if (idx.isValid() && idx.column() == 1 && (event->key() == Qt::Key_Space || event->key() == Qt::Key_F4)) {
    const TGridRow& r = FRowLst[size_t(idx.row())];
    if (r.IsList || IsCheckKind(r) || r.RowTyp == TGridRowTyp::grtmeasId || r.RowTyp == TGridRowTyp::grtexitmeasId) {
      ClickCell(idx.row(), 1, Qt::LeftButton, viewport()->mapToGlobal(visualRect(idx).bottomLeft()));
      return;
    }
  }
  if (event->matches(QKeySequence::Copy)) {
    CopyToClip();
    return;
  }
  QTableView::keyPressEvent(event);
}

void TVantaGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTableView::currentChanged(current, previous);
  if (current.isValid() && current.column() == 1 && current.row() < int(FRowLst.size())) {
    const TGridRow& r = FRowLst[size_t(current.row())];
    if (r.ID == CTunnelConfigId && WireguardCB) WireguardCB(r.RowVal.toString());
  }
}

QPixmap TVantaGrid::ImgBoolTrue() {
  static const QPixmap p = Bitmap({{1, 6}, {3, 9}, {9, 1}});
  return p;
}
QPixmap TVantaGrid::ImgBoolFalse() {
  static const QPixmap p = Bitmap({{1, 1}, {1, 9}, {9, 9}, {9, 1}, {1, 1}});
  return p;
}
QPixmap TVantaGrid::ImgList() {
  static const QPixmap p = Bitmap({{1, 5}, {5, 9}, {9, 5}});
  return p;
}

}  // namespace vanta
