#pragma once
// The record files the simulated device stores, made from its synthetic
// network so that values are plausible and tell the files apart.
//
// Names (the serial number with eight digits, start second, milliseconds):
//   events:      <SN8>-<sec>-<ms>.log                       (one event each)
//   recordings:  sync/<class>-<SN8>-<sec>-<ms>.log          (10T 150T 10min 2h 1s 10s Ns Mmin, Slave1, Xyz)
//                async/BinIn-<SN8>-<sec>-<ms>.log
//                rec/Osc-…, rec/Hp-…, rec/Trg-…             (a triggered disturbance)
// The default content starts at 2025-12-05 00:00:00 UTC; see docs/simulator.md
// for every file and value.
#include <QString>
#include <QStringList>

#include "TimeStamps.h"

namespace vanta::sim {

class TSimDevice;

QString EventFileName(uint32_t serial, tmStamp_t start);
QString RecordingFileName(const QString& folder, const QString& cls, uint32_t serial, tmStamp_t start);

// The default events and recordings, written when the device's event and
// recorder folders hold no record file yet. Returns the files written.
QStringList PopulateDefaultRecords(const TSimDevice& d, QString& error);
// `count` more recordings and events spread over the classes, for scale tests.
QStringList PopulateMore(const TSimDevice& d, int count, QString& error);
// `recordings` more one-second recordings of about `bytesEach` bytes each
// and `events` more event files, a day apart, for throughput benchmarks.
QStringList PopulateSized(const TSimDevice& d, int recordings, qint64 bytesEach, int events, QString& error);
// One triggered disturbance at `when`: oscilloscope, 10 ms TRMS and trigger files.
QStringList WriteTriggered(const TSimDevice& d, tmStamp_t when, QString& error);

// The factory test certificate in the scratchpad's "Testcertificate/" folder
// ("<serial>-<article[0..3]>.<article[3..]>.pdf", a one-page PDF), unless there.
bool WriteTestCertificate(const TSimDevice& d, QString& error);

// The end of the time span a stored file covers (seconds, UTC), from its
// header; -1 when it is no record file.
int64_t RecordEndTime(const QString& path);

}  // namespace vanta::sim
