#pragma once
// The tree's OLE transport objects: the data object that offers a tree's
// clipboard formats, the format enumerator over a list of formats, and the
// drag manager that is a tree's drop source and drop target. Included by
// VirtualTrees.h; every object here is reference counted and starts with one
// reference that belongs to whoever made it.
#include <objidl.h>
#include <oleidl.h>
#include <shlobj.h>

#include <set>
#include <vector>

#include "core/MemoryStream.h"

class TBaseVirtualTree;

// A stream over a global memory block that another party owns: it reads, and
// its size cannot change (SetSize raises EStreamError).
class TOLEMemoryStream : public TCustomMemoryStream {
public:
  TOLEMemoryStream(const void* memory_, int64_t size_) { SetPointer(const_cast<void*>(memory_), size_); }
  void SetSize(int64_t newSize) override;
};

// IEnumFORMATETC over a copied list of formats.
class TEnumFormatEtc : public IEnumFORMATETC {
public:
  // tree may be null; it is not owned. The target devices of formats are
  // copied: the enumerator may outlive whoever handed them over.
  TEnumFormatEtc(TBaseVirtualTree* tree_, std::vector<FORMATETC> formats_, size_t current_ = 0);
  virtual ~TEnumFormatEtc();
  // False when a target device could not be copied (out of memory).
  bool Complete() const { return complete; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // Copies up to count entries (a target device is copied into task memory);
  // S_OK only when all count were copied, else S_FALSE. fetched may be null
  // only for count 1.
  HRESULT STDMETHODCALLTYPE Next(ULONG count, FORMATETC* elements, ULONG* fetched) override;
  // S_OK when count entries are left to skip (reaching the end exactly is
  // fine); S_FALSE without moving when fewer are.
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
  HRESULT STDMETHODCALLTYPE Reset() override;
  // A new enumerator over the same list at the same index.
  HRESULT STDMETHODCALLTYPE Clone(IEnumFORMATETC** result) override;

private:
  LONG references = 1;
  TBaseVirtualTree* tree;  // not owned
  std::vector<FORMATETC> formats;  // the target devices are the enumerator's own
  size_t current;
  bool complete = true;
};

// IDataObject over a tree: offers the tree's native clipboard formats,
// renders them on demand through the tree's RenderOLEData, keeps media that
// others store into it and answers "Virtual Tree Reference" (process id and
// tree, never enumerated). When the tree goes first the object detaches and
// answers only from stored media.
class TVTDataObject : public IDataObject {
public:
  // forClipboard: made for the clipboard (else for a drag).
  TVTDataObject(TBaseVirtualTree* owner_, bool forClipboard_);
  virtual ~TVTDataObject();

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetData(FORMATETC* formatEtcIn, STGMEDIUM* medium) override;
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC* format, STGMEDIUM* medium) override;
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override;
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC* formatIn, FORMATETC* formatOut) override;
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override;
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** enumFormatEtc) override;
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC* format, DWORD advf, IAdviseSink* sink, DWORD* connection) override;
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD connection) override;
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA** enumAdvise) override;

  // The tree (null once it is gone).
  TBaseVirtualTree* Owner() const { return owner; }
  bool ForClipboard() const { return forClipboard; }
  const std::vector<FORMATETC>& FormatEtcArray() const { return formatEtcArray; }
  // The tree is being destroyed: the object stops calling it.
  void OwnerGone() { owner = nullptr; }

protected:
  // Index of the offered format matching format (id, device, aspect, index,
  // a common medium kind); -1 for none.
  int FindFormatEtc(const FORMATETC& format) const;
  // Index of the medium stored for format id; -1 for none.
  int FindInternalStgMedium(CLIPFORMAT format) const;
  // Makes destination refer to source (sharing, or with copy a copy of the
  // global block or file name); see the medium kinds handled.
  HRESULT StgMediumIncRef(const STGMEDIUM& source, STGMEDIUM& destination, bool copyInMedium);

