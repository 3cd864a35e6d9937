#pragma once
// The frequency-domain and phasor charts: the spectrum (lines per channel,
// value axis zoomed in powers of two with the wheel), the bar chart of
// harmonics, interharmonics and bands, and the vector diagram.
#include "CrvFFTModel.h"
#include "HarmBarModel.h"
#include "PaintBox.h"
#include "PhasorModel.h"

namespace vanta {

class TPQPaintBoxCrvFFT : public TPQPaintBox {
  Q_OBJECT
 public:
  explicit TPQPaintBoxCrvFFT(QWidget* parent = nullptr);
  TCrvFFTModel& Model() { return FModel; }
  // The zoom level changed by the wheel or by ZoomFFT: (level).
  std::function<void(int)> FUpdateTrackBar;
  bool ZoomFFT(int level);

 protected:
  void PaintCurves(QImage& image) override;
  bool DataChanged() const override { return FModel.Store().Revision() != FDrawnRevision; }
  void wheelEvent(QWheelEvent* e) override;

 private:
  TCrvFFTModel FModel;
  uint64_t FDrawnRevision = ~uint64_t(0);
};

class TPQPaintBoxHarm : public TPQPaintBox {
  Q_OBJECT
 public:
  explicit TPQPaintBoxHarm(QWidget* parent = nullptr);
  THarmBarModel& Model() { return FModel; }

 protected:
  void PaintCurves(QImage& image) override;

 private:
  THarmBarModel FModel;
};

class TPQPaintBoxVecDiag : public TPQPaintBox {
  Q_OBJECT
 public:
  explicit TPQPaintBoxVecDiag(QWidget* parent = nullptr);
  TVectorModel& Model() { return FModel; }

 protected:
  void PaintCurves(QImage& image) override;

 private:
  TVectorModel FModel;
};

// Per phase the harmonic magnitudes of voltage (top) and current (bottom)
// and the fundamental's displacement.
class TPQPaintBoxLoadFlow : public TPQPaintBox {
  Q_OBJECT
 public:
  explicit TPQPaintBoxLoadFlow(QWidget* parent = nullptr);
  TLoadFlowModel& Model() { return FModel; }

 protected:
  void PaintCurves(QImage& image) override;

 private:
  TLoadFlowModel FModel;
};

}  // namespace vanta
