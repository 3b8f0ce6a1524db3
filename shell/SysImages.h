#pragma once
// VirtualSysImages: an image list bound to the shell's system image list (the
// icons of all shell items, by the indices the shell hands out). It never
// frees the system's handle.
#include "shell/VirtualShellTypes.h"
#include "win/graphics/ImgList.h"

class VirtualSysImages : public TImageList {
public:
  ~VirtualSysImages() override;
  // Shared, transparent, small; bound at once.
  void Create(TComponent* owner) override;

  // 0 small, 1 large, 2 extra large (the large list where the system has none).
  int ImageSize() const { return imageSize; }
  void SetImageSize(int value);
  // Binds the handle to the system list of ImageSize again.
  void Flush();

private:
  void BindLarge(bool large);

  int imageSize = 0;
  IUnknown* extraLargeList = nullptr;  // the IImageList behind the extra-large handle
};

// The process-wide small and large system lists, made on first call.
VirtualSysImages* SmallSysImages();
VirtualSysImages* LargeSysImages();
// The extra-large list, made on first call.
VirtualSysImages* ExtraLargeSysImages();
// Rebinds every global list that exists (the shell icon size may have changed).
void FlushImageLists();
