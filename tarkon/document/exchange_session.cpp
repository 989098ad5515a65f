#include "tarkon/document/exchange_session.h"

ExchangeSession::~ExchangeSession() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  cv_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void ExchangeSession::SetHost(ExchangeLoopHost* host) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (pending_) return;  // a host does not change under a running loop
  host_ = host;
  owner_ = std::this_thread::get_id();
}

bool ExchangeSession::Pending() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return pending_;
}

unsigned long ExchangeSession::moved() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return moved_;
}

bool ExchangeSession::Finished() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return done_;
}

bool ExchangeSession::Run(const std::function<void()>& exchange) {
  ExchangeLoopHost* host = nullptr;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (host_ == nullptr || std::this_thread::get_id() != owner_) {
      lock.unlock();
      exchange();
      return true;
    }
    // A press dispatched by the loop of a pending exchange: never a second
    // exchange on the line, never one that waits for its turn.
    if (pending_) return false;
    host = host_;
    if (!thread_.joinable()) thread_ = std::thread([this] { Serve(); });
    job_ = &exchange;
    pending_ = true;
    done_ = false;
    ++moved_;
  }
  cv_.notify_all();
  host->RunLoop([this] { return Finished(); });
  // The loop may have ended early (the program is closing): the exchange
  // is bounded by its budget, so waiting for it here cannot hang.
  {
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait(lock, [this] { return done_; });
    pending_ = false;
  }
  host->Ended();
  return true;
}

void ExchangeSession::Serve() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    cv_.wait(lock, [this] { return quit_ || job_ != nullptr; });
    if (job_ == nullptr) return;  // quit with nothing handed over
    const std::function<void()>* job = job_;
    job_ = nullptr;
    lock.unlock();
    (*job)();
    lock.lock();
    done_ = true;
    // Woken under the lock: the owner cannot see the end, return and take
    // its host away before this call has returned.
    if (host_ != nullptr) host_->Wake();
    cv_.notify_all();
  }
}
