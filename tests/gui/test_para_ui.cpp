// The parameter editor's widgets: the grid with every value kind, the
// editor window on a saved set (levels, simplified page, undo, filters,
// exports, import), the selection dialogs, the measurement picker, and one
// round trip against the simulator.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QTreeWidgetItemIterator>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QUndoStack>


#include "FileSizeLimit.h"
#include "FormPara.h"
#include "MessValSetup.h"
#include "ParaDialogs.h"
#include "SimProcess.h"
#include "TestSupport.h"
#include "WindowSupport.h"
#include "VantaGrid.h"

using namespace vanta;
using vanta::test::Shot;
using vanta::test::SpinUntil;
using vanta::test::TSimProcess;

namespace {

const QString CSample = QStringLiteral(VANTA_SAMPLE_DIR "/mnt/flashdrive0/data/setup/setup.xml");

// With VANTA_SHOT_DIR set, the windows of these tests are saved there as
// pictures, to look at what an operator sees.
// A folder with one item of every kind the grid edits differently.
const char* const CKinds = R"(<config><device name="T"/><system><group name="sys" id="1"><group id="2">
<parameter id="10"><visibility>0</visibility><editability>0</editability><type>float</type><value>5</value><default>1</default><low>0</low><high>10</high></parameter>
<parameter id="11"><visibility>0</visibility><editability>0</editability><type>integer</type><value>3</value><default>7</default><low>0</low><high>100</high></parameter>
<parameter id="12"><visibility>0</visibility><editability>0</editability><type>text</type><value>ab</value><default>x</default><low>0</low><high>20</high></parameter>
<parameter id="13"><visibility>0</visibility><editability>0</editability><type>secret</type><value>pw</value><default></default><low>0</low><high>8</high></parameter>
<datapoint id="14"><visibility>0</visibility><editability>0</editability><rec>0</rec><default>0</default></datapoint>
<datapoint id="15"><visibility>0</visibility><editability>3</editability><rec>0</rec><default>0</default></datapoint>
<parameter id="16"><visibility>0</visibility><editability>0</editability><type>integer</type><value>0</value><default>0</default><low>0</low><high>9</high><range list="true"><entry>0</entry><entry>1</entry><entry>2</entry></range></parameter>
<parameter id="17"><visibility>0</visibility><editability>0</editability><type>measId</type><value>100</value><default>0</default><low>0</low><high>4294967295</high></parameter>
<parameter id="4261413254"><visibility>0</visibility><editability>0</editability><type>text</type><value>N49.1E11.1</value><default></default><low>0</low><high>40</high></parameter>
</group></group></system></config>)";

struct TGridFixture {
  TParaDocument Doc;
  TVantaGrid Grid;
  QStringList Errors;     // "min|max|stored|typed"
  QStringList Accepted;   // "id=value"
  QStringList Rejected;
  explicit TGridFixture(const char* xml = CKinds) {
    QString error;
    EXPECT_TRUE(Doc.LoadBytes(xml, error)) << error.toStdString();
    Grid.SetVisibility(1);
    const pugi::xml_node folder = Doc.FindFirst(2);
    for (pugi::xml_node c = folder.first_child(); c; c = c.next_sibling()) {
      TGridRow r;
      if (GetGridRow(1, QStringLiteral("2"), c, r, TCaptionSource(), Doc.Changes)) Grid.AddRowVal(r);
    }
    Grid.SetRowCnt();
    Grid.CheckErrorCallBack = [this](const QString&, const QString& mn, const QString& mx, const QString&,
                                     const QString& out, const QString& in) { Errors << (QStringList{mn, mx, out, in}.join('|')); };
    Grid.OnGridRowChange = [this](TVantaGrid*, const pugi::xml_node& n, const QString& v, bool equal, TGridRowTyp t) {
      Accepted << QStringLiteral("%1=%2").arg(QString::fromUtf8(n.attribute("id").value()), v);
      WriteBackValue(n, v, equal, t, Doc.Changes);
    };
    Grid.InvalidMaskCB = [this](const QString& typed, uint32_t id) { Rejected << QStringLiteral("%1:%2").arg(id).arg(typed); };
  }
  int RowOf(uint32_t id) const {
    for (size_t i = 0; i < Grid.Rows().size(); ++i)
      if (Grid.Rows()[i].ID == id) return int(i);
    return -1;
  }
  QString Shown(uint32_t id, int col = 1) const { return Grid.model()->index(RowOf(id), col).data().toString(); }
  bool Type(uint32_t id, const QString& text) { return Grid.model()->setData(Grid.model()->index(RowOf(id), 1), text); }
  void Click(uint32_t id, Qt::MouseButton b = Qt::LeftButton, int col = 1) { Grid.ClickCell(RowOf(id), col, b, {}); }
};

}  // namespace

// What each kind accepts is CheckValue's and AcceptValue's (test_params_rules);
// here: the grid applies them, reports corrections and refusals, and passes
// what it took to its owner.
TEST(ParaGrid, TypedValuesAreCheckedPerKindAndReachTheOwner) {
  TGridFixture f;
  ASSERT_EQ(f.Grid.Rows().size(), 9u);
  EXPECT_TRUE(f.Type(10, QStringLiteral("12,5")));
  EXPECT_EQ(f.Shown(10), QStringLiteral("10"));
  ASSERT_EQ(f.Errors.size(), 1);
  EXPECT_EQ(f.Errors.last(), QStringLiteral("0|10|10|12,5")) << "limits and the corrected value are reported";
  EXPECT_EQ(f.Accepted.last(), QStringLiteral("10=10"));
  EXPECT_EQ(GetNodeValue(f.Doc.FindFirst(10), "value"), QStringLiteral("10"));

  EXPECT_TRUE(f.Type(13, QStringLiteral("a&b")));
  EXPECT_EQ(f.Grid.Rows()[size_t(f.RowOf(13))].RowVal.toString(), QStringLiteral("a&amp;b"));
  const QModelIndex secret = f.Grid.model()->index(f.RowOf(13), 1);
  EXPECT_EQ(secret.data(Qt::EditRole).toString(), QStringLiteral("a&b")) << "the editor shows it as typed";
  f.Grid.model()->setData(secret, secret.data(Qt::EditRole));
  EXPECT_EQ(f.Grid.Rows()[size_t(f.RowOf(13))].RowVal.toString(), QStringLiteral("a&amp;b")) << "not encoded twice";

  EXPECT_FALSE(f.Type(4261413254u, QStringLiteral("somewhere")));
  EXPECT_EQ(f.Rejected, QStringList{QStringLiteral("4261413254:somewhere")});
  EXPECT_EQ(f.Shown(4261413254u), QStringLiteral("N49.1E11.1")) << "a bad position is not stored";

  // A list cell refuses what is no number instead of taking the default.
  ASSERT_TRUE(f.Grid.SetValue(f.RowOf(16), QStringLiteral("2")));
  const qsizetype accepted = f.Accepted.size();
  for (const QString& typed : {QStringLiteral("zz"), QStringLiteral("1.5")}) {
    EXPECT_FALSE(f.Grid.SetValue(f.RowOf(16), typed)) << typed.toStdString();
    EXPECT_TRUE(f.Rejected.contains(QStringLiteral("16:") + typed)) << typed.toStdString();
  }
  EXPECT_EQ(f.Accepted.size(), accepted) << "nothing reached the set";
  EXPECT_EQ(f.Shown(16), QStringLiteral("2"));
  EXPECT_EQ(GetNodeValue(f.Doc.FindFirst(16), "value"), QStringLiteral("2"));
}

TEST(ParaGrid, ClicksToggleChooseAndPick) {
  TGridFixture f;
  f.Click(14);
  EXPECT_EQ(f.Accepted.last(), QStringLiteral("14=1"));
  f.Click(14);
  EXPECT_EQ(f.Accepted.last(), QStringLiteral("14=0"));
  const int before = int(f.Accepted.size());
  f.Click(15);
  EXPECT_EQ(f.Accepted.size(), before) << "a read-only datapoint does not toggle";

  QStringList offered;
  f.Grid.ChoosePopup = [&](const QStringList& captions, const QPoint&) {
    offered = captions;
    return 2;
  };
  f.Click(16);
  EXPECT_EQ(offered.size(), 3);
  EXPECT_EQ(f.Accepted.last(), QStringLiteral("16=2"));

  uint32_t asked = 0;
  f.Grid.MessWatchCB = [&](uint32_t id) {
    asked = id;
    return 0u;
  };
  f.Click(17);
  EXPECT_EQ(asked, 100u) << "the picker starts at the current id";
  EXPECT_EQ(f.Accepted.last(), QStringLiteral("16=2")) << "a cancelled picker changes nothing";
  f.Grid.MessWatchCB = [](uint32_t) { return 4242u; };
  f.Grid.GetStringFromIDCB = [](const QString& id) { return QStringLiteral("Wert %1").arg(id); };
  f.Click(17);
  EXPECT_EQ(f.Shown(17), QStringLiteral("Wert 4242 (4242)"));

  QString copied;
  f.Grid.CopyClip = [&](const QString& c) { copied = c; };
  f.Click(12, Qt::RightButton, 0);
  EXPECT_EQ(copied, f.Grid.Rows()[size_t(f.RowOf(12))].RowCap);
  int rmb = -1;
  f.Grid.RMBDataPointCB = [&](int row) { rmb = row; };
  f.Click(14, Qt::RightButton);
  EXPECT_EQ(rmb, f.RowOf(14));
}

