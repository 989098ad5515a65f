#include "serial/telnet_codec.h"

namespace telnet {

void Escape(const uint8_t* bytes, size_t count, std::vector<uint8_t>& out) {
  out.reserve(out.size() + count + count / 16);
  for (size_t i = 0; i < count; ++i) {
    out.push_back(bytes[i]);
    if (bytes[i] == kIac) out.push_back(kIac);
  }
}

void Decoder::Feed(const uint8_t* bytes, size_t count, std::vector<uint8_t>& data, std::vector<Event>& events) {
  for (size_t i = 0; i < count; ++i) {
    const uint8_t b = bytes[i];
    switch (state_) {
      case State::kInData:
        if (b == kIac) {
          state_ = State::kAfterIac;
        } else {
          data.push_back(b);
        }
        break;
      case State::kAfterIac:
        if (b == kIac) {
          data.push_back(kIac);  // a doubled 0xFF is one data byte
          state_ = State::kInData;
        } else if (b == kWill || b == kWont || b == kDo || b == kDont) {
          verb_ = b;
          state_ = State::kVerb;
        } else if (b == kSb) {
          state_ = State::kSbOption;
        } else {
          state_ = State::kInData;  // NOP, GA, a stray SE: nothing to do
        }
        break;
      case State::kVerb: {
        Event event;
        event.kind = Event::kNegotiation;
        event.verb = verb_;
        event.option = b;
        event.dataAt = data.size();
        events.push_back(std::move(event));
        state_ = State::kInData;
        break;
      }
      case State::kSbOption:
        sub_ = Event{};
        sub_.kind = Event::kSubnegotiation;
        sub_.option = b;
        subTooLong_ = false;
        state_ = State::kInSb;
        break;
      case State::kInSb:
        if (b == kIac) {
          state_ = State::kSbAfterIac;
        } else if (sub_.payload.size() < kMaxSubnegotiation) {
          sub_.payload.push_back(b);
        } else {
          subTooLong_ = true;
        }
        break;
      case State::kSbAfterIac:
        if (b == kSe) {
          sub_.dataAt = data.size();
          if (!subTooLong_) events.push_back(std::move(sub_));
          sub_ = Event{};
          state_ = State::kInData;
        } else if (b == kIac) {
          if (sub_.payload.size() < kMaxSubnegotiation) {
            sub_.payload.push_back(kIac);
          } else {
            subTooLong_ = true;
          }
          state_ = State::kInSb;
        } else {
          // IAC and anything but SE or IAC inside a sub-negotiation: the
          // peer broke it off. What it held is dropped; the byte is read as
          // the command it starts.
          sub_ = Event{};
          state_ = State::kAfterIac;
          --i;
        }
        break;
    }
  }
}

}  // namespace telnet
