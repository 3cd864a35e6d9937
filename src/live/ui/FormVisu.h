#pragma once
#include <QElapsedTimer>
// TFormVisu: the live view of one device. A start page opens one view at a
// time; the view's stream runs until "Zurück". Built so far: the value panel
// (with the binary-input lamps) and the oscilloscope (time curves), the
// software trigger, and the device's own display inside a picture of its
// front whose keys press the device's keys.
#include <QList>

#include "FormBasic.h"
#include "LiveRecords.h"
#include "StructTable.h"

class QGridLayout;
class QGroupBox;
class QLabel;
class QTimer;
class QLineEdit;
class QPixmap;
class QStackedWidget;
class QToolButton;
class QKeyEvent;

namespace vanta {

class TPQPaintBox;
class TPQPaintBoxCrvTime;
class TPQPaintBoxCrvFFT;
class TPQPaintBoxHarm;
class TPQPaintBoxVecDiag;
class TPQPaintBoxLoadFlow;
class TCrvTimeModel;
class TDevPicture;

struct TStrucInfo {
  TVantaStruct VantaStruct = TVantaStruct::ssu_s_t;
  uint8_t VantaDataObj = 4;
  TVantaDisp VantaDisp = TVantaDisp::sdPanel;
};

class TFormVisu : public TFormBasic {
  Q_OBJECT
 public:
  explicit TFormVisu(QWidget* parent = nullptr);
  ~TFormVisu() override;

  void ConnEst(QObject* Sender, bool connected) override;
  void UpdateGrid() override;
  void PrepareShutdown() override;

  // The start page's views.
  void ButPanelClick();
  void BtnOsciClick();
  void BtnFFTClick();
  void BtnVecDiagClick();
  // The load flow, from the vector view's menu (no guard: it replaces the open view's chart use).
  void ActLoadFlowExecute();
  QAction* ActLoadFlow = nullptr;
  // The six harmonic and three band views.
  void GetHarmonics(TVantaDisp disp);
  void GetFrqBand(TVantaDisp disp);
  void actMenuBackExecute();
  void actSoftTriggExecute();
  // The device's own display: images one after the other, keys pressed remotely.
  void btnDisplayClick();
  // The title: back to the start page, the stream stopped, the charts kept.
  void txtTopClick();
  QToolButton* txtTop = nullptr;
  void SetNewDisplayImage(QObject* Sender, TMemoryStream& image) override;
  void NewOnKeyDown(int key) override;
  void UpdateMIColor() override;
  bool FDisplayActive = false;
  QWidget* TabItmDisp = nullptr;
  QLabel* imgDisp = nullptr;
  QToolButton* btnDisplay = nullptr;
  int DisplayImages() const { return FDisplayImages; }
  // The device's front around the display image: the picture drawn for the
  // device type (a generic one for a type without its own), or a given
  // picture of the front instead (a null pixmap: the drawn one again).
  void SetDevImage(TDevType type);
  void SetDevImage(const QPixmap& bitmap);
  TDevPicture* imgDev = nullptr;
  void SetBinary(QObject* Sender, uint32_t count, const QByteArray& states);
  // The pressed channel buttons become the oscilloscope's curves.
  void SelectOsciValues();
  void ColButtonClick();
  bool InView() const;
  // The view to open as soon as the connection is there ("panel", "osc").
  QString FPendingView;

  // Fields and controls by the names the rest of the system uses.
  TStrucInfo FStrucInf;
  bool FAutoScl = false;
  QList<int> FOsziArrNumbers;
  QList<float> FOsziArr;
  QStackedWidget* TabCtrlStream = nullptr;
  QWidget *TabItmStart = nullptr, *TabItmPanel = nullptr, *TabItmOszi = nullptr;
  QAction *actMenuBack = nullptr, *actAutoScale = nullptr, *actStack = nullptr, *actCopyData = nullptr, *actCopyImage = nullptr,
          *actSoftTrigg = nullptr;
  QToolButton *ButPanel = nullptr, *BtnOsci = nullptr, *btnSoftTrigg = nullptr;
  QList<QToolButton*> FChannelButtons;  // btnu1 .. btnIR, tag = channel
  QWidget* LytColors = nullptr;
  QGroupBox* grpBoxBinary = nullptr;
  QList<QLabel*> FLamps;  // cirBI1 .. cirBI8
  QList<QLabel*> FLampLabels;
  TPQPaintBoxCrvTime* FPQPaintBoxCrvOszi = nullptr;
  TPQPaintBoxCrvFFT* FPQPaintBoxCrvFFT = nullptr;
  TPQPaintBoxHarm* FPQPaintHrm = nullptr;
  TPQPaintBoxVecDiag* FPQPaintVect = nullptr;
  TPQPaintBoxLoadFlow* FPQPaintLoad = nullptr;
  QToolButton *BtnFFT = nullptr, *BtnVecDiag = nullptr;
  QList<QPair<TVantaDisp, QToolButton*>> FBarButtons;
  QWidget *TabItmHrms = nullptr, *TabItmZeiger = nullptr;
  // Panel fields by name ("edtF").
  QLineEdit* Field(const QString& name) const;

 protected:
  void keyPressEvent(QKeyEvent* e) override;

 private:
  void StartStreamProc();
  void StopStreamProc();
  void OpenView(TVantaDisp disp);
  void UpdatePanel(const QByteArray& record, int generation);
  void UpdateOsc(const QByteArray& record, int generation);
  void UpdateFFT(const QByteArray& record, int generation);
  void UpdateBars(const QByteArray& record, int generation);
  void UpdateVectors(const QByteArray& record, int generation);
  void UpdateLoadFlow(const QByteArray& record, int generation);
  TPQPaintBoxHarm* NewBarChart();
  // The vector diagram on the phasor tab (made when missing); the stream is left as it is.
  void ShowVecDiag();
  // The chart's menu entries for its values as text (`text`) and its picture.
  void AddCopyActions(TPQPaintBox* chart, const std::function<bool(QStringList&)>& text);
  // The curves of whichever oscilloscope or spectrum chart exists.
  TCrvTimeModel* OscModel();
  // The record's samples into `m`, cleared first; false for a record of the wrong length.
  bool FillOscSamples(TCrvTimeModel& m, const QByteArray& record, int generation);
  void SetColumnColors();
  QGridLayout* FPanelGrid = nullptr;
  int FDisplayImages = 0;
  // The display view asks for one image at a time, 500 ms after the last:
  // the loop it belongs to, whether an answer is awaited and since when.
  void RequestDisplayImage();
  uint64_t FDisplayLoop = 0;
  bool FDisplayWaiting = false;
  QElapsedTimer FDisplayAsked;
  QTimer* DisplayTimer();
  QTimer* FDisplayTimer = nullptr;

 public:
  qint64 FDisplayAnswerMs = 5000;  // an answer this late is taken as lost: the image is asked for again

 private:
  bool FWisdomLoaded = false;
  QList<QPair<QString, QLineEdit*>> FFields;
};

}  // namespace vanta
