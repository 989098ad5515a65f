#include "serial/serial_comm.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <map>
#include <mutex>
#include <thread>

#include "serial/counter.h"
#include "serial/deadline_timer.h"
#include "serial/in_process_host.h"
#include "serial/network_host.h"
#include "serial/network_port_name.h"
#include "serial/device_lock.h"
#include "serial/port_resolver.h"

// What the port's driver would keep per open handle on other systems and a
// tty does not: the read/write time-outs, the line-error counts seen last,
// and errors raised by failed reads and writes that the next clear-error
// call reports.
namespace {

// A read that has part of what it waits for sleeps through the line time
// of the rest when that is at least this long (shorter waits are not worth
// a sleep's own lateness).
constexpr uint64_t kLineWaitFloorUs = 1500;
constexpr uint64_t kLineWaitEarlyUs = 700;

struct HandleState {
  uint32_t readTimeoutMs = 100;
  uint32_t writeTimeoutMs = 100;
  uint32_t bitsPerSecond = 57600;
  uint32_t bitsPerChar = 10;
  bool haveCounts = false;
  serial_icounter_struct counts{};
  uint32_t pendingErrors = 0;
};

std::mutex& StatesMutex() {
  static std::mutex mutex;
  return mutex;
}

std::map<int, HandleState>& States() {
  static std::map<int, HandleState> states;
  return states;
}

HandleState Snapshot(int fd) {
  const std::lock_guard<std::mutex> guard(StatesMutex());
  const auto it = States().find(fd);
  return it == States().end() ? HandleState{} : it->second;
}

template <typename Change>
void UpdateState(int fd, Change change) {
  const std::lock_guard<std::mutex> guard(StatesMutex());
  change(States()[fd]);
}

void ForgetState(int fd) {
  const std::lock_guard<std::mutex> guard(StatesMutex());
  States().erase(fd);
}

// errno values that mean the device is gone or the line hung up.
bool IsLineGone(int errnum) { return errnum == EIO || errnum == ENXIO || errnum == ENODEV; }

void Fail(SerialError* err, int32_t code, const char* text, int errnum) {
  SetSerialError(err, code, text);
  AppendSystemErrorText(err, errnum);
}

// ---------------------------------------------------------------- open

SerialHandle FailOpen(const std::string& device, int errnum, SerialError* err) {
  char text[sizeof(err->text)];
  std::snprintf(text, sizeof(text), "sc_Open: could not open %s", device.c_str());
  Fail(err, kSerialCannotOpen, text, errnum);
  return kInvalidSerialHandle;
}

SerialHandle OpenPath(const std::string& device, const std::string& shownName, SerialError* err) {
  if (err == nullptr) return kInvalidSerialHandle;
  uint64_t frequency = 0;
  if (!MonotonicCounter().Frequency(frequency) || frequency == 0) {
    SetSerialError(err, kSerialNoCounter, "sc_Open: no high-performance counter available.");
    return kInvalidSerialHandle;
  }
  if (IsInProcessLineName(device)) return InProcessOpen(device, err);
  if (IsNetworkPortName(device)) return NetworkOpen(device, err);
  if (device.empty()) return FailOpen(shownName, ENODEV, err);

  // No O_CREAT: only an existing device opens. Non-blocking because every
  // wait is done by poll() against the port's time-outs.
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return FailOpen(device, errno, err);

  int failure = 0;
  if (!isatty(fd)) {
    failure = errno != 0 ? errno : ENOTTY;
  } else if ((failure = LockSerialDevice(fd)) != 0) {
    // Another program holds the line. The lock is what refuses a second
    // opener that TIOCEXCL lets through (a privileged one).
  } else if (ioctl(fd, TIOCEXCL) != 0) {
    failure = errno;
  }
  if (failure != 0) {
    ::close(fd);
    return FailOpen(device, failure, err);
  }

  HandleState state;
  if (ioctl(fd, TIOCGICOUNT, &state.counts) == 0) state.haveCounts = true;  // errors before the open are not ours
  {
    const std::lock_guard<std::mutex> guard(StatesMutex());
    States()[fd] = state;
  }
  return fd;
}

// ---------------------------------------------------------------- settings

bool SpeedFor(int32_t baudRate, speed_t& speed) {
  struct Rate {
    int32_t bitsPerSecond;
    speed_t constant;
  };
  static constexpr Rate kRates[] = {
      {50, B50},           {75, B75},           {110, B110},         {134, B134},
      {150, B150},         {200, B200},         {300, B300},         {600, B600},
      {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
      {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
      {115200, B115200},   {230400, B230400},
#ifdef B460800
      {460800, B460800},
#endif
#ifdef B500000
      {500000, B500000},   {576000, B576000},   {921600, B921600},   {1000000, B1000000},
      {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000},
      {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
#endif
  };
  for (const Rate& rate : kRates) {
    if (rate.bitsPerSecond == baudRate) {
      speed = rate.constant;
      return true;
    }
  }
  return false;
}

// Fills `tio` from the record, keeping every bit the record does not
// govern. Returns 0 or the errno value that explains why the record cannot
// be applied on this platform.
int BuildTermios(const SerialSettings& s, termios& tio) {
  speed_t speed = B0;
  if (!SpeedFor(s.baudRate, speed)) return EINVAL;

  tcflag_t size = 0;
  switch (s.dataBits) {
    case 5: size = CS5; break;
    case 6: size = CS6; break;
    case 7: size = CS7; break;
    case 8: size = CS8; break;
    default: return EINVAL;
  }
  tcflag_t parity = 0;
  switch (s.parity) {
    case kParityNone: parity = 0; break;
    case kParityOdd: parity = PARENB | PARODD; break;
    case kParityEven: parity = PARENB; break;
    case kParityMark: parity = PARENB | CMSPAR | PARODD; break;
    case kParitySpace: parity = PARENB | CMSPAR; break;
    default: return EINVAL;
  }
  tcflag_t stop = 0;
  switch (s.stopBits) {
    case kStopOne: stop = 0; break;
    case kStopTwo: stop = CSTOPB; break;
    default: return EINVAL;  // one and a half stop bits: no tty offers them
  }
  // A tty has no DSR output flow, no DTR handshake and no RTS toggling; a
  // record asking for them cannot be honoured and must not seem to be.
  if (s.dsrOutputFlow != 0 || s.dtrControl < 0 || s.dtrControl > 1 || s.rtsControl < 0 ||
      s.rtsControl > 2) {
    return EOPNOTSUPP;
  }

  // Raw binary transfer: no translation, no echo, no signals, no line
  // editing. Parity errors are checked when parity is on.
  tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                        IXON | IXOFF | IXANY | IGNPAR | IUCLC | IMAXBEL);
  tio.c_iflag |= INPCK;
  if (s.xonXoffOutput != 0) tio.c_iflag |= IXON;
  if (s.xonXoffInput != 0) tio.c_iflag |= IXOFF;
  tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  tio.c_cflag |= size | parity | stop | CREAD | CLOCAL;
  if (s.ctsOutputFlow != 0 || s.rtsControl == 2) tio.c_cflag |= CRTSCTS;
  // A read returns as soon as one byte is there; with O_NONBLOCK an empty
  // line gives EAGAIN and a hung-up line gives end of file.
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  tio.c_cc[VSTART] = static_cast<cc_t>(s.xonChar);
  tio.c_cc[VSTOP] = static_cast<cc_t>(s.xoffChar);
  if (cfsetispeed(&tio, speed) != 0 || cfsetospeed(&tio, speed) != 0) return EINVAL;
  return 0;
}

// A pseudo-terminal (the virtual sensor's line) has no wire: the kernel
// always reports it as 8 data bits without parity, whatever was asked.
bool IsPseudoTerminal(int fd) {
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode)) return false;
  const unsigned int group = major(info.st_rdev);
  return (group >= 136 && group <= 143) || group == 3;  // Unix 98 and legacy slaves
}

// tcsetattr succeeds when any part of the request was taken; a driver may
// silently drop what it cannot do (mark/space parity, 5 or 6 data bits on
// some adapters), and the line would then garble every byte.
bool DriverTookSettings(int fd, const termios& wanted, const termios& got) {
  tcflag_t mask = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
  if (IsPseudoTerminal(fd)) mask &= ~static_cast<tcflag_t>(CSIZE | PARENB);
  return (wanted.c_cflag & mask) == (got.c_cflag & mask) &&
         cfgetospeed(&wanted) == cfgetospeed(&got) && cfgetispeed(&wanted) == cfgetispeed(&got);
}

// Sets the RTS and DTR lines. Returns 0 or errno. A device without modem
// lines (a pseudo-terminal) is not an error: there is nothing to set.
int ApplyModemLines(int fd, const SerialSettings& s) {
  int raise = 0;
  int lower = 0;
  if (s.rtsControl == 1) raise |= TIOCM_RTS;
  if (s.rtsControl == 0) lower |= TIOCM_RTS;  // 2: the driver drives RTS for CTS/RTS handshake
  if (s.dtrControl == 1) raise |= TIOCM_DTR;
  if (s.dtrControl == 0) lower |= TIOCM_DTR;
  for (const auto& [request, bits] : {std::pair<unsigned long, int>{TIOCMBIS, raise}, {TIOCMBIC, lower}}) {
    if (bits == 0) continue;
    int value = bits;
    if (ioctl(fd, request, &value) != 0) {
      if (errno == ENOTTY || errno == EINVAL || errno == EOPNOTSUPP) return 0;
      return errno;
    }
  }
  return 0;
}

// ---------------------------------------------------------------- line errors

// Raises flags for the next clear-error call from the errno of a failed
// read or write. A hang-up (EOF, POLLHUP) arrives here as EIO.
void NoteFailedCall(int fd, int errnum) {
  uint32_t flags = 0;
  if (IsLineGone(errnum)) flags = kLineIo;
  if (errnum == EINVAL || errnum == EOPNOTSUPP || errnum == ENOTTY) flags = kLineMode;
  if (flags != 0) UpdateState(fd, [flags](HandleState& s) { s.pendingErrors |= flags; });
}

void ReportLineError(int fd, const char* text, int failedErrno, SerialError* err) {
  NoteFailedCall(fd, failedErrno);
  SetSerialError(err, kSerialUnknownLineError, text);
  uint32_t flags = 0;
  LineStatus status;
  if (!sc_ClearError(fd, &flags, &status)) {
    const int errnum = errno;
    err->code = kSerialPlatformCall;
    AppendSystemErrorText(err, errnum);
    return;
  }
  const char* description = nullptr;
  err->code = LineErrorCode(flags, &description);
  AppendSerialErrorDetail(err, description);
}

// ---------------------------------------------------------------- read/write

int PollMs(const DeadlineTimer& timer) {
  return static_cast<int>(std::min<uint64_t>(timer.RemainingMs(), INT_MAX));
}

// One platform read: returns once `want` bytes are in or `limitMs` have
// passed (success either way, with the count in `got`). Fails, with the
// errno in `failure`, when the read fails or the line has hung up.
// `usPerByte`: the line time of one character. Once part of what is wanted
// came, the rest comes at the line's pace: one wait for the line time of
// the bytes still missing, instead of a wake-up for each byte as it
// trickles in (a poller of many sensors spent its CPU time there).
bool PlatformRead(int fd, uint8_t* buffer, size_t want, uint32_t limitMs, size_t* got, int* failure,
                  uint64_t usPerByte) {
  DeadlineTimer timer;
  timer.Start(uint64_t{limitMs} * 1000);
  bool pollSaidReadable = false;
  for (;;) {
    const ssize_t n = ::read(fd, buffer + *got, want - *got);
    if (n > 0) {
      *got += static_cast<size_t>(n);
      pollSaidReadable = false;
      if (*got == want) return true;
      // Woken a little early, the last bytes are waited for as before: a
      // late wake-up would delay the reply.
      const uint64_t missingUs = uint64_t{want - *got} * usPerByte;
      if (missingUs >= kLineWaitFloorUs)
        std::this_thread::sleep_for(
            std::chrono::microseconds(std::min(missingUs - kLineWaitEarlyUs, timer.Remaining())));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      *failure = errno;
      return false;
    }
    if (n == 0 && pollSaidReadable) {
      *failure = EIO;  // end of file on a line that said it was readable: hung up
      return false;
    }
    if (pollSaidReadable && timer.Remaining() == 0) return true;
    pollfd p{fd, POLLIN, 0};
    const int rc = ::poll(&p, 1, PollMs(timer));
    if (rc < 0) {
      if (errno == EINTR) continue;
      *failure = errno;
      return false;
    }
    if (rc == 0) return true;  // time-out: a short count, not a failure
    if ((p.revents & POLLNVAL) != 0) {
      *failure = EBADF;
      return false;
    }
    if ((p.revents & POLLIN) != 0) {
      pollSaidReadable = true;  // read what is there (a hung-up line reads as end of file)
      continue;
    }
    *failure = EIO;  // POLLHUP or POLLERR without data
    return false;
  }
}

bool PlatformWrite(int fd, const uint8_t* buffer, size_t want, uint32_t limitMs, size_t* put, int* failure) {
  DeadlineTimer timer;
  timer.Start(uint64_t{limitMs} * 1000);
  bool lineTrouble = false;
  for (;;) {
    const ssize_t n = ::write(fd, buffer + *put, want - *put);
    if (n > 0) {
      *put += static_cast<size_t>(n);
      lineTrouble = false;
      if (*put == want) return true;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      *failure = errno;
      return false;
    }
    if (lineTrouble) {
      *failure = EIO;  // the line reported an error and still takes nothing
      return false;
    }
    if (timer.Remaining() == 0) return true;
    pollfd p{fd, POLLOUT, 0};
    const int rc = ::poll(&p, 1, PollMs(timer));
    if (rc < 0) {
      if (errno == EINTR) continue;
      *failure = errno;
      return false;
    }
    if (rc == 0) return true;
    if ((p.revents & POLLNVAL) != 0) {
      *failure = EBADF;
      return false;
    }
    if ((p.revents & (POLLHUP | POLLERR)) != 0) {
      if ((p.revents & POLLOUT) == 0) {
        *failure = EIO;
        return false;
      }
      lineTrouble = true;
    }
  }
}

// The time one platform call may wait: the port's time-out, but never
// beyond the caller's budget. A time-out of 0 means "no time-out of its
// own": the call then waits for the rest of the budget (a budget of 0 still
// makes exactly one non-waiting attempt), so it neither hangs nor spins.
uint32_t CallLimit(uint32_t portTimeoutMs, uint32_t budgetMs, const DeadlineTimer& budget) {
  if (budgetMs == 0) return portTimeoutMs;
  const auto left = static_cast<uint32_t>(std::min<uint64_t>(budget.RemainingMs(), UINT32_MAX));
  return portTimeoutMs == 0 ? left : std::min(portTimeoutMs, left);
}

// Waits until the driver has sent what was written, for at most `limitMs`.
// tcdrain could block without limit (hardware flow control held off, a
// stalled adapter), so the output queue is watched instead, then, where the
// driver reports it, the UART's transmitter until its last bit is out.
// Returns 0, ETIMEDOUT when the limit ran out first, or the errno of a
// line that has gone.
int FlushOutput(int fd, const HandleState& state, uint64_t limitMs) {
  DeadlineTimer timer;
  timer.Start(limitMs * 1000);
  const auto sleepFor = [&timer](uint64_t wantMs) {
    const uint64_t left = timer.RemainingMs();
    if (left == 0) return false;
    SleepMs(static_cast<uint32_t>(std::clamp<uint64_t>(wantMs, 1, left)));
    return true;
  };
  for (;;) {
    int queued = 0;
    if (ioctl(fd, TIOCOUTQ, &queued) != 0) {
      if (IsLineGone(errno)) return errno;
      break;  // no queue count from this driver: nothing to watch
    }
    if (queued <= 0) break;
    const uint64_t needMs = uint64_t(queued) * state.bitsPerChar * 1000 / std::max(state.bitsPerSecond, 1u);
    if (!sleepFor(needMs)) return ETIMEDOUT;
  }
  for (;;) {
    unsigned int lsr = 0;
    if (ioctl(fd, TIOCSERGETLSR, &lsr) != 0 || (lsr & TIOCSER_TEMT) != 0) return 0;
    if (!sleepFor(1)) return ETIMEDOUT;
  }
}

}  // namespace

