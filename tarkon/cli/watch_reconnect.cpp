#include "tarkon/cli/watch_reconnect.h"

#include <chrono>
#include <iostream>
#include <thread>

#include "tarkon/cli/cli_output.h"
#include "tarkon/cli/cli_session.h"
#include "tarkon/document/iso_time.h"
#include "tarkon/document/link_status.h"

namespace {

constexpr auto kRetryEvery = std::chrono::seconds(1);
constexpr auto kStep = std::chrono::milliseconds(100);

std::string Now() { return IsoUtcTime(std::chrono::system_clock::now()); }

void Say(const CliSession& s, const char* event, const std::string& text) {
  if (s.options().json) {
    PrintJson({{"event", event}, {"time", Now()}, {"text", text}});
  } else {
    std::cout << "-- " << event << "  " << Now() << "  " << text << std::endl;
  }
}

}  // namespace

bool WaitForReconnect(CliSession& s, const std::function<bool()>& stop) {
  CKRV02Doc& d = s.doc();
  if (!d.connection().CanReconnect()) return false;
  // The notice's words without the window's button: a console user plugs
  // the port back in and the run goes on by itself.
  const LinkNotice& notice = d.connection().linkNotice();
  Say(s, "link lost",
      (notice.fact.empty() ? notice.text : notice.fact) +
          " Plug it back in: this run reconnects by itself once the port is back (--reconnect); Ctrl+C ends it.");
  auto next = std::chrono::steady_clock::now();
  while (!g_interrupted && !stop()) {
    if (std::chrono::steady_clock::now() < next) {
      std::this_thread::sleep_for(kStep);
      continue;
    }
    next = std::chrono::steady_clock::now() + kRetryEvery;
    const ReconnectOutcome outcome = d.connection().Reconnect();
    if (outcome == ReconnectOutcome::kReconnected || outcome == ReconnectOutcome::kOtherSensor) {
      const LinkFacts f = d.connection().linkFacts();
      Say(s, "reconnected", SensorName(f.model, f.serial) + " on " + f.portName);
      if (outcome == ReconnectOutcome::kOtherSensor) Say(s, "other sensor", d.connection().linkNotice().text);
      return true;
    }
    if (outcome == ReconnectOutcome::kRefused) return false;
  }
  return false;
}
