#pragma once
// TVTDragImage: the translucent picture of the dragged nodes that follows the
// mouse during an OLE drag. The system's drag-image helper takes the picture
// where it can; elsewhere (Wine answers E_NOTIMPL) the picture is a layered
// pop-up window of its own, transparent to the mouse, so nothing under it
// has to be captured or repainted as it moves.
#include <objidl.h>

#include <vector>

#include "core/Set.h"
#include "win/graphics/Types.h"

class TBaseVirtualTree;

enum TVTDragImageState { dsHidden, dsInDrag, dsPrepared, dsSystemSupport };
using TVTDragImageStates = TSet<TVTDragImageState, 8>;
enum TVTDragMoveRestriction { dmrNone, dmrHorizontalOnly, dmrVerticalOnly };

class TVTDragImage {
public:
  explicit TVTDragImage(TBaseVirtualTree* owner_) : owner(owner_) {}
  // Ends a running drag first.
  ~TVTDragImage();
  TVTDragImage(const TVTDragImage&) = delete;
  TVTDragImage& operator=(const TVTDragImage&) = delete;

  // Takes a copy of picture (any bitmap; the caller keeps it) shown at
  // imagePosition (screen) with the mouse at hotSpot (screen). With a data
  // object the system's helper is tried first; otherwise, or when it refuses,
  // the picture gets its alpha channel and waits hidden for ShowDragImage.
  void PrepareDrag(HBITMAP picture, TPoint imagePosition, TPoint hotSpot, IDataObject* dataObject);
  // Shows a hidden, prepared picture (nothing while the system draws it).
  void ShowDragImage();
  void HideDragImage();
  // Moves the picture with the mouse to p (screen); true when it moved or a
  // repaint was forced. A hidden picture only remembers the position.
  bool DragTo(TPoint p, bool forceRepaint);
  // Whether the picture is visible and a move to p would move it.
  bool WillMove(TPoint p) const;
  // Hides the picture and frees it; the object is ready for the next drag.
  void EndDrag();
  // The picture's screen rectangle; empty when it is not visible.
  TRect GetDragImageRect() const;
  // The tree under the picture was repainted in r (client); with a window of
  // its own nothing is captured, the picture only shows again when reshow.
  void RecaptureBackground(TBaseVirtualTree* tree, TRect r, HRGN visibleRegion, bool captureNCArea, bool reshow);
  // Exactly dsInDrag and dsPrepared among the four states.
  bool Visible() const;

  TVTDragImageStates States() const { return states; }
  TPoint ImagePosition() const { return imagePosition; }
  TPoint LastPosition() const { return lastPosition; }
  TSize ImageSize() const { return TSize{width, height}; }
  // The picture's colour (0x00RRGGBB) and alpha at (x, y); 0 outside or before PrepareDrag.
  uint32_t PixelAt(int x, int y) const;
  // The layered window showing the picture (null while the system draws or nothing is prepared).
  HWND Window() const { return window; }

  uint8_t Transparency() const { return transparency; }
  void SetTransparency(uint8_t value);
  int PreBlendBias() const { return preBlendBias; }
  void SetPreBlendBias(int value) { preBlendBias = value; }
  int PostBlendBias() const { return postBlendBias; }
  void SetPostBlendBias(int value);
  bool Fade() const { return fade; }
  void SetFade(bool value);
  TVTDragMoveRestriction MoveRestriction() const { return restriction; }
  void SetMoveRestriction(TVTDragMoveRestriction value) { restriction = value; }
  // The colour that is fully transparent in the picture; clNone for none.
  TColor ColorKey() const { return colorKey; }
  void SetColorKey(TColor value) { colorKey = value; }

private:
  // Whether the system's helper took the picture.
  bool HandToSystem(HBITMAP picture, TPoint imagePosition_, TPoint hotSpot, IDataObject* dataObject);
  // Builds the per-pixel alpha: 0 for the colour key, else fading from the centre.
  void BuildAlphaChannel();
  // Blends the picture with Transparency and PostBlendBias into the window's
  // premultiplied pixels and hands them to the window.
  void Compose();
  TPoint Displacement(TPoint p) const;
  void FreeImages();

  TBaseVirtualTree* owner;  // not owned
  TVTDragImageStates states;
  TPoint imagePosition, lastPosition;
  int width = 0, height = 0;
  std::vector<uint32_t> dragPixels;  // the picture with its alpha (0xAARRGGBB), width * height
  HBITMAP alphaBitmap = nullptr;     // owned: the window's premultiplied pixels
  uint32_t* alphaPixels = nullptr;   // bits of alphaBitmap
  HDC alphaDC = nullptr;             // owned, alphaBitmap selected
  HGDIOBJ oldAlphaBitmap = nullptr;
  HWND window = nullptr;             // owned
  uint8_t transparency = 128;
  int preBlendBias = 0;
  int postBlendBias = 0;
  bool fade = false;
  TVTDragMoveRestriction restriction = dmrNone;
  TColor colorKey = clNone;
};
