#include "tarkon/document/krv02_doc.h"

#include <cstdio>

#include "serial/port_resolver.h"
#include "tarkon/models/krv02/krv02_replies.h"
#include "tarkon/models/krv04_family/krv04_replies.h"

CKRV02Doc::CKRV02Doc(const std::string& settingsPath)
    : xmodem_(&link_),
      settings_(settingsPath.empty() ? SettingsFile::DefaultPath() : settingsPath) {
  for (const ModelEntry& row : ModelTable()) {
    const ModelParts& parts = row.parts();
    ModelSettings* record = nullptr;
    for (int earlier = 0; earlier < row.index; ++earlier)
      if (&ModelTable()[static_cast<size_t>(earlier)].parts() == &parts)
        record = settingsOfModel_[static_cast<size_t>(earlier)];
    settingsOfModel_.resize(static_cast<size_t>(row.index) + 1, nullptr);
    if (record == nullptr) {
      settingsRecords_.push_back(parts.newSettings(
          commands_, ranges_, [this] { return modelIndex_; }, [this] { PostStateChanged(); }));
      record = settingsRecords_.back().get();
    }
    settingsOfModel_[static_cast<size_t>(row.index)] = record;
    record->SetWriteObserver([this](const ModelSettings::WriteRecord& write) {
      RecordWrite(write.name, write.before, write.after, write.outcome);
    });
  }
  commands_.SetLogSink(this);
  commands_.AttachLink(&link_);
  link_.SetRunner(&session_);
  for (const std::unique_ptr<ModelSettings>& record : settingsRecords_) record->SetLineBusy([this] { return LineBusy(); });
  settings_.Load();
  settingsNotice_ = settings_.lastError();  // told at the first connect, once
  poll_.SetTickListener([this] {
    listener_.CallFromWorker([](DocumentListener& listener) { listener.OnPollTickPending(); });
  });
}

CKRV02Doc::~CKRV02Doc() {
  poll_.Stop();
  link_.Disconnect();
  if (StoresConnection()) settings_.Save();
}

void CKRV02Doc::LogLine(int kind, const std::string& text) {
  if (DocumentListener* listener = listener_.get()) {
    listener->OnLogLine(kind, text);
    // The layer's own words stay as they are; what they mean follows.
    if (kind == kLogError && explainLines_) {
      if (const std::string plain = explainer_.ExplanationFor(text); !plain.empty())
        listener->OnLogLine(kLogNotice, plain);
    }
  }
  // Every failure that reaches the sensor's port is logged by its command;
  // that is the moment to see whether the port is still there.
  if (kind == kLogError && connected_ && link_.LineGone()) DeviceGone();
}

void CKRV02Doc::DeviceGone() {
  connected_ = false;  // before the line below, which would come back here
  char line[512];
  NetworkLineFacts network;
  const bool gateway = link_.networkFacts(&network);
  if (gateway) {
    std::snprintf(line, sizeof line, kGatewayGoneLine, link_.device().c_str(), network.gateway.c_str());
  } else {
    std::snprintf(line, sizeof line, kDeviceGoneLine, link_.device().c_str());
  }
  LogLine(kLogError, line);
  const LostLink lost = CurrentLink();
  Disconnect();
  // Kept for a reconnect when the port is back; the bar says why.
  lost_ = lost;
  SetNotice(gateway ? GatewayGoneNotice(lost.port.portName, network.gateway, lost.sensor)
                    : PortGoneNotice(lost.port.portName, lost.sensor, autoReconnect_));
}

void CKRV02Doc::PostStateChanged() {
  if (DocumentListener* listener = listener_.get()) listener->OnSensorStateChanged();
}

ModelSettings* CKRV02Doc::SettingsOfModel(int model) {
  if (model < 0 || static_cast<size_t>(model) >= settingsOfModel_.size()) return nullptr;
  return settingsOfModel_[static_cast<size_t>(model)];
}

