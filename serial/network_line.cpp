#include "serial/network_line.h"

// The sockets of both platforms, behind a few names; everything below the
// shim is the same code on POSIX and Winsock.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>

#include "serial/win32_comm_calls.h"
#else
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "serial/network_host.h"
#include "serial/rfc2217_session.h"

namespace {

// ---------------------------------------------------------------- platform shim

#ifdef _WIN32
using Socket = SOCKET;
constexpr Socket kNoSocket = INVALID_SOCKET;
constexpr int kSendFlags = 0;
int LastSocketError() { return WSAGetLastError(); }
bool WouldBlock(int error) { return error == WSAEWOULDBLOCK || error == WSAEINPROGRESS; }
bool Interrupted(int error) { return error == WSAEINTR; }
void CloseSocket(Socket s) { closesocket(s); }
int PollSockets(pollfd* fds, unsigned long count, int ms) { return WSAPoll(fds, count, ms); }
bool StartSockets() {
  static const bool started = [] {
    WSADATA data{};
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}
bool MakeNonBlocking(Socket s) {
  u_long on = 1;
  return ioctlsocket(s, FIONBIO, &on) == 0;
}
void KeepAlive(Socket s) {
  BOOL on = TRUE;
  setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&on), sizeof on);
}
void AppendSocketErrorText(SerialError* err, int error) { AppendWin32ErrorText(err, static_cast<DWORD>(error)); }
#else
using Socket = int;
constexpr Socket kNoSocket = -1;
constexpr int kSendFlags = MSG_NOSIGNAL;  // a closed connection is an error, not a signal
int LastSocketError() { return errno; }
bool WouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK || error == EINPROGRESS; }
bool Interrupted(int error) { return error == EINTR; }
void CloseSocket(Socket s) { ::close(s); }
int PollSockets(pollfd* fds, nfds_t count, int ms) { return ::poll(fds, count, ms); }
bool StartSockets() { return true; }
bool MakeNonBlocking(Socket s) {
  const int flags = fcntl(s, F_GETFL, 0);
  return flags >= 0 && fcntl(s, F_SETFL, flags | O_NONBLOCK) == 0 && fcntl(s, F_SETFD, FD_CLOEXEC) == 0;
}
void KeepAlive(Socket s) {
  int on = 1;
  setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  // A gateway that vanished without closing (power cut, cable pulled) is
  // noticed within half a minute instead of the system's two hours.
  int idle = 10;
  int interval = 5;
  int count = 3;
  setsockopt(s, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
  setsockopt(s, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
  setsockopt(s, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
}
void AppendSocketErrorText(SerialError* err, int error) { AppendSystemErrorText(err, error); }
#endif

void NoDelay(Socket s) {
  int on = 1;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
}

using Clock = std::chrono::steady_clock;

int MsUntil(Clock::time_point end) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, 1 << 30));
}

// ---------------------------------------------------------------- the line

struct Line {
  std::mutex mutex;  // one operation at a time; sc_LineGone does without
  Socket socket = kNoSocket;
  NetworkPortName name;
  Rfc2217Session session;
  std::deque<uint8_t> input;  // data received and not yet read
  uint32_t readTimeoutMs = 100;
  uint32_t writeTimeoutMs = 100;
  bool purgeUnanswered = false;  // the gateway did not acknowledge a purge
  std::atomic<bool> gone{false};
  std::string goneWhy;  // "closed the connection", "reset the connection"
  NetworkLineFacts facts;

  explicit Line(const NetworkPortName& n) : name(n), session(n.protocol) {}
};

struct Registry {
  std::mutex mutex;
  std::map<SerialHandle, std::shared_ptr<Line>> lines;
  SerialHandle next = kNetworkHandleFirst;
};

Registry& Reg() {
  static Registry registry;
  return registry;
}

std::shared_ptr<Line> Find(SerialHandle handle) {
  Registry& reg = Reg();
  const std::lock_guard<std::mutex> guard(reg.mutex);
  const auto it = reg.lines.find(handle);
  return it == reg.lines.end() ? nullptr : it->second;
}

