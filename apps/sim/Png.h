#pragma once
// A minimal PNG writer (8-bit RGB, one IDAT chunk) on zlib, so the simulator
// can draw its display image without a GUI library.
#include <QByteArray>

namespace vanta::sim {

struct TRgbImage {
  int Width = 0;
  int Height = 0;
  QByteArray Pixels;  // Width * Height * 3 bytes, row by row

  TRgbImage(int w, int h) : Width(w), Height(h), Pixels(w * h * 3, '\0') {}
  void Fill(int x, int y, int w, int h, uint32_t rgb);
};

QByteArray EncodePng(const TRgbImage& image);

}  // namespace vanta::sim
