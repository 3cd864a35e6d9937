#include "ParaDialogs.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <cstring>
#include <functional>
#include <QVBoxLayout>

namespace vanta {

namespace {

constexpr int CTagRole = Qt::UserRole;       // 0 module/group, 1 value
constexpr int CKeyRole = Qt::UserRole + 1;   // match key of a value item

QHBoxLayout* OkCancelRow(QDialog* dlg, QPushButton*& ok, QPushButton*& abort, const QString& okText,
                         const QString& abortText) {
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  ok = new QPushButton(okText, dlg);
  abort = new QPushButton(abortText, dlg);
  row->addWidget(ok);
  row->addWidget(abort);
  return row;
}

}  // namespace

// ---- import: which values to take over -----------------------------------------------------

TFrmParaChanged::TFrmParaChanged(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Import"));
  resize(900, 600);
  auto* v = new QVBoxLayout(this);
  ParaChangedDesc = new QLabel(this);
  ParaChangedDesc->setWordWrap(true);
  v->addWidget(ParaChangedDesc);
  TreeView1 = new QTreeWidget(this);
  TreeView1->setColumnCount(4);
  TreeView1->setHeaderLabels({tr("Parameter"), tr("Gerät"), tr("Datei"),
                              tr("Werkseinstellung")});
  TreeView1->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  v->addWidget(TreeView1, 1);
  chkService = new QCheckBox(tr("Serviceparameter übertragen"), this);
  v->addWidget(chkService);
  v->addLayout(OkCancelRow(this, btnOK, btnAbort, QStringLiteral("Ok"), tr("Abbrechen")));
  connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnAbort, &QPushButton::clicked, this, &QDialog::reject);
  connect(TreeView1, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
    if (column == 0 && !FInClick) Propagate(item);
  });
  connect(chkService, &QCheckBox::toggled, this, [this](bool on) { ServiceChanged(on); });
}

void TFrmParaChanged::SetText(const QString& device) {
  ParaChangedDesc->setText(
      tr("Wähle Sie die Parameter aus, die Sie in Ihre Parametrierung vom Gerät [%1] übernehmen wollen. Die Parameterwerte in Klammern entsprechen den aktuellen Werten aus dem Mervix vanta und werden bei Auswahl mit den neuen Werten überschrieben.")
          .arg(device));
}

namespace {

// The groups between an item and its software module (or "sys"), outermost first.
QList<pugi::xml_node> GroupsAbove(const pugi::xml_node& item) {
  QList<pugi::xml_node> groups;
  for (pugi::xml_node n = item.parent(); n; n = n.parent()) {
    const bool module = std::strcmp(n.name(), "swmodule") == 0 || n.parent().attribute("id").as_uint() == CModuleGroupId;
    if (module || std::strcmp(n.name(), "group") != 0 || std::strcmp(n.attribute("name").value(), "sys") == 0) break;
    groups.prepend(n);
  }
  return groups;
}

}  // namespace

void TFrmParaChanged::InsertTV(const QList<TCompareRec>& candidates, const QStringList& untickedModules,
                               const TCaptionSource& captions) {
  FInClick = true;
  TreeView1->setUpdatesEnabled(false);
  TreeView1->clear();
  QHash<QString, QTreeWidgetItem*> folders;  // module caption, then "/group id" per level
  auto folder = [&](const QString& key, QTreeWidgetItem* parent, const QString& text) {
    QTreeWidgetItem*& f = folders[key];
    if (!f) {
      f = parent ? new QTreeWidgetItem(parent, {text}) : new QTreeWidgetItem(TreeView1, {text});
      f->setData(0, CTagRole, 0);
      f->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
      f->setCheckState(0, Qt::Checked);
      f->setExpanded(true);
    }
    return f;
  };
  for (const TCompareRec& c : candidates) {
    const QString module = c.Module.isEmpty() ? QStringLiteral("System") : c.Module;
    QString key = module;
    QTreeWidgetItem* parent = folder(key, nullptr, module);
    for (const pugi::xml_node& g : GroupsAbove(c.Item)) {
      key += QLatin1Char('/') + QString::fromUtf8(g.attribute("id").value());
      parent = folder(key, parent, captions.CaptionOf(g.attribute("id").as_uint()));
    }
    auto* item = new QTreeWidgetItem(parent, {c.NodeName, c.OriVal, c.ImportVal, c.Default});
    item->setData(0, CTagRole, 1);
    item->setData(0, CKeyRole, c.Key);
    item->setToolTip(0, c.Line());
    // Service items follow only the service check box: they start as it is,
    // so an unticked box takes none of them.
    item->setFlags(c.Tickable() ? Qt::ItemIsEnabled | Qt::ItemIsUserCheckable : Qt::ItemIsUserCheckable);
    item->setCheckState(0, c.Tickable() || chkService->isChecked() ? Qt::Checked : Qt::Unchecked);
    if (!c.Valid) {
      // The file's value is out of range: the default goes in instead.
      item->setForeground(2, Qt::red);
      item->setText(2, c.ImportVal + tr("  (ungültig → Standard)"));
      item->setForeground(3, Qt::darkGreen);
    }
  }
  TreeView1->setUpdatesEnabled(true);
  TreeView1->resizeColumnToContents(1);
  TreeView1->resizeColumnToContents(2);
  FInClick = false;
  // Folders holding only service items are ticked exactly when those are.
  ServiceChanged(chkService->isChecked());
  for (const QString& name : untickedModules)
    if (QTreeWidgetItem* m = ModuleItem(name)) SetTicked(m, false);
}

