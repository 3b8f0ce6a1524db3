// The change-link registry: who is told of a change, feedback suppression,
// removal by kind, the freeing handler, and links removed or added while a
// dispatch runs.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "shell/ChangeLink.h"

namespace {

// A control stand-in that records what it was told and can act from its handlers.
class TView : public TObject {
public:
  std::string name;
  std::vector<std::string>* log = nullptr;
  std::function<void(TObject* server)> onDispatch;
  std::function<void(IVETChangeLink* link)> onFreeing;
  int freed = 0;

  void ChangeLinkDispatch(TObject* server, LPCITEMIDLIST) {
    log->push_back(static_cast<TView*>(server)->name + ">" + name);
    if (onDispatch) onDispatch(server);
  }
  void ChangeLinkFreeing(IVETChangeLink* link) {
    ++freed;
    // The link is whole while its handler runs.
    EXPECT_NE(link->GetChangeLinkServer(), nullptr);
    if (onFreeing) onFreeing(link);
  }
};

struct ChangeLinks : ::testing::Test {
  TVETChangeDispatch* dispatch = New<TVETChangeDispatch>();
  std::vector<std::string> log;
  TView t, l, c;
  void SetUp() override {
    t.name = "T";
    l.name = "L";
    c.name = "C";
    t.log = l.log = c.log = &log;
  }
  void TearDown() override { dispatch->Free(); }
  void Link(TView& server, TView& client) {
    dispatch->RegisterChangeLink(&server, &client, MakeEvent<&TView::ChangeLinkDispatch>(&client),
                                 MakeEvent<&TView::ChangeLinkFreeing>(&client));
  }
  // A view that announces its own change whenever it is told of one.
  void Echo(TView& view) {
    view.onDispatch = [this, &view](TObject*) { dispatch->DispatchChange(&view, nullptr); };
  }
};

using Log = std::vector<std::string>;

TEST_F(ChangeLinks, AChangeReachesEachClientOnceAndNeverComesBack) {
  Link(t, l);
  Link(l, t);
  Echo(l);
  Echo(t);
  dispatch->DispatchChange(&t, nullptr);
  EXPECT_EQ(log, Log({"T>L"}));
  EXPECT_EQ(dispatch->Dispatching(), nullptr);

  // T tells L and C; L's echo does not tell C a second time.
  log.clear();
  Link(t, c);
  Link(l, c);
  dispatch->DispatchChange(&t, nullptr);
  EXPECT_EQ(log, Log({"T>L", "T>C"}));

  // A server without links tells nobody; a link to itself is never called.
  log.clear();
  TView lonely;
  lonely.name = "X";
  lonely.log = &log;
  Link(lonely, lonely);
  dispatch->DispatchChange(&lonely, nullptr);
  dispatch->DispatchChange(&c, nullptr);
  EXPECT_TRUE(log.empty());
}

TEST_F(ChangeLinks, ANestedChangeReachesControlsTheOuterServerDoesNotTell) {
  // T -> L, L -> C: C hears of L's change made while L followed T.
  Link(t, l);
  Link(l, c);
  Echo(l);
  dispatch->DispatchChange(&t, nullptr);
  EXPECT_EQ(log, Log({"T>L", "L>C"}));
}

TEST_F(ChangeLinks, RemovalByKindTellsTheFreeingHandlerFirst) {
  Link(t, l);
  Link(t, l);
  Link(t, c);
  Link(l, c);
  ASSERT_EQ(dispatch->Count(), 4);
  IVETChangeLink* later = dispatch->Items(1);
  IVETChangeLink* seen = nullptr;
  l.onFreeing = [&](IVETChangeLink* link) { seen = link; };
  // The pair twice: only the later link goes.
  EXPECT_TRUE(dispatch->UnRegisterChangeLink(&t, &l, ulkServerAndClient));
  EXPECT_EQ(seen, later);
  EXPECT_EQ(l.freed, 1);
  EXPECT_EQ(dispatch->Count(), 3);
  // By server: the latest link of T (T -> C).
  EXPECT_TRUE(dispatch->UnRegisterChangeLink(&t, nullptr, ulkServer));
  EXPECT_EQ(c.freed, 1);
  // Nothing matches.
  EXPECT_FALSE(dispatch->UnRegisterChangeLink(&c, nullptr, ulkServer));
  // Every link of L, as server or client; the result is false by design.
  EXPECT_FALSE(dispatch->UnRegisterChangeLink(&l, &l, ulkServerOrClient));
  EXPECT_EQ(dispatch->Count(), 0);
  EXPECT_EQ(l.freed, 2);
  EXPECT_EQ(c.freed, 2);
}

TEST_F(ChangeLinks, AClientGoingAwayDuringADispatchIsNotCalled) {
  Link(t, l);
  Link(t, c);
  // L's handler removes C (as a control being destroyed would) and itself.
  l.onDispatch = [this](TObject*) {
    dispatch->UnRegisterChangeLink(&c, &c, ulkServerOrClient);
    dispatch->UnRegisterChangeLink(&l, &l, ulkServerOrClient);
  };
  dispatch->DispatchChange(&t, nullptr);
  EXPECT_EQ(log, Log({"T>L"}));
  EXPECT_EQ(dispatch->Count(), 0);

  // A link registered during the walk is visited; links before the cursor
  // removed meanwhile do not make the walk skip one.
  log.clear();
  TView d;
  d.name = "D";
  d.log = &log;
  Link(t, l);
  Link(t, c);
  l.onDispatch = [this, &d](TObject*) {
    dispatch->UnRegisterChangeLink(&t, &l, ulkServerAndClient);
    Link(t, d);
  };
  dispatch->DispatchChange(&t, nullptr);
  EXPECT_EQ(log, Log({"T>L", "T>C", "T>D"}));
}

TEST_F(ChangeLinks, ServerFreedByItsClientStopsTheDispatch) {
  Link(t, l);
  Link(t, c);
  l.onDispatch = [this](TObject*) { dispatch->UnRegisterChangeLink(&t, &t, ulkServerOrClient); };
  dispatch->DispatchChange(&t, nullptr);
  EXPECT_EQ(log, Log({"T>L"}));
  // The nested list of a dispatch keeps removed links alive but mute.
  Link(t, l);
  Link(l, c);
  l.onDispatch = [this](TObject*) {
    dispatch->UnRegisterChangeLink(&c, &c, ulkServerOrClient);
    dispatch->DispatchChange(&l, nullptr);
  };
  log.clear();
  dispatch->DispatchChange(&t, nullptr);
  EXPECT_EQ(log, Log({"T>L"}));
}

TEST_F(ChangeLinks, LinksAreComObjects) {
  Link(t, l);
  IVETChangeLink* link = dispatch->Items(0);
  IUnknown* unknown = nullptr;
  ASSERT_EQ(link->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  IVETChangeLink* again = nullptr;
  ASSERT_EQ(unknown->QueryInterface(IID_IVETChangeLink, reinterpret_cast<void**>(&again)), S_OK);
  EXPECT_EQ(again, link);
  void* other = reinterpret_cast<void*>(1);
  EXPECT_EQ(link->QueryInterface(IID_IDispatch, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  again->Release();
  // Held by the caller, a removed link stays readable and is cleared.
  link->AddRef();
  dispatch->UnRegisterChangeLink(&t, &l, ulkServerAndClient);
  EXPECT_EQ(link->GetChangeLinkServer(), nullptr);
  EXPECT_FALSE(link->GetChangeLinkDispatch());
  EXPECT_EQ(link->Release(), 1u);
  EXPECT_EQ(unknown->Release(), 0u);
}

}  // namespace
