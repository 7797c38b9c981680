// The plain parts of the macOS backend: Core Foundation values into Corvane's typed values
// (through fake CF values), the Accessibility element table's ownership, the mappings of the
// system's answers, the event tap's dispatch, icon pixels, and the bundle's Info.plist.

#include "platform/macos/MacAXElementTable.h"
#include "platform/macos/MacPlatformMapping.h"
#include "platform/macos/MacValueConversion.h"

#include <QFile>
#include <QXmlStreamReader>
#include <deque>
#include <gtest/gtest.h>
#include <map>
#include <numeric>
#include <variant>

namespace corvane {
namespace {

// A fake Core Foundation value: its kind and what it holds.
struct FakeCF {
    CFKind kind = CFKind::other;
    std::string description{};
    bool isFloat = false;
    std::optional<std::int64_t> integer{}; // none: a number beyond int64 (an unsigned 128-bit one)
    double real = 0;
    bool flag = false;
    std::optional<std::string> text{}; // none: a string that does not convert to UTF-8
    std::vector<const FakeCF*> items{};
    std::vector<std::pair<const FakeCF*, const FakeCF*>> entries{};
};

// Keeps the fake values it makes for as long as it lives, and reads them as CFValueReader.
class FakeCFValues : public CFValueReader {
  public:
    const FakeCF* operator()(FakeCF value) { return &values_.emplace_back(std::move(value)); }
    const FakeCF* integer(std::int64_t n) {
        return (*this)({.kind = CFKind::number, .integer = n});
    }
    const FakeCF* string(std::string s) { return (*this)({.kind = CFKind::string, .text = s}); }
    const FakeCF* array(std::vector<const FakeCF*> items) {
        return (*this)({.kind = CFKind::array, .description = "<CFArray>", .items = items});
    }

    CFKind kindOf(CFValue v) const override { return fake(v).kind; }
    bool numberIsFloatType(CFValue v) const override { return fake(v).isFloat; }
    std::optional<std::int64_t> int64Value(CFValue v) const override { return fake(v).integer; }
    double doubleValue(CFValue v) const override { return fake(v).real; }
    bool boolValue(CFValue v) const override { return fake(v).flag; }
    std::optional<std::string> utf8String(CFValue v) const override { return fake(v).text; }
    std::vector<CFValue> arrayElements(CFValue v) const override {
        return {fake(v).items.begin(), fake(v).items.end()};
    }
    std::vector<std::pair<CFValue, CFValue>> dictionaryEntries(CFValue v) const override {
        return {fake(v).entries.begin(), fake(v).entries.end()};
    }
    std::string describe(CFValue v) const override { return fake(v).description; }

