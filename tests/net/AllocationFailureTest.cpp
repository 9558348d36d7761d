// Storage failures are injected through the allocation functions the shared harness replaces;
// the text and collection types use only the non-throwing ones.

#include "tests/support/allocation/AllocationFailure.h"

#include "net/ByteBuffer.h"
#include "net/Exception.h"
#include "net/StringList.h"
#include "net/StringSet.h"

#include <gtest/gtest.h>
#include <memory>

namespace kestrum::test {

namespace {

// Fails the first, second, ... allocation of the operation in turn until it gets through; every
// failure must be a MemoryException that leaves the object as check expects (leaks show under
// the leak checker).
template <typename Make, typename Operation, typename Check>
void expectEveryFailureHandled(Make make, Operation operation, Check unchanged) {
    int failures = 0;
    for (int n = 0; n < 50; ++n) {
        auto object = make();
        failAllocationAfter(n);
        try {
            operation(*object);
            failAllocationAfter(-1);
            EXPECT_GT(failures, 0) << "the operation allocated nothing";
            return;
        } catch (const MemoryException&) {
            failAllocationAfter(-1);
            ++failures;
            unchanged(*object);
        }
    }
    failAllocationAfter(-1);
    ADD_FAILURE() << "the operation never succeeded";
}

std::unique_ptr<String> makeText() {
    return std::make_unique<String>("abc");
}

void expectText(const String& text) {
    EXPECT_STREQ(text.c_str(), "abc");
}

std::unique_ptr<StringMap> makeFullMap() {
    auto map = std::make_unique<StringMap>();
    for (int i = 0; i < map->capacity(); ++i) {
        map->add(String::fromInt(i), "value");
    }
    return map;
}

void expectFullMap(const StringMap& map) {
    EXPECT_EQ(map.count(), 8);
    EXPECT_EQ(map.capacity(), 8);
    EXPECT_STREQ(map[7].name.c_str(), "7");
    EXPECT_STREQ(map[7].value.c_str(), "value");
}

} // namespace

TEST(AllocationFailure, StringOperationsKeepTheOldContent) {
    expectEveryFailureHandled(
        makeText, [](String& text) { text.append("def"); }, expectText);
    expectEveryFailureHandled(
        makeText, [](String& text) { text = String("xyz"); }, expectText);
    expectEveryFailureHandled(
        makeText, [](String& text) { text.replaceAll("b", "BB"); }, expectText);
    expectEveryFailureHandled(
        makeText, [](String& text) { text.resize(10); }, expectText);
    expectEveryFailureHandled(
        makeText, [](String& text) { text.format("%s!", "long text"); }, expectText);
    expectEveryFailureHandled(
        makeText, [](String& text) { toLower(text); }, expectText);
    expectEveryFailureHandled(
        makeText, [](String& text) { EXPECT_STREQ((text + "def").c_str(), "abcdef"); }, expectText);
}

TEST(AllocationFailure, ListsAreLeftAsTheyWere) {
    expectEveryFailureHandled(
        makeFullMap, [](StringMap& map) { EXPECT_EQ(map.entry("missing").value.data(), nullptr); },
        expectFullMap);
    expectEveryFailureHandled(
        makeFullMap, [](StringMap& map) { map.add("new", "pair"); }, expectFullMap);
    expectEveryFailureHandled(
        makeFullMap, [](StringMap& map) { map.setCapacity(20); }, expectFullMap);
    // A copy that fails half way must free what it had built.
    expectEveryFailureHandled(
        makeFullMap, [](StringMap& map) { EXPECT_EQ(StringMap(map).count(), 8); }, expectFullMap);
}

TEST(AllocationFailure, ByteBufferAndSetAreLeftAsTheyWere) {
    const auto makeBuffer = [] {
        auto buffer = std::make_unique<ByteBuffer>();
        buffer->append("abc", 3);
        return buffer;
    };
    const auto expectBuffer = [](const ByteBuffer& buffer) {
        EXPECT_EQ(buffer.length(), 3);
        EXPECT_EQ(buffer.capacity(), 3);
        EXPECT_EQ(std::string(buffer.data(), 3), "abc");
    };
    expectEveryFailureHandled(
        makeBuffer, [](ByteBuffer& buffer) { buffer.append("def", 3); }, expectBuffer);
    expectEveryFailureHandled(
        makeBuffer, [](ByteBuffer& buffer) { buffer.setCapacity(64); }, expectBuffer);
    expectEveryFailureHandled(
        makeBuffer, [](ByteBuffer& buffer) { EXPECT_EQ(ByteBuffer(buffer).length(), 3); },
        expectBuffer);

    const auto makeSet = [] {
        auto set = std::make_unique<StringSet>(stringHash, 5u);
        set->insert("old");
        return set;
    };
    expectEveryFailureHandled(
        makeSet, [](StringSet& set) { set.insert("new"); },
        [](const StringSet& set) {
            EXPECT_EQ(set.count(), 1u);
            EXPECT_FALSE(set.contains("new"));
            EXPECT_TRUE(set.contains("old"));
        });
}

} // namespace kestrum::test
