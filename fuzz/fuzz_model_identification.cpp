// Identification of a connected sensor from its 16-byte model name reply.
//
// Input: one flag byte (bit 0: manufacturing mode), then the reply bytes
// (the first 16 are the reply area, zero-padded when the input is shorter;
// the whole rest is also tried as a model string of any length).
//
// Invariants: a reply is identified exactly when its text (up to the first
// NUL) equals one of the fourteen model strings, byte for byte over its
// whole length, or when manufacturing mode makes an unknown sensor a KRV02;
// the model index and display name are those of the first equal row.

#include <cstring>
#include <string>

#include "fuzz/fuzz_support.h"
#include "tarkon/models/model_table.h"

namespace {

// The model strings as the sensors report them, kept here independently of
// the program's table so that a change there is caught.
struct ReferenceRow {
  const char* text;
  int model;
};
constexpr ReferenceRow kReference[] = {
    {"0 QMT2000", 3},  {"0 QMT12-20-6", 3}, {"O QMT2000", 3},   {"1 QMTLONG", 2},
    {"1 QMT2000LR", 2}, {"0 QMT2000LR", 2}, {"0 M3-9-6", 1},    {"0 M3-9-7HT", 1},
    {"0 M3-9-6BF", 4},  {"0 M7-30-6", 0},   {"0 M15-30-6", 0},  {"1 M15-150-7", 0},
    {"0 M25-30-6", 0},  {"0 KRV-02", 0},
};
constexpr const char* kNames[] = {"KRV02", "KRV04", "Qmt Long", "Qmt Short",
                                  "KRV04 Board Flipper"};

int ReferenceModel(const std::string& text) {
  for (const ReferenceRow& row : kReference) {
    if (text.size() == std::strlen(row.text) && std::memcmp(text.data(), row.text, text.size()) == 0) {
      return row.model;
    }
  }
  return -1;
}

void CheckIdentification(const ModelIdentification& got, int reference, bool manufacturing,
                         const std::string& text) {
  const bool known = reference >= 0;
  FUZZ_CHECK(got.identified == (known || manufacturing), "text '%s'", text.c_str());
  FUZZ_CHECK(got.assumedKRV02 == (!known && manufacturing), "text '%s'", text.c_str());
  if (!got.identified) {
    FUZZ_CHECK(got.model == -1 && got.modelText.empty(), "unidentified with a model");
    return;
  }
  const int expected = known ? reference : 0;
  FUZZ_CHECK(got.model == expected, "model %d, expected %d for '%s'", got.model, expected,
             text.c_str());
  FUZZ_CHECK(got.modelText == kNames[expected], "model text '%s'", got.modelText.c_str());
  FUZZ_CHECK(UsesKRV02VersionCommand(got.model) == (expected == 0 || expected == 2),
             "version command of model %d", got.model);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  const bool manufacturing = in.Flag();
  const std::vector<uint8_t> rest = in.Rest();

  uint8_t reply[16] = {};
  for (size_t i = 0; i < sizeof reply && i < rest.size(); ++i) reply[i] = rest[i];

  // The reply area's text: up to the first NUL, at most 16 bytes.
  size_t length = 0;
  while (length < sizeof reply && reply[length] != 0) ++length;
  const std::string text(reinterpret_cast<const char*>(reply), length);

  FUZZ_CHECK(ReplyText(reply, sizeof reply) == text, "reply text differs");
  const size_t maxChars = rest.empty() ? 8 : rest[0] % 20;
  const std::string cut = ReplyText(reply, sizeof reply, maxChars);
  FUZZ_CHECK(cut == text.substr(0, maxChars), "reply text cut at %zu", maxChars);

  const int reference = ReferenceModel(text);
  FUZZ_CHECK(ModelIndexOfString(text) == reference, "index of '%s'", text.c_str());
  FUZZ_CHECK(DisplayNameOfModelString(text) == (reference >= 0 ? kNames[reference] : ""),
             "display name of '%s'", text.c_str());
  CheckIdentification(IdentifyModelReply(reply, manufacturing), reference, manufacturing, text);
  CheckIdentification(IdentifyModelReply(reply, !manufacturing), reference, !manufacturing, text);

  // The same rule for a model string of any length and content (NULs
  // included): no prefix match, no trimming.
  const std::string whole(rest.begin(), rest.end());
  CheckIdentification(IdentifyModel(whole, manufacturing), ReferenceModel(whole), manufacturing,
                      whole);
  return 0;
}
