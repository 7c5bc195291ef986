// Ids of the skinned controls' own pictures beyond those in images.h
// (artwork: resources/skin/parts/controls.py).
#pragma once
// Tab strip: 16 looks, IDB_TAB_LOOK_FIRST + 4 * selected tab + tab under the mouse.
#define IDB_TAB_LOOK_FIRST 501
#define IDB_TAB_LOOK_LAST 516
