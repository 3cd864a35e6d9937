// Reports with charts: vanta-cli draws them without a display, each chart
// under its heading, and no text of a page runs into another.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cmath>

#include "CliSupport.h"
#include "RecordFile.h"

namespace {

using vanta::test::cli::RunCli;
using vanta::test::cli::TRun;

// One text line of a page as pdftotext places it (points, from the top left).
struct TLine {
  int Page = 0;
  double X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;
  QString Text;
};

std::vector<TLine> PdfLines(const QString& pdf, double& pageHeight) {
  QProcess p;
  p.start("pdftotext", {"-bbox-layout", pdf, "-"});
  p.waitForFinished(60000);
  const QString xml = QString::fromUtf8(p.readAllStandardOutput());
  std::vector<TLine> lines;
  static const QRegularExpression CPage(QStringLiteral("<page width=\"([\\d.]+)\" height=\"([\\d.]+)\">"));
  static const QRegularExpression CLine(
      "<line xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">(.*?)</line>",
      QRegularExpression::DotMatchesEverythingOption);
  static const QRegularExpression CWord(QStringLiteral(">([^<]*)</word>"));
  const QStringList pages = xml.split("<page ");
  for (int k = 1; k < pages.size(); ++k) {
    const auto size = CPage.match(QStringLiteral("<page ") + pages[k]);
    if (size.hasMatch()) pageHeight = size.captured(2).toDouble();
    for (auto it = CLine.globalMatch(pages[k]); it.hasNext();) {
      const auto m = it.next();
      TLine l{k, m.captured(1).toDouble(), m.captured(2).toDouble(), m.captured(3).toDouble(), m.captured(4).toDouble(), {}};
      for (auto w = CWord.globalMatch(m.captured(5)); w.hasNext();) l.Text += w.next().captured(1) + QLatin1Char(' ');
      l.Text = l.Text.trimmed();
      lines.push_back(l);
    }
  }
  return lines;
}

// Page `page` as an image at `dpi`.
QImage PdfPage(const QString& pdf, int page, int dpi, const QString& dir) {
  const QString base = QDir(dir).filePath("page");
  QProcess p;
  p.start("pdftoppm", {"-r", QString::number(dpi), "-f", QString::number(page), "-l", QString::number(page),
                       "-singlefile", "-png", pdf, base});
  p.waitForFinished(60000);
  return QImage(base + ".png");
}

// Share of pixels that are not (nearly) white in the band of `height` points
// below `y` points.
double Ink(const QImage& page, double pageHeight, double y, double height) {
  const double k = page.height() / pageHeight;
  int inked = 0, all = 0;
  for (int py = int(y * k); py < std::min(page.height(), int((y + height) * k)); ++py)
    for (int px = 0; px < page.width(); ++px, ++all)
      if (QColor(page.pixel(px, py)).lightness() < 200) ++inked;
  return all > 0 ? double(inked) / all : 0;
}

// Two weeks of 10-minute values of three phases, frequency and the voltage
// harmonics 2 to 25, with a voltage dip and a frequency excursion.
QString TwoWeeks(const QString& dir) {
  vanta::TContextHeader ctx;
  ctx.Class = "10min";
  ctx.IntervalMs = 600000;
  for (int k = 1; k <= 3; ++k)
    ctx.Channels << vanta::TRecordChannel{uint32_t(k), 0x0100FFFF, "V", QStringLiteral("U L%1").arg(k)};
  ctx.Channels << vanta::TRecordChannel{10, 0x0000FFFF, "Hz", "Frequenz"};
  for (int k = 1; k <= 3; ++k)
    for (int h = 2; h <= 25; ++h)
      ctx.Channels << vanta::TRecordChannel{uint32_t(100 * k + h), 0, "%", QStringLiteral("H%1 U L%2").arg(h).arg(k)};
  vanta::TRecordWriter w(vanta::TRecordKind::rkRecording, {12345678, 3600, false, "Nord", "F", "Geraet"}, ctx);
  const uint32_t monday = 1764547200;  // Monday 2025-12-01 00:00 UTC
  for (int i = 0; i < 2016; ++i) {
    vanta::TRecRow r{{monday + uint32_t(i) * 600, 0}, {}};
    for (int k = 0; k < 3; ++k) r.Values << float(230 * (1 + 0.03 * std::sin(i / 70.0 + k)) - (i > 1100 && i < 1160 ? 30 : 0));
    r.Values << float(50 + 0.05 * std::sin(i / 50.0) + (i == 500 ? 0.7 : 0));
    for (int k = 0; k < 3; ++k)
      for (int h = 2; h <= 25; ++h) r.Values << float((h % 2 ? 3.0 : 0.3) / (h / 3.0) + (h == 5 && k == 1 ? 4 : 0));
    w.Add(r);
  }
  const QString path = QDir(dir).filePath(QStringLiteral("10min-12345678-%1-000.log").arg(monday));
  QString error;
  EXPECT_TRUE(w.Save(path, error)) << error.toStdString();
  return path;
}

class CliReportCharts : public ::testing::Test {
 protected:
  void SetUp() override {
    if (QStandardPaths::findExecutable("pdftotext").isEmpty() || QStandardPaths::findExecutable("pdftoppm").isEmpty())
      GTEST_SKIP() << "poppler tools missing";
    Recording = TwoWeeks(Dir.path());
  }
  // The report of `kind` on the recording, drawn without a display.
  QString Report(const QString& kind, const QStringList& before = {}) {
    const QString pdf = Dir.filePath(kind + before.join(QString()) + ".pdf");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    env.remove("XDG_RUNTIME_DIR");  // as under cron or a service
    const TRun r = RunCli(before + QStringList{"report", kind, Recording, "--pdf", pdf}, 120000, env);
    EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
    EXPECT_TRUE(r.Err.isEmpty()) << "a report that worked says nothing on stderr: " << r.Err.toStdString();
    return pdf;
  }
  // The heading's line; its page and where it is.
  static const TLine* Find(const std::vector<TLine>& lines, const QString& text) {
    for (const TLine& l : lines)
      if (l.Text.startsWith(text)) return &l;
    return nullptr;
  }
  QTemporaryDir Dir;
  QString Recording;
};

TEST_F(CliReportCharts, En50160DrawsEachChartUnderItsHeadingWithAxesAndLegend) {
  const QString pdf = Report("en50160");
  double height = 0;
  const std::vector<TLine> lines = PdfLines(pdf, height);
  ASSERT_GT(height, 0);
  for (const QString heading : {"Einhaltung je Woche und Größe", "Spannung: 10-Minuten-Werte",
                                 "Frequenz: 10-Minuten-Werte", "Harmonische: 95 %-Werte"}) {
    SCOPED_TRACE(heading.toStdString());
    const TLine* h = Find(lines, heading);
    ASSERT_NE(h, nullptr) << "no chart heading";
    // The chart below its heading: frame, grid, bars or curves.
    const QImage page = PdfPage(pdf, h->Page, 50, Dir.path());
    ASSERT_FALSE(page.isNull());
    EXPECT_GT(Ink(page, height, h->Y1 + 20, height * 0.2), 0.02) << "nothing drawn under the heading";
  }
  // Axes are labelled with their quantity and unit, the curves and limits named.
  QStringList texts;
  for (const TLine& l : lines) texts << l.Text;
  const QString all = texts.join(QLatin1Char('\n'));
  for (const char* label : {"U [V]", "f [Hz]", "U L1", "U L2", "U L3", "-15 % Un (100 %)", "49,5 Hz (99,5 %)", "geforderter Anteil",
                            "Woche ab 01.12.2025", "Woche ab 08.12.2025", "Ordnung", "Grenze"})
    EXPECT_TRUE(all.contains(QString::fromUtf8(label))) << label;
}

TEST_F(CliReportCharts, HarmonicsStatisticsDrawTheirBars) {
  for (const QString kind : {"harmonics-u"}) {
    SCOPED_TRACE(kind.toStdString());
    const QString pdf = Report(kind);
    double height = 0;
    const std::vector<TLine> lines = PdfLines(pdf, height);
    const TLine* h = Find(lines, "Statistik Harmonische Spannung: 95 %-Werte");
    ASSERT_NE(h, nullptr);
    const QImage page = PdfPage(pdf, h->Page, 50, Dir.path());
    EXPECT_GT(Ink(page, height, h->Y1 + 20, height * 0.15), 0.02);
    EXPECT_NE(Find(lines, "Harmonische Spannung L-N [%]"), nullptr) << "the chart's caption";
  }
}

// The report in English: headings, tables, chart texts and the limits with a
// decimal point; the German report beside it keeps its decimal comma.
TEST_F(CliReportCharts, EnglishReportTextsAndDecimalPoints) {
  auto texts = [](const QString& pdf) {
    double height = 0;
    QStringList out;
    for (const TLine& l : PdfLines(pdf, height)) out << l.Text;
    return out.join(QLatin1Char('\n'));
  };
  const QString english = texts(Report("en50160", {"--lang", "en"}));
  for (const char* text : {"EN 50160 assessment", "Overall result: ", "Compliance per week and quantity",
                           "Voltage: 10-minute values", "Frequency: 10-minute values", "Percentiles per quantity",
                           "Week from 01.12.2025", "required share", "49.5 Hz (99.5 %)", "49.5-50.5 Hz", "≤ 0.5 %", "Order"})
    EXPECT_TRUE(english.contains(QString::fromUtf8(text))) << text;
  for (const char* text : {"Bewertung", "Woche ab", "bestanden", "geforderter Anteil", "49,5", "0,5 %"})
    EXPECT_FALSE(english.contains(QString::fromUtf8(text))) << text;
  const QString german = texts(Report("en50160"));
  for (const char* text : {"EN 50160 Bewertung", "49,5-50,5 Hz", "≤ 0,5 %"})
    EXPECT_TRUE(german.contains(QString::fromUtf8(text))) << text;
}

// Headings are placed by the height of their font: no text line of any page
// overlaps another, also where a heading follows the limits text.
TEST_F(CliReportCharts, NoTextLineOverlapsAnother) {
  for (const QString kind : {"en50160", "harmonics-u"}) {
    SCOPED_TRACE(kind.toStdString());
    double height = 0;
    const std::vector<TLine> lines = PdfLines(Report(kind), height);
    ASSERT_FALSE(lines.empty());
    for (size_t i = 0; i < lines.size(); ++i)
      for (size_t j = i + 1; j < lines.size(); ++j) {
        const TLine& a = lines[i];
        const TLine& b = lines[j];
        if (a.Page != b.Page) continue;
        const double x = std::min(a.X1, b.X1) - std::max(a.X0, b.X0);
        const double y = std::min(a.Y1, b.Y1) - std::max(a.Y0, b.Y0);
        EXPECT_FALSE(x > 0.2 && y > 0.2) << "page " << a.Page << ": \"" << a.Text.toStdString() << "\" and \"" << b.Text.toStdString() << "\"";
      }
  }
}

}  // namespace
