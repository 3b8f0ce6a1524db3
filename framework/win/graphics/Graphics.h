#pragma once
// Drawing objects of the window layer: font, pen and brush (each with a change
// event), the canvas that draws with them on a device context, and pictures
// (bitmap, icon, the picture holder). JPEG, image lists and themes have their
// own headers beside this one.
//
// GDI handles are owned by the object that made them and freed with it. A
// canvas selects its font, pen and brush into its DC as needed and puts the
// DC's original objects back when the DC is released (SetHandle(0) or the
// canvas's destruction), so a DC never keeps one of our handles selected.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/Events.h"
#include "core/Exception.h"
#include "core/Persistent.h"
#include "core/Set.h"
#include "win/graphics/DibHeader.h"  // EInvalidGraphic
#include "win/graphics/Types.h"

class TStream;

// EInvalidGraphic: a picture's data cannot be read ("Bitmap image is not
// valid", a JPEG's decoder message, "Unknown picture format").
// An operation a picture does not support, or a GDI object that could not be made.
QV_DECLARE_EXCEPTION(EInvalidGraphicOperation, Exception);
QV_DECLARE_EXCEPTION(EOutOfResources, Exception);

// The screen's vertical pixels per inch (read once).
int ScreenPixelsPerInch();

// Base of TFont, TPen and TBrush: one OnChange event fired after every change.
class TGraphicsObject : public TPersistent {
public:
  TNotifyEvent OnChange;

protected:
  virtual void Changed();
};

enum TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = TSet<TFontStyle, 4>;
enum TFontPitch { fpDefault, fpVariable, fpFixed };

class TFont : public TGraphicsObject {
public:
  void Create();
  ~TFont() override;
  // Copies another font's attributes (firing OnChange only when one differs).
  void Assign(TPersistent* source) override;

  // The HFONT for the current attributes, made on first use; owned by the font.
  HFONT Handle();
  // Takes over the attributes of font (not the handle itself; null is ignored).
  void SetHandle(HFONT font);
  bool HandleAllocated() const { return handle != nullptr; }

  const std::string& Name() const { return name; }
  void SetName(const std::string& value);
  // Points; derived from Height and PixelsPerInch.
  int Size() const;
  void SetSize(int points);
  // Pixels; negative means the character height (as Win32's lfHeight).
  int Height() const { return height; }
  void SetHeight(int value);
  TFontStyles Style() const { return style; }
  void SetStyle(TFontStyles value);
  TColor Color() const { return color; }
  void SetColor(TColor value);
  uint8_t Charset() const { return charset; }
  void SetCharset(uint8_t value);
  TFontPitch Pitch() const { return pitch; }
  void SetPitch(TFontPitch value);
  int PixelsPerInch() const { return pixelsPerInch; }
  void SetPixelsPerInch(int value);

protected:
  void Changed() override;

private:
  void FreeHandle();

  std::string name = "Tahoma";
  int height = -11;
  TFontStyles style;
  TColor color = clWindowText;
  uint8_t charset = DEFAULT_CHARSET;
  TFontPitch pitch = fpDefault;
  int pixelsPerInch = 96;
  HFONT handle = nullptr;  // owned
};

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
enum TPenMode {
  pmBlack, pmWhite, pmNop, pmNot, pmCopy, pmNotCopy, pmMergePenNot, pmMaskPenNot,
  pmMergeNotPen, pmMaskNotPen, pmMerge, pmNotMerge, pmMask, pmNotMask, pmXor, pmNotXor
};

class TPen : public TGraphicsObject {
public:
  ~TPen() override;
  void Assign(TPersistent* source) override;

  // The HPEN for the current attributes, made on first use; owned by the pen.
  HPEN Handle();
  bool HandleAllocated() const { return handle != nullptr; }

  TColor Color() const { return color; }
  void SetColor(TColor value);
  int Width() const { return width; }
  // Values below 1 count as 1.
  void SetWidth(int value);
  TPenStyle Style() const { return style; }
  void SetStyle(TPenStyle value);
  // The raster operation (R2_xxx) the canvas sets with the pen; no new handle.
  TPenMode Mode() const { return mode; }
  void SetMode(TPenMode value);

protected:
  void Changed() override;

private:
  void FreeHandle();

  TColor color = clBlack;
  int width = 1;
  TPenStyle style = psSolid;
  TPenMode mode = pmCopy;
  HPEN handle = nullptr;  // owned
};

enum TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };

class TBitmap;

class TBrush : public TGraphicsObject {
public:
  ~TBrush() override;
  void Assign(TPersistent* source) override;

