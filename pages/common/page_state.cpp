#include "page_state.h"

uint32_t gRecycleBinMode = 0;
uint32_t gDeepScanRequest = 0;
uint8_t gDeepScanDrive = 0xFF;