ConnectValues CKRV02Doc::BeginConnect() {
  commands_.ClearReplyBuffers();
  for (const std::unique_ptr<ModelSettings>& record : settingsRecords_) record->Clear();
  TellSettingsNotice();
  const SettingsFile::SerialValues stored = settings_.ReadSerialSettings();
  ConnectValues values = ConnectValuesFromSettings(stored);
  std::string addressText;
  if (settings_.GetText(SettingsFile::kSerialSection, SettingsFile::kAddressKey, &addressText) &&
      !StoredAddressFits(addressText)) {
    LogLine(kLogNotice, StoredAddressRefusedLine(addressText, settings_.path()));
    values.address = 1;
    values.globalAddress = false;
  }
  return values;
}

void CKRV02Doc::TellSettingsNotice() {
  if (settingsNotice_.empty()) return;
  LogLine(kLogNotice, settingsNotice_);
  settingsNotice_.clear();
  settingsNoticeTold_ = true;
}

void CKRV02Doc::SaveChangedSettings() {
  if (!StoresConnection() || !settings_.changed()) return;
  if (settings_.Save() || settingsNoticeTold_) return;
  LogLine(kLogNotice, settings_.lastError());
  settingsNoticeTold_ = true;
}

bool CKRV02Doc::Fail(const char* line, ConnectFailure failure) {
  // Known before the first line goes out: a front end may ask for it as
  // soon as it hears of the failure.
  lastFailure_ = std::move(failure);
  LogLine(kLogError, line);
  Disconnect();
  if (!lastFailure_.text.empty() && lastFailure_.text != line) LogLine(kLogError, lastFailure_.text);
  return false;
}

bool CKRV02Doc::Connect(const ConnectValues& values, int32_t firstCheckMode) {
  lineEndsWithProgram_ = values.lineEndsWithProgram;
  return ConnectTo(ConnectTargetFromValues(values), values.portText, firstCheckMode);
}

