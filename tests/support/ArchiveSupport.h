#pragma once
// Builds tar+gzip archives the way a hostile peer could, bypassing the
// checks of our own packer: names with folders or "..", links, any size.
#include <QByteArray>
#include <archive.h>
#include <archive_entry.h>
#include <tuple>
#include <vector>

namespace vanta::test {

// (name, AE_IFREG / AE_IFLNK / AE_IFDIR, data)
inline QByteArray RawTarGz(const std::vector<std::tuple<QByteArray, int, QByteArray>>& items) {
  QByteArray buffer(1 << 20, '\0');
  size_t used = 0;
  archive* a = archive_write_new();
  archive_write_set_format_pax_restricted(a);
  archive_write_add_filter_gzip(a);
  archive_write_open_memory(a, buffer.data(), size_t(buffer.size()), &used);
  for (const auto& [name, type, data] : items) {
    archive_entry* e = archive_entry_new();
    archive_entry_set_pathname(e, name.constData());
    archive_entry_set_filetype(e, unsigned(type));
    archive_entry_set_perm(e, 0644);
    if (type == AE_IFLNK) archive_entry_set_symlink(e, "/etc/passwd");
    archive_entry_set_size(e, type == AE_IFREG ? data.size() : 0);
    archive_write_header(a, e);
    if (type == AE_IFREG) archive_write_data(a, data.constData(), size_t(data.size()));
    archive_entry_free(e);
  }
  archive_write_close(a);
  archive_write_free(a);
  buffer.truncate(qsizetype(used));
  return buffer;
}

}  // namespace vanta::test