void MarkGone(Line& line, const char* why) {
  if (!line.gone.exchange(true)) line.goneWhy = why;
}

// A gateway that refuses a client says why and closes; when our own send
// then meets the reset, what it said may still wait unread. Takes it (the
// socket does not block), so the refusal is shown in the gateway's words.
void TakeWhatIsLeft(Line& line) {
  uint8_t buffer[4096];
  for (int i = 0; i < 16; ++i) {
    const int n = static_cast<int>(::recv(line.socket, reinterpret_cast<char*>(buffer), sizeof buffer, 0));
    if (n <= 0) return;
    std::vector<uint8_t> data;
    std::vector<uint8_t> unsent;  // the connection is gone: no answer goes back
    line.session.Receive(buffer, static_cast<size_t>(n), data, unsent);
    line.input.insert(line.input.end(), data.begin(), data.end());
  }
}

// Sends all of `bytes` before `end`. False when the connection failed (the
// line is then gone) or the time ran out.
bool SendAll(Line& line, const std::vector<uint8_t>& bytes, Clock::time_point end) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    if (line.gone) return false;
    const int n = static_cast<int>(::send(line.socket, reinterpret_cast<const char*>(bytes.data() + sent),
                                          static_cast<int>(std::min<size_t>(bytes.size() - sent, 1 << 20)), kSendFlags));
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    const int error = LastSocketError();
    if (Interrupted(error)) continue;
    if (!WouldBlock(error)) {
      TakeWhatIsLeft(line);
      MarkGone(line, "reset the connection");
      return false;
    }
    pollfd p{};
    p.fd = line.socket;
    p.events = POLLOUT;
    const int wait = MsUntil(end);
    if (wait == 0 || PollSockets(&p, 1, wait) == 0) return false;
  }
  return true;
}

// Waits up to `ms` for bytes from the gateway and takes what has come:
// data into the line's input, the protocol's answers sent back at once.
// False when nothing came in time; a closed or reset connection marks the
// line gone.
bool Pump(Line& line, int ms) {
  if (line.gone) return false;
  pollfd p{};
  p.fd = line.socket;
  p.events = POLLIN;
  const int rc = PollSockets(&p, 1, ms);
  if (rc <= 0) return false;
  uint8_t buffer[4096];
  const int n = static_cast<int>(::recv(line.socket, reinterpret_cast<char*>(buffer), sizeof buffer, 0));
  if (n == 0) {
    MarkGone(line, "closed the connection");
    return false;
  }
  if (n < 0) {
    const int error = LastSocketError();
    if (WouldBlock(error) || Interrupted(error)) return true;
    MarkGone(line, "reset the connection");
    return false;
  }
  std::vector<uint8_t> data;
  std::vector<uint8_t> reply;
  line.session.Receive(buffer, static_cast<size_t>(n), data, reply);
  line.input.insert(line.input.end(), data.begin(), data.end());
  if (!reply.empty()) SendAll(line, reply, Clock::now() + std::chrono::milliseconds(kAnswerTimeoutMs));
  return true;
}

// Pumps until `done()` holds, the line is gone or `end` has passed.
template <typename Done>
bool PumpUntil(Line& line, Clock::time_point end, Done done) {
  while (!done()) {
    if (line.gone) return false;
    const int wait = MsUntil(end);
    if (wait == 0) return done();
    Pump(line, wait);
  }
  return true;
}

// What the gateway said before it closed.
std::string Quoted(const std::deque<uint8_t>& bytes) { return GatewayWords({bytes.begin(), bytes.end()}); }

void SetLineError(SerialError* err, int32_t code, const char* text, const std::string& detail) {
  SetSerialError(err, code, text);
  AppendSerialErrorDetail(err, detail.c_str());
}

std::string GatewaySays(const Line& line, const std::string& what) {
  return "the gateway " + line.name.Gateway() + " " + what;
}

// ---------------------------------------------------------------- open

bool FailOpen(const std::string& name, const std::string& detail, SerialError* err) {
  char text[sizeof(err->text)];
  std::snprintf(text, sizeof text, "sc_Open: could not open %s", name.c_str());
  SetLineError(err, kSerialCannotOpen, text, detail);
  return false;
}