// A reconnect comes here with the target it kept; the line is the same, so
// whether it ends with the program stays as the first connect set it.
bool CKRV02Doc::ConnectTo(const ConnectTarget& target, const std::string& portText, int32_t firstCheckMode) {
  const SettingsFile::SerialValues stored = settings_.ReadSerialSettings();
  lastFailure_ = ConnectFailure{};
  rs485_ = false;
  serialRead_ = versionsRead_ = false;

  // Open the port: by explicit device path, or by number through the port
  // map that the settings file keeps.
  bool opened = false;
  std::string device = target.device;
  if (!target.device.empty()) {
    // Opening waits for the port to settle: on the session, like any wait.
    session_.Run([&] {
      opened = link_.ConnectDevice(target.device, target.baudRate, target.parity, target.stopBits,
                                   target.dataBits, PortTimeoutMs(target.writeTimeout),
                                   PortTimeoutMs(target.readTimeout));
    });
  } else if (target.port >= 0) {
    PortResolver::SetPortMap(settings_.ReadPortMap());
    device = PortResolver::Resolve(static_cast<unsigned>(target.port));
    session_.Run([&] {
      opened = link_.Connect(static_cast<unsigned>(target.port), target.baudRate, target.parity,
                             target.stopBits, target.dataBits, PortTimeoutMs(target.writeTimeout),
                             PortTimeoutMs(target.readTimeout));
    });
  }
  if (!opened) {
    if (device.empty()) return Fail(kCannotConnectLine, NoPortFailure(portText));
    return Fail(kCannotConnectLine, OpenFailure(device, link_.error()));
  }
  if (target.rs485) {
    if (!link_.SetRs485(true)) return Fail(kCannotConnectLine, Rs485Failure(device, link_.error()));
    rs485_ = true;
  }

  portNumber_ = target.port;
  connection_ = target;
  commands_.UseAddress(target.address);
  const int32_t first = firstCheckMode == frame::kCrc ? frame::kCrc : frame::kChecksum;
  commands_.UseCheckMode(first);
  commands_.AttachLink(&link_);

  // Stored before the sensor has answered: a failed identification still
  // keeps the settings the user chose. Not so a virtual sensor's line,
  // which ends with the program (the stored real port stays), nor the
  // address put in place of a stored one that did not fit: the file keeps
  // the number its user wrote until another address is chosen.
  if (StoresConnection()) {
    std::string storedAddress;
    const bool keepAddress = target.address == 1 &&
                             settings_.GetText(SettingsFile::kSerialSection, SettingsFile::kAddressKey, &storedAddress) &&
                             !StoredAddressFits(storedAddress);
    settings_.WriteSerialSettings(SerialValuesOfConnection(target, stored));
    if (keepAddress) settings_.SetText(SettingsFile::kSerialSection, SettingsFile::kAddressKey, storedAddress);
  }

  session_.Run([this] { link_.Drain(); });
  if (!commands_.GetModelName(true)) {
    // A reply that came but did not fit is no missing answer: the wiring is
    // fine, and the reason is worth more than advice about cables.
    const bool firstMisfit = link_.lastReplyMisfit();
    const std::string firstWhy = link_.replyNote();
    commands_.UseCheckMode(first == frame::kCrc ? frame::kChecksum : frame::kCrc);
    if (!commands_.GetModelName(true)) {
      if (link_.lastReplyMisfit())
        return Fail(kCannotConnectLine,
                    MisfitReplyFailure(target.address, target.baudRate, commands_.checkMode(), link_.replyNote()));
      if (firstMisfit) return Fail(kCannotConnectLine, MisfitReplyFailure(target.address, target.baudRate, first, firstWhy));
      return Fail(kCannotConnectLine, NoAnswerFailure(target.address, target.baudRate));
    }
  }

  const ModelIdentification id = IdentifyModelReply(commands_.modelName, manufacturing_);
  if (!id.identified) {
    return Fail(kUnknownModelLine, ConnectFailure{ConnectFailureCause::kUnknownModel, kUnknownModelLine});
  }
  if (id.assumedKRV02) LogLine(kLogError, kUnknownModelManufacturingLine);
  modelIndex_ = id.model;
  modelText_ = id.modelText;
  current_ = SettingsOfModel(modelIndex_);
  if (DocumentListener* listener = listener_.get()) listener->OnShowPanel(modelIndex_);

  // What this connection reads is the identity: nothing of an earlier one.
  versionsRead_ = ReadVersions();
  if (current_) current_->Refresh();
  serialRead_ = commands_.GetSerialNum() != 0;

  // A new link: its counts start at zero, and a lost one is forgotten.
  identity_ = IdentifyPort(target.device.empty() ? "COM" + std::to_string(target.port) : target.device, device);
  replies_.Reset();
  exchangesAtWatch_ = 0;
  explainer_.Reset();
  pollSwitch_ = false;
  lost_ = LostLink{};
  notice_ = LinkNotice{};
  ++connectionNumber_;
  // The sensor answered here: a line that outlives the program is worth a
  // one-click connect.
  if (!lineEndsWithProgram_) working_ = RecentPort{portText, target.baudRate, target.address};
  connected_ = true;
  if (DocumentListener* listener = listener_.get()) listener->OnUpdateAllViews();
  poll_.StartThread();
  char line[128];
  std::snprintf(line, sizeof line, "Successfully connected to %s type sensor", modelText_.c_str());
  LogLine(kLogSuccess, line);
  // Kept at once, not only at exit: a crash or kill later in the run must
  // not lose the port, rate and address that work.
  SaveChangedSettings();
  return true;
}

