#pragma once
// VirtualSysImages: an image list bound to the shell's system image list (the
// icons of all shell items, by the indices the shell hands out). It never
// frees the system's handle.
#include "shell/VirtualShellTypes.h"
#include "win/graphics/ImgList.h"

class VirtualSysImages : public TImageList {
public:
  ~VirtualSysImages() override;
  // Shared, transparent, small; not bound yet, but already as wide and high
  // as the system's small icons (the system list's size).
  void Create(TComponent* owner) override;

  // 0 small, 1 large, 2 extra large (the large list where the system has none); binds.
  int ImageSize() const { return imageSize; }
  void SetImageSize(int value);
  // Binds the handle to the system list of ImageSize again.
  void Flush();
  // Binds the handle unless that was done (Flush) before. The first binding
  // of a process makes the shell build its system list, which takes tens of
  // milliseconds: a list that may never be drawn is bound when first drawn.
  void Bind();
  bool Bound() const { return bound; }

private:
  void BindLarge(bool large);

  int imageSize = 0;
  bool bound = false;
  IUnknown* extraLargeList = nullptr;  // the IImageList behind the extra-large handle
};

// The process-wide small and large system lists, made and bound on first call.
VirtualSysImages* SmallSysImages();
// The process-wide small list, made but possibly not bound yet (a user binds
// it before it draws from it).
VirtualSysImages* SmallSysImagesUnbound();
VirtualSysImages* LargeSysImages();
// The extra-large list, made on first call.
VirtualSysImages* ExtraLargeSysImages();
// Rebinds every global list that exists (the shell icon size may have changed).
void FlushImageLists();