TEST(ParaGrid, EditRulesColumnsFillAndKeyFilter) {
  TGridFixture f;
  QAbstractItemModel* m = f.Grid.model();
  EXPECT_TRUE(m->flags(m->index(f.RowOf(10), 1)) & Qt::ItemIsEditable);
  for (uint32_t id : {14u, 16u, 17u}) EXPECT_FALSE(m->flags(m->index(f.RowOf(id), 1)) & Qt::ItemIsEditable) << id;
  EXPECT_FALSE(m->flags(m->index(f.RowOf(10), 0)) & Qt::ItemIsSelectable) << "level 1: only values are selectable";
  f.Grid.HideColumns(1);
  EXPECT_TRUE(f.Grid.isColumnHidden(3));
  f.Grid.HideColumns(2);
  f.Grid.SetVisibility(2);
  EXPECT_FALSE(f.Grid.isColumnHidden(4));
  EXPECT_TRUE(m->flags(m->index(f.RowOf(10), 0)) & Qt::ItemIsSelectable);
  EXPECT_EQ(m->headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("Werkseinstellung"));

  // Changed values get the red fill, read-only ones grey.
  f.Type(11, QStringLiteral("4"));
  EXPECT_EQ(m->index(f.RowOf(11), 1).data(Qt::UserRole).toInt(), 1);
  EXPECT_EQ(m->index(f.RowOf(15), 1).data(Qt::UserRole).toInt(), 2);
  EXPECT_EQ(m->index(f.RowOf(12), 1).data(Qt::UserRole).toInt(), 0);

  f.Grid.FillColumn(f.RowOf(14));  // 0 into every later row
  EXPECT_EQ(f.Shown(16), QStringLiteral("0"));
  EXPECT_EQ(f.Grid.Rows()[size_t(f.RowOf(17))].RowVal.toString(), QStringLiteral("0"));

  f.Grid.show();
  const QModelIndex text = m->index(f.RowOf(12), 1);
  f.Grid.setCurrentIndex(text);
  f.Grid.edit(text);
  auto* editor = f.Grid.findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  editor->clear();
  for (const QString& key : {QStringLiteral("a"), QStringLiteral("ä"), QStringLiteral("~"), QStringLiteral("Z")}) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, key);
    QApplication::sendEvent(editor, &press);
  }
  EXPECT_EQ(editor->text(), QStringLiteral("aZ")) << "characters above 'z' never reach the cell";
}

TEST(ParaGrid, PropertyRowsGetTheirOwnFill) {
  TGridFixture f(R"(<c><group name="sys" id="1"><group id="2">
    <property id="5"><visibility>0</visibility><value>2.10</value></property>
    <parameter id="6"><visibility>0</visibility><editability>3</editability><type>integer</type><value>1</value></parameter>
  </group></group></c>)");
  EXPECT_EQ(f.Grid.model()->index(f.RowOf(5), 1).data(Qt::UserRole).toInt(), 3) << "a property: blue, not the read-only grey";
  EXPECT_EQ(f.Grid.model()->index(f.RowOf(6), 1).data(Qt::UserRole).toInt(), 2) << "a read-only parameter: grey";
}

// ---- the editor window on a saved set -------------------------------------------------------

namespace {

// Types `text` into the grid's row of `id` in `folder`.
bool EditValue(TFormPara& w, uint32_t folder, uint32_t id, const QString& text) {
  w.ShowFolder(w.Fxf.FindFirst(folder));
  for (size_t i = 0; i < w.FGrd->Rows().size(); ++i)
    if (w.FGrd->Rows()[i].ID == id) return w.FGrd->SetValue(int(i), text);
  return false;
}

// `prepare` changes the saved set at `setup` before an editor opens it.
bool Prepare(const QString& setup, const std::function<void(TParaDocument&)>& prepare) {
  if (!prepare) return true;
  TParaDocument d;
  QString error;
  if (!d.LoadFile(setup, error) || (prepare(d), !d.SaveFile(setup, error))) {
    ADD_FAILURE() << error.toStdString();
    return false;
  }
  return true;
}

struct TEditor {
  QTemporaryDir Dir;
  std::unique_ptr<TFormPara> W = std::make_unique<TFormPara>();
  QString Setup;
  QStringList Questions;
  bool Answer = true;
  // `prepare` changes a copy of the sample set before the editor opens it;
  // with `setup` the editor opens that file instead, as a later session.
  explicit TEditor(int level = 1, const std::function<void(TParaDocument&)>& prepare = {}, const QString& setup = {}) {
    Setup = setup.isEmpty() ? Dir.filePath(QStringLiteral("setup.xml")) : setup;
    if (setup.isEmpty()) {
      QFile::copy(CSample, Setup);
      QFile::setPermissions(Setup, QFile::ReadOwner | QFile::WriteOwner);
    }
    Prepare(Setup, prepare);
    W->FAskComment = false;
    W->FConfirm = [this](const QString& q) {
      Questions << q;
      return Answer;
    };
    W->FVisibility = level;
    W->OpenOffline(Setup);
  }
  void Show(uint32_t folder) { W->ShowFolder(W->Fxf.FindFirst(folder)); }
  int Row(uint32_t id) const {
    for (size_t i = 0; i < W->FGrd->Rows().size(); ++i)
      if (W->FGrd->Rows()[i].ID == id) return int(i);
    return -1;
  }
  QString Value(uint32_t id) const { return GetNodeValue(W->Fxf.FindFirst(id), ".//value"); }
  bool Edit(uint32_t folder, uint32_t id, const QString& text) { return EditValue(*W, folder, id, text); }
};

}  // namespace

TEST(ParaEditor, LevelsRebuildTreeAndGridAndServiceNeedsConsent) {
  TEditor e(1);
  ASSERT_TRUE(e.W->Fxf.Sys());
  const int level1Folders = e.W->tvPara->topLevelItemCount();
  EXPECT_GT(level1Folders, 5);
  EXPECT_TRUE(e.W->FGrd->isColumnHidden(3));
  EXPECT_EQ(e.W->windowTitle(), QStringLiteral("Geräte-Parametrierung"));

  e.Answer = false;
  EXPECT_FALSE(e.W->SetLevel(2));
  EXPECT_EQ(e.W->Level(), 1);
  EXPECT_EQ(e.W->cmbLevel->currentIndex(), 1);
  ASSERT_EQ(e.Questions.size(), 1);
  EXPECT_TRUE(e.Questions[0].startsWith(QStringLiteral("Achtung: Einstellungen im Servicemodus")));

  e.Answer = true;
  EXPECT_TRUE(e.W->SetLevel(2));
  EXPECT_FALSE(e.W->FGrd->isColumnHidden(3));
  EXPECT_GT(e.W->tvPara->topLevelItemCount(), level1Folders) << "service folders appear";
  e.Show(16777216);
  ASSERT_FALSE(e.W->FGrd->Rows().empty());
  EXPECT_TRUE(e.W->FGrd->Rows()[0].RowCap.startsWith(QStringLiteral("(16777217/0x01000001) ")));
  EXPECT_TRUE(e.W->actExportChanged->isEnabled());

  EXPECT_TRUE(e.W->SetLevel(0));
  EXPECT_EQ(e.W->FStack->currentIndex(), 0) << "the simplified page replaces tree and grid";
  EXPECT_FALSE(e.W->actExportChanged->isEnabled());
}

TEST(ParaEditor, GridEditsGoIntoTheDocumentAndCanBeUndone) {
  TEditor e(1);
  ASSERT_TRUE(e.Edit(251658240, 251658244, QStringLiteral("9")));
  EXPECT_EQ(e.Value(251658244), QStringLiteral("9"));
  EXPECT_TRUE(e.W->Fxf.Changes.contains(ChangeKey(QStringLiteral("251658244"), QStringLiteral("251658240"))));
  ASSERT_TRUE(e.W->FGrd->SetValue(e.Row(251658243), QStringLiteral("neu")));

  e.W->chkOnlyChanged->setChecked(true);
  EXPECT_EQ(e.W->FGrd->Rows().size(), 2u) << "only the two changed rows, wherever they are";
  e.W->chkOnlyChanged->setChecked(false);
  e.W->edtSearch->setText(QStringLiteral("0x0E0A0000"));
  EXPECT_GT(e.W->FGrd->Rows().size(), 1u) << "the search waits until typing pauses";
  ASSERT_TRUE(SpinUntil([&] { return e.W->FGrd->Rows().size() == 1u; }, 2000));
  ASSERT_EQ(e.W->FGrd->Rows().size(), 1u) << "search by hexadecimal id across folders";
  emit e.W->edtSearch->returnPressed();
  EXPECT_EQ(e.W->FGrd->Rows().size(), 1u);
  EXPECT_EQ(e.W->FGrd->Rows()[0].ID, 0x0E0A0000u);
  e.W->edtSearch->clear();
  emit e.W->edtSearch->returnPressed();

  e.W->FUndo->undo();
  EXPECT_EQ(GetNodeValue(e.W->Fxf.FindFirst(251658243), ".//value"), QStringLiteral("as text"));
  e.W->FUndo->undo();
  EXPECT_EQ(e.Value(251658244), QStringLiteral("2"));
  EXPECT_TRUE(e.W->Fxf.Changes.isEmpty()) << "undo also restores the change list";
  e.W->FUndo->redo();
  EXPECT_EQ(e.Value(251658244), QStringLiteral("9"));
  EXPECT_EQ(e.W->Fxf.Changes.size(), 1);
}