bool CKRV02Doc::ReadVersions() {
  const bool krv02Family = UsesKRV02VersionCommand(modelIndex_);
  const int ok = krv02Family ? commands_.GetVersion() : commands_.GetKRV04Version();
  if (!ok) return false;  // the command logged its failure; the texts stay
  const uint8_t* reply = krv02Family ? commands_.version : commands_.krv04Version;
  const size_t firmwareAt = krv02Family ? krv02::kVersionFirmware : krv04::kVersionFirmware;
  const size_t letterAt = krv02Family ? krv02::kVersionLetter : krv04::kVersionLetter;
  const size_t fpgaAt = krv02Family ? krv02::kVersionFpga : krv04::kVersionFpga;
  const uint16_t firmware = SensorCommands::Word(reply, firmwareAt);
  char text[64];
  std::snprintf(text, sizeof text, "%4.2f%c", firmware * 0.01, reply[letterAt]);
  firmwareText_ = text;
  std::snprintf(text, sizeof text, "%4.1f", reply[fpgaAt] * 0.1);
  fpgaText_ = text;
  return true;
}

void CKRV02Doc::Disconnect() {
  poll_.Stop();
  link_.Disconnect();
  connected_ = false;
  // A disconnect of the user's own ends any offer to reconnect.
  lost_ = LostLink{};
  if (notice_.kind != LinkNoticeKind::kNone) SetNotice(LinkNotice{});
  PostStateChanged();
  LogLine(kLogNotice, kDisconnectedLine);
  if (DocumentListener* listener = listener_.get()) {
    listener->OnUpdateAllViews();
    listener->OnShowPanel(-1);
  }
}

void CKRV02Doc::CloseDocument() {
  poll_.Stop();
  if (closed_) return;
  closed_ = true;
  LogLine(kLogSuccess, kCloseLine);
}

void CKRV02Doc::StoreSerialSettingsOfPort() {
  SerialSettings port;
  link_.GetSettings(port);
  // The same rule as at connect: what the user connected by is stored, not
  // the device a port number resolved to, nor the clamped time-outs.
  connection_ = TargetAfterChange(connection_, port.baudRate, commands_.address());
  if (StoresConnection()) settings_.WriteSerialSettings(SerialValuesOfConnection(connection_, settings_.ReadSerialSettings()));
}

void CKRV02Doc::SetAddress(const std::string& serialText, uint8_t newAddress) {
  const int32_t oldAddress = commands_.address();
  uint8_t payload[9];
  BuildAddressPayload(serialText, newAddress, payload);
  // Sent to the global address: only the sensor with this serial number
  // takes the new address.
  const bool sent = commands_.SetSensorAddress(0, payload) != 0;
  commands_.UseAddress(newAddress);
  StoreSerialSettingsOfPort();
  // The re-read talks to the address the sensor reports.
  const bool reread = RereadSettings();
  RecordWrite("Address", std::to_string(oldAddress), std::to_string(newAddress),
              WriteOutcome(sent, reread, commands_.address() == newAddress));
}

bool CKRV02Doc::GatewayAllows(bool baud, int32_t rate, const std::function<bool(const std::string&)>& askYesNo) {
  NetworkLineFacts network;
  if (!link_.networkFacts(&network) || !network.settingsAtGateway()) return true;
  char text[768];
  if (baud) {
    std::snprintf(text, sizeof text, kGatewayBaudQuestion, network.gateway.c_str(), static_cast<int>(rate));
  } else {
    std::snprintf(text, sizeof text, kGatewayCheckModeQuestion, network.gateway.c_str());
  }
  if (askYesNo && askYesNo(text)) return true;
  std::snprintf(text, sizeof text, kGatewayChangeRefusedLine, network.gateway.c_str());
  LogLine(kLogNotice, text);
  return false;
}

bool CKRV02Doc::ChangeBaudRate(int choice, const std::function<bool(const std::string&)>& askYesNo) {
  const int32_t rate = BaudDialogRate(choice);
  if (!GatewayAllows(true, rate, askYesNo)) return false;
  const int32_t oldRate = baudRate();
  const bool sent = commands_.SetBaudRate(rate) != 0;
  char line[64];
  std::snprintf(line, sizeof line, "Set boudrate to %d", rate);
  LogLine(kLogSuccess, line);
  link_.ApplyBaudRate(rate);
  const bool reread = RereadSettings();
  StoreSerialSettingsOfPort();
  RecordWrite("Baud rate", std::to_string(oldRate), std::to_string(rate), WriteOutcome(sent, reread, true));
  return true;
}