  private:
    static const FakeCF& fake(CFValue v) { return *static_cast<const FakeCF*>(v); }
    std::deque<FakeCF> values_;
};

// Retains and releases of fake elements, counted per element; the table must balance them.
struct ReferenceCounts {
    std::map<const void*, int> held;
    int total() const {
        return std::accumulate(held.begin(), held.end(), 0,
                               [](int sum, const auto& entry) { return sum + entry.second; });
    }
};

MacAXElementTable tableCounting(ReferenceCounts& counts, std::size_t maxProcesses = 64) {
    return MacAXElementTable(
        [&counts](auto e) {
            ++counts.held[e];
            return e;
        },
        [&counts](auto e) {
            if (--counts.held[e] < 0)
                ADD_FAILURE() << "released more often than retained";
        },
        maxProcesses);
}

TEST(MacValueConversion, WindowListValuesKeepTheirRealType) {
    FakeCFValues cf;
    const std::pair<const FakeCF*, WindowListValue> cases[] = {
        {cf.integer(4242), std::int64_t{4242}},
        {cf({.kind = CFKind::number, .isFloat = true, .real = 2}), 2.0}, // stays a double
        {cf({.kind = CFKind::number, .isFloat = true, .real = 0.5}), 0.5},
        {cf({.kind = CFKind::boolean, .flag = true}), true}, // a Bool, not 1
        {cf.string("Safari"), std::string("Safari")},
        {cf({.kind = CFKind::number, .description = "<huge>"}), OtherValue{"<huge>"}},
        {cf({.kind = CFKind::string, .description = "<no UTF-8>"}), OtherValue{"<no UTF-8>"}},
        {cf({.description = "<CFDate 2026>"}), OtherValue{"<CFDate 2026>"}},
        {cf.array({}), OtherValue{"<CFArray>"}}, // nested
        {cf({.kind = CFKind::axElement}), OtherValue{""}},
        {nullptr, OtherValue{"(null)"}},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(windowListValueFromCF(cf, cases[i].first), cases[i].second) << "row " << i;
}

TEST(MacValueConversion, WindowListBecomesEntriesOfItsDictionaries) {
    FakeCFValues cf;
    const FakeCF* window = cf({.kind = CFKind::dictionary,
                               .entries = {
                                   {cf.string(kCGWindowNumber), cf.integer(812)},
                                   {cf.string(kCGWindowOwnerName), cf.string("Mail")},
                                   {cf.integer(5), cf.string("a key that is no string")},
                                   {cf({.kind = CFKind::string}), cf.string("nor converts")},
                               }});
    const FakeCF* empty = cf({.kind = CFKind::dictionary});
    const std::vector<WindowListEntry> entries =
        windowListFromCF(cf, cf.array({window, cf.string("not a dictionary"), nullptr, empty}));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0], (WindowListEntry{{kCGWindowNumber, std::int64_t{812}},
                                           {kCGWindowOwnerName, std::string("Mail")}}));
    EXPECT_TRUE(entries[1].empty());
    EXPECT_TRUE(windowListFromCF(cf, empty).empty()) << "not an array";
    EXPECT_TRUE(windowListFromCF(cf, nullptr).empty());
}

TEST(MacValueConversion, AttributeValuesAndWindowElements) {
    FakeCFValues cf;
    ReferenceCounts counts;
    {
        MacAXElementTable table = tableCounting(counts);
        const std::pair<const FakeCF*, AXValue> cases[] = {
            {cf.string("Inbox"), std::string("Inbox")},
            {cf({.kind = CFKind::boolean, .flag = true}), true},
            {cf.integer(1), OtherValue{""}}, // a number is not a Bool
            {cf.array({cf.string("a")}), OtherValue{"<CFArray>"}},
            {cf.array({nullptr}), OtherValue{"<CFArray>"}},
            {cf.array({}), std::vector<AXUIElement>{}},
        };
        for (std::size_t i = 0; i < std::size(cases); ++i)
            EXPECT_EQ(axValueFromCF(cf, cases[i].first, 7, table), cases[i].second) << "row " << i;

        const FakeCF* first = cf({.kind = CFKind::axElement});
        const FakeCF* second = cf({.kind = CFKind::axElement});
        const AXValue read = axValueFromCF(cf, cf.array({first, cf.string("x"), second}), 7, table);
        const auto* handles = std::get_if<std::vector<AXUIElement>>(&read);
        ASSERT_NE(handles, nullptr);
        ASSERT_EQ(handles->size(), 2u) << "only elements are kept";
        EXPECT_EQ(
            std::tuple(table.find((*handles)[0]), table.find((*handles)[1]), (*handles)[0].pid),
            std::tuple(first, second, 7));
        EXPECT_EQ(counts.held[first], 1);
        EXPECT_EQ(table.find({8, (*handles)[0].window}), nullptr) << "another process's handle";
        EXPECT_EQ(table.find({7, 0}), nullptr);
    }
    EXPECT_EQ(counts.total(), 0) << "the table gives back every element it held";
}

TEST(MacAXElementTable, AReadReplacesTheProcessesEarlierElementsAndOldProcessesAreDropped) {
    ReferenceCounts counts;
    int elements[6] = {};
    {
        MacAXElementTable table = tableCounting(counts, 2);
        table.beginRead(1);
        const AXUIElement oldOne = table.add(1, &elements[0]);
        table.beginRead(2);
        const AXUIElement otherProcess = table.add(2, &elements[1]);

        table.beginRead(1);
        const AXUIElement newOne = table.add(1, &elements[2]);
        EXPECT_EQ(table.find(oldOne), nullptr) << "an earlier read's handle finds nothing";
        EXPECT_EQ(counts.held[&elements[0]], 0);
        EXPECT_NE(newOne.window, oldOne.window) << "numbers are never reused";
        EXPECT_EQ(table.find(otherProcess), &elements[1]);

        // A third process: process 2, read longest ago, goes.
        table.beginRead(3);
        table.add(3, &elements[3]);
        EXPECT_EQ(std::tuple(table.find(otherProcess), table.find(newOne), table.size()),
                  std::tuple(nullptr, &elements[2], 2u));

        // Adding without beginning a read starts one; the same element twice is held twice.
        table.add(4, &elements[4]);
        table.add(4, &elements[4]);
        EXPECT_EQ(counts.held[&elements[4]], 2);
    }
    EXPECT_EQ(counts.total(), 0);
}

// The documented answers at each end of their range, and what a newer system's (or garbage)
// becomes: a failure, no checkmark, a process never offered as a window owner.
TEST(MacPlatformMapping, SystemAnswersBecomeCorvanesAndUnknownOnesASafeDefault) {
    const std::pair<std::int32_t, AXError> axErrors[] = {
        {0, kAXErrorSuccess},      {-25202, -25202},          {-25214, -25214},
        {-25215, kAXErrorFailure}, {-25199, kAXErrorFailure}, {1, kAXErrorFailure},
    };
    for (const auto& [code, expected] : axErrors)
        EXPECT_EQ(axErrorFromSystem(code), expected) << code;
    const std::pair<long, LoginItemStatus> statuses[] = {
        {1, LoginItemStatus::enabled},
        {3, LoginItemStatus::notFound},
        {4, LoginItemStatus::notRegistered},
        {-1, LoginItemStatus::notRegistered},
    };
    for (const auto& [status, expected] : statuses)
        EXPECT_EQ(loginItemStatusFromSystem(status), expected) << status;
    const std::pair<long, ActivationPolicy> policies[] = {{1, ActivationPolicy::accessory},
                                                          {3, ActivationPolicy::prohibited},
                                                          {-1, ActivationPolicy::prohibited}};
    for (const auto& [policy, expected] : policies)
        EXPECT_EQ(activationPolicyFromSystem(policy), expected) << policy;

    const std::string denied = "Error Domain=SMAppServiceErrorDomain Code=1";
    EXPECT_EQ(loginItemFailureText(denied), denied);
    EXPECT_FALSE(loginItemFailureText(std::nullopt).empty());
    EXPECT_FALSE(loginItemFailureText(std::string()).empty());
}

TEST(MacEventTapDispatch, KeysAreDecidedByCorvaneAndDisabledNoticesReenableTheTap) {
    struct Case {
        std::uint32_t type;
        TapResult answer;
        bool tapWanted, reenable, swallow;
    };
    const Case cases[] = {
        {kCGEventKeyDown, TapResult::swallow, true, false, true},
        {kCGEventFlagsChanged, TapResult::pass, true, false, false},
        {kCGEventTapDisabledByUserInput, TapResult::pass, true, true, false},
        // A notice is never swallowed, whatever the callback answers.
        {kCGEventTapDisabledByTimeout, TapResult::swallow, true, true, false},
        // Corvane disabled the tap itself: it stays off.
        {kCGEventTapDisabledByUserInput, TapResult::pass, false, false, false},
    };
    struct Record {
        std::vector<std::uint32_t> types;
        TapResult answer;
    };
    const EventTapCallback callback = [](std::uint32_t type, const TapEvent& event, void* info) {
        auto* record = static_cast<Record*>(info);
        EXPECT_EQ(event.keyCode, kVK_Tab);
        record->types.push_back(type);
        return record->answer;
    };
    for (const Case& c : cases) {
        Record record{{}, c.answer};
        const TapDispatch dispatch = dispatchTapEvent(c.type, {kVK_Tab, kCGEventFlagMaskAlternate},
                                                      callback, &record, c.tapWanted);
        EXPECT_EQ(dispatch.reenableTap, c.reenable) << c.type;
        EXPECT_EQ(dispatch.swallow, c.swallow) << c.type;
        EXPECT_EQ(record.types, std::vector{c.type}) << "the core sees every event, notices too";
    }
    EXPECT_FALSE(dispatchTapEvent(kCGEventKeyDown, {}, nullptr, nullptr, true).swallow);
    EXPECT_TRUE(
        dispatchTapEvent(kCGEventTapDisabledByTimeout, {}, nullptr, nullptr, true).reenableTap);
}

TEST(MacPlatformMapping, PremultipliedIconPixelsBecomeStraightARGB) {
    struct Case {
        std::uint8_t rgba[4];
        std::uint32_t argb;
    };
    const Case cases[] = {
        {{18, 52, 86, 255}, 0xFF123456}, // opaque
        {{64, 64, 64, 128}, 0x80808080}, // half-transparent
        {{1, 2, 0, 3}, 0x0355AA00},      // rounded to nearest
        {{9, 9, 9, 0}, 0x00000000},      // transparent, whatever colour is left in it
        {{200, 0, 0, 100}, 0x64FF0000},  // a channel above its alpha is clamped
    };
    for (const Case& c : cases)
        EXPECT_EQ(imageFromPremultipliedRGBA(c.rgba, 1, 1, 4).argb,
                  std::vector<std::uint32_t>{c.argb});

    // Two rows of two pixels, each row padded to 12 bytes: rows stay top first, padding skipped.
    const std::uint8_t padded[24] = {255, 0, 0,   255, 0, 255, 0, 255, 7, 7, 7, 7,
                                     0,   0, 255, 255, 0, 0,   0, 0,   7, 7, 7, 7};
    const Image image = imageFromPremultipliedRGBA(padded, 2, 2, 12);
    EXPECT_EQ(std::tuple(image.width, image.height, image.argb),
              std::tuple(2, 2, std::vector<std::uint32_t>{0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0}));

    EXPECT_TRUE(imageFromPremultipliedRGBA(padded, 2, 2, 7).argb.empty()) << "row too short";
    EXPECT_TRUE(imageFromPremultipliedRGBA(nullptr, 2, 2, 8).argb.empty());
    EXPECT_TRUE(imageFromPremultipliedRGBA(padded, 0, 2, 8).argb.empty());
}

// The bundle's Info.plist as made from its template for this build: well-formed, every
// placeholder filled, this build's version in it.
TEST(MacBundle, InfoPlistIsFilledInForThisBuild) {
    QFile file(QStringLiteral(CORVANE_INFO_PLIST));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_FALSE(text.contains('@')) << "a placeholder left unfilled";
    EXPECT_TRUE(text.contains("<string>" CORVANE_PROJECT_VERSION "</string>"));
    QXmlStreamReader xml(text);
    while (!xml.atEnd())
        xml.readNext();
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
}

} // namespace
} // namespace corvane
