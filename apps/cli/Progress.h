#pragma once
// A one-line transfer progress bar on a terminal.
#include <QElapsedTimer>
#include <QString>
#include <cstdint>
#include <cstdio>

namespace vanta::cli {

class TProgress {
 public:
  // `out` null draws nothing: the bar belongs on a terminal only, and never
  // where its carriage returns would end up in a file or a pipe.
  // `columns` 0: width unknown. Short transfers finish before `showAfterMs`
  // and never flash a bar.
  explicit TProgress(std::FILE* out, int columns = 0, int showAfterMs = 300);
  ~TProgress();
  TProgress(const TProgress&) = delete;
  TProgress& operator=(const TProgress&) = delete;

  // Work reports count only between Start and Stop: the device's small
  // answers (session, Lua, lists) are no transfer the user waits for.
  void Start(const QString& label);
  void Stop();

  void Begin(int64_t total);
  void Advance(int64_t done);
  void End();
  // Removes the bar so that a line printed next starts in column 0; the next
  // report draws it again.
  void Clear();

  // "  LABEL  DONE / TOTAL  PERCENT%", or "  LABEL  DONE" when the total is
  // not known (0). Longer than `columns` - 1, the label loses its front, as
  // the end of a path tells most; a line that fills the last column would
  // wrap and the carriage return would no longer reach its start.
  static QString FormatLine(const QString& label, int64_t done, int64_t total, int columns = 0);
  // Bytes in B, KiB, MiB or GiB with one decimal place.
  static QString FormatSize(int64_t bytes);

 private:
  void Draw();

  std::FILE* FOut;
  int FColumns;
  int FShowAfterMs;
  bool FActive = false;
  bool FRunning = false;
  QString FLabel;
  int64_t FTotal = 0;
  int64_t FDone = 0;
  QElapsedTimer FSince;     // since Begin
  QElapsedTimer FLastDraw;  // redraws are limited: a terminal flooded with them lags
  int FDrawn = 0;           // columns on screen now
  QString FLastLine;
};

// Draws for one transfer and always leaves a clean line behind, also on an
// early return.
class TProgressScope {
 public:
  TProgressScope(TProgress& p, const QString& label) : FProgress(p) { FProgress.Start(label); }
  ~TProgressScope() { FProgress.Stop(); }
  TProgressScope(const TProgressScope&) = delete;
  TProgressScope& operator=(const TProgressScope&) = delete;

 private:
  TProgress& FProgress;
};

}  // namespace vanta::cli