bool CKRV02Doc::ChangeCheckMode(int mode, const std::function<bool(const std::string&)>& askYesNo) {
  if (!GatewayAllows(false, 0, askYesNo)) return false;
  const int32_t oldMode = commands_.checkMode();
  const bool sent = commands_.SetSensorCheckMode(mode) != 0;
  commands_.UseCheckMode(mode);
  // The sensor answers in the new mode only if it took it.
  const bool reread = RereadSettings();
  auto text = [](int32_t m) { return std::string(m == frame::kCrc ? "CRC" : "Checksum"); };
  RecordWrite("Check mode", text(oldMode), text(mode), WriteOutcome(sent, reread, true));
  return true;
}

bool CKRV02Doc::SetFactoryDefaults(const std::function<bool(const std::string&)>& askYesNo) {
  if (!askYesNo || !askYesNo(kDefaultsQuestion)) return false;
  const bool sent = commands_.SetDefaults() != 0;
  const bool reread = RereadSettings();
  RecordWrite("Factory defaults", "", "factory defaults", WriteOutcome(sent, reread, true));
  return true;
}

bool CKRV02Doc::ResetSensor() {
  if (!IsAvailable(DocCommand::kResetSensor)) return false;
  const bool sent = commands_.ResetSensor() != 0;
  // The sensor restarts without a reply: nothing to read back.
  RecordWrite("Reset", "", "reset", sent ? history::Outcome::kNotVerified : history::Outcome::kFailed);
  return sent;
}

WriteTarget CKRV02Doc::CurrentWriteTarget() const {
  // A serial number that was not read is left blank, never taken from an
  // earlier connection's reply.
  return WriteTarget{link_.device(), modelText_, identity().serialNumber};
}

history::Outcome CKRV02Doc::WriteOutcome(bool sent, bool reread, bool asSent) const {
  if (!sent || !link_.IsOpen()) return history::Outcome::kFailed;
  if (!reread) return history::Outcome::kNotVerified;
  return asSent ? history::Outcome::kVerified : history::Outcome::kFailed;
}

void CKRV02Doc::RecordWrite(const std::string& setting, const std::string& oldValue, const std::string& newValue,
                            history::Outcome outcome) {
  if (history_.Record(CurrentWriteTarget(), setting, oldValue, newValue, outcome)) return;
  const std::string notice = history_.TakeFailureNotice();
  if (notice.empty()) return;
  if (DocumentListener* listener = listener_.get()) listener->OnHistoryNotWritten(notice);
}

std::unique_ptr<FirmwareUpload> CKRV02Doc::NewFirmwareUpload() {
  auto upload = std::make_unique<FirmwareUpload>(commands_, xmodem_, transfer_);
  upload->SetFinishedHook([this](int kind, size_t bytes, UploadOutcome outcome) {
    const UploadKindInfo* info = UploadKindOf(kind);
    const std::string name = std::string("Firmware upload (") + (info != nullptr ? info->choiceText : "?") + ")";
    const std::string before = kind == kUploadFPGA ? fpgaText_ : kind == kUploadDSP ? firmwareText_ : std::string();
    history::Outcome result = history::Outcome::kFailed;
    if (outcome == UploadOutcome::kCompleted) result = history::Outcome::kVerified;
    if (outcome == UploadOutcome::kNotRelocked) result = history::Outcome::kNotVerified;
    RecordWrite(name, before, std::to_string(bytes) + " bytes", result);
  });
  return upload;
}

SerialAndModel CKRV02Doc::SerialAndModelLogic() {
  return SerialAndModel(
      commands_, [this] { return IsAvailable(DocCommand::kSerialAndModel); },
      [this](const std::string& setting, const std::string& before, const std::string& after, bool sent,
             bool asSent) { RecordWrite(setting, before, after, WriteOutcome(sent, true, asSent)); });
}

