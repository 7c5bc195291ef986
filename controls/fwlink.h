// The class layer as the controls see it (one place to include it from).
#pragma once
#include "fw_wnd.h"
#include "fw_controls.h"