private:
  struct TStoredMedium {
    CLIPFORMAT Format;
    STGMEDIUM Medium;
  };
  LONG references = 1;
  TBaseVirtualTree* owner;  // not owned; cleared when the tree goes
  bool forClipboard;
  std::vector<FORMATETC> formatEtcArray;
  std::vector<TStoredMedium> internalStgMediumArray;
  IDataAdviseHolder* adviseHolder = nullptr;  // reference held
  std::set<DVTARGETDEVICE*> ownedDevices;     // target devices of formats SetData added (task memory)
};

// The drag manager's own accessors (besides IDropSource and IDropTarget,
// which QueryInterface hands out).
// {C4B25559-14DA-446B-8901-0C879000EB16}
extern const IID IID_IVTDragManager;
class IVTDragManager : public IUnknown {
public:
  // Lets the drag-image helper forget the drag (the tree's DragLeave is not called).
  virtual void ForceDragLeave() = 0;
  // The data object of the running drag, else a new one for the tree (the
  // application's from DoCreateDataObject, or a TVTDataObject for dragging).
  // A new reference: the caller releases it.
  virtual IDataObject* GetDataObject() = 0;
  // The tree the dragged data comes from when it is a tree of this process, else null.
  virtual TBaseVirtualTree* GetDragSource() = 0;
  // Whether the system's drag-image helper draws the drag image over the tree.
  virtual bool GetDropTargetHelperSupported() = 0;
  // Whether the tree is the drop target of a running drag.
  virtual bool GetIsDropTarget() = 0;
};

// The tree's drop source and drop target: forwards drop-target calls to the
// tree and, when the system offers it, to the shell's drag-image helper.
class TVTDragManager : public IVTDragManager, public IDropSource, public IDropTarget {
public:
  explicit TVTDragManager(TBaseVirtualTree* owner_);
  virtual ~TVTDragManager();

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  void ForceDragLeave() override;
  IDataObject* GetDataObject() override;
  TBaseVirtualTree* GetDragSource() override { return dragSource; }
  bool GetDropTargetHelperSupported() override { return dropTargetHelper != nullptr; }
  bool GetIsDropTarget() override { return isDropTarget; }

  // IDropTarget
  HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* dataObject, DWORD keyState, POINTL pt, DWORD* effect) override;
  HRESULT STDMETHODCALLTYPE DragOver(DWORD keyState, POINTL pt, DWORD* effect) override;
  HRESULT STDMETHODCALLTYPE DragLeave() override;
  HRESULT STDMETHODCALLTYPE Drop(IDataObject* dataObject, DWORD keyState, POINTL pt, DWORD* effect) override;
  // IDropSource
  HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escapePressed, DWORD keyState) override;
  HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD effect) override;

  TBaseVirtualTree* Owner() const { return owner; }
  // The tree is being destroyed: drop-target calls are refused from now on.
  void OwnerGone();

private:
  bool HelperShowsImage() const { return dropTargetHelper != nullptr && fullDragging; }
  void ClearDrag();

  LONG references = 1;
  TBaseVirtualTree* owner;                  // not owned; cleared when the tree goes
  TBaseVirtualTree* dragSource = nullptr;   // not owned
  bool isDropTarget = false;
  IDataObject* dataObject = nullptr;        // reference held during a drag over the tree
  IDropTargetHelper* dropTargetHelper = nullptr;  // reference held; null when unavailable
  bool fullDragging = false;
};

// The data object a tree's drag or copy runs with; its owner goes before
// it is freed (called by the tree's destruction).
void RegisterDataObject(TVTDataObject* object);
void UnregisterDataObject(TVTDataObject* object);
// Detaches every living data object of tree (they answer from stored media only).
void DetachDataObjects(TBaseVirtualTree* tree);
// The trees alive in this process (a tree pointer read from data is checked against them).
void RegisterLiveTree(TBaseVirtualTree* tree);
void UnregisterLiveTree(TBaseVirtualTree* tree);
bool IsLiveTree(const void* tree);
