#pragma once
// Image lists: a row of same-sized images held by the system's image list
// (ImageList_*), drawn onto canvases normally or in a greyed disabled look.
// A list may also wrap a handle it does not own (the shell's system image
// list): with ShareImages it never destroys that handle.
#include <windows.h>
// windows.h first: commctrl.h needs its types.
#include <commctrl.h>

#include <cstdint>
#include <vector>

#include "core/Component.h"
#include "core/Events.h"
#include "win/graphics/Graphics.h"

enum TDrawingStyle { dsFocus, dsSelected, dsNormal, dsTransparent };
enum TImageType { itImage, itMask };

class TCustomImageList;

// Tells a client (a control showing the list's images) that the list changed.
// A link registered with a list unregisters itself when freed.
class TChangeLink : public TObject {
public:
  ~TChangeLink() override;
  TCustomImageList* Sender() const { return sender; }
  // Fires OnChange; called by the list.
  virtual void Change();

  TNotifyEvent OnChange;

private:
  friend class TCustomImageList;
  TCustomImageList* sender = nullptr;  // not owned
};

class TCustomImageList : public TComponent {
public:
  void Create(TComponent* owner) override;
  // Creates the list for images of width x height.
  void CreateSize(TComponent* owner, int width_, int height_);
  ~TCustomImageList() override;

  // The system image list, made on first use (empty, Width x Height, 32-bit colour).
  HIMAGELIST Handle();
  bool HandleAllocated() const { return handle != nullptr; }
  // Uses list from now on; its image size becomes Width and Height. The old
  // handle is destroyed unless ShareImages.
  void SetHandle(HIMAGELIST list);
  // When true the handle is never destroyed by this object (a shared list).
  bool ShareImages() const { return shareImages; }
  void SetShareImages(bool value) { shareImages = value; }

  int Width() const { return width; }
  int Height() const { return height; }
  // Changing the size empties the list.
  void SetWidth(int value);
  void SetHeight(int value);
  int Count();
  TColor BkColor() const { return bkColor; }
  void SetBkColor(TColor value);
  TColor BlendColor() const { return blendColor; }
  void SetBlendColor(TColor value);
  TDrawingStyle DrawingStyle() const { return drawingStyle; }
  void SetDrawingStyle(TDrawingStyle value);
  TImageType ImageType() const { return imageType; }
  void SetImageType(TImageType value);
  bool Masked() const { return masked; }
  // Takes effect for a handle made afterwards (the list is emptied).
  void SetMasked(bool value);
  int AllocBy() const { return allocBy; }
  void SetAllocBy(int value) { allocBy = value > 0 ? value : 1; }

  // Adds the images of image (Width wide each) with mask (may be null); returns
  // the index of the first or -1 on failure.
  int Add(TBitmap* image, TBitmap* mask);
  // The same with every pixel of maskColor transparent (clDefault: the
  // bitmap's TransparentColor); image itself is left unchanged.
  int AddMasked(TBitmap* image, TColor maskColor);
  int AddIcon(TIcon* icon);
  void Replace(int index, TBitmap* image, TBitmap* mask);
  void ReplaceIcon(int index, TIcon* icon);
  // Removes image index (-1 removes all); an index out of range is ignored.
  void Delete(int index);
  void Clear() { Delete(-1); }
  // Makes image index usable as overlay overlayIndex (0..14).
  bool Overlay(int index, int overlayIndex);

  // Draws image index at (x, y) in DrawingStyle; a disabled image is greyed.
  // An index out of range draws nothing.
  void Draw(TCanvas* canvas, int x, int y, int index, bool enabled = true);
  void Draw(TCanvas* canvas, int x, int y, int index, TDrawingStyle style, TImageType type, bool enabled = true);
  // Draws image index with ILD_xxx style: the overlay the style names, ILD_BLEND50
  // mixing every covered pixel half and half with blend (clDefault: the
  // highlight colour), a disabled image greyed. Drawn per pixel where needed,
  // so both looks show on systems that ignore those flags; the list's own
  // colours are left unchanged; a disabled image goes through DoDraw (a derived
  // list may have its own disabled look). An index out of range draws nothing.
  void DrawStyled(TCanvas* canvas, int x, int y, int index, UINT style, TColor blend, bool enabled);
  // Copies image index into image (sized to the list's images; white background).
  void GetBitmap(int index, TBitmap* image);
  void GetIcon(int index, TIcon* icon);

  // The images as one picture strip (a BMP, images side by side), for form
  // definitions; setting it replaces the images, the strip's bottom-left pixel
  // colour being transparent. Bad data raises EInvalidGraphic.
  std::vector<uint8_t> ImageStrip() const;
  void SetImageStrip(const std::vector<uint8_t>& data);

  void RegisterChanges(TChangeLink* link);
  void UnRegisterChanges(TChangeLink* link);
  // Delays change notifications until the matching EndUpdate.
  void BeginUpdate() { ++updateCount; }
  void EndUpdate();

  TNotifyEvent OnChange;

protected:
  // Draws one image with ILD_xxx style; the base draws disabled images greyed.
  virtual void DoDraw(int index, TCanvas* canvas, int x, int y, UINT style, bool enabled);
  // Tells the change links and OnChange.
  virtual void Change();
  UINT DrawStyleFlags(TDrawingStyle style, TImageType type) const;

private:
  void FreeHandle();
  void DrawPerPixel(HDC dc, int index, int x, int y, UINT style, bool disabled, TColor blend);

  HIMAGELIST handle = nullptr;  // owned unless shareImages
  bool shareImages = false;
  int width = 16;
  int height = 16;
  TColor bkColor = clNone;
  TColor blendColor = clNone;
  TDrawingStyle drawingStyle = dsNormal;
  TImageType imageType = itImage;
  bool masked = true;
  int allocBy = 4;
  int updateCount = 0;
  bool changedWhileUpdating = false;
  std::vector<TChangeLink*> links;  // not owned
};

class TImageList : public TCustomImageList {};

// The 32-bit colour the system image list takes for color: CLR_NONE for clNone,
// CLR_DEFAULT for clDefault, the RGB value otherwise.
COLORREF ImageListColor(TColor color);
