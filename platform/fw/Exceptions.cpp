#include "Exceptions.h"

#include "MessageBox.h"

namespace fw {

std::string SystemErrorText(DWORD code) {
  // WinINet's messages live in its own module, not in the system table.
  HMODULE wininet = (code >= 12000 && code < 13000) ? GetModuleHandleA("wininet.dll") : nullptr;
  const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                      (wininet ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM);
  char* buffer = nullptr;
  const DWORD n = FormatMessageA(flags, wininet, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text = n ? std::string(buffer, n) : std::string();
  LocalFree(buffer);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

namespace {
int g_reportsShowing = 0;  // one UI thread; boxes nest
}  // namespace

bool IsReportingFailure() { return g_reportsShowing > 0; }

void ReportHandlerException(const CException& e, bool fromMenuCommand) {
  if (dynamic_cast<const CUserException*>(&e)) return;
  // One box at a time. Work goes on behind an open box (periodic checks
  // above all), and a failure repeated at every tick would otherwise stack
  // a box per tick for a user who is away.
  if (IsReportingFailure()) return;
  struct Showing {
    Showing() { ++g_reportsShowing; }
    ~Showing() { --g_reportsShowing; }
  } showing;
  std::string text;
  if (dynamic_cast<const CMemoryException*>(&e)) {
    e.GetErrorMessage(text);
    AfxMessageBox(text, MB_ICONEXCLAMATION | MB_SYSTEMMODAL);
    return;
  }
  if (!e.GetErrorMessage(text) || text.empty())
    text = fromMenuCommand ? "Command failed." : "Internal application error.";
  AfxMessageBox(text, MB_ICONSTOP);
}

}  // namespace fw

bool CDispatchException::GetErrorMessage(std::string& text) const {
  text = m_strDescription;
  return !text.empty();
}

bool COleException::GetErrorMessage(std::string& text) const {
  text = fw::SystemErrorText(static_cast<DWORD>(m_sc));
  // Not every system has texts for wrapped Win32 codes; the code's own text says the same.
  if (text.empty() && HRESULT_FACILITY(m_sc) == FACILITY_WIN32)
    text = fw::SystemErrorText(static_cast<DWORD>(HRESULT_CODE(m_sc)));
  return !text.empty();
}

bool CMemoryException::GetErrorMessage(std::string& text) const {
  text = "Out of memory.";
  return true;
}
