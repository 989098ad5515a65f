// The faces of doc_faces.h: each hands its call to the document, which
// keeps the state; the faces only narrow what a front end sees.

#include "tarkon/document/krv02_doc.h"

void DocOptions::SetManufacturingMode(bool on) { doc_.SetManufacturingMode(on); }
void DocOptions::SetExchangeHost(ExchangeLoopHost* host) { doc_.SetExchangeHost(host); }
void DocOptions::SetSaveOnClose(bool on) { doc_.SetSaveOnClose(on); }
void DocOptions::SetChangeRecording(bool on) { doc_.SetChangeRecording(on); }
void DocOptions::SetExplainLines(bool on) { doc_.SetExplainLines(on); }
void DocOptions::SetAutoReconnect(bool on) { doc_.SetAutoReconnect(on); }
bool DocOptions::autoReconnect() const { return doc_.autoReconnect(); }
void DocOptions::SetTrace(ProtocolTrace* trace) { doc_.SetTrace(trace); }

uint64_t SensorFacts::connectionNumber() const { return doc_.connectionNumber(); }
const std::optional<RecentPort>& SensorFacts::workingConnection() const { return doc_.workingConnection(); }
int SensorFacts::modelIndex() const { return doc_.modelIndex(); }
int SensorFacts::portNumber() const { return doc_.portNumber(); }
const std::string& SensorFacts::device() const { return doc_.device(); }
const std::string& SensorFacts::modelText() const { return doc_.modelText(); }
const std::string& SensorFacts::firmwareText() const { return doc_.firmwareText(); }
const std::string& SensorFacts::fpgaText() const { return doc_.fpgaText(); }
std::string SensorFacts::modelString() const { return doc_.modelString(); }
std::string SensorFacts::serialNumberText() const { return doc_.serialNumberText(); }
std::string SensorFacts::serialNumberReplyText() const { return doc_.serialNumberReplyText(); }
SensorIdentity SensorFacts::identity() const { return doc_.identity(); }
int32_t SensorFacts::checkMode() const { return doc_.checkMode(); }
int32_t SensorFacts::address() const { return doc_.address(); }
int32_t SensorFacts::baudRate() const { return doc_.baudRate(); }
bool SensorFacts::rs485() const { return doc_.rs485(); }
const ConnectFailure& SensorFacts::lastConnectFailure() const { return doc_.lastConnectFailure(); }
WriteTarget SensorFacts::CurrentWriteTarget() const { return doc_.CurrentWriteTarget(); }
int SensorFacts::CurrentMode() const { return doc_.CurrentMode(); }
const RangeModeRow& SensorFacts::CurrentRow() const { return doc_.CurrentRow(); }
std::string SensorFacts::RangeText(int16_t raw) const { return doc_.RangeText(raw); }
const RangeModeTable& SensorFacts::ranges() const { return doc_.ranges(); }
int SensorFacts::ScanRangesAvailable() const { return doc_.ScanRangesAvailable(); }

LinkFacts ConnectionFace::linkFacts() const { return doc_.linkFacts(); }
std::string ConnectionFace::LinkStatus() const { return doc_.LinkStatus(); }
std::string ConnectionFace::WindowTitle() const { return doc_.WindowTitle(); }
const ExchangeSession& ConnectionFace::session() const { return doc_.session(); }
const LinkNotice& ConnectionFace::linkNotice() const { return doc_.linkNotice(); }
void ConnectionFace::DismissLinkNotice() { doc_.DismissLinkNotice(); }
bool ConnectionFace::CanReconnect() const { return doc_.CanReconnect(); }
ReconnectOutcome ConnectionFace::Reconnect() { return doc_.Reconnect(); }
PortBackAction ConnectionFace::PortAppeared(const std::vector<std::string>& names, const std::string& usbSerial) {
  return doc_.PortAppeared(names, usbSerial);
}
PortBackAction ConnectionFace::PortAppeared(const std::string& name, const std::string& usbSerial) {
  return doc_.PortAppeared(std::vector<std::string>{name}, usbSerial);
}
bool ConnectionFace::PortDisappeared(const std::vector<std::string>& names) { return doc_.PortDisappeared(names); }
bool ConnectionFace::WatchIdleLine() { return doc_.WatchIdleLine(); }

bool PollingFace::TakePollTick() { return doc_.TakePollTick(); }
bool PollingFace::WaitPollTick(uint32_t ms) { return doc_.WaitPollTick(ms); }
void PollingFace::PollTickHandled() { doc_.PollTickHandled(); }
bool PollingFace::PollAllowed() const { return doc_.PollAllowed(); }
void PollingFace::StopPolling() { doc_.StopPolling(); }
bool PollingFace::RefreshPolledState() { return doc_.RefreshPolledState(); }

void SensorOperations::SetAddress(const std::string& serialText, uint8_t newAddress) {
  doc_.SetAddress(serialText, newAddress);
}
bool SensorOperations::ChangeBaudRate(int choice, const AskYesNo& askYesNo) {
  return doc_.ChangeBaudRate(choice, askYesNo);
}
bool SensorOperations::ChangeCheckMode(int mode, const AskYesNo& askYesNo) {
  return doc_.ChangeCheckMode(mode, askYesNo);
}
bool SensorOperations::SetFactoryDefaults(const AskYesNo& askYesNo) { return doc_.SetFactoryDefaults(askYesNo); }
bool SensorOperations::ResetSensor() { return doc_.ResetSensor(); }
SerialAndModel SensorOperations::SerialAndModelLogic() { return doc_.SerialAndModelLogic(); }
void SensorOperations::SensorStateChanged() { doc_.PostStateChanged(); }
bool SensorOperations::RereadSettings() { return doc_.RereadSettings(); }
bool SensorOperations::RereadIdentity() { return doc_.RereadIdentity(); }
bool SensorOperations::StartScan() { return doc_.StartScan(); }
bool SensorOperations::StopScan() { return doc_.StopScan(); }
bool SensorOperations::SetLaser(bool on) { return doc_.SetLaser(on); }
std::unique_ptr<ScanBufferReader> SensorOperations::NewScanBufferReader() { return doc_.NewScanBufferReader(); }
std::unique_ptr<FirmwareUpload> SensorOperations::NewFirmwareUpload() { return doc_.NewFirmwareUpload(); }
ScanReadOutcome SensorOperations::ReadScanBuffer(ScanBufferReader& reader, int rangesToRead, int startIndex,
                                                 const ScanReadCallbacks& callbacks) {
  return doc_.ReadScanBuffer(reader, rangesToRead, startIndex, callbacks);
}
