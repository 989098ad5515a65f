// The link as the status bar names it, and the line going away in words a
// technician understands.

#include <string>

#include "ostrel/operations/operations.h"

namespace ostrel {

std::string Operations::LinkText() const {
  const std::string port = portName_.empty() ? link_.port().device() : portName_;
  if (link_.port().HungUp()) return "Line lost: " + port + " went away";
  if (!link_.port().IsOpen()) return "Not connected";
  const std::string baud = link_.port().SettingsAtGateway() ? std::string("the gateway's baud rate")
                                                              : std::to_string(link_.port().baudRate()) + " baud";
  std::string text = port + ", " + baud + ", address " +
                     (link_.address() == 0 ? std::string("0 (global)") : std::to_string(link_.address()));
  if (!connected_) return text + ", no sensor answered";
  text += link_.crc() ? ", CRC-16" : ", checksum";
  if (!fields_.modelPanel.empty() || !fields_.serialPanel.empty())
    text += ", " + fields_.modelPanel + (fields_.serialPanel.empty() ? "" : " SN " + fields_.serialPanel);
  text += polling_ ? ", polling" : ", idle";
  text += ", replies " + std::to_string(link_.goodReplies()) + " good / " + std::to_string(link_.failedReplies()) +
          " failed";
  return text;
}

std::string Operations::LineLostExplanation() const {
  const std::string port = portName_.empty() ? link_.port().device() : portName_;
  if (!link_.port().lostReason().empty())
    return "The connection to the sensor was lost: " + link_.port().lostReason() +
           ". Press Reconnect once the gateway serves its line again.";
  return "The connection to the sensor was lost: the port " + port +
         " went away (the USB adapter was unplugged or lost power, or the far end closed the line). "
         "Plug it back in, then press Reconnect.";
}

}  // namespace ostrel