// ---------------------------------------------------------------- public

SerialHandle sc_Open(unsigned port, SerialError* err) {
  return OpenPath(PortResolver::Resolve(port), PortResolver::PortName(port), err);
}

SerialHandle sc_OpenDevice(const std::string& device, SerialError* err) {
  return OpenPath(device, device, err);
}

bool sc_Close(SerialHandle handle, SerialError* err) {
  if (err == nullptr) return false;
  if (handle == kInvalidSerialHandle) return true;
  if (IsInProcessHandle(handle)) return InProcessClose(handle);
  if (IsNetworkHandle(handle)) return NetworkClose(handle);
  ForgetState(handle);
  // Output that could not be sent is dropped so close() cannot sit in the
  // driver's closing wait; a successful sc_Write has already drained. Only
  // when something is still queued: on a pseudo-terminal the flush would
  // also throw away what the far end has not read yet (a request written
  // just before the close).
  ioctl(handle, TIOCNXCL);
  int queued = 0;
  if (ioctl(handle, TIOCOUTQ, &queued) != 0 || queued > 0) tcflush(handle, TCOFLUSH);
  if (::close(handle) != 0 && errno != EINTR) {  // after EINTR the descriptor is gone all the same
    Fail(err, kSerialPlatformCall, "sc_Close: could not close port handle", errno);
    return false;
  }
  return true;
}

