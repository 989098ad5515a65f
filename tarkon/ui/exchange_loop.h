#pragma once
// The window's side of the document's session thread: while an exchange
// waits for the sensor, the user-interface thread runs a nested event loop
// (repaint, input, timers) that the session's completion wakes up. No
// processEvents spin: the loop sleeps until an event or the wake-up comes.
//
// The loop dispatches presses as usual; each is refused by the document's
// line-busy gate while the exchange is pending. Each wait's start is told
// (waitStarted), and when the wait takes long enough to be seen, that too
// (longWait), so the window can grey its commands at once or only then; each wait's
// end (waitEnded) lets it show them again and run what it put off while the
// exchange was pending.

#include <QObject>
#include <functional>
#include <utility>

#include "tarkon/document/exchange_session.h"

class QEventLoop;

class CExchangeLoop : public QObject, public ExchangeLoopHost {
  Q_OBJECT
 public:
  // A wait longer than this is shown (commands greyed).
  static constexpr int kShownAfterMs = 150;

  explicit CExchangeLoop(QObject* parent = nullptr) : QObject(parent) {}

  // ExchangeLoopHost.
  void RunLoop(const std::function<bool()>& finished) override;
  void Wake() override;
  void Ended() override;

  // The nested loop runs (an exchange is pending).
  bool waiting() const { return loop_ != nullptr; }
  // `call` runs once when the pending exchange has ended (a later call
  // replaces an earlier one): for what an operation posted to run after it,
  // which the nested loop would otherwise run in its middle.
  void AfterWait(std::function<void()> call) { afterWait_ = std::move(call); }

 signals:
  void waitStarted();
  void longWait();
  void waitEnded();

 private:
  QEventLoop* loop_ = nullptr;
  const std::function<bool()>* finished_ = nullptr;
  bool shown_ = false;  // longWait was emitted for the running wait
  std::function<void()> afterWait_;
};
