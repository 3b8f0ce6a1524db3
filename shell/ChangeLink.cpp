#include "shell/ChangeLink.h"

#include <algorithm>

const GUID IID_IVETChangeLink = {0x1B5A391E, 0xDCDD, 0x400E, {0x84, 0x51, 0x29, 0xC1, 0x05, 0x8E, 0x5A, 0x32}};

TVETChangeDispatch* VETChangeDispatch = nullptr;

namespace {
// The registry lives from static initialisation to static finalisation;
// controls destroyed later find the global null and skip unregistering.
struct ChangeDispatchLifetime {
  ChangeDispatchLifetime() { VETChangeDispatch = New<TVETChangeDispatch>(); }
  ~ChangeDispatchLifetime() { FreeAndNil(VETChangeDispatch); }
} gChangeDispatchLifetime;
}  // namespace

// ---- TVETChangeLink -------------------------------------------------------------

HRESULT STDMETHODCALLTYPE TVETChangeLink::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IVETChangeLink)) {
    *object = static_cast<IVETChangeLink*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE TVETChangeLink::AddRef() { return InterlockedIncrement(&refCount); }

ULONG STDMETHODCALLTYPE TVETChangeLink::Release() {
  LONG count = InterlockedDecrement(&refCount);
  if (count == 0) delete this;
  return count;
}

// ---- TVETChangeDispatch -----------------------------------------------------------

TVETChangeDispatch::~TVETChangeDispatch() {
  ClearWorkList();
  for (IVETChangeLink* link : links) link->Release();
  links.clear();
}

int TVETChangeDispatch::Count() {
  std::lock_guard<std::recursive_mutex> guard(lock);
  return static_cast<int>(links.size());
}

IVETChangeLink* TVETChangeDispatch::Items(int index) {
  std::lock_guard<std::recursive_mutex> guard(lock);
  return index >= 0 && index < static_cast<int>(links.size()) ? links[index] : nullptr;
}

void TVETChangeDispatch::RegisterChangeLink(TObject* server, TObject* client, const TVETChangeLinkEvent& dispatchMethod,
                                            const TVETChangeLinkFreeingEvent& freeingMethod) {
  std::lock_guard<std::recursive_mutex> guard(lock);
  auto* link = new TVETChangeLink;
  link->AddRef();
  link->SetChangeLinkServer(server);
  link->SetChangeLinkClient(client);
  link->SetChangeLinkDispatch(dispatchMethod);
  link->SetChangeLinkFreeing(freeingMethod);
  links.push_back(link);
}

namespace {
bool LinkMatches(IVETChangeLink* link, TObject* server, TObject* client, TChangeLinkUnregisterKind kind) {
  bool serverMatches = link->GetChangeLinkServer() == server;
  bool clientMatches = link->GetChangeLinkClient() == client;
  switch (kind) {
    case ulkServer:
      return serverMatches;
    case ulkClient:
      return clientMatches;
    case ulkServerAndClient:
      return serverMatches && clientMatches;
    default:
      return serverMatches || clientMatches;
  }
}
}  // namespace

bool TVETChangeDispatch::UnRegisterChangeLink(TObject* server, TObject* client, TChangeLinkUnregisterKind kind) {
  std::lock_guard<std::recursive_mutex> guard(lock);
  bool removed = false;
  for (std::ptrdiff_t i = static_cast<std::ptrdiff_t>(links.size()) - 1; i >= 0; --i) {
    if (i >= static_cast<std::ptrdiff_t>(links.size())) continue;  // a freeing handler removed links
    IVETChangeLink* link = links[i];
    if (!LinkMatches(link, server, client, kind)) continue;
    link->AddRef();
    TVETChangeLinkFreeingEvent freeing = link->GetChangeLinkFreeing();
    if (freeing) freeing(link);
    link->SetChangeLinkDispatch(nullptr);
    link->SetChangeLinkFreeing(nullptr);
    link->SetChangeLinkServer(nullptr);
    link->SetChangeLinkClient(nullptr);
    // The handler may have changed the list: find the link again.
    auto at = std::find(links.begin(), links.end(), link);
    if (at != links.end()) {
      std::ptrdiff_t index = at - links.begin();
      links.erase(at);
      // A dispatch walking the registry keeps its place.
      for (std::ptrdiff_t* cursor : walkCursors)
        if (index <= *cursor) --*cursor;
      link->Release();
      removed = true;
    }
    link->Release();
    if (removed && kind != ulkServerOrClient) break;
  }
  return removed && kind != ulkServerOrClient;
}

void TVETChangeDispatch::CallLink(IVETChangeLink* link, TObject* server, LPCITEMIDLIST pidl) {
  // Held, so that a handler that unregisters it does not free it under the call.
  link->AddRef();
  try {
    TVETChangeLinkEvent dispatch = link->GetChangeLinkDispatch();
    if (dispatch) dispatch(server, pidl);
  } catch (...) {
    link->Release();
    throw;
  }
  link->Release();
}

void TVETChangeDispatch::DispatchChange(TObject* server, LPCITEMIDLIST pidl) {
  if (dispatching != nullptr) {
    // Nested: a client announces its own change while handling the outer one.
    // The work list does not change while a dispatch runs; removed links in
    // it have no server and are skipped.
    for (size_t i = 0; i < workList.size(); ++i) {
      IVETChangeLink* link = workList[i];
      if (link->GetChangeLinkServer() != server || link->GetChangeLinkClient() == dispatching) continue;
      CallLink(link, server, pidl);
    }
    return;
  }
  dispatching = server;
  std::ptrdiff_t index = 0;
  walkCursors.push_back(&index);
  try {
    BuildWorkList(server);
    // Links added meanwhile are visited; removed ones are skipped (their
    // removal moves the cursor back).
    for (; index < static_cast<std::ptrdiff_t>(links.size()); ++index) {
      IVETChangeLink* link = links[index];
      if (link->GetChangeLinkServer() != server || link->GetChangeLinkClient() == server) continue;
      CallLink(link, server, pidl);
    }
  } catch (...) {
    walkCursors.pop_back();
    dispatching = nullptr;
    ClearWorkList();
    throw;
  }
  walkCursors.pop_back();
  dispatching = nullptr;
  ClearWorkList();
}

void TVETChangeDispatch::BuildWorkList(TObject* server) {
  ClearWorkList();
  std::lock_guard<std::recursive_mutex> guard(lock);
  for (IVETChangeLink* link : links) {
    if (link->GetChangeLinkServer() == server) continue;
    TObject* client = link->GetChangeLinkClient();
    bool toldByServer = std::any_of(links.begin(), links.end(), [&](IVETChangeLink* other) {
      return other->GetChangeLinkServer() == server && other->GetChangeLinkClient() == client;
    });
    if (toldByServer) continue;
    link->AddRef();
    workList.push_back(link);
  }
}

void TVETChangeDispatch::ClearWorkList() {
  std::vector<IVETChangeLink*> old;
  old.swap(workList);
  for (IVETChangeLink* link : old) link->Release();
}
