// The explorer tree's data object: the tree's answer first, the shell's data
// object of the dragged items when the tree has none.
#include "shell/VETDataObject.h"

#include "shell/ExplorerTree.h"

IDataObject* TVETDataObject::ShellDataObject() const {
  auto* tree = dynamic_cast<TCustomVirtualExplorerTree*>(Owner());
  return tree != nullptr ? tree->DragSourceDataObject() : nullptr;
}

HRESULT TVETDataObject::GetData(FORMATETC* formatEtcIn, STGMEDIUM* medium) {
  HRESULT result = TVTDataObject::GetData(formatEtcIn, medium);
  IDataObject* shell = result != S_OK ? ShellDataObject() : nullptr;
  return shell != nullptr ? shell->GetData(formatEtcIn, medium) : result;
}

HRESULT TVETDataObject::GetDataHere(FORMATETC* format, STGMEDIUM* medium) {
  HRESULT result = TVTDataObject::GetDataHere(format, medium);
  IDataObject* shell = result != S_OK ? ShellDataObject() : nullptr;
  return shell != nullptr ? shell->GetDataHere(format, medium) : result;
}

HRESULT TVETDataObject::QueryGetData(FORMATETC* format) { return TVTDataObject::QueryGetData(format); }

HRESULT TVETDataObject::GetCanonicalFormatEtc(FORMATETC* formatIn, FORMATETC* formatOut) {
  HRESULT result = TVTDataObject::GetCanonicalFormatEtc(formatIn, formatOut);
  IDataObject* shell = result != S_OK ? ShellDataObject() : nullptr;
  return shell != nullptr ? shell->GetCanonicalFormatEtc(formatIn, formatOut) : result;
}

HRESULT TVETDataObject::SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) {
  HRESULT result = TVTDataObject::SetData(format, medium, release);
  IDataObject* shell = result != S_OK ? ShellDataObject() : nullptr;
  return shell != nullptr ? shell->SetData(format, medium, release) : result;
}

HRESULT TVETDataObject::EnumFormatEtc(DWORD direction, IEnumFORMATETC** enumFormatEtc) {
  if (enumFormatEtc != nullptr) *enumFormatEtc = nullptr;
  return TVTDataObject::EnumFormatEtc(direction, enumFormatEtc);
}

HRESULT TVETDataObject::DAdvise(FORMATETC* format, DWORD advf, IAdviseSink* sink, DWORD* connection) {
  HRESULT result = TVTDataObject::DAdvise(format, advf, sink, connection);
  IDataObject* shell = result != S_OK ? ShellDataObject() : nullptr;
  return shell != nullptr ? shell->DAdvise(format, advf, sink, connection) : result;
}

HRESULT TVETDataObject::DUnadvise(DWORD connection) {
  HRESULT result = TVTDataObject::DUnadvise(connection);
  IDataObject* shell = result != S_OK ? ShellDataObject() : nullptr;
  return shell != nullptr ? shell->DUnadvise(connection) : result;
}

HRESULT TVETDataObject::EnumDAdvise(IEnumSTATDATA** enumAdvise) {
  if (enumAdvise != nullptr) *enumAdvise = nullptr;
  HRESULT result = TVTDataObject::EnumDAdvise(enumAdvise);
  IDataObject* shell = result != S_OK ? ShellDataObject() : nullptr;
  if (shell == nullptr) return result;
  if (enumAdvise != nullptr) {
    if (*enumAdvise != nullptr) (*enumAdvise)->Release();  // a partial answer is not kept
    *enumAdvise = nullptr;
  }
  return shell->EnumDAdvise(enumAdvise);
}