QTreeWidgetItem* TFrmParaChanged::ModuleItem(const QString& caption) const {
  for (int i = 0; i < TreeView1->topLevelItemCount(); ++i)
    if (TreeView1->topLevelItem(i)->text(0) == caption) return TreeView1->topLevelItem(i);
  return nullptr;
}

QTreeWidgetItem* TFrmParaChanged::ValueItem(const QString& key) const {
  for (QTreeWidgetItemIterator it(TreeView1); *it; ++it)
    if ((*it)->data(0, CKeyRole).toString() == key) return *it;
  return nullptr;
}

void TFrmParaChanged::SetTicked(QTreeWidgetItem* item, bool on) {
  if (item) item->setCheckState(0, on ? Qt::Checked : Qt::Unchecked);  // itemChanged propagates
}

void TFrmParaChanged::Propagate(QTreeWidgetItem* item) {
  FInClick = true;
  const Qt::CheckState s = item->checkState(0);
  std::function<void(QTreeWidgetItem*)> down = [&](QTreeWidgetItem* p) {
    for (int i = 0; i < p->childCount(); ++i) {
      QTreeWidgetItem* c = p->child(i);
      if (!(c->flags() & Qt::ItemIsEnabled)) continue;
      c->setCheckState(0, s);
      down(c);
    }
  };
  down(item);
  for (QTreeWidgetItem* p = item->parent(); p; p = p->parent()) {
    bool any = false;
    for (int i = 0; i < p->childCount(); ++i) any |= p->child(i)->checkState(0) == Qt::Checked;
    p->setCheckState(0, any ? Qt::Checked : Qt::Unchecked);
  }
  FInClick = false;
}

void TFrmParaChanged::ServiceChanged(bool on) {
  FInClick = true;
  // Disabled (service) items take the box's state; then every folder, from
  // the leaves up, is ticked exactly when one of its children is.
  std::function<bool(QTreeWidgetItem*)> apply = [&](QTreeWidgetItem* p) {
    if (p->data(0, CTagRole).toInt() == 1) {
      if (!(p->flags() & Qt::ItemIsEnabled)) p->setCheckState(0, on ? Qt::Checked : Qt::Unchecked);
      return p->checkState(0) == Qt::Checked;
    }
    bool any = false;
    for (int i = 0; i < p->childCount(); ++i) any |= apply(p->child(i));
    p->setCheckState(0, any ? Qt::Checked : Qt::Unchecked);
    return any;
  };
  for (int i = 0; i < TreeView1->topLevelItemCount(); ++i) apply(TreeView1->topLevelItem(i));
  FInClick = false;
}

QStringList TFrmParaChanged::TickedKeys() const {
  QStringList keys;
  for (QTreeWidgetItemIterator it(TreeView1); *it; ++it)
    if ((*it)->data(0, CTagRole).toInt() == 1 && (*it)->checkState(0) == Qt::Checked &&
        ((*it)->flags() & Qt::ItemIsEnabled || chkService->isChecked()))
      keys << (*it)->data(0, CKeyRole).toString();
  return keys;
}

// ---- modules to send or export ------------------------------------------------------------

namespace {
// A right click selects one module alone.
class TSelList : public QListWidget {
 public:
  using QListWidget::QListWidget;
  std::function<void(int)> OnRightClick;

 protected:
  void mousePressEvent(QMouseEvent* e) override {
    if (e->button() == Qt::RightButton) {
      const QModelIndex i = indexAt(e->position().toPoint());
      if (i.isValid() && OnRightClick) OnRightClick(i.row());
      return;
    }
    QListWidget::mousePressEvent(e);
  }
};
}  // namespace

TFrmParaSelect::TFrmParaSelect(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Upload"));
  resize(460, 480);
  auto* v = new QVBoxLayout(this);
  TxtDescSelect = new QLabel(this);
  TxtDescSelect->setWordWrap(true);
  v->addWidget(TxtDescSelect);
  auto* list = new TSelList(this);
  list->OnRightClick = [this](int row) { TickOnly(row); };
  lstSel = list;
  v->addWidget(lstSel, 1);
  v->addLayout(OkCancelRow(this, btnOk, btnAbort, QStringLiteral("Ok"), tr("Abbrechen")));
  connect(btnOk, &QPushButton::clicked, this, [this] { FCopy ? btnCopyOkClick() : btnOkClick(); });
  connect(btnAbort, &QPushButton::clicked, this, &QDialog::reject);
}

