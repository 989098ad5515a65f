#include "tarkon/ui/exchange_loop.h"

#include <QEventLoop>
#include <QTimer>

void CExchangeLoop::RunLoop(const std::function<bool()>& finished) {
  if (finished()) return;
  emit waitStarted();
  if (finished()) return;
  QEventLoop loop;
  QTimer shown;
  shown.setSingleShot(true);
  connect(&shown, &QTimer::timeout, this, [this] {
    shown_ = true;
    emit longWait();
  });
  shown.start(kShownAfterMs);
  // Any earlier loop is that of an exchange whose wait started before this
  // one; none is expected (the document refuses a second exchange), but the
  // pointers are put back as they were all the same.
  QEventLoop* outer = loop_;
  const std::function<bool()>* outerFinished = finished_;
  loop_ = &loop;
  finished_ = &finished;
  // The wake-up may have come before the loop was entered: look once more.
  if (!finished()) loop.exec();
  loop_ = outer;
  finished_ = outerFinished;
}

void CExchangeLoop::Ended() {
  shown_ = false;
  emit waitEnded();
  if (std::function<void()> call = std::move(afterWait_)) {
    afterWait_ = nullptr;
    call();
  }
}

void CExchangeLoop::Wake() {
  // Posted to this object's thread, the owner of the loop; if no loop runs
  // any more by then, there is nothing to do.
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (loop_ != nullptr && finished_ != nullptr && (*finished_)()) loop_->quit();
      },
      Qt::QueuedConnection);
}
