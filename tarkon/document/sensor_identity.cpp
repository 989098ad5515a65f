#include "tarkon/document/sensor_identity.h"

#include "tarkon/document/link_status.h"

namespace {

constexpr const char* kSerialNotRead = "the serial number was not read (GetSerialNum got no answer)";
constexpr const char* kNoSerial = "the sensor reports no serial number";

}  // namespace

SensorIdentity MakeSensorIdentity(const IdentityReads& reads) {
  SensorIdentity id;
  id.model = reads.model;
  id.modelString = reads.modelString;
  id.answered = reads.serialRead && reads.versionsRead;
  if (!reads.serialRead) {
    id.missing.push_back(kSerialNotRead);
  } else if (reads.serialNumber.find_first_not_of(' ') == std::string::npos) {
    id.missing.push_back(kNoSerial);
  } else {
    id.serialNumber = reads.serialNumber;
  }
  if (reads.versionsRead) {
    id.firmware = reads.firmware;
    id.fpga = reads.fpga;
  } else {
    id.missing.push_back("the firmware and FPGA versions were not read (" + reads.versionCommand +
                         " got no answer)");
  }
  return id;
}

std::string SensorIdentity::MissingText() const {
  if (missing.empty()) return std::string();
  std::string text = "the identity of the " + (model.empty() ? std::string("sensor") : model) + " is incomplete: ";
  for (size_t i = 0; i < missing.size(); ++i) text += (i == 0 ? "" : "; ") + missing[i];
  return text;
}

std::string SensorIdentity::SerialNote() const {
  if (serialKnown()) return std::string();
  for (const std::string& why : missing)
    if (why == kNoSerial) return "no serial number";
  return "serial number not read";
}

std::string SensorIdentity::Name() const {
  if (serialKnown()) return SensorName(model, serialNumber);
  return model + " (" + SerialNote() + ")";
}