// Connects to the first of the host's addresses that takes the connection
// within kConnectTimeoutMs, timing the handshake.
bool ConnectSocket(Line& line, const std::string& shown, SerialError* err) {
  if (!StartSockets()) return FailOpen(shown, "the system's sockets could not be started", err);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* found = nullptr;
  const std::string port = std::to_string(line.name.port);
  const int rc = getaddrinfo(line.name.host.c_str(), port.c_str(), &hints, &found);
  if (rc != 0 || found == nullptr) {
    return FailOpen(shown, "the host " + line.name.host + " is not known: " + gai_strerror(rc), err);
  }
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(kConnectTimeoutMs);
  int lastError = 0;
  bool timedOut = false;
  for (addrinfo* a = found; a != nullptr && line.socket == kNoSocket; a = a->ai_next) {
    Socket s = ::socket(a->ai_family, a->ai_socktype, a->ai_protocol);
    if (s == kNoSocket) {
      lastError = LastSocketError();
      continue;
    }
    const Clock::time_point started = Clock::now();
    bool connected = MakeNonBlocking(s);
    if (connected && ::connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) != 0) {
      const int error = LastSocketError();
      connected = false;
      if (WouldBlock(error)) {
        pollfd p{};
        p.fd = s;
        p.events = POLLOUT;
        if (PollSockets(&p, 1, MsUntil(end)) > 0) {
          int soError = 0;
          socklen_t size = sizeof soError;
          getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &size);
          connected = soError == 0;
          lastError = soError;
        } else {
          timedOut = true;
        }
      } else {
        lastError = error;
      }
    }
    if (!connected) {
      CloseSocket(s);
      continue;
    }
    line.socket = s;
    line.facts.roundTripUs = static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - started).count());
  }
  freeaddrinfo(found);
  if (line.socket != kNoSocket) return true;
  if (timedOut && lastError == 0) {
    return FailOpen(shown, GatewaySays(line, "did not take the connection within " +
                                                 std::to_string(kConnectTimeoutMs) + " ms"),
                    err);
  }
  FailOpen(shown, GatewaySays(line, "refused the connection"), err);
  err->osError = lastError;
  AppendSocketErrorText(err, lastError);
  return false;
}

// Over RFC 2217 the gateway must take com port control; a few baud-rate
// queries then time the round trip through it.
bool NegotiateComPort(Line& line, const std::string& shown, SerialError* err) {
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(kAnswerTimeoutMs);
  SendAll(line, line.session.Opening(), end);
  PumpUntil(line, end, [&] { return line.session.comPortAccepted() || line.session.comPortRefused(); });
  if (line.gone) return FailOpen(shown, GatewaySays(line, line.goneWhy + Quoted(line.input)), err);
  if (line.session.comPortRefused()) {
    return FailOpen(shown, GatewaySays(line, "does not offer RFC 2217 com port control (try tcp://)"), err);
  }
  if (!line.session.comPortAccepted()) {
    return FailOpen(shown, GatewaySays(line, "did not answer the telnet negotiation within " +
                                                 std::to_string(kAnswerTimeoutMs) + " ms"),
                    err);
  }
  for (int i = 0; i < 3; ++i) {
    const Clock::time_point started = Clock::now();
    SendAll(line, line.session.QueryBaudRate(), end);
    if (!PumpUntil(line, end, [&] { return line.session.baudAnswered(); })) break;
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - started).count();
    line.facts.roundTripUs = std::max(line.facts.roundTripUs, static_cast<uint32_t>(us));
  }
  if (line.gone) return FailOpen(shown, GatewaySays(line, line.goneWhy + Quoted(line.input)), err);
  return true;
}

