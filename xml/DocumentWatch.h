#pragma once
// TdomDocumentWatch: watches a document (and one of its nodes, or none)
// across code that may run listeners, which may free the node or the whole
// document. Node() turns null when the node is freed, Document() and Node()
// both when the document goes; the code that ran the listener then leaves
// them alone. It costs no thread-local access (factories and insertions are
// a parser's hot path). On the stack only, newest first; a null document
// watches nothing (Node() stays as given). Its inline members are in
// Document.h.
class TdomDocument;
class TdomNode;

class TdomDocumentWatch {
public:
  explicit TdomDocumentWatch(TdomDocument* document_, TdomNode* node_ = nullptr);
  ~TdomDocumentWatch();
  TdomDocumentWatch(const TdomDocumentWatch&) = delete;
  TdomDocumentWatch& operator=(const TdomDocumentWatch&) = delete;
  // The document, or null once it has been freed (or when none was given).
  TdomDocument* Document() const { return document; }
  // The node, or null once it (or its document) has been freed.
  TdomNode* Node() const { return node; }

private:
  friend class TdomDocument;
  TdomDocument* document;
  TdomNode* node;
  TdomDocumentWatch* next = nullptr;
};
