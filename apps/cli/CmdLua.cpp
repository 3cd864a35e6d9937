// lua STATEMENT: run one statement on the device and print what it prints.
#include <cstdio>

#include "CliSession.h"

namespace vanta::cli {

TCliCommand LuaCommand() {
  return {QStringLiteral("lua"), QStringLiteral("lua STATEMENT"), [](TCliSession& s, const QStringList& args) {
            if (args.size() != 1) return int(ecUsage);
            QString output;
            bool failed = false;
            if (!s.Lua(args[0], output, failed)) {
              std::fprintf(stderr, "vanta-cli: %s\n",
                           (s.Refusals().isEmpty() ? QStringLiteral("keine Antwort auf die Lua-Anweisung")
                                                   : s.Refusals().join(QStringLiteral("; ")))
                               .toLocal8Bit()
                               .constData());
              return s.Refusals().isEmpty() ? int(ecNoConnection) : int(ecRefused);
            }
            QString text = output;
            text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
            std::fputs(text.toLocal8Bit().constData(), failed ? stderr : stdout);
            if (!text.isEmpty() && !text.endsWith(QLatin1Char('\n'))) std::fputc('\n', failed ? stderr : stdout);
            return failed ? int(ecRefused) : int(ecDone);
          }};
}

}  // namespace vanta::cli
