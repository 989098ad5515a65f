// A typed value is written exactly as typed or refused, for every numeric
// setting of every model in the model table, whatever its spelling: an
// exponent, a leading "+", blanks around it are the same number; a
// fraction on a whole-number field or a step finer than the field's,
// "inf", "nan", hexadecimal and numbers no double holds are refused with
// nothing sent. Through the document's change by name against the virtual
// sensor (the sensor's bytes read back), and through the offline edit of a
// settings file (the file's bytes).

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "support/sim_document.h"
#include "tarkon/document/numeric_text.h"
#include "tarkon/fleet/setting_layout.h"
#include "tarkon/fleet/settings_backup.h"
#include "tarkon/fleet/settings_bench.h"
#include "tarkon/models/model_table.h"

namespace {

using K = model_backup::SettingKind;

// The spellings of one value, and whether each must be taken.
struct Spelling {
  std::string text;
  bool taken;
  const char* what;
};

std::string Plain(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.6f", v);
  std::string s = text;
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  return s;
}

// "2.5e+01", "7e+00": the value with an exponent.
std::string Exponent(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.6e", v);
  std::string s = text;
  const size_t e = s.find('e');
  std::string mantissa = s.substr(0, e);
  while (mantissa.back() == '0') mantissa.pop_back();
  if (mantissa.back() == '.') mantissa.pop_back();
  return mantissa + s.substr(e);
}

std::vector<Spelling> SpellingsOf(double v, bool whole, double step, bool rounds) {
  std::vector<Spelling> s = {
      {Exponent(v), true, "exponent"},
      {"+" + Plain(v), true, "leading +"},
      {"  " + Plain(v) + " ", true, "blanks around"},
      {Plain(v) + (Plain(v).find('.') == std::string::npos ? ".000" : "000"), true, "trailing zeros"},
      {"inf", false, "inf"},
      {"-inf", false, "-inf"},
      {"nan", false, "nan"},
      {"0x10", false, "hexadecimal"},
      {"1e400", false, "beyond a double"},
      {"1e-400", false, "below a double"},
      {Plain(v) + " 1", false, "two numbers"},
  };
  if (whole) s.push_back({Plain(v) + ".5", false, "a fraction of a whole number"});
  // A tenth of a step more; the averaging period is the one field whose
  // step rounds (the sensor keeps its count in steps), and says so.
  if (!whole && !rounds) s.push_back({Plain(v + step / 10), false, "finer than the step"});
  return s;
}

// A value the field takes that differs from `now`, preferring one with
// several digits (a spelling read by its leading digits would show).
std::optional<double> BaseValue(const SettingField& row, const setting_values::Limits& limits, double now) {
  const bool whole = row.kind == K::kWhole || row.kind == K::kMode;
  std::vector<double> candidates = whole ? std::vector<double>{100, 25, 17, 7, 3, 1} : std::vector<double>{
      6, 3, 2.5, 1.25, 0.75, -2.5, -1.25};
  if (row.choices != nullptr) candidates = {9, 5, 3};
  for (double c : candidates)
    if (c >= limits.low && c <= limits.high && c != now) return c;
  return std::nullopt;
}

bool Numeric(const SettingField& row) {
  return !(row.kind == K::kOnOff || row.kind == K::kEnabled || row.kind == K::kMode);
}

double Step(const SettingField& row, const SettingContext& context) {
  return 1.0 / setting_values::Scale(row, context);
}

double Number(const std::string& text) {
  double v = std::nan("");
  ReadTypedNumber(text, &v);
  return v;
}

std::string FileText(const std::string& path) {
  std::string text;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  for (int c; f != nullptr && (c = std::fgetc(f)) != EOF;) text += static_cast<char>(c);
  if (f != nullptr) std::fclose(f);
  return text;
}

class TypedValues : public testsupport::SimDocumentTest {};

TEST_F(TypedValues, EveryFieldOfEveryModelIsWrittenAsTypedOrRefused) {
  for (const ModelEntry& model : ModelTable()) {
    SCOPED_TRACE(model.displayName);
    StartSensor(testsupport::SensorOf(model.displayName));
    // Ranges within every model's check.
    sensor_->Mutate([](sim::SensorState& s) { s.settings.analog.maxRange = 7000; });
    ASSERT_TRUE(ConnectDoc());
    ModelSettings& settings = *Doc().currentSettings();
    size_t fields = 0;
    for (const std::string& name : settings.SettingNames()) {
      const SettingField& row = *settings.Row(name);
      if (!Numeric(row)) continue;
      SCOPED_TRACE(name);
      const SettingContext context = settings.EditContext(settings.ModeTexts().empty() ? -1 : 0);
      const auto limits = setting_values::NumericLimits(row, settings.ShownContext());
      ASSERT_TRUE(limits.has_value());
      const std::optional<double> base = BaseValue(row, *limits, Number(settings.DisplayedValue(name)));
      ASSERT_TRUE(base.has_value());
      ++fields;
      const bool whole = row.kind == K::kWhole;
      for (const Spelling& s : SpellingsOf(*base, whole, Step(row, context), row.readBack == ReadBack::kStep)) {
        SCOPED_TRACE(std::string(s.what) + ": \"" + s.text + "\"");
        const std::vector<uint8_t> rawBefore = settings.ReadBytes(row);
        trace_.Clear();
        const SetResult r = settings.ChangeSetting(name, s.text);
        if (s.taken) {
          ASSERT_TRUE(r.sent && r.reread) << r.message;
          // Read back from the sensor: the very number typed.
          EXPECT_NEAR(Number(settings.DisplayedValue(name)), *base, 1e-9) << settings.DisplayedValue(name);
        } else {
          EXPECT_TRUE(r.Refused());
          EXPECT_FALSE(r.sent);
          EXPECT_TRUE(trace_.Commands().empty()) << "a refused value sends nothing";
          EXPECT_EQ(settings.ReadBytes(row), rawBefore);
        }
      }
    }
    EXPECT_GT(fields, 5u);
    DestroyDoc();
    sensor_.reset();
  }
}

// The offline edit of a settings file (tarkon-cli edit FILE) reads a value
// the same way: the file keeps exactly the typed number, or is left alone.
TEST_F(TypedValues, AnOfflineEditWritesTheFileAsTypedOrLeavesItAlone) {
  for (const ModelEntry& model : ModelTable()) {
    SCOPED_TRACE(model.displayName);
    StartSensor(testsupport::SensorOf(model.displayName));
    sensor_->Mutate([](sim::SensorState& s) { s.settings.analog.maxRange = 7000; });
    ASSERT_TRUE(ConnectDoc());
    fleet::SensorBackup backup;
    std::string error;
    ASSERT_TRUE(fleet::CaptureBackup(Doc(), backup, error)) << error;
    const std::string path = dir_.File("edit.json");
    ASSERT_TRUE(fleet::WriteBackupFile(path, backup, error)) << error;
    DestroyDoc();
    sensor_.reset();

    fleet::SettingsBench bench;
    ASSERT_TRUE(bench.Open(backup, error)) << error;
    const ModelSettings& settings = bench.settings();
    for (const std::string& name : settings.SettingNames()) {
      const SettingField& row = *settings.Row(name);
      if (!Numeric(row)) continue;
      SCOPED_TRACE(name);
      const auto limits = setting_values::NumericLimits(row, settings.ShownContext());
      ASSERT_TRUE(limits.has_value());
      const std::optional<double> base = BaseValue(row, *limits, Number(bench.file().Find(name)->value));
      ASSERT_TRUE(base.has_value());
      const SettingContext context = settings.EditContext(settings.ModeTexts().empty() ? -1 : 0);
      for (const Spelling& s :
           SpellingsOf(*base, row.kind == K::kWhole, Step(row, context), row.readBack == ReadBack::kStep)) {
        SCOPED_TRACE(std::string(s.what) + ": \"" + s.text + "\"");
        const std::vector<uint8_t> rawBefore = bench.file().Find(name)->raw;
        const SetResult r = bench.Edit(name, s.text);
        EXPECT_EQ(!r.Refused(), s.taken) << r.message;
        if (s.taken) {
          EXPECT_NEAR(Number(bench.file().Find(name)->value), *base, 1e-9) << bench.file().Find(name)->value;
        } else {
          EXPECT_EQ(bench.file().Find(name)->raw, rawBefore);
        }
      }
    }
    // The command's own path: a refused value leaves the file as it was, a
    // good one is saved as typed.
    const std::string file = FileText(path);
    std::string message;
    bool refused = false;
    EXPECT_FALSE(fleet::EditSettingsFile(path, "Threshold", "1e400", message, refused));
    EXPECT_TRUE(refused) << message;
    EXPECT_EQ(FileText(path), file);
    ASSERT_TRUE(fleet::EditSettingsFile(path, "Threshold", "1e2", message, refused)) << message;
    fleet::SensorBackup saved;
    ASSERT_TRUE(fleet::ReadBackupFile(path, saved, error)) << error;
    EXPECT_EQ(saved.Find("Threshold")->value, "100");
  }
}

}  // namespace
