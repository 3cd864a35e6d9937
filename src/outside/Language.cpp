#include "Language.h"

#include <QLibraryInfo>
#include <QTranslator>
#include <memory>

namespace vanta {

namespace {
QString GLanguage = QStringLiteral("de");
std::unique_ptr<QTranslator> GOurs, GQts;
}  // namespace

QString LanguageOfLocale(const QString& locale) {
  const QString l = locale.trimmed();
  if (l.isEmpty() || l == QLatin1String("C") || l.startsWith(QLatin1String("C.")) || l == QLatin1String("POSIX") ||
      l.startsWith(QLatin1String("de")))
    return QStringLiteral("de");
  return QStringLiteral("en");
}

QString MessagesLocale() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const QString v = qEnvironmentVariable(name);
    if (!v.isEmpty()) return v;
  }
  return {};
}

bool LangArgument(const QStringList& arguments, QString& lang, QString& error) {
  lang.clear();
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    const QString& a = arguments[i];
    if (a == QLatin1String("--")) break;
    QString value;
    if (a == QLatin1String("--lang")) {
      if (i + 1 >= arguments.size()) {
        error = TEn::tr("--lang needs a value: de or en");
        return false;
      }
      value = arguments[i + 1];
    } else if (a.startsWith(QLatin1String("--lang="))) {
      value = a.mid(7);
    } else {
      continue;
    }
    if (value != QLatin1String("de") && value != QLatin1String("en")) {
      error = TEn::tr("--lang %1: expected de or en").arg(value);
      return false;
    }
    lang = value;
  }
  return true;
}

bool InstallLanguage(const QString& lang, QString* error) { return InstallLanguage(lang, true, error); }

bool InstallLanguage(const QString& lang, bool qtGerman, QString* error) {
  if (GOurs) QCoreApplication::removeTranslator(GOurs.get());
  if (GQts) QCoreApplication::removeTranslator(GQts.get());
  GOurs.reset();
  GQts.reset();
  GLanguage = QStringLiteral("de");
  bool ok = true;
  if (lang == QLatin1String("en")) {
    // The sources are German: English is our catalogue; Qt's own texts are English already.
    auto t = std::make_unique<QTranslator>();
    if (t->load(QStringLiteral(":/i18n/vanta_en.qm")) && QCoreApplication::installTranslator(t.get())) {
      GOurs = std::move(t);
      GLanguage = QStringLiteral("en");
    } else {
      ok = false;
      if (error) *error = TEn::tr("the English catalogue is missing from the program");
    }
  } else if (qtGerman) {
    // German chosen: our texts written in English in German too.
    if (auto ours = std::make_unique<QTranslator>();
        ours->load(QStringLiteral(":/i18n/vanta_de.qm")) && QCoreApplication::installTranslator(ours.get()))
      GOurs = std::move(ours);
    // German texts with German buttons: Qt's own catalogue ("Ja", "Nein", "Abbrechen").
    auto t = std::make_unique<QTranslator>();
    if (t->load(QStringLiteral("qtbase_de"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
        QCoreApplication::installTranslator(t.get())) {
      GQts = std::move(t);
    } else {
      ok = false;
      if (error) *error = TEn::tr("Qt's German catalogue is not installed (Debian qt6-translations-l10n)");
    }
  }
  return ok;
}

QString CurrentLanguage() { return GLanguage; }

bool SetupLanguage(const QStringList& arguments, const QString& setting, QString& error, bool windows) {
  QString lang;
  const bool ok = LangArgument(arguments, lang, error);
  if (lang.isEmpty() && (setting == QLatin1String("de") || setting == QLatin1String("en"))) lang = setting;
  // German because nobody chose a language (C, POSIX, unset) keeps Qt's
  // own texts as they were, such as a socket's "Connection refused": what
  // scripts parse today stays. A German locale or a choice gets them in German.
  const QString locale = MessagesLocale();
  const bool chosen = windows || !lang.isEmpty() || locale.startsWith(QLatin1String("de"));
  if (lang.isEmpty()) lang = LanguageOfLocale(locale);
  // A missing catalogue leaves the texts German: nothing to stop for.
  InstallLanguage(lang, chosen);
  return ok;
}

}  // namespace vanta
