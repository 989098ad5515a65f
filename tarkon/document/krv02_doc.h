#pragma once
// The document of the one sensor connection: it owns everything that talks
// to a sensor (port and packet link, command object, block sender, poll
// worker, settings file, range modes, the models' settings records) and runs
// the connection operations of the menus. Front ends (desktop program,
// command-line tool) bind to it; none of them repeats its checks or
// command sequences.

#include <cstdint>
#include <functional>
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "protocol/log_sink.h"
#include "protocol/packet_link.h"
#include "protocol/sensor_commands.h"
#include "protocol/xmodem_sender.h"
#include "tarkon/document/change_recorder.h"
#include "tarkon/document/connect_failure.h"
#include "tarkon/document/connect_values.h"
#include "tarkon/document/document_listener.h"
#include "tarkon/document/exchange_session.h"
#include "tarkon/document/firmware_upload.h"
#include "tarkon/document/link_loss.h"
#include "tarkon/document/link_status.h"
#include "tarkon/document/listener_slot.h"
#include "tarkon/models/model_settings.h"
#include "tarkon/models/model_table.h"
#include "tarkon/document/poll_worker.h"
#include "tarkon/document/range_mode_table.h"
#include "tarkon/document/recent_ports.h"
#include "tarkon/document/scan_buffer.h"
#include "tarkon/document/sensor_identity.h"
#include "tarkon/document/serial_and_model.h"
#include "tarkon/document/settings_file.h"
#include "tarkon/document/transfer_flag.h"

// Log texts of the connection.
constexpr const char* kCannotConnectLine = "Cannot connect to the sensor...";
constexpr const char* kDisconnectedLine = "Disconnected...";
constexpr const char* kCloseLine = "Close";
// Logged (kind 0) when the port's device goes away while connected; %s is
// the device path.
constexpr const char* kDeviceGoneLine = "The port %s went away (adapter unplugged or line hung up); polling stopped.";
// The same for a network line: %s the port name, %s the gateway.
constexpr const char* kGatewayGoneLine = "The connection to %s was lost: the gateway %s closed or reset it; polling stopped.";
// Over raw TCP the line settings are the gateway's: asked before a baud
// rate change (%s the gateway, %d the new rate) or a check mode change (%s
// the gateway), default No.
constexpr const char* kGatewayBaudQuestion =
    "The sensor is reached through the gateway %s over raw TCP, which keeps its own baud rate. After this "
    "change the sensor answers only once the gateway's port is set to %d bit/s too. Change the sensor's baud "
    "rate?";
constexpr const char* kGatewayCheckModeQuestion =
    "The sensor is reached through the gateway %s over raw TCP. A gateway that passes the bytes through needs "
    "no change, but one that reads the frames must be set to the new error checking method too. Change it?";
// Logged (kind 2) when such a change was not confirmed.
constexpr const char* kGatewayChangeRefusedLine = "Not changed: the gateway %s keeps its own line settings.";
constexpr const char* kDefaultsQuestion = "Reset sensor to factory defaults ?";

// Menu and toolbar commands handled by the document.
enum class DocCommand {
  kConnect,
  kDisconnect,
  kAddress,
  kChecksum,
  kCrc,
  kBaudRate,
  kSensorSettings,
  kRereadSettings,
  kSerialAndModel,
  kUpload,
  kResetSensor,
  kSetDefaults,
};

class CKRV02Doc : public LogSink {
 public:
  // Loads the settings file: `settingsPath`, or "tarkon.ini" in its default
  // place when empty.
  explicit CKRV02Doc(const std::string& settingsPath = std::string());
  // Stops the poll worker and writes the settings file back.
  ~CKRV02Doc() override;
  CKRV02Doc(const CKRV02Doc&) = delete;
  CKRV02Doc& operator=(const CKRV02Doc&) = delete;

  // May be called while connected: once it returns, the old listener is not
  // being called from the poll worker any more.
  void SetListener(DocumentListener* listener) { listener_.Set(listener); }
  void SetManufacturingMode(bool on) { manufacturing_ = on; }
  // A window that must keep its event loop turning while the sensor is
  // waited for: every exchange of the line then waits on the session thread
  // while `host` runs the loop, and the line counts as busy meanwhile (see
  // LineBusy), so a press dispatched by that loop is refused, never run
  // later. Null (the default) waits on the calling thread. Called on the
  // thread that owns the connection, not while an exchange is pending.
  void SetExchangeHost(ExchangeLoopHost* host) { session_.SetHost(host); }
  const ExchangeSession& session() const { return session_; }
  // Whether the connection is stored in the settings file, at a connect
  // and when the document ends. A connection whose line lives only as long
  // as the program (a virtual sensor's, ConnectValues::lineEndsWithProgram)
  // is never stored; this switch turns storing off for the others too.
  void SetSaveOnClose(bool on) { saveOnClose_ = on; }
  bool manufacturingMode() const { return manufacturing_; }

