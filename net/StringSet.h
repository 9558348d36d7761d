#pragma once

#include "net/String.h"

#include <cstdint>

namespace kestrum {

// A fixed-size chained hash set of strings. There is no rehashing, and iteration order is
// defined: ascending bucket index, and within a bucket the most recently inserted key first.
class StringSet {
public:
    using HashFunction = std::uint32_t (*)(const String&);

    StringSet(HashFunction hash, unsigned bucketCount);
    StringSet(const StringSet&) = delete;
    StringSet& operator=(const StringSet&) = delete;
    ~StringSet();

    bool contains(const String& key) const;
    // Does not check for duplicates: callers ask contains first.
    void insert(const String& key);
    void clear();
    unsigned count() const { return count_; }

    template <typename Visit> void forEach(Visit visit) const {
        unsigned seen = 0;
        for (unsigned b = 0; b < bucketCount_ && seen < count_; ++b) {
            for (const Node* node = buckets_[b]; node != nullptr && seen < count_;
                 node = node->next) {
                visit(node->key);
                ++seen;
            }
        }
    }

private:
    struct Node {
        Node* next;
        std::uint32_t hash;
        String key;
    };

    unsigned bucketCount_;
    unsigned count_ = 0;
    Node** buckets_;
    HashFunction hash_;
};

} // namespace kestrum
