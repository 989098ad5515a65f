#pragma once
// The parts of the KRV04 Board Flipper, as the model table registers them.

#include "tarkon/models/model_parts.h"

namespace krv04bf {
const ModelParts& Parts();
}  // namespace krv04bf