  // The HBRUSH for the current attributes (a hollow brush for bsClear), made on
  // first use; owned by the brush.
  HBRUSH Handle();
  bool HandleAllocated() const { return handle != nullptr; }

  TColor Color() const { return color; }
  // Setting a colour while the style is bsClear makes the style bsSolid.
  void SetColor(TColor value);
  TBrushStyle Style() const { return style; }
  void SetStyle(TBrushStyle value);
  // A pattern bitmap (not owned; null for none); it wins over Style when set.
  TBitmap* Bitmap() const { return bitmap; }
  void SetBitmap(TBitmap* value);

protected:
  void Changed() override;

private:
  void FreeHandle();

  TColor color = clWhite;
  TBrushStyle style = bsSolid;
  TBitmap* bitmap = nullptr;  // not owned
  HBRUSH handle = nullptr;    // owned
};

class TGraphic;

enum TCanvasStateItem { csHandleValid, csFontValid, csPenValid, csBrushValid };
using TCanvasState = TSet<TCanvasStateItem, 4>;
enum TFillStyle { fsSurface, fsBorder };

// Draws on a device context with its own font, pen and brush. A plain canvas
// draws on a DC handed to it with SetHandle (not owned); derived canvases make
// their DC on demand in CreateHandle (a bitmap's memory DC, a control's DC).
// Text is UTF-16.
class TCanvas : public TPersistent {
public:
  void Create();
  ~TCanvas() override;

  // The DC, made through CreateHandle when none is set; raises
  // EInvalidGraphicOperation "Canvas does not allow drawing" when there is none.
  HDC Handle();
  // Uses dc from now on (null releases the current one); our objects are
  // deselected from the old DC first.
  void SetHandle(HDC dc);
  bool HandleAllocated() const { return handle != nullptr; }

  TFont* Font() const { return font; }
  TPen* Pen() const { return pen; }
  TBrush* Brush() const { return brush; }
  // Copy the attributes of value (null is ignored).
  void SetFont(TFont* value);
  void SetPen(TPen* value);
  void SetBrush(TBrush* value);

  TPoint PenPos();
  void SetPenPos(TPoint p) { MoveTo(p.X, p.Y); }
  void MoveTo(int x, int y);
  // A line from the pen position to (x, y), which is not drawn; the pen moves there.
  void LineTo(int x, int y);
  void Polyline(const std::vector<TPoint>& points);
  // A closed outline in the pen, filled with the brush; fewer than 2 points draw nothing.
  void Polygon(const std::vector<TPoint>& points);
  void Rectangle(int x1, int y1, int x2, int y2);
  void Rectangle(const TRect& r) { Rectangle(r.Left, r.Top, r.Right, r.Bottom); }
  void RoundRect(int x1, int y1, int x2, int y2, int cornerWidth, int cornerHeight);
  void Ellipse(int x1, int y1, int x2, int y2);
  void Ellipse(const TRect& r) { Ellipse(r.Left, r.Top, r.Right, r.Bottom); }
  // Fills r with the brush (no outline); bsClear fills nothing.
  void FillRect(const TRect& r);
  // A one-pixel frame around r in the brush's colour.
  void FrameRect(const TRect& r);
  // The system's dotted focus rectangle (XOR: drawing it twice removes it).
  void DrawFocusRect(const TRect& r);
  // Fills the area around (x, y) up to a border of color (fsBorder), or the
  // area of color (fsSurface), with the brush.
  void FloodFill(int x, int y, TColor color, TFillStyle style);

  TColor Pixel(int x, int y);
  void SetPixel(int x, int y, TColor color);

  // Text in the font, its background filled with the brush unless the brush
  // style is bsClear. The pen position moves to the end of the text.
  void TextOut(int x, int y, std::u16string_view text);
  // Text at (x, y) clipped to r (r is filled with the brush first unless bsClear).
  void TextRect(const TRect& r, int x, int y, std::u16string_view text);
  // Win32 DrawText with format (DT_xxx); with DT_CALCRECT only r changes.
  // Returns the height of the text drawn.
  int DrawText(std::u16string_view text, TRect& r, UINT format);
  TSize TextExtent(std::u16string_view text);
  int TextWidth(std::u16string_view text) { return TextExtent(text).cx; }
  int TextHeight(std::u16string_view text) { return TextExtent(text).cy; }

