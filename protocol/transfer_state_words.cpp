#include "protocol/transfer_state_words.h"

TransferStateWords TransferStateExplained(int32_t state) {
  switch (state) {
    case 0:
      return {"", ""};
    case 1:
      return {"the sensor never asked for the first block, so its receiver did not start",
              "check that this sensor takes this kind of image and that its address and baud rate are right, "
              "power-cycle it, then upload again"};
    case 2:
      return {"the sensor did not acknowledge a block, though it was sent again and again; the line loses or "
              "damages bytes, or the sensor stopped receiving",
              "check the cable, the adapter and the connection (a lower baud rate is safer on a long line), "
              "then upload the whole image again"};
    case 3:
      return {"the sensor took every block but refused the end of the transfer, so it did not accept the image",
              "check that the file is the right image for this kind and this model (not damaged, not for another "
              "sensor), then upload again"};
    case 4:
      return {"the transfer was stopped and cancelled on the line before the image was complete",
              "upload the whole image again before the sensor is used"};
    case 5:
      return {"the sensor cancelled the transfer; its receiver gave up (an image it refuses, or a flash write "
              "that failed)",
              "check that the file is the right image for this kind and this model, then upload again; if the "
              "sensor cancels again, it needs service"};
    default:
      return {"the transfer ended with an unknown code", "upload the whole image again"};
  }
}
