#include "Progress.h"

#include <cmath>

namespace vanta::cli {

TProgress::TProgress(std::FILE* out, int columns, int showAfterMs)
    : FOut(out), FColumns(columns), FShowAfterMs(showAfterMs) {}

TProgress::~TProgress() { Clear(); }

void TProgress::Start(const QString& label) {
  Clear();
  FActive = true;
  FRunning = false;
  FLabel = label;
}

void TProgress::Stop() {
  Clear();
  FActive = false;
  FRunning = false;
}

void TProgress::Begin(int64_t total) {
  if (!FActive) return;
  FRunning = true;
  FTotal = total > 0 ? total : 0;
  FDone = 0;
  FSince.start();
  Draw();
}

void TProgress::Advance(int64_t done) {
  if (!FActive) return;
  if (!FRunning) {
    // Some transports report progress without a begin: the total is unknown.
    FRunning = true;
    FTotal = 0;
    FSince.start();
  }
  FDone = done > 0 ? done : 0;
  Draw();
}

void TProgress::End() {
  if (!FActive) return;
  FRunning = false;
  Clear();
}

void TProgress::Clear() {
  if (!FOut || FDrawn == 0) return;
  std::fprintf(FOut, "\r%*s\r", FDrawn, "");
  std::fflush(FOut);
  FDrawn = 0;
  FLastLine.clear();
}

void TProgress::Draw() {
  if (!FOut || !FRunning) return;
  if (FSince.elapsed() < FShowAfterMs) return;
  if (FDrawn > 0 && FLastDraw.elapsed() < 100) return;
  const QString line = FormatLine(FLabel, FDone, FTotal, FColumns);
  if (line == FLastLine && FDrawn > 0) return;
  const QByteArray bytes = line.toLocal8Bit();
  const int width = int(line.size());
  // Pads over the rest of a longer line drawn before.
  std::fprintf(FOut, "\r%s%*s", bytes.constData(), qMax(0, FDrawn - width), "");
  std::fflush(FOut);
  FDrawn = width;
  FLastLine = line;
  FLastDraw.start();
}

QString TProgress::FormatSize(int64_t bytes) {
  if (bytes < 0) bytes = 0;
  if (bytes < 1024) return QStringLiteral("%1 B").arg(bytes);
  static const char* const CUnits[] = {"KiB", "MiB", "GiB", "TiB"};
  double value = double(bytes) / 1024.0;
  int unit = 0;
  // Decided on the rounded value: 1023.96 KiB reads 1.0 MiB, not 1024.0 KiB.
  while (std::round(value * 10.0) / 10.0 >= 1024.0 && unit < 3) {
    value /= 1024.0;
    ++unit;
  }
  return QStringLiteral("%1 %2").arg(value, 0, 'f', 1).arg(QLatin1String(CUnits[unit]));
}

QString TProgress::FormatLine(const QString& label, int64_t done, int64_t total, int columns) {
  QString figures = FormatSize(done);
  if (total > 0) {
    const int percent = int(qBound(0.0, std::floor(100.0 * double(qMax<int64_t>(0, done)) / double(total)), 100.0));
    figures += QStringLiteral(" / %1  %2%").arg(FormatSize(total)).arg(percent);
  }
  const QString lead = QStringLiteral("  ");
  const QString gap = QStringLiteral("  ");
  QString line = lead + label + gap + figures;
  if (columns <= 0 || line.size() < columns) return line;
  const qsizetype room = columns - 1 - (lead.size() + gap.size() + figures.size());
  const QString dots = QStringLiteral("...");
  if (room > dots.size()) return lead + dots + label.right(room - dots.size()) + gap + figures;
  return (lead + figures).left(columns - 1);
}

}  // namespace vanta::cli
