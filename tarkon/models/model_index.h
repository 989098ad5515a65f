#pragma once
// The five sensor models by index, and which of the settings dialogs and
// view panels serve each. Qmt Long shares both with KRV02.

enum ModelIndex : int {
  kModelKRV02 = 0,
  kModelKRV04 = 1,
  kModelQmtLong = 2,
  kModelQmtShort = 3,
  kModelKRV04BoardFlipper = 4,
};
constexpr int kModelCount = 5;

enum class SettingsDialogKind : int { kKRV02, kKRV04, kQmtShort, kKRV04BoardFlipper };
enum class ViewPanelKind : int { kKRV02, kKRV04, kQmtShort, kKRV04BoardFlipper };
