#include "net/ByteBuffer.h"
#include "net/Exception.h"
#include "net/StringList.h"
#include "net/StringSet.h"

#include <climits>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kestrum::test {

namespace {

std::vector<std::string> itemsOf(const StringList& list) {
    std::vector<std::string> items;
    for (const String& item : list) {
        items.emplace_back(item.c_str());
    }
    return items;
}

std::vector<std::pair<std::string, std::string>> pairsOf(const StringMap& map) {
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const StringPair& pair : map) {
        pairs.emplace_back(pair.name.c_str(), pair.value.c_str());
    }
    return pairs;
}

std::vector<std::string> visitOrder(const StringSet& set) {
    std::vector<std::string> keys;
    set.forEach([&keys](const String& key) { keys.emplace_back(key.c_str()); });
    return keys;
}

std::uint32_t sameBucket(const String&) {
    return 5;
}

std::string contentOf(const ByteBuffer& buffer) {
    return std::string(buffer.data() == nullptr ? "" : buffer.data(),
                       static_cast<std::size_t>(buffer.length()));
}

} // namespace

TEST(GrowableArray, GrowsToCountPlusOnePlusStep) {
    StringList list;
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.capacity(), 0);
    EXPECT_EQ(list.growthStep(), 0);
    for (int i = 1; i <= 3; ++i) {
        list.append(String::fromInt(i));
        EXPECT_EQ(list.capacity(), i);
    }
    EXPECT_EQ(itemsOf(list), (std::vector<std::string>{"1", "2", "3"}));

    StringMap map;
    EXPECT_EQ(map.capacity(), 8);
    EXPECT_EQ(map.growthStep(), 10);
    for (int i = 0; i < 8; ++i) {
        map.add(String::fromInt(i), "v");
    }
    EXPECT_EQ(map.capacity(), 8);
    map.add("8", "v");
    EXPECT_EQ(map.capacity(), 19);
    for (int i = 9; i < 20; ++i) {
        map.add(String::fromInt(i), "v");
    }
    EXPECT_EQ(map.capacity(), 30);
    EXPECT_EQ(map.count(), 20);
    EXPECT_STREQ(map[19].name.c_str(), "19");

    // Clearing frees the storage but keeps the step.
    map.clear();
    EXPECT_EQ(map.capacity(), 0);
    map.add("a", "b");
    EXPECT_EQ(map.capacity(), 11);
}

// Counts the live objects of its type, so that a test sees which slots hold one.
struct Counted {
    static inline int live = 0;
    Counted() { ++live; }
    Counted(const Counted&) { ++live; }
    Counted(Counted&&) noexcept { ++live; }
    Counted& operator=(const Counted&) = default;
    Counted& operator=(Counted&&) noexcept = default;
    ~Counted() { --live; }
};

TEST(GrowableArray, OnlyLiveElementsExist) {
    {
        GrowableArray<Counted> array(16, 0);
        EXPECT_EQ(Counted::live, 0);
        array.append(Counted());
        array.append(Counted());
        EXPECT_EQ(Counted::live, 2);
        array.removeAt(0);
        EXPECT_EQ(Counted::live, 1);
        array.setCapacity(40);
        EXPECT_EQ(Counted::live, 1);
        GrowableArray<Counted> copy(array);
        EXPECT_EQ(Counted::live, 2);
    }
    EXPECT_EQ(Counted::live, 0);
}

TEST(GrowableArray, EnsureCapacityAtLeastDoubles) {
    // (capacity before, room asked, capacity after)
    const int cases[][3] = {{0, 0, 0}, {0, 1, 1}, {0, 5, 5},   {4, 3, 4},  {4, 4, 4},
                            {4, 5, 8}, {4, 9, 9}, {8, 16, 16}, {8, 17, 17}};
    for (const auto& c : cases) {
        StringList list;
        list.setCapacity(c[0]);
        list.ensureCapacity(c[1]);
        EXPECT_EQ(list.capacity(), c[2]) << c[0] << " " << c[1];
        ByteBuffer buffer;
        buffer.setCapacity(c[0]);
        buffer.ensureCapacity(c[1]);
        EXPECT_EQ(buffer.capacity(), c[2]) << c[0] << " " << c[1];
    }
    EXPECT_EQ(grownCapacity(INT_MAX / 2 + 1, INT_MAX / 2 + 2), INT_MAX / 2 + 2);

    // Growing keeps the elements; plain appends after it do not reallocate.
    StringList list;
    list.append("a");
    list.ensureCapacity(3);
    EXPECT_EQ(list.capacity(), 3);
    list.append("b");
    list.append("c");
    EXPECT_EQ(list.capacity(), 3);
    EXPECT_EQ(itemsOf(list), (std::vector<std::string>{"a", "b", "c"}));
}

