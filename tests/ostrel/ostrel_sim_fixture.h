#pragma once
// Operations against the virtual board flipper: the sensor on its own
// pseudo-terminal, named COM1 through the port map, and the operations with
// a recording view.

#include <gtest/gtest.h>

#include <memory>

#include "ostrel/operations/operations.h"
#include "recording_view.h"
#include "serial/port_resolver.h"
#include "sim/virtual_sensor.h"
#include "support/sim_trace.h"
#include "support/temp_dir.h"

namespace ostreltest {

class OstrelSimTest : public ::testing::Test {
 protected:
  // An upload's automatic backups go to the test's own folder.
  OstrelSimTest() { ops_.SetBackupFolder(dataDir_.File("backups")); }

  // A fresh board flipper (replacing any earlier one) on COM1.
  void StartSensor(sim::SensorConfig config = {}) {
    config.model = "KRV04 Board Flipper";
    sensor_.reset();
    trace_.Clear();
    sensor_ = std::make_unique<sim::VirtualSensor>(config, trace_.Line());
    ASSERT_TRUE(sensor_->Start()) << sensor_->LastError();
    PortResolver::SetPortMap({{1, sensor_->SlavePath()}});
    fields_.port = 0;
  }
  void TearDown() override { PortResolver::SetPortMap({}); }

  // Starts a sensor and connects to it.
  void Connected(sim::SensorConfig config = {}) {
    StartSensor(config);
    ASSERT_TRUE(ops_.Connect());
    ASSERT_TRUE(ops_.connected()) << view_.LastStatus();
    trace_.Clear();
  }
  sim::SensorState State() { return sensor_->Snapshot(); }

  testsupport::TempDir dataDir_;
  testsupport::SimTrace trace_;
  std::unique_ptr<sim::VirtualSensor> sensor_;
  ostrel::OstrelLink link_;
  ostrel::WindowFields fields_;
  RecordingView view_;
  ostrel::Operations ops_{link_, fields_, view_};
};

}  // namespace ostreltest
