#pragma once
// TFormOffline: the data window without a device. It browses what earlier
// readouts and imports left in the store, grouped by installation and
// station, shows a file with the tables of the layout window, and deletes,
// exports and imports files.
#include <QPointer>

#include "FormLayout.h"
#include "OfflineStore.h"

class QThread;

namespace vanta {

class TFormOffline : public TFormLayout {
  Q_OBJECT
 public:
  explicit TFormOffline(QWidget* parent = nullptr);
  ~TFormOffline() override;

  // The store and the station to open once the scan is done (0: none).
  void SetStore(const QString& dataDir, uint32_t selectedStation = 0);
  void CheckData() override;
  void HideActions() override;
  void OpenStation(QTreeWidgetItem* station);
  void OfflineFileClick(QTreeWidgetItem* item);
  void OfflineRecMouseDown(QTreeWidgetItem* item, Qt::MouseButtons buttons);
  void ImportFrom(const QString& folder);
  int ExportTo(const QString& folder);
  bool Busy() const { return FWorker != nullptr; }
  QList<QTreeWidgetItem*> Stations() const;

  // Asks for a folder (tests answer directly).
  std::function<QString(const QString& title)> FAskFolder;
  QStringList Messages;

  QAction *actDelOfflineRekorder = nullptr, *actDelOfflineEvent = nullptr, *actDelClass = nullptr,
          *actDelOfflineAllFiles = nullptr, *ActDeleteSelected = nullptr, *actOfflineExport = nullptr,
          *actImportFromSD = nullptr;
  QTreeWidgetItem* FClickedTVI = nullptr;
  QTreeWidgetItem* FStartDevice = nullptr;
  uint32_t FSelectedStation = 0;
  bool FInClick = false;
  bool FRescanPending = false;
  QString FPendingImport;

 private:
  void AddNodes(QTreeWidgetItem* parent, const TStoreNode& node);
  // A worker ended: what waited for it runs now.
  void RunPending();
  void Tell(const QString& text);
  QList<QTreeWidgetItem*> CheckedFiles() const;
  void DeleteClass();
  QString FDataDir;
  QPointer<QThread> FWorker;
  QMenu* FMenu = nullptr;
};

}  // namespace vanta
