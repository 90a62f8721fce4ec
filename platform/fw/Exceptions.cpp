#include "fw/Exceptions.h"

#include "base/SystemError.h"
#include "fw/MessageBox.h"

namespace fw {

namespace {
int g_reportsShowing = 0;  // one UI thread; boxes nest
}  // namespace

bool IsReportingFailure() { return g_reportsShowing > 0; }

void ReportHandlerException(const CException& e, HandlerOrigin origin) {
  if (dynamic_cast<const CUserException*>(&e)) return;
  // One box at a time for unattended work. It goes on behind an open box
  // (periodic checks above all), and a failure repeated at every tick would
  // otherwise stack a box per tick for a user who is away.
  if (IsReportingFailure() && origin == HandlerOrigin::Unattended) return;
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
    text = origin == HandlerOrigin::MenuCommand ? "Command failed." : "Internal application error.";
  AfxMessageBox(text, MB_ICONSTOP);
}

}  // namespace fw

bool CDispatchException::GetErrorMessage(std::string& text) const {
  text = m_strDescription;
  return !text.empty();
}

bool COleException::GetErrorMessage(std::string& text) const {
  text = win::SystemErrorText(static_cast<DWORD>(m_sc));
  return !text.empty();
}

bool CMemoryException::GetErrorMessage(std::string& text) const {
  text = "Out of memory.";
  return true;
}
