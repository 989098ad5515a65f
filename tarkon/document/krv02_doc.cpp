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
    if (record == nullptr) {
      settingsRecords_.push_back(parts.newSettings(
          commands_, ranges_, [this] { return modelIndex_; }, [this] { PostStateChanged(); }));
      record = settingsRecords_.back().get();
    }
    settingsOfModel_[static_cast<size_t>(row.index)] = record;
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
  if (DocumentListener* listener = listener_.get()) listener->OnLogLine(kind, text);
  // Every failure that reaches the sensor's port is logged by its command;
  // that is the moment to see whether the port is still there.
  if (kind == kLogError && connected_ && link_.LineGone()) DeviceGone();
}

void CKRV02Doc::DeviceGone() {
  connected_ = false;  // before the line below, which would come back here
  char line[384];
  std::snprintf(line, sizeof line, kDeviceGoneLine, link_.device().c_str());
  LogLine(kLogError, line);
  Disconnect();
}

void CKRV02Doc::PostStateChanged() {
  if (DocumentListener* listener = listener_.get()) listener->OnSensorStateChanged();
}

ModelSettings* CKRV02Doc::SettingsOfModel(int model) {
  if (model < 0 || model >= kModelCount) return nullptr;
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
  const ConnectTarget target = ConnectTargetFromValues(values);
  lineEndsWithProgram_ = values.lineEndsWithProgram;
  const SettingsFile::SerialValues stored = settings_.ReadSerialSettings();
  lastFailure_ = ConnectFailure{};
  rs485_ = false;

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
    if (device.empty()) return Fail(kCannotConnectLine, NoPortFailure(values.portText));
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

  ReadVersions();
  if (current_) current_->Refresh();
  commands_.GetSerialNum();

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

void CKRV02Doc::ReadVersions() {
  const bool krv02Family = UsesKRV02VersionCommand(modelIndex_);
  const int ok = krv02Family ? commands_.GetVersion() : commands_.GetKRV04Version();
  if (!ok) return;  // the command logged its failure; the texts stay
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
}

void CKRV02Doc::Disconnect() {
  poll_.Stop();
  link_.Disconnect();
  connected_ = false;
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

std::string CKRV02Doc::AddressDialogSerialText() const { return AddressDialogSerial(commands_.serialNumber); }

void CKRV02Doc::StoreSerialSettingsOfPort() {
  SerialSettings port;
  link_.GetSettings(port);
  // The same rule as at connect: what the user connected by is stored, not
  // the device a port number resolved to, nor the clamped time-outs.
  connection_ = TargetAfterChange(connection_, port.baudRate, commands_.address());
  if (StoresConnection()) settings_.WriteSerialSettings(SerialValuesOfConnection(connection_, settings_.ReadSerialSettings()));
}

void CKRV02Doc::ChangeAddress(bool ok, const std::string& serialText, uint8_t newAddress) {
  if (ok) {
    uint8_t payload[9];
    BuildAddressPayload(serialText, newAddress, payload);
    // Sent to the global address: only the sensor with this serial number
    // takes the new address.
    commands_.SetSensorAddress(0, payload);
    commands_.UseAddress(newAddress);
    StoreSerialSettingsOfPort();
  }
  RereadSettings();
}

int CKRV02Doc::BaudDialogPreselection() const { return BaudDialogChoice(baudRate()); }

void CKRV02Doc::ChangeBaudRate(int choice) {
  const int32_t rate = BaudDialogRate(choice);
  commands_.SetBaudRate(rate);
  char line[64];
  std::snprintf(line, sizeof line, "Set boudrate to %d", rate);
  LogLine(kLogSuccess, line);
  link_.ApplyBaudRate(rate);
  RereadSettings();
  StoreSerialSettingsOfPort();
}

void CKRV02Doc::ChangeCheckMode(int mode) {
  commands_.SetSensorCheckMode(mode);
  commands_.UseCheckMode(mode);
  RereadSettings();
}

bool CKRV02Doc::SetFactoryDefaults(const std::function<bool(const std::string&)>& askYesNo) {
  if (!askYesNo || !askYesNo(kDefaultsQuestion)) return false;
  commands_.SetDefaults();
  RereadSettings();
  return true;
}

bool CKRV02Doc::ResetSensor() { return IsAvailable(DocCommand::kResetSensor) && commands_.ResetSensor() != 0; }

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
  ReadVersions();
  const bool versions = !firmwareText_.empty();
  if (!versions) firmwareText_ = firmware;
  const bool serial = commands_.GetSerialNum() != 0;
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
