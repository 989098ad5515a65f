#include "ostrel/link/gateway_socket.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include "serial/network_line.h"

namespace ostrel {
namespace {

// Over raw TCP nothing is negotiated; a gateway that turns a second client
// away says so and closes at once, which a short look catches.
constexpr int kRawSettleMs = 100;

}  // namespace

GatewaySocket::GatewaySocket(ReceiveRing& ring) : ring_(ring) {
  QObject::connect(&socket_, &QTcpSocket::readyRead, [this] { TakeReceived(); });
  QObject::connect(&socket_, &QTcpSocket::disconnected, [this] { Dropped(); });
  QObject::connect(&socket_, &QTcpSocket::errorOccurred, [this](QAbstractSocket::SocketError error) {
    if (error == QAbstractSocket::RemoteHostClosedError || error == QAbstractSocket::NetworkError) Dropped();
  });
}

GatewaySocket::~GatewaySocket() {
  onLost_ = nullptr;
  Close();
}

bool GatewaySocket::Open(const std::string& name, int32_t baudRate, std::string* reason) {
  Close();
  std::string why;
  if (!ParseNetworkPortName(name, &name_, &why)) {
    if (reason != nullptr) *reason = why;
    return false;
  }
  QElapsedTimer clock;
  clock.start();
  std::string first;  // the gateway's own words, kept through the retries
  for (;;) {
    bool gatewayClosed = false;
    if (OpenOnce(baudRate, &why, &gatewayClosed)) return true;
    if (first.empty()) first = why;
    if (!gatewayClosed || clock.elapsed() + kGatewayBusyRetryPauseMs >= kGatewayBusyRetryMs) break;
    WaitFor([] { return false; }, static_cast<int>(kGatewayBusyRetryPauseMs), false);
  }
  if (reason != nullptr) *reason = first;
  return false;
}

bool GatewaySocket::OpenOnce(int32_t baudRate, std::string* reason, bool* gatewayClosed) {
  socket_.abort();
  session_ = std::make_unique<Rfc2217Session>(name_.protocol);
  beforeOpen_.clear();
  lostTold_ = false;
  opening_ = true;
  closing_ = false;
  auto fail = [&](const std::string& why) {
    opening_ = false;
    socket_.abort();
    session_.reset();
    *reason = "the gateway " + name_.Gateway() + " " + why;
    return false;
  };
  auto dropped = [&] {
    *gatewayClosed = true;
    return fail("closed the connection" + GatewayWords(beforeOpen_));
  };
  socket_.connectToHost(QString::fromStdString(name_.host), name_.port);
  if (!WaitFor([this] { return socket_.state() == QAbstractSocket::ConnectedState; },
               static_cast<int>(kConnectTimeoutMs))) {
    if (socket_.error() == QAbstractSocket::HostNotFoundError)
      return fail("is not known: " + socket_.errorString().toStdString());
    if (socket_.state() == QAbstractSocket::UnconnectedState)
      return fail("refused the connection (" + socket_.errorString().toStdString() + ")");
    return fail("did not take the connection within " + std::to_string(kConnectTimeoutMs) + " ms");
  }
  socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
  socket_.setSocketOption(QAbstractSocket::KeepAliveOption, 1);

  if (!session_->telnet()) {
    WaitFor([] { return false; }, kRawSettleMs);
    if (socket_.state() != QAbstractSocket::ConnectedState) return dropped();
    opening_ = false;
    return true;
  }
  const int answerMs = static_cast<int>(kAnswerTimeoutMs);
  Send(session_->Opening());
  WaitFor([this] { return session_->comPortAccepted() || session_->comPortRefused(); }, answerMs);
  if (socket_.state() != QAbstractSocket::ConnectedState) return dropped();
  if (session_->comPortRefused()) return fail("does not offer RFC 2217 com port control (try tcp://)");
  if (!session_->comPortAccepted())
    return fail("did not answer the telnet negotiation within " + std::to_string(kAnswerTimeoutMs) + " ms");
  // 8 data bits, no parity, one stop bit; DTR on and RTS off, unacknowledged.
  std::vector<uint8_t> request = session_->RequestLineSettings(LineRequest{baudRate, 8, 0, 0});
  const std::vector<uint8_t> modem = session_->SetModemLines(true, false);
  request.insert(request.end(), modem.begin(), modem.end());
  Send(request);
  WaitFor([this] { return session_->settings() != Rfc2217Session::Answer::kWaiting; }, answerMs);
  if (socket_.state() != QAbstractSocket::ConnectedState) return dropped();
  if (session_->settings() == Rfc2217Session::Answer::kRefused) return fail("refused: " + session_->refusal());
  if (session_->settings() != Rfc2217Session::Answer::kAcknowledged)
    return fail("did not acknowledge " + session_->Unanswered() + " within " + std::to_string(kAnswerTimeoutMs) +
                " ms");
  opening_ = false;
  return true;
}

void GatewaySocket::Close() {
  closing_ = true;
  opening_ = false;
  if (session_ != nullptr && socket_.state() == QAbstractSocket::ConnectedState) {
    Send(session_->SetModemLines(false, false));
    socket_.flush();
    socket_.disconnectFromHost();
  }
  socket_.abort();
  session_.reset();
  closing_ = false;
}

bool GatewaySocket::Write(const uint8_t* bytes, size_t count) {
  if (!IsOpen()) return false;
  std::vector<uint8_t> wire;
  session_->Encode(bytes, count, wire);
  // One write, so the frame or block leaves in as few segments as it can.
  const qint64 n = socket_.write(reinterpret_cast<const char*>(wire.data()), static_cast<qint64>(wire.size()));
  return n == static_cast<qint64>(wire.size());
}

void GatewaySocket::Send(const std::vector<uint8_t>& bytes) {
  if (!bytes.empty()) socket_.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
}

void GatewaySocket::TakeReceived() {
  if (session_ == nullptr) return;
  std::vector<uint8_t> data;
  std::vector<uint8_t> reply;
  char chunk[4096];
  for (;;) {
    const qint64 n = socket_.read(chunk, sizeof chunk);
    if (n <= 0) break;
    session_->Receive(reinterpret_cast<const uint8_t*>(chunk), static_cast<size_t>(n), data, reply);
  }
  Send(reply);
  if (opening_) {
    // Nothing is asked yet: what comes is the gateway's own (a refusal).
    beforeOpen_.insert(beforeOpen_.end(), data.begin(), data.end());
    return;
  }
  for (uint8_t b : data) ring_.Push(b);
}

void GatewaySocket::Dropped() {
  // The open and the close look for themselves; the loss is told once.
  if (opening_ || closing_ || session_ == nullptr || lostTold_) return;
  lostTold_ = true;
  const std::string why = socket_.error() == QAbstractSocket::RemoteHostClosedError || socket_.error() ==
                                  QAbstractSocket::UnknownSocketError
                              ? "closed the connection"
                              : "reset the connection (" + socket_.errorString().toStdString() + ")";
  if (onLost_) onLost_("the gateway " + name_.Gateway() + " " + why);
}

bool GatewaySocket::WaitFor(const std::function<bool()>& done, int ms, bool whileConnected) {
  QElapsedTimer clock;
  clock.start();
  QTimer wake;
  wake.setSingleShot(true);
  while (!done()) {
    const qint64 left = ms - clock.elapsed();
    if (left <= 0 || (whileConnected && socket_.state() == QAbstractSocket::UnconnectedState)) return done();
    wake.start(static_cast<int>(left));
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  return true;
}

}  // namespace ostrel