TEST(GrowableArray, SetCapacityClipsAndRemoveShifts) {
    StringList list;
    for (const char* item : {"a", "b", "c", "d", "e"}) {
        list.append(item);
    }
    list.setCapacity(8);
    EXPECT_EQ(list.count(), 5);
    list.setCapacity(2);
    EXPECT_EQ(list.capacity(), 2);
    EXPECT_EQ(itemsOf(list), (std::vector<std::string>{"a", "b"}));
    list.setCapacity(0);
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.capacity(), 0);
    EXPECT_EQ(list.begin(), list.end());

    for (const char* item : {"a", "b", "c"}) {
        list.append(item);
    }
    list.removeAt(0);
    EXPECT_EQ(itemsOf(list), (std::vector<std::string>{"b", "c"}));
    list.removeAt(1);
    EXPECT_EQ(itemsOf(list), (std::vector<std::string>{"b"}));

    // Copies are deep; appending an element of the list itself survives the growth.
    StringList copy(list);
    copy[0] = "changed";
    EXPECT_STREQ(list[0].c_str(), "b");
    list.append(list[0]);
    EXPECT_EQ(itemsOf(list), (std::vector<std::string>{"b", "b"}));
}

TEST(StringMap, LookupFoldsAsciiCaseAndKeepsValues) {
    StringMap map;
    EXPECT_EQ(map.add("LOCATION", "http://Host/Desc.xml"), 0);
    EXPECT_EQ(map.add("", "skipped"), -1);
    EXPECT_EQ(map.add("st", "first"), 1);
    EXPECT_EQ(map.add("ST", "second"), 2);
    EXPECT_EQ(map.count(), 3);

    EXPECT_EQ(map.find("Location"), 0);
    EXPECT_STREQ(map[0].value.c_str(), "http://Host/Desc.xml");
    EXPECT_EQ(map.find("st"), 1);
    EXPECT_EQ(map.find("St", 2), 2);
    EXPECT_EQ(map.find("st", 3), -1);
    EXPECT_EQ(map.find("st", -4), 1);
    EXPECT_EQ(map.find("location2"), -1);
    // Folding is ASCII only: 0xC4 and 0xE4 are different names.
    map.add("\xC4", "x");
    EXPECT_EQ(map.find("\xE4"), -1);

    // A pair with an empty name can be appended but is never found.
    map.append(StringPair{"", "anonymous"});
    EXPECT_EQ(map.find(""), -1);
    EXPECT_EQ(map.count(), 5);
}

TEST(StringMap, EntryAppendsMissingNamesAndRemoveShifts) {
    StringMap map;
    map.add("Server", "gw");
    StringPair& missing = map.entry("st");
    EXPECT_STREQ(missing.name.c_str(), "st");
    EXPECT_EQ(missing.value.data(), nullptr);
    EXPECT_EQ(map.count(), 2);

    map.entry("SERVER").value = "changed";
    EXPECT_EQ(map.count(), 2);
    EXPECT_STREQ(map[0].value.c_str(), "changed");
    EXPECT_STREQ(map[0].name.c_str(), "Server");

    map.add("c", "3");
    EXPECT_TRUE(map.remove("SERVER"));
    EXPECT_EQ(pairsOf(map),
              (std::vector<std::pair<std::string, std::string>>{{"st", ""}, {"c", "3"}}));
    EXPECT_FALSE(map.remove("server"));
    EXPECT_FALSE(map.remove(""));
}

