#include "Png.h"

#include <zlib.h>

namespace vanta::sim {

void TRgbImage::Fill(int x, int y, int w, int h, uint32_t rgb) {
  for (int yy = qMax(0, y); yy < qMin(Height, y + h); ++yy)
    for (int xx = qMax(0, x); xx < qMin(Width, x + w); ++xx) {
      char* p = Pixels.data() + (yy * Width + xx) * 3;
      p[0] = char((rgb >> 16) & 0xFF);
      p[1] = char((rgb >> 8) & 0xFF);
      p[2] = char(rgb & 0xFF);
    }
}

namespace {
void Be32(QByteArray& out, uint32_t v) {
  for (int i = 3; i >= 0; --i) out.append(char((v >> (8 * i)) & 0xFF));
}

void Chunk(QByteArray& out, const char* type, const QByteArray& data) {
  Be32(out, uint32_t(data.size()));
  QByteArray body(type, 4);
  body += data;
  out += body;
  Be32(out, uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.constData()), uInt(body.size()))));
}
}  // namespace

QByteArray EncodePng(const TRgbImage& image) {
  QByteArray png("\x89PNG\r\n\x1a\n", 8);
  QByteArray ihdr;
  Be32(ihdr, uint32_t(image.Width));
  Be32(ihdr, uint32_t(image.Height));
  ihdr.append(char(8));  // bit depth
  ihdr.append(char(2));  // colour type RGB
  ihdr.append(3, '\0');  // compression, filter, interlace
  Chunk(png, "IHDR", ihdr);
  QByteArray raw;
  raw.reserve(image.Height * (1 + image.Width * 3));
  for (int y = 0; y < image.Height; ++y) {
    raw.append('\0');  // filter: none
    raw.append(image.Pixels.constData() + y * image.Width * 3, image.Width * 3);
  }
  uLongf size = compressBound(uLong(raw.size()));
  QByteArray packed(qsizetype(size), '\0');
  compress2(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(raw.constData()),
            uLong(raw.size()), Z_BEST_SPEED);
  packed.truncate(qsizetype(size));
  Chunk(png, "IDAT", packed);
  Chunk(png, "IEND", {});
  return png;
}

}  // namespace vanta::sim
