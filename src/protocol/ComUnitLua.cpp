// The Lua channel: output frames, line-wise logging and the receivers.
#include "ComUnit.h"

#include <utility>
#include "LogFormat.h"

namespace vanta {

using namespace ccci;

namespace {
constexpr char CEndMarker[] = "\x1a\x1b";
}

void TComUnit::RunLua(const QString& statement, TLuaReceiver receiver) {
  FTmpLUACallBack = std::move(receiver);
  SendLua(statement);
}

void TComUnit::LUACommand(TMemoryStream& stream) {
  const QByteArray text = LuaOutputText(CurrentFrame(stream));
  LOGF("LUA: StreamPos: %d, sz: %d", int(stream.Position()), int(stream.Size()));
  EvalLuaCommand(FHead.ExtCmd, text);
  LogLuaText(QString::fromLatin1(text), FHead.ExtCmd == 3);
  stream.SetPosition(qMin<qsizetype>(FHead.Size, stream.Size()));
}

// Into the log by whole lines, over CCCI and SSH alike: an answer that
// arrives in pieces is still one line where it is shown.
void TComUnit::LogLuaText(const QString& text, bool end) {
  FLuaText += text;
  for (qsizetype nl = FLuaText.indexOf(QLatin1Char('\n')); nl >= 0; nl = FLuaText.indexOf(QLatin1Char('\n'))) {
    QString line = FLuaText.left(nl);
    if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
    FLuaText.remove(0, nl + 1);
    WriteLog(line, true);
  }
  if (end && !FLuaText.isEmpty()) WriteLog(std::exchange(FLuaText, QString()), true);
}

void TComUnit::LUACommandSSH(const QByteArray& text) {
  // The shell's output arrives in pieces cut anywhere, the two-byte end
  // marker included: lines are judged whole, so the text after the last
  // line feed waits for the next piece. Only a line that grows without end
  // is passed on unfinished (but for a last byte that may begin the marker).
  constexpr qsizetype CLongLine = 64 * 1024;
  FShellTail += text;
  QString collected;
  bool told = false;
  auto chunk = [&](const QByteArray& line) {
    if (line.isEmpty()) return;
    EvalLuaCommand(1, line);
    collected += QString::fromLatin1(line);
  };
  auto report = [&](bool complete) {
    LogLuaText(collected, complete);
    collected.clear();
    WriteLog(QStringLiteral("done: ") + BoolText(complete));
    told = true;
    if (complete) {
      EvalLuaCommand(3, {});
      FWaitForAnswer = false;
    }
  };
  qsizetype from = 0;
  for (qsizetype nl = FShellTail.indexOf('\n'); nl >= 0; nl = FShellTail.indexOf('\n', from)) {
    const QByteArray line = FShellTail.mid(from, nl + 1 - from);  // with its line feed
    from = nl + 1;
    if (line.contains(CEndMarker))
      report(true);  // the line itself is not output; what follows belongs to the next statement
    else
      chunk(line);
  }
  FShellTail.remove(0, from);
  if (FShellTail.contains(CEndMarker)) {
    FShellTail.clear();  // the marker came last, without its line feed
    report(true);
    return;
  }
  if (FShellTail.size() > CLongLine) {
    const qsizetype keep = FShellTail.endsWith(CEndMarker[0]) ? 1 : 0;
    chunk(FShellTail.left(FShellTail.size() - keep));
    FShellTail.remove(0, FShellTail.size() - keep);
  }
  if (!told || !collected.isEmpty()) report(false);
}

void TComUnit::EndShellText() {
  if (FShellTail.isEmpty()) return;
  const QByteArray rest = std::exchange(FShellTail, QByteArray());
  EvalLuaCommand(1, rest);
  LogLuaText(QString::fromLatin1(rest), true);
}

void TComUnit::EvalLuaCommand(uint16_t ExtCmd, const QByteArray& text) {
  LOGF("LUA ExtCmd=%d Text=%s", int(ExtCmd), text.constData());
  const QString t = QString::fromLatin1(text);
  switch (ExtCmd) {
    case 1:
      if (FCCCISratchpadProc)
        FCCCISratchpadProc(t, false);
      else if (FTmpLUACallBack)
        FTMPLuasStr += t;
      break;
    case 2:
      FSuccess = false;
      FCCCISratchpad = TCCCISratchpad::spNone;
      if (FTmpLUACallBack) FTMPLuasStr += t;
      break;
    case 3: {
      if (FCCCISratchpadProc) {
        FCCCISratchpadProc(t, true);
      } else if (FFlashDone) {
        WriteLog(QStringLiteral("Read Data Before FlashDone"));
        FFlashDone(this, FSuccess);
        WriteLog(QStringLiteral("Read Data After FlashDone"));
      }
      if (FTmpLUACallBack) {
        FTMPLuasStr += t;
        // The field is empty before the receiver runs, so it may queue the
        // next statement with a receiver of its own.
        TLuaReceiver cb = std::move(FTmpLUACallBack);
        FTmpLUACallBack = nullptr;
        SendLUACBCommand(FTMPLuasStr, std::move(cb));
        FTMPLuasStr.clear();
      }
      if (FCCCISratchpad == TCCCISratchpad::spGetLog) {
        // The job stays spGetLog until the read is answered: that answer is
        // the log to save (with spNone it would be dropped).
        SendCommand(ccci::TCcci::SCRATCH_PAD_RD, QStringLiteral("logd.log"), false);
      } else if (FCCCISratchpad == TCCCISratchpad::spFlushLog) {
        FCCCISratchpad = TCCCISratchpad::spGetLog;
        SendCommand(ccci::TCcci::LUA_COMMAND, QStringLiteral("fs.cp(\"//mnt/flashdrive0/data/logd.log\",\"//mnt/flashdrive0/data/ccci/scratchpad/logd.log\")"),
                    true);
      }
      break;
    }
    default:
      break;
  }
}

void TComUnit::SendLUACBCommand(const QString& text, TLuaReceiver cb) {
  if (!cb) return;
  Postpone(this, [this, text, cb = std::move(cb)] { cb(this, text); });
}

}  // namespace vanta