bool sc_SetSettings(SerialHandle handle, const SerialSettings& settings, SerialError* err) {
  if (err == nullptr) return false;
  if (handle == kInvalidSerialHandle) {
    SetSerialError(err, kSerialInvalidArgument, "sc_SetSettings: an invalid argument was passed.");
    return false;
  }
  if (IsInProcessHandle(handle)) return InProcessSetSettings(handle, settings, err);
  if (IsNetworkHandle(handle)) return NetworkSetSettings(handle, settings, err);
  termios tio{};
  if (tcgetattr(handle, &tio) != 0) {
    Fail(err, kSerialPlatformCall, "sc_SetSettings: GetCommState failed", errno);
    return false;
  }
  int failure = BuildTermios(settings, tio);
  if (failure == 0 && tcsetattr(handle, TCSANOW, &tio) != 0) failure = errno;
  if (failure == 0) {
    termios taken{};
    if (tcgetattr(handle, &taken) != 0) {
      failure = errno;
    } else if (!DriverTookSettings(handle, tio, taken)) {
      failure = EINVAL;
    }
  }
  if (failure == 0) failure = ApplyModemLines(handle, settings);
  if (failure != 0) {
    Fail(err, kSerialPlatformCall, "sc_SetSettings: SetCommState failed", failure);
    return false;
  }
  // Queue sizes: a tty's buffers are the driver's own; the request is
  // accepted as it is.
  if (settings.readTimeoutMs < 0 || settings.writeTimeoutMs < 0) {
    Fail(err, kSerialPlatformCall, "sc_SetSettings: SetCommTimeouts failed", EINVAL);
    return false;
  }
  const uint32_t bitsPerChar = 1 + static_cast<uint32_t>(settings.dataBits) +
                               (settings.parity != kParityNone ? 1u : 0u) +
                               (settings.stopBits == kStopTwo ? 2u : 1u);
  UpdateState(handle, [&](HandleState& s) {
    s.readTimeoutMs = static_cast<uint32_t>(settings.readTimeoutMs);
    s.writeTimeoutMs = static_cast<uint32_t>(settings.writeTimeoutMs);
    s.bitsPerSecond = static_cast<uint32_t>(settings.baudRate);
    s.bitsPerChar = bitsPerChar;
  });
  return true;
}

