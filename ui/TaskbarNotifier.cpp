#include "ui/TaskbarNotifier.h"

#include <commctrl.h>

#include <cstring>
#include <optional>

#include "fw/MessageMap.h"
#include "ui/SkinMask.h"
#include "ui/SkinRegion.h"
#include "ui/WindowClassNames.h"

namespace {

constexpr UINT kMoveFlags = SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER;
constexpr UINT kRedrawNow = RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW;
constexpr UINT kCaptionFormat = DT_CENTER | DT_VCENTER | DT_WORDBREAK | DT_END_ELLIPSIS;

ui::Rect WorkArea() {
  RECT rc{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &rc, 0);
  return {rc.left, rc.top, rc.right, rc.bottom};
}

void ApplyLook(LOGFONTA& font, UINT styleBits) {
  const ui::FontLook look = ui::LookFromStyle(styleBits);
  font.lfWeight = look.weight;
  font.lfItalic = look.italic ? TRUE : FALSE;
  font.lfUnderline = look.underline ? TRUE : FALSE;
}

}  // namespace

CTaskbarNotifier::~CTaskbarNotifier() {
  // Destroy the window while this object is still whole: its last messages
  // (and its timers' end) must reach this class, not a half-destroyed base.
  if (m_hWnd && FromHandlePermanent(m_hWnd) == this) DestroyWindow();
}

BOOL CTaskbarNotifier::CreatePopup(CWnd* parent) {
  m_pParent = parent;
  return CreateEx(0, ui::kPopupWindowClass, "", WS_POPUP, 0, 0, 0, 0, parent ? parent->GetSafeHwnd() : nullptr, nullptr,
                  0, LoadCursorA(nullptr, IDC_ARROW), reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
}

BOOL CTaskbarNotifier::LoadSkin(UINT id, short red, short green, short blue) {
  m_bmpSkin.DeleteObject();
  BITMAP info{};
  if (!m_bmpSkin.LoadBitmap(LOWORD(id)) || !m_bmpSkin.GetBitmap(&info)) {
    // The old skin is gone, but its size stays: nothing else is touched.
    m_bmpSkin.DeleteObject();
    return FALSE;
  }
  m_rcCaption = {0, 0, info.bmWidth, info.bmHeight};
  m_core.SetSkinSize(info.bmWidth, info.bmHeight);

  if (const auto key = ui::KeyFromArgs(red, green, blue)) {
    fw::OwnedRegion region = ui::RegionFromBitmap(m_bmpSkin.GetSafeHandle(), key->red, key->green, key->blue);
    // A null region makes the window rectangular again. Once the window has
    // taken a region it is the window's to delete; until then it is ours.
    if (SetWindowRgn(m_hWnd, region.get(), TRUE)) {
      m_hSkinRgn = region.release();
    }
  }
  return TRUE;
}

void CTaskbarNotifier::SetCaptionFont(const char* face, int size, UINT normalStyle, UINT hoverStyle) {
  LOGFONTA font{};
  {
    fw::BorrowedDC screen(nullptr);
    font.lfHeight = ui::PointSizeToHeight(size, GetDeviceCaps(screen.get(), LOGPIXELSY));
  }
  font.lfCharSet = DEFAULT_CHARSET;
  const std::string fitted = ui::FitFaceName(face ? face : "");
  std::memcpy(font.lfFaceName, fitted.c_str(), fitted.size() + 1);

  // Created once as asked, then read back, so both looks start from what the
  // system made of the request.
  m_fontNormal.DeleteObject();
  m_fontNormal.CreateFontIndirect(&font);
  m_fontNormal.GetLogFont(&font);

  ApplyLook(font, normalStyle);
  m_fontNormal.DeleteObject();
  m_fontNormal.CreateFontIndirect(&font);

  ApplyLook(font, hoverStyle);
  m_fontHover.DeleteObject();
  m_fontHover.CreateFontIndirect(&font);
}

void CTaskbarNotifier::SetCaptionColors(COLORREF normal, COLORREF hover) {
  m_crNormal = normal;
  m_crHover = hover;
  RedrawNow();
}

void CTaskbarNotifier::SetCaptionRect(RECT rect) { m_rcCaption = rect; }

void CTaskbarNotifier::Announce(const char* text, UINT msAppear, UINT msStay, UINT msHide) {
  const std::optional<ui::Effects> effects = m_core.Announce(WorkArea(), GetSystemMetrics(SM_CXSCREEN),
                                                             GetSystemMetrics(SM_CYSCREEN), msAppear, msStay, msHide);
  if (!effects) return;
  m_strText = text ? text : "";
  Apply(*effects);
}

void CTaskbarNotifier::Dismiss() { Apply(m_core.Dismiss()); }

void CTaskbarNotifier::Apply(const ui::Effects& effects) {
  for (const ui::Effect& e : effects) {
    switch (e.kind) {
      case ui::Effect::Show:
        // Never takes the keyboard from what the user is typing into.
        ShowWindow(SW_SHOWNOACTIVATE);
        break;
      case ui::Effect::Hide:
        ShowWindow(SW_HIDE);
        break;
      case ui::Effect::StartTimer:
        SetTimer(e.timer, e.ms);
        break;
      case ui::Effect::KillTimer:
        KillTimer(e.timer);
        break;
      case ui::Effect::MoveTo:
        SetWindowPos(nullptr, e.x, e.y, e.cx, e.cy, kMoveFlags);
        break;
      case ui::Effect::Collapse:
        ::MoveWindow(m_hWnd, 0, 0, 0, 0, TRUE);
        break;
      case ui::Effect::Redraw:
        RedrawNow();
        break;
    }
  }
}

void CTaskbarNotifier::RedrawNow() {
  if (m_hWnd) RedrawWindow(nullptr, nullptr, kRedrawNow);
}

// --- Messages ----------------------------------------------------------------------

LRESULT CTaskbarNotifier::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  using T = CTaskbarNotifier;
  const fw::Route<T> routes[] = {
      fw::OnCreate<T, &T::OnCreate>(),
      fw::OnMouse<T, &T::OnMouseMove>(WM_MOUSEMOVE),
      fw::OnNotice<T, &T::OnMouseHover>(WM_MOUSEHOVER),
      fw::OnNotice<T, &T::OnMouseLeave>(WM_MOUSELEAVE),
      fw::OnSetCursor<T, &T::OnSetCursor>(),
      fw::OnMouse<T, &T::OnLButtonUp>(WM_LBUTTONUP),
      fw::OnTimer<T, &T::OnTimer>(),
      fw::OnEraseBkgnd<T, &T::OnEraseBkgnd>(),
      fw::OnNotice<T, &T::OnPaint>(WM_PAINT),
  };
  return fw::Dispatch(*this, routes, message, wParam, lParam,
                      [&] { return CWnd::WindowProc(message, wParam, lParam); });
}

