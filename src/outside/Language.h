#pragma once
// The language of the programs: German (the texts as written in the
// sources) or English (the catalogue translations/vanta_en.ts, built into
// the programs). The system locale decides: de_*, and an unset, C or POSIX
// locale, give German, so scripts and services keep parsing what they parse
// today; any other language gives English. `--lang de|en` on every program
// (and the host's setting) overrides it. JSON keys, CSV headings and log
// lines are never translated; texts a device sends are shown as sent.
#include <QCoreApplication>
#include <QString>

namespace vanta {

// Texts outside a QObject class: TTr::tr("…"), written unqualified (the
// catalogue files the text under the name as written, the program looks
// it up under "TTr").
struct TTr {
  Q_DECLARE_TR_FUNCTIONS(TTr)
};

// Texts written in English: the command-line programs' usage, argument and
// progress messages, TEn::tr("…"). German comes from the catalogue
// translations/vanta_de.ts when German was chosen (a de_* locale or
// --lang de); without a choice (C, POSIX, unset) they stay as scripts know
// them, and English needs no catalogue.
struct TEn {
  Q_DECLARE_TR_FUNCTIONS(TEn)
};

// "de" or "en" for a locale name such as "en_US.UTF-8", "de_AT", "C" or "".
QString LanguageOfLocale(const QString& locale);
// The locale that decides messages: LC_ALL, else LC_MESSAGES, else LANG.
QString MessagesLocale();
// `--lang X` or `--lang=X` among the arguments: "de", "en", empty when not
// given; false with a message for another value or a missing one.
bool LangArgument(const QStringList& arguments, QString& lang, QString& error);
// Installs the translators for `lang` ("de" or "en") into the running
// application: ours for English, Qt's own (buttons of message boxes,
// standard dialogs) for German. Returns false with a reason when a
// catalogue is missing; the texts then stay German.
bool InstallLanguage(const QString& lang, QString* error = nullptr);
// The same; `qtGerman` false leaves Qt's own texts English under German.
bool InstallLanguage(const QString& lang, bool qtGerman, QString* error = nullptr);
// What InstallLanguage installed last ("de" until then).
QString CurrentLanguage();
// Everything in one call at a program's start, after the application object:
// `--lang` if given, else `setting` if not empty, else the locale. A bad
// --lang is told in `error` (the caller exits with its usage code).
// `windows`: a program of windows, whose German questions get German
// buttons even when nobody chose German; a program scripts read keeps
// Qt's own texts English then.
bool SetupLanguage(const QStringList& arguments, const QString& setting, QString& error, bool windows = false);

// A count with its noun: `one` for exactly one ("1 Wert"), else `many`
// with the number for %1 ("%1 Werte"); both already translated.
inline QString CountText(qint64 n, const QString& one, const QString& many) { return n == 1 ? one : many.arg(n); }

}  // namespace vanta
