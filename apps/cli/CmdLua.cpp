// lua STATEMENT: run one statement on the device and print what it prints.
#include "CliSession.h"
#include "Language.h"

namespace vanta::cli {

TCliCommand LuaCommand() {
  return {QStringLiteral("lua"),
          QStringLiteral("lua STATEMENT"),
          {},
          [](const TCliArgs& a) {
            if (a.Args.isEmpty()) return Missing(TEn::tr("STATEMENT"));
            return a.Args.size() == 1 ? TArgProblem::None() : Unexpected(a.Args[1]);
          },
          [](TCliSession& s, const TCliArgs& a) {
            QString output;
            bool failed = false;
            if (!s.Lua(a.Args[0], output, failed)) {
              s.Out().Error(!s.Refusals().isEmpty() ? s.Refusals().join(QStringLiteral("; "))
                            : s.ConnectionLost()    ? ConnectionLostText()
                                                    : TTr::tr("keine Antwort auf die Lua-Anweisung"));
              return s.Refusals().isEmpty() ? int(ecNoConnection) : int(ecRefused);
            }
            QString text = output;
            text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
            if (s.Out().Json()) {
              const QString why = !text.trimmed().isEmpty() ? text.trimmed()
                                  : !s.Refusals().isEmpty() ? s.Refusals().join(QStringLiteral("; "))
                                                            : TTr::tr("Lua-Anweisung fehlgeschlagen");
              if (failed)
                s.Out().Error(why);
              else
                s.Out().Result().insert(QStringLiteral("output"), text);
            } else {
              // The device's words as they are, on the stream that tells
              // success from failure.
              if (!text.isEmpty() && !text.endsWith(QLatin1Char('\n'))) text += QLatin1Char('\n');
              s.Out().Text(text, failed);
            }
            return failed ? int(ecRefused) : int(ecDone);
          }};
}

}  // namespace vanta::cli
