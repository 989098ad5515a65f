#pragma once
// Test base for the document against a virtual sensor: a private directory
// with the settings file, the sensor with its frame trace, the document and
// a listener that records what the document reports.
//
// Members end in reverse order: the document first (it writes the settings
// file and stops its worker), then the listener, the sensor, the trace and
// the directory.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "sim/virtual_sensor.h"
#include "support/recording_listener.h"
#include "support/sim_trace.h"
#include "support/temp_dir.h"
#include "tarkon/document/krv02_doc.h"

namespace testsupport {

inline sim::SensorConfig SensorOf(const std::string& model, int32_t checkMode = 0, uint8_t address = 1) {
  sim::SensorConfig config;
  config.model = model;
  config.checkMode = checkMode;
  config.address = address;
  return config;
}

// Waits until `condition` holds, at most `limit`.
template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds limit = std::chrono::milliseconds(2000)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return condition();
}

class SimDocumentTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.ok()); }

  sim::VirtualSensor& StartSensor(const sim::SensorConfig& config = {}) {
    sensor_ = std::make_unique<sim::VirtualSensor>(config, trace_.Line());
    EXPECT_TRUE(sensor_->Start()) << sensor_->LastError();
    return *sensor_;
  }

  std::string SettingsPath() const { return dir_.File("tarkon.ini"); }

  CKRV02Doc& Doc(bool manufacturing = false) {
    if (!doc_) {
      doc_ = std::make_unique<CKRV02Doc>(SettingsPath());
      doc_->SetListener(&listener_);
      doc_->options().SetManufacturingMode(manufacturing);
    }
    return *doc_;
  }

  // The connect procedure with the dialog's values as the settings file
  // filled them, aimed at the sensor's line unless `adjust` says otherwise.
  bool ConnectDoc(const std::function<void(ConnectValues&)>& adjust = {}) {
    CKRV02Doc& doc = Doc();
    ConnectValues values = doc.BeginConnect();
    if (sensor_) values.portText = sensor_->SlavePath();
    if (adjust) adjust(values);
    return doc.Connect(values);
  }

  // Ends the document, which writes the settings file back.
  void DestroyDoc() { doc_.reset(); }

  int32_t StoredInteger(const std::string& key, const std::string& section = SettingsFile::kSerialSection) {
    SettingsFile file(SettingsPath());
    file.Load();
    int32_t value = -1;
    EXPECT_TRUE(file.GetInteger(section, key, &value)) << key;
    return value;
  }
  std::string StoredText(const std::string& key, const std::string& section = SettingsFile::kSerialSection) {
    SettingsFile file(SettingsPath());
    file.Load();
    std::string value;
    EXPECT_TRUE(file.GetText(section, key, &value)) << key;
    return value;
  }

  TempDir dir_;
  SimTrace trace_;
  std::unique_ptr<sim::VirtualSensor> sensor_;
  RecordingListener listener_;
  std::unique_ptr<CKRV02Doc> doc_;
};

}  // namespace testsupport
