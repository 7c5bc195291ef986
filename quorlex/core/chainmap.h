// A chained hash map whose walk order is part of the wire format: requests and
// command lines are written bucket by bucket from bucket 0, each chain from its
// front, and a new entry goes to the front of its chain. Tables start with 17
// buckets and grow past 2.25 entries per bucket to about 0.75 per bucket, so
// the order of up to 38 entries depends on the hash alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarn {

template <class Key, class Value, class Traits>
class ChainMap {
 public:
  ChainMap() : buckets_(kInitialBuckets, nullptr) {}
  ~ChainMap() { Clear(); }
  ChainMap(const ChainMap& other) : buckets_(kInitialBuckets, nullptr) { CopyFrom(other); }
  ChainMap& operator=(const ChainMap& other) {
    if (this != &other) {
      Clear();
      CopyFrom(other);
    }
    return *this;
  }

  // Sets key to value, replacing an earlier value under an equal key.
  void Set(const Key& key, const Value& value) {
    uint32_t hash = Traits::Hash(key);
    if (Node* node = FindNode(key, hash)) {
      node->value = value;
      return;
    }
    size_t b = hash % buckets_.size();
    buckets_[b] = new Node{buckets_[b], hash, key, value};
    ++count_;
    // 2.25 entries per bucket, in integers.
    if (count_ * 4 > buckets_.size() * 9) Rehash(NextTableSize(count_ * 4 / 3 + 1));
  }

  const Value* Find(const Key& key) const { return FindNodeConst(key, Traits::Hash(key)); }

  size_t Count() const { return count_; }
  size_t BucketCount() const { return buckets_.size(); }

  void Clear() {
    for (Node*& head : buckets_) {
      while (head) {
        Node* next = head->next;
        delete head;
        head = next;
      }
    }
    buckets_.assign(kInitialBuckets, nullptr);
    count_ = 0;
  }

  // Calls f(key, value) in bucket order, each chain from its front.
  template <class F>
  void ForEach(F f) const {
    for (Node* head : buckets_)
      for (Node* node = head; node; node = node->next) f(node->key, node->value);
  }

 private:
  static constexpr size_t kInitialBuckets = 17;

  struct Node {
    Node* next;
    uint32_t hash;
    Key key;
    Value value;
  };

  Node* FindNode(const Key& key, uint32_t hash) {
    for (Node* node = buckets_[hash % buckets_.size()]; node; node = node->next)
      if (node->hash == hash && Traits::Equal(node->key, key)) return node;
    return nullptr;
  }
  const Value* FindNodeConst(const Key& key, uint32_t hash) const {
    for (Node* node = buckets_[hash % buckets_.size()]; node; node = node->next)
      if (node->hash == hash && Traits::Equal(node->key, key)) return &node->value;
    return nullptr;
  }

  static size_t NextTableSize(size_t atLeast) {
    for (size_t n = atLeast | 1;; n += 2) {
      bool prime = true;
      for (size_t d = 3; d * d <= n; d += 2)
        if (n % d == 0) {
          prime = false;
          break;
        }
      if (prime) return n;
    }
  }

  void Rehash(size_t size) {
    std::vector<Node*> table(size, nullptr);
    for (Node* head : buckets_) {
      while (head) {
        Node* next = head->next;
        size_t b = head->hash % size;
        head->next = table[b];
        table[b] = head;
        head = next;
      }
    }
    buckets_.swap(table);
  }

  void CopyFrom(const ChainMap& other) {
    // Rebuild with the same table size and chain order.
    buckets_.assign(other.buckets_.size(), nullptr);
    for (size_t b = 0; b < other.buckets_.size(); ++b) {
      Node** tail = &buckets_[b];
      for (Node* node = other.buckets_[b]; node; node = node->next) {
        *tail = new Node{nullptr, node->hash, node->key, node->value};
        tail = &(*tail)->next;
      }
    }
    count_ = other.count_;
  }

  std::vector<Node*> buckets_;
  size_t count_ = 0;
};

}  // namespace tarn
