#pragma once
// The document's face, by capability. Each face is a small handle on the
// document that holds no state of its own: `doc.sensor()` for what this
// connection read of the sensor, `doc.connection()` for its status, loss
// and reconnect, `doc.polling()` for the poll ticks, `doc.operations()` for
// the sensor operations of the menus, panels and command-line tool,
// `doc.options()` for the switches a front end sets once. The document itself keeps only
// connecting, availability and what every front end shares.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tarkon/document/change_recorder.h"
#include "tarkon/document/connect_failure.h"
#include "tarkon/document/exchange_session.h"
#include "tarkon/document/firmware_upload.h"
#include "tarkon/document/link_loss.h"
#include "tarkon/document/link_status.h"
#include "tarkon/document/range_mode_table.h"
#include "tarkon/document/recent_ports.h"
#include "tarkon/document/scan_buffer.h"
#include "tarkon/document/sensor_identity.h"
#include "tarkon/document/serial_and_model.h"

class CKRV02Doc;
class ProtocolTrace;

// A yes/no question a front end answers (no answer: not confirmed).
using AskYesNo = std::function<bool(const std::string&)>;

// Switches a front end sets once, before or between connects.
class DocOptions {
 public:
  explicit DocOptions(CKRV02Doc& doc) : doc_(doc) {}
  void SetManufacturingMode(bool on);
  // A window that must keep its event loop turning while the sensor is
  // waited for: every exchange of the line then waits on the session thread
  // while `host` runs the loop, and the line counts as busy meanwhile (see
  // CKRV02Doc::LineBusy), so a press dispatched by that loop is refused,
  // never run later. Null (the default) waits on the calling thread. Called
  // on the thread that owns the connection, not while an exchange is pending.
  void SetExchangeHost(ExchangeLoopHost* host);
  // Whether the connection is stored in the settings file, at a connect
  // and when the document ends. A connection whose line lives only as long
  // as the program (a virtual sensor's, ConnectValues::lineEndsWithProgram)
  // is never stored; this switch turns storing off for the others too.
  void SetSaveOnClose(bool on);
  // Whether writes are recorded at all: off for a private in-process
  // sensor standing in for a settings file (offline editing), whose writes
  // reach no real sensor.
  void SetChangeRecording(bool on);
  // Whether a log line that quotes an internal text of the serial or
  // packet layer is followed by its plain explanation (kind notice).
  void SetExplainLines(bool on);
  // "Reconnect automatically": a port that comes back is reconnected at
  // once instead of offered.
  void SetAutoReconnect(bool on);
  bool autoReconnect() const;
  // Every frame and block of this connection goes to `trace` (null: none).
  void SetTrace(ProtocolTrace* trace);

 private:
  CKRV02Doc& doc_;
};

// What this connection read of the sensor and how it reaches it.
class SensorFacts {
 public:
  explicit SensorFacts(const CKRV02Doc& doc) : doc_(doc) {}
  // Counts the connects that succeeded (reconnects too): a view tells by
  // it that what it shows came over an earlier connection.
  uint64_t connectionNumber() const;
  // The connection as it last worked, for one-click connects: the port as
  // the user named it, and the baud rate and address at which the sensor
  // last answered (after "Address..." or "Boudrate...", the new ones once
  // the sensor has answered there). Nothing before a sensor has answered,
  // and never a line that ends with the program. Kept after a disconnect.
  const std::optional<RecentPort>& workingConnection() const;
  int modelIndex() const;
  int portNumber() const;
  const std::string& device() const;
  const std::string& modelText() const;
  const std::string& firmwareText() const;
  const std::string& fpgaText() const;
  std::string modelString() const;
  // The serial number as the address change sends it (at most 8
  // characters), and the whole text of the last GetSerialNum reply (what the
  // setup pane shows).
  std::string serialNumberText() const;
  std::string serialNumberReplyText() const;
  // The connected sensor's identity as this connection read it, with what
  // is missing (a serial number or versions whose reply did not come).
  SensorIdentity identity() const;
  int32_t checkMode() const;
  int32_t address() const;
  int32_t baudRate() const;
  // Whether the connection uses the driver's RS-485 direction control.
  bool rs485() const;
  // Why the last connect failed: no such device, permission denied (with
  // the fix), in use by another program, no answer, ...; cause kNone after a
  // connect that succeeded. For the front ends' message boxes.
  const ConnectFailure& lastConnectFailure() const;
  // Port, model and serial number of the connected sensor, as a history
  // line names them.
  WriteTarget CurrentWriteTarget() const;
  // The connected sensor's range mode and the range text of a raw range in
  // it.
  int CurrentMode() const;
  const RangeModeRow& CurrentRow() const;
  std::string RangeText(int16_t raw) const;
  const RangeModeTable& ranges() const;
  // Ranges the connected model's scan buffer offers now (see
  // ScanRangesOffered).
  int ScanRangesAvailable() const;

 private:
  const CKRV02Doc& doc_;
};

