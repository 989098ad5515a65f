#pragma once
// What Ostrel's window holds for the operations: the texts of its fields
// and the entries chosen in its lists (-1: nothing chosen). The window keeps
// the record up to date as the user types; the operations read their
// inputs from it, write what they read from the sensor back into it and
// then tell the window (OstrelView::FieldsChanged).

#include <string>

namespace ostrel {

// Fields an input error can put the focus into.
enum class Field {
  kConnAddr,   // editConnAddr
  kAddress,    // editAddress
  kMinPwr,     // editMinPwr
  kMaxPwr,     // editMaxPwr
  kThreshold,  // editThreshold
  kMinLen,     // editMinLen (wane width)
  kMinHt,      // editMinHt (wane height)
  kPulse,      // editPulse
  kSpeed,      // editSpeed
  kTimeout,    // editTimeout
  kSerial,     // editSerial
  kStartIndex, // editStartNdx
  kNumScans,   // editNumOfScans
  kMemAddr,    // editMemAddr
  kWordCount,  // editWordCount
};

// Entries of the lists.
constexpr const char* kPortEntries[] = {"COM1", "COM2", "COM3", "COM4"};
constexpr int kBaudRates[] = {9600, 19200, 38400, 57600};
constexpr const char* kModelEntries[] = {"KRV04", "KRV04-HP", "KRV04-SN", "Other"};
constexpr const char* kCheckModeEntries[] = {"Chksum", "Crc16"};
constexpr const char* kModeEntries[] = {"Imperial", "Metric"};
constexpr const char* kUploadEntries[] = {"DSP", "FPGA", "CAL File"};

struct WindowFields {
  // Connect tab.
  int port = 0;       // cboPort: COM1..COM4
  std::string device; // a device chosen from the port list instead of COM1..COM4
  int hostBaud = 3;   // cboHostBaud: 9600, 19200, 38400, 57600
  std::string connAddr = "1";
  bool useGlobalAddress = false;

  // Identity strip, filled at connect.
  std::string serialPanel;
  std::string modelPanel;
  std::string firmwarePanel;
  std::string fpgaPanel;

  // Settings tab.
  std::string serial;     // editSerial
  int model = -1;         // cboModel
  std::string address;    // editAddress
  int sensorBaud = -1;    // cboSensorBaud, entries as cboHostBaud
  int checkMode = -1;     // cboCRC: 0 "Chksum", 1 "Crc16"
  int mode = -1;          // cboMode: 0 "Imperial", 1 "Metric"
  std::string minPwr;     // editMinPwr
  std::string maxPwr;     // editMaxPwr
  std::string threshold;  // editThreshold
  std::string minLen;     // editMinLen: wane width
  std::string minHt;      // editMinHt: wane height
  std::string unitText = "Unit";  // the labels beside width and height
  std::string pulse;      // editPulse
  std::string speed;      // editSpeed
  std::string timeout;    // editTimeout
  int upload = 0;         // cboUpload: "DSP", "FPGA", "CAL File"
  std::string startIndex = "1";     // editStartNdx
  std::string numScans = "8192";    // editNumOfScans

  // View tab.
  bool showAll = false;             // "Show All"
  std::string memAddr = "0000";     // editMemAddr, hexadecimal
  std::string wordCount = "32";     // editWordCount
  bool hex = false;                 // chkbxHex
};

}  // namespace ostrel
