#pragma once
// The editor of one web target, opened from the list of targets: the
// address, the method, when it is called, the header lines and the body, a test call with the
// address the main window shows, and an OK that takes the target only when
// its header lines are good. It stores nothing: the list saves all targets.
#include <string>

#include "fw/ComboBox.h"
#include "fw/Dialog.h"
#include "settings/SettingsLayout.h"

class WebTargetDlg : public CDialog {
 public:
  // `shownAddress` is what the test call sends as {ip}.
  WebTargetDlg(settings::WebSettings target, std::string shownAddress, CWnd* parent = nullptr);
  ~WebTargetDlg() override;

  // The target as the user left it at OK.
  const settings::WebSettings& Target() const { return m_target; }
  // True once a test call got through, whether or not the editor was left with OK.
  bool TestGotThrough() const { return m_testGotThrough; }

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;
  void OnOK() override;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void OnTest();
  void OnTestDone(LPARAM answer);
  settings::WebSettings Typed();

  settings::WebSettings m_target;
  std::string m_shownAddress;
  CComboBox m_methodCombo;
  CComboBox m_whenCombo;
  bool m_testGotThrough = false;
};
