#pragma once
// The KRV02 family's settings as a backup keeps them, in the setup pane's
// order.

#include <vector>

#include "tarkon/models/backup_layout.h"

namespace krv02 {
const std::vector<model_backup::SettingLayout>& BackupLayout();
}  // namespace krv02