  // Connect, first half: clears stored replies and returns the connect
  // dialog's values filled from the settings file. The front end shows the
  // dialog; cancelling ends here.
  ConnectValues BeginConnect();
  // Connect, second half, with the values the dialog returned. True when
  // connected; on failure the connection is closed again, and the log holds
  // "Cannot connect to the sensor...", "Disconnected..." and then one line
  // with the cause (lastConnectFailure()). The sensor is asked in
  // `firstCheckMode` first and in the other mode only when that brings no
  // answer (the desktop program keeps checksum first; a tool that knows its
  // sensor answers in CRC mode saves the failed checksum attempt).
  bool Connect(const ConnectValues& values, int32_t firstCheckMode = frame::kChecksum);
  void Disconnect();
  // Why the last connect failed: no such device, permission denied (with
  // the fix), in use by another program, no answer, ...; cause kNone after a
  // connect that succeeded. For the front ends' message boxes.
  const ConnectFailure& lastConnectFailure() const { return lastFailure_; }
  // Whether the connection uses the driver's RS-485 direction control.
  bool rs485() const { return rs485_; }

  // "Address...": what the dialog shows, then the outcome (cancelled or the
  // dialog's serial text and new address).
  std::string AddressDialogSerialText() const;
  void ChangeAddress(bool ok, const std::string& serialText, uint8_t newAddress);
  // "Boudrate...": the choice to pre-select, then the chosen index.
  int BaudDialogPreselection() const;
  // Over raw TCP through a gateway the change is first asked with
  // kGatewayBaudQuestion / kGatewayCheckModeQuestion (no `askYesNo`: not
  // confirmed); false, with nothing sent, when not confirmed.
  bool ChangeBaudRate(int choice, const std::function<bool(const std::string&)>& askYesNo = {});
  // "Checksum" (0) / "CRC" (1).
  bool ChangeCheckMode(int mode, const std::function<bool(const std::string&)>& askYesNo = {});
  // "Set sensor defaults": asks kDefaultsQuestion; true when sent.
  bool SetFactoryDefaults(const std::function<bool(const std::string&)>& askYesNo);
  // "Reset Sensor": available as the menu command is (connected, in
  // manufacturing mode, the line free); true when sent.
  bool ResetSensor();
  // "Serial Number and Model": the dialog's logic on this connection; when
  // the dialog closes, DialogClosed().
  // Its commands go out only while the menu command is available.
  SerialAndModel SerialAndModelLogic();
  // After the settings dialog or the serial number dialog closed: the
  // sensor state changed (the setup pane re-reads it).
  void DialogClosed() { PostStateChanged(); }
  // Toolbar "Re-read settings", and the re-read after the dialogs.
  bool RereadSettings();
  // After a firmware update: the model name, the versions and the serial
  // number asked again, as the connect asked them. False when one of them
  // brought no answer (the texts of those keep their old values).
  bool RereadIdentity();
  // Program exit (the window closes, the command-line tool ends): stops the
  // poll worker and logs "Close" (once). The destructor does not log it: by
  // then the listener may be gone, so the front end calls this while its
  // listener still lives.
  void CloseDocument();

  // Availability of the menu and toolbar commands. While a long operation
  // holds the line through transfer() (the firmware upload does; a front
  // end that lets its window run between the portions of a scan buffer
  // read holds it for the read), every command is unavailable, since each
  // would put a frame on the line between the operation's blocks.
  bool IsAvailable(DocCommand command) const;
  // A long operation holds the line (same flag as transfer()), or an
  // exchange is pending while the window's loop runs: front ends also
  // refuse their own sensor buttons and wait before closing.
  bool LineBusy() const { return transfer_.InProgress() || session_.Pending(); }
  // A front end took or gave back the line: the views re-read the
  // availability of every command.
  void LineHoldChanged() {
    if (DocumentListener* listener = listener_.get()) listener->OnUpdateAllViews();
  }

  // The scan buffer and upload logic on this connection (for their
  // dialogs); each lives as long as its dialog.
  std::unique_ptr<ScanBufferReader> NewScanBufferReader() {
    return std::make_unique<ScanBufferReader>(commands_, this);
  }
  // Each upload that sent something goes to the change history.
  std::unique_ptr<FirmwareUpload> NewFirmwareUpload();
  // Ranges the connected model's scan buffer offers now (see
  // ScanRangesOffered).
  int ScanRangesAvailable() const { return ScanRangesOffered(modelIndex_, commands_.krv02State); }
  // "Start" of the scan buffer dialog, for a front end that lets its window
  // run between portions: the read holds the line from its first portion to
  // its last, so no command and no poll tick puts a frame in between, and the
  // views hear when it takes and gives the line back. Refused when the line
  // is already held. Ranges in the current mode's units.
  ScanReadOutcome ReadScanBuffer(ScanBufferReader& reader, int rangesToRead, int startIndex,
                                 const ScanReadCallbacks& callbacks);
  bool IsChecked(DocCommand command) const;