TEST(Split, TokensAreKeptExceptAnEmptyLastOne) {
    StringList out;
    out.append("stale");
    split("a;;b; ", ';', true, out);
    EXPECT_EQ(itemsOf(out), (std::vector<std::string>{"a", "", "b"}));
    split("a,,b,", ',', false, out);
    EXPECT_EQ(itemsOf(out), (std::vector<std::string>{"a", "", "b"}));
    split(",a", ',', false, out);
    EXPECT_EQ(itemsOf(out), (std::vector<std::string>{"", "a"}));
    split(" a , b ", ',', false, out);
    EXPECT_EQ(itemsOf(out), (std::vector<std::string>{" a ", " b "}));
    split("abc", ',', false, out);
    EXPECT_EQ(itemsOf(out), (std::vector<std::string>{"abc"}));
    split("", ',', false, out);
    EXPECT_EQ(out.count(), 0);
    split(",", ',', false, out);
    EXPECT_EQ(itemsOf(out), (std::vector<std::string>{""}));
}

TEST(Split, ParametersSkipEmptyNames) {
    StringMap out;
    out.add("stale", "x");
    parseParameters("a=1;b;=3", ';', '=', true, out);
    EXPECT_EQ(pairsOf(out),
              (std::vector<std::pair<std::string, std::string>>{{"a", "1"}, {"b", ""}}));

    parseParameters(" k = v=w ; Path=/; ", ';', '=', true, out);
    EXPECT_EQ(pairsOf(out),
              (std::vector<std::pair<std::string, std::string>>{{"k", "v=w"}, {"Path", "/"}}));

    parseParameters(" k = v ", ';', '=', false, out);
    EXPECT_EQ(pairsOf(out), (std::vector<std::pair<std::string, std::string>>{{" k ", " v "}}));

    parseParameters("", ';', '=', true, out);
    EXPECT_EQ(out.count(), 0);
}

TEST(Split, GetParameterMatchesTrimmedNamesIgnoringCase) {
    EXPECT_STREQ(getParameter("text/xml; Charset = \"x\"", "charset").c_str(), "\"x\"");
    EXPECT_STREQ(getParameter("text/xml;charset=UTF-8", " CHARSET ").c_str(), "UTF-8");
    EXPECT_STREQ(getParameter("a=1; a=2", "a").c_str(), "1");
    EXPECT_STREQ(getParameter("q; boundary=x=y", "boundary").c_str(), "x=y");
    EXPECT_EQ(getParameter("text/xml; charset", "charset").data(), nullptr);
    EXPECT_EQ(getParameter("text/xml; other=1", "charset").data(), nullptr);
    EXPECT_EQ(getParameter("", "charset").data(), nullptr);
}

TEST(StringSet, IteratesBucketsInOrderNewestFirst) {
    StringSet set(stringHash, 17);
    set.insert("a");  // bucket 97 % 17 = 12
    set.insert("ab"); // bucket 3299 % 17 = 1
    EXPECT_EQ(set.count(), 2u);
    EXPECT_EQ(visitOrder(set), (std::vector<std::string>{"ab", "a"}));

    StringSet chained(sameBucket, 3);
    for (const char* key : {"x", "y", "z"}) {
        chained.insert(key);
    }
    EXPECT_EQ(visitOrder(chained), (std::vector<std::string>{"z", "y", "x"}));

    chained.clear();
    EXPECT_EQ(chained.count(), 0u);
    EXPECT_TRUE(visitOrder(chained).empty());
    EXPECT_FALSE(chained.contains("x"));
}

TEST(StringSet, ContainsComparesExactBytes) {
    StringSet set(stringHash, 7);
    set.insert("Host");
    set.insert("");
    EXPECT_TRUE(set.contains("Host"));
    EXPECT_FALSE(set.contains("host"));
    EXPECT_FALSE(set.contains("Hos"));
    EXPECT_TRUE(set.contains(String()));

    // Keys whose hashes collide in one bucket are still told apart.
    StringSet chained(sameBucket, 1);
    chained.insert("one");
    EXPECT_TRUE(chained.contains("one"));
    EXPECT_FALSE(chained.contains("two"));

    // A set made without buckets still works rather than dividing by zero.
    StringSet degenerate(stringHash, 0);
    degenerate.insert("k");
    EXPECT_TRUE(degenerate.contains("k"));
}

