#include "tarkon/cli/cli_session.h"

#include <cstdio>

#include "files/console.h"
#include "tarkon/document/printable_text.h"

std::atomic<bool> g_interrupted{false};
std::atomic<int> g_interruptCount{0};

namespace {

void OnInterrupt(int) {
  g_interrupted = true;
  ++g_interruptCount;
}

}  // namespace

void InstallInterruptHandler() { files::InstallInterruptHandler(OnInterrupt); }

VirtualSensorRequest SimulatedSensor(const CliOptions& options) {
  VirtualSensorRequest request;
  request.model = options.simulate.value_or(std::string());
  request.checkMode = options.simulateCheckMode;
  if (options.address) request.address = *options.address;
  if (options.baud) request.baudRate = *options.baud;
  return request;
}

CliSession::CliSession(const CliOptions& options) : options_(options) {
  doc_ = std::make_unique<CKRV02Doc>(options_.settingsPath.value_or(std::string()));
  doc_->SetListener(this);
  doc_->options().SetManufacturingMode(options_.manufacturing);
  doc_->changeHistory().SetProgram("tarkon-cli");
}

CliSession::~CliSession() {
  Close();
  // The document writes the settings file back when it ends.
  doc_.reset();
  sensor_.Stop();
}

void CliSession::OnLogLine(int kind, const std::string& text) {
  const char* prefix = kind == kLogError ? "error: " : kind == kLogSuccess ? "ok: " : "note: ";
  if (kind == kLogError) {
    ++failures_;
    lastError_ = text;
  } else if (options_.quiet) {
    return;
  }
  // A line may carry the sensor's own text: shown, never obeyed.
  std::fprintf(stderr, "%s%s\n", prefix, PrintableText(text).c_str());
  std::fflush(stderr);
}

void CliSession::OnHistoryNotWritten(const std::string& warning) {
  std::fprintf(stderr, "warning: %s\n", PrintableText(warning).c_str());
  std::fflush(stderr);
}

std::string CliSession::portName() const {
  if (!doc_->sensor().device().empty() && doc_->sensor().portNumber() < 0) return doc_->sensor().device();
  if (options_.simulate) return doc_->sensor().device();
  return "COM" + std::to_string(doc_->sensor().portNumber());
}

std::string CliSession::deviceName() const { return doc_->sensor().device(); }

bool CliSession::Open(std::string& usageError) {
  ConnectValues values = doc_->BeginConnect();
  if (options_.baud && !IsSensorBaudRate(*options_.baud)) {
    usageError = "--baud takes " + BaudRatesPhrase();
    return false;
  }

  if (options_.simulate) {
    // The virtual sensor's own address and baud rate, not those stored for
    // an earlier real sensor.
    if (!sensor_.Start(SimulatedSensor(options_), values)) {
      std::fprintf(stderr, "error: %s\n", sensor_.failure().c_str());
      return false;
    }
  } else if (options_.port) {
    values.portText = *options_.port;
  }
  if (options_.baud) values.baudChoice = ConnectBaudChoice(*options_.baud);
  if (options_.address) {
    values.address = static_cast<uint8_t>(*options_.address);
    values.globalAddress = *options_.address == 0;
  }
  if (options_.readTimeoutMs) values.readTimeout = *options_.readTimeoutMs;
  if (options_.writeTimeoutMs) values.writeTimeout = *options_.writeTimeoutMs;
  if (options_.rs485) values.rs485 = true;

  open_ = options_.checkMode ? doc_->Connect(values, *options_.checkMode) : doc_->Connect(values);
  failuresAtConnect_ = failures_;
  return open_;
}

void CliSession::Close() {
  // A port whose device went away has been disconnected by the document.
  if (open_ && doc_->connected()) {
    doc_->Disconnect();
    open_ = false;
  }
  // The document's own last line, as the desktop program logs it when its
  // window closes.
  doc_->CloseDocument();
}
