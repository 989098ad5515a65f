#pragma once
// The document of the one sensor connection: it owns everything that talks
// to a sensor (port and packet link, command object, block sender, poll
// worker, settings file, range modes, the models' settings records) and runs
// the connection operations of the menus. Front ends (desktop program,
// command-line tool) bind to it; none of them repeats its checks or
// command sequences.

#include <array>
#include <cstdint>
#include <functional>
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
#include "tarkon/document/doc_faces.h"
#include "tarkon/document/document_listener.h"
#include "tarkon/document/exchange_session.h"
#include "tarkon/document/firmware_upload.h"
#include "tarkon/document/link_loss.h"
#include "tarkon/document/link_status.h"
#include "tarkon/document/listener_slot.h"
#include "tarkon/document/poll_worker.h"
#include "tarkon/document/range_mode_table.h"
#include "tarkon/document/recent_ports.h"
#include "tarkon/document/scan_buffer.h"
#include "tarkon/document/sensor_identity.h"
#include "tarkon/document/serial_and_model.h"
#include "tarkon/document/settings_file.h"
#include "tarkon/document/transfer_flag.h"
#include "tarkon/models/model_settings.h"
#include "tarkon/models/model_table.h"

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

  // The faces by capability (doc_faces.h).
  DocOptions options() { return DocOptions(*this); }
  SensorFacts sensor() const { return SensorFacts(*this); }
  ConnectionFace connection() { return ConnectionFace(*this); }
  PollingFace polling() { return PollingFace(*this); }
  SensorOperations operations() { return SensorOperations(*this); }

  // May be called while connected: once it returns, the old listener is not
  // being called from the poll worker any more.
  void SetListener(DocumentListener* listener) { listener_.Set(listener); }

  // Connect, first half: clears stored replies and returns the connect
  // dialog's values filled from the settings file. The front end shows the
  // dialog; cancelling ends here.
  ConnectValues BeginConnect();
  // Connect, second half, with the values the dialog returned. True when
  // connected; on failure the connection is closed again, and the log holds
  // "Cannot connect to the sensor...", "Disconnected..." and then one line
  // with the cause (sensor().lastConnectFailure()). The sensor is asked in
  // `firstCheckMode` first and in the other mode only when that brings no
  // answer (the desktop program keeps checksum first; a tool that knows its
  // sensor answers in CRC mode saves the failed checksum attempt).
  bool Connect(const ConnectValues& values, int32_t firstCheckMode = frame::kChecksum);
  void Disconnect();
  bool connected() const { return connected_; }
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
  bool IsChecked(DocCommand command) const;
  // Started with -QZX: the commands for the factory are offered too.
  bool manufacturingMode() const { return manufacturing_; }
  // A long operation holds the line (same flag as transfer()), or an
  // exchange is pending while the window's loop runs: front ends also
  // refuse their own sensor buttons and wait before closing.
  bool LineBusy() const { return transfer_.InProgress() || session_.Pending(); }
  // Whether a sensor operation may run now: connected and the line not busy.
  bool LineFree() const { return connected_ && !LineBusy(); }
  // A front end took or gave back the line: the views re-read the
  // availability of every command.
  void LineHoldChanged() {
    if (DocumentListener* listener = listener_.get()) listener->OnUpdateAllViews();
  }

  // The connected model's settings: its rows, values, checks and writes.
  ModelSettings* currentSettings() const { return current_; }
  SettingsFile& settingsFile() { return settings_; }
  // The change history every write to the sensor goes to: the front end
  // names its program there (tests also the file).
  ChangeRecorder& changeHistory() { return history_; }

 private:
  friend struct DocInternals;  // tarkon/document/doc_internals.h: engine code only
  friend class DocOptions;
  friend class SensorFacts;
  friend class ConnectionFace;
  friend class PollingFace;
  friend class SensorOperations;

  // Behind the faces: each is documented where the face declares it.
  void SetManufacturingMode(bool on) { manufacturing_ = on; }
  void SetExchangeHost(ExchangeLoopHost* host) { session_.SetHost(host); }
  const ExchangeSession& session() const { return session_; }
  void SetSaveOnClose(bool on) { saveOnClose_ = on; }
  void SetChangeRecording(bool on) { history_.SetRecording(on); }
  void SetExplainLines(bool on) { explainLines_ = on; }
  void SetAutoReconnect(bool on) { autoReconnect_ = on; }
  bool autoReconnect() const { return autoReconnect_; }
  void SetTrace(ProtocolTrace* trace);

  const ConnectFailure& lastConnectFailure() const { return lastFailure_; }
  bool rs485() const { return rs485_; }
  uint64_t connectionNumber() const { return connectionNumber_; }
  const std::optional<RecentPort>& workingConnection() const { return working_; }
  int modelIndex() const { return modelIndex_; }
  int portNumber() const { return portNumber_; }
  const std::string& device() const { return link_.device(); }
  const std::string& modelText() const { return modelText_; }
  const std::string& firmwareText() const { return firmwareText_; }
  const std::string& fpgaText() const { return fpgaText_; }
  std::string modelString() const;
  std::string serialNumberText() const;
  std::string serialNumberReplyText() const;
  SensorIdentity identity() const;
  int32_t checkMode() const { return commands_.checkMode(); }
  int32_t address() const { return commands_.address(); }
  int32_t baudRate() const;
  int CurrentMode() const;
  const RangeModeRow& CurrentRow() const;
  std::string RangeText(int16_t raw) const;
  WriteTarget CurrentWriteTarget() const;
  const RangeModeTable& ranges() const { return ranges_; }
  int ScanRangesAvailable() const { return ScanRangesOffered(modelIndex_, commands_.krv02State); }

  LinkFacts linkFacts() const;
  std::string LinkStatus() const { return LinkStatusText(linkFacts()); }
  std::string WindowTitle() const { return LinkWindowTitle(linkFacts()); }
  const LinkNotice& linkNotice() const { return notice_; }
  void DismissLinkNotice();
  bool CanReconnect() const;
  ReconnectOutcome Reconnect();
  PortBackAction PortAppeared(const std::vector<std::string>& names, const std::string& usbSerial);
  bool PortDisappeared(const std::vector<std::string>& names);
  bool WatchIdleLine();

  bool TakePollTick() { return poll_.TakeTick(); }
  bool WaitPollTick(uint32_t ms) { return poll_.WaitAndTakeTick(ms); }
  void PollTickHandled() { poll_.TickHandled(); }
  bool PollAllowed() const { return connected_ && !LineBusy(); }
  void StopPolling() { poll_.Stop(); }
  bool RefreshPolledState();

  void SetAddress(const std::string& serialText, uint8_t newAddress);
  bool ChangeBaudRate(int choice, const AskYesNo& askYesNo);
  bool ChangeCheckMode(int mode, const AskYesNo& askYesNo);
  bool SetFactoryDefaults(const AskYesNo& askYesNo);
  bool ResetSensor();
  SerialAndModel SerialAndModelLogic();
  bool RereadSettings();
  bool RereadIdentity();
  bool StartScan();
  bool StopScan();
  bool SetLaser(bool on);
  std::unique_ptr<ScanBufferReader> NewScanBufferReader() {
    return std::make_unique<ScanBufferReader>(commands_, this);
  }
  std::unique_ptr<FirmwareUpload> NewFirmwareUpload();
  ScanReadOutcome ReadScanBuffer(ScanBufferReader& reader, int rangesToRead, int startIndex,
                                 const ScanReadCallbacks& callbacks);

  // LogSink: counts replies and notices a sensor that went silent.
  void CommandOutcome(bool ok) override;
  // LogSink: command lines and the document's own lines go to the listener.
  // A failed command on a port whose device has gone (adapter pulled, line
  // hung up) ends the connection: kDeviceGoneLine, then the Disconnect steps
  // (polling stops, the port closes, the front ends hear of it).
  void LogLine(int kind, const std::string& text) override;

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
