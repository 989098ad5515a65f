// The session thread: with a host, an exchange of the owning thread runs on
// the session thread while the host's loop turns, a second one started from
// that loop is refused (never run later), calls from other threads run where
// they are made, and an early end of the loop still waits for the exchange.
// Through the document: a settings re-read waits on the session, and a press
// made while it waits is refused.

#include "tarkon/document/exchange_session.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "protocol/packet_link.h"
#include "tarkon/document/krv02_doc.h"
#include "tarkon/document/virtual_sensor_port.h"
#include "support/temp_dir.h"

namespace {

using namespace std::chrono_literals;

// A host loop without a toolkit: it dispatches `onTurn` once per turn and
// sleeps until woken (or 5 ms).
class FakeLoop : public ExchangeLoopHost {
 public:
  std::function<void()> onTurn;
  bool returnAtOnce = false;
  int turns = 0;
  int ended = 0;

  void RunLoop(const std::function<bool()>& finished) override {
    if (returnAtOnce) return;
    while (!finished()) {
      ++turns;
      if (onTurn) onTurn();
      std::unique_lock<std::mutex> lock(mutex_);
      cv_.wait_for(lock, 5ms, [this] { return woken_; });
      woken_ = false;
    }
  }
  void Wake() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      woken_ = true;
    }
    cv_.notify_all();
  }
  void Ended() override { ++ended; }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool woken_ = false;
};

TEST(ExchangeSession, WithoutAHostAnExchangeRunsOnTheCaller) {
  ExchangeSession session;
  std::thread::id ranOn;
  EXPECT_TRUE(session.Run([&] { ranOn = std::this_thread::get_id(); }));
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  EXPECT_EQ(session.moved(), 0u);
}

TEST(ExchangeSession, WithAHostTheLoopTurnsAndASecondExchangeIsRefused) {
  ExchangeSession session;
  FakeLoop loop;
  session.SetHost(&loop);
  int pendingSeen = 0;
  int refused = 0;
  std::atomic<bool> secondRan{false};
  loop.onTurn = [&] {
    if (session.Pending()) ++pendingSeen;
    if (!session.Run([&] { secondRan = true; })) ++refused;
  };
  std::thread::id ranOn;
  std::thread::id innerOn;
  EXPECT_TRUE(session.Run([&] {
    ranOn = std::this_thread::get_id();
    std::this_thread::sleep_for(60ms);
    // The packet layer's own nested calls (a recovery pause) run in place.
    session.Run([&] { innerOn = std::this_thread::get_id(); });
  }));
  EXPECT_NE(ranOn, std::this_thread::get_id());
  EXPECT_EQ(innerOn, ranOn);
  EXPECT_GT(loop.turns, 3);
  EXPECT_EQ(pendingSeen, loop.turns);
  EXPECT_EQ(refused, loop.turns);
  EXPECT_FALSE(session.Pending());
  EXPECT_EQ(loop.ended, 1);
  // Refused means dropped: nothing of it runs later either.
  EXPECT_TRUE(session.Run([] {}));
  EXPECT_FALSE(secondRan);
  EXPECT_EQ(session.moved(), 2u);
}

TEST(ExchangeSession, AnotherThreadRunsItsExchangeInPlace) {
  ExchangeSession session;
  FakeLoop loop;
  session.SetHost(&loop);
  std::thread::id caller;
  std::thread::id ranOn;
  std::thread other([&] {
    caller = std::this_thread::get_id();
    EXPECT_TRUE(session.Run([&] { ranOn = std::this_thread::get_id(); }));
  });
  other.join();
  EXPECT_EQ(ranOn, caller);
  EXPECT_EQ(loop.turns, 0);
}

TEST(ExchangeSession, ALoopThatEndsEarlyStillWaitsForTheExchange) {
  ExchangeSession session;
  FakeLoop loop;
  loop.returnAtOnce = true;
  session.SetHost(&loop);
  bool finished = false;
  EXPECT_TRUE(session.Run([&] {
    std::this_thread::sleep_for(30ms);
    finished = true;
  }));
  EXPECT_TRUE(finished);
  EXPECT_FALSE(session.Pending());
}

TEST(ExchangeSession, ARefusedPacketExchangeFailsAsLineBusyWithoutTouchingTheLine) {
  ExchangeSession session;
  FakeLoop loop;
  session.SetHost(&loop);
  PacketLink link;  // no port: an exchange that ran would fail otherwise
  link.SetRunner(&session);
  bool queried = true;
  loop.onTurn = [&] {
    uint8_t reply[4];
    queried = link.dcs_Query(1, 0, 0x7F, nullptr, 0, reply, sizeof reply);
  };
  session.Run([] { std::this_thread::sleep_for(20ms); });
  EXPECT_FALSE(queried);
  EXPECT_EQ(link.errorCode(), kPacketLineBusy);
  EXPECT_STREQ(link.errorText(), kLineBusyText);
}

TEST(ExchangeSession, DocumentRefusesPressesWhileAReadWaitsAndRunsNoneLater) {
  testsupport::TempDir dir;
  CKRV02Doc doc(dir.File("tarkon.ini"));
  doc.options().SetSaveOnClose(false);
  VirtualSensorPort sensor;
  ConnectValues values = doc.BeginConnect();
  VirtualSensorRequest request;
  request.model = "KRV02";
  ASSERT_TRUE(sensor.Start(request, values)) << sensor.failure();
  ASSERT_TRUE(doc.Connect(values));
  doc.polling().StopPolling();

  FakeLoop loop;
  doc.options().SetExchangeHost(&loop);
  int busySeen = 0;
  int refused = 0;
  loop.onTurn = [&] {
    if (doc.LineBusy() && !doc.LineFree() && !doc.polling().PollAllowed() && !doc.IsAvailable(DocCommand::kDisconnect))
      ++busySeen;
    if (!doc.operations().StartScan()) ++refused;
    if (!doc.currentSettings()->LineBusy()) --refused;
  };
  const unsigned long before = doc.connection().session().moved();
  EXPECT_TRUE(doc.operations().RereadSettings());
  EXPECT_GT(doc.connection().session().moved(), before);
  EXPECT_GT(loop.turns, 0);
  EXPECT_EQ(busySeen, loop.turns);
  EXPECT_EQ(refused, loop.turns);
  EXPECT_TRUE(doc.LineFree());
  doc.options().SetExchangeHost(nullptr);
  doc.Disconnect();
}

}  // namespace
