#include "SkinnableDialog.h"

#include <algorithm>

#include <windowsx.h>

#include "MessageMap.h"
#include "WinApp.h"

namespace {

using SetLayeredWindowAttributesFn = BOOL(WINAPI*)(HWND, COLORREF, BYTE, DWORD);

// Looked up at run time so the program still starts where the system has no
// layered windows; colour keys are then simply unavailable. Every
// construction stores the same value again.
SetLayeredWindowAttributesFn g_setLayeredWindowAttributes = nullptr;

SetLayeredWindowAttributesFn LookUpSetLayeredWindowAttributes() {
  HMODULE user32 = GetModuleHandleA("USER32.DLL");
  if (!user32) return nullptr;
  return reinterpret_cast<SetLayeredWindowAttributesFn>(
      reinterpret_cast<void*>(GetProcAddress(user32, "SetLayeredWindowAttributes")));
}

}  // namespace

CSkinnableDialog::CSkinnableDialog(UINT templateId, CWnd* parent) : CDialog(templateId, parent) {
  g_setLayeredWindowAttributes = LookUpSetLayeredWindowAttributes();
}

// m_hSkin's owner deletes the skin before the dialog part goes.
CSkinnableDialog::~CSkinnableDialog() = default;

BOOL CSkinnableDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  return TRUE;
}

BOOL CSkinnableDialog::SetSkinBitmap(UINT resourceId) {
  HANDLE image = LoadImageA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(resourceId), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR);
  return SetSkinBitmap(static_cast<HBITMAP>(image));
}

BOOL CSkinnableDialog::SetSkinBitmap(HBITMAP bitmap) {
  m_hSkin.reset();
  if (bitmap) {
    m_hSkin.reset(bitmap);
    BITMAP info{};
    if (GetObjectA(bitmap, sizeof info, &info) == 0) {
      m_hSkin.reset();
      return FALSE;
    }
    m_cxBitmap = info.bmWidth;
    m_cyBitmap = info.bmHeight;
  }
  if (IsWindow(m_hWnd)) Invalidate(TRUE);
  return TRUE;
}

void CSkinnableDialog::SetSkinMode(int mode) {
  m_nSkinMode = mode;
  if (mode == SkinFitWindow && m_hSkin) FitWindowToSkin();
}

// Keeps the position and takes the skin's size; without SWP_NOZORDER the
// window also comes to the top, which is what a freshly skinned face wants.
void CSkinnableDialog::FitWindowToSkin() {
  SetWindowPos(nullptr, 0, 0, m_cxBitmap, m_cyBitmap, SWP_NOMOVE | SWP_NOOWNERZORDER);
}

BOOL CSkinnableDialog::SetColorKey(COLORREF key, BOOL enable) {
  if (!g_setLayeredWindowAttributes) return FALSE;
  const LONG exStyle = GetWindowLongA(m_hWnd, GWL_EXSTYLE);
  if (enable) {
    SetWindowLongA(m_hWnd, GWL_EXSTYLE, exStyle | WS_EX_LAYERED);
    g_setLayeredWindowAttributes(m_hWnd, key, 0, LWA_COLORKEY);
    return TRUE;
  }
  SetWindowLongA(m_hWnd, GWL_EXSTYLE, exStyle & ~WS_EX_LAYERED);
  // The keyed-out pixels were never drawn; the whole window must paint again.
  RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
  return TRUE;
}

LRESULT CSkinnableDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  const fw::Route<CSkinnableDialog> routes[] = {
      fw::OnMouse<CSkinnableDialog, &CSkinnableDialog::OnLButtonDown>(WM_LBUTTONDOWN),
      fw::OnEraseBkgnd<CSkinnableDialog, &CSkinnableDialog::OnEraseBkgnd>(),
      fw::OnSize<CSkinnableDialog, &CSkinnableDialog::OnSize>(),
  };
  return fw::Dispatch(*this, routes, message, wParam, lParam,
                      [&] { return CDialog::WindowProc(message, wParam, lParam); });
}

// A press on the face acts as a press on a caption the window does not have,
// so the system's own move loop drags the window.
void CSkinnableDialog::OnLButtonDown(UINT, POINT point) {
  if (m_bFaceDrag) PostMessage(WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(point.x, point.y));
  SetMsgHandled(FALSE);
}

BOOL CSkinnableDialog::OnEraseBkgnd(HDC dc) {
  const BOOL result = static_cast<BOOL>(DefaultProcessing());
  if (!m_hSkin) return result;
  RECT client{};
  GetClientRect(&client);
  fw::OwnedDC memory(CreateCompatibleDC(dc));
  if (!memory) return result;
  fw::ScopedSelect select(memory.get(), m_hSkin.get());
  DrawSkin(dc, memory.get(), client.right - client.left, client.bottom - client.top);
  return result;
}

void CSkinnableDialog::DrawSkin(HDC target, HDC skin, int cw, int ch) const {
  switch (m_nSkinMode) {
    case SkinPlain:
    case SkinFitWindow:
      BitBlt(target, 0, 0, cw, ch, skin, 0, 0, SRCCOPY);
      break;
    case SkinTile:
      // Each tile copies a client-sized extent; only the bitmap's own pixels
      // arrive, and the next tile overwrites whatever lay beyond it.
      for (int y = 0; y < ch; y += m_cyBitmap)
        for (int x = 0; x < cw; x += m_cxBitmap) BitBlt(target, x, y, cw, ch, skin, 0, 0, SRCCOPY);
      break;
    case SkinCenter: {
      // Signed halves: a skin larger than the client area lands at a
      // negative offset and is centred and clipped, rather than thrown
      // off-screen by an unsigned wrap. The extent then covers the whole
      // bitmap, so its far side is not cut off at the client size.
      const int x = (cw - m_cxBitmap) / 2;
      const int y = (ch - m_cyBitmap) / 2;
      BitBlt(target, x, y, std::max(cw, m_cxBitmap), std::max(ch, m_cyBitmap), skin, 0, 0, SRCCOPY);
      break;
    }
    case SkinStretch:
      StretchBlt(target, 0, 0, cw, ch, skin, 0, 0, m_cxBitmap, m_cyBitmap, SRCCOPY);
      break;
    default:
      break;
  }
}

// The skin is drawn relative to the client size, so any change of size
// repaints all of it, not only the strip the system thinks is new.
// The default handling runs first; the skin then repaints over it.
void CSkinnableDialog::OnSize(UINT, SIZE) {
  DefaultProcessing();
  if (m_hSkin) Invalidate(TRUE);
}
