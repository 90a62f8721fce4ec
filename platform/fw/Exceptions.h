#pragma once
// The exception kinds a handler can raise. They all end up at the catch that
// wraps every message handler (see Wnd.cpp), never in the handler itself.
#include <string>

#include <windows.h>

class CException {
 public:
  virtual ~CException() = default;
  // The exception's own text; false when it has none.
  virtual bool GetErrorMessage(std::string& text) const = 0;
};

// A control reporting an error of its own: its description is what the user sees.
class CDispatchException : public CException {
 public:
  CDispatchException(std::string description, std::string source = {}, DWORD helpContext = 0)
      : m_strDescription(std::move(description)), m_strSource(std::move(source)), m_dwHelpContext(helpContext) {}
  bool GetErrorMessage(std::string& text) const override;

  std::string m_strDescription;
  std::string m_strSource;
  DWORD m_dwHelpContext;
};

// Any other failure code of a control call; its text comes from the system.
class COleException : public CException {
 public:
  explicit COleException(HRESULT sc) : m_sc(sc) {}
  bool GetErrorMessage(std::string& text) const override;

  HRESULT m_sc;
};

class CMemoryException : public CException {
 public:
  bool GetErrorMessage(std::string& text) const override;
};

// Raised to abandon an operation the user already knows about; never shown.
class CUserException : public CException {
 public:
  bool GetErrorMessage(std::string&) const override { return false; }
};

namespace fw {

// Where a failing handler was called from: a command the user gave (a button,
// a menu item), a menu command in particular, or work nobody pressed for.
enum class HandlerOrigin { Unattended, Command, MenuCommand };

// What the handler-level catch shows for an exception: the exception's own
// text, or the generic text for where it happened. While one report is on
// screen a further one from unattended work (timer ticks, wake-ups) is not
// shown: the user has a box to answer already. What the user pressed always
// gets its answer.
void ReportHandlerException(const CException& e, HandlerOrigin origin);

// True while such a report is on screen.
bool IsReportingFailure();

}  // namespace fw