TEST(ByteBuffer, WritePastCapacityGrowsToEndPlusStep) {
    ByteBuffer buffer;
    EXPECT_EQ(buffer.data(), nullptr);
    EXPECT_EQ(buffer.capacity(), 0);
    EXPECT_EQ(buffer.length(), 0);
    EXPECT_EQ(buffer.growthStep(), 0);

    buffer.setGrowthStep(16);
    buffer.append("abc", 3);
    EXPECT_EQ(buffer.capacity(), 19);
    EXPECT_EQ(buffer.length(), 3);
    const char* storage = buffer.data();
    buffer.append("defg", 4);
    EXPECT_EQ(buffer.data(), storage);
    buffer.write(1, "XY", 2);
    EXPECT_EQ(contentOf(buffer), "aXYdefg");

    buffer.write(20, "z", 1);
    EXPECT_EQ(buffer.capacity(), 37);
    EXPECT_EQ(buffer.length(), 21);
    // The gap before the offset reads as zeros.
    EXPECT_EQ(contentOf(buffer), std::string("aXYdefg") + std::string(13, '\0') + "z");

    buffer.write(0, nullptr, 5);
    buffer.write(0, "q", 0);
    EXPECT_EQ(buffer.length(), 21);
    EXPECT_EQ(buffer.data()[0], 'a');
}

TEST(ByteBuffer, AppendingItsOwnBytesSurvivesReallocation) {
    ByteBuffer buffer;
    buffer.append("0123456789", 10);
    EXPECT_EQ(buffer.capacity(), 10);
    buffer.append(buffer.data(), buffer.length());
    EXPECT_EQ(contentOf(buffer), "01234567890123456789");
    // Overlapping move inside the buffer.
    buffer.write(2, buffer.data(), 5);
    EXPECT_EQ(contentOf(buffer), "01012347890123456789");
}

TEST(ByteBuffer, CapacityAndLengthClip) {
    ByteBuffer buffer;
    buffer.append("abcdef", 6);
    buffer.setCapacity(4);
    EXPECT_EQ(buffer.capacity(), 4);
    EXPECT_EQ(contentOf(buffer), "abcd");
    buffer.setLength(2);
    EXPECT_EQ(contentOf(buffer), "ab");
    // Never past the capacity; bytes brought back into view read as zeros.
    buffer.setLength(10);
    EXPECT_EQ(buffer.length(), 4);
    EXPECT_EQ(contentOf(buffer), std::string("ab\0\0", 4));
    buffer.setLength(-1);
    EXPECT_EQ(buffer.length(), 0);
    buffer.setCapacity(0);
    EXPECT_EQ(buffer.data(), nullptr);
    EXPECT_EQ(buffer.capacity(), 0);
}

TEST(ByteBuffer, CopiesAreIndependent) {
    ByteBuffer original;
    original.setGrowthStep(4);
    original.append("abc", 3);
    ByteBuffer copy(original);
    copy.write(0, "X", 1);
    EXPECT_EQ(contentOf(original), "abc");
    EXPECT_EQ(contentOf(copy), "Xbc");
    EXPECT_EQ(copy.growthStep(), 4);

    ByteBuffer assigned;
    assigned = original;
    EXPECT_NE(assigned.data(), original.data());
    EXPECT_EQ(contentOf(assigned), "abc");

    ByteBuffer moved(std::move(assigned));
    EXPECT_EQ(contentOf(moved), "abc");
    EXPECT_EQ(assigned.length(), 0);
}

TEST(ByteBuffer, SizesBeyondTheIntRangeThrow) {
    ByteBuffer buffer;
    buffer.append("abc", 3);
    EXPECT_THROW(buffer.write(INT_MAX - 1, "xy", 2), MemoryException);
    buffer.setGrowthStep(INT_MAX);
    EXPECT_THROW(buffer.append("xy", 2), MemoryException);
    EXPECT_EQ(contentOf(buffer), "abc");
}

} // namespace kestrum::test
