#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>

// Links of an item of an intrusive list; both null while the item is in no
// list. An item is in at most one list at a time.
template <class T>
struct F_dual_list_item {
  T* next = nullptr;
  T* prev = nullptr;
};

// Doubly linked list whose links live in the items, so linking and unlinking
// never allocate. The list does not own its items.
template <class T>
class F_dual_list {
 public:
  class iterator {
   public:
    explicit iterator(T* item) : item_(item) {}
    iterator& operator++() {
      item_ = item_->next;
      return *this;
    }
    T& operator*() const { return *item_; }
    T* operator->() const { return item_; }
    bool operator!=(const iterator& other) const { return item_ != other.item_; }
    bool operator==(const iterator& other) const { return item_ == other.item_; }

   private:
    T* item_;
  };

  F_dual_list() = default;
  F_dual_list(const F_dual_list&) = delete;
  F_dual_list& operator=(const F_dual_list&) = delete;

  void insert_to_head(T* item) {
    AssertUnlinked(item);
    item->next = head_;
    if (head_ != nullptr) {
      head_->prev = item;
    } else {
      tail_ = item;
    }
    head_ = item;
    ++count_;
  }

  void insert_to_tail(T* item) {
    AssertUnlinked(item);
    item->prev = tail_;
    if (tail_ != nullptr) {
      tail_->next = item;
    } else {
      head_ = item;
    }
    tail_ = item;
    ++count_;
  }

  void push_back(T* item) { insert_to_tail(item); }

  void insert_after(T* position, T* item) {
    AssertUnlinked(item);
    item->prev = position;
    item->next = position->next;
    if (position->next != nullptr) {
      position->next->prev = item;
    } else {
      tail_ = item;
    }
    position->next = item;
    ++count_;
  }

  // The item must be in this list.
  void remove(T* item) {
    assert(count_ > 0 && "remove from an empty list");
    if (item->prev != nullptr) {
      item->prev->next = item->next;
    } else {
      assert(head_ == item && "item is not in this list");
      head_ = item->next;
    }
    if (item->next != nullptr) {
      item->next->prev = item->prev;
    } else {
      assert(tail_ == item && "item is not in this list");
      tail_ = item->prev;
    }
    item->next = nullptr;
    item->prev = nullptr;
    --count_;
  }

  T* remove_from_head() {
    T* item = head_;
    if (item != nullptr) {
      remove(item);
    }
    return item;
  }

  T* remove_from_tail() {
    T* item = tail_;
    if (item != nullptr) {
      remove(item);
    }
    return item;
  }

  // Exchanges the whole contents of the two lists.
  void merge(F_dual_list& other) {
    T* head = head_;
    T* tail = tail_;
    uint32_t count = count_;
    head_ = other.head_;
    tail_ = other.tail_;
    count_ = other.count_;
    other.head_ = head;
    other.tail_ = tail;
    other.count_ = count;
  }

  // Links n blocks of an array in array order (a pool's free list).
  void init(T* storage, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      insert_to_tail(&storage[i]);
    }
  }

  bool contains(const T* item) const {
    for (const T* e = head_; e != nullptr; e = e->next) {
      if (e == item) {
        return true;
      }
    }
    return false;
  }

  uint32_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  T* first() const { return head_; }
  T* last() const { return tail_; }
  iterator begin() const { return iterator(head_); }
  iterator end() const { return iterator(nullptr); }

 private:
  static void AssertUnlinked(const T* item) {
    assert(item->next == nullptr && item->prev == nullptr && "item is already in a list");
    (void)item;
  }

  T* head_ = nullptr;
  T* tail_ = nullptr;
  uint32_t count_ = 0;
};

// A list kept in ascending order of T::compare(const T*) (negative, zero,
// positive); equal keys keep their insertion order.
template <class T>
class F_sorted_list : public F_dual_list<T> {
 public:
  uint32_t count() const { return this->size(); }

  // Walks from the tail, so items inserted in ascending order cost one compare.
  void insert_to_tail_by_grown(T* item) {
    for (T* e = this->last(); e != nullptr; e = e->prev) {
      if (e->compare(item) <= 0) {
        this->insert_after(e, item);
        return;
      }
    }
    this->insert_to_head(item);
  }
};
