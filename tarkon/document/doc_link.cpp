// The document's link operations: status facts, the notice of a lost or
// silent link, reconnect and the port-back policy.

#include "serial/port_access.h"
#include "serial/port_resolver.h"
#include "tarkon/document/krv02_doc.h"

LinkFacts CKRV02Doc::linkFacts() const {
  LinkFacts f;
  f.connected = connected_;
  if (!connected_) return f;
  f.portName = identity_.portName;
  f.device = link_.device();
  f.byId = identity_.byId;
  NetworkLineFacts network;
  if (link_.networkFacts(&network)) {
    f.gateway = network.gateway;
    f.rawTcp = network.settingsAtGateway();
    f.roundTripUs = network.roundTripUs;
    f.allowanceMs = network.allowanceMs;
  }
  f.baudRate = baudRate();
  f.address = address();
  f.checkMode = checkMode();
  f.model = modelText_;
  const SensorIdentity id = identity();
  f.serial = id.serialNumber;
  f.serialNote = id.SerialNote();
  f.polling = transfer_.InProgress() ? PollingState::kPaused : pollSwitch_ ? PollingState::kOn : PollingState::kOff;
  f.good = replies_.good();
  f.failed = replies_.failed();
  f.failedLastMinute = replies_.FailedWithinLastMinute();
  return f;
}

std::string CKRV02Doc::LinkPortName() const {
  return identity_.portName.empty() ? link_.device() : identity_.portName;
}

CKRV02Doc::LostLink CKRV02Doc::CurrentLink() const {
  LostLink link;
  link.valid = true;
  link.port = identity_;
  link.target = connection_;
  link.checkMode = commands_.checkMode();
  link.serial = serialNumberReplyText();
  link.model = modelString();
  link.sensor = identity().Name();
  return link;
}

void CKRV02Doc::SetNotice(LinkNotice notice) {
  notice_ = std::move(notice);
  if (DocumentListener* listener = listener_.get()) listener->OnLinkChanged();
}

void CKRV02Doc::SetTrace(ProtocolTrace* trace) {
  link_.SetTrace(trace);
  xmodem_.SetTrace(trace);
}

void CKRV02Doc::DismissLinkNotice() {
  if (notice_.kind != LinkNoticeKind::kNone) SetNotice(LinkNotice{});
}

bool CKRV02Doc::CanReconnect() const {
  if (transfer_.InProgress()) return false;
  return lost_.valid || (connected_ && notice_.kind == LinkNoticeKind::kSilent);
}

void CKRV02Doc::CommandOutcome(bool ok) {
  if (!connected_) return;
  replies_.Count(ok);
  if (ok) {
    // Answered at the rate and address in force now (after an address or
    // baud-rate change, the new ones).
    if (working_ && !lineEndsWithProgram_) {
      working_->baudRate = baudRate();
      working_->address = static_cast<uint8_t>(commands_.address());
    }
    if (notice_.kind == LinkNoticeKind::kSilent) {
      SetNotice(LinkNotice{});
      LogLine(kLogNotice, SensorAnswersAgainLine(LinkPortName()));
    }
    return;
  }
  if (replies_.failedInARow() == kSilentAfterFailures && notice_.kind == LinkNoticeKind::kNone)
    SetNotice(SilentNotice(LinkPortName(), kSilentAfterFailures));
}

ReconnectOutcome CKRV02Doc::Reconnect() {
  if (!CanReconnect()) return ReconnectOutcome::kRefused;
  const LostLink link = connected_ ? CurrentLink() : lost_;
  const std::string port = link.port.portName;
  if (!connected_) {
    std::string device = link.target.device;
    if (device.empty() && link.target.port >= 0) {
      PortResolver::SetPortMap(settings_.ReadPortMap());
      device = PortResolver::Resolve(static_cast<unsigned>(link.target.port));
    }
    if (!DevicePresent(device)) {
      SetNotice(PortAbsentNotice(port));
      return ReconnectOutcome::kPortAbsent;
    }
  }
  if (connected_) Disconnect();
  if (!ConnectTo(link.target, port, link.checkMode)) {
    lost_ = link;  // still there to reconnect when the port is back
    SetNotice(ReconnectFailedNotice(port, lastFailure_.text));
    return ReconnectOutcome::kFailed;
  }
  const SensorIdentity id = identity();
  const std::string now = id.Name();
  // A serial number that did not come this time cannot say it is the same
  // sensor (what the reply held before is the lost one's): it may be
  // another, and is said to be.
  if (!id.serialKnown()) {
    LogLine(kLogNotice, UnconfirmedSensorLine(port, link.sensor, now));
    SetNotice(LinkNotice{LinkNoticeKind::kOtherSensor, UnconfirmedSensorLine(port, link.sensor, now), false});
    return ReconnectOutcome::kOtherSensor;
  }
  // A serial number is unique only within a model: another model with the
  // same number on the port is another sensor.
  if (serialNumberReplyText() != link.serial || modelString() != link.model) {
    LogLine(kLogNotice, OtherSensorLine(port, link.sensor, now));
    SetNotice(OtherSensorNotice(port, link.sensor, now));
    return ReconnectOutcome::kOtherSensor;
  }
  LogLine(kLogSuccess, ReconnectedLine(port, now));
  if (DocumentListener* listener = listener_.get()) listener->OnLinkChanged();
  return ReconnectOutcome::kReconnected;
}

PortBackAction CKRV02Doc::PortAppeared(const std::vector<std::string>& names, const std::string& usbSerial) {
  if (connected_ || !lost_.valid) return PortBackAction::kNotOurs;
  std::string reopen;
  if (!PortIsBack(lost_.port, names, usbSerial, &reopen)) return PortBackAction::kNotOurs;
  // Back under another name (a new node, or its by-id link): that is what
  // opens now. A port number stays a port number.
  if (!lost_.target.device.empty() && reopen != lost_.target.device) lost_.target.device = reopen;
  if (!autoReconnect_) {
    SetNotice(PortBackNotice(lost_.port.portName, lost_.sensor));
    return PortBackAction::kOffered;
  }
  switch (Reconnect()) {
    case ReconnectOutcome::kReconnected:
    case ReconnectOutcome::kOtherSensor: return PortBackAction::kReconnected;
    case ReconnectOutcome::kFailed: return PortBackAction::kReconnectFailed;
    case ReconnectOutcome::kPortAbsent:
    case ReconnectOutcome::kRefused: break;
  }
  SetNotice(PortBackNotice(lost_.port.portName, lost_.sensor));
  return PortBackAction::kOffered;
}

bool CKRV02Doc::PortDisappeared(const std::vector<std::string>& names) {
  if (!connected_ || transfer_.InProgress()) return false;
  if (!PortIsBack(identity_, names, std::string(), nullptr)) return false;
  if (!link_.LineGone() && DevicePresent(link_.device())) return false;
  DeviceGone();
  return true;
}

bool CKRV02Doc::WatchIdleLine() {
  if (!connected_ || LineBusy()) return false;
  const uint64_t exchanges = replies_.good() + replies_.failed();
  const bool idle = exchanges == exchangesAtWatch_;
  exchangesAtWatch_ = exchanges;
  // A command since the last look has seen the line itself (and a failed
  // one has ended the link by now if the device was gone).
  if (!idle || !link_.LineGone()) return false;
  DeviceGone();
  return true;
}