bool sc_PurgeBuffers(SerialHandle handle, SerialError* err) {
  if (err == nullptr) return false;
  if (handle == kInvalidSerialHandle) {
    SetSerialError(err, kSerialInvalidArgument, "sc_PurgeBuffers: an invalid argument was passed.");
    return false;
  }
  if (IsInProcessHandle(handle)) return InProcessPurge(handle, true);
  if (IsNetworkHandle(handle)) return NetworkPurge(handle, true, err);
  if (tcflush(handle, TCIOFLUSH) != 0) {
    Fail(err, kSerialPlatformCall, "sc_PurgeBuffers: PurgeComm failed", errno);
    return false;
  }
  uint32_t errors = 0;
  LineStatus status;
  if (!sc_ClearError(handle, &errors, &status)) {
    Fail(err, kSerialPlatformCall, "sc_PurgeBuffers: ClearCommError failed", errno);
    return false;
  }
  return true;
}

bool sc_PurgeInput(SerialHandle handle, SerialError* err) {
  if (err == nullptr) return false;
  if (handle == kInvalidSerialHandle) {
    SetSerialError(err, kSerialInvalidArgument, "sc_PurgeInput: an invalid argument was passed.");
    return false;
  }
  if (IsInProcessHandle(handle)) return InProcessPurge(handle, false);
  if (IsNetworkHandle(handle)) return NetworkPurge(handle, false, err);
  if (::tcflush(handle, TCIFLUSH) != 0) {
    Fail(err, kSerialPlatformCall, "sc_PurgeInput: tcflush failed", errno);
    return false;
  }
  return true;
}

