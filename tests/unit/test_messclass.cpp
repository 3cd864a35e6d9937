// Measurement classes: captions by id and by name in two languages, the
// fallback for unknown ids, and tables that do not read.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "MessClass.h"

using namespace vanta;

namespace {
QString Write(QTemporaryDir& dir, const char* name, const QByteArray& text) {
  const QString path = dir.filePath(QString::fromLatin1(name));
  QFile f(path);
  f.open(QIODevice::WriteOnly);
  f.write(text);
  return path;
}
}  // namespace

TEST(MessClass, CaptionsByIdAndNameInTwoLanguages) {
  QTemporaryDir dir;
  TMessClass m;
  QString error;
  ASSERT_TRUE(m.LoadTable(TMessLang::mlGerman, Write(dir, "de.tsv", "# comment\n218103808\tfnom\tNennfrequenz\n0xFF000004\tmodules\tSoftwaremodule\n"), error))
      << error.toStdString();
  ASSERT_TRUE(m.LoadTable(TMessLang::mlEnglish, Write(dir, "en.tsv", "218103808\tfnom\tNominal frequency\n"), error));
  EXPECT_EQ(m.GetMessRec(218103808).Text, QStringLiteral("Nennfrequenz"));
  EXPECT_EQ(m.GetMessRec(4278190084u).Text, QStringLiteral("Softwaremodule")) << "hexadecimal ids in the table";
  EXPECT_EQ(m.GetMessRec(QStringLiteral("fnom")).ID, 218103808u);
  m.SetLanguage(TMessLang::mlEnglish);
  EXPECT_EQ(m.GetMessRec(218103808).Text, QStringLiteral("Nominal frequency"));
  EXPECT_EQ(m.GetMessRec(4278190084u).Text, QStringLiteral("Softwaremodule")) << "missing in English: the German name";
  const TMessRec unknown = m.GetMessRec(4278190085u);
  EXPECT_FALSE(unknown.Known) << "in neither table";
  EXPECT_TRUE(unknown.Text.contains(QStringLiteral("4278190085"))) << "an unknown id reads as a text with the id";
  EXPECT_EQ(TMessClass::StrToHexToStr(QStringLiteral("218103808")), QStringLiteral("0x0D000000"));
  EXPECT_EQ(TMessClass::StrToHexToStr(QStringLiteral("abc")), QString());
}

TEST(MessClass, BadTablesAreNamedWithTheirLine) {
  QTemporaryDir dir;
  TMessClass m;
  QString error;
  EXPECT_FALSE(m.LoadTable(TMessLang::mlGerman, Write(dir, "bad.tsv", "1\ta\tA\nzwei\tb\tB\n"), error));
  EXPECT_TRUE(error.contains(QStringLiteral("Zeile 2"))) << error.toStdString();
  EXPECT_EQ(m.Size(TMessLang::mlGerman), 0) << "nothing half-loaded";
  EXPECT_FALSE(m.LoadTable(TMessLang::mlGerman, dir.filePath(QStringLiteral("missing.tsv")), error));
}
