#include "Captions.h"
#include "Language.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace vanta {

QStringList DataFolders() {
  const QDir bin(QCoreApplication::applicationDirPath());
  QStringList dirs;
  const QString env = qEnvironmentVariable("VANTA_DATA_DIR");
  if (!env.isEmpty()) dirs << env;
  dirs << bin.filePath(QStringLiteral("../data")) << bin.filePath(QStringLiteral("../../data"))
       << bin.filePath(QStringLiteral("../share/vanta"));
  return dirs;
}

QString FindDataFile(const QString& name) {
  for (const QString& dir : DataFolders()) {
    const QString path = QDir::cleanPath(QDir(dir).filePath(name));
    if (QFileInfo(path).isFile()) return path;
  }
  return {};
}

bool LoadInstalledCaptions(TMessClass& classes, QString* error) {
  bool any = false;
  QStringList reasons;
  for (const auto& [lang, file] : {std::pair{TMessLang::mlGerman, QStringLiteral("captions_de.tsv")},
                                    std::pair{TMessLang::mlEnglish, QStringLiteral("captions_en.tsv")}}) {
    const QString path = FindDataFile(file);
    if (path.isEmpty()) {
      reasons << TTr::tr("%1 nicht gefunden").arg(file);
      continue;
    }
    QString why;
    if (classes.LoadTable(lang, path, why))
      any = true;
    else
      reasons << why;
  }
  if (error) *error = reasons.join(QStringLiteral("; "));
  return any;
}

}  // namespace vanta