bool sc_Read(SerialHandle handle, void* buffer, size_t count, size_t* done, uint32_t budgetMs,
             SerialError* err) {
  if (err == nullptr) return false;
  if (handle == kInvalidSerialHandle || buffer == nullptr || done == nullptr) {
    SetSerialError(err, kSerialInvalidArgument, "sc_Read: an invalid argument was passed.");
    return false;
  }
  *done = 0;
  if (count == 0) return true;
  if (IsInProcessHandle(handle)) return InProcessRead(handle, buffer, count, done, budgetMs, err);
  if (IsNetworkHandle(handle)) return NetworkRead(handle, buffer, count, done, budgetMs, err);
  const HandleState state = Snapshot(handle);
  auto* bytes = static_cast<uint8_t*>(buffer);
  DeadlineTimer budget;
  budget.Start(uint64_t{budgetMs} * 1000);
  for (;;) {
    size_t got = 0;
    int failure = 0;
    const bool ok = PlatformRead(handle, bytes + *done, count - *done,
                                 CallLimit(state.readTimeoutMs, budgetMs, budget), &got, &failure,
                                 uint64_t{state.bitsPerChar} * 1'000'000 / std::max<uint32_t>(state.bitsPerSecond, 1));
    *done += got;
    if (!ok) {
      ReportLineError(handle, "::sc_Read ReadFile failed", failure, err);
      return false;
    }
    if (*done == count || budget.Remaining() == 0) return true;
  }
}