int CTaskbarNotifier::OnCreate(const CREATESTRUCTA*) {
  if (DefaultProcessing() == -1) return -1;
  m_hHandCursor = LoadCursorA(nullptr, IDC_HAND);
  return 0;
}

void CTaskbarNotifier::OnMouseMove(UINT, POINT) {
  // Hover after 1 ms is as good as "the mouse is over it"; the leave
  // notification restores the normal look.
  TRACKMOUSEEVENT track{};
  track.cbSize = sizeof track;
  track.dwFlags = TME_HOVER | TME_LEAVE;
  track.hwndTrack = m_hWnd;
  track.dwHoverTime = 1;
  _TrackMouseEvent(&track);
  SetMsgHandled(FALSE);
}

void CTaskbarNotifier::OnMouseHover() { SetHover(TRUE); }

void CTaskbarNotifier::OnMouseLeave() { SetHover(FALSE); }

void CTaskbarNotifier::SetHover(BOOL hover) {
  if (m_bHover == hover) return;
  m_bHover = hover;
  RedrawNow();
}

BOOL CTaskbarNotifier::OnSetCursor(HWND, UINT hitTest, UINT) {
  if (hitTest != HTCLIENT) return static_cast<BOOL>(DefaultProcessing());
  SetCursor(m_hHandCursor);
  return TRUE;
}

void CTaskbarNotifier::OnLButtonUp(UINT, POINT) {
  // Only the owner learns of the click; the cycle goes on untouched.
  if (m_pParent && m_pParent->GetSafeHwnd()) ::PostMessageA(m_pParent->GetSafeHwnd(), WM_POPUP_CLICKED, 0, 0);
  SetMsgHandled(FALSE);
}

void CTaskbarNotifier::OnTimer(UINT_PTR id) {
  Apply(m_core.OnTimer(id));
  SetMsgHandled(FALSE);
}

BOOL CTaskbarNotifier::OnEraseBkgnd(HDC dc) {
  auto byDefault = [&] { return static_cast<BOOL>(DefaultProcessing()); };
  if (!m_bmpSkin.GetSafeHandle()) return byDefault();
  BITMAP info{};
  m_bmpSkin.GetBitmap(&info);
  fw::OwnedDC memory(CreateCompatibleDC(dc));
  if (!memory) return byDefault();
  fw::ScopedSelect skin(memory.get(), m_bmpSkin.GetSafeHandle());
  BitBlt(dc, 0, 0, info.bmWidth, info.bmHeight, memory.get(), 0, 0, SRCCOPY);
  return TRUE;
}

void CTaskbarNotifier::OnPaint() {
  CPaintDC dc(m_hWnd);
  const HFONT font = m_bHover ? m_fontHover.GetSafeHandle() : m_fontNormal.GetSafeHandle();
  SetTextColor(dc.m_hDC, m_bHover ? m_crHover : m_crNormal);
  std::optional<fw::ScopedSelect> selected;
  if (font) selected.emplace(dc.m_hDC, font);
  SetBkMode(dc.m_hDC, TRANSPARENT);
  RECT rect = m_rcCaption;
  DrawTextA(dc.m_hDC, m_strText.c_str(), static_cast<int>(m_strText.size()), &rect, kCaptionFormat);
}
