#pragma once
// Who the connected sensor is, as this connection read it: model, model
// string, serial number and versions, and what could not be read. A
// sensor whose serial number did not come (a lost reply) or is blank has
// no identity to record: every front end and every file that names a
// sensor (info, backups and their names, reports, history lines, the
// window title and the link bar) asks here whether the identity is
// complete and what is missing, instead of taking a blank for a serial
// number.

#include <string>
#include <vector>

struct SensorIdentity {
  std::string model;        // display name
  std::string modelString;  // as the sensor reported it
  // As the address dialog sends it (at most 8 characters); empty when it
  // was not read.
  std::string serialNumber;
  std::string firmware;  // empty when not read
  std::string fpga;      // empty when not read
  // What is missing, each as a phrase: "the serial number was not read
  // (GetSerialNum got no answer)", "the sensor reports no serial number",
  // "the firmware and FPGA versions were not read (GetVersion got no
  // answer)".
  std::vector<std::string> missing;

  // Every identity query answered (the serial number may still be blank).
  bool answered = false;

  bool complete() const { return missing.empty(); }
  // Whether the serial number is one to record (read and not blank).
  bool serialKnown() const { return !serialNumber.empty(); }
  // "the identity of the KRV04 is incomplete: the serial number was not
  // read (GetSerialNum got no answer)"; empty when complete.
  std::string MissingText() const;
  // The note that stands for a serial number that is not known, in a title
  // or a status line: "serial number not read" or "no serial number";
  // empty when it is known.
  std::string SerialNote() const;
  // The sensor as titles and the link bar name it: "KRV04 SN482913", or
  // "KRV04 (serial number not read)".
  std::string Name() const;
};

// What one connection read. `versionCommand` is the name of the version
// query of the model (its failure is named).
struct IdentityReads {
  std::string model;
  std::string modelString;
  bool serialRead = false;
  std::string serialNumber;
  bool versionsRead = false;
  std::string versionCommand;
  std::string firmware;
  std::string fpga;
};
SensorIdentity MakeSensorIdentity(const IdentityReads& reads);
