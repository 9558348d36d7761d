#include "net/String.h"

#include "net/Exception.h"
#include "net/TextView.h"

#include <climits>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>

namespace kestrum::test {

namespace {

// Every way of making the empty text stores null and still reads as "".
void expectNull(const String& text) {
    EXPECT_EQ(text.data(), nullptr);
    EXPECT_STREQ(text.c_str(), "");
    EXPECT_EQ(text.length(), 0);
    EXPECT_TRUE(text.isEmpty());
    EXPECT_EQ(text.compare(nullptr), 0);
    EXPECT_EQ(text[0], '\0');
}

} // namespace

TEST(String, EmptyResultsAreStoredAsNull) {
    expectNull(String());
    expectNull(String(""));
    expectNull(String(nullptr));
    expectNull(String("abc", 0));
    expectNull(String("abc").substring(5));
    expectNull(String("abc").substring(3));
    expectNull(String("abc").substring(1, 0));

    String text("abc");
    text.assign("");
    expectNull(text);
    text = "x";
    text.resize(0);
    expectNull(text);
    text = "x";
    text.resize(-3);
    expectNull(text);
    text = " \t\r\n";
    text.trim();
    expectNull(text);
    text = "aa";
    text.replaceAll("a", "");
    expectNull(text);
    text = "abc";
    text.format("%s", "");
    expectNull(text);
}

TEST(String, AssignCopiesExactlyTheGivenBytes) {
    String text;
    text.assign("abcdef", 3);
    EXPECT_STREQ(text.c_str(), "abc");
    text.assign("abcdef", -1);
    EXPECT_STREQ(text.c_str(), "abcdef");

    // A source without a terminating NUL must not be read past its length.
    const char unterminated[3] = {'x', 'y', 'z'};
    text.assign(unterminated, 3);
    EXPECT_STREQ(text.c_str(), "xyz");

    // Nothing after a NUL is kept, so the length is always the stored size.
    text.assign("ab\0cd", 5);
    EXPECT_EQ(text.length(), 2);
    EXPECT_STREQ(text.c_str(), "ab");

    // Assigning from the string itself, whole or in part.
    text = "hello";
    const String& alias = text;
    text = alias;
    EXPECT_STREQ(text.c_str(), "hello");
    text.assign(text.c_str() + 2);
    EXPECT_STREQ(text.c_str(), "llo");
    text.assign(text.c_str(), 2);
    EXPECT_STREQ(text.c_str(), "ll");
}

TEST(String, CopiesAndMovesOwnTheirBuffers) {
    String original("abc");
    String copy(original);
    EXPECT_NE(copy.data(), original.data());
    EXPECT_EQ(copy, original);

    String assigned;
    assigned = original;
    EXPECT_NE(assigned.data(), original.data());

    const char* buffer = original.data();
    String moved(std::move(original));
    EXPECT_EQ(moved.data(), buffer);
    EXPECT_EQ(original.data(), nullptr);

    String target("old");
    target = std::move(moved);
    EXPECT_EQ(target.data(), buffer);
    EXPECT_EQ(moved.data(), nullptr);
}

TEST(String, CompareIsThreeWayOverUnsignedBytes) {
    EXPECT_EQ(String().compare("a"), -1);
    EXPECT_EQ(String("").compare(""), 0);
    EXPECT_EQ(String("a").compare(nullptr), 1);
    EXPECT_EQ(String("a").compare(""), 1);
    EXPECT_EQ(String("ab").compare("abc"), -1);
    EXPECT_EQ(String("abc").compare("ab"), 1);
    EXPECT_EQ(String("abc").compare("abc"), 0);
    EXPECT_EQ(String("abd").compare("abc"), 1);
    // Byte 0xC4 sorts after every ASCII byte, whatever the sign of char.
    EXPECT_EQ(String("\xC4").compare("z"), 1);
    EXPECT_EQ(String("z").compare("\xC4"), -1);
    // Letter case matters.
    EXPECT_EQ(String("A").compare("a"), -1);

    EXPECT_TRUE(String("abc") == "abc");
    EXPECT_FALSE(String("abc") == "abcd");
    EXPECT_TRUE(String() == String(""));
    EXPECT_TRUE(String() == nullptr);
}

TEST(String, SubstringClipsToTheText) {
    const String text("abc");
    EXPECT_STREQ(text.substring(1, 1).c_str(), "b");
    EXPECT_STREQ(text.substring(1).c_str(), "bc");
    EXPECT_STREQ(text.substring(1, 100).c_str(), "bc");
    EXPECT_STREQ(text.substring(0, INT_MAX).c_str(), "abc");
    EXPECT_STREQ(text.substring(2, -5).c_str(), "c");
    expectNull(text.substring(-1));
    expectNull(String().substring(0));
}

TEST(String, FindHonoursStartAndRejectsEmptyNeedles) {
    const String text("abcb");
    EXPECT_EQ(text.find("b"), 1);
    EXPECT_EQ(text.find("b", 2), 3);
    EXPECT_EQ(text.find("b", 4), -1);
    EXPECT_EQ(text.find("b", 100), -1);
    EXPECT_EQ(text.find("b", -5), 1);
    EXPECT_EQ(text.find("cb"), 2);
    EXPECT_EQ(text.find("bcbx"), -1);
    EXPECT_EQ(text.find(""), -1);
    EXPECT_EQ(text.find(static_cast<const char*>(nullptr)), -1);
    EXPECT_EQ(text.find(String()), -1);
    EXPECT_EQ(String().find("a"), -1);
    // The empty text is null: a negative start must not search it.
    EXPECT_EQ(String().find("a", -1), -1);
    EXPECT_EQ(String().find("a", INT_MIN), -1);

    const String list("a,b;c");
    EXPECT_EQ(list.findFirstOf(";,"), 1);
    EXPECT_EQ(list.findFirstOf(";,", 2), 3);
    EXPECT_EQ(list.findFirstOf(";,", 4), -1);
    EXPECT_EQ(list.findFirstOf("xyz"), -1);
    EXPECT_EQ(list.findFirstOf(""), -1);
    EXPECT_EQ(String().findFirstOf(","), -1);
    EXPECT_EQ(String().findFirstOf(",", -1), -1);
    EXPECT_EQ(list.findFirstOf(";,", INT_MIN), 1);
}

TEST(String, PrefixAndSuffixTests) {
    const String text("Content-Type");
    EXPECT_TRUE(text.startsWith("Content"));
    EXPECT_TRUE(text.startsWith("Content-Type"));
    EXPECT_FALSE(text.startsWith("Content-Type:"));
    EXPECT_FALSE(text.startsWith("content"));
    EXPECT_FALSE(text.startsWith(""));
    EXPECT_FALSE(text.startsWith(nullptr));
    EXPECT_TRUE(text.endsWith("Type"));
    EXPECT_FALSE(text.endsWith("xContent-Type"));
    EXPECT_FALSE(text.endsWith(""));
    EXPECT_FALSE(String().startsWith("a"));
    EXPECT_FALSE(String().endsWith("a"));

    EXPECT_TRUE(text.endsWithChar('e'));
    EXPECT_FALSE(text.endsWithChar('C'));
    EXPECT_FALSE(String().endsWithChar('\0'));
}

TEST(String, ReplaceAllNeverRescansReplacedText) {
    String text("&amp;lt;");
    text.replaceAll("&amp;", "&");
    EXPECT_STREQ(text.c_str(), "&lt;");

    // A replacement that contains what it replaces must not loop.
    text = "a-a";
    text.replaceAll("a", "aa");
    EXPECT_STREQ(text.c_str(), "aa-aa");

    text = "x, y,z";
    text.replaceAll(", ", "");
    EXPECT_STREQ(text.c_str(), "xy,z");
    text.replaceAll(",", nullptr);
    EXPECT_STREQ(text.c_str(), "xyz");

    text.replaceAll("", "q");
    EXPECT_STREQ(text.c_str(), "xyz");
    text.replaceAll("nope", "q");
    EXPECT_STREQ(text.c_str(), "xyz");

    // Overlapping candidates are taken left to right.
    text = "aaa";
    text.replaceAll("aa", "b");
    EXPECT_STREQ(text.c_str(), "ba");

    // The replacement may point into the string being changed.
    text = "ab";
    text.replaceAll("a", text.c_str());
    EXPECT_STREQ(text.c_str(), "abb");
}

TEST(String, TrimRemovesControlBytesButNotHighBytes) {
    String text("\t\r\n value \xA0\t\r\n");
    text.trimRight();
    EXPECT_STREQ(text.c_str(), "\t\r\n value \xA0");
    text.trimLeft();
    EXPECT_STREQ(text.c_str(), "value \xA0");

    text = "\x01\x1F x \x7F";
    text.trim();
    EXPECT_STREQ(text.c_str(), "x \x7F");
}

TEST(String, ResizeKeepsAPrefixAndPadsWithSpaces) {
    String text("ab");
    text.resize(5);
    EXPECT_STREQ(text.c_str(), "ab   ");
    text.resize(1);
    EXPECT_STREQ(text.c_str(), "a");
    const char* before = text.data();
    text.resize(1);
    EXPECT_EQ(text.data(), before);
    String empty;
    empty.resize(2);
    EXPECT_STREQ(empty.c_str(), "  ");
}

TEST(String, FormatGrowsAndShrinksToTheOutput) {
    String text;
    const std::string longArgument(1000, 'x');
    text.format("<%s>", longArgument.c_str());
    EXPECT_EQ(text.length(), 1002);
    EXPECT_EQ(std::string(text.c_str()), "<" + longArgument + ">");

    // A long current content does not survive a short output.
    text.format("%d", 7);
    EXPECT_STREQ(text.c_str(), "7");

    text.format("%lld|%zu|%u|%5.2f|%-3s|", -9000000000LL, sizeof(std::uint32_t), 4000000000u, 2.5,
                "a");
    EXPECT_STREQ(text.c_str(), "-9000000000|4|4000000000| 2.50|a  |");

    // A NUL in the output ends the text.
    text.format("ab%cde", 0);
    EXPECT_STREQ(text.c_str(), "ab");
    EXPECT_EQ(text.length(), 2);

    // The arguments may be the string's own content.
    text = "abc";
    text.format("%s-%s", text.c_str(), text.c_str());
    EXPECT_STREQ(text.c_str(), "abc-abc");
}

TEST(String, FormatErrorThrowsInsteadOfGrowingForever) {
    // A wide character that the current locale cannot encode is an error for C99 formatters.
    const wchar_t unencodable[] = {static_cast<wchar_t>(0x20AC), 0};
    if (std::snprintf(nullptr, 0, "%ls", unencodable) >= 0) {
        GTEST_SKIP() << "this formatter encodes the character";
    }
    String text("kept");
    EXPECT_THROW(text.format("%ls", unencodable), MemoryException);
    EXPECT_STREQ(text.c_str(), "kept");
}

TEST(String, FromIntCoversTheWholeRange) {
    EXPECT_STREQ(String::fromInt(0).c_str(), "0");
    EXPECT_STREQ(String::fromInt(-42).c_str(), "-42");
    EXPECT_STREQ(String::fromInt(INT_MAX).c_str(), "2147483647");
    EXPECT_STREQ(String::fromInt(INT_MIN).c_str(), "-2147483648");
}

TEST(String, ConcatenationAndAppend) {
    const String ab("ab");
    EXPECT_STREQ((ab + String("cd")).c_str(), "abcd");
    EXPECT_STREQ(("x" + ab).c_str(), "xab");
    EXPECT_STREQ((ab + "y").c_str(), "aby");
    EXPECT_STREQ(('<' + ab).c_str(), "<ab");
    EXPECT_STREQ((ab + '>').c_str(), "ab>");
    EXPECT_STREQ((String() + String()).c_str(), "");
    EXPECT_EQ((String() + "").data(), nullptr);
    EXPECT_STREQ((String() + 'z').c_str(), "z");
    EXPECT_STREQ((static_cast<const char*>(nullptr) + ab).c_str(), "ab");

    String text("ab");
    const char* before = text.data();
    text.append("");
    text.append(nullptr);
    EXPECT_EQ(text.data(), before);
    text.append(text);
    EXPECT_STREQ(text.c_str(), "abab");
    String empty;
    empty.append("q");
    EXPECT_STREQ(empty.c_str(), "q");
}

TEST(String, ToIntReadsASignedDecimalPrefixWithWrapAround) {
    EXPECT_EQ(toInt(static_cast<const char*>(nullptr)), 0);
    EXPECT_EQ(toInt(""), 0);
    EXPECT_EQ(toInt(String()), 0);
    EXPECT_EQ(toInt("abc"), 0);
    EXPECT_EQ(toInt("-"), 0);
    EXPECT_EQ(toInt("12abc"), 12);
    EXPECT_EQ(toInt(" \t\r\n\v\f-37"), -37);
    EXPECT_EQ(toInt("+15"), 15);
    EXPECT_EQ(toInt("- 5"), 0);
    EXPECT_EQ(toInt("007"), 7);
    EXPECT_EQ(toInt("2147483647"), INT_MAX);
    EXPECT_EQ(toInt("-2147483648"), INT_MIN);
    // Counters beyond the signed range keep their 32 bits.
    EXPECT_EQ(toInt("4294967295"), -1);
    EXPECT_EQ(toInt("2147483648"), INT_MIN);
    EXPECT_EQ(toInt("4294967296"), 0);
    EXPECT_EQ(toInt(String(" 3000000000 ")), static_cast<int>(3000000000u));
}

TEST(String, ToLowerFoldsOnlyAsciiLetters) {
    String text("@AZ[`az{\xC4\xD6");
    toLower(text);
    EXPECT_STREQ(text.c_str(), "@az[`az{\xC4\xD6");
    String empty;
    toLower(empty);
    EXPECT_EQ(empty.data(), nullptr);
}

TEST(String, HashTakesBytesAsSigned) {
    EXPECT_EQ(stringHash(String()), 0u);
    EXPECT_EQ(stringHash("a"), 97u);
    EXPECT_EQ(stringHash("ab"), 3299u);
    EXPECT_EQ(stringHash("\x80"), 0xFFFFFF80u);
    EXPECT_EQ(stringHash("\xFF\xFF"), 0xFFFFFFDEu); // -1 * 33 - 1
    // Wraps at 32 bits.
    EXPECT_EQ(stringHash("aaaaaaaa"), 0x99193688u);
}

std::string text(TextView view) {
    return std::string(view.data(), static_cast<std::size_t>(view.length()));
}

TEST(TextView, PositionsOutsideTheViewAreClipped) {
    const TextView view("abcb");
    const char nul[] = {'a', '\0', 'b'};
    EXPECT_EQ(TextView(nul, 3).length(), 3);
    EXPECT_EQ(TextView(nullptr).length(), 0);
    EXPECT_EQ(TextView("x", -1).length(), 0);
    EXPECT_EQ(view[-1], '\0');
    EXPECT_EQ(view[4], '\0');
    EXPECT_EQ(view[3], 'b');
    // (start, count, expected)
    const struct {
        int start;
        int count;
        const char* expected;
    } cuts[] = {{0, -1, "abcb"}, {1, 2, "bc"}, {2, 99, "cb"}, {4, 1, ""},
                {9, -1, ""},     {-3, 1, "a"}, {1, 0, ""},    {0, INT_MAX, "abcb"}};
    for (const auto& cut : cuts) {
        EXPECT_EQ(text(view.substring(cut.start, cut.count)), cut.expected) << cut.start;
    }
    EXPECT_EQ(view.find('b', 2), 3);
    EXPECT_EQ(view.find('b', 4), -1);
    EXPECT_EQ(view.find("cb"), 2);
    EXPECT_EQ(view.find("b", -5), 1);
    EXPECT_EQ(view.find(""), -1);
    EXPECT_EQ(view.find("bcbx"), -1);
    EXPECT_EQ(view.findFirstOf("xc"), 2);
    EXPECT_EQ(view.findFirstOf("xy"), -1);
    EXPECT_TRUE(view.startsWith("ab"));
    EXPECT_FALSE(view.startsWith("abcbd"));
}

TEST(TextView, TrimAndCaseFoldingAreAsciiOnly) {
    EXPECT_EQ(text(TextView(" \t\x01"
                            "a b\r\n")
                       .trimmed()),
              "a b");
    EXPECT_EQ(text(TextView("  a ").trimmedLeft()), "a ");
    EXPECT_EQ(text(TextView("\xa0"
                            "a\xa0")
                       .trimmed()),
              "\xa0"
              "a\xa0");
    EXPECT_EQ(text(TextView(" \n").trimmed()), "");
    EXPECT_TRUE(TextView("S:Body").equalsIgnoringCase("s:bODY"));
    EXPECT_FALSE(TextView("\xc4").equalsIgnoringCase("\xe4"));
    EXPECT_FALSE(TextView("ab").equalsIgnoringCase("abc"));
    EXPECT_TRUE(TextView("").equalsIgnoringCase(String()));
    EXPECT_EQ(TextView("a\0b", 3).toString().length(), 1);
    EXPECT_EQ(TextView("").toString().data(), nullptr);
}

TEST(TextView, ReadDecimalCountsDigitsAndCapsBeyond32Bits) {
    const struct {
        const char* text;
        int digits;
        std::uint64_t value;
    } rows[] = {
        {"", 0, 0},
        {"-1", 0, 0},
        {" 7", 0, 0},
        {"0", 1, 0},
        {"007x", 3, 7},
        {"2147483648", 10, 2147483648u},
        {"4294967295", 10, 4294967295u},
        {"4294967296", 10, 4294967296u},
        {"99999999999999999999999999", 26, 4294967296u},
    };
    for (const auto& row : rows) {
        std::uint64_t value = 99;
        EXPECT_EQ(readDecimal(row.text, value), row.digits) << row.text;
        EXPECT_EQ(value, row.value) << row.text;
    }
}

} // namespace kestrum::test