// The connection: what the status line and title say, its loss and
// reconnect.
class ConnectionFace {
 public:
  explicit ConnectionFace(CKRV02Doc& doc) : doc_(doc) {}
  // What the status line and the window title say about the connection.
  LinkFacts linkFacts() const;
  std::string LinkStatus() const;
  std::string WindowTitle() const;
  const ExchangeSession& session() const;
  // Why the link went away (or went silent, or its port is back), for the
  // bar across the window; kind kNone while there is nothing to say.
  const LinkNotice& linkNotice() const;
  // "Dismiss": the bar goes; a lost link can still be reconnected.
  void DismissLinkNotice();
  // Whether "Reconnect" can run: a link was lost (or the connected sensor
  // went silent) and the line is not held by a transfer.
  bool CanReconnect() const;
  // Connects again with the same port, baud rate, address and check mode
  // (the other check mode only when that one brings no answer), reading the
  // identity again; a connected but silent link is closed first. Says
  // whether the same sensor (model string and serial number) answers.
  // Polling resumes as the poll worker starts, with the panels' switches as
  // they were. A port whose device is not there is not tried (kPortAbsent,
  // nothing logged).
  ReconnectOutcome Reconnect();
  // A serial port appeared (a udev "add" event): its names (device node,
  // by-id link, ...) and its USB serial number when known. When it is the
  // port of the lost link (same by-id name, name or USB serial number) the
  // reconnect is offered in the notice, or run at once when automatic.
  // Call on the thread that owns the connection.
  PortBackAction PortAppeared(const std::vector<std::string>& names, const std::string& usbSerial = std::string());
  PortBackAction PortAppeared(const std::string& name, const std::string& usbSerial = std::string());
  // A serial port went away (a udev "remove" event): when it is the
  // connected port and its line is gone, the link ends as when a command
  // finds the device gone, also while nothing polls. True when it ended.
  bool PortDisappeared(const std::vector<std::string>& names);
  // At each poll tick, after the panel's poll: when no command has gone
  // out since the last such call (the panel's switch off, nothing
  // pressed), asks the open port whether its line hung up (a pulled
  // adapter's port, a closed line), without a byte on the line and without
  // waiting; if so the link ends as when a command finds the device gone
  // (kDeviceGoneLine, the bar with "Reconnect"). A line that carries
  // commands is watched by them. Nothing while the line is busy, so it
  // never runs beside an exchange. True when the link ended.
  bool WatchIdleLine();

 private:
  CKRV02Doc& doc_;
};

// The poll ticks: the polling side takes a pending tick, polls only if
// PollAllowed(), then reports it handled.
class PollingFace {
 public:
  explicit PollingFace(CKRV02Doc& doc) : doc_(doc) {}
  bool TakePollTick();
  bool WaitPollTick(uint32_t ms);
  void PollTickHandled();
  // No query may reach the sensor while a block transfer runs, nor while
  // another exchange is pending.
  bool PollAllowed() const;
  // Stops the poll ticks (a window that goes away before the document).
  void StopPolling();
  // For a front end that does not poll: reads the state reply that the
  // window's poll ticks keep fresh (the KRV02 family's state reply, which
  // holds the scan count the scan statistics and the scan buffer use).
  // True when read, or when the model has no such reply.
  bool RefreshPolledState();

 private:
  CKRV02Doc& doc_;
};

// The sensor operations of the menus, the panels and the command-line
// tool. Each is refused (false, nothing sent) unless the line is free: a
// press while the line is busy is dropped, never run later. Each write is
// read back and goes to the change history as verified or not.
class SensorOperations {
 public:
  explicit SensorOperations(CKRV02Doc& doc) : doc_(doc) {}
  // "Address...": sent to the global address with the serial number
  // (serialNumberText()), so only that sensor takes `newAddress`; then the
  // settings are read again at the address the sensor reports.
  void SetAddress(const std::string& serialText, uint8_t newAddress);
  // "Boudrate..." with the chosen index. Over raw TCP through a gateway the
  // change is first asked with kGatewayBaudQuestion / kGatewayCheckModeQuestion
  // (no `askYesNo`: not confirmed); false, with nothing sent, when not
  // confirmed.
  bool ChangeBaudRate(int choice, const AskYesNo& askYesNo = {});
  // "Checksum" (0) / "CRC" (1).
  bool ChangeCheckMode(int mode, const AskYesNo& askYesNo = {});
  // "Set sensor defaults": asks kDefaultsQuestion; true when sent.
  bool SetFactoryDefaults(const AskYesNo& askYesNo);
  // "Reset Sensor": available as the menu command is (connected, in
  // manufacturing mode, the line free); true when sent.
  bool ResetSensor();
  // "Serial Number and Model" on this connection; its commands go out only
  // while the menu command is available. SensorStateChanged() after.
  SerialAndModel SerialAndModelLogic();
  // The sensor state changed behind the views (after the settings or the
  // serial number were edited): the setup pane re-reads it.
  void SensorStateChanged();
  // Toolbar "Re-read settings", and the re-read after the edits.
  bool RereadSettings();
  // After a firmware update: the model name, the versions and the serial
  // number asked again, as the connect asked them. False when one of them
  // brought no answer (the texts of those keep their old values).
  bool RereadIdentity();
  bool StartScan();
  bool StopScan();
  bool SetLaser(bool on);
  // The scan buffer and upload logic on this connection (for their
  // dialogs); each lives as long as its dialog. Each upload that sent
  // something goes to the change history.
  std::unique_ptr<ScanBufferReader> NewScanBufferReader();
  std::unique_ptr<FirmwareUpload> NewFirmwareUpload();
  // "Start" of the scan buffer dialog, for a front end that lets its window
  // run between portions: the read holds the line from its first portion to
  // its last, so no command and no poll tick puts a frame in between, and the
  // views hear when it takes and gives the line back. Refused when the line
  // is already held. Ranges in the current mode's units.
  ScanReadOutcome ReadScanBuffer(ScanBufferReader& reader, int rangesToRead, int startIndex,
                                 const ScanReadCallbacks& callbacks);

 private:
  CKRV02Doc& doc_;
};
