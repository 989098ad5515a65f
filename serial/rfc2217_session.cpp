#include "serial/rfc2217_session.h"

namespace {

using telnet::kIac;

constexpr uint8_t kLineErrorBits = Rfc2217Session::kLineStateBreak | Rfc2217Session::kLineStateFraming |
                                   Rfc2217Session::kLineStateParity | Rfc2217Session::kLineStateOverrun;

// The serial layer's numbering to RFC 2217's and back.
uint8_t WireParity(int32_t parity) { return static_cast<uint8_t>(parity >= 0 && parity <= 4 ? parity + 1 : 0); }
uint8_t WireStopSize(int32_t stopBits) {
  switch (stopBits) {
    case 0: return 1;
    case 1: return 3;  // one and a half
    case 2: return 2;
    default: return 0;
  }
}

// Byte by byte: GCC 12's optimizer warns falsely (stringop-overflow) on a
// range insert into a vector that has just grown, as here.
void Put(std::vector<uint8_t>& out, std::initializer_list<uint8_t> bytes) {
  for (uint8_t b : bytes) out.push_back(b);
}

bool Wanted(uint8_t option) {
  return option == telnet::kOptionComPort || option == telnet::kOptionBinary ||
         option == telnet::kOptionSuppressGoAhead;
}

}  // namespace

