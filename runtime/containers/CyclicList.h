#pragma once

namespace Containers {

// Node of an intrusive circular doubly linked list. The list itself is an
// anchor node; an empty list is an anchor linked to itself. Elements derive
// from CyclicList and are found back from their node with offset<X>.
class CyclicList {
 public:
  // Yields the nodes from the anchor's next until the anchor comes back.
  class TIterator {
   public:
    explicit TIterator(CyclicList* node) : node_(node) {}
    TIterator& operator++() {
      node_ = node_->next;
      return *this;
    }
    CyclicList* operator*() const { return node_; }
    bool operator==(const TIterator& other) const { return node_ == other.node_; }
    bool operator!=(const TIterator& other) const { return node_ != other.node_; }

   private:
    CyclicList* node_;
  };

  CyclicList() { InternalInit(); }
  // Nodes are linked by address: a copy would be in no ring.
  CyclicList(const CyclicList&) = delete;
  CyclicList& operator=(const CyclicList&) = delete;

  // Makes this node an empty ring.
  void InternalInit() {
    next = this;
    prev = this;
  }
  // Links prev_node and next_node to each other; called with a node's own
  // neighbours it takes that node out of its ring.
  static void InternalDel(CyclicList* prev_node, CyclicList* next_node) {
    next_node->prev = prev_node;
    prev_node->next = next_node;
  }
  // Links this node at the end of the ring of anchor, just before the anchor.
  void InternalAddTail(CyclicList* anchor) {
    next = anchor;
    prev = anchor->prev;
    anchor->prev->next = this;
    anchor->prev = this;
  }

  TIterator begin() { return TIterator(next); }
  TIterator end() { return TIterator(this); }

  CyclicList* next;
  CyclicList* prev;
};

// The element that holds node.
template <class X>
X* offset(CyclicList* node) {
  return static_cast<X*>(node);
}

}  // namespace Containers
