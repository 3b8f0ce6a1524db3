#pragma once
// TexImageList: an image list that draws its disabled images from a second
// list, DisabledImages, when one is set; otherwise it draws exactly as the
// framework's image list (its own greyed look for disabled images).
#include "win/graphics/ImgList.h"

class TexImageList : public TCustomImageList {
public:
  void Create(TComponent* owner) override;
  ~TexImageList() override;

  // The list disabled images come from (not owned); null draws the framework's
  // greyed look. The list is told when the other one is freed or changes.
  TCustomImageList* DisabledImages() const { return disabledImages; }
  void SetDisabledImages(TCustomImageList* value);

protected:
  void Notification(TComponent* component, TOperation operation) override;
  void DoDraw(int index, TCanvas* canvas, int x, int y, UINT style, bool enabled) override;

private:
  void DisabledImagesChange(TObject* sender);

  TCustomImageList* disabledImages = nullptr;  // not owned
  TChangeLink* changeLink = nullptr;           // owned
};

// The colour for the system image list: CLR_NONE for clNone, CLR_DEFAULT for
// clDefault, the RGB value otherwise.
COLORREF GetRGBColor(TColor color);
