#include "TaskbarNotifier.h"

#include <commctrl.h>

#include <cstring>
#include <optional>
#include <span>
#include <vector>

namespace nc = corvane::notifier;

namespace {

constexpr char kWindowClass[] = "CorvaneTaskbarNotifier";
constexpr UINT kMoveFlags = SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER;
constexpr UINT kRedrawNow = RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW;
constexpr UINT kCaptionFormat = DT_CENTER | DT_VCENTER | DT_WORDBREAK | DT_END_ELLIPSIS;

// A window's (or the screen's) device context for one scope. These come from
// GetDC/GetWindowDC and go back with ReleaseDC, unlike the DeleteDC-owned
// memory contexts of fw::OwnedDC.
class BorrowedDC {
 public:
  explicit BorrowedDC(HWND hwnd, bool wholeWindow = false)
      : m_hwnd(hwnd), m_dc(wholeWindow ? GetWindowDC(hwnd) : GetDC(hwnd)) {}
  ~BorrowedDC() {
    if (m_dc) ReleaseDC(m_hwnd, m_dc);
  }
  BorrowedDC(const BorrowedDC&) = delete;
  BorrowedDC& operator=(const BorrowedDC&) = delete;
  HDC get() const { return m_dc; }

 private:
  HWND m_hwnd;
  HDC m_dc;
};

nc::Rect WorkArea() {
  RECT rc{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &rc, 0);
  return {rc.left, rc.top, rc.right, rc.bottom};
}

void ApplyLook(LOGFONTA& font, UINT styleBits) {
  const nc::FontLook look = nc::LookFromStyle(styleBits);
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
  return CreateEx(0, kWindowClass, "", WS_POPUP, 0, 0, 0, 0, parent ? parent->GetSafeHwnd() : nullptr,
                  nullptr, 0, LoadCursorA(nullptr, IDC_ARROW), reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
}

BOOL CTaskbarNotifier::LoadSkin(UINT id, short red, short green, short blue) {
  m_bmpSkin.DeleteObject();
  BITMAP info{};
  if (!m_bmpSkin.LoadBitmap(LOWORD(id)) || !m_bmpSkin.GetBitmap(&info)) {
    // The old skin is gone, but its size stays: nothing else is touched.
    m_bmpSkin.DeleteObject();
    return FALSE;
  }
  m_cxSkin = info.bmWidth;
  m_cySkin = info.bmHeight;
  m_rcCaption = {0, 0, m_cxSkin, m_cySkin};
  m_core.SetSkinSize(m_cxSkin, m_cySkin);

  if (const auto key = nc::KeyFromArgs(red, green, blue)) {
    fw::OwnedRegion region = RegionFromBitmap(m_bmpSkin.GetSafeHandle(), key->red, key->green, key->blue);
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
    BorrowedDC screen(nullptr);
    font.lfHeight = nc::PointSizeToHeight(size, GetDeviceCaps(screen.get(), LOGPIXELSY));
  }
  font.lfCharSet = DEFAULT_CHARSET;
  const std::string fitted = nc::FitFaceName(face ? face : "");
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
  const std::optional<nc::Effects> effects =
      m_core.Announce(WorkArea(), GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), msAppear,
                      msStay, msHide);
  if (!effects) return;
  m_strText = text ? text : "";
  MirrorCore();
  Apply(*effects);
}

void CTaskbarNotifier::Dismiss() {
  const nc::Effects effects = m_core.Dismiss();
  MirrorCore();
  Apply(effects);
}

void CTaskbarNotifier::MirrorCore() {
  m_nState = m_core.State();
  m_msAppear = m_core.AppearMs();
  m_msStay = m_core.StayMs();
  m_msHide = m_core.HideMs();
  m_msStepIn = m_core.StepInMs();
  m_msStepOut = m_core.StepOutMs();
  m_xHidden = m_core.Hidden().x;
  m_yHidden = m_core.Hidden().y;
  m_xNow = m_core.Position().x;
  m_yNow = m_core.Position().y;
  m_nEdge = m_core.Edge();
}

void CTaskbarNotifier::Apply(const nc::Effects& effects) {
  for (const nc::Effect& e : effects) {
    switch (e.kind) {
      case nc::Effect::Show:
        // Never takes the keyboard from what the user is typing into.
        ShowWindow(SW_SHOWNOACTIVATE);
        break;
      case nc::Effect::Hide:
        ShowWindow(SW_HIDE);
        break;
      case nc::Effect::StartTimer:
        SetTimer(e.timer, e.ms);
        break;
      case nc::Effect::KillTimer:
        KillTimer(e.timer);
        break;
      case nc::Effect::MoveTo:
        SetWindowPos(nullptr, e.x, e.y, e.cx, e.cy, kMoveFlags);
        break;
      case nc::Effect::Collapse:
        ::MoveWindow(m_hWnd, 0, 0, 0, 0, TRUE);
        break;
      case nc::Effect::Redraw:
        RedrawNow();
        break;
    }
  }
}

void CTaskbarNotifier::RedrawNow() {
  if (m_hWnd) RedrawWindow(nullptr, nullptr, kRedrawNow);
}

// --- Skin region ----------------------------------------------------------------

std::unique_ptr<BYTE[]> CTaskbarNotifier::ReadPixels24(HBITMAP bitmap, WORD& width, WORD& height) {
  BITMAP info{};
  if (!GetObjectA(bitmap, sizeof info, &info)) return nullptr;
  const nc::PixelSize size = nc::ReadableSize(info.bmWidth, info.bmHeight);
  if (size.width == 0 || size.height == 0) return nullptr;

  auto pixels = std::make_unique<BYTE[]>(nc::PixelBytes(size));
  BITMAPINFO format{};
  format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  format.bmiHeader.biWidth = size.width;
  format.bmiHeader.biHeight = -static_cast<LONG>(size.height);  // top-down rows
  format.bmiHeader.biPlanes = 1;
  format.bmiHeader.biBitCount = 24;
  format.bmiHeader.biCompression = BI_RGB;
  format.bmiHeader.biSizeImage = static_cast<DWORD>(nc::PixelBytes(size));
  int lines = 0;
  {
    BorrowedDC screen(nullptr, true);
    lines = GetDIBits(screen.get(), bitmap, 0, size.height, pixels.get(), &format, DIB_RGB_COLORS);
  }
  if (lines == 0) return nullptr;
  width = size.width;
  height = size.height;
  return pixels;
}

fw::OwnedRegion CTaskbarNotifier::RegionFromBitmap(HBITMAP bitmap, BYTE red, BYTE green, BYTE blue) {
  WORD width = 0, height = 0;
  const std::unique_ptr<BYTE[]> pixels = ReadPixels24(bitmap, width, height);
  if (!pixels) return {};
  const nc::PixelSize size{width, height};
  const std::vector<nc::RowRun> runs =
      nc::OpaqueRuns(std::span<const std::uint8_t>(pixels.get(), nc::PixelBytes(size)), size, {red, green, blue});

  // One region from all the row runs at once: a pixel-by-pixel build pays a
  // create, a combine and a delete per key pixel, this pays one call. The runs
  // come row by row, left to right and never overlap, which is the band order
  // a region's rectangle list wants.
  std::vector<BYTE> data(sizeof(RGNDATAHEADER) + runs.size() * sizeof(RECT));
  auto* header = reinterpret_cast<RGNDATAHEADER*>(data.data());
  header->dwSize = sizeof(RGNDATAHEADER);
  header->iType = RDH_RECTANGLES;
  header->nCount = static_cast<DWORD>(runs.size());
  header->nRgnSize = static_cast<DWORD>(runs.size() * sizeof(RECT));
  header->rcBound = {0, 0, width, height};
  auto* rects = reinterpret_cast<RECT*>(data.data() + sizeof(RGNDATAHEADER));
  for (const nc::RowRun& run : runs) *rects++ = {run.left, run.y, run.right, run.y + 1};
  return fw::OwnedRegion(
      ExtCreateRegion(nullptr, static_cast<DWORD>(data.size()), reinterpret_cast<const RGNDATA*>(data.data())));
}

// --- Messages ----------------------------------------------------------------------

LRESULT CTaskbarNotifier::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      return OnCreate(wParam, lParam);
    case WM_MOUSEMOVE:
      OnMouseMove();
      break;
    case WM_MOUSEHOVER:
      return OnMouseHover();
    case WM_MOUSELEAVE:
      return OnMouseLeave();
    case WM_SETCURSOR:
      if (OnSetCursor(LOWORD(lParam))) return TRUE;
      break;
    case WM_LBUTTONUP:
      OnLButtonUp();
      break;
    case WM_TIMER:
      OnTimer(static_cast<UINT>(wParam));
      break;
    case WM_ERASEBKGND:
      if (OnEraseBkgnd(reinterpret_cast<HDC>(wParam))) return TRUE;
      break;
    case WM_PAINT:
      OnPaint();
      return 0;
    default:
      break;
  }
  return CWnd::WindowProc(message, wParam, lParam);
}