namespace {
// The common voltage factor of the sample may go up to 150 only.
void CommonFactorUpTo150(TParaDocument& d) { SetNodeValue(d.FindFirst(0x0E090000), ".//high", QStringLiteral("150")); }
QLineEdit* PageEdit(TFormPara& w, uint32_t id) { return w.FEasyPage->findChild<QLineEdit*>(QStringLiteral("edt_%1").arg(id)); }
void TypeInto(QLineEdit* e, const QString& text) {
  e->setText(text);
  emit e->editingFinished();
}
QRadioButton* NetForm(TFormPara& w, int entry) {
  return w.FEasyPage->findChild<QRadioButton*>(QStringLiteral("rdo_%1_%2").arg(0x0E040000).arg(entry));
}
QLabel* PageLabel(TFormPara& w, const QString& name) { return w.FEasyPage->findChild<QLabel*>(name); }
QLineEdit* Named(TFormPara& w, const QString& name) { return w.FEasyPage->findChild<QLineEdit*>(name); }
}  // namespace

TEST(ParaEditor, SimplifiedPageWritesBackWithItsUnitsAndRanges) {
  TEditor e(0);
  QLineEdit* freq = PageEdit(*e.W, 0x0D000000);
  ASSERT_NE(freq, nullptr);
  EXPECT_EQ(freq->text(), QStringLiteral("50"));
  TypeInto(freq, QStringLiteral("60"));
  EXPECT_EQ(e.Value(0x0D000000), QStringLiteral("60"));
  TypeInto(freq, QStringLiteral("99"));
  EXPECT_EQ(e.Value(0x0D000000), QStringLiteral("65"));
  ASSERT_FALSE(e.W->Messages.isEmpty());
  EXPECT_TRUE(e.W->Messages.last().contains(QStringLiteral("Maximaler Wert: 65"))) << e.W->Messages.last().toStdString();
  EXPECT_EQ(freq->text(), QStringLiteral("65")) << "the corrected value goes back into the field";

  // The residual current is stored in ampere and shown in milliampere.
  QLineEdit* rcm = PageEdit(*e.W, 0x14030000);
  ASSERT_NE(rcm, nullptr);
  EXPECT_EQ(rcm->text(), QStringLiteral("30"));
  TypeInto(rcm, QStringLiteral("50"));
  EXPECT_EQ(e.Value(0x14030000), QStringLiteral("0.05"));

  // Oscilloscope times are shown in whole milliseconds of the sample rate
  // (12800 Hz): the message speaks that unit, the limit rounded down.
  QLineEdit* osc = PageEdit(*e.W, 0x10000000);
  ASSERT_NE(osc, nullptr);
  EXPECT_EQ(osc->text(), QStringLiteral("8"));
  TypeInto(osc, QStringLiteral("99999"));
  EXPECT_EQ(e.Value(0x10000000), QStringLiteral("100000"));
  EXPECT_TRUE(e.W->Messages.last().contains(QStringLiteral("Maximaler Wert: 7812\r\nStandard Wert: 7\r\n")))
      << e.W->Messages.last().toStdString();
  EXPECT_TRUE(e.W->Messages.last().endsWith(QStringLiteral("auf den Wert 7812 gesetzt!")));

  // Limit values are entered as stored, their range told when exceeded.
  QLineEdit* limit = PageEdit(*e.W, 0x0D142000);
  ASSERT_NE(limit, nullptr);
  EXPECT_EQ(limit->text(), QStringLiteral("110"));
  TypeInto(limit, QStringLiteral("120.5"));
  EXPECT_EQ(e.Value(0x0D142000), QStringLiteral("120.5"));
  TypeInto(limit, QStringLiteral("250"));
  EXPECT_EQ(e.Value(0x0D142000), QStringLiteral("200"));
  EXPECT_TRUE(e.W->Messages.last().startsWith(QStringLiteral("Der eingegebene Wert liegt im ungültigen Bereich.")))
      << e.W->Messages.last().toStdString();
  EXPECT_EQ(limit->text(), QStringLiteral("200"));

  auto* result = e.W->FEasyPage->findChild<QLabel*>(QStringLiteral("lblWandler"));
  ASSERT_NE(result, nullptr);
  EXPECT_TRUE(result->text().endsWith(QStringLiteral("L-L 17320.51 V, L-E 10000 V"))) << "no float noise: " << result->text().toStdString();
  e.W->FEasyPage->setCurrentIndex(1);
  Shot(*e.W, QStringLiteral("para-simple.png"));
}

TEST(ParaEditor, RadioButtonsStoreTheTickedListEntry) {
  // A list whose stored values are not its positions: the ticked button's
  // entry is what goes into the set, not its index.
  TEditor e(0, [](TParaDocument& d) {
    pugi::xml_node range = d.FindFirst(0x0E040000).child("range");
    int v = 5;
    for (pugi::xml_node entry : range.children("entry")) entry.text().set(v++);
    SetNodeValue(d.FindFirst(0x0E040000), ".//value", QStringLiteral("6"));
    SetNodeValue(d.FindFirst(0x0E040000), ".//low", QStringLiteral("0"));
    SetNodeValue(d.FindFirst(0x0E040000), ".//high", QStringLiteral("9"));
  });
  QRadioButton* first = NetForm(*e.W, 0);
  QRadioButton* third = NetForm(*e.W, 2);
  ASSERT_TRUE(first && third && NetForm(*e.W, 1));
  EXPECT_TRUE(NetForm(*e.W, 1)->isChecked()) << "the entry whose value is stored is ticked";
  EXPECT_EQ(third->text(), QStringLiteral("3-Leiter")) << "each button reads its entry's caption";
  third->click();
  EXPECT_EQ(e.Value(0x0E040000), QStringLiteral("7"));
  EXPECT_TRUE(third->isChecked());
  EXPECT_FALSE(NetForm(*e.W, 1)->isChecked());
  EXPECT_EQ(e.W->Fxf.Changes.size(), 1);
  first->click();
  EXPECT_EQ(e.Value(0x0E040000), QStringLiteral("5"));
}

TEST(ParaEditor, RcmThresholdsReadInPercentUntilThePrimaryIsEnteredAndItIsKept) {
  TEditor e(0);
  QLineEdit* bad = Named(*e.W, QStringLiteral("edtBADPri"));
  QLineEdit* thr1 = PageEdit(*e.W, 0x14040000);
  ASSERT_TRUE(bad && thr1);
  const QString stored = e.Value(0x14040000);
  EXPECT_TRUE(bad->text().isEmpty()) << "no primary value is assumed";
  EXPECT_EQ(thr1->text(), FormatFloat5(stored.toDouble())) << "shown as stored";
  EXPECT_EQ(PageLabel(*e.W, QStringLiteral("lblRcm1"))->text(), QStringLiteral("Schwelle 1 [%]"));

  TypeInto(thr1, QStringLiteral("40"));
  EXPECT_EQ(e.Value(0x14040000), QStringLiteral("40")) << "percent in, percent stored";

  TypeInto(bad, QStringLiteral("200"));
  EXPECT_EQ(PageLabel(*e.W, QStringLiteral("lblRcm3"))->text(), QStringLiteral("Schwelle 3 [A]"));
  EXPECT_EQ(thr1->text(), QStringLiteral("80")) << "40 % of 200 A";
  TypeInto(thr1, QStringLiteral("50"));
  EXPECT_EQ(e.Value(0x14040000), QStringLiteral("25"));
  e.W->FEasyPage->setCurrentIndex(e.W->FEasyPage->count() - 1);
  Shot(*e.W, QStringLiteral("para-rcm-ampere.png"));

  // The next session on the same device's folder shows the same unit.
  TEditor again(0, {}, e.Setup);
  EXPECT_EQ(Named(*again.W, QStringLiteral("edtBADPri"))->text(), QStringLiteral("200"));
  EXPECT_EQ(PageEdit(*again.W, 0x14040000)->text(), QStringLiteral("100")) << "the file's 50 % of 200 A (the edit was not saved)";
  EXPECT_EQ(PageLabel(*again.W, QStringLiteral("lblRcm2"))->text(), QStringLiteral("Schwelle 2 [A]"));

  // Another device's folder knows nothing of it.
  TEditor other(0);
  EXPECT_TRUE(Named(*other.W, QStringLiteral("edtBADPri"))->text().isEmpty());
}

