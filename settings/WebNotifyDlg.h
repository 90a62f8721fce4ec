#pragma once
// The web notification's own dialog, opened from the settings dialog: the
// address to call on every change, GET or POST, the body for POST, a test
// call with the address the main window shows, and its own Save, which
// stores the address and body only in their protected form.
#include <string>

#include "ComboBox.h"
#include "Dialog.h"
#include "SettingsLayout.h"

class CWebNotifyDlg : public CDialog {
 public:
  // `shownAddress` is what the test call sends as {ip}.
  explicit CWebNotifyDlg(std::string shownAddress, CWnd* parent = nullptr);
  ~CWebNotifyDlg() override;

  // True once the user saved the notification or a test call got through:
  // either says the user has seen to it, so one the service refused for
  // good may be called again.
  bool UserActed() const { return m_userActed; }

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;
  void OnOK() override;  // Save
  BOOL OnCommand(UINT id, UINT code, HWND control) override;

 private:
  void OnTest();
  settings::WebSettings Typed();

  std::string m_shownAddress;
  settings::WebSettings m_web;
  CComboBox m_methodCombo;
  bool m_userActed = false;
};
