// The engine's setting rows and the virtual sensor each keep their own
// description of the sensor's replies; every other test compares the two
// with each other. Here both are held against fixtures written from the
// reply layouts (offset and size of every setting in each settings reply),
// so a shifted offset in either is caught even when it shifted in both.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "sim/reply_records.h"
#include "tarkon/models/model_table.h"
#include "tarkon/models/setting_values.h"

namespace {

// One setting in a reply: where it sits, the value the fixture gives it,
// and how the virtual sensor stores that value.
struct FixtureField {
  const char* name;
  size_t offset;
  size_t size;
  uint32_t value;
  std::function<void(sim::Settings&, uint32_t)> store;
};

struct ReplyFixture {
  const char* source;
  size_t size;
  std::vector<FixtureField> fields;
  // The virtual sensor's reply with the fixture's values, in checksum mode
  // (16-bit fields least significant byte first, as the engine holds them).
  std::function<std::vector<uint8_t>(const sim::SensorState&)> reply;
};

uint16_t U16(uint32_t v) { return static_cast<uint16_t>(v); }
uint8_t U8(uint32_t v) { return static_cast<uint8_t>(v); }

const std::vector<ReplyFixture>& Fixtures() {
  static const std::vector<ReplyFixture> fixtures = {
      {"GetSensorSetup", 31,
       {{"Mode", 9, 1, 7, [](sim::Settings& s, uint32_t v) { s.rangeMode = U8(v); }},
        {"Threshold", 12, 1, 0x7B, [](sim::Settings& s, uint32_t v) { s.threshold = U8(v); }},
        {"Scan Interval", 13, 2, 0x1234, [](sim::Settings& s, uint32_t v) { s.scanInterval = U16(v); }},
        {"Dropout", 15, 2, 0x0203, [](sim::Settings& s, uint32_t v) { s.dropout = U16(v); }},
        {"Smooth", 17, 2, 0x0405, [](sim::Settings& s, uint32_t v) { s.smooth = U16(v); }},
        {"Order", 19, 2, 0x0011, [](sim::Settings& s, uint32_t v) { s.order = U16(v); }},
        {"Range Offset", 21, 2, 0x0607, [](sim::Settings& s, uint32_t v) { s.rangeOffset = U16(v); }},
        {"Cosine", 23, 2, 0x0809, [](sim::Settings& s, uint32_t v) { s.cosine = U16(v); }},
        {"Multiplier", 25, 2, 0x0A0B, [](sim::Settings& s, uint32_t v) { s.multiplier = U16(v); }},
        {"Laser", 29, 2, 1, [](sim::Settings& s, uint32_t v) { s.laserOn = v == 1; }}},
       [](const sim::SensorState& s) { return sim::records::Krv02Setup(s, 0); }},
      {"GetKRV04Setup", 28,
       {{"Max. Laser Power", 8, 1, 0xC8, [](sim::Settings& s, uint32_t v) { s.maxLaserPower = U8(v); }},
        {"Min. Laser Power", 9, 1, 0x0C, [](sim::Settings& s, uint32_t v) { s.minLaserPower = U8(v); }},
        {"Threshold", 10, 1, 0x7B, [](sim::Settings& s, uint32_t v) { s.threshold = U8(v); }},
        {"Min. Range", 12, 2, 0x1112, [](sim::Settings& s, uint32_t v) { s.analog.minRange = U16(v); }},
        {"Max. Range", 14, 2, 0x1314, [](sim::Settings& s, uint32_t v) { s.analog.maxRange = U16(v); }},
        {"Min. Volts", 16, 2, 0x1516, [](sim::Settings& s, uint32_t v) { s.analog.minVolts = U16(v); }},
        {"Max. Volts", 18, 2, 0x1718, [](sim::Settings& s, uint32_t v) { s.analog.maxVolts = U16(v); }},
        {"Out of Range", 20, 2, 0x191A, [](sim::Settings& s, uint32_t v) { s.analog.outOfRangeVolts = U16(v); }},
        {"Hold Last Valid Range", 26, 1, 1, [](sim::Settings& s, uint32_t v) { s.holdLastRange = U8(v); }},
        {"Mode", 27, 1, 1, [](sim::Settings& s, uint32_t v) { s.rangeMode = U8(v); }}},
       [](const sim::SensorState& s) { return sim::records::Krv04Setup(s, 0); }},
      {"GetAnalogFactors", 22,
       {{"Min. Volts", 0, 2, 0x2122, [](sim::Settings& s, uint32_t v) { s.analog.minVolts = U16(v); }},
        {"Min. Range", 2, 2, 0x2324, [](sim::Settings& s, uint32_t v) { s.analog.minRange = U16(v); }},
        {"Max. Volts", 4, 2, 0x2526, [](sim::Settings& s, uint32_t v) { s.analog.maxVolts = U16(v); }},
        {"Max. Range", 6, 2, 0x2728, [](sim::Settings& s, uint32_t v) { s.analog.maxRange = U16(v); }},
        {"Offset", 8, 2, 0x292A, [](sim::Settings& s, uint32_t v) { s.analog.offsetVolts = U16(v); }},
        {"Out of Range", 10, 2, 0x2B2C, [](sim::Settings& s, uint32_t v) { s.analog.outOfRangeVolts = U16(v); }}},
       [](const sim::SensorState& s) { return sim::records::AnalogFactors(s.settings, 0); }},
      // The averaging count: 32 bits, the word at 4 its high half, the word at 6 its low half.
      {"GetConfigVars", 10,
       {{"Averaging Period(ms)", 4, 4, 0x00031234, [](sim::Settings& s, uint32_t v) {
           s.averagingHigh = U16(v >> 16);
           s.averagingLow = U16(v);
         }}},
       [](const sim::SensorState& s) { return sim::records::ConfigVars(s.settings, 0); }},
      {"ReadWaneParams", 12,
       {{"Min Wane Height", 0, 2, 0x3132, [](sim::Settings& s, uint32_t v) { s.wane.height = U16(v); }},
        {"Min Wane Width", 2, 2, 0x3334, [](sim::Settings& s, uint32_t v) { s.wane.width = U16(v); }},
        {"Conveyer Speed", 4, 2, 0x3536, [](sim::Settings& s, uint32_t v) { s.wane.speed = U16(v); }},
        {"Pulse duration", 10, 2, 0x3738, [](sim::Settings& s, uint32_t v) { s.wane.pulse = U16(v); }}},
       [](const sim::SensorState& s) { return sim::records::Wane(s.settings, 0); }},
  };
  return fixtures;
}

// The fixture's bytes: every field at its offset, least significant byte
// first; the 32-bit count as its high word, then its low word.
std::vector<uint8_t> FixtureBytes(const ReplyFixture& reply) {
  std::vector<uint8_t> bytes(reply.size, 0);
  for (const FixtureField& f : reply.fields) {
    if (f.size == 4) {
      const uint32_t halves[] = {f.value >> 16, f.value & 0xFFFF};
      for (size_t i = 0; i < 2; ++i) {
        bytes[f.offset + 2 * i] = static_cast<uint8_t>(halves[i]);
        bytes[f.offset + 2 * i + 1] = static_cast<uint8_t>(halves[i] >> 8);
      }
      continue;
    }
    for (size_t i = 0; i < f.size; ++i) bytes[f.offset + i] = static_cast<uint8_t>(f.value >> (8 * i));
  }
  return bytes;
}

TEST(ReplyLayouts, TheVirtualSensorPutsEverySettingWhereTheLayoutSays) {
  for (const ReplyFixture& reply : Fixtures()) {
    SCOPED_TRACE(reply.source);
    sim::SensorState state;
    for (const FixtureField& f : reply.fields) f.store(state.settings, f.value);
    const std::vector<uint8_t> sent = reply.reply(state);
    const std::vector<uint8_t> expected = FixtureBytes(reply);
    ASSERT_EQ(sent.size(), reply.size);
    for (const FixtureField& f : reply.fields)
      for (size_t i = 0; i < f.size; ++i) EXPECT_EQ(sent[f.offset + i], expected[f.offset + i]) << f.name << " byte " << i;
  }
}

TEST(ReplyLayouts, EveryModelsRowsReadEverySettingWhereTheLayoutSays) {
  size_t rowsChecked = 0;
  for (const ModelEntry& model : ModelTable()) {
    SCOPED_TRACE(model.displayName);
    for (const SettingField& row : model.parts().settingRows()) {
      if (row.source == nullptr) continue;
      SCOPED_TRACE(row.name);
      for (const ReplyFixture& reply : Fixtures()) {
        if (reply.source != std::string(row.source)) continue;
        const FixtureField* field = nullptr;
        for (const FixtureField& f : reply.fields)
          if (f.name == std::string(row.name)) field = &f;
        ASSERT_NE(field, nullptr) << "the layout of " << reply.source << " holds no such setting";
        const std::vector<uint8_t> bytes = FixtureBytes(reply);
        ASSERT_EQ(row.size, field->size);
        ASSERT_LE(row.offset + row.size, bytes.size());
        const std::vector<uint8_t> rowBytes(bytes.begin() + static_cast<long>(row.offset),
                                            bytes.begin() + static_cast<long>(row.offset + row.size));
        EXPECT_EQ(setting_values::RawValue(row, rowBytes), static_cast<int64_t>(field->value));
        ++rowsChecked;
      }
    }
  }
  EXPECT_GT(rowsChecked, 40u);
}

}  // namespace