TEST(ParaEditor, CurrentTriggersInAmpereNeedTheNominalCurrent) {
  TEditor e(0);
  auto* amp = e.W->FEasyPage->findChild<QRadioButton*>(QStringLiteral("rbAmpOszi"));
  QLineEdit* nenn = Named(*e.W, QStringLiteral("edtNennStrom"));
  QLineEdit* trig = PageEdit(*e.W, 0x0F180000);
  ASSERT_TRUE(amp && nenn && trig);
  EXPECT_FALSE(amp->isEnabled()) << "no nominal current yet";
  EXPECT_EQ(trig->text(), QStringLiteral("120"));
  EXPECT_EQ(PageLabel(*e.W, QStringLiteral("lblTrig2"))->text(), QStringLiteral("Stromtrigger I2 [%]"));
  TypeInto(trig, QStringLiteral("150"));
  EXPECT_EQ(e.Value(0x0F180000), QStringLiteral("150"));

  TypeInto(nenn, QStringLiteral("5"));
  ASSERT_TRUE(amp->isEnabled());
  amp->click();
  EXPECT_EQ(PageLabel(*e.W, QStringLiteral("lblTrig2"))->text(), QStringLiteral("Stromtrigger I2 [A]"));
  EXPECT_EQ(trig->text(), QStringLiteral("7.5")) << "150 % of 5 A";
  TypeInto(trig, QStringLiteral("10"));
  EXPECT_EQ(e.Value(0x0F180000), QStringLiteral("200"));
  // Above the range: the message speaks ampere, as the field does.
  TypeInto(trig, QStringLiteral("100"));
  EXPECT_EQ(e.Value(0x0F180000), QStringLiteral("1000"));
  EXPECT_TRUE(e.W->Messages.last().contains(QStringLiteral("Maximaler Wert: 50\r\n"))) << e.W->Messages.last().toStdString();
  e.W->FEasyPage->setCurrentIndex(3);
  Shot(*e.W, QStringLiteral("para-trigger-ampere.png"));
}

// Leaving a converted field as shown stores nothing; what is no number is
// refused with a message and the shown value comes back.
TEST(ParaEditor, ConvertedFieldsLeftAsShownOrGivenNoNumberStoreNothing) {
  TEditor e(0);
  QLineEdit* nenn = Named(*e.W, QStringLiteral("edtNennStrom"));
  QLineEdit* bad = Named(*e.W, QStringLiteral("edtBADPri"));
  ASSERT_TRUE(nenn && bad);
  // A basis whose ampere values, shown to five places, do not read back exactly.
  TypeInto(nenn, QStringLiteral("0.123456"));
  e.W->FEasyPage->findChild<QRadioButton*>(QStringLiteral("rbAmpOszi"))->click();
  TypeInto(bad, QStringLiteral("0.123456"));
  ASSERT_TRUE(e.W->Fxf.Changes.isEmpty());
  for (uint32_t id : {0x10000000u, 0x10010000u, 0x11000000u, 0x0F170000u, 0x0F180000u, 0x14030000u, 0x14040000u, 0x14050000u}) {
    QLineEdit* field = PageEdit(*e.W, id);
    ASSERT_NE(field, nullptr) << std::hex << id;
    const QString stored = e.Value(id), shown = field->text();
    const qsizetype told = e.W->Messages.size();
    emit field->editingFinished();  // Enter, or leaving the field, without typing
    EXPECT_EQ(e.Value(id), stored) << std::hex << id << " shown as " << shown.toStdString();
    EXPECT_EQ(field->text(), shown);
    TypeInto(field, QStringLiteral("zz"));
    EXPECT_EQ(e.Value(id), stored) << std::hex << id;
    EXPECT_EQ(field->text(), shown) << std::hex << id << ": the shown value comes back";
    ASSERT_EQ(e.W->Messages.size(), told + 1) << std::hex << id;
    EXPECT_TRUE(e.W->Messages.last().contains(QStringLiteral("keine Zahl"))) << e.W->Messages.last().toStdString();
  }
  EXPECT_TRUE(e.W->Fxf.Changes.isEmpty());
  EXPECT_EQ(e.W->FUndo->count(), 0);
}

TEST(ParaEditor, TimesWhoseBasisIsMissingShowCheckMeAndTakeNoInput) {
  // A set without the sample rate: the oscilloscope times cannot be converted.
  TEditor e(0, [](TParaDocument& d) {
    pugi::xml_node rate = d.FindFirst(0x10040000);
    rate.parent().remove_child(rate);
  });
  QLineEdit* osc = PageEdit(*e.W, 0x10010000);
  ASSERT_NE(osc, nullptr);
  const QString before = e.Value(0x10010000);
  EXPECT_EQ(osc->text(), QStringLiteral("Check ME"));
  EXPECT_TRUE(osc->isReadOnly());
  TypeInto(osc, QStringLiteral("100"));
  EXPECT_EQ(e.Value(0x10010000), before) << "never stored as 0 samples";
  EXPECT_TRUE(e.W->Fxf.Changes.isEmpty());
  EXPECT_EQ(osc->text(), QStringLiteral("Check ME"));
  QLineEdit* trms = PageEdit(*e.W, 0x11000000);
  EXPECT_FALSE(trms->isReadOnly()) << "the other group has its basis";
}

// ---- the transformer page ---------------------------------------------------------------


// The time zone box shows the zone of the device's offset (minutes east of
// UTC), or the offset itself when this computer knows no zone for it; showing
// writes nothing. The daylight-saving switch sits beside it.
TEST(ParaEditor, TimeTabShowsTheStoredZoneAndItsDaylightSwitch) {
  for (const int level : {0, 1}) {
    SCOPED_TRACE(level);
    TEditor e(level);
    ASSERT_EQ(e.Value(0x03000017), QStringLiteral("60"));
    QComboBox* zone = e.W->cmbTimeZone;
    ASSERT_GT(zone->count(), 1);
    const int shown = zone->currentData().toInt();
    ASSERT_GE(shown, 0) << zone->currentText().toStdString();
    ASSERT_LT(shown, e.W->FTimeZonesList.size());
    EXPECT_EQ(-e.W->FTimeZonesList[shown].Bias, 60) << zone->currentText().toStdString();
    EXPECT_TRUE(zone->currentText().startsWith(QStringLiteral("(UTC+01:00)"))) << zone->currentText().toStdString();

    auto* dst = e.W->FTabs->findChild<QCheckBox*>(QStringLiteral("chk_%1").arg(0x03000018));
    ASSERT_NE(dst, nullptr) << "the switch is on the time tab";
    EXPECT_TRUE(dst->isChecked());
    EXPECT_TRUE(dst->isEnabled());
    dst->setChecked(false);
    EXPECT_EQ(e.Value(0x03000018), QStringLiteral("0")) << "bound like the page's other switches";
    EXPECT_EQ(e.Value(0x03000017), QStringLiteral("60")) << "the offset stays";
  }

  // An offset no zone has: shown as it is, and nothing is written for it.
  TEditor odd(0, [](TParaDocument& d) { SetNodeValue(d.FindFirst(0x03000017), ".//value", QStringLiteral("317")); });
  QComboBox* zone = odd.W->cmbTimeZone;
  EXPECT_LT(zone->currentData().toInt(), 0);
  EXPECT_TRUE(zone->currentText().startsWith(QStringLiteral("(UTC+05:17)"))) << zone->currentText().toStdString();
  emit zone->activated(zone->currentIndex());
  EXPECT_EQ(odd.Value(0x03000017), QStringLiteral("317"));
  EXPECT_TRUE(odd.W->Fxf.Changes.isEmpty()) << "no zone the operator did not pick";

  // A zone the operator picks is written, and the box then shows it.
  int picked = -1;
  for (int i = 0; i < zone->count() && picked < 0; ++i) {
    const int z = zone->itemData(i).toInt();
    if (z >= 0 && -odd.W->FTimeZonesList[z].Bias == 120) picked = i;
  }
  ASSERT_GE(picked, 0);
  zone->setCurrentIndex(picked);
  emit zone->activated(picked);
  EXPECT_EQ(odd.Value(0x03000017), QStringLiteral("120"));
  EXPECT_GE(zone->currentData().toInt(), 0);
  EXPECT_TRUE(zone->currentText().startsWith(QStringLiteral("(UTC+02:00)"))) << zone->currentText().toStdString();
  odd.W->FTabs->setCurrentIndex(1);
  Shot(*odd.W, QStringLiteral("para-time.png"));
}

