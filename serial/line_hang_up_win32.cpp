#include "serial/line_hang_up.h"

#include "serial/win32_comm_calls.h"

bool LineHungUp(SerialHandle handle) {
  if (handle == kInvalidSerialHandle) return false;
  // Windows sends no hang-up of its own. After a surprise removal the
  // driver refuses every call on the handle (access denied, bad command,
  // device removed); a line that is there answers this one at any time.
  // It also clears the line's error flags, which the port library has read
  // before it reported the read error that leads here.
  DWORD errors = 0;
  COMSTAT status{};
  return CommCalls().clearCommError(reinterpret_cast<HANDLE>(handle), &errors, &status) == 0;
}
