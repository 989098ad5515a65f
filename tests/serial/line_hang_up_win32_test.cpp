// A hang-up on Windows: the line whose driver no longer answers the
// clear-error call (as after a surprise removal) has hung up; one that
// answers has not. Against a fake of that call, then the system's own
// (Wine in the cross build) on a handle that is no communications device.
#include <gtest/gtest.h>

#include <string>

#include "serial/line_hang_up.h"
#include "serial/port_access.h"
#include "serial/win32_comm_calls.h"

namespace {

struct FakeLine {
  HANDLE asked = nullptr;
  int calls = 0;
  DWORD failure = 0;  // non-zero: ClearCommError fails with it
};
FakeLine g_line;

BOOL WINAPI FakeClearCommError(HANDLE handle, LPDWORD errors, LPCOMSTAT status) {
  g_line.asked = handle;
  ++g_line.calls;
  if (g_line.failure != 0) {
    SetLastError(g_line.failure);
    return FALSE;
  }
  if (errors != nullptr) *errors = 0;
  if (status != nullptr) *status = COMSTAT{};
  return TRUE;
}

class Win32LineHangUp : public ::testing::Test {
 protected:
  void SetUp() override {
    g_line = FakeLine{};
    calls_ = SystemCommCalls();
    calls_.clearCommError = &FakeClearCommError;
    SetCommCallsForTest(&calls_);
  }
  void TearDown() override { SetCommCallsForTest(nullptr); }

  Win32CommCalls calls_{};
};

TEST_F(Win32LineHangUp, ALineWhoseDriverNoLongerAnswersHasHungUp) {
  struct Case {
    const char* what;
    DWORD failure;
    bool hungUp;
  };
  const Case cases[] = {
      {"the line answers", 0, false},
      {"access denied (a removed USB adapter)", ERROR_ACCESS_DENIED, true},
      {"the device does not know the command", ERROR_BAD_COMMAND, true},
      {"the device was removed", ERROR_DEVICE_REMOVED, true},
      {"the device is not connected", ERROR_DEVICE_NOT_CONNECTED, true},
      {"the handle is not valid", ERROR_INVALID_HANDLE, true},
  };
  const HANDLE line = reinterpret_cast<HANDLE>(0x4242);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    g_line = FakeLine{};
    g_line.failure = c.failure;
    EXPECT_EQ(LineHungUp(ToSerialHandle(line)), c.hungUp);
    EXPECT_EQ(g_line.calls, 1);
    EXPECT_EQ(g_line.asked, line) << "the port library's own handle";
  }
}

TEST_F(Win32LineHangUp, NoHandleNoLineToAsk) {
  EXPECT_FALSE(LineHungUp(kInvalidSerialHandle));
  EXPECT_EQ(g_line.calls, 0);
}

TEST(Win32LineHangUpSystem, AHandleThatIsNoLineHasNoLineToAnswer) {
  // A file's handle: the system refuses the communications call on it.
  char folder[MAX_PATH] = {};
  char path[MAX_PATH] = {};
  ASSERT_NE(GetTempPathA(sizeof folder, folder), 0u);
  ASSERT_NE(GetTempFileNameA(folder, "lrs", 0, path), 0u);
  const HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(LineHungUp(ToSerialHandle(file)));
  CloseHandle(file);
  DeleteFileA(path);
}

TEST(Win32ExamineDeviceNode, AnUnknownPortIsMissing) {
  for (const std::string& device : {std::string("COM249"), std::string("\\\\.\\COM249"), std::string(""),
                                   std::string("NOSUCHPORT")}) {
    EXPECT_EQ(ExamineDeviceNode(device), DeviceNode::kMissing) << device;
  }
}

}  // namespace
