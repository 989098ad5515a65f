#pragma once
// The parts of the KRV04, as the model table registers them.

#include "tarkon/models/model_parts.h"

namespace krv04 {
const ModelParts& Parts();
}  // namespace krv04