  // The clip box in logical coordinates (the whole surface when no region is set).
  TRect ClipRect();
  // Limits further drawing to r (intersected with the current clip region).
  void IntersectClipRect(const TRect& r);
  // Removes r from the clip region.
  void ExcludeClipRect(const TRect& r);
  // Removes any clip region.
  void ResetClip();
  // Saves the DC's state (clip, origins, selections); returns the id for RestoreState.
  int SaveState();
  void RestoreState(int id);

  TPoint WindowOrg();
  void SetWindowOrg(TPoint p);
  TPoint BrushOrg();
  void SetBrushOrg(TPoint p);

  // Draws graphic at (x, y) in its own size / stretched into r; null or empty is ignored.
  void Draw(int x, int y, TGraphic* graphic);
  void StretchDraw(const TRect& r, TGraphic* graphic);
  // Copies source's srcRect into destRect of this canvas with CopyMode (stretching as needed).
  void CopyRect(const TRect& destRect, TCanvas* source, const TRect& srcRect);
  DWORD CopyMode() const { return copyMode; }
  void SetCopyMode(DWORD value) { copyMode = value; }
  // ETO_xxx options for text that the canvas's users agree on (ETO_OPAQUE: the
  // text's background is filled); the canvas itself only keeps them.
  int TextFlags() const { return textFlags; }
  void SetTextFlags(int value) { textFlags = value; }

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

protected:
  // Makes a DC for a canvas that has none; the base makes none.
  virtual void CreateHandle();
  // Makes sure the listed parts are selected into the DC.
  void RequiredState(TCanvasState required);
  void Changing();
  void Changed();
  // Restores the DC's original objects and forgets which of ours were selected.
  void DeselectHandles();

private:
  void FontChanged(TObject* sender);
  void PenChanged(TObject* sender);
  void BrushChanged(TObject* sender);

  HDC handle = nullptr;  // not owned (derived canvases free theirs)
  TCanvasState state;
  TFont* font = nullptr;    // owned
  TPen* pen = nullptr;      // owned
  TBrush* brush = nullptr;  // owned
  HGDIOBJ oldFont = nullptr;   // the DC's own objects, put back on release
  HGDIOBJ oldPen = nullptr;
  HGDIOBJ oldBrush = nullptr;
  DWORD copyMode = SRCCOPY;
  int textFlags = 0;
};

// Base of the pictures: something of a size that can draw itself on a canvas
// and be read from a stream.
class TGraphic : public TPersistent {
public:
  void Create() {}

  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual void SetWidth(int value);
  virtual void SetHeight(int value);
  bool Empty() const { return Width() <= 0 || Height() <= 0; }
  // Drawn with transparent parts left alone.
  bool Transparent() const { return transparent; }
  virtual void SetTransparent(bool value);

  // Reads the picture from stream's current position; raises EInvalidGraphic
  // for data that is not such a picture, leaving the old picture in place.
  virtual void LoadFromStream(TStream* stream) = 0;
  // Writes it; raises EInvalidGraphicOperation where a kind cannot be written.
  virtual void SaveToStream(TStream* stream) = 0;
  // Loads from the file at path (UTF-16); raises EFOpenError or EInvalidGraphic.
  void LoadFromFile(const std::u16string& path);

  // Draws the picture stretched into r; called by TCanvas::Draw and StretchDraw.
  virtual void Draw(TCanvas* canvas, const TRect& r) = 0;

  TNotifyEvent OnChange;

protected:
  virtual void Changed();

private:
  bool transparent = false;
};

enum TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit };
enum TTransparentMode { tmAuto, tmFixed };

// A bitmap held as a top-down DIB section (24 or 32 bits a pixel), with a
// canvas on a memory DC made when first asked for.
// A top-down 32-bit DIB section of width x height; bits receives its pixels.
// Returns null (and bits null) for an empty size or when GDI refuses.
HBITMAP CreateDib32(int width, int height, uint8_t** bits);

class TBitmap : public TGraphic {
public:
  void Create();
  ~TBitmap() override;
  void Assign(TPersistent* source) override;

  int Width() const override { return width; }
  int Height() const override { return height; }
  void SetWidth(int value) override;
  void SetHeight(int value) override;
  // Both at once; the content is kept where it overlaps and new pixels are black.
  void SetSize(int newWidth, int newHeight);
  TPixelFormat PixelFormat() const { return pixelFormat; }
  // pf32bit and pf24bit are kept as they are; other formats are held as 32 bits.
  void SetPixelFormat(TPixelFormat value);

