#pragma once
// When the link to the connected sensor goes away: which port it was (so
// that its return can be recognised), why it went (for the bar the window
// shows across its main area, with "Reconnect" and "Dismiss"), and the
// texts of the reconnect that follows.

#include <cstdint>
#include <string>
#include <vector>

// The port of a connection, as recognisable after a replug: the name the
// user connected by, the device that was opened, the adapter's stable
// by-id name and its USB serial number (both empty for a port without
// them, such as a built-in UART or a virtual sensor's line).
struct LinkIdentity {
  std::string portName;
  std::string device;
  std::string byId;
  std::string usbSerial;
};

// The identity of the port opened as `device` (named `portName` by the
// user), from the by-id links under `devRoot` and the USB device attributes
// under `sysRoot`. Nothing is opened.
LinkIdentity IdentifyPort(const std::string& portName, const std::string& device,
                          const std::string& devRoot = "/dev", const std::string& sysRoot = "/sys");

// Whether a port that appeared (its names: device node, by-id link or any
// other link; and its USB serial number when known) is the port of `lost`:
// the same by-id name, the same name or device, or the same USB serial
// number. When it is, `reopen` gets the name to open: the name the user
// connected by when that is back, else the by-id name, else the node that
// appeared (an adapter that came back under another number).
bool PortIsBack(const LinkIdentity& lost, const std::vector<std::string>& names, const std::string& usbSerial,
                std::string* reopen);

// Why the bar is shown.
enum class LinkNoticeKind {
  kNone,
  kPortGone,         // the port's device went away (unplug, hang-up)
  kSilent,           // the port is open, the sensor stopped answering
  kPortBack,         // the port that went away is back: reconnect offered
  kReconnectFailed,  // a reconnect was tried and failed
  kOtherSensor,      // reconnected, but another sensor answers there
};

struct LinkNotice {
  LinkNoticeKind kind = LinkNoticeKind::kNone;
  std::string text;             // the bar's words
  bool offersReconnect = false;  // the bar shows "Reconnect"
  // What happened, without what to press in the window: for a front end
  // with no bar and no button (a console run says what its user does).
  std::string fact = std::string();
};

// The bar's texts. `port` is the port as the user named it, `sensor` the
// sensor as SensorName gives it.
LinkNotice PortGoneNotice(const std::string& port, const std::string& sensor, bool autoReconnect);
// The same for a gateway's network line whose connection was closed or
// reset (`gateway` as "host:port").
LinkNotice GatewayGoneNotice(const std::string& port, const std::string& gateway, const std::string& sensor);
LinkNotice SilentNotice(const std::string& port, uint32_t failedInARow);
LinkNotice PortAbsentNotice(const std::string& port);
LinkNotice PortBackNotice(const std::string& port, const std::string& sensor);
LinkNotice ReconnectFailedNotice(const std::string& port, const std::string& why);
LinkNotice OtherSensorNotice(const std::string& port, const std::string& before, const std::string& now);
// Log lines of a reconnect.
std::string ReconnectedLine(const std::string& port, const std::string& sensor);
std::string OtherSensorLine(const std::string& port, const std::string& before, const std::string& now);
// The sensor that answered gave no serial number this time, so it cannot be
// taken for the one that was lost.
std::string UnconfirmedSensorLine(const std::string& port, const std::string& before, const std::string& now);
std::string SensorAnswersAgainLine(const std::string& port);

// This many failed replies in a row, with no good one between, mean the
// sensor has gone silent (a sensor on a noisy line that loses three
// replies in ten never gets there by chance).
constexpr uint32_t kSilentAfterFailures = 10;

// What a reconnect came to.
enum class ReconnectOutcome {
  kReconnected,   // same sensor again (same model string and serial number)
  kOtherSensor,   // connected, but the model string or the serial number differs
  kPortAbsent,    // the port's device is not there (yet): nothing tried, nothing logged
  kFailed,        // tried; the log and the notice say why
  kRefused,       // nothing to reconnect, or the line is busy
};

// What PortAppeared did.
enum class PortBackAction {
  kNotOurs,          // no link was lost, or this is another port
  kOffered,          // the bar offers "Reconnect"
  kReconnected,      // reconnected automatically (the serial number may differ: see the notice)
  kReconnectFailed,  // tried automatically and failed
};
