#pragma once
// A dialog whose face is a bitmap: drawn in one of five ways, optionally with
// one exact colour keyed out by the system (the window's only shape), and
// movable by dragging anywhere on the face.
#include <windows.h>

#include "fw/Dialog.h"
#include "fw/Handles.h"

class CSkinnableDialog : public CDialog {
 public:
  // How the skin covers the client area.
  enum SkinMode : int {
    SkinPlain = 0,      // at the top-left corner, once
    SkinTile = 1,       // repeated across and down
    SkinCenter = 2,     // once, centred (and clipped when larger than the client area)
    SkinStretch = 3,    // scaled to the client area
    SkinFitWindow = 4,  // the window takes the skin's size; drawn as SkinPlain
  };

  explicit CSkinnableDialog(UINT templateId, CWnd* parent = nullptr);
  ~CSkinnableDialog() override;

  void EnableFaceDrag(BOOL enable) { m_bFaceDrag = enable; }
  // Loads a bitmap resource at its natural size; a missing resource leaves
  // the dialog without a skin and still answers TRUE.
  BOOL SetSkinBitmap(UINT resourceId);
  // Takes ownership of the bitmap (null removes the skin). FALSE when its
  // size cannot be read; the handle is deleted then.
  BOOL SetSkinBitmap(HBITMAP bitmap);
  void SetSkinMode(int mode);
  // Makes pixels of exactly this colour transparent and click-through, or
  // (enable FALSE) the whole window opaque again. FALSE where the system
  // cannot key colours.
  BOOL SetColorKey(COLORREF key, BOOL enable);

 protected:
  BOOL OnInitDialog() override;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  void OnLButtonDown(UINT flags, POINT point);
  BOOL OnEraseBkgnd(HDC dc);
  void OnSize(UINT type, SIZE size);

  BOOL m_bFaceDrag = TRUE;
  fw::OwnedBitmap m_hSkin;
  int m_cxBitmap = 0;  // valid whenever m_hSkin is set
  int m_cyBitmap = 0;
  int m_nSkinMode = SkinPlain;

 private:
  void FitWindowToSkin();
  void DrawSkin(HDC target, HDC skin, int cw, int ch) const;
};
