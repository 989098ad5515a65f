#include "serial/serial_error.h"

#include <cstring>

namespace {

constexpr size_t kTextCapacity = sizeof(SerialError::text);  // 256, NUL included
// A detail is only added while the text leaves room for at least " (x)".
constexpr size_t kDetailLimit = kTextCapacity - 4;  // 252

// strerror_r comes in two flavours (GNU returns a pointer, XSI an int);
// these overloads pick whichever the C library provides.
[[maybe_unused]] const char* PickText(int rc, const char* buffer) {
  return rc == 0 ? buffer : "Unknown error";
}
[[maybe_unused]] const char* PickText(const char* text, const char*) { return text; }

}  // namespace

void SetSerialError(SerialError* err, int32_t code, const char* text) {
  if (err == nullptr) return;
  err->code = code;
  err->osError = 0;
  if (text == nullptr) text = "";
  const size_t length = strnlen(text, kTextCapacity - 1);
  std::memcpy(err->text, text, length);
  err->text[length] = '\0';
}

void AppendSerialErrorDetail(SerialError* err, const char* detail) {
  if (err == nullptr || detail == nullptr) return;
  const size_t length = strnlen(err->text, kTextCapacity);
  if (length >= kDetailLimit) return;
  // " (" + detail + ")" + NUL must fit; the detail is shortened, the closing
  // parenthesis is kept so the text still reads as a whole.
  const size_t room = kTextCapacity - length - 4;
  const size_t detailLength = strnlen(detail, room);
  char* out = err->text + length;
  *out++ = ' ';
  *out++ = '(';
  std::memcpy(out, detail, detailLength);
  out += detailLength;
  *out++ = ')';
  *out = '\0';
}

void AppendSystemErrorText(SerialError* err, int errnum) {
  if (err != nullptr) err->osError = errnum;
  char buffer[128] = {};
#ifdef _WIN32
  const char* text = PickText(strerror_s(buffer, sizeof(buffer), errnum), buffer);
#else
  const char* text = PickText(strerror_r(errnum, buffer, sizeof(buffer)), buffer);
#endif
  AppendSerialErrorDetail(err, text);
}
