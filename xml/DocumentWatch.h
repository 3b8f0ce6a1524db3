#pragma once
// TdomDocumentWatch: the hold on a document (and the watch of one or two of
// its nodes, or none) across code that calls out to listeners and handlers.
//
// While a document has a hold on the stack, freeing it only marks it going:
// it fires no further events, every TOwnedRef to it and to what it owns
// turns null, Document() and Node() of every hold on the stack turn null
// (DocumentGone() of any hold is true), and its memory is released when the
// outermost hold ends. Code after a call-out stops
// early through one of those checks; one that misses its check works on a
// live document marked going, never on freed memory.
//
// Every call-out of the DOM and its parser goes through a hold: the events
// (TdomCallOut) and node filters can only be called through Call.
// It costs no thread-local access (factories and insertions are a parser's
// hot path). On the stack only, newest first; a null document holds
// nothing (Node() stays as given, Call always calls). Its inline members
// are in Document.h.
#include <string>
#include <utility>

#include "xml/DomCallOut.h"
#include "xml/DomTypes.h"

class TCustomResourceResolver;
class TdomDocument;
class TdomNode;
class TStream;

class TdomDocumentWatch {
public:
  // A hold opened on a document that is going already shows nothing
  // (Document() and Node() null) from the start.
  explicit TdomDocumentWatch(TdomDocument* document_, TdomNode* node_ = nullptr, TdomNode* second_ = nullptr);
  // The outermost hold of a document freed meanwhile releases it.
  ~TdomDocumentWatch();
  TdomDocumentWatch(const TdomDocumentWatch&) = delete;
  TdomDocumentWatch& operator=(const TdomDocumentWatch&) = delete;
  // The document, or null once it is going (or when none was given).
  TdomDocument* Document() const { return document; }
  // The node, or null once it has been freed or its document is going.
  TdomNode* Node() const { return node; }
  // The second node a notice carries (the attribute of an attribute change,
  // the parent of an insertion), as Node().
  TdomNode* Second() const { return second; }
  // True while the node and the second node given (if any) are there: the
  // next listener of a notice may be told of them.
  bool NodesKept() const { return node != nullptr && (second != nullptr || !secondGiven); }
  // True when a document was given and it is going now: the code that
  // called out stops.
  bool DocumentGone() const;

  // Calls event with args unless the held document is going (then R()).
  template <class R, class... Args, class... Passed>
  R Call(const TdomCallOut<TEvent<R(Args...)>>& callOut, Passed&&... args) const {
    // Most events have no handler: the hold is looked at only for one that has.
    if (!callOut.event || Silenced()) return R();
    return callOut.event(std::forward<Passed>(args)...);
  }
  // Asks filter about node unless the held document is going (then FILTER_SKIP).
  TdomFilterResult Call(TdomNodeFilter* filter, TdomNode* node) const {
    if (Silenced()) return FILTER_SKIP;
    return filter->acceptNode(node);
  }

  // Asks resolver for a resource unless the held document is going (then null).
  TStream* Call(TCustomResourceResolver* resolver, const std::u16string& baseURI, std::u16string& publicId,
                std::u16string& systemId) const;

private:
  friend class TdomDocument;
  // True while the held document is marked going: it calls nobody.
  bool Silenced() const;

  TdomDocument* held;      // what it holds (null: nothing), until the hold ends
  TdomDocument* document;  // what it shows; null once the document is going
  TdomNode* node;
  TdomNode* second;
  TdomDocumentWatch* next = nullptr;
  bool secondGiven;
  bool deleted = false;  // the held document was deleted outright under it
};
