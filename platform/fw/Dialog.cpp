#include "fw/Dialog.h"

#include "fw/MessageMap.h"
#include "fw/WinApp.h"

// The dialog manager's own procedure for our dialogs. Once WM_INITDIALOG has
// arrived the window is subclassed, so every later message reaches the object
// through FrameworkWndProc first; here only the initialisation is handled.
INT_PTR CALLBACK FrameworkDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_INITDIALOG) return FALSE;
  auto* dialog = reinterpret_cast<CDialog*>(lParam);
  dialog->SubclassWindow(hwnd);
  return fw::CallHandlerSafely(dialog, message, wParam, lParam);
}

INT_PTR CDialog::DoModal() {
  // Like the user expects of a dialog with no parent given: it belongs to the
  // program's main window (when that is a window other than this one).
  HWND owner = m_pParentWnd ? m_pParentWnd->GetSafeHwnd() : nullptr;
  CWinApp* app = AfxGetApp();
  if (!owner && app && app->m_pMainWnd && app->m_pMainWnd != this && IsWindow(app->m_pMainWnd->GetSafeHwnd()))
    owner = app->m_pMainWnd->GetSafeHwnd();
  return DialogBoxParamA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(m_nIDTemplate), owner, FrameworkDlgProc,
                         reinterpret_cast<LPARAM>(this));
}

void CDialog::EndDialog(INT_PTR result) {
  if (m_hWnd) ::EndDialog(m_hWnd, result);
}

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
  CDataExchange dx(this, saveAndValidate != FALSE);
  DoDataExchange(&dx);
  return TRUE;
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::OnOK() {
  if (UpdateData(TRUE)) EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::OnCommand(UINT, UINT, HWND) { return FALSE; }

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  // Through the member pointers the calls stay virtual: a dialog's own OnOK runs.
  const fw::Route<CDialog> routes[] = {
      fw::OnInitDialog<CDialog, &CDialog::OnInitDialog>(),
      fw::OnCommandId<CDialog, &CDialog::OnOK>(IDOK),
      fw::OnCommandId<CDialog, &CDialog::OnCancel>(IDCANCEL),
      fw::OnCommand<CDialog, &CDialog::RouteCommand>(),
  };
  return fw::Dispatch(*this, routes, message, wParam, lParam,
                      [&] { return CWnd::WindowProc(message, wParam, lParam); });
}

// What the dialog leaves alone gets the system's own handling.
void CDialog::RouteCommand(UINT id, UINT code, HWND control) {
  if (!OnCommand(id, code, control)) SetMsgHandled(FALSE);
}

void DDX_Text(CDataExchange* pDX, int id, std::string& value) {
  HWND field = GetDlgItem(pDX->m_pDlgWnd->GetSafeHwnd(), id);
  if (!pDX->m_bSaveAndValidate) {
    SetWindowTextA(field, value.c_str());
    return;
  }
  value = fw::WindowText(field);
}

void DDX_Control(CDataExchange* pDX, int id, CWnd& control) {
  if (!control.GetSafeHwnd()) control.Attach(GetDlgItem(pDX->m_pDlgWnd->GetSafeHwnd(), id));
}