TEST(ParaEditor, TransformerPageWritesAllTwelveOrNone) {
  TEditor e(0, CommonFactorUpTo150);
  QLineEdit* u1 = PageEdit(*e.W, 0x0E0B0000);
  ASSERT_NE(u1, nullptr);
  TypeInto(u1, QStringLiteral("1.6"));
  EXPECT_EQ(e.Value(0x0E0B0000), QStringLiteral("1")) << "a typed transformer value stays on the page";
  EXPECT_TRUE(e.W->HasUnsentChanges());

  EXPECT_FALSE(e.W->WriteTransformers()) << "U1 at 160 needs a common factor above its 150";
  EXPECT_TRUE(e.W->Messages.last().startsWith(QStringLiteral("Wandlerwerte ungültig"))) << e.W->Messages.last().toStdString();
  EXPECT_EQ(e.Value(0x0E090000), QStringLiteral("100"));
  for (uint32_t id = 0x0E0B0000; id <= 0x0E0B0300; id += 0x100)
    EXPECT_EQ(e.Value(id), QStringLiteral("1")) << std::hex << id << ": no relative factor rescaled to a rejected common one";
  EXPECT_TRUE(e.W->Fxf.Changes.isEmpty());
  EXPECT_EQ(u1->text(), QStringLiteral("1.6")) << "the page keeps what the operator typed";
  EXPECT_EQ(PageEdit(*e.W, 0x0E0B0100)->text(), QStringLiteral("1"));

  // Every later way out meets the same refusal: nothing half-written to send.
  EXPECT_FALSE(e.W->WriteTransformers());
  EXPECT_FALSE(e.W->ExportFull(e.Dir.filePath(QStringLiteral("full.xml"))));
  EXPECT_FALSE(e.W->SetLevel(1));
  EXPECT_EQ(e.W->Level(), 0);
  EXPECT_EQ(e.Value(0x0E0B0100), QStringLiteral("1"));
  e.W->FEasyPage->setCurrentIndex(1);
  Shot(*e.W, QStringLiteral("para-transformer-refused.png"));

  TypeInto(u1, QStringLiteral("1.5"));
  ASSERT_TRUE(e.W->WriteTransformers());
  EXPECT_EQ(e.Value(0x0E090000), QStringLiteral("150"));
  EXPECT_EQ(e.Value(0x0E0B0000), QStringLiteral("1"));
  EXPECT_EQ(e.Value(0x0E0B0100), QStringLiteral("0.66667"));
  EXPECT_EQ(PageEdit(*e.W, 0x0E090000)->text(), QStringLiteral("150")) << "the page shows the set as written";
  EXPECT_EQ(u1->text(), QStringLiteral("1"));
  EXPECT_EQ(PageEdit(*e.W, 0x0E0B0100)->text(), QStringLiteral("0.66667"));
}

// A set whose relative voltage factors are not scaled to the largest one.
TEST(ParaEditor, AnUntouchedTransformerSideWritesNothingATypedOneOnlyItself) {
  TEditor e(0, [](TParaDocument& d) {
    for (uint32_t id = 0x0E0B0000; id <= 0x0E0B0300; id += 0x100) SetNodeValue(d.FindFirst(id), ".//value", QStringLiteral("0.5"));
  });
  const QString common = e.Value(0x0E090000);
  EXPECT_TRUE(e.W->WriteTransformers());
  EXPECT_TRUE(e.W->SetLevel(1));
  EXPECT_EQ(e.Value(0x0E0B0000), QStringLiteral("0.5")) << "no value nobody typed";
  EXPECT_TRUE(e.W->Fxf.Changes.isEmpty());

  ASSERT_TRUE(e.W->SetLevel(0));
  QLineEdit* current = PageEdit(*e.W, 0x0E0A0000);
  ASSERT_NE(current, nullptr);
  TypeInto(current, QStringLiteral("80"));
  ASSERT_TRUE(e.W->WriteTransformers()) << e.W->Messages.join(QLatin1Char('|')).toStdString();
  EXPECT_EQ(e.Value(0x0E0A0000), QStringLiteral("80"));
  EXPECT_EQ(e.Value(0x0E090000), common) << "the voltage side was not typed in";
  for (uint32_t id = 0x0E0B0000; id <= 0x0E0B0300; id += 0x100) EXPECT_EQ(e.Value(id), QStringLiteral("0.5")) << std::hex << id;
  EXPECT_EQ(e.W->Fxf.Changes.size(), 1) << "one typed field, one change";
}

// ---- unsent values --------------------------------------------------------------------------

TEST(ParaEditor, UnsentValuesAreOnlyDiscardedAfterAsking) {
  TEditor e(1);
  int reloads = 0;
  e.W->ReloadPara = [&] { ++reloads; };
  QStringList asked;
  bool discard = false;
  e.W->FRunQuestion = [&](QMessageBox& box) {
    QStringList buttons;
    for (QAbstractButton* b : box.buttons()) buttons << b->text();
    asked << box.text() + QLatin1Char('|') + buttons.join(QLatin1Char(','));
    if (asked.size() == 1) Shot(box, QStringLiteral("para-discard-question.png"));
    return discard;
  };
  e.W->actReload->setEnabled(true);
  e.W->actReload->trigger();
  EXPECT_EQ(reloads, 1) << "nothing to lose: no question";
  EXPECT_TRUE(asked.isEmpty());

  ASSERT_TRUE(e.Edit(251658240, 251658244, QStringLiteral("9")));
  e.W->actReload->trigger();
  ASSERT_EQ(asked.size(), 1);
  EXPECT_EQ(asked[0], QStringLiteral("Ungesendete Änderungen verwerfen?|Verwerfen,Abbrechen"));
  EXPECT_EQ(reloads, 1) << "Abbrechen keeps the values";
  EXPECT_EQ(e.Value(251658244), QStringLiteral("9"));

  e.W->show();
  EXPECT_FALSE(e.W->close());
  EXPECT_EQ(asked.size(), 2) << "closing asks too";
  EXPECT_TRUE(e.W->isVisible());

  discard = true;
  e.W->actReload->trigger();
  EXPECT_EQ(reloads, 2);
  EXPECT_EQ(asked.size(), 3);

  // The reload did not come: the answer was about the values there were then.
  discard = false;
  ASSERT_TRUE(e.W->FGrd->SetValue(e.Row(251658244), QStringLiteral("7")));
  EXPECT_FALSE(e.W->close()) << "a value entered after the answer is not let go unasked";
  EXPECT_EQ(asked.size(), 4);
  EXPECT_EQ(e.Value(251658244), QStringLiteral("7"));

  discard = true;
  e.W->actReload->trigger();
  EXPECT_EQ(asked.size(), 5);
  EXPECT_TRUE(e.W->close()) << "the close that follows the answer does not ask again";
  EXPECT_EQ(asked.size(), 5);
}

TEST(ParaEditor, LayoutComesFromTheHostAndGoesBackOnClose) {
  TEditor e(1);
  TFrmParaSettings stored{320, 120, 90, 80, 70, 60, 0, 0};
  e.W->SetSettings(stored, {});
  TFrmParaSettings back;
  e.W->FParaSettingsCallback = [&](QObject*, TFrmParaSettings& p) { back = p; };
  e.W->show();
  EXPECT_EQ(e.W->FSplit->sizes().value(0), 320);
  EXPECT_EQ(e.W->FGrd->columnWidth(0), 120);
  e.W->FGrd->setColumnWidth(1, 140);
  e.W->close();
  EXPECT_EQ(back.ParaVal, 140);
  EXPECT_EQ(back.ParaInfo, 120);
}

TEST(ParaEditor, ChangeExportAndCsvExportWriteOnlyWhatTheyShould) {
  TEditor e(2);
  const QString out = e.Dir.filePath(QStringLiteral("changes.xml"));
  EXPECT_FALSE(e.W->ExportChanged(out));
  EXPECT_EQ(e.W->Messages.last(), QStringLiteral("Keine Änderungen"));
  EXPECT_FALSE(QFile::exists(out));
  ASSERT_TRUE(e.Edit(251658240, 251658244, QStringLiteral("9")));
  ASSERT_TRUE(e.W->ExportChanged(out));
  TParaDocument back;
  QString error;
  ASSERT_TRUE(back.LoadFile(out, error)) << error.toStdString();
  EXPECT_EQ(QString::fromUtf8(back.Doc().select_node("//device[@name]").node().attribute("name").value()),
            QStringLiteral("anyDevice"));
  EXPECT_TRUE(back.FindFirst(251658244));
  EXPECT_FALSE(back.FindFirst(251658243)) << "unchanged siblings are gone";

  QUrl opened;
  e.W->FOpenUrl = [&](const QUrl& u) {
    opened = u;
    return true;
  };
  e.W->FRunSelect = [](TFrmParaSelect& dlg) {
    dlg.TickOnly(0);
    dlg.btnOk->click();
    return true;
  };
  ASSERT_TRUE(e.W->ExportCsv());
  QFile csv(opened.toLocalFile());
  ASSERT_TRUE(csv.open(QIODevice::ReadOnly)) << opened.toString().toStdString();
  const QString text = QString::fromUtf8(csv.readAll());
  EXPECT_TRUE(text.contains(QStringLiteral("Modbus"))) << "the one module left ticked has its section";
  EXPECT_FALSE(text.contains(QStringLiteral("\r\nTunnel\r\n")));
}

