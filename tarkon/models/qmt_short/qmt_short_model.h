#pragma once
// The parts of the Qmt Short, as the model table registers them.

#include "tarkon/models/model_parts.h"

namespace qmt_short {
const ModelParts& Parts();
}  // namespace qmt_short
