#pragma once
// Every operation behind Ostrel's Connect and Settings buttons and its
// firmware upload, over the record of window fields and the view.
//
// Each operation runs to its end on the window thread; its waits keep the
// window working (OstrelLink). While one runs, the busy flag turns every
// other operation away (the call returns false and sends nothing); every
// exit path clears it. Operations that end by connecting again clear the
// flag first so that their own Connect is not turned away.

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "history/change_history.h"
#include "ostrel/link/ostrel_link.h"
#include "ostrel/operations/field_values.h"
#include "ostrel/operations/ostrel_view.h"
#include "ostrel/operations/port_choices.h"
#include "ostrel/operations/settings_backup.h"
#include "ostrel/operations/virtual_sensor_line.h"
#include "ostrel/operations/window_fields.h"

namespace ostrel {

// The name the scan export's save dialog proposes:
// "M3-9-6BF_BF039618_scans_2026-12-08.txt" (characters a file name should
// not hold become '_').
std::string ScanFileName(const std::string& model, const std::string& serial, const std::string& date);

// The widest text an upload's progress shows (OstrelView::SetProgressText):
// the largest image, with a rate and a time left of the most digits they
// take at any baud rate. The window keeps room for it.
std::string WidestUploadProgressText();

struct ByteSetting;  // one of the laser and threshold settings (settings.cpp)

// One setting a button wrote, and what its read-back found.
struct SettingWrite {
  SettingWrite(std::string name_, std::string before_, std::string sent_ = std::string())
      : name(std::move(name_)), before(std::move(before_)), sent(std::move(sent_)) {}
  std::string name;    // as the window names it: "Threshold", "Min. Wane Width"
  std::string before;  // what the sensor held before, shown; empty when never read
  std::string sent;
  std::string now;     // what the read-back found, shown
  bool readBack = false;  // the sensor answered the read-back
  bool asSent = false;    // ... with the value sent
  std::string why;     // without a read-back: why not
};

class Operations {
 public:
  Operations(OstrelLink& link, WindowFields& fields, OstrelView& view);
  ~Operations();
  Operations(const Operations&) = delete;
  Operations& operator=(const Operations&) = delete;

  // Connect tab.
  bool Connect();  // "Connect"

  // Settings tab. Each returns false only when turned away as busy.
  bool SetMinLaserPower();   // "Min. Laser Pwr"
  bool SetMaxLaserPower();   // "Max. Laser Pwr"
  bool SetThreshold();       // "Threshold"
  bool SetSerialNumber();    // "Serial #" (factory mode)
  bool SetModel();           // "Model" (factory mode)
  bool SetAddress();         // "Address"
  bool SetSensorBaudRate();  // "Baud Rate"
  bool SetCheckMode();       // "Error Checking"
  bool SetMode();            // "Mode"
  bool SetToDefault();       // "Set To Default"
  bool LaserOn();            // "Laser On"
  bool LaserOff();           // "Laser Off"
  bool SetWaneVariables();   // "Set Wane Varibles"
  bool Upload();             // "Upload" (factory mode)
  bool ExportScanBuffer();   // "Read Buffer"

  // View tab. Polling and repeated memory reads hold the busy flag until
  // stopped; the stop and repeat flags take effect at their next pass.
  bool StartPolling();       // "Start"
  bool ReadMemory();         // "Read Memory"
  // "Stop", a tab change, the window closing: polling ends at its next pass.
  void RequestStop() { stop_ = true; }
  // "Repeat" ticked or unticked (a tab change also clears it).
  void SetRepeat(bool repeat) { repeat_ = repeat; }
  bool repeat() const { return repeat_; }

  // "Stop" beside "Upload": the upload stops after the block in flight,
  // cancels the transfer on the line (CAN CAN) and locks the flash again.
  void RequestUploadStop() { stopUpload_ = true; }
  bool uploading() const { return uploading_; }

  // Where the upload saves the settings first (default
  // AutomaticBackupFolder()), and the file of the last upload's backup
  // (empty when none was saved).
  void SetBackupFolder(std::string folder) { backupFolder_ = std::move(folder); }
  const std::string& lastBackupPath() const { return lastBackupPath_; }

  // Reads the settings the Settings tab writes, raw, without touching the
  // window. False with `why` in words when a read failed.
  bool ReadSensorSettings(SensorSettings& settings, std::string& why);
  // Writes the settings that differ from `wanted` (all of them when the
  // sensor's cannot be read first) and reads them back; the window's fields
  // show the sensor's values afterwards.
  struct RestoreResult {
    bool verified = false;                  // the read-back equals `wanted`
    std::vector<SettingDifference> left;    // what still differs
    std::string error;                      // the read-back failed
  };
  // False when turned away as busy.
  bool RestoreSettings(const SensorSettings& wanted, RestoreResult& result);

  // The link text of the status bar: port, baud rate, address, check mode,
  // the sensor, polling or idle, good and failed replies since connect; or
  // why there is no link.
  std::string LinkText() const;
  // The port went away; Connect (the "Reconnect" button) opens it again.
  bool lineLost() const { return link_.port().HungUp(); }
  // What the line going away means, in plain words, with what to do.
  std::string LineLostExplanation() const;
  // A button was pressed: a status such as "Success!" from the last
  // operation goes (not the report of a lost line).
  void ActionStarting() { Status(""); }

