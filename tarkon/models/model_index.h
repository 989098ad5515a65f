#pragma once
// The program's five sensor models by index (a build may register more
// after them, model_table.h), and the kinds of settings dialog and view
// panel that serve a model. Qmt Long shares both with KRV02.

enum ModelIndex : int {
  kModelKRV02 = 0,
  kModelKRV04 = 1,
  kModelQmtLong = 2,
  kModelQmtShort = 3,
  kModelKRV04BoardFlipper = 4,
};
// The program's own models; ModelCount() counts registered ones too.
constexpr int kModelCount = 5;

enum class SettingsDialogKind : int { kKRV02, kKRV04, kQmtShort, kKRV04BoardFlipper };
enum class ViewPanelKind : int { kKRV02, kKRV04, kQmtShort, kKRV04BoardFlipper };
