// Which language a program speaks, and the built-in English catalogue.
#include <gtest/gtest.h>

#include "EventTable.h"
#include "Language.h"
#include "RecordFile.h"

using namespace vanta;

TEST(Language, TheLocaleDecidesGermanForGermanAndForNoChoice) {
  for (const char* de : {"de_DE.UTF-8", "de_AT", "de_CH.UTF-8", "de", "", "C", "C.UTF-8", "POSIX"})
    EXPECT_EQ(LanguageOfLocale(QString::fromLatin1(de)), QStringLiteral("de")) << de;
  for (const char* en : {"en_US.UTF-8", "en_GB", "fr_FR.UTF-8", "sv_SE", "nl_NL.UTF-8"})
    EXPECT_EQ(LanguageOfLocale(QString::fromLatin1(en)), QStringLiteral("en")) << en;
}

TEST(Language, LangOptionTakesDeOrEnInBothSpellings) {
  QString lang, error;
  ASSERT_TRUE(LangArgument({QStringLiteral("p"), QStringLiteral("--lang"), QStringLiteral("en"), QStringLiteral("status")}, lang, error));
  EXPECT_EQ(lang, QStringLiteral("en"));
  ASSERT_TRUE(LangArgument({QStringLiteral("p"), QStringLiteral("status"), QStringLiteral("--lang=de")}, lang, error));
  EXPECT_EQ(lang, QStringLiteral("de"));
  ASSERT_TRUE(LangArgument({QStringLiteral("p"), QStringLiteral("status")}, lang, error));
  EXPECT_TRUE(lang.isEmpty());
  // After "--" a word is an argument of the command, not an option.
  ASSERT_TRUE(LangArgument({QStringLiteral("p"), QStringLiteral("--"), QStringLiteral("--lang=xx")}, lang, error));
  EXPECT_TRUE(lang.isEmpty());
  EXPECT_FALSE(LangArgument({QStringLiteral("p"), QStringLiteral("--lang"), QStringLiteral("fr")}, lang, error));
  EXPECT_TRUE(error.contains(QStringLiteral("de or en"))) << error.toStdString();
  EXPECT_FALSE(LangArgument({QStringLiteral("p"), QStringLiteral("--lang")}, lang, error));
}

TEST(Language, TheEnglishCatalogueIsBuiltInAndGermanIsTheSource) {
  ASSERT_TRUE(InstallLanguage(QStringLiteral("en")));
  EXPECT_EQ(CurrentLanguage(), QStringLiteral("en"));
  EXPECT_EQ(TTr::tr("Gerätezeit"), QStringLiteral("Device time"));
  EXPECT_EQ(TTr::tr("keine Verbindung zu %1").arg(QStringLiteral("h:1")), QStringLiteral("no connection to h:1"));
  InstallLanguage(QStringLiteral("de"), false);
  EXPECT_EQ(CurrentLanguage(), QStringLiteral("de"));
  EXPECT_EQ(TTr::tr("Gerätezeit"), QStringLiteral("Gerätezeit"));
  // Qt's own texts in German when German was chosen: the buttons of a question.
  ASSERT_TRUE(InstallLanguage(QStringLiteral("de"), true));
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&Yes"), QStringLiteral("&Ja"));
  InstallLanguage(QStringLiteral("de"), false);
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&Yes"), QStringLiteral("&Yes"));
}

// Nobody chose a language (the tests run under C.UTF-8): the texts are
// German either way; a program of windows asks its German questions with
// German buttons, a program scripts read keeps Qt's own texts as they were.
TEST(Language, WithoutAChoiceOnlyWindowsGetQtsGermanButtons) {
  ASSERT_EQ(LanguageOfLocale(MessagesLocale()), QStringLiteral("de")) << MessagesLocale().toStdString();
  QString error;
  ASSERT_TRUE(SetupLanguage({QStringLiteral("host")}, QString(), error, true));
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&Yes"), QStringLiteral("&Ja"));
  ASSERT_TRUE(SetupLanguage({QStringLiteral("cli")}, QString(), error));
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&Yes"), QStringLiteral("&Yes"));
  EXPECT_EQ(CurrentLanguage(), QStringLiteral("de"));
}

// Messages made deep in the file readers reach the operator in the chosen
// language too; what they are about (the path, the counts) stays as it is.
TEST(Language, FileReadersAndEventTablesSpeakTheChosenLanguage) {
  struct TBackToGerman {
    ~TBackToGerman() { InstallLanguage(QStringLiteral("de"), false); }
  } back;
  TRecordFile f;
  QString error;
  TEventRecord rcm;
  rcm.Id = CEvtRcmState;
  rcm.Value = 2;
  ASSERT_TRUE(InstallLanguage(QStringLiteral("en")));
  EXPECT_FALSE(ParseRecordFile(QByteArray("VX"), f, error, QStringLiteral("a.evt")));
  EXPECT_TRUE(error.endsWith(QStringLiteral("too short for a recording file (offset 4)"))) << error.toStdString();
  EXPECT_TRUE(error.contains(QStringLiteral("a.evt"))) << error.toStdString();
  EXPECT_EQ(EventTableHeaders().first(), QStringLiteral("Event"));
  EXPECT_EQ(EventCellText(rcm, 0, TRecordHeader{}, {}), QStringLiteral("RCM alarm threshold exceeded"));

  InstallLanguage(QStringLiteral("de"), false);
  EXPECT_FALSE(ParseRecordFile(QByteArray("VX"), f, error, QStringLiteral("a.evt")));
  EXPECT_TRUE(error.contains(QStringLiteral("zu kurz für eine Aufzeichnungsdatei"))) << error.toStdString();
  EXPECT_EQ(EventCellText(rcm, 0, TRecordHeader{}, {}), QStringLiteral("Verletzung RCM Alarmschwelle"));
}
