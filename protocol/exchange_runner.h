#pragma once
// Where the packet layer's waits run. A link without a runner waits on the
// calling thread (the command-line tool, the tests). A desktop program gives
// its link a runner that moves each exchange to another thread and keeps the
// window's event loop turning until it has ended, so a silent sensor never
// freezes the window. The runner may refuse an exchange (a press handled
// while another exchange of the same line is still on the wire): the link
// then fails it without touching the line.

#include <functional>

class ExchangeRunner {
 public:
  virtual ~ExchangeRunner() = default;
  // Runs `exchange` to its end before returning; false when refused
  // (nothing ran).
  virtual bool Run(const std::function<void()>& exchange) = 0;
};
