#pragma once
// Modal dialogs from resource templates, with data exchange between the
// dialog's fields and the object's members.
#include <string>

#include "fw/Wnd.h"

class CDialog;

// One pass of data exchange: fields to members when saving, else the reverse.
class CDataExchange {
 public:
  CDataExchange(CDialog* dialog, bool saveAndValidate) : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}
  CDialog* m_pDlgWnd;
  bool m_bSaveAndValidate;
};

// The text of an edit (or any) control with a member.
void DDX_Text(CDataExchange* pDX, int id, std::string& value);
// Binds a wrapper object to the child control with this id.
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);

class CDialog : public CWnd {
 public:
  explicit CDialog(UINT templateId, CWnd* parent = nullptr) : m_nIDTemplate(templateId), m_pParentWnd(parent) {}

  // Runs the dialog until EndDialog; -1 when it could not be created (for
  // example when one of its controls failed to create).
  virtual INT_PTR DoModal();
  void EndDialog(INT_PTR result);
  BOOL UpdateData(BOOL saveAndValidate = TRUE);

 protected:
  virtual BOOL OnInitDialog();
  virtual void DoDataExchange(CDataExchange*) {}
  virtual void OnOK();
  virtual void OnCancel();
  // IDOK and IDCANCEL go to OnOK and OnCancel. A derived dialog routes its
  // own commands by id in its WindowProc's table (fw::OnCommandId); what no
  // table takes reaches OnCommand, which answers false when it leaves the
  // command to the system.
  virtual BOOL OnCommand(UINT id, UINT code, HWND control);

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  UINT m_nIDTemplate;
  CWnd* m_pParentWnd;

 private:
  void RouteCommand(UINT id, UINT code, HWND control);

  friend INT_PTR CALLBACK FrameworkDlgProc(HWND, UINT, WPARAM, LPARAM);
};