TEST(ParaEditor, ImportOffersTheDifferencesAndAppliesTheTickedOnes) {
  TEditor e(1);
  // The file to import: two values changed, one of them out of range.
  TParaDocument other;
  QString error;
  ASSERT_TRUE(other.LoadFile(CSample, error));
  SetNodeValue(other.FindFirst(251658244), ".//value", QStringLiteral("42"));
  SetNodeValue(other.FindFirst(4278190338u), ".//value", QStringLiteral("503"));
  SetNodeValue(other.FindFirst(83886081), ".//value", QStringLiteral("500"));
  const QString file = e.Dir.filePath(QStringLiteral("import.xml"));
  ASSERT_TRUE(other.SaveFile(file, error));

  QStringList shown;
  QString groupOfChanged;
  e.W->FRunChanged = [&](TFrmParaChanged& dlg) {
    for (QTreeWidgetItemIterator it(dlg.TreeView1); *it; ++it)
      if ((*it)->text(2) == QStringLiteral("42") && (*it)->parent() && (*it)->parent()->parent())
        groupOfChanged = (*it)->parent()->text(0) + QLatin1Char('<') + (*it)->parent()->parent()->text(0);
    for (QTreeWidgetItemIterator it(dlg.TreeView1); *it; ++it)
      if ((*it)->childCount() == 0) shown << (*it)->text(1) + QLatin1Char('>') + (*it)->text(2).section(' ', 0, 0);
    dlg.SetTicked(dlg.ModuleItem(QStringLiteral("Modbus")), false);  // keep the device's Modbus port
    return true;
  };
  ASSERT_TRUE(e.W->ImportFile(file));
  ASSERT_TRUE(SpinUntil([&] { return !e.W->Busy(); }, 5000));
  EXPECT_TRUE(shown.contains(QStringLiteral("2>42"))) << shown.join(',').toStdString();
  EXPECT_TRUE(shown.contains(QStringLiteral("502>503")));
  EXPECT_EQ(groupOfChanged, QStringLiteral("Testwerte<System")) << "values sit under their groups";
  EXPECT_EQ(e.Value(251658244), QStringLiteral("42"));
  EXPECT_EQ(e.Value(4278190338u), QStringLiteral("502")) << "unticked module stays";
  EXPECT_EQ(e.Value(83886081), QStringLiteral("90")) << "an invalid value is replaced by the default";
  EXPECT_TRUE(std::any_of(e.W->Messages.cbegin(), e.W->Messages.cend(),
                          [](const QString& m) { return m.startsWith(QStringLiteral("Die folgenden Einstellungen")); }));

}

TEST(ParaEditor, ResetRunsOnAWorkerAndSparesTheNetworkModule) {
  TEditor e(1);
  ASSERT_TRUE(e.Edit(251658240, 251658244, QStringLiteral("9")));
  ASSERT_TRUE(e.Edit(4278191104u, 4278191105u, QStringLiteral("192.0.2.99")));  // the network settings
  e.W->ResetToDefault();
  ASSERT_TRUE(SpinUntil([&] { return !e.W->Busy(); }, 5000));
  EXPECT_EQ(e.Value(251658244), GetNodeValue(e.W->Fxf.FindFirst(251658244), ".//default"));
  EXPECT_EQ(e.Value(4278191105u), QStringLiteral("192.0.2.99")) << "the network module keeps its address";
  EXPECT_TRUE(e.W->PanelBack->isEnabled());
}

// ---- dialogs --------------------------------------------------------------------------------

namespace {
TCompareRec rec(const QString& key, const QString& module, int visibility) {
  TCompareRec r;
  r.Key = key;
  r.Module = module;
  r.NodeName = key;
  r.Visibility = visibility;
  return r;
}
}  // namespace

TEST(ParaDialogs, ChangeDialogTicksPropagateAndServiceItemsFollowTheirBox) {
  TFrmParaChanged dlg;
  dlg.InsertTV({rec("a", "M", 1), rec("b", "M", 1), rec("s", "M", 2), rec("n", "Net", 0)}, {QStringLiteral("Net")});
  EXPECT_EQ(dlg.TickedKeys(), (QStringList{"a", "b"})) << "all ticked but the network module and the service item";
  EXPECT_FALSE(dlg.ValueItem("s")->flags() & Qt::ItemIsEnabled) << "a service item";
  dlg.chkService->setChecked(true);
  EXPECT_EQ(dlg.TickedKeys(), (QStringList{"a", "b", "s"})) << "the box brings the service item";
  dlg.chkService->setChecked(false);
  dlg.SetTicked(dlg.ModuleItem("M"), false);
  EXPECT_TRUE(dlg.TickedKeys().isEmpty()) << "unticking the module leaves the service item as it was";
  dlg.chkService->setChecked(true);
  EXPECT_EQ(dlg.TickedKeys(), QStringList{"s"});
  EXPECT_EQ(dlg.ModuleItem("M")->checkState(0), Qt::Checked) << "a ticked child ticks its module";
  dlg.chkService->setChecked(false);
  EXPECT_TRUE(dlg.TickedKeys().isEmpty());
  EXPECT_EQ(dlg.ModuleItem("M")->checkState(0), Qt::Unchecked);
  dlg.SetTicked(dlg.ValueItem("a"), true);
  EXPECT_EQ(dlg.ModuleItem("M")->checkState(0), Qt::Checked);
  dlg.SetTicked(dlg.ValueItem("a"), false);
  EXPECT_EQ(dlg.ModuleItem("M")->checkState(0), Qt::Unchecked) << "the last ticked item unticks the module";
}

TEST(ParaDialogs, AnUntickedServiceBoxAppliesNoServiceItem) {
  TFrmParaChanged dlg;
  dlg.InsertTV({rec("a", "M", 1), rec("s", "M", 2), rec("t", "Service", 2)}, {});
  EXPECT_FALSE(dlg.chkService->isChecked());
  EXPECT_EQ(dlg.ValueItem("s")->checkState(0), Qt::Unchecked) << "a service item starts as its box";
  EXPECT_EQ(dlg.ModuleItem("Service")->checkState(0), Qt::Unchecked) << "a module of service items only is not ticked";
  EXPECT_EQ(dlg.TickedKeys(), QStringList{"a"});
  // Even a service item ticked some other way is not applied while its box is off.
  dlg.ValueItem("t")->setCheckState(0, Qt::Checked);
  EXPECT_EQ(dlg.TickedKeys(), QStringList{"a"});
  Shot(dlg, QStringLiteral("para-import-service.png"));
}

TEST(ParaDialogs, ModuleSelectionFlagsUntickedModulesOnlyOnOk) {
  QStringList modules{"Modbus=1", "Tunnel=1", "GPS=0"};
  {
    TFrmParaSelect dlg;
    dlg.CreateSelect(QStringLiteral("Feld 3"), &modules);
    ASSERT_EQ(dlg.lstSel->count(), 2) << "modules without visible items are not offered";
    EXPECT_TRUE(dlg.TxtDescSelect->text().contains(QStringLiteral("[Feld 3]")));
    dlg.lstSel->item(1)->setCheckState(Qt::Unchecked);
    dlg.btnAbort->click();
  }
  EXPECT_EQ(modules, (QStringList{"Modbus=1", "Tunnel=1", "GPS=0"}));
  TFrmParaSelect dlg;
  dlg.CreateSelect(QStringLiteral("Feld 3"), &modules);
  dlg.lstSel->item(1)->setCheckState(Qt::Unchecked);
  dlg.btnOk->click();
  EXPECT_EQ(modules, (QStringList{"Modbus=1", "GPS=0", "Tunnel=0"}));
}

TEST(ParaDialogs, PickerFindsValuesByTextAndById) {
  TFormMessUeberwachung picker;
  ASSERT_TRUE(picker.FillTV(QStringLiteral(VANTA_MAPPINGDB), QStringLiteral("lang_de"), 0)) << picker.LastError.toStdString();
  EXPECT_EQ(picker.windowTitle(), QStringLiteral("Setup der Überwachungsgrößen"));
  EXPECT_EQ(picker.popbxClass->currentIndex(), 2) << "without an id the third class shows";
  ASSERT_GT(picker.TreeView1->topLevelItemCount(), 0);
  // The first value of the tree, found again by a piece of its text in another case.
  QTreeWidgetItem* leaf = nullptr;
  for (QTreeWidgetItemIterator it(picker.TreeView1); *it && !leaf; ++it)
    if (!(*it)->data(0, Qt::UserRole).toString().isEmpty()) leaf = *it;
  ASSERT_NE(leaf, nullptr);
  const QString id = leaf->data(0, Qt::UserRole).toString();
  ASSERT_NE(id.toUInt(), 0u);
  picker.edtID->setText(leaf->text(0).left(6).toUpper());
  picker.Search();
  ASSERT_NE(picker.TreeView1->currentItem(), nullptr);
  EXPECT_TRUE(picker.TreeView1->currentItem()->text(0).contains(leaf->text(0).left(6), Qt::CaseInsensitive));
  emit picker.TreeView1->itemClicked(leaf, 0);
  EXPECT_EQ(picker.ChosenId(), id.toUInt());
  Shot(picker, QStringLiteral("picker.png"));

  TFormMessUeberwachung byId;
  ASSERT_TRUE(byId.FillTV(QStringLiteral(VANTA_MAPPINGDB), QStringLiteral("lang_de"), id.toUInt()));
  ASSERT_NE(byId.TreeView1->currentItem(), nullptr);
  EXPECT_EQ(byId.TreeView1->currentItem()->data(0, Qt::UserRole).toString(), id) << "opened at the given id";

  TFormMessUeberwachung modbus;
  ASSERT_TRUE(modbus.FillTVModbus(QStringLiteral(VANTA_MAPPINGDB), QStringLiteral("lang_de"), 0));
  EXPECT_FALSE(modbus.popbxClass->isVisibleTo(&modbus));
  EXPECT_GT(modbus.TreeView1->topLevelItemCount(), 0);

  TFormMessUeberwachung missing;
  EXPECT_FALSE(missing.FillTV(QStringLiteral("/nonexistent/MappingDB.db"), QStringLiteral("lang_de"), 0));
  EXPECT_EQ(missing.ChosenId(), 0u);
  EXPECT_FALSE(missing.Button1->isEnabled());
}

