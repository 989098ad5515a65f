#pragma once
// What each state that ends a firmware block transfer means for the
// technician at the sensor: what happened on the line, and what to do
// next. "Error occurred.Code 3" alone says neither; every front end (the
// window, tarkon-cli, and Ostrel's upload, which sends the same blocks)
// shows these words after the code, so they are written once, here, beside
// the states of XmodemSender (xmodem_sender.h). Toolkit-free and free of
// the serial layer, so that anything linking the frame format can use it.

#include <cstdint>

struct TransferStateWords {
  const char* happened;  // what happened, without a capital or a full stop
  const char* toDo;      // what to do now, likewise
};

// The words of a transfer state: 1 no start request, 2 a block not
// acknowledged, 3 the end not acknowledged, 4 stopped by the sender, 5
// cancelled by the receiver. Both texts are empty for 0 (running or
// completed); any other value gets general words.
TransferStateWords TransferStateExplained(int32_t state);
