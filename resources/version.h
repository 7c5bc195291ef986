// The product's version: the version resource of salvora.exe and the text the
// About box and the statistics show ("a.b.c.d").
#pragma once
#define SALVORA_VERSION_MAJOR 1
#define SALVORA_VERSION_MINOR 2
#define SALVORA_VERSION_PATCH 0
#define SALVORA_VERSION_BUILD 17
#define SALVORA_VERSION_TEXT "1.2.0.17"