bool sc_Write(SerialHandle handle, const void* buffer, size_t count, size_t* done, uint32_t budgetMs,
              SerialError* err) {
  if (err == nullptr) return false;
  if (handle == kInvalidSerialHandle || buffer == nullptr || done == nullptr) {
    SetSerialError(err, kSerialInvalidArgument, "sc_Write: an invalid argument was passed.");
    return false;
  }
  *done = 0;
  if (count == 0) return true;
  if (IsInProcessHandle(handle)) return InProcessWrite(handle, buffer, count, done, budgetMs, err);
  if (IsNetworkHandle(handle)) return NetworkWrite(handle, buffer, count, done, budgetMs, err);
  const HandleState state = Snapshot(handle);
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  DeadlineTimer budget;
  budget.Start(uint64_t{budgetMs} * 1000);
  for (;;) {
    size_t put = 0;
    int failure = 0;
    const bool ok = PlatformWrite(handle, bytes + *done, count - *done,
                                  CallLimit(state.writeTimeoutMs, budgetMs, budget), &put, &failure);
    *done += put;
    if (!ok) {
      ReportLineError(handle, "::sc_Write WriteFile failed", failure, err);
      return false;
    }
    if (*done == count || budget.Remaining() == 0) break;
  }
  // The flush stays within the caller's budget; a budget of 0 (one attempt)
  // gives it the line time of what is queued plus the write time-out.
  int queued = 0;
  if (ioctl(handle, TIOCOUTQ, &queued) != 0) queued = 0;
  const uint64_t lineMs =
      uint64_t(std::max(queued, 0)) * state.bitsPerChar * 1000 / std::max(state.bitsPerSecond, 1u);
  const uint64_t flushLimitMs = budgetMs == 0 ? lineMs + state.writeTimeoutMs + 1 : budget.RemainingMs();
  const int failure = FlushOutput(handle, state, flushLimitMs);
  if (failure != 0) {
    Fail(err, kSerialPlatformCall, "::sc_Write FlushFileBuffers failed", failure);
    return false;
  }
  return true;
}