// Over raw TCP nothing is negotiated; a gateway that refuses a second
// client says so and closes at once, which a short look catches.
bool SettleRaw(Line& line, const std::string& shown, SerialError* err) {
  const uint32_t settleMs = 50 + 4 * (line.facts.roundTripUs / 1000 + 1);
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(settleMs);
  PumpUntil(line, end, [] { return false; });
  if (line.gone) return FailOpen(shown, GatewaySays(line, line.goneWhy + Quoted(line.input)), err);
  return true;
}

}  // namespace

// ---------------------------------------------------------------- public

uint32_t NetworkAllowanceMs(uint32_t roundTripUs) {
  return kGatewayDelayMs + static_cast<uint32_t>((4 * uint64_t{roundTripUs} + 999) / 1000);
}

bool sc_NetworkFacts(SerialHandle handle, NetworkLineFacts* facts) {
  const std::shared_ptr<Line> line = Find(handle);
  if (line == nullptr) return false;
  if (facts != nullptr) *facts = line->facts;
  return true;
}

bool IsNetworkHandle(SerialHandle handle) {
  return handle <= kNetworkHandleFirst && handle > kNetworkHandleFirst - 0x3FFFFFFF;
}

SerialHandle NetworkOpen(const std::string& name, SerialError* err) {
  NetworkPortName parsed;
  std::string why;
  if (!ParseNetworkPortName(name, &parsed, &why)) {
    FailOpen(name, why, err);
    return kInvalidSerialHandle;
  }
  // A gateway still busy with the client before: tried again a little while.
  const Clock::time_point retryEnd = Clock::now() + std::chrono::milliseconds(kGatewayBusyRetryMs);
  SerialError first;  // the gateway's own words, kept through the retries
  for (int attempt = 0;; ++attempt) {
    auto line = std::make_shared<Line>(parsed);
    line->facts.protocol = parsed.protocol;
    line->facts.gateway = parsed.Gateway();
    const std::string shown = parsed.Canonical();
    bool ok = ConnectSocket(*line, shown, err);
    if (ok) {
      NoDelay(line->socket);
      KeepAlive(line->socket);
      ok = line->session.telnet() ? NegotiateComPort(*line, shown, err) : SettleRaw(*line, shown, err);
    }
    if (ok) {
      line->facts.allowanceMs = NetworkAllowanceMs(line->facts.roundTripUs);
      Registry& reg = Reg();
      const std::lock_guard<std::mutex> guard(reg.mutex);
      const SerialHandle handle = reg.next--;
      reg.lines[handle] = line;
      return handle;
    }
    if (line->socket != kNoSocket) CloseSocket(line->socket);
    if (attempt == 0) first = *err;
    if (!line->gone || Clock::now() + std::chrono::milliseconds(kGatewayBusyRetryPauseMs) >= retryEnd) {
      *err = first;
      return kInvalidSerialHandle;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kGatewayBusyRetryPauseMs));
  }
}

bool NetworkClose(SerialHandle handle) {
  std::shared_ptr<Line> line;
  {
    Registry& reg = Reg();
    const std::lock_guard<std::mutex> guard(reg.mutex);
    const auto it = reg.lines.find(handle);
    if (it == reg.lines.end()) return true;
    line = it->second;
    reg.lines.erase(it);
  }
  const std::lock_guard<std::mutex> guard(line->mutex);
  MarkGone(*line, "closed the connection");
  CloseSocket(line->socket);
  return true;
}

