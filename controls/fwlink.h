// The class layer as the controls see it (one place to include it from).
#pragma once
#include "framework.h"