InputWait sc_WaitInput(SerialHandle handle, uint32_t ms) {
  if (handle == kInvalidSerialHandle) return InputWait::kGone;
  if (IsInProcessHandle(handle)) return InProcessWaitInput(handle, ms);
  if (IsNetworkHandle(handle)) return NetworkWaitInput(handle, ms);
  DeadlineTimer timer;
  timer.Start(uint64_t{ms} * 1000);
  for (;;) {
    int waiting = 0;
    if (ioctl(handle, FIONREAD, &waiting) == 0 && waiting > 0) return InputWait::kInput;
    pollfd p{handle, POLLIN, 0};
    const int rc = ::poll(&p, 1, PollMs(timer));
    if (rc < 0) {
      if (errno == EINTR) continue;
      return InputWait::kGone;
    }
    if (rc == 0) return InputWait::kTimeout;
    if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
      // Bytes that arrived before the hang-up are still to be read.
      waiting = 0;
      return ioctl(handle, FIONREAD, &waiting) == 0 && waiting > 0 ? InputWait::kInput : InputWait::kGone;
    }
    if ((p.revents & POLLIN) != 0) return InputWait::kInput;
  }
}

bool sc_LineGone(SerialHandle handle) {
  if (handle == kInvalidSerialHandle) return true;
  if (IsInProcessHandle(handle)) return InProcessLineGone(handle);
  if (IsNetworkHandle(handle)) return NetworkLineGone(handle);
  pollfd p{handle, POLLIN | POLLOUT, 0};
  int rc = 0;
  do {
    rc = ::poll(&p, 1, 0);
  } while (rc < 0 && errno == EINTR);
  if (rc < 0) return true;
  if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) return true;
  int waiting = 0;
  return ioctl(handle, FIONREAD, &waiting) != 0 && IsLineGone(errno);
}

