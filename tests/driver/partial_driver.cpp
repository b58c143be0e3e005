// A driver library with only two of the board functions.
#include "driver/kvnapp_abi.h"

KVNAPP_EXPORT std::int32_t KVNAPP_CALL vbapp_Open(std::int32_t) { return 2; }
KVNAPP_EXPORT std::int32_t KVNAPP_CALL vbapp_Close() { return 0; }
