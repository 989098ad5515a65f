#pragma once
// Line settings of one serial port, copied whole by value.

#include <cstdint>

enum SerialParity : int32_t { kParityNone = 0, kParityOdd = 1, kParityEven = 2, kParityMark = 3, kParitySpace = 4 };
enum SerialStopBits : int32_t { kStopOne = 0, kStopOneAndHalf = 1, kStopTwo = 2 };

struct SerialSettings {
  int32_t baudRate = 57600;
  int32_t parity = kParityNone;
  int32_t stopBits = kStopOne;
  int32_t dataBits = 8;
  int32_t outputQueueSize = 1024;  // accepted; POSIX has no per-port queue sizes
  int32_t inputQueueSize = 1024;
  int32_t readTimeoutMs = 100;   // bound of one platform read
  int32_t writeTimeoutMs = 100;  // bound of one platform write
  int32_t rtsControl = 1;        // 0 off, 1 on, 2 handshake, 3 toggle
  int32_t dtrControl = 1;        // 0 off, 1 on, 2 handshake
  int32_t ctsOutputFlow = 0;
  int32_t dsrOutputFlow = 0;
  int32_t xonXoffOutput = 0;
  int32_t xonXoffInput = 0;
  int32_t xonChar = 0;
  int32_t xoffChar = 0;
  int32_t xonLimit = 0;
  int32_t xoffLimit = 0;
};