void TFrmParaSelect::CreateSelect(const QString& device, QStringList* moduleList) {
  FSL = moduleList;
  FCopy = false;
  TxtDescSelect->setText(
      tr("Wählen Sie die Parameter aus, die an das Mervix vanta [%1] gesendet werden sollen.").arg(device));
  lstSel->clear();
  for (const QString& e : *FSL) {
    const qsizetype eq = e.lastIndexOf(QLatin1Char('='));
    if (eq < 0 || e.mid(eq + 1) != QLatin1String("1")) continue;
    auto* item = new QListWidgetItem(e.left(eq), lstSel);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
    item->setCheckState(Qt::Checked);
  }
}

void TFrmParaSelect::CreateCopySelect(QStringList* entries) {
  FSL = entries;
  FCopy = true;
  TxtDescSelect->setText(tr("Wählen Sie die Parameter aus, die in die CSV-Datei exportiert werden sollen."));
  lstSel->clear();
  for (const QString& e : *FSL) {
    auto* item = new QListWidgetItem(e.mid(e.indexOf(QLatin1Char('=')) + 1), lstSel);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
    item->setCheckState(Qt::Checked);
  }
}

void TFrmParaSelect::TickOnly(int row) {
  for (int i = 0; i < lstSel->count(); ++i) lstSel->item(i)->setCheckState(i == row ? Qt::Checked : Qt::Unchecked);
}

void TFrmParaSelect::btnOkClick() {
  for (int i = 0; i < lstSel->count(); ++i) {
    QListWidgetItem* item = lstSel->item(i);
    if (item->checkState() == Qt::Checked) continue;
    const QString caption = item->text();
    for (qsizetype k = 0; k < FSL->size(); ++k) {
      const QString& e = (*FSL)[k];
      if (e.left(e.lastIndexOf(QLatin1Char('='))) == caption) {
        FSL->removeAt(k);
        *FSL << QStringLiteral("%1=%2").arg(caption, QStringLiteral("0"));
        break;
      }
    }
  }
  accept();
}

void TFrmParaSelect::btnCopyOkClick() {
  for (int i = lstSel->count() - 1; i >= 0; --i)
    if (lstSel->item(i)->checkState() != Qt::Checked && i < FSL->size()) FSL->removeAt(i);
  accept();
}

// ---- what a send changes ------------------------------------------------------------------

TFrmSendPreview::TFrmSendPreview(QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("Senden"));
  resize(760, 420);
  auto* v = new QVBoxLayout(this);
  lblDesc = new QLabel(this);
  lblDesc->setWordWrap(true);
  v->addWidget(lblDesc);
  lstChanges = new QTreeWidget(this);
  lstChanges->setRootIsDecorated(false);
  lstChanges->setColumnCount(4);
  lstChanges->setHeaderLabels({tr("Parameter"), tr("Gerät"), tr("Neu"), tr("Modul")});
  lstChanges->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  v->addWidget(lstChanges, 1);
  v->addLayout(OkCancelRow(this, btnSend, btnAbort, tr("Senden"), tr("Abbrechen")));
  connect(btnSend, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnAbort, &QPushButton::clicked, this, &QDialog::reject);
}

void TFrmSendPreview::SetChanges(const QString& device, const QList<TPendingChange>& changes) {
  int sent = 0;
  lstChanges->clear();
  for (const TPendingChange& c : changes) {
    auto* item = new QTreeWidgetItem(lstChanges, {c.Caption, c.OriVal, c.NewVal, c.Module});
    item->setToolTip(0, QStringLiteral("%1 (%2)").arg(c.ID, c.ParentID));
    if (c.Sent) {
      ++sent;
      continue;
    }
    item->setText(3, c.Module + tr(" (wird nicht übertragen)"));
    for (int col = 0; col < 4; ++col) item->setForeground(col, Qt::gray);
  }
  lstChanges->resizeColumnToContents(1);
  lstChanges->resizeColumnToContents(2);
  const QString head = changes.isEmpty()
                           ? tr("Keine geänderten Werte: die Parametrierung wird unverändert an das Gerät [%1] gesendet.").arg(device)
                           : tr("%1 geänderte Werte werden an das Gerät [%2] gesendet.").arg(sent).arg(device);
  lblDesc->setText(sent == changes.size() ? head
                                          : head + tr(" %1 geänderte Werte werden nicht übertragen.").arg(changes.size() - sent));
}

// ---- upload comment ------------------------------------------------------------------------

TFrmChangeComment::TFrmChangeComment(const QString& user, QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("Änderungskommentar"));
  auto* v = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  edtUser = new QLineEdit(user, this);
  memComment = new QPlainTextEdit(this);
  memComment->setPlaceholderText(tr("Was wurde geändert und warum?"));
  form->addRow(tr("Benutzer"), edtUser);
  form->addRow(tr("Kommentar"), memComment);
  v->addLayout(form);
  QPushButton *ok = nullptr, *abort = nullptr;
  v->addLayout(OkCancelRow(this, ok, abort, tr("Senden"), tr("Abbrechen")));
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(abort, &QPushButton::clicked, this, &QDialog::reject);
}

QString TFrmChangeComment::User() const { return edtUser->text().trimmed(); }
QString TFrmChangeComment::Comment() const { return memComment->toPlainText().trimmed(); }

}  // namespace vanta
