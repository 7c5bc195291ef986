// One-pixel panel frames in the program's colours, drawn round a rectangle
// (the frame lies just outside left/top and on right/bottom).
#pragma once
#include <windows.h>

// Outline from (left-1, top-1) to (right, bottom) in RGB(190, 203, 212).
int DrawFrameRect(int left, int top, int right, int bottom, HDC dc);
// The same in RGB(215, 223, 238).
int DrawFrameRectLight(int left, int top, int right, int bottom, HDC dc);
// Left and bottom edges light, right and top edges dark: a sunken panel.
int DrawFrameRectTwoTone(int left, int top, int right, int bottom, HDC dc);