bool sc_SetRs485(SerialHandle handle, bool on, SerialError* err) {
  if (err == nullptr) return false;
  if (handle == kInvalidSerialHandle) {
    SetSerialError(err, kSerialInvalidArgument, "sc_SetRs485: an invalid argument was passed.");
    return false;
  }
  if (IsNetworkHandle(handle)) return NetworkSetRs485(handle, on, err);
  if (IsInProcessHandle(handle)) {
    // A line inside the process has no driver to switch, as a
    // pseudo-terminal has none.
    if (!on) return true;
    SetSerialError(err, kSerialPlatformCall, "sc_SetRs485: the driver has no RS-485 mode");
    AppendSystemErrorText(err, EOPNOTSUPP);
    return false;
  }
  serial_rs485 conf{};
  if (ioctl(handle, TIOCGRS485, &conf) != 0) {
    if (!on) return true;  // a driver without the mode is already off
    Fail(err, kSerialPlatformCall, "sc_SetRs485: the driver has no RS-485 mode", errno);
    return false;
  }
  if (on) {
    conf.flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
    conf.flags &= ~static_cast<uint32_t>(SER_RS485_RTS_AFTER_SEND | SER_RS485_RX_DURING_TX);
  } else {
    conf.flags &= ~static_cast<uint32_t>(SER_RS485_ENABLED);
  }
  if (ioctl(handle, TIOCSRS485, &conf) != 0) {
    Fail(err, kSerialPlatformCall, "sc_SetRs485: the driver has no RS-485 mode", errno);
    return false;
  }
  // Some drivers take the call but not the mode: read back what holds.
  serial_rs485 taken{};
  if (on && (ioctl(handle, TIOCGRS485, &taken) != 0 || (taken.flags & SER_RS485_ENABLED) == 0)) {
    Fail(err, kSerialPlatformCall, "sc_SetRs485: the driver has no RS-485 mode", EOPNOTSUPP);
    return false;
  }
  return true;
}

// The clear-error call. Line errors come from the driver's counters where
// it keeps them (TIOCGICOUNT: break, framing, parity, overrun, buffer
// overrun), as the increase since the last call, and from failed reads and
// writes noted since then: EIO/ENXIO/ENODEV or a hang-up give the I/O-error
// flag, EINVAL/ENOTTY/EOPNOTSUPP the mode flag. A device without counters
// (a pseudo-terminal) is not a failure; a device that has vanished answers
// the queries with EIO and so reports the I/O-error flag. The call itself
// fails only for a handle that is not open (errno EBADF).
bool sc_ClearError(SerialHandle handle, uint32_t* errors, LineStatus* status) {
  if (IsInProcessHandle(handle)) return InProcessClearError(handle, errors, status);
  if (IsNetworkHandle(handle)) return NetworkClearError(handle, errors, status);
  if (handle == kInvalidSerialHandle || fcntl(handle, F_GETFD) < 0) {
    errno = EBADF;
    return false;
  }
  uint32_t flags = 0;
  serial_icounter_struct now{};
  const bool haveCounts = ioctl(handle, TIOCGICOUNT, &now) == 0;
  if (!haveCounts && IsLineGone(errno)) flags |= kLineIo;
  LineStatus queues;
  int count = 0;
  if (ioctl(handle, FIONREAD, &count) == 0) {
    queues.inQueue = static_cast<uint32_t>(std::max(count, 0));
  } else if (IsLineGone(errno)) {
    flags |= kLineIo;
  }
  if (ioctl(handle, TIOCOUTQ, &count) == 0) {
    queues.outQueue = static_cast<uint32_t>(std::max(count, 0));
  } else if (IsLineGone(errno)) {
    flags |= kLineIo;
  }
  UpdateState(handle, [&](HandleState& s) {
    flags |= s.pendingErrors;
    s.pendingErrors = 0;
    if (haveCounts) {
      if (s.haveCounts) {
        if (now.brk != s.counts.brk) flags |= kLineBreak;
        if (now.frame != s.counts.frame) flags |= kLineFrame;
        if (now.parity != s.counts.parity) flags |= kLineParity;
        if (now.overrun != s.counts.overrun) flags |= kLineOverrun;
        if (now.buf_overrun != s.counts.buf_overrun) flags |= kLineRxOverflow;
      }
      s.counts = now;
      s.haveCounts = true;
    }
  });
  if (errors != nullptr) *errors = flags;
  if (status != nullptr) *status = queues;
  return true;
}
