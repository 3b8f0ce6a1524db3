#pragma once
// Live, read-only views of nodes: a node's children, a list owned elsewhere,
// and the elements of a subtree that match a name. A list handed out by a
// query belongs to the node that made it, never to the caller.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/Object.h"

class TdomNode;

class TdomNodeList : public TObject {
public:
  // A view of owner's children.
  explicit TdomNodeList(const TdomNode* owner);
  // A view of a list kept by someone else (it must outlive the view).
  explicit TdomNodeList(const std::vector<TdomNode*>* items);

  // Number of nodes.
  virtual int GetLength() const;
  // Position of node, -1 when absent or null.
  virtual int IndexOf(const TdomNode* node) const;
  // The node at index; null for a negative index or one at or past the length.
  virtual TdomNode* Item(int index) const;

protected:
  TdomNodeList() = default;
  const std::vector<TdomNode*>* Items() const { return items; }

private:
  const TdomNode* childOwner = nullptr;         // not owned
  const std::vector<TdomNode*>* items = nullptr;  // not owned
  // The child last handed out and its index, so that stepping through the
  // children costs O(1) a step; trusted while the document's tree is unchanged.
  // Child lists only (made with the first Item), so other lists stay small.
  struct Cursor {
    const TdomNode* node = nullptr;
    int index = 0;
    uint64_t stamp = 0;
  };
  mutable std::unique_ptr<Cursor> cursor;
};

// The elements below a start element that match a query, in document order.
// Live: the matches are found again whenever the document's tree has changed
// since the last walk, and reused otherwise.
class TdomCustomElementsNodeList : public TdomNodeList {
public:
  int GetLength() const override;
  // Position among the matches; -1 for null, non-elements and non-matches.
  int IndexOf(const TdomNode* node) const override;
  TdomNode* Item(int index) const override;
  TdomNode* StartElement() const { return startElement; }

protected:
  explicit TdomCustomElementsNodeList(TdomNode* startElement_) : startElement(startElement_) {}
  virtual bool Matches(const TdomNode* node) const = 0;

private:
  // The matches, walked again when the document changed since the last walk.
  const std::vector<TdomNode*>& CurrentMatches() const;

  TdomNode* startElement;  // not owned
  mutable std::vector<TdomNode*> matches;
  mutable uint64_t stamp = 0;
  mutable bool valid = false;
};

class TdomElementsNodeList : public TdomCustomElementsNodeList {
public:
  // Matches elements whose node name equals queryName, or every element for "*".
  TdomElementsNodeList(const std::u16string& queryName_, TdomNode* startElement_);
  const std::u16string& QueryName() const { return queryName; }

protected:
  bool Matches(const TdomNode* node) const override;

private:
  std::u16string queryName;
};

class TdomElementsNodeListNS : public TdomCustomElementsNodeList {
public:
  // Matches on namespace URI and local name, each "*" matching anything.
  TdomElementsNodeListNS(const std::u16string& namespaceURI_, TdomNode* startElement_,
                         const std::u16string& localName_);
  const std::u16string& NamespaceURI() const { return namespaceURI; }
  const std::u16string& LocalName() const { return localName; }

protected:
  bool Matches(const TdomNode* node) const override;

private:
  std::u16string namespaceURI;
  std::u16string localName;
};
