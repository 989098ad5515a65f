#pragma once
// The parts of the KRV02 family (KRV02 and Qmt Long), as the model table registers them.

#include "tarkon/models/model_parts.h"

namespace krv02 {
const ModelParts& Parts();
}  // namespace krv02
