// The editor window on a large setup: from the set loaded to the first grid
// paint, a level switch and a search over the whole set, each against the
// parameter library's own load of the same bytes in the same run.
//
//   bench_para_ui [MB=20]
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "BenchSetup.h"
#include "FormPara.h"

using namespace vanta;

namespace {

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int mb = argc > 1 ? std::max(1, atoi(argv[1])) : 20;
  const QByteArray bytes = bench::Generate(mb);
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("setup.xml"));
  {
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) return 1;
  }
  std::printf("setup document of %.1f MB\n", double(bytes.size()) / 1e6);

  std::vector<double> load, open, level, search;
  for (int run = 0; run < 3; ++run) {
    QElapsedTimer t;
    t.start();
    {
      TParaDocument d;
      QString error;
      d.LoadBytes(bytes, error);
    }
    load.push_back(double(t.nsecsElapsed()) / 1e6);

    TFormPara w;
    w.FVisibility = 1;
    w.FConfirm = [](const QString&) { return true; };
    w.show();
    QApplication::processEvents();
    t.restart();
    w.OpenOffline(file);
    w.FGrd->viewport()->repaint();
    open.push_back(double(t.nsecsElapsed()) / 1e6);

    t.restart();
    w.SetLevel(2);
    w.FGrd->viewport()->repaint();
    level.push_back(double(t.nsecsElapsed()) / 1e6);

    t.restart();
    w.edtSearch->setText(QStringLiteral("1234"));
    emit w.edtSearch->returnPressed();  // without waiting for typing to pause
    w.FGrd->viewport()->repaint();
    search.push_back(double(t.nsecsElapsed()) / 1e6);
    w.close();
  }
  const double l = Median(load), o = Median(open), v = Median(level), s = Median(search);
  std::printf("  library load                     %8.1f ms\n", l);
  std::printf("  window: load to first grid paint %8.1f ms   adds %.2fx of the load (target <= 0.5)\n", o, (o - l) / l);
  std::printf("  level switch 1 -> 2 with repaint %8.1f ms   %.2fx of the load (target <= 0.5)\n", v, v / l);
  std::printf("  search over the whole set        %8.1f ms   %.2fx of the load\n", s, s / l);
  return 0;
}