std::string GatewayWords(const std::vector<uint8_t>& bytes) {
  std::string text;
  for (uint8_t b : bytes) {
    if (b >= 0x20 && b < 0x7F) {
      text += static_cast<char>(b);
    } else if (!text.empty() && text.back() != ' ') {
      text += ' ';
    }
    if (text.size() >= 80) break;
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text.empty() ? text : ": \"" + text + "\"";
}

std::string Rfc2217Session::ValueText(Setting setting, uint32_t wire) {
  switch (setting) {
    case Setting::kBaud: return std::to_string(wire) + " bit/s";
    case Setting::kParity: {
      static const char* const kNames[] = {"(asked)", "none", "odd", "even", "mark", "space"};
      return wire < 6 ? kNames[wire] : "code " + std::to_string(wire);
    }
    case Setting::kStopSize: return wire == 3 ? "1.5" : std::to_string(wire);
    case Setting::kDataSize: break;
  }
  return std::to_string(wire);
}

void Rfc2217Session::Subnegotiation(uint8_t command, const std::vector<uint8_t>& value, std::vector<uint8_t>& out) {
  Put(out, {kIac, telnet::kSb, telnet::kOptionComPort, command});
  telnet::Escape(value.data(), value.size(), out);
  Put(out, {kIac, telnet::kSe});
}

std::vector<uint8_t> Rfc2217Session::Opening() {
  std::vector<uint8_t> out;
  if (!telnet()) return out;
  for (uint8_t option : {telnet::kOptionComPort, telnet::kOptionBinary, telnet::kOptionSuppressGoAhead}) {
    Put(out, {kIac, telnet::kWill, option});
    willSent_[option] = true;
  }
  for (uint8_t option : {telnet::kOptionBinary, telnet::kOptionSuppressGoAhead}) {
    Put(out, {kIac, telnet::kDo, option});
    doSent_[option] = true;
  }
  return out;
}

void Rfc2217Session::Encode(const uint8_t* bytes, size_t count, std::vector<uint8_t>& out) const {
  if (telnet()) {
    telnet::Escape(bytes, count, out);
  } else {
    out.insert(out.end(), bytes, bytes + count);
  }
}

void Rfc2217Session::Receive(const uint8_t* bytes, size_t count, std::vector<uint8_t>& data,
                             std::vector<uint8_t>& reply) {
  if (!telnet()) {
    data.insert(data.end(), bytes, bytes + count);
    return;
  }
  const size_t start = data.size();
  const bool purging = !purgeAnswered_;
  events_.clear();
  decoder_.Feed(bytes, count, data, events_);
  staleEnd_ = start;
  for (const telnet::Event& event : events_) {
    if (event.kind == telnet::Event::kNegotiation) {
      Negotiate(event, reply);
    } else if (event.option == telnet::kOptionComPort) {
      ComPortAnswer(event);
    }
  }
  // Data decoded while a purge waited for its answer came before it.
  if (purging && !purgeAnswered_) staleEnd_ = data.size();
  data.erase(data.begin() + static_cast<std::ptrdiff_t>(start), data.begin() + static_cast<std::ptrdiff_t>(staleEnd_));
}

void Rfc2217Session::Negotiate(const telnet::Event& event, std::vector<uint8_t>& reply) {
  const uint8_t option = event.option;
  switch (event.verb) {
    case telnet::kDo:
      if (Wanted(option)) {
        if (option == telnet::kOptionComPort && !comPortAccepted_) {
          comPortAccepted_ = true;
          // Line errors are to be told (break, framing, parity, overrun).
          Subnegotiation(kSetLineStateMask, {kLineErrorBits}, reply);
        }
        if (!willSent_[option]) Put(reply, {kIac, telnet::kWill, option});
        willSent_[option] = true;
      } else if (!refusedWill_[option]) {
        Put(reply, {kIac, telnet::kWont, option});
        refusedWill_[option] = true;
      }
      break;
    case telnet::kDont:
      if (option == telnet::kOptionComPort) comPortRefused_ = true;
      if (willSent_[option]) Put(reply, {kIac, telnet::kWont, option});
      willSent_[option] = false;
      break;
    case telnet::kWill:
      if (option == telnet::kOptionBinary || option == telnet::kOptionSuppressGoAhead) {
        if (!doSent_[option]) Put(reply, {kIac, telnet::kDo, option});
        doSent_[option] = true;
      } else if (!refusedDo_[option]) {
        Put(reply, {kIac, telnet::kDont, option});  // no echo, nothing else
        refusedDo_[option] = true;
      }
      break;
    case telnet::kWont:
      if (option == telnet::kOptionComPort) comPortRefused_ = true;
      if (doSent_[option]) Put(reply, {kIac, telnet::kDont, option});
      doSent_[option] = false;
      break;
    default: break;
  }
}

void Rfc2217Session::ComPortAnswer(const telnet::Event& event) {
  const std::vector<uint8_t>& payload = event.payload;
  if (payload.empty()) return;
  const uint8_t command = payload[0];
  const size_t size = payload.size() - 1;
  uint32_t value = 0;
  for (size_t i = 1; i < payload.size() && i <= 4; ++i) value = (value << 8) | payload[i];
  switch (command) {
    case kServerOffset + kSetBaudRate:
      if (size < 4) break;
      if (baud_.waiting) {
        Settle(baud_, value);
      } else if (baudQuery_) {
        baudQuery_ = false;
        baudAnswered_ = true;
      }
      break;
    case kServerOffset + kSetDataSize:
      if (size >= 1) Settle(dataSize_, payload[1]);
      break;
    case kServerOffset + kSetParity:
      if (size >= 1) Settle(parity_, payload[1]);
      break;
    case kServerOffset + kSetStopSize:
      if (size >= 1) Settle(stopSize_, payload[1]);
      break;
    case kServerOffset + kNotifyLineState:
      if (size >= 1) lineErrors_ |= static_cast<uint8_t>(payload[1] & kLineErrorBits);
      break;
    case kServerOffset + kPurgeData:
      if (!purgeAnswered_) staleEnd_ = event.dataAt;
      purgeAnswered_ = true;
      break;
    default: break;  // modem state, flow control, signature: nothing we wait for
  }
}

void Rfc2217Session::Settle(Pending& pending, uint32_t answered) {
  if (!pending.waiting) return;  // unasked, or answered already: a late repeat
  pending.waiting = false;
  if (settings_ != Answer::kWaiting) return;
  if (answered != pending.asked) {
    settings_ = Answer::kRefused;
    refusal_ = std::string(pending.name) + " " + ValueText(pending.setting, pending.asked) + " was answered with " +
               ValueText(pending.setting, answered);
    return;
  }
  if (!baud_.waiting && !dataSize_.waiting && !parity_.waiting && !stopSize_.waiting)
    settings_ = Answer::kAcknowledged;
}

std::vector<uint8_t> Rfc2217Session::RequestLineSettings(const LineRequest& request) {
  std::vector<uint8_t> out;
  if (!telnet()) return out;
  refusal_.clear();
  settings_ = Answer::kWaiting;
  baud_.asked = static_cast<uint32_t>(request.baudRate);
  dataSize_.asked = static_cast<uint32_t>(request.dataBits);
  parity_.asked = WireParity(request.parity);
  stopSize_.asked = WireStopSize(request.stopBits);
  for (Pending* p : {&baud_, &dataSize_, &parity_, &stopSize_}) p->waiting = true;
  const uint32_t b = baud_.asked;
  Subnegotiation(kSetBaudRate,
                 {static_cast<uint8_t>(b >> 24), static_cast<uint8_t>(b >> 16), static_cast<uint8_t>(b >> 8),
                  static_cast<uint8_t>(b)},
                 out);
  Subnegotiation(kSetDataSize, {static_cast<uint8_t>(dataSize_.asked)}, out);
  Subnegotiation(kSetParity, {static_cast<uint8_t>(parity_.asked)}, out);
  Subnegotiation(kSetStopSize, {static_cast<uint8_t>(stopSize_.asked)}, out);
  return out;
}

std::string Rfc2217Session::Unanswered() const {
  std::string list;
  for (const Pending* p : {&baud_, &dataSize_, &parity_, &stopSize_}) {
    if (!p->waiting) continue;
    if (!list.empty()) list += ", ";
    list += p->name;
  }
  return list;
}

std::vector<uint8_t> Rfc2217Session::SetModemLines(bool dtr, bool rts) const {
  std::vector<uint8_t> out;
  if (!telnet()) return out;
  // SET-CONTROL values: 8/9 DTR on/off, 11/12 RTS on/off.
  Subnegotiation(kSetControl, {static_cast<uint8_t>(dtr ? 8 : 9)}, out);
  Subnegotiation(kSetControl, {static_cast<uint8_t>(rts ? 11 : 12)}, out);
  return out;
}

std::vector<uint8_t> Rfc2217Session::RequestPurge(uint8_t which) {
  std::vector<uint8_t> out;
  if (!telnet()) return out;
  purgeAnswered_ = false;
  Subnegotiation(kPurgeData, {which}, out);
  return out;
}

std::vector<uint8_t> Rfc2217Session::QueryBaudRate() {
  std::vector<uint8_t> out;
  if (!telnet()) return out;
  baudQuery_ = true;
  baudAnswered_ = false;
  Subnegotiation(kSetBaudRate, {0, 0, 0, 0}, out);
  return out;
}

uint8_t Rfc2217Session::TakeLineErrors() {
  const uint8_t errors = lineErrors_;
  lineErrors_ = 0;
  return errors;
}
