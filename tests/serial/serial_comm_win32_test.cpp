// The Windows backend of the serial layer against a fake of the Win32
// communications calls: what is asked of the system (device name, control
// block, queue sizes, time-outs, purge actions) and what its answers turn
// into (codes, texts, line errors). One case at the end goes to the
// system itself (Wine in the cross build): a port that does not exist.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "serial/counter.h"
#include "serial/port_resolver.h"
#include "serial/serial_comm.h"
#include "serial/serial_port.h"
#include "serial/win32_comm_calls.h"

namespace {

// What the fake device holds and how its calls are to fail.
struct FakeDevice {
  std::string openedName;
  DWORD openedAccess = 0, openedShare = 99, openedDisposition = 0, openedFlags = 99;
  DWORD createError = 0;      // non-zero: CreateFile fails with it
  bool noCounter = false;
  DCB dcb{};
  COMMTIMEOUTS timeouts{};
  DWORD inQueue = 0, outQueue = 0;
  DWORD purgeFlags = 0;
  DWORD lineErrors = 0;       // reported (and cleared) by ClearCommError
  std::deque<uint8_t> rx;
  std::vector<uint8_t> tx;
  DWORD txLimit = MAXDWORD;   // bytes one WriteFile takes
  int readCalls = 0;
  int flushCalls = 0;
  bool closed = false;
  // Which call fails, and with which system error.
  std::set<std::string> failing;
  DWORD failError = ERROR_GEN_FAILURE;
};

FakeDevice g;
const HANDLE kHandle = reinterpret_cast<HANDLE>(0x4242);

BOOL Failing(const char* call) {
  if (g.failing.count(call) == 0) return FALSE;
  SetLastError(g.failError);
  return TRUE;
}

HANDLE WINAPI FakeCreateFile(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition,
                             DWORD flags, HANDLE) {
  g.openedName = name;
  g.openedAccess = access;
  g.openedShare = share;
  g.openedDisposition = disposition;
  g.openedFlags = flags;
  if (g.createError != 0) {
    SetLastError(g.createError);
    return INVALID_HANDLE_VALUE;
  }
  return kHandle;
}
BOOL WINAPI FakeCloseHandle(HANDLE) {
  if (Failing("CloseHandle")) return FALSE;
  g.closed = true;
  return TRUE;
}
BOOL WINAPI FakeGetCommState(HANDLE, LPDCB dcb) {
  if (Failing("GetCommState")) return FALSE;
  *dcb = g.dcb;
  return TRUE;
}
BOOL WINAPI FakeSetCommState(HANDLE, LPDCB dcb) {
  if (Failing("SetCommState")) return FALSE;
  g.dcb = *dcb;
  return TRUE;
}
BOOL WINAPI FakeSetupComm(HANDLE, DWORD in, DWORD out) {
  if (Failing("SetupComm")) return FALSE;
  g.inQueue = in;
  g.outQueue = out;
  return TRUE;
}
BOOL WINAPI FakeSetCommTimeouts(HANDLE, LPCOMMTIMEOUTS timeouts) {
  if (Failing("SetCommTimeouts")) return FALSE;
  g.timeouts = *timeouts;
  return TRUE;
}
BOOL WINAPI FakePurgeComm(HANDLE, DWORD flags) {
  if (Failing("PurgeComm")) return FALSE;
  g.purgeFlags = flags;
  if ((flags & PURGE_RXCLEAR) != 0) g.rx.clear();
  return TRUE;
}
BOOL WINAPI FakeClearCommError(HANDLE, LPDWORD errors, LPCOMSTAT status) {
  if (Failing("ClearCommError")) return FALSE;
  if (errors != nullptr) *errors = g.lineErrors;
  g.lineErrors = 0;
  if (status != nullptr) {
    *status = COMSTAT{};
    status->cbInQue = static_cast<DWORD>(g.rx.size());
  }
  return TRUE;
}
BOOL WINAPI FakeReadFile(HANDLE, LPVOID buffer, DWORD count, LPDWORD got, LPOVERLAPPED) {
  ++g.readCalls;
  *got = 0;
  if (Failing("ReadFile")) return FALSE;
  auto* out = static_cast<uint8_t*>(buffer);
  while (*got < count && !g.rx.empty()) {
    out[(*got)++] = g.rx.front();
    g.rx.pop_front();
  }
  return TRUE;
}
BOOL WINAPI FakeWriteFile(HANDLE, LPCVOID buffer, DWORD count, LPDWORD put, LPOVERLAPPED) {
  *put = 0;
  if (Failing("WriteFile")) return FALSE;
  const auto* in = static_cast<const uint8_t*>(buffer);
  *put = std::min(count, g.txLimit);
  g.tx.insert(g.tx.end(), in, in + *put);
  return TRUE;
}
BOOL WINAPI FakeFlushFileBuffers(HANDLE) {
  ++g.flushCalls;
  return Failing("FlushFileBuffers") ? FALSE : TRUE;
}
BOOL WINAPI FakeQueryFrequency(LARGE_INTEGER* frequency) {
  frequency->QuadPart = g.noCounter ? 0 : 10000000;
  return g.noCounter ? FALSE : TRUE;
}

const Win32CommCalls kFake{&FakeCreateFile,      &FakeCloseHandle, &FakeGetCommState, &FakeSetCommState,
                           &FakeSetupComm,       &FakeSetCommTimeouts, &FakePurgeComm, &FakeClearCommError,
                           &FakeReadFile,        &FakeWriteFile,   &FakeFlushFileBuffers, &FakeQueryFrequency};

std::string Sys(DWORD code) { return " (" + Win32ErrorText(code) + ")"; }

class Win32Comm : public ::testing::Test {
 protected:
  void SetUp() override {
    g = FakeDevice{};
    SetCommCallsForTest(&kFake);
  }
  void TearDown() override {
    SetCommCallsForTest(nullptr);
    PortResolver::SetPortMap({});
  }
  SerialHandle Open() {
    const SerialHandle handle = sc_Open(5, &err);
    EXPECT_NE(handle, kInvalidSerialHandle) << err.text;
    return handle;
  }

