// The static control that shows a CPicture (previews of found pictures).
#pragma once
#include "fwlink.h"
#include "picture.h"

class CPictureStatic : public CStatic {
 public:
  explicit CPictureStatic(BOOL loadById = FALSE) : loadById_(loadById) {}
  // Shows the "Dat" resource with this id (the loading and no-preview pictures).
  BOOL SetImage(UINT resourceId);
  CPicture& Picture() { return picture_; }

 protected:
  void PreSubclassWindow() override;
  int OnCreate(LPCREATESTRUCT cs);
  BOOL OnEraseBkgnd(CDC* dc);
  void OnPaint();
  DECLARE_MESSAGE_MAP()

 private:
  void LoadOwnId();
  CPicture picture_;
  BOOL loadById_;
};