// ---- sending, against the simulator ---------------------------------------------------------

namespace {

// An editor connected to a simulator whose set `prepare` may change first.
// The module selection is confirmed as offered, and the previews are counted
// and confirmed, unless a test says otherwise.
struct TSimEditor {
  TSimProcess Sim;
  QTemporaryDir Data;
  QStringList Log;
  std::unique_ptr<TFormPara> W;
  int Previews = 0;
  bool Start(int level, const std::function<void(TParaDocument&)>& prepare = {}, const QStringList& simArgs = {}) {
    if (!Sim.Start(simArgs) || !Prepare(Sim.Root() + QStringLiteral("/mnt/flashdrive0/data/setup/setup.xml"), prepare))
      return false;
    W = std::make_unique<TFormPara>();
    W->FAskComment = false;
    W->FVisibility = level;
    W->FRunSelect = [](TFrmParaSelect& dlg) {
      dlg.btnOk->click();
      return true;
    };
    W->FRunPreview = [this](TFrmSendPreview&) { return ++Previews > 0; };
    vanta::test::ConnectToSim(*W, Data.path(), Log, Sim.Port);
    return SpinUntil([&] { return bool(W->Fxf.Sys()); }, 10000);
  }
  QString Value(uint32_t id) const { return GetNodeValue(W->Fxf.FindFirst(id), ".//value"); }
  bool Edit(uint32_t folder, uint32_t id, const QString& text) { return EditValue(*W, folder, id, text); }
  QStringList Backups() const {
    return QDir(W->FComUnit->FDatadir).entryList({QStringLiteral("ParaBackup_*.xml")}, QDir::Files, QDir::Name);
  }
};

}  // namespace

// ---- a round trip against the simulator ------------------------------------------------------------------

TEST(ParaEditor, RoundTripWithTheSimulatorLeavesAnUntickedModuleAlone) {
  TSimEditor s;
  ASSERT_TRUE(s.Start(1)) << s.Log.join('\n').toStdString();
  TFormPara& w = *s.W;
  const QStringList& log = s.Log;
  w.FAskComment = true;
  EXPECT_EQ(w.windowTitle(), QStringLiteral("Geräte-Parametrierung @ 127.0.0.1:%1").arg(s.Sim.Port));
  ASSERT_TRUE(s.Edit(251658240, 251658244, QStringLiteral("5")));      // integer
  ASSERT_TRUE(s.Edit(251658240, 251658243, QStringLiteral("neu")));    // text
  ASSERT_TRUE(s.Edit(251658240, 251658245, QStringLiteral("c")));      // text list
  ASSERT_TRUE(s.Edit(33554432, 33554437, QStringLiteral("1")));        // boolean
  ASSERT_TRUE(s.Edit(4278190336u, 4278190338u, QStringLiteral("503"))); // Modbus port, module left out below

  w.FRunSelect = [](TFrmParaSelect& dlg) {
    for (int i = 0; i < dlg.lstSel->count(); ++i)
      if (dlg.lstSel->item(i)->text() == QStringLiteral("Modbus")) dlg.lstSel->item(i)->setCheckState(Qt::Unchecked);
    dlg.btnOk->click();
    return true;
  };
  w.FRunPreview = [](TFrmSendPreview& dlg) { return dlg.lstChanges->topLevelItemCount() == 5; };
  w.FRunComment = [](TFrmChangeComment& dlg) {
    dlg.edtUser->setText(QStringLiteral("anna"));
    dlg.memComment->setPlainText(QStringLiteral("Testwerte angepasst"));
    return true;
  };
  ASSERT_TRUE(w.actSendExecute());
  // The Modbus port stays behind with its module: the upload is not reported as complete.
  const QString partly = QStringLiteral("Teilweise übertragen: 1 geänderte Werte wurden nicht gesendet und bleiben in der Änderungsliste.");
  ASSERT_TRUE(SpinUntil([&] { return w.Messages.contains(partly); }, 10000)) << log.join('\n').toStdString();
  EXPECT_FALSE(w.Messages.contains(QStringLiteral("Übertragung abgeschlossen")));
  EXPECT_EQ(w.Fxf.Changes.size(), 1) << "only the value left behind is still unsent";
  EXPECT_TRUE(log.contains(QStringLiteral("Vanta: Kommentar zur Parametrierung: anna: Testwerte angepasst")));
  EXPECT_FALSE(w.FComUnit->FSendParaDone) << "later answers are no upload result";
  const qsizetype told = w.Messages.size();
  w.UploadDone(false);
  EXPECT_EQ(w.Messages.size(), told) << "a stray report after the upload changes nothing";
  EXPECT_TRUE(w.actSend->isEnabled());

  // Read back what the device now holds.
  const QString firstFile = w.Fxffn;
  w.Fxf = TParaDocument();
  w.ReloadPara();
  ASSERT_TRUE(SpinUntil([&] { return bool(w.Fxf.Sys()); }, 10000));
  EXPECT_EQ(s.Value(251658244), QStringLiteral("5"));
  EXPECT_EQ(s.Value(251658243), QStringLiteral("neu"));
  EXPECT_EQ(s.Value(251658245), QStringLiteral("c"));
  EXPECT_EQ(s.Value(33554437), QStringLiteral("1"));
  EXPECT_EQ(s.Value(4278190338u), QStringLiteral("502")) << "the unticked module was not sent";
  EXPECT_FALSE(firstFile.isEmpty());
  w.ShowFolder(w.Fxf.FindFirst(251658240));
  Shot(w, QStringLiteral("para-editor.png"));
}

TEST(ParaSend, ARefusedTransformerSetIsNeverSentAndTheFixedOneIsPreviewedFirst) {
  TSimEditor s;
  ASSERT_TRUE(s.Start(0, CommonFactorUpTo150)) << s.Log.join('\n').toStdString();
  int previews = 0;
  QStringList shown;
  s.W->FRunPreview = [&](TFrmSendPreview& dlg) {
    ++previews;
    for (int i = 0; i < dlg.lstChanges->topLevelItemCount(); ++i) {
      const QTreeWidgetItem* it = dlg.lstChanges->topLevelItem(i);
      shown << it->text(1) + QStringLiteral(">") + it->text(2);
    }
    Shot(dlg, QStringLiteral("para-send-preview.png"));
    return true;
  };
  QLineEdit* u1 = PageEdit(*s.W, 0x0E0B0000);
  ASSERT_NE(u1, nullptr);
  TypeInto(u1, QStringLiteral("1.6"));
  EXPECT_FALSE(s.W->actSendExecute());
  EXPECT_FALSE(s.W->actSendExecute()) << "the second Senden is refused as the first";
  EXPECT_EQ(previews, 0) << "nothing went as far as the preview";
  EXPECT_TRUE(s.Backups().isEmpty());
  EXPECT_EQ(s.Value(0x0E0B0100), QStringLiteral("1"));
  s.W->FEasyPage->setCurrentIndex(1);
  Shot(*s.W, QStringLiteral("para-transformer-refused-send.png"));

  TypeInto(u1, QStringLiteral("1.5"));
  ASSERT_TRUE(s.W->actSendExecute());
  EXPECT_EQ(previews, 1);
  EXPECT_TRUE(shown.contains(QStringLiteral("100>150"))) << shown.join(',').toStdString();
  EXPECT_TRUE(shown.contains(QStringLiteral("1>0.66667")));
  ASSERT_TRUE(SpinUntil([&] { return s.W->Messages.contains(QStringLiteral("Übertragung abgeschlossen")); }, 10000))
      << s.Log.join('\n').toStdString();
  EXPECT_FALSE(s.W->HasUnsentChanges()) << "what was sent is no longer unsent";

  // The set the device held before is kept, one file for the send.
  const QStringList backups = s.Backups();
  ASSERT_EQ(backups.size(), 1);
  TParaDocument before;
  QString error;
  ASSERT_TRUE(before.LoadFile(QDir(s.W->FComUnit->FDatadir).filePath(backups[0]), error)) << error.toStdString();
  EXPECT_EQ(GetNodeValue(before.FindFirst(0x0E090000), ".//value"), QStringLiteral("100"));
}

TEST(ParaSend, WithoutTheDevicesSetToKeepNothingIsSent) {
  TSimEditor s;
  ASSERT_TRUE(s.Start(1)) << s.Log.join('\n').toStdString();
  ASSERT_TRUE(s.Edit(218169343, 218103808, QStringLiteral("55")));
  s.W->FDeviceSet.clear();  // as after a read whose file could not be kept
  EXPECT_FALSE(s.W->actSendExecute());
  ASSERT_FALSE(s.W->Messages.isEmpty());
  EXPECT_TRUE(s.W->Messages.last().endsWith(QStringLiteral("Es wurde nichts gesendet."))) << s.W->Messages.last().toStdString();
  EXPECT_TRUE(s.Backups().isEmpty());
  SpinUntil([] { return false; }, 300);
  TParaDocument device;
  QString error;
  ASSERT_TRUE(device.LoadFile(s.Sim.Root() + QStringLiteral("/mnt/flashdrive0/data/setup/setup.xml"), error));
  EXPECT_EQ(GetNodeValue(device.FindFirst(218103808), ".//value"), QStringLiteral("50")) << "the device keeps its value";
  EXPECT_TRUE(s.W->HasUnsentChanges());
}

