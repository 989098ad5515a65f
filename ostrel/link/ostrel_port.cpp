#include "ostrel/link/ostrel_port.h"

#include <cerrno>

#include "serial/line_hang_up.h"
#include "serial/network_port_name.h"
#include "serial/port_access.h"

namespace ostrel {

OstrelPort::OstrelPort(ReceiveRing& ring) : ring_(ring), gateway_(ring) {
  QObject::connect(&port_, &QSerialPort::readyRead, [this] { TakeReceivedBytes(); });
  QObject::connect(&port_, &QSerialPort::errorOccurred, [this](QSerialPort::SerialPortError e) { ReadFailed(e); });
  gateway_.SetLostHandler([this](const std::string& why) {
    if (closing_ || !network_) return;
    lostReason_ = why;
    CloseAfterHangUp();
  });
}

void OstrelPort::ReadFailed(QSerialPort::SerialPortError error) {
  if (closing_ || !port_.isOpen()) return;
  if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError) return;
  if (error == QSerialPort::ReadError) {
    // Only a line that has hung up counts; another read error passes.
    if (!LineHungUp(ToSerialHandle(port_.handle()))) return;
  }
  CloseAfterHangUp();
}

void OstrelPort::CloseAfterHangUp() {
  closing_ = true;
  QMetaObject::invokeMethod(
      &port_,
      [this, session = session_] {
        if (session != session_) return;
        closing_ = false;
        if (!port_.isOpen() && !network_) return;
        port_.close();  // the modem lines went with the device
        gateway_.Close();
        hungUp_ = true;
        if (onHangUp_) onHangUp_();
      },
      Qt::QueuedConnection);
}

OstrelPort::~OstrelPort() { Close(); }

bool OstrelPort::Open(const std::string& device, int32_t baudRate, std::string* reason) {
  Close();
  hungUp_ = false;
  closing_ = false;
  ++session_;
  device_ = device;
  baudRate_ = baudRate;
  lostReason_.clear();
  network_ = IsNetworkPortName(device);
  if (network_) return gateway_.Open(device, baudRate, reason);
  port_.setPortName(QString::fromStdString(device));
  port_.setBaudRate(baudRate);
  port_.setDataBits(QSerialPort::Data8);
  port_.setParity(QSerialPort::NoParity);
  port_.setStopBits(QSerialPort::OneStop);
  port_.setFlowControl(QSerialPort::NoFlowControl);
  port_.setReadBufferSize(kInputBufferSize);
  // The suite's lock first: a port held by Tarkon or tarkon-cli is refused
  // before the open could touch its line settings (TIOCEXCL and the lock
  // file of the serial library do not stop a privileged second opener).
  if (!device.empty()) {
    if (const int failure = lock_.Acquire(device); failure == EBUSY) {
      if (reason != nullptr) *reason = "in use by another program";
      return false;
    }
  }
  if (device.empty() || !port_.open(QIODevice::ReadWrite)) {
    lock_.Release();
    if (reason != nullptr) {
      *reason = device.empty() ? std::string("no port chosen")
                               : OpenFailureReason(device, port_.error(), port_.errorString().toStdString());
    }
    port_.clearError();
    return false;
  }
  port_.setRequestToSend(false);
  port_.setDataTerminalReady(true);
  resting_ = false;
  readNotifier_ = nullptr;
  for (QSocketNotifier* notifier : port_.findChildren<QSocketNotifier*>())
    if (notifier->type() == QSocketNotifier::Read) readNotifier_ = notifier;
  return true;
}

bool OstrelPort::RestReads() {
  if (readNotifier_.isNull() || !readNotifier_->isEnabled() || !port_.isOpen()) return false;
  readNotifier_->setEnabled(false);
  resting_ = true;
  return true;
}

void OstrelPort::ResumeReads() {
  if (resting_ && !readNotifier_.isNull() && port_.isOpen()) readNotifier_->setEnabled(true);
  resting_ = false;
}

void OstrelPort::Close() {
  ++session_;
  closing_ = false;
  gateway_.Close();
  resting_ = false;
  if (port_.isOpen()) {
    port_.setRequestToSend(false);
    port_.setDataTerminalReady(false);
    port_.close();
  }
  lock_.Release();
}

bool OstrelPort::Write(const uint8_t* bytes, size_t count) {
  if (network_) return gateway_.Write(bytes, count);
  if (!port_.isOpen()) return false;
  const qint64 n = port_.write(reinterpret_cast<const char*>(bytes), static_cast<qint64>(count));
  // Handed to the driver now, as far as it takes them, not on the event
  // loop's next passes (three wake-ups of the window for a request).
  port_.flush();
  return n == static_cast<qint64>(count);
}

bool OstrelPort::Broken() const {
  if (network_) return !gateway_.IsOpen();
  return !port_.isOpen() || port_.error() == QSerialPort::ResourceError ||
         port_.error() == QSerialPort::WriteError;
}

void OstrelPort::TakeReceivedBytes() {
  char chunk[512];
  for (;;) {
    const qint64 n = port_.read(chunk, sizeof chunk);
    if (n <= 0) return;
    for (qint64 i = 0; i < n; ++i) ring_.Push(static_cast<uint8_t>(chunk[i]));
  }
}

std::string OpenFailureReason(const std::string& device, QSerialPort::SerialPortError error,
                              const std::string& errorText) {
  switch (ExamineDeviceNode(device)) {
    case DeviceNode::kMissing: return "no such device";
    case DeviceNode::kNotPermitted:
      return "permission denied (add the user to the dialout group, then log in again)";
    case DeviceNode::kThere: break;
  }
  // The device is there and may be used: someone else holds it (QSerialPort
  // reports a busy or locked device as a permission error).
  if (error == QSerialPort::PermissionError || error == QSerialPort::OpenError) return "in use by another program";
  if (error == QSerialPort::DeviceNotFoundError) return "no such device";
  return errorText.empty() ? std::string("cannot be opened") : errorText;
}

}  // namespace ostrel