bool CKRV02Doc::StartScan() { return LineFree() && commands_.StartScan() != 0; }

bool CKRV02Doc::StopScan() { return LineFree() && commands_.StopScan() != 0; }

bool CKRV02Doc::SetLaser(bool on) { return LineFree() && (on ? commands_.SetLaserOn() : commands_.SetLaserOff()) != 0; }

bool CKRV02Doc::RefreshPolledState() {
  if (!LineFree()) return false;
  return !IsKRV02Family(modelIndex_) || commands_.GetKRV02State() != 0;
}

bool CKRV02Doc::RereadIdentity() {
  if (!connected_) return false;
  const bool model = commands_.GetModelName(true) != 0;
  const std::string firmware = firmwareText_;
  firmwareText_.clear();
  const bool versions = ReadVersions();
  if (!versions) firmwareText_ = firmware;
  const bool serial = commands_.GetSerialNum() != 0;
  // A reply that did not come leaves the text as it was: what was read
  // before still stands.
  versionsRead_ = versionsRead_ || versions;
  serialRead_ = serialRead_ || serial;
  PostStateChanged();
  return model && versions && serial;
}

bool CKRV02Doc::RereadSettings() { return current_ ? current_->Refresh() : false; }

bool CKRV02Doc::IsAvailable(DocCommand command) const {
  if (LineBusy()) return false;
  switch (command) {
    case DocCommand::kConnect: return !connected_;
    case DocCommand::kSerialAndModel:
    case DocCommand::kUpload:
    case DocCommand::kResetSensor: return connected_ && manufacturing_;
    default: return connected_;
  }
}

bool CKRV02Doc::IsChecked(DocCommand command) const {
  if (command == DocCommand::kChecksum) return commands_.checkMode() == frame::kChecksum;
  if (command == DocCommand::kCrc) return commands_.checkMode() == frame::kCrc;
  return false;
}

std::string CKRV02Doc::modelString() const { return ReplyText(commands_.modelName, sizeof commands_.modelName); }

std::string CKRV02Doc::serialNumberText() const { return AddressDialogSerial(commands_.serialNumber); }

SensorIdentity CKRV02Doc::identity() const {
  IdentityReads reads;
  reads.model = modelText_;
  reads.modelString = modelString();
  reads.serialRead = serialRead_;
  reads.serialNumber = serialNumberText();
  reads.versionsRead = versionsRead_;
  reads.versionCommand = UsesKRV02VersionCommand(modelIndex_) ? "GetVersion" : "GetKRV04Version";
  reads.firmware = firmwareText_;
  reads.fpga = fpgaText_;
  return MakeSensorIdentity(reads);
}

std::string CKRV02Doc::serialNumberReplyText() const {
  return ReplyText(commands_.serialNumber, sizeof commands_.serialNumber);
}

int32_t CKRV02Doc::baudRate() const {
  SerialSettings port;
  link_.GetSettings(port);
  return port.baudRate;
}

int CKRV02Doc::CurrentMode() const { return ModeByteOfModel(modelIndex_, commands_); }

const RangeModeRow& CKRV02Doc::CurrentRow() const { return ranges_.Lookup(modelIndex_, CurrentMode()); }

std::string CKRV02Doc::RangeText(int16_t raw) const { return RangeModeTable::RangeText(CurrentRow(), raw); }

ScanReadOutcome CKRV02Doc::ReadScanBuffer(ScanBufferReader& reader, int rangesToRead, int startIndex,
                                          const ScanReadCallbacks& callbacks) {
  ScanReadOutcome outcome = ScanReadOutcome::kRefused;
  if (session_.Pending()) return outcome;  // a press while another exchange waits
  {
    TransferFlag::Scope hold(transfer_);
    if (!hold.held()) return outcome;
    LineHoldChanged();
    outcome = reader.Read(rangesToRead, startIndex, [this](int16_t raw) { return RangeText(raw); }, callbacks);
  }
  LineHoldChanged();
  return outcome;
}
