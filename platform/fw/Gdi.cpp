#include "fw/Gdi.h"

#include "fw/WinApp.h"

BOOL CBitmap::LoadBitmap(UINT id) {
  m_bitmap.reset(::LoadBitmapA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(id)));
  return m_bitmap ? TRUE : FALSE;
}
