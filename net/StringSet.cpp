#include "net/StringSet.h"

#include "net/Exception.h"

#include <new>

namespace kestrum {

StringSet::StringSet(HashFunction hash, unsigned bucketCount)
    // Without a bucket there is nothing to take the remainder by.
    : bucketCount_(bucketCount == 0 ? 1 : bucketCount),
      buckets_(new (std::nothrow) Node* [bucketCount_] {}), hash_(hash) {
    if (buckets_ == nullptr) {
        throw MemoryException();
    }
}

StringSet::~StringSet() {
    clear();
    delete[] buckets_;
}

bool StringSet::contains(const String& key) const {
    const std::uint32_t hash = hash_(key);
    for (const Node* node = buckets_[hash % bucketCount_]; node != nullptr; node = node->next) {
        if (node->hash == hash && node->key == key) {
            return true;
        }
    }
    return false;
}

void StringSet::insert(const String& key) {
    const std::uint32_t hash = hash_(key);
    Node*& head = buckets_[hash % bucketCount_];
    Node* node = new (std::nothrow) Node{head, hash, key};
    if (node == nullptr) {
        throw MemoryException();
    }
    head = node;
    ++count_;
}

void StringSet::clear() {
    for (unsigned b = 0; b < bucketCount_; ++b) {
        while (buckets_[b] != nullptr) {
            Node* next = buckets_[b]->next;
            delete buckets_[b];
            buckets_[b] = next;
        }
    }
    count_ = 0;
}

} // namespace kestrum
