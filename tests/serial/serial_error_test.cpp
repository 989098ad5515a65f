#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "serial/serial_error.h"

namespace {

std::string Text(const SerialError& err) { return err.text; }

TEST(SerialError, StartsEmpty) {
  SerialError err;
  EXPECT_EQ(err.code, 0);
  EXPECT_STREQ(err.text, "");
}

TEST(SerialError, SetKeepsCodeAndCutsTextToTheRecord) {
  SerialError err;
  SetSerialError(&err, 7, "sc_Open: could not open /dev/ttyS0");
  EXPECT_EQ(err.code, 7);
  EXPECT_STREQ(err.text, "sc_Open: could not open /dev/ttyS0");

  const std::string longText(400, 'x');
  SetSerialError(&err, 16, longText.c_str());
  EXPECT_EQ(Text(err), std::string(255, 'x'));
}

TEST(SerialError, DetailIsAppendedInParentheses) {
  SerialError err;
  SetSerialError(&err, 16, "sc_PurgeBuffers: PurgeComm failed");
  AppendSerialErrorDetail(&err, "Input/output error");
  EXPECT_EQ(Text(err), "sc_PurgeBuffers: PurgeComm failed (Input/output error)");
}

TEST(SerialError, TextOf252CharactersGetsNoDetail) {
  SerialError err;
  const std::string text252(252, 'a');
  SetSerialError(&err, 1, text252.c_str());
  AppendSerialErrorDetail(&err, "detail");
  EXPECT_EQ(Text(err), text252);

  const std::string text255(255, 'b');
  SetSerialError(&err, 1, text255.c_str());
  AppendSerialErrorDetail(&err, "detail");
  EXPECT_EQ(Text(err), text255);
}

TEST(SerialError, TextOf251CharactersGetsAShortenedDetail) {
  SerialError err;
  const std::string text251(251, 'a');
  SetSerialError(&err, 1, text251.c_str());
  AppendSerialErrorDetail(&err, "detail");
  // 251 + " (" + "d" + ")" = 255 characters and the NUL.
  EXPECT_EQ(Text(err), text251 + " (d)");
  EXPECT_EQ(std::strlen(err.text), 255u);
}

TEST(SerialError, LongDetailIsCutToFitTheRecord) {
  SerialError err;
  SetSerialError(&err, 1, "short");
  const std::string detail(600, 'z');
  AppendSerialErrorDetail(&err, detail.c_str());
  const std::string text = Text(err);
  ASSERT_EQ(text.size(), 255u);
  EXPECT_EQ(text.substr(0, 7), "short (");
  EXPECT_EQ(text.back(), ')');
}

TEST(SerialError, SystemTextIsTheSystemsWording) {
  SerialError err;
  SetSerialError(&err, 7, "sc_Open: could not open /dev/ttyS9");
  AppendSystemErrorText(&err, ENOENT);
  EXPECT_EQ(Text(err), std::string("sc_Open: could not open /dev/ttyS9 (") + std::strerror(ENOENT) + ")");
}

TEST(SerialError, NullRecordIsIgnored) {
  SetSerialError(nullptr, 1, "x");
  AppendSerialErrorDetail(nullptr, "x");
  AppendSystemErrorText(nullptr, EIO);
  SerialError err;
  SetSerialError(&err, 3, "kept");
  AppendSerialErrorDetail(&err, nullptr);
  EXPECT_STREQ(err.text, "kept");
}

}  // namespace
