#pragma once
// Change links between explorer controls. A control whose current item
// changes (the server) hands the item's absolute PIDL to the one process-wide
// registry, VETChangeDispatch, which passes it on to every control linked to
// that server (its clients). A client that answers by announcing its own
// change reaches neither the server nor the controls the server is already
// telling. A control that goes away unregisters its links; each removed link
// tells its client first (ChangeLinkFreeing), so that no control keeps a
// reference to one that is gone.
//
// Main thread only: registering and unregistering lock the list, dispatching
// does not. A link is held while it is called, and links removed while a
// dispatch runs are skipped, never called.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstddef>
#include <mutex>
#include <vector>

#include "core/Events.h"
#include "core/Object.h"

struct IVETChangeLink;

// A server's change: (server, absolute PIDL of its new current item; borrowed for the call).
using TVETChangeLinkEvent = TEvent<void(TObject* server, LPCITEMIDLIST pidl)>;
// A link is being removed (the client forgets its server when the link names it as client).
using TVETChangeLinkFreeingEvent = TEvent<void(IVETChangeLink* link)>;

// {1B5A391E-DCDD-400E-8451-29C1058E5A32}
extern const GUID IID_IVETChangeLink;

struct IVETChangeLink : IUnknown {
  virtual TVETChangeLinkEvent GetChangeLinkDispatch() = 0;
  virtual void SetChangeLinkDispatch(const TVETChangeLinkEvent& value) = 0;
  virtual TObject* GetChangeLinkServer() = 0;
  virtual void SetChangeLinkServer(TObject* value) = 0;
  virtual TObject* GetChangeLinkClient() = 0;
  virtual void SetChangeLinkClient(TObject* value) = 0;
  virtual TVETChangeLinkFreeingEvent GetChangeLinkFreeing() = 0;
  virtual void SetChangeLinkFreeing(const TVETChangeLinkFreeingEvent& value) = 0;
};

// One link: the registry holds the only lasting reference, a running dispatch a passing one.
class TVETChangeLink final : public IVETChangeLink {
public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  TVETChangeLinkEvent GetChangeLinkDispatch() override { return dispatch; }
  void SetChangeLinkDispatch(const TVETChangeLinkEvent& value) override { dispatch = value; }
  TObject* GetChangeLinkServer() override { return server; }
  void SetChangeLinkServer(TObject* value) override { server = value; }
  TObject* GetChangeLinkClient() override { return client; }
  void SetChangeLinkClient(TObject* value) override { client = value; }
  TVETChangeLinkFreeingEvent GetChangeLinkFreeing() override { return freeing; }
  void SetChangeLinkFreeing(const TVETChangeLinkFreeingEvent& value) override { freeing = value; }

private:
  ~TVETChangeLink() = default;
  TObject* server = nullptr;  // not owned
  TObject* client = nullptr;  // not owned
  TVETChangeLinkEvent dispatch;
  TVETChangeLinkFreeingEvent freeing;
  volatile LONG refCount = 0;
};

// Which links UnRegisterChangeLink removes.
enum TChangeLinkUnregisterKind {
  ulkServer = 0,           // the latest link of that server
  ulkClient = 1,           // the latest link of that client
  ulkServerAndClient = 2,  // the latest link of exactly that pair
  ulkServerOrClient = 3,   // every link in which the control is server or client
};

class TVETChangeDispatch : public TObject {
public:
  ~TVETChangeDispatch() override;

  // Appends a link from server to client with the client's two handlers.
  void RegisterChangeLink(TObject* server, TObject* client, const TVETChangeLinkEvent& dispatchMethod,
                          const TVETChangeLinkFreeingEvent& freeingMethod);
  // Removes links (see TChangeLinkUnregisterKind), latest first, telling each
  // removed link's freeing handler before its fields are cleared. True when
  // kind is not ulkServerOrClient and a link was removed.
  bool UnRegisterChangeLink(TObject* server, TObject* client, TChangeLinkUnregisterKind kind);
  // Passes server's new current item to its clients (pidl is handed on as it
  // is, never copied or freed). Called again from a client's handler, it
  // reaches only controls that the outer server does not tell itself.
  void DispatchChange(TObject* server, LPCITEMIDLIST pidl);

  int Count();
  // The link at index, not referenced for the caller; null out of range.
  IVETChangeLink* Items(int index);
  // The server of the outer dispatch that runs, or null.
  TObject* Dispatching() const { return dispatching; }

private:
  // The links that a nested dispatch during server's outer dispatch may reach.
  void BuildWorkList(TObject* server);
  void ClearWorkList();
  // Calls link's dispatch handler with the link held.
  static void CallLink(IVETChangeLink* link, TObject* server, LPCITEMIDLIST pidl);

  std::recursive_mutex lock;
  std::vector<IVETChangeLink*> links;     // one reference each, in registration order
  std::vector<IVETChangeLink*> workList;  // one reference each
  std::vector<std::ptrdiff_t*> walkCursors;  // positions of the registry walks that run
  TObject* dispatching = nullptr;         // not owned
};

// The registry of the explorer controls; null after the unit's finalisation.
extern TVETChangeDispatch* VETChangeDispatch;
