#pragma once
// Shared pieces of the benchmarks: generated setup documents and timing.
#include <QByteArray>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdint>
#include <functional>
#include <vector>

namespace vanta::bench {

// A setup of about `mb` megabytes: folders of parameters of every kind,
// lists, datapoints with mandatory members, the same ids under two parents.
inline QByteArray Generate(int mb) {
  QByteArray x = "<?xml version=\"1.0\"?>\n<config><device name=\"Bench\"/><system><group name=\"sys\" id=\"1\">\n";
  static const char* kinds[] = {"float", "integer", "uint32", "text", "boolean", "measId", "ipaddress", "secret"};
  uint32_t id = 100;
  for (int folder = 0; x.size() < qsizetype(mb) * 1000 * 1000; ++folder) {
    x += "<group id=\"" + QByteArray::number(10000000 + folder) + "\">\n";
    for (int i = 0; i < 40; ++i, ++id) {
      const char* kind = kinds[i % 8];
      x += "<parameter id=\"" + QByteArray::number(id) + "\"><visibility>" + QByteArray::number(i % 4) +
           "</visibility><editability>1</editability><type>" + kind + "</type><value>" + QByteArray::number(i * 1.5) +
           "</value><default>1</default><low>0</low><high>1000</high>";
      if (i % 10 == 0) x += "<range list=\"true\"><entry>0</entry><entry>1</entry><entry id=\"4278190084\">2</entry></range>";
      x += "</parameter>\n";
    }
    x += "<datapoint id=\"" + QByteArray::number(id) + "\"><visibility>0</visibility><rec>1</rec><mandatory>" +
         QByteArray::number(id + 1) + "</mandatory><datapoint id=\"" + QByteArray::number(id + 1) +
         "\"><rec>0</rec></datapoint></datapoint>\n";
    id += 2;
    x += "<property id=\"100\"><visibility>0</visibility><value>again</value></property>\n</group>\n";
  }
  x += "</group></system></config>\n";
  return x;
}

// Median wall time of `runs` calls, in milliseconds.
inline double TimeMs(const std::function<void()>& f, int runs = 5) {
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    QElapsedTimer t;
    t.start();
    f();
    ms.push_back(double(t.nsecsElapsed()) / 1e6);
  }
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

}  // namespace vanta::bench
