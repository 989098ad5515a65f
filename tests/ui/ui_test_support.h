#pragma once
// Test base for the desktop program's widgets: the real main window and
// document against a virtual sensor, offscreen, with the per-user profile
// store and the settings file in a private directory.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDialog>
#include <QApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <functional>
#include <memory>
#include <string>

#include "sim/virtual_sensor.h"
#include "support/sim_trace.h"
#include "support/temp_dir.h"
#include "tarkon/document/krv02_doc.h"
#include "tarkon/ui/main_frame.h"

namespace uitest {

// Lets the event loop run for `ms`.
inline void Pump(int ms) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 10);
}

// Runs the event loop until `condition` holds or `ms` pass.
template <typename Condition>
bool PumpUntil(Condition condition, int ms = 3000) {
  QElapsedTimer clock;
  clock.start();
  while (!condition() && clock.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 10);
  return condition();
}

// Waits on this thread without handling its events (a posted tick stays
// pending), until `condition` holds or `ms` pass.
template <typename Condition>
bool BlockUntil(Condition condition, int ms = 2000) {
  QElapsedTimer clock;
  clock.start();
  while (!condition() && clock.elapsed() < ms) QThread::msleep(2);
  return condition();
}

// Handles the next modal window of type W (a message box over a dialog,
// say), leaving other modal windows alone.
// A handler that stopped at a failed assertion leaves its modal window
// open, and the test would wait on it until its time-out: close it.
inline void CloseIfTheHandlerFailed(QWidget* modal) {
  if (!::testing::Test::HasFatalFailure() || modal == nullptr || !modal->isVisible()) return;
  if (auto* dialog = qobject_cast<QDialog*>(modal)) {
    dialog->reject();
  } else {
    modal->close();
  }
}

template <typename W>
inline std::shared_ptr<bool> OnNextModalOf(std::function<void(W*)> handle) {
  struct Watch {
    bool came = false;
    QTimer timer;
  };
  auto watch = std::make_shared<Watch>();
  Watch* w = watch.get();
  w->timer.setInterval(5);
  QObject::connect(&w->timer, &QTimer::timeout, [w, handle] {
    auto* modal = qobject_cast<W*>(QApplication::activeModalWidget());
    if (modal == nullptr || !modal->isVisible()) return;
    w->timer.stop();
    w->came = true;
    handle(modal);
    CloseIfTheHandlerFailed(modal);
  });
  w->timer.start();
  return std::shared_ptr<bool>(watch, &w->came);
}

// Handles the next modal window (dialog or message box) once it is open:
// `handle` must close it. The returned flag tells whether it came; the
// watch ends when the last copy of the flag goes.
inline std::shared_ptr<bool> OnNextModal(std::function<void(QWidget*)> handle) {
  return OnNextModalOf<QWidget>(std::move(handle));
}

// The button of a dialog with this text.
inline QAbstractButton* Button(QWidget* dialog, const QString& text) {
  for (QAbstractButton* b : dialog->findChildren<QAbstractButton*>()) {
    if (b->text() == text) return b;
  }
  return nullptr;
}

// Row names and values of a name/value list.
inline std::vector<std::pair<std::string, std::string>> Rows(const QTreeWidget* list) {
  std::vector<std::pair<std::string, std::string>> rows;
  for (int i = 0; i < list->topLevelItemCount(); ++i) {
    rows.emplace_back(list->topLevelItem(i)->text(0).toStdString(), list->topLevelItem(i)->text(1).toStdString());
  }
  return rows;
}

class UiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(dir_.path()));
    // The per-user data folder (the upload's automatic backups) too.
    setenv("XDG_DATA_HOME", dir_.path().c_str(), 1);
  }
  void TearDown() override { CloseFrame(); }

  sim::VirtualSensor& StartSensor(const std::string& model = "KRV04") {
    sim::SensorConfig config;
    config.model = model;
    sensor_ = std::make_unique<sim::VirtualSensor>(config);
    EXPECT_TRUE(sensor_->Start()) << sensor_->LastError();
    return *sensor_;
  }

  CMainFrame& OpenFrame(bool manufacturing = false) {
    doc_ = std::make_unique<CKRV02Doc>(dir_.File("tarkon.ini"));
    doc_->options().SetManufacturingMode(manufacturing);
    frame_ = std::make_unique<CMainFrame>(*doc_);
    frame_->show();
    Pump(20);
    return *frame_;
  }

  void CloseFrame() {
    frame_.reset();
    doc_.reset();
  }

  // Connect through the dialog with the port text typed in.
  bool ConnectTyped(const std::string& portText);

  testsupport::TempDir dir_;
  std::unique_ptr<sim::VirtualSensor> sensor_;
  std::unique_ptr<CKRV02Doc> doc_;
  std::unique_ptr<CMainFrame> frame_;
};

// The same with the sensor's frame trace, so a test sees every command that
// reached the sensor; connected through the dialog in the given check mode.
class TracedUiTest : public UiTest {
 protected:
  void TearDown() override {
    UiTest::TearDown();
    sensor_.reset();  // its trace sink points here
  }
  // `paced`: the line carries bytes at its baud rate, so a transfer lasts
  // long enough for what a test does while it runs.
  CMainFrame& ConnectTraced(const std::string& model, bool crc = false, bool manufacturing = false,
                            bool paced = false) {
    sim::SensorConfig config;
    config.model = model;
    sim::LineConfig line;
    line.throttle = paced;
    sensor_ = std::make_unique<sim::VirtualSensor>(config, trace_.Line(line));
    EXPECT_TRUE(sensor_->Start()) << sensor_->LastError();
    CMainFrame& frame = OpenFrame(manufacturing);
    EXPECT_TRUE(ConnectTyped(sensor_->SlavePath()));
    if (crc) frame.RunCommand(DocCommand::kCrc);
    Pump(50);
    trace_.Clear();
    return frame;
  }
  // Live values held still; the range and the scanning state as given.
  void Freeze(uint16_t range, bool scanning = false) {
    sensor_->Mutate([range, scanning](sim::SensorState& s) {
      s.live.animate = false;
      s.live.basePix = 1;
      s.live.sumPix = 0xFFFF;
      s.live.numPix = 3;
      s.live.subPix = 4;
      s.live.range = range;
      s.live.laserPower = 200;
      s.live.peak = 0xFFFE;
      s.scanning = scanning;
      s.scanCount = 40000;
    });
  }
  size_t Sent(int command) const { return trace_.CountCommand(command); }
  // The commands that reached the sensor, once its trace has caught up
  // with `expected` (or after a short wait, for the failure message).
  std::vector<int> Commands(const std::vector<int>& expected) const {
    BlockUntil([&] { return trace_.Commands() == expected; }, 500);
    return trace_.Commands();
  }

  testsupport::SimTrace trace_;
};

}  // namespace uitest
