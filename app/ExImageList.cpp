#include "ExImageList.h"

#include "win/ClassInfo.h"

namespace {

const TClassRegistrar<TexImageList, TCustomImageList> kRegistrar("TexImageList", {
    ComponentProp("DisabledImages", &TexImageList::DisabledImages, &TexImageList::SetDisabledImages),
});

}  // namespace

COLORREF GetRGBColor(TColor color) { return ImageListColor(color); }

void TexImageList::Create(TComponent* owner) {
  TCustomImageList::Create(owner);
  changeLink = New<TChangeLink>();
  changeLink->OnChange = MakeEvent<&TexImageList::DisabledImagesChange>(this);
}

// The link leaves the disabled list by itself when freed.
TexImageList::~TexImageList() {
  if (changeLink != nullptr) changeLink->Free();
}

void TexImageList::SetDisabledImages(TCustomImageList* value) {
  if (value == this) return;
  if (disabledImages != nullptr) {
    disabledImages->UnRegisterChanges(changeLink);
    RemoveFreeNotification(disabledImages);
  }
  disabledImages = value;
  if (disabledImages == nullptr) return;
  disabledImages->RegisterChanges(changeLink);
  disabledImages->FreeNotification(this);
}

void TexImageList::Notification(TComponent* component, TOperation operation) {
  TCustomImageList::Notification(component, operation);
  if (operation == opRemove && component == disabledImages) {
    // The list is going: its links are dropped by it, so only forget it.
    disabledImages->UnRegisterChanges(changeLink);
    disabledImages = nullptr;
  }
}

void TexImageList::DisabledImagesChange(TObject*) { Change(); }

void TexImageList::DoDraw(int index, TCanvas* canvas, int x, int y, UINT style, bool enabled) {
  if (!HandleAllocated()) return;
  if (enabled || disabledImages == nullptr) {
    TCustomImageList::DoDraw(index, canvas, x, y, style, enabled);
    return;
  }
  ImageList_DrawEx(disabledImages->Handle(), index, canvas->Handle(), x, y, 0, 0, GetRGBColor(BkColor()),
                   GetRGBColor(BlendColor()), style);
}
