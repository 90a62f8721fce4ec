#include "fw/Gdi.h"

#include "fw/WinApp.h"

BOOL CBitmap::LoadBitmap(UINT id) {
  m_bitmap.reset(::LoadBitmapA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(id)));
  return m_bitmap ? TRUE : FALSE;
}

namespace fw {

bool PaintMinimisedIcon(HWND window, HICON icon) {
  if (!IsIconic(window)) return false;
  CPaintDC dc(window);
  SendMessageA(window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.m_hDC), 0);
  RECT rc;
  GetClientRect(window, &rc);
  const int x = (rc.right - rc.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (rc.bottom - rc.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
  DrawIcon(dc.m_hDC, x, y, icon);
  return true;
}

}  // namespace fw