  // What one firmware upload did (upload_report.h).
  struct UploadReport;

  bool busy() const { return busy_; }
  // Polling runs (StartPolling): the window shows its results at its pace.
  bool polling() const { return polling_; }
  bool connected() const { return connected_; }
  const UnitSet& unitSet() const { return *unit_; }
  int rememberedMode() const { return rememberedMode_; }
  // Bytes 6 to 9 of the last wane read, sent back as they came.
  const std::array<uint8_t, 4>& reservedWane() const { return sensor_.reserved; }
  // The flash was locked again after the last failed upload.
  bool relockedAfterFailure() const { return relocked_; }

  // The model list's entry put back when the list is left with nothing
  // chosen: "KRV04" when the last model name read contains a D, else
  // "KRV04-HP".
  int ModelEntryWhenNoneChosen() const;

  // Host baud rate used when the baud list has no entry chosen.
  int32_t hostBaudInUse() const { return hostBaudInUse_; }
  // Why the last write could not be added to the change history; empty
  // while every one was.
  const std::string& historyError() const { return historyError_; }

 private:
  class Busy;  // takes the busy flag for one operation

  // Sends a request in the current mode to the address in use.
  void Send(uint8_t command, const std::vector<uint8_t>& data = {});
  // ReceiveFrame with the current mode; a checked reply with fewer than
  // `dataNeeded` data bytes counts as an invalid response.
  bool Receive(Reply& reply, size_t dataNeeded, int timeoutMs = OstrelLink::kReadTimeoutMs);
  // The status line; after a hang-up it keeps the one line that says so
  // until the port is opened again.
  void Status(const std::string& text) {
    if (!link_.port().HungUp()) view_.SetStatus(text);
  }

  bool OpenPort();
  // The port hung up: see OstrelLink::SetLineLostHandler.
  void LineLost();
  bool Probe();
  void GetSensorData();
  // Each read fills the fields and what the operations know the sensor
  // holds (sensor_); true when the sensor answered.
  void ReadVersion();
  bool ReadSetup();
  bool ReadWane();
  bool ReadBoardTimeout();
  void ReadSerial();
  bool ReadModelName();
  // Laser powers and threshold (settings.cpp): check, send, read back.
  bool SetByteSetting(const ByteSetting& setting);

  // Firmware upload.
  int XModemSendBlock(uint32_t block, const uint8_t* data, bool last, bool first);
  uint8_t ReadAnswer(bool skipStartRequests);
  // True when the receiver has sent CAN CAN since its last answer: it has left
  // receive mode, and the next block would reach it as commands.
  bool CancelWaiting();
  void LockFlash();
  // One line of the change history (write_history.cpp).
  void RecordWrite(const std::string& setting, const std::string& oldValue, const std::string& newValue,
                   history::Outcome outcome);
  // Each write into the change history (with the value before and whether
  // it was verified) and the log; returns the status line's summary of
  // what the sensor now holds.
  std::string ReportWrites(const std::vector<SettingWrite>& writes);
  // A change that ends in a new connect (baud rate, check mode, mode):
  // the connect is its read-back, `now` what it found.
  void ReconnectedWrite(SettingWrite write, const std::string& now, bool asSent);
  // What the sensor held before a write, shown; empty when never read.
  std::string Before(const std::string& name) const;
  // The settings read so far are known by name (SettingValues' names).
  void Know(std::initializer_list<const char*> names);
  // The upload's steps before, during and after the transfer.
  bool SaveBackupBeforeUpload(UploadReport& report);
  void Transfer(uint8_t command, const std::vector<uint8_t>& image, size_t size, UploadReport& report);
  void AfterUpload(UploadReport& report);
  void OfferRestore(const UploadReport& report);
  RestoreResult RestoreWithinOperation(const SensorSettings& wanted);

  OstrelLink& link_;
  WindowFields& fields_;
  OstrelView& view_;
  // Opened for fields_.device == kVirtualSensorDevice.
  VirtualSensorLine virtualSensor_;
  bool busy_ = false;
  bool connected_ = false;
  int32_t hostBaudInUse_ = 57600;
  const UnitSet* unit_ = &kImperial;
  int rememberedMode_ = 0;
  // What the sensor held at the last read of each setting, and which of
  // them were read since the last Connect.
  SensorSettings sensor_;
  std::vector<std::string> known_;
  std::string addressRead_;  // the setup's address, data[11]
  std::string lastModelName_;
  std::vector<uint8_t> lastModelData_;  // the 16 name bytes of the last model read
  std::vector<uint8_t> lastSerialData_;  // the 16 bytes of the last serial number read
  std::string backupFolder_ = AutomaticBackupFolder();
  std::string lastBackupPath_;
  std::string portName_;  // the port opened last, as the link text names it
  bool polling_ = false;
  int retries_ = 0;       // blocks and EOTs sent again in this upload
  bool relocked_ = false;
  bool stopUpload_ = false;
  bool uploading_ = false;
  bool stop_ = false;
  bool repeat_ = false;
  std::string historyError_;
};

}  // namespace ostrel
