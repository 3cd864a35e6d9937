#include "CmdLine.h"
#include "Language.h"

#include <QRegularExpression>

namespace vanta::cli {

namespace {
const TOptionSpec* Find(const QList<TOptionSpec>* specs, const QString& name) {
  if (!specs) return nullptr;
  for (const TOptionSpec& s : *specs)
    if (s.Names.contains(name)) return &s;
  return nullptr;
}
}  // namespace

bool TCmdLine::Has(const QString& name) const {
  for (const auto& [n, v] : Options)
    if (n == name) return true;
  return false;
}

TCmdLine ScanCommandLine(const QStringList& args, const QList<TOptionSpec>& options,
                         const std::function<const QList<TOptionSpec>*(const QString& command)>& commandOptions) {
  TCmdLine out;
  const QList<TOptionSpec>* ownOptions = nullptr;
  bool commandSeen = false;
  auto problem = [&out](const QString& text) {
    if (out.Error.isEmpty()) out.Error = text;
  };
  static const QRegularExpression COptionName(QStringLiteral("^[A-Za-z][A-Za-z0-9-]*$"));
  bool optionsEnded = false;
  for (qsizetype i = 0; i < args.size(); ++i) {
    const QString& a = args[i];
    if (optionsEnded || a == QLatin1String("-") || !a.startsWith(QLatin1Char('-'))) {
      if (!commandSeen) {
        commandSeen = true;
        out.Command = a;
        ownOptions = commandOptions(a);
        if (!ownOptions) problem(TEn::tr("unknown command '%1'").arg(a));
      } else {
        out.Args << a;
      }
      continue;
    }
    if (a == QLatin1String("--")) {
      optionsEnded = true;
      continue;
    }
    // --name, --name=value, -n; a value may also be the next argument.
    const bool longForm = a.startsWith(QLatin1String("--"));
    const QString body = a.mid(longForm ? 2 : 1);
    const qsizetype eq = longForm ? body.indexOf(QLatin1Char('=')) : -1;
    const QString name = eq < 0 ? body : body.left(eq);
    const bool inlineValue = eq >= 0;
    QString value = inlineValue ? body.mid(eq + 1) : QString();
    const QString shown = (longForm ? QStringLiteral("--") : QStringLiteral("-")) + name;
    // Behind its command, a command's own option wins over the program's of
    // the same name (mdb and para take --lang for the mapping database).
    const TOptionSpec* spec = commandSeen ? Find(ownOptions, name) : nullptr;
    bool own = spec != nullptr;
    if (!spec) spec = Find(&options, name);
    // One dash takes a letter, two dashes a word: "-help" is a typo, not
    // another way to write --help.
    // A command's own one-letter words ("calibrate --u 230") are words too.
    if (spec && longForm != (name.size() > 1) && !(own && longForm)) spec = nullptr;
    if (!spec) {
      // Most likely an argument that starts with a dash, such as a Lua
      // comment or a negative number.
      const bool looksLikeArgument = commandSeen && !COptionName.match(name).hasMatch();
      if (looksLikeArgument)
        problem(TEn::tr("unknown option '%1' (put -- before an argument that starts with '-')").arg(a));
      else
        problem(TEn::tr("unknown option '%1'").arg(shown));
      continue;
    }
    if (spec->TakesValue && !inlineValue) {
      if (i + 1 >= args.size()) {
        problem(TEn::tr("option '%1' needs a value").arg(shown));
        continue;
      }
      value = args[++i];
    } else if (!spec->TakesValue && inlineValue) {
      problem(TEn::tr("option '%1' takes no value").arg(shown));
      continue;
    }
    const QString key = spec->Names.constLast();
    if (own && spec->TakesValue && out.CommandOptions.contains(key))
      out.CommandOptions[key] += QLatin1Char('\n') + value;  // a repeated option keeps every value
    else if (own)
      out.CommandOptions.insert(key, value);
    else if (key == QLatin1String("help"))
      out.Help = true;
    else if (key == QLatin1String("version"))
      out.Version = true;
    else
      out.Options.append({key, value});
  }
  if (!commandSeen) problem(TEn::tr("no command given"));
  return out;
}

}  // namespace vanta::cli