  SerialError err;
};

TEST_F(Win32Comm, OpenAsksForTheNumberedPortExclusivelyWithoutOverlappedIo) {
  const SerialHandle handle = Open();
  EXPECT_EQ(handle, reinterpret_cast<SerialHandle>(kHandle));
  EXPECT_EQ(g.openedName, "\\\\.\\COM5");
  EXPECT_EQ(g.openedAccess, DWORD{GENERIC_READ | GENERIC_WRITE});
  EXPECT_EQ(g.openedShare, 0u);
  EXPECT_EQ(g.openedDisposition, DWORD{OPEN_EXISTING});
  EXPECT_EQ(g.openedFlags, 0u);
  EXPECT_EQ(err.code, 0);

  // A device name as the user gave it: COMn in the device namespace, any
  // other name as it is.
  sc_OpenDevice("com12", &err);
  EXPECT_EQ(g.openedName, "\\\\.\\com12");
  sc_OpenDevice("\\\\.\\CNCA0", &err);
  EXPECT_EQ(g.openedName, "\\\\.\\CNCA0");
  PortResolver::SetPortMap({{3, "\\\\.\\COM17"}});
  sc_Open(3, &err);
  EXPECT_EQ(g.openedName, "\\\\.\\COM17");
}

TEST_F(Win32Comm, RefusedOpenNamesThePortAndTheSystemsReason) {
  struct Case {
    DWORD error;
    int osError;
  };
  for (const Case c : {Case{ERROR_FILE_NOT_FOUND, ENOENT}, Case{ERROR_ACCESS_DENIED, EBUSY},
                       Case{ERROR_SHARING_VIOLATION, EBUSY}, Case{ERROR_GEN_FAILURE, EIO}}) {
    g.createError = c.error;
    EXPECT_EQ(sc_Open(5, &err), kInvalidSerialHandle);
    EXPECT_EQ(err.code, 7);
    EXPECT_EQ(std::string(err.text), "sc_Open: could not open COM5" + Sys(c.error));
    EXPECT_EQ(err.osError, c.osError) << c.error;
  }
}

TEST_F(Win32Comm, OpenWithoutAPerformanceCounterFailsWithCode6) {
  g.noCounter = true;
  EXPECT_EQ(sc_Open(5, &err), kInvalidSerialHandle);
  EXPECT_EQ(err.code, 6);
  EXPECT_STREQ(err.text, "sc_Open: no high-performance counter available.");
  EXPECT_TRUE(g.openedName.empty());
}

TEST_F(Win32Comm, SettingsFillTheControlBlockAndKeepTheBitsTheRecordDoesNotGovern) {
  const SerialHandle handle = Open();
  // What the device reports: everything the record governs set the other
  // way, plus bits it does not govern.
  g.dcb.DCBlength = sizeof(DCB);
  g.dcb.fOutxCtsFlow = 1;
  g.dcb.fNull = 1;
  g.dcb.fErrorChar = 1;
  g.dcb.fDsrSensitivity = 1;
  g.dcb.fBinary = 0;
  g.dcb.ErrorChar = 'E';
  g.dcb.EofChar = 26;
  g.dcb.EvtChar = 'V';
  g.dcb.wReserved1 = 0x1234;

  SerialSettings s;
  s.baudRate = 19200;
  s.parity = kParityEven;
  s.stopBits = kStopTwo;
  s.dataBits = 7;
  s.inputQueueSize = 4096;
  s.outputQueueSize = 2048;
  s.readTimeoutMs = 70;
  s.writeTimeoutMs = 90;
  s.rtsControl = 2;
  s.dtrControl = 0;
  s.dsrOutputFlow = 1;
  s.xonXoffInput = 1;
  s.xonChar = 0x11;
  s.xoffChar = 0x13;
  s.xonLimit = 100;
  s.xoffLimit = 200;
  ASSERT_TRUE(sc_SetSettings(handle, s, &err)) << err.text;

  EXPECT_EQ(g.dcb.BaudRate, 19200u);
  EXPECT_EQ(g.dcb.ByteSize, 7);
  EXPECT_EQ(g.dcb.Parity, EVENPARITY);
  EXPECT_EQ(g.dcb.StopBits, TWOSTOPBITS);
  EXPECT_EQ(g.dcb.fBinary, 1u);
  EXPECT_EQ(g.dcb.fParity, 1u);
  EXPECT_EQ(g.dcb.fTXContinueOnXoff, 1u);
  EXPECT_EQ(g.dcb.fAbortOnError, 1u);
  EXPECT_EQ(g.dcb.fErrorChar, 0u);
  EXPECT_EQ(g.dcb.fNull, 0u);
  EXPECT_EQ(g.dcb.fDsrSensitivity, 0u);
  EXPECT_EQ(g.dcb.fOutxCtsFlow, 0u);
  EXPECT_EQ(g.dcb.fOutxDsrFlow, 1u);
  EXPECT_EQ(g.dcb.fRtsControl, DWORD{RTS_CONTROL_HANDSHAKE});
  EXPECT_EQ(g.dcb.fDtrControl, DWORD{DTR_CONTROL_DISABLE});
  EXPECT_EQ(g.dcb.fOutX, 0u);
  EXPECT_EQ(g.dcb.fInX, 1u);
  EXPECT_EQ(g.dcb.XonChar, 0x11);
  EXPECT_EQ(g.dcb.XoffChar, 0x13);
  EXPECT_EQ(g.dcb.XonLim, 100);
  EXPECT_EQ(g.dcb.XoffLim, 200);
  EXPECT_EQ(g.dcb.ErrorChar, 0);
  EXPECT_EQ(g.dcb.EofChar, 0);
  EXPECT_EQ(g.dcb.EvtChar, 0);
  EXPECT_EQ(g.dcb.wReserved1, 0x1234);  // kept as the device reported it

  EXPECT_EQ(g.inQueue, 4096u);
  EXPECT_EQ(g.outQueue, 2048u);
  EXPECT_EQ(g.timeouts.ReadIntervalTimeout, 0u);
  EXPECT_EQ(g.timeouts.ReadTotalTimeoutMultiplier, 0u);
  EXPECT_EQ(g.timeouts.ReadTotalTimeoutConstant, 70u);
  EXPECT_EQ(g.timeouts.WriteTotalTimeoutMultiplier, 0u);
  EXPECT_EQ(g.timeouts.WriteTotalTimeoutConstant, 90u);
}

TEST_F(Win32Comm, EachFailingPlatformCallGivesCode16WithItsTextAndTheSystemsReason) {
  struct Case {
    const char* call;
    const char* text;
  };
  const SerialHandle handle = Open();
  const SerialSettings s;
  for (const Case c : {Case{"GetCommState", "sc_SetSettings: GetCommState failed"},
                       Case{"SetCommState", "sc_SetSettings: SetCommState failed"},
                       Case{"SetupComm", "sc_SetSettings: SetupComm failed"},
                       Case{"SetCommTimeouts", "sc_SetSettings: SetCommTimeouts failed"}}) {
    g.failing = {c.call};
    g.failError = ERROR_INVALID_PARAMETER;
    EXPECT_FALSE(sc_SetSettings(handle, s, &err));
    EXPECT_EQ(err.code, 16) << c.call;
    EXPECT_EQ(std::string(err.text), std::string(c.text) + Sys(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(err.osError, EINVAL);
  }
  for (const Case c : {Case{"PurgeComm", "sc_PurgeBuffers: PurgeComm failed"},
                       Case{"ClearCommError", "sc_PurgeBuffers: ClearCommError failed"}}) {
    g.failing = {c.call};
    g.failError = ERROR_INVALID_HANDLE;
    EXPECT_FALSE(sc_PurgeBuffers(handle, &err));
    EXPECT_EQ(err.code, 16) << c.call;
    EXPECT_EQ(std::string(err.text), std::string(c.text) + Sys(ERROR_INVALID_HANDLE));
  }
  g.failing = {"FlushFileBuffers"};
  g.failError = ERROR_GEN_FAILURE;
  size_t done = 0;
  EXPECT_FALSE(sc_Write(handle, "ab", 2, &done, 100, &err));
  EXPECT_EQ(done, 2u);
  EXPECT_EQ(err.code, 16);
  EXPECT_EQ(std::string(err.text), "::sc_Write FlushFileBuffers failed" + Sys(ERROR_GEN_FAILURE));

  g.failing = {"CloseHandle"};
  EXPECT_FALSE(sc_Close(handle, &err));
  EXPECT_EQ(err.code, 16);
  EXPECT_EQ(std::string(err.text), "sc_Close: could not close port handle" + Sys(ERROR_GEN_FAILURE));
}

TEST_F(Win32Comm, PurgeAbortsAndClearsBothDirectionsThenClearsTheErrorState) {
  const SerialHandle handle = Open();
  g.rx = {1, 2, 3};
  g.lineErrors = CE_FRAME;
  ASSERT_TRUE(sc_PurgeBuffers(handle, &err)) << err.text;
  EXPECT_EQ(g.purgeFlags, DWORD{PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR});
  EXPECT_EQ(g.lineErrors, 0u);
  EXPECT_TRUE(g.rx.empty());
}

// The clear-error flags after a failed read or write: the first set in
// the order of the table gives the code and the description.
TEST_F(Win32Comm, FailedReadOrWriteIsClassifiedByTheLineErrorFlags) {
  struct Case {
    DWORD flags;
    int32_t code;
    const char* description;
  };
  const Case cases[] = {
      {CE_BREAK | CE_RXPARITY, 8, "The hardware detected a break condition."},
      {CE_FRAME | CE_IOE, 9, "The hardware detected a framing error."},
      {CE_IOE | CE_MODE, 11, "An I/O error occurred during communications with the device."},
      {CE_MODE | CE_OVERRUN, 13, "The requested mode is not supported, or the comm handle is invalid."},
      {CE_OVERRUN | CE_RXOVER, 12, "A character-buffer overrun has occurred. The next character is lost."},
      {CE_RXOVER | CE_RXPARITY, 14, "An input buffer overflow has occurred, or a character was received after EOF."},
      {CE_RXPARITY | CE_TXFULL, 10, "The hardware detected a parity error."},
      {CE_TXFULL, 15, "The application tried to transmit a character, but the output buffer was full."},
      {0, 1, "An unknown error code was returned by ClearComError"},
  };
  const SerialHandle handle = Open();
  uint8_t buffer[4];
  size_t done = 99;
  for (const Case& c : cases) {
    g.failing = {"ReadFile"};
    g.lineErrors = c.flags;
    EXPECT_FALSE(sc_Read(handle, buffer, 4, &done, 100, &err));
    EXPECT_EQ(err.code, c.code) << c.flags;
    EXPECT_EQ(std::string(err.text), std::string("::sc_Read ReadFile failed (") + c.description + ")");
    EXPECT_EQ(done, 0u);

    g.failing = {"WriteFile"};
    g.lineErrors = c.flags;
    EXPECT_FALSE(sc_Write(handle, buffer, 4, &done, 100, &err));
    EXPECT_EQ(err.code, c.code) << c.flags;
    EXPECT_EQ(std::string(err.text), std::string("::sc_Write WriteFile failed (") + c.description + ")");
  }
}

TEST_F(Win32Comm, FailedReadWhoseErrorFlagsCannotBeFetchedGivesCode16) {
  const SerialHandle handle = Open();
  g.failing = {"ReadFile", "ClearCommError"};
  g.failError = ERROR_INVALID_HANDLE;
  uint8_t buffer[2];
  size_t done = 0;
  EXPECT_FALSE(sc_Read(handle, buffer, 2, &done, 100, &err));
  EXPECT_EQ(err.code, 16);
  EXPECT_EQ(std::string(err.text), "::sc_Read ReadFile failed" + Sys(ERROR_INVALID_HANDLE));

  uint32_t errors = 0;
  LineStatus status;
  EXPECT_FALSE(sc_ClearError(handle, &errors, &status));
  EXPECT_EQ(errno, EBADF);
  EXPECT_TRUE(sc_LineGone(handle));
}

TEST_F(Win32Comm, ReadCollectsWhatArrivesWithinTheBudgetAndReportsAShortCount) {
  const SerialHandle handle = Open();
  uint8_t buffer[5] = {};
  size_t done = 0;
  g.rx = {7, 8, 9};
  ASSERT_TRUE(sc_Read(handle, buffer, 5, &done, 20, &err)) << err.text;
  EXPECT_EQ(done, 3u);
  EXPECT_EQ(buffer[0], 7);
  EXPECT_EQ(buffer[2], 9);

  // A budget of 0 is exactly one platform read.
  g.readCalls = 0;
  g.rx = {1};
  ASSERT_TRUE(sc_Read(handle, buffer, 5, &done, 0, &err));
  EXPECT_EQ(done, 1u);
  EXPECT_EQ(g.readCalls, 1);

  // Zero bytes: success without touching the device.
  g.readCalls = 0;
  ASSERT_TRUE(sc_Read(handle, buffer, 0, &done, 100, &err));
  EXPECT_EQ(g.readCalls, 0);
  EXPECT_EQ(done, 0u);
}

TEST_F(Win32Comm, WriteLoopsOverShortWritesThenFlushes) {
  const SerialHandle handle = Open();
  g.txLimit = 2;
  const uint8_t bytes[] = {1, 2, 3, 4, 5};
  size_t done = 0;
  ASSERT_TRUE(sc_Write(handle, bytes, 5, &done, 100, &err)) << err.text;
  EXPECT_EQ(done, 5u);
  EXPECT_EQ(g.tx, std::vector<uint8_t>(bytes, bytes + 5));
  EXPECT_EQ(g.flushCalls, 1);

  g.flushCalls = 0;
  ASSERT_TRUE(sc_Write(handle, bytes, 0, &done, 100, &err));
  EXPECT_EQ(g.flushCalls, 0);
}

TEST_F(Win32Comm, InvalidArgumentsGiveCode2WithTheFunctionsText) {
  SerialSettings s;
  uint8_t buffer[1];
  size_t done = 0;
  EXPECT_FALSE(sc_SetSettings(kInvalidSerialHandle, s, &err));
  EXPECT_STREQ(err.text, "sc_SetSettings: an invalid argument was passed.");
  EXPECT_FALSE(sc_PurgeBuffers(kInvalidSerialHandle, &err));
  EXPECT_STREQ(err.text, "sc_PurgeBuffers: an invalid argument was passed.");
  EXPECT_FALSE(sc_Read(kInvalidSerialHandle, buffer, 1, &done, 0, &err));
  EXPECT_STREQ(err.text, "sc_Read: an invalid argument was passed.");
  EXPECT_FALSE(sc_Write(reinterpret_cast<SerialHandle>(kHandle), nullptr, 1, &done, 0, &err));
  EXPECT_STREQ(err.text, "sc_Write: an invalid argument was passed.");
  EXPECT_EQ(err.code, 2);
  EXPECT_FALSE(sc_Read(reinterpret_cast<SerialHandle>(kHandle), buffer, 1, &done, 0, nullptr));
  EXPECT_TRUE(sc_Close(kInvalidSerialHandle, &err));
}

TEST_F(Win32Comm, ClearErrorReportsQueueCountsAndFlags) {
  const SerialHandle handle = Open();
  g.rx = {1, 2, 3, 4};
  g.lineErrors = CE_OVERRUN | CE_BREAK;
  uint32_t errors = 0;
  LineStatus status;
  ASSERT_TRUE(sc_ClearError(handle, &errors, &status));
  EXPECT_EQ(errors, uint32_t{kLineOverrun | kLineBreak});
  EXPECT_EQ(status.inQueue, 4u);
  EXPECT_EQ(sc_WaitInput(handle, 10), InputWait::kInput);
  g.rx.clear();
  EXPECT_EQ(sc_WaitInput(handle, 10), InputWait::kTimeout);
  EXPECT_FALSE(sc_LineGone(handle));
}

TEST_F(Win32Comm, Rs485IsTheDriversRtsToggle) {
  const SerialHandle handle = Open();
  ASSERT_TRUE(sc_SetRs485(handle, true, &err)) << err.text;
  EXPECT_EQ(g.dcb.fRtsControl, DWORD{RTS_CONTROL_TOGGLE});
  ASSERT_TRUE(sc_SetRs485(handle, false, &err));
  EXPECT_EQ(g.dcb.fRtsControl, DWORD{RTS_CONTROL_ENABLE});
  g.failing = {"SetCommState"};
  g.failError = ERROR_NOT_SUPPORTED;
  EXPECT_FALSE(sc_SetRs485(handle, true, &err));
  EXPECT_EQ(err.code, 16);
  EXPECT_EQ(std::string(err.text), "sc_SetRs485: the driver has no RS-485 mode" + Sys(ERROR_NOT_SUPPORTED));
  EXPECT_EQ(err.osError, EOPNOTSUPP);
}

TEST_F(Win32Comm, SerialPortConnectOpensConfiguresAndPurgesAndDrainReadsWhatWaits) {
  SerialPort port;
  ASSERT_TRUE(port.Connect(5, 38400, kParityNone, kStopOne, 8, 60, 80)) << port.errorText();
  EXPECT_EQ(g.openedName, "\\\\.\\COM5");
  EXPECT_EQ(g.dcb.BaudRate, 38400u);
  EXPECT_EQ(g.timeouts.ReadTotalTimeoutConstant, 80u);
  EXPECT_EQ(g.timeouts.WriteTotalTimeoutConstant, 60u);
  EXPECT_EQ(g.inQueue, 1024u);
  EXPECT_EQ(g.purgeFlags, DWORD{PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR});
  ASSERT_TRUE(port.ApplyBaudRate(9600));
  EXPECT_EQ(g.dcb.BaudRate, 9600u);
  EXPECT_TRUE(port.Disconnect());
  EXPECT_TRUE(g.closed);
  EXPECT_FALSE(port.IsOpen());
}

TEST_F(Win32Comm, PortNamesResolveToTheDeviceNamespace) {
  EXPECT_EQ(PortResolver::Resolve(1), "\\\\.\\COM1");
  EXPECT_EQ(PortResolver::Resolve(12), "\\\\.\\COM12");
  EXPECT_EQ(PortResolver::ResolveName("com3"), "\\\\.\\COM3");
  EXPECT_EQ(PortResolver::Resolve(0), "");
}

TEST(Win32Counter, TheCounterIsThePerformanceCounterAtItsFrequency) {
  uint64_t frequency = 0;
  QueryFrequency(frequency);
  LARGE_INTEGER system{};
  ASSERT_TRUE(QueryPerformanceFrequency(&system));
  EXPECT_EQ(frequency, static_cast<uint64_t>(system.QuadPart));
  uint64_t a = 0;
  uint64_t b = 0;
  ASSERT_TRUE(MonotonicCounter().Read(a));
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_TRUE(MonotonicCounter().Read(b));
  EXPECT_GE(b - a, frequency * 5 / 1000);
}

// The system's own calls: a port number that no device has.
TEST(Win32CommSystem, PortThatDoesNotExistGivesCode7WithTheSystemsReason) {
  SerialError err;
  EXPECT_EQ(sc_Open(251, &err), kInvalidSerialHandle);
  EXPECT_EQ(err.code, 7);
  const std::string text = err.text;
  EXPECT_EQ(text.rfind("sc_Open: could not open COM251 (", 0), 0u) << text;
  EXPECT_EQ(text.back(), ')');
  EXPECT_EQ(text.find('\n'), std::string::npos);
  EXPECT_EQ(err.osError, ENOENT) << text;
}

}  // namespace