TEST(ParaSend, AtTheBasicLevelValuesInLeftOutModulesAreNamedFirst) {
  TSimEditor s;
  ASSERT_TRUE(s.Start(1)) << s.Log.join('\n').toStdString();
  ASSERT_TRUE(s.Edit(4278190336u, 4278190338u, QStringLiteral("503")));  // Modbus port: no module shows at level 0
  ASSERT_TRUE(s.Edit(218169343, 218103808, QStringLiteral("55")));      // the nominal frequency: on the basic page
  ASSERT_TRUE(s.W->SetLevel(0));
  QStringList asked;
  bool send = false;
  s.W->FRunQuestion = [&](QMessageBox& box) {
    QStringList buttons;
    for (QAbstractButton* b : box.buttons()) buttons << b->text();
    asked << box.text() + QLatin1Char('|') + buttons.join(QLatin1Char(','));
    Shot(box, QStringLiteral("para-level0-question.png"));
    return send;
  };
  EXPECT_FALSE(s.W->actSendExecute());
  ASSERT_EQ(asked.size(), 1);
  EXPECT_EQ(asked[0], QStringLiteral("1 geänderte Werte werden auf dieser Ebene nicht übertragen|Ohne diese Werte senden,Abbrechen"));
  EXPECT_EQ(s.Previews, 0) << "Abbrechen sends nothing";

  send = true;
  ASSERT_TRUE(s.W->actSendExecute());
  ASSERT_TRUE(SpinUntil([&] { return !s.W->Messages.isEmpty() && s.W->Messages.last().contains(QStringLiteral("übertragen")); }, 10000));
  EXPECT_FALSE(s.W->Messages.contains(QStringLiteral("Übertragung abgeschlossen"))) << "one value was not sent";
  EXPECT_TRUE(s.W->Messages.last().startsWith(QStringLiteral("Teilweise übertragen: 1 geänderte Werte"))) << s.W->Messages.last().toStdString();
  EXPECT_TRUE(s.W->Fxf.Changes.contains(ChangeKey(QStringLiteral("4278190338"), QStringLiteral("4278190336"))))
      << "the value left behind stays unsent";
  EXPECT_TRUE(s.W->HasUnsentChanges());
}

TEST(ParaSend, TheReloadAfterAFailedUploadAsksFirst) {
  TSimEditor s;
  ASSERT_TRUE(s.Start(1, {}, {QStringLiteral("--fault"), QStringLiteral("nak-setup")})) << s.Log.join('\n').toStdString();
  ASSERT_TRUE(s.Edit(251658240, 251658244, QStringLiteral("9")));
  int reloads = 0;
  s.W->ReloadPara = [&] { ++reloads; };
  QStringList asked;
  s.W->FRunQuestion = [&](QMessageBox& box) {
    asked << box.text();
    return false;
  };
  ASSERT_TRUE(s.W->actSendExecute());
  QMessageBox* failed = nullptr;
  ASSERT_TRUE(SpinUntil([&] { return (failed = s.W->findChild<QMessageBox*>(QStringLiteral("UploadFailed"))) != nullptr; }, 10000));
  QAbstractButton* reload = nullptr;
  for (QAbstractButton* b : failed->buttons())
    if (b->text() == QStringLiteral("Reload")) reload = b;
  ASSERT_NE(reload, nullptr);
  reload->click();
  EXPECT_EQ(asked, QStringList{QStringLiteral("Ungesendete Änderungen verwerfen?")});
  EXPECT_EQ(reloads, 0) << "Abbrechen keeps the edited set";
  EXPECT_EQ(s.Value(251658244), QStringLiteral("9"));
}

// ---- ICD file and full export -------------------------------------------------------------

namespace {
const QString CIcd = QStringLiteral(VANTA_SAMPLE_DIR "/mnt/flashdrive0/data/setup/station.icd");
QByteArray Bytes(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
bool Put(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}
// An ICD of another IED name, in a folder of its own.
QString OtherIcd(const QTemporaryDir& dir) {
  QDir(dir.path()).mkpath(QStringLiteral("elsewhere"));
  const QString path = dir.filePath(QStringLiteral("elsewhere/other.icd"));
  Put(path, Bytes(CIcd).replace("VANTASIM01", "FELD_NORD"));
  return path;
}
}  // namespace

// Loading copies the file beside the set and takes its values; a broken file
// is refused and the current one stays; saving asks before overwriting and
// keeps the old file on error.
TEST(ParaIcd, LoadRefuseAndSave) {
  TEditor e(1);
  const QString src = OtherIcd(e.Dir);
  ASSERT_TRUE(e.W->LoadIcd(src));
  const QString current = e.Dir.filePath(QStringLiteral("other.icd"));
  EXPECT_EQ(Bytes(current), Bytes(src)) << "a byte copy beside the set";
  EXPECT_FALSE(QFileInfo::exists(current + QStringLiteral(".part")));
  EXPECT_EQ(e.Value(4278190467u), QStringLiteral("FELD_NORD"));
  EXPECT_EQ(e.Value(4278190468u), QStringLiteral("other.icd"));
  EXPECT_FALSE(e.W->Fxf.Changes.isEmpty()) << "the new values are changes to send";

  const QByteArray before = Bytes(current);
  // A broken file of the same name, from another folder.
  QDir(e.Dir.path()).mkpath(QStringLiteral("broken"));
  const QString broken = e.Dir.filePath(QStringLiteral("broken/other.icd"));
  ASSERT_TRUE(QFile::copy(QStringLiteral(VANTA_TEST_DATA_DIR "/station-broken.icd"), broken));
  e.W->Messages.clear();
  EXPECT_FALSE(e.W->LoadIcd(broken));
  ASSERT_FALSE(e.W->Messages.isEmpty());
  EXPECT_TRUE(e.W->Messages.last().startsWith(QStringLiteral("Ungülige ICD Datei"))) << e.W->Messages.last().toStdString();
  EXPECT_EQ(Bytes(current), before) << "the current file is not replaced";
  EXPECT_EQ(e.Value(4278190467u), QStringLiteral("FELD_NORD"));

  // Saving gives the current file, after asking before an older one is overwritten.
  const QString out = e.Dir.filePath(QStringLiteral("out.icd"));
  ASSERT_TRUE(Put(out, "older"));
  e.Answer = false;
  EXPECT_FALSE(e.W->SaveIcd(out));
  ASSERT_EQ(e.Questions.size(), 1);
  EXPECT_TRUE(e.Questions[0].contains(out)) << e.Questions[0].toStdString();
  EXPECT_EQ(Bytes(out), QByteArray("older")) << "declined: untouched";
  e.Answer = true;
  ASSERT_TRUE(e.W->SaveIcd(out));
  EXPECT_EQ(Bytes(out), before);

  // A write that fails half-way (the process may write no more than 100
  // bytes per file, root or not): the message, and the file there stays.
  ASSERT_TRUE(Put(out, "older"));
  e.W->Messages.clear();
  bool saved = true;
  {
    const test::TFileSizeLimit limit(100);
    saved = e.W->SaveIcd(out);
  }
  EXPECT_FALSE(saved);
  ASSERT_FALSE(e.W->Messages.isEmpty());
  EXPECT_TRUE(e.W->Messages.last().startsWith(QStringLiteral("ICD-Datei kann nicht gespeichert werden"))) << e.W->Messages.last().toStdString();
  EXPECT_EQ(Bytes(out), QByteArray("older"));
}

TEST(ParaExport, AFullExportHoldsTheEditedSetAndAsksBeforeOverwriting) {
  TEditor e(1);
  ASSERT_TRUE(e.Edit(251658240, 251658244, QStringLiteral("3")));
  const QString out = e.Dir.filePath(QStringLiteral("full.xml"));
  ASSERT_TRUE(e.W->ExportFull(out));
  TParaDocument back;
  QString error;
  ASSERT_TRUE(back.LoadFile(out, error)) << error.toStdString();
  EXPECT_EQ(GetNodeValue(back.FindFirst(251658244), ".//value"), QStringLiteral("3")) << "the edit is in the file";
  EXPECT_EQ(GetNodeValue(back.FindFirst(0x0D000000), ".//value"), e.Value(0x0D000000)) << "and everything else";
  EXPECT_FALSE(e.W->Fxf.Changes.isEmpty()) << "an export sends nothing: the change stays to send";

  const QByteArray first = Bytes(out);
  ASSERT_TRUE(e.W->FGrd->SetValue(e.Row(251658244), QStringLiteral("1")));
  e.Answer = false;
  EXPECT_FALSE(e.W->ExportFull(out));
  EXPECT_EQ(Bytes(out), first) << "declined: the older export stays";
  e.Answer = true;
  ASSERT_TRUE(e.W->ExportFull(out));
  ASSERT_TRUE(back.LoadFile(out, error));
  EXPECT_EQ(GetNodeValue(back.FindFirst(251658244), ".//value"), QStringLiteral("1"));
}

