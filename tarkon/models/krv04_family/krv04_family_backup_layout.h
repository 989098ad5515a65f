#pragma once
// The settings every model of the KRV04 family keeps in its setup record,
// as a backup keeps them; each model's own layout adds its extras.

#include <vector>

#include "tarkon/models/backup_layout.h"

namespace krv04 {
// The shared rows in the setup pane's order, "Mode" first when the model
// has a mode selection.
std::vector<model_backup::SettingLayout> SharedBackupLayout(bool withMode);
}  // namespace krv04
