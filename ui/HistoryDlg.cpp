#include "ui/HistoryDlg.h"

#include <cstring>
#include <utility>

#include "base/Text.h"
#include "fw/Handles.h"
#include "fw/MessageMap.h"
#include "res/resource.h"

namespace {

// Moveable global memory holding `bytes`, as the clipboard takes it; null
// when there is no memory for it.
HGLOBAL GlobalCopy(const void* bytes, std::size_t size) {
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
  if (!memory) return nullptr;
  if (void* target = GlobalLock(memory)) {
    std::memcpy(target, bytes, size);
    GlobalUnlock(memory);
    return memory;
  }
  GlobalFree(memory);
  return nullptr;
}

// The clipboard owns what it accepted; what it refused is freed here.
void Offer(UINT format, HGLOBAL memory) {
  if (memory && !SetClipboardData(format, memory)) GlobalFree(memory);
}

}  // namespace

HistoryDlg::HistoryDlg(std::vector<std::string> lines, CWnd* parent)
    : CDialog(IDD_HISTORY, parent), m_lines(std::move(lines)) {}

HistoryDlg::~HistoryDlg() = default;

void HistoryDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_HISTORY_LIST, m_list);
}

BOOL HistoryDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  // Rows far wider than the list can be scrolled to.
  int widest = 0;
  if (const fw::BorrowedDC dc(m_list.GetSafeHwnd()); dc.get()) {
    const fw::ScopedSelect font(dc.get(), reinterpret_cast<HGDIOBJ>(m_list.SendMessage(WM_GETFONT)));
    for (const std::string& line : m_lines) {
      SIZE size{};
      if (GetTextExtentPoint32A(dc.get(), line.c_str(), static_cast<int>(line.size()), &size) && size.cx > widest)
        widest = size.cx;
    }
  }
  m_list.SendMessage(LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest + 8));
  for (const std::string& line : m_lines) m_list.AddString(line);
  if (m_lines.empty()) m_list.AddString(kNothingYet);
  ::EnableWindow(::GetDlgItem(m_hWnd, IDC_HISTORY_COPY), !m_lines.empty());
  return TRUE;
}

LRESULT HistoryDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  using T = HistoryDlg;
  const fw::Route<T> routes[] = {
      fw::OnCommandId<T, &T::OnCopy>(IDC_HISTORY_COPY),
  };
  return fw::Dispatch(*this, routes, message, wParam, lParam,
                      [&] { return CDialog::WindowProc(message, wParam, lParam); });
}

void HistoryDlg::OnCopy() {
  std::string text;
  for (const std::string& line : m_lines) text += line + "\r\n";
  const std::wstring wide = win::AnsiToWide(text);
  if (!OpenClipboard(m_hWnd)) return;
  EmptyClipboard();
  Offer(CF_TEXT, GlobalCopy(text.c_str(), text.size() + 1));
  Offer(CF_UNICODETEXT, GlobalCopy(wide.c_str(), (wide.size() + 1) * sizeof(wchar_t)));
  CloseClipboard();
}