bool NetworkSetSettings(SerialHandle handle, const SerialSettings& settings, SerialError* err) {
  const std::shared_ptr<Line> line = Find(handle);
  if (line == nullptr) {
    SetSerialError(err, kSerialInvalidArgument, "sc_SetSettings: an invalid argument was passed.");
    return false;
  }
  if (settings.baudRate <= 0 || settings.dataBits < 5 || settings.dataBits > 8 || settings.parity < 0 ||
      settings.parity > 4 || settings.stopBits < 0 || settings.stopBits > 2) {
    SetSerialError(err, kSerialPlatformCall, "sc_SetSettings: SetCommState failed");
    AppendSystemErrorText(err, EINVAL);
    return false;
  }
  if (settings.readTimeoutMs < 0 || settings.writeTimeoutMs < 0) {
    SetSerialError(err, kSerialPlatformCall, "sc_SetSettings: SetCommTimeouts failed");
    AppendSystemErrorText(err, EINVAL);
    return false;
  }
  const std::lock_guard<std::mutex> guard(line->mutex);
  line->readTimeoutMs = static_cast<uint32_t>(settings.readTimeoutMs);
  line->writeTimeoutMs = static_cast<uint32_t>(settings.writeTimeoutMs);
  if (!line->session.telnet()) return true;  // the gateway's own configuration holds

  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(kAnswerTimeoutMs);
  std::vector<uint8_t> request = line->session.RequestLineSettings(
      LineRequest{settings.baudRate, settings.dataBits, settings.parity, settings.stopBits});
  // The modem lines go along, unacknowledged.
  const std::vector<uint8_t> modem = line->session.SetModemLines(settings.dtrControl != 0, settings.rtsControl != 0);
  request.insert(request.end(), modem.begin(), modem.end());
  SendAll(*line, request, end);
  PumpUntil(*line, end, [&] { return line->session.settings() != Rfc2217Session::Answer::kWaiting; });
  std::string detail;
  switch (line->session.settings()) {
    case Rfc2217Session::Answer::kAcknowledged: return true;
    case Rfc2217Session::Answer::kRefused: detail = GatewaySays(*line, "refused: " + line->session.refusal()); break;
    default:
      detail = line->gone ? GatewaySays(*line, line->goneWhy)
                          : GatewaySays(*line, "did not acknowledge " + line->session.Unanswered() + " within " +
                                                   std::to_string(kAnswerTimeoutMs) + " ms");
      break;
  }
  SetLineError(err, kSerialPlatformCall, "sc_SetSettings: SetCommState failed", detail);
  return false;
}

bool NetworkPurge(SerialHandle handle, bool both, SerialError* err) {
  const std::shared_ptr<Line> line = Find(handle);
  if (line == nullptr) {
    SetSerialError(err, kSerialInvalidArgument, "sc_PurgeBuffers: an invalid argument was passed.");
    return false;
  }
  const std::lock_guard<std::mutex> guard(line->mutex);
  line->input.clear();
  if (line->session.telnet()) {
    // The session drops what comes before the gateway's acknowledgement.
    // A gateway that left one purge unanswered is not waited for again:
    // each recovery would cost the whole wait.
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(kAnswerTimeoutMs);
    SendAll(*line, line->session.RequestPurge(both ? Rfc2217Session::kPurgeBoth : Rfc2217Session::kPurgeReceived),
            end);
    if (!line->purgeUnanswered && PumpUntil(*line, end, [&] { return line->session.purgeAnswered(); }))
      return true;
    line->purgeUnanswered = true;
    line->session.CancelPurge();
  }
  // What has come by now is dropped (a bounded look: a line that streams
  // without end must not hold the purge).
  for (int i = 0; i < 64 && Pump(*line, 0); ++i) {
  }
  line->input.clear();
  return true;
}

bool NetworkRead(SerialHandle handle, void* buffer, size_t count, size_t* done, uint32_t budgetMs,
                 SerialError* err) {
  const std::shared_ptr<Line> line = Find(handle);
  if (line == nullptr) {
    SetSerialError(err, kSerialInvalidArgument, "sc_Read: an invalid argument was passed.");
    return false;
  }
  auto* out = static_cast<uint8_t*>(buffer);
  const std::lock_guard<std::mutex> guard(line->mutex);
  // As on a port: a budget of 0 is one platform read (the read time-out),
  // any other budget is waited out in full when the bytes do not come.
  const uint32_t waitMs = budgetMs == 0 ? line->readTimeoutMs : budgetMs;
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(waitMs);
  for (;;) {
    while (*done < count && !line->input.empty()) {
      out[(*done)++] = line->input.front();
      line->input.pop_front();
    }
    if (*done == count) return true;
    if (line->gone) {
      SetLineError(err, kSerialIoError, "::sc_Read ReadFile failed", GatewaySays(*line, line->goneWhy));
      return false;
    }
    const int wait = MsUntil(end);
    if (!Pump(*line, wait) && wait == 0 && !line->gone) return true;
  }
}

