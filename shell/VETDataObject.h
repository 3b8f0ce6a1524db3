#pragma once
// TVETDataObject: the explorer tree's OLE data object. It offers the tree's
// own formats and answers them first; what the tree cannot answer goes to
// the shell's data object of the dragged items, which the owning explorer
// tree holds while its drag runs.
#include "tree/VirtualTrees.h"

class TVETDataObject : public TVTDataObject {
public:
  using TVTDataObject::TVTDataObject;

  HRESULT STDMETHODCALLTYPE GetData(FORMATETC* formatEtcIn, STGMEDIUM* medium) override;
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC* format, STGMEDIUM* medium) override;
  // The tree's answer only.
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override;
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC* formatIn, FORMATETC* formatOut) override;
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override;
  // The tree's formats only (they include the shell's, see the tree's native formats).
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** enumFormatEtc) override;
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC* format, DWORD advf, IAdviseSink* sink, DWORD* connection) override;
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD connection) override;
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA** enumAdvise) override;

private:
  // The shell's data object the owning explorer tree holds; null when none (or the tree went).
  IDataObject* ShellDataObject() const;
};
