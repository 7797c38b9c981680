#include "windows/UnicodeText.h"

#include <gtest/gtest.h>
#include <string>

namespace corvane {
namespace {

// "é" precomposed (U+00E9) and decomposed (e + U+0301); "Å" as U+00C5 and as the Angstrom sign
// U+212B, a singleton that NFC maps to U+00C5; Hangul syllable 한 and its jamo.
const std::string eAcute = "\xC3\xA9";
const std::string eCombining = "e\xCC\x81";
const std::string aRing = "\xC3\x85";
const std::string angstrom = "\xE2\x84\xAB";
const std::string han = "\xED\x95\x9C";
const std::string hanJamo = "\xE1\x84\x92\xE1\x85\xA1\xE1\x86\xAB";

TEST(UnicodeText, CanonicalEquivalence) {
    struct Case {
        std::string a, b;
        bool equal;
    };
    const Case cases[] = {
        {"Caf" + eAcute, "Caf" + eCombining, true},
        {eCombining + "t" + eAcute, eAcute + "t" + eCombining, true},
        {aRing, angstrom, true},
        {han, hanJamo, true},
        {"Inbox", "Inbox", true},
        {"", "", true},
        {"Inbox", "inbox", false},
        {eAcute, "e", false},
        {"e\xCC\x81\xCC\xA3", "e\xCC\xA3\xCC\x81", true}, // combining marks reordered by class
        {"\xFF\xFE", "\xFF\xFE", true},                   // not UTF-8, still equal to itself
        {"\xFF" + eCombining, "\xFF" + eAcute, false},    // malformed text is not normalised
        {"fi", "\xEF\xAC\x81", false}, // a compatibility ligature is not canonical
        {std::string("a\0b", 3), std::string("a\0c", 3), false}, // a NUL ends nothing
    };
    for (const auto& c : cases) {
        EXPECT_EQ(canonicallyEqual(c.a, c.b), c.equal) << c.a << " vs " << c.b;
        EXPECT_EQ(canonicallyEqual(c.b, c.a), c.equal) << c.b << " vs " << c.a;
    }
}

TEST(UnicodeText, CountsAndCutsUserPerceivedCharacters) {
    const std::string family =
        "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7";
    const std::string flag = "\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7"; // regional indicators F R
    struct Case {
        std::string text;
        std::size_t clusters, drop;
        std::string rest;
    };
    const Case cases[] = {
        {"", 0, 3, ""},
        {"abc", 3, 1, "bc"},
        {"abc", 3, 5, ""},
        {eCombining + "x", 2, 1, "x"},
        {family + "!", 2, 1, "!"},
        {flag + flag, 2, 1, flag},
        {"\r\nZ", 2, 1, "Z"},
        {hanJamo + "a", 2, 1, "a"},
        {"a\xFF\xFE" + std::string("b"), 4, 2, "\xFE" + std::string("b")}, // a stray byte each
        {"\xCC\x81" + std::string("a"), 2, 1, "a"}, // a mark with no base stands alone
        {"\xE2\x84", 2, 1, "\x84"},                 // truncated sequence
    };
    for (const auto& c : cases) {
        EXPECT_EQ(graphemeCount(c.text), c.clusters) << c.text;
        EXPECT_EQ(std::string(dropGraphemes(c.text, c.drop)), c.rest) << c.text;
        EXPECT_EQ(std::string(graphemePrefix(c.text, c.drop)) + c.rest, c.text) << c.text;
    }
    EXPECT_EQ(graphemeOffset("abc", 0), 0u);
}

} // namespace
} // namespace corvane
