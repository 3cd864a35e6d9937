#pragma once
// The device window the host opens while the specialised window of an
// action is not available yet: connection, status bar, front-panel keys,
// the device display, the event and recording lists, the setup read.
#include <QListWidget>

#include "FormBasic.h"

class QLabel;

namespace vanta::host {

class TFormDevice : public TFormBasic {
  Q_OBJECT
 public:
  TFormDevice(TDirectKind kind, QWidget* parent = nullptr);

  void ConnEst(QObject* Sender, bool connected) override;
  void EvtOverView(const QStringList& lines) override;
  void RecOverView(const QStringList& lines) override;
  void EvtToTable(const QString& fileName) override;
  void RecToTable(const QString& fileName) override;
  void ParaToTable(const QString& fileName) override;
  void SetNewDisplayImage(QObject* Sender, TMemoryStream& image) override;

  QLabel* Display = nullptr;
  QListWidget* Files = nullptr;
  QLabel* Notice = nullptr;

 private:
  void ShowList(const QStringList& lines, bool events);
  bool FEvents = true;
};

// What each action will open once its window exists.
QString DirectKindTitle(TDirectKind kind);

}  // namespace vanta::host
