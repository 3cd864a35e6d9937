// Loading a large setup document: the editor's load (parse, id index,
// value checks) and building every row, each against a bare pugixml parse
// of the same bytes in the same run; id lookups through the index against
// one XPath search of the whole document.
//
//   bench_params [MB=20]
#include <QByteArray>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "BenchSetup.h"
#include "ParaHelper.h"
#include "ParaWorkflow.h"

#include <QFile>

using namespace vanta;
using vanta::bench::Generate;

using vanta::bench::TimeMs;

int main(int argc, char** argv) {
  const int mb = argc > 1 ? std::max(1, atoi(argv[1])) : 20;
  const QByteArray bytes = Generate(mb);
  std::printf("setup document of %.1f MB\n", double(bytes.size()) / 1e6);

  const double raw = TimeMs([&] {
    pugi::xml_document d;
    d.load_buffer(bytes.constData(), size_t(bytes.size()));
  });
  const double load = TimeMs([&] {
    TParaDocument d;
    QString error;
    d.LoadBytes(bytes, error);
  });
  TParaDocument doc;
  QString error;
  if (!doc.LoadBytes(bytes, error)) {
    std::fprintf(stderr, "bench: %s\n", qPrintable(error));
    return 1;
  }
  size_t rowCount = 0;
  const TCaptionSource captions;
  const double rows = TimeMs([&] {
    rowCount = 0;
    // Folder by folder, as the editor fills its grid.
    std::function<void(const pugi::xml_node&)> folder = [&](const pugi::xml_node& f) {
      const QString parent = QString::fromUtf8(f.attribute("id").value());
      for (pugi::xml_node c = f.first_child(); c; c = c.next_sibling()) {
        if (c.type() != pugi::node_element) continue;
        TGridRow r;
        if (GetGridRow(3, parent, c, r, captions, doc.Changes)) ++rowCount;
        if (std::strcmp(c.name(), "group") == 0 || std::strcmp(c.name(), "swmodule") == 0) folder(c);
      }
    };
    folder(doc.Sys());
  }, 3);
  std::printf("  bare pugixml parse        %8.1f ms\n", raw);
  std::printf("  editor's load with index  %8.1f ms   ratio %.2f (target <= 1.5)\n", load, load / raw);
  std::printf("  load and all %zu rows at level 3 %8.1f ms   ratio %.2f (target <= 3)\n", rowCount, load + rows,
              (load + rows) / raw);

  std::mt19937 rng(7);
  std::vector<uint32_t> ids(10000);
  for (uint32_t& i : ids) i = 100 + rng() % 100000;
  size_t hits = 0;
  const double lookups = TimeMs([&] {
    hits = 0;
    for (uint32_t i : ids) hits += doc.Find(i).size();
  });
  const double xpath = TimeMs([&] {
    hits += doc.Doc().select_node(QStringLiteral("//*[@id='%1']").arg(ids[0]).toUtf8().constData()) ? 1 : 0;
  });
  std::printf("  10000 lookups by id %.3f ms, one XPath search %.3f ms: ratio %.3f (%zu hits)\n", lookups, xpath,
              lookups / xpath, hits);
  // The import comparison of two sets of this size: one value in ten differs.
  QByteArray other = bytes;
  for (qsizetype at = other.indexOf("<value>"), n = 0; at >= 0; at = other.indexOf("<value>", at + 7), ++n)
    if (n % 10 == 0) other[at + 7] = '7';
  auto peakKiB = [] {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return -1L;
    for (const QByteArray& line : f.readAll().split('\n'))
      if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1L;
  };
  const long before = peakKiB();
  int candidates = 0;
  const double diff = TimeMs([&] { candidates = int(CompareImport(doc, other, captions).Candidates.size()); }, 3);
  std::printf("  import comparison of two %.0f MB sets: %.1f ms, %d differences, peak memory +%.0f MiB\n",
              double(bytes.size()) / 1e6, diff, candidates, double(peakKiB() - before) / 1024.0);
  return 0;
}