  // The sensor operations of the panels and of the command-line tool. Each
  // is refused (false, nothing sent) unless LineFree(): a press while the
  // line is busy is dropped, never run later.
  bool LineFree() const { return connected_ && !LineBusy(); }
  bool StartScan();
  bool StopScan();
  bool SetLaser(bool on);
  // For a front end that does not poll: reads the state reply that the
  // window's poll ticks keep fresh (the KRV02 family's GetKRV02State, which
  // holds the scan count the scan statistics and the scan buffer use).
  // True when read, or when the model has no such reply.
  bool RefreshPolledState();
  // Stops the poll ticks (a window that goes away before the document).
  void StopPolling() { poll_.Stop(); }

  // Poll ticks: the polling side takes a pending tick, polls only if
  // PollAllowed(), then reports it handled.
  bool TakePollTick() { return poll_.TakeTick(); }
  bool WaitPollTick(uint32_t ms) { return poll_.WaitAndTakeTick(ms); }
  void PollTickHandled() { poll_.TickHandled(); }
  // No query may reach the sensor while a block transfer runs.
  // Nor while another exchange is pending.
  bool PollAllowed() const { return connected_ && !LineBusy(); }

  // Connection state.
  bool connected() const { return connected_; }
  // Counts the connects that succeeded (reconnects too): a view tells by
  // it that what it shows came over an earlier connection.
  uint64_t connectionNumber() const { return connectionNumber_; }
  // The connection as it last worked, for one-click connects: the port as
  // the user named it, and the baud rate and address at which the sensor
  // last answered (after "Address..." or "Boudrate...", the new ones once
  // the sensor has answered there). Nothing before a sensor has answered,
  // and never a line that ends with the program. Kept after a disconnect.
  const std::optional<RecentPort>& workingConnection() const { return working_; }
  int modelIndex() const { return modelIndex_; }
  int portNumber() const { return portNumber_; }
  const std::string& device() const { return link_.device(); }
  const std::string& modelText() const { return modelText_; }
  const std::string& firmwareText() const { return firmwareText_; }
  const std::string& fpgaText() const { return fpgaText_; }
  std::string modelString() const;
  // The serial number as the address dialog sends it (at most 8
  // characters), and the whole text of the last GetSerialNum reply (what the
  // setup pane shows).
  std::string serialNumberText() const;
  std::string serialNumberReplyText() const;
  // The connected sensor's identity as this connection read it, with what
  // is missing (a serial number or versions whose reply did not come).
  SensorIdentity identity() const;
  int32_t checkMode() const { return commands_.checkMode(); }
  int32_t address() const { return commands_.address(); }
  int32_t baudRate() const;

  // Range text of a raw range in the connected sensor's current mode.
  int CurrentMode() const;
  const RangeModeRow& CurrentRow() const;
  std::string RangeText(int16_t raw) const;

  SettingsFile& settingsFile() { return settings_; }
  // The change history every write to the sensor goes to: the front end
  // names its program there (tests also the file).
  ChangeRecorder& changeHistory() { return history_; }
  // Whether writes are recorded at all: off for a private in-process
  // sensor standing in for a settings file (offline editing), whose writes
  // reach no real sensor.
  void SetChangeRecording(bool on) { history_.SetRecording(on); }
  // Port, model and serial number of the connected sensor, as a history
  // line names them.
  WriteTarget CurrentWriteTarget() const;
  const RangeModeTable& ranges() const { return ranges_; }
  ModelSettings* currentSettings() const { return current_; }

  // --- The link (tarkon/document/doc_link.cpp) ---
  // What the status line and the window title say about the connection.
  LinkFacts linkFacts() const;
  std::string LinkStatus() const { return LinkStatusText(linkFacts()); }
  std::string WindowTitle() const { return LinkWindowTitle(linkFacts()); }
  // Why the link went away (or went silent, or its port is back), for the
  // bar across the window; kind kNone while there is nothing to say.
  const LinkNotice& linkNotice() const { return notice_; }
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
  // "Reconnect automatically": PortAppeared reconnects at once instead of
  // offering it.
  void SetAutoReconnect(bool on) { autoReconnect_ = on; }
  bool autoReconnect() const { return autoReconnect_; }
  // A serial port appeared (a udev "add" event): its names (device node,
  // by-id link, ...) and its USB serial number when known. When it is the
  // port of the lost link (same by-id name, name or USB serial number) the
  // reconnect is offered in the notice, or run at once when automatic.
  // Call on the thread that owns the connection.
  PortBackAction PortAppeared(const std::vector<std::string>& names, const std::string& usbSerial = std::string());
  PortBackAction PortAppeared(const std::string& name, const std::string& usbSerial = std::string()) {
    return PortAppeared(std::vector<std::string>{name}, usbSerial);
  }
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
  // Every frame and block of this connection goes to `trace` (null: none).
  void SetTrace(ProtocolTrace* trace);
  // Whether a log line that quotes an internal text of the serial or
  // packet layer is followed by its plain explanation (kind notice).
  void SetExplainLines(bool on) { explainLines_ = on; }
  // LogSink: counts replies and notices a sensor that went silent.
  void CommandOutcome(bool ok) override;