  // The DIB section (null for an empty bitmap); owned by the bitmap. It may be
  // selected into the bitmap's memory DC: call Dormant() before handing it to
  // an API that selects it into a DC of its own (image lists do).
  HBITMAP Handle() const { return handle; }
  // Takes over a copy of bitmap's pixels (the caller keeps bitmap); null empties.
  void SetHandle(HBITMAP bitmap);
  // The canvas on this bitmap; valid as long as the bitmap.
  TCanvas* Canvas();
  // The first byte of row y (top-down); raises EInvalidGraphicOperation out of range.
  uint8_t* ScanLine(int y);

  // The colour drawn transparently: the bottom-left pixel with tmAuto.
  TColor TransparentColor();
  void SetTransparentColor(TColor value);
  TTransparentMode TransparentMode() const { return transparentMode; }
  void SetTransparentMode(TTransparentMode value);

  // Reads a BMP file (file header, info header, palette, bits).
  void LoadFromStream(TStream* stream) override;
  // Writes a BMP file of the current pixel format.
  void SaveToStream(TStream* stream) override;
  // The RT_BITMAP resource name of module instance; raises EInvalidGraphic when missing.
  void LoadFromResourceName(HINSTANCE instance, const std::u16string& name);
  void LoadFromResourceID(HINSTANCE instance, int id);
  // Reads a packed DIB (info header, palette, bits) of size bytes.
  void LoadFromDIB(const uint8_t* data, size_t size);

  void Draw(TCanvas* canvas, const TRect& r) override;

  // Releases the memory DC (its canvas keeps its attributes); GDI work after this re-makes it.
  void Dormant();

private:
  friend class TBitmapCanvas;
  void NewImage(int newWidth, int newHeight, TPixelFormat format, bool keepContent);
  HDC MemoryDC();

  int width = 0;
  int height = 0;
  TPixelFormat pixelFormat = pf32bit;
  TColor transparentColor = clDefault;
  TTransparentMode transparentMode = tmAuto;
  HBITMAP handle = nullptr;  // owned
  uint8_t* bits = nullptr;   // the DIB section's pixels
  HDC memoryDC = nullptr;    // owned, made on demand
  HGDIOBJ oldBitmap = nullptr;
  TCanvas* canvas = nullptr;  // owned
};

// An icon or cursor handle with its size.
class TIcon : public TGraphic {
public:
  ~TIcon() override;
  void Assign(TPersistent* source) override;

  int Width() const override;
  int Height() const override;
  // The icon (null when empty); owned unless released.
  HICON Handle() const { return handle; }
  // Takes ownership of icon (the old one is destroyed).
  void SetHandle(HICON icon);
  // Hands the handle to the caller, leaving the icon empty.
  HICON ReleaseHandle();

  // Reads an .ico file and takes the entry closest to 32 x 32 (or the requested size).
  void LoadFromStream(TStream* stream) override;
  void SaveToStream(TStream* stream) override;
  void LoadFromResourceName(HINSTANCE instance, const std::u16string& name, int size = 0);
  void LoadFromResourceID(HINSTANCE instance, int id, int size = 0);
  // The size LoadFromStream prefers (0: the system's large icon size).
  void SetRequestedSize(int size) { requestedSize = size; }

  void Draw(TCanvas* canvas, const TRect& r) override;

private:
  HICON handle = nullptr;  // owned
  int width = 0;
  int height = 0;
  int requestedSize = 0;
  std::vector<uint8_t> data;  // the .ico file it was read from, for SaveToStream
};

// Holds one picture of any kind; Graphic() is null while it is empty.
class TPicture : public TPersistent {
public:
  void Create() {}
  ~TPicture() override;
  void Assign(TPersistent* source) override;

  TGraphic* Graphic() const { return graphic; }
  // Takes a copy of value (null empties the picture).
  void SetGraphic(TGraphic* value);
  // The picture as a bitmap: an empty bitmap replaces a picture of another kind.
  TBitmap* Bitmap();
  TIcon* Icon();
  int Width() const { return graphic != nullptr ? graphic->Width() : 0; }
  int Height() const { return graphic != nullptr ? graphic->Height() : 0; }

  // Reads a bitmap, icon or JPEG, chosen by the data's first bytes; raises
  // EInvalidGraphic "Unknown picture format" for anything else (the old
  // picture is kept then).
  void LoadFromStream(TStream* stream);
  // Writes the picture's own format (nothing for an empty picture).
  void SaveToStream(TStream* stream);
  void LoadFromFile(const std::u16string& path);

  TNotifyEvent OnChange;

private:
  void TakeGraphic(TGraphic* value);
  void GraphicChanged(TObject* sender);
  void Changed();

  TGraphic* graphic = nullptr;  // owned
};
