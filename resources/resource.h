// Resource ids of salvora.exe. Every header in resources/ids/ is included here
// (the list is made by resources/CMakeLists.txt): add a file there for a new
// area instead of editing this one.
#pragma once
#include "resource_ids.h"