bool NetworkWrite(SerialHandle handle, const void* buffer, size_t count, size_t* done, uint32_t budgetMs,
                  SerialError* err) {
  const std::shared_ptr<Line> line = Find(handle);
  if (line == nullptr) {
    SetSerialError(err, kSerialInvalidArgument, "sc_Write: an invalid argument was passed.");
    return false;
  }
  const std::lock_guard<std::mutex> guard(line->mutex);
  std::vector<uint8_t> wire;
  line->session.Encode(static_cast<const uint8_t*>(buffer), count, wire);
  const uint32_t limitMs = budgetMs == 0 ? line->writeTimeoutMs : budgetMs;
  if (!line->gone && SendAll(*line, wire, Clock::now() + std::chrono::milliseconds(std::max(limitMs, 1u)))) {
    *done = count;
    return true;
  }
  if (!line->gone) return true;  // the gateway took nothing within the time: a short count
  SetLineError(err, kSerialIoError, "::sc_Write WriteFile failed", GatewaySays(*line, line->goneWhy));
  return false;
}

bool NetworkClearError(SerialHandle handle, uint32_t* errors, LineStatus* status) {
  const std::shared_ptr<Line> line = Find(handle);
  if (line == nullptr) {
    errno = EBADF;
    return false;
  }
  const std::lock_guard<std::mutex> guard(line->mutex);
  for (int i = 0; i < 64 && Pump(*line, 0); ++i) {
  }
  uint32_t flags = 0;
  const uint8_t state = line->session.TakeLineErrors();
  if ((state & Rfc2217Session::kLineStateBreak) != 0) flags |= kLineBreak;
  if ((state & Rfc2217Session::kLineStateFraming) != 0) flags |= kLineFrame;
  if ((state & Rfc2217Session::kLineStateParity) != 0) flags |= kLineParity;
  if ((state & Rfc2217Session::kLineStateOverrun) != 0) flags |= kLineOverrun;
  if (line->gone) flags |= kLineIo;
  if (errors != nullptr) *errors = flags;
  if (status != nullptr) {
    status->inQueue = static_cast<uint32_t>(line->input.size());
    status->outQueue = 0;
  }
  return true;
}

InputWait NetworkWaitInput(SerialHandle handle, uint32_t ms) {
  const std::shared_ptr<Line> line = Find(handle);
  if (line == nullptr) return InputWait::kGone;
  const std::lock_guard<std::mutex> guard(line->mutex);
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(ms);
  PumpUntil(*line, end, [&] { return !line->input.empty(); });
  if (!line->input.empty()) return InputWait::kInput;
  return line->gone ? InputWait::kGone : InputWait::kTimeout;
}

bool NetworkLineGone(SerialHandle handle) {
  const std::shared_ptr<Line> line = Find(handle);
  if (line == nullptr || line->gone) return true;
  // Asked without the line's lock (a read may hold it): a look at the
  // socket that takes nothing from it.
  pollfd p{};
  p.fd = line->socket;
  p.events = POLLIN;
  if (PollSockets(&p, 1, 0) <= 0) return false;
  if ((p.revents & (POLLERR | POLLNVAL)) != 0) return true;
  char peeked = 0;
  const int n = static_cast<int>(::recv(line->socket, &peeked, 1, MSG_PEEK));
  if (n > 0) return false;
  return n == 0 || !WouldBlock(LastSocketError());
}

bool NetworkSetRs485(SerialHandle handle, bool on, SerialError* err) {
  if (Find(handle) == nullptr) {
    SetSerialError(err, kSerialInvalidArgument, "sc_SetRs485: an invalid argument was passed.");
    return false;
  }
  if (!on) return true;
  // The bus direction of a gateway's RS-485 port is the gateway's own
  // configuration; nothing here can switch it.
  SetSerialError(err, kSerialPlatformCall, "sc_SetRs485: the driver has no RS-485 mode");
  AppendSerialErrorDetail(err, "a network line's RS-485 mode is set at the gateway");
  return false;
}