  // LogSink: command lines and the document's own lines go to the listener.
  // A failed command on a port whose device has gone (adapter pulled, line
  // hung up) ends the connection: kDeviceGoneLine, then the Disconnect steps
  // (polling stops, the port closes, the front ends hear of it).
  void LogLine(int kind, const std::string& text) override;

 private:
  friend struct DocInternals;  // tarkon/document/doc_internals.h: engine code only

  // What a reconnect needs of a connection.
  struct LostLink {
    bool valid = false;
    LinkIdentity port;
    ConnectTarget target;
    int32_t checkMode = 0;
    std::string serial;  // serial number reply text
    std::string model;   // the model string the sensor reported
    std::string sensor;  // SensorName
  };
  bool ConnectTo(const ConnectTarget& target, const std::string& portText, int32_t firstCheckMode);
  LostLink CurrentLink() const;
  std::string LinkPortName() const;
  void SetNotice(LinkNotice notice);

  bool Fail(const char* line, ConnectFailure failure);
  // Over raw TCP: asks the baud-rate question (with `rate`) or the
  // check-mode question; true when the line is no such line or the change
  // is confirmed.
  bool GatewayAllows(bool baud, int32_t rate, const std::function<bool(const std::string&)>& askYesNo);
  void DeviceGone();
  // Says once why the settings file is left alone.
  void TellSettingsNotice();
  // Writes the settings file now when the connection changed it.
  void SaveChangedSettings();
  void PostStateChanged();
  ModelSettings* SettingsOfModel(int model);
  // True when the version query answered.
  bool ReadVersions();
  void StoreSerialSettingsOfPort();
  // One history line about the connected sensor (a failure to write it is
  // said once in the log).
  void RecordWrite(const std::string& setting, const std::string& oldValue, const std::string& newValue,
                   history::Outcome outcome);
  // Outcome of a write whose value the re-read after it reports: failed
  // when the command failed, verified when re-read and as sent.
  history::Outcome WriteOutcome(bool sent, bool reread, bool asSent) const;

  ListenerSlot listener_;
  bool manufacturing_ = false;
  bool saveOnClose_ = true;
  bool lineEndsWithProgram_ = false;  // of the last connect
  bool StoresConnection() const { return saveOnClose_ && !lineEndsWithProgram_; }
  std::string settingsNotice_;  // why the settings file is left alone, until told
  bool settingsNoticeTold_ = false;

  // Declared before the link, which uses it: it outlives the link's use.
  ExchangeSession session_;
  PacketLink link_;
  SensorCommands commands_;
  XmodemSender xmodem_;
  TransferFlag transfer_;
  PollWorker poll_;
  SettingsFile settings_;
  ChangeRecorder history_;
  RangeModeTable ranges_;
  // The settings record of each model, as its folder makes it; models
  // that share their parts (KRV02 and Qmt Long) share one record.
  std::vector<std::unique_ptr<ModelSettings>> settingsRecords_;
  std::vector<ModelSettings*> settingsOfModel_;  // by model index

  bool connected_ = false;
  uint64_t connectionNumber_ = 0;
  std::optional<RecentPort> working_;
  int modelIndex_ = kModelKRV02;
  int portNumber_ = -1;
  ConnectTarget connection_;  // what the last connect opened, as the user gave it
  bool closed_ = false;
  std::string modelText_;
  std::string firmwareText_;
  std::string fpgaText_;
  // Whether this connection read the serial number and the versions.
  bool serialRead_ = false;
  bool versionsRead_ = false;
  ModelSettings* current_ = nullptr;
  ConnectFailure lastFailure_;
  bool rs485_ = false;

  // The link.
  LinkIdentity identity_;  // of the current connection's port
  LostLink lost_;          // the connection that went away, to reconnect
  LinkNotice notice_;
  ReplyCounter replies_;
  LogExplainer explainer_;
  bool explainLines_ = false;
  bool autoReconnect_ = false;
  bool pollSwitch_ = false;  // the last panel tick had its update switch on
  uint64_t exchangesAtWatch_ = 0;  // replies counted at the last WatchIdleLine
};
