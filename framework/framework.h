// The class layer of the 8-bit program: one include for everything.
//
//   fw_string.h    CString (code page 936), CStringW
//   fw_geometry.h  CPoint, CSize, CRect
//   fw_gdi.h       CPen, CBrush, CFont, CBitmap, CRgn, CDC and friends, CImageList
//   fw_msgmap.h    message maps (how a message reaches a handler)
//   fw_wnd.h       CWnd, the handle map, the message pump
//   fw_dialog.h    CDialog (modal and modeless), data exchange
//   fw_controls.h  control wrappers, CToolTipCtrl
//   fw_app.h       CWinApp, AfxWinMain, CWaitCursor
//   fw_thread.h    owned worker threads (AfxBeginThread, Join)
#pragma once
#include "fw_app.h"
#include "fw_controls.h"
#include "fw_dialog.h"
#include "fw_gdi.h"
#include "fw_geometry.h"
#include "fw_msgmap.h"
#include "fw_string.h"
#include "fw_thread.h"
#include "fw_wnd.h"