LRESULT CTaskbarNotifier::OnCreate(WPARAM wParam, LPARAM lParam) {
  if (CWnd::WindowProc(WM_CREATE, wParam, lParam) == -1) return -1;
  m_hHandCursor = LoadCursorA(nullptr, IDC_HAND);
  return 0;
}

void CTaskbarNotifier::OnMouseMove() {
  // Hover after 1 ms is as good as "the mouse is over it"; the leave
  // notification restores the normal look.
  TRACKMOUSEEVENT track{};
  track.cbSize = sizeof track;
  track.dwFlags = TME_HOVER | TME_LEAVE;
  track.hwndTrack = m_hWnd;
  track.dwHoverTime = 1;
  _TrackMouseEvent(&track);
}

LRESULT CTaskbarNotifier::OnMouseHover() {
  SetHover(TRUE);
  return 0;
}

LRESULT CTaskbarNotifier::OnMouseLeave() {
  SetHover(FALSE);
  return 0;
}

void CTaskbarNotifier::SetHover(BOOL hover) {
  if (m_bHover == hover) return;
  m_bHover = hover;
  RedrawNow();
}

BOOL CTaskbarNotifier::OnSetCursor(UINT hitTest) {
  if (hitTest != HTCLIENT) return FALSE;
  SetCursor(m_hHandCursor);
  return TRUE;
}

void CTaskbarNotifier::OnLButtonUp() {
  // Only the owner learns of the click; the cycle goes on untouched.
  if (m_pParent && m_pParent->GetSafeHwnd()) ::PostMessageA(m_pParent->GetSafeHwnd(), WM_POPUP_CLICKED, 0, 0);
}

void CTaskbarNotifier::OnTimer(UINT id) {
  const nc::Effects effects = m_core.OnTimer(id);
  MirrorCore();
  Apply(effects);
}

BOOL CTaskbarNotifier::OnEraseBkgnd(HDC dc) {
  if (!m_bmpSkin.GetSafeHandle()) return FALSE;
  BITMAP info{};
  m_bmpSkin.GetBitmap(&info);
  fw::OwnedDC memory(CreateCompatibleDC(dc));
  if (!memory) return FALSE;
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
