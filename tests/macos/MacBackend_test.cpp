// The plain parts of the macOS backend: Core Foundation values into Corvane's typed values
// (through fake CF values), the Accessibility element table's ownership, the mappings of the
// system's answers, the event tap's dispatch, icon pixels, and the bundle's Info.plist.

#include "platform/macos/MacAXElementTable.h"
#include "platform/macos/MacPlatformMapping.h"
#include "platform/macos/MacValueConversion.h"
#include "windows/WindowListValues.h"

#include <QFile>
#include <QXmlStreamReader>
#include <climits>
#include <deque>
#include <gtest/gtest.h>
#include <map>
#include <variant>

namespace corvane {
namespace {

// A fake Core Foundation value: its kind and what it holds.
struct FakeCF {
    CFKind kind = CFKind::other;
    bool isFloat = false;
    std::optional<std::int64_t> integer; // none: a number beyond int64 (an unsigned 128-bit one)
    double real = 0;
    bool flag = false;
    std::optional<std::string> text; // none: a string that does not convert to UTF-8
    std::vector<const FakeCF*> items;
    std::vector<std::pair<const FakeCF*, const FakeCF*>> entries;
    std::string description;
};

// Makes fake values that live as long as the factory; reads them as CFValueReader.
class FakeCFValues : public CFValueReader {
  public:
    const FakeCF* integer(std::int64_t value) {
        return &(make(CFKind::number).integer = value, last());
    }
    const FakeCF* real(double value) {
        FakeCF& v = make(CFKind::number);
        v.isFloat = true;
        v.real = value;
        return &v;
    }
    const FakeCF* hugeInteger() { return &make(CFKind::number, "<CFNumber huge>"); }
    const FakeCF* boolean(bool value) { return &(make(CFKind::boolean).flag = value, last()); }
    const FakeCF* string(std::optional<std::string> text, std::string description = "<CFString>") {
        return &(make(CFKind::string, std::move(description)).text = std::move(text), last());
    }
    const FakeCF* array(std::vector<const FakeCF*> items) {
        return &(make(CFKind::array, "<CFArray>").items = std::move(items), last());
    }
    const FakeCF* dictionary(std::vector<std::pair<const FakeCF*, const FakeCF*>> entries) {
        return &(make(CFKind::dictionary, "<CFDictionary>").entries = std::move(entries), last());
    }
    const FakeCF* element() { return &make(CFKind::axElement); }
    const FakeCF* other(std::string description) {
        return &make(CFKind::other, std::move(description));
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
    FakeCF& make(CFKind kind, std::string description = {}) {
        FakeCF& value = values_.emplace_back();
        value.kind = kind;
        value.description = std::move(description);
        return value;
    }
    FakeCF& last() { return values_.back(); }
    std::deque<FakeCF> values_;
};

// Retains and releases of fake elements, counted per element; the table must balance them.
struct ReferenceCounts {
    std::map<const void*, int> held;
    MacAXElementTable::Element retain(MacAXElementTable::Element e) {
        ++held[e];
        return e;
    }
    void release(MacAXElementTable::Element e) {
        if (--held[e] < 0)
            ADD_FAILURE() << "released more often than retained";
    }
    int total() const {
        int sum = 0;
        for (const auto& [element, count] : held)
            sum += count;
        return sum;
    }
};

MacAXElementTable tableCounting(ReferenceCounts& counts, std::size_t maxProcesses = 64) {
    return MacAXElementTable([&counts](auto e) { return counts.retain(e); },
                             [&counts](auto e) { counts.release(e); }, maxProcesses);
}

TEST(MacValueConversion, WindowListValuesKeepTheirRealType) {
    FakeCFValues cf;
    struct Case {
        const char* what;
        const FakeCF* value;
        WindowListValue expected;
    };
    const Case cases[] = {
        {"an integer", cf.integer(4242), std::int64_t{4242}},
        {"a negative integer", cf.integer(-1), std::int64_t{-1}},
        {"a whole float stays a double", cf.real(2.0), 2.0},
        {"a fraction", cf.real(0.5), 0.5},
        {"true is a Bool, not 1", cf.boolean(true), true},
        {"false", cf.boolean(false), false},
        {"a string", cf.string("Safari"), std::string("Safari")},
        {"an empty string", cf.string(""), std::string()},
        {"a number beyond int64", cf.hugeInteger(), OtherValue{"<CFNumber huge>"}},
        {"a string that is no UTF-8", cf.string(std::nullopt, "<bad>"), OtherValue{"<bad>"}},
        {"a date", cf.other("<CFDate 2026>"), OtherValue{"<CFDate 2026>"}},
        {"a nested array", cf.array({}), OtherValue{"<CFArray>"}},
        {"a nested dictionary", cf.dictionary({}), OtherValue{"<CFDictionary>"}},
        {"an element", cf.element(), OtherValue{""}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(windowListValueFromCF(cf, c.value), c.expected) << c.what;
    EXPECT_EQ(windowListValueFromCF(cf, nullptr), WindowListValue{OtherValue{"(null)"}});
}

TEST(MacValueConversion, WindowListBecomesEntriesTheCoreReads) {
    FakeCFValues cf;
    const FakeCF* window = cf.dictionary({
        {cf.string(kCGWindowNumber), cf.integer(812)},
        {cf.string(kCGWindowLayer), cf.integer(0)},
        {cf.string(kCGWindowOwnerPID), cf.integer(377)},
        {cf.string(kCGWindowOwnerName), cf.string("Mail")},
        {cf.string(kCGWindowIsOnscreen), cf.boolean(true)},
        {cf.integer(5), cf.string("a key that is no string")},
        {cf.string(std::nullopt), cf.string("a key that does not convert")},
    });
    const FakeCF* alpha = cf.dictionary({{cf.string("kCGWindowAlpha"), cf.real(1)}});
    const FakeCF* list = cf.array({window, cf.string("not a dictionary"), nullptr, alpha});

    const std::vector<WindowListEntry> entries = windowListFromCF(cf, list);
    ASSERT_EQ(entries.size(), 2u);
    const WindowListEntry& entry = entries[0];
    EXPECT_EQ(entry.size(), 5u);
    EXPECT_EQ(readUInt32(entry, kCGWindowNumber), 812u);
    EXPECT_EQ(readInt64(entry, kCGWindowLayer), 0);
    EXPECT_EQ(readPid(entry, kCGWindowOwnerPID), 377);
    ASSERT_NE(readString(entry, kCGWindowOwnerName), nullptr);
    EXPECT_EQ(*readString(entry, kCGWindowOwnerName), "Mail");
    EXPECT_EQ(readBool(entry, kCGWindowIsOnscreen), true);
    EXPECT_EQ(entries[1].at("kCGWindowAlpha"), WindowListValue{1.0});

    EXPECT_TRUE(windowListFromCF(cf, cf.dictionary({})).empty()) << "not an array";
    EXPECT_TRUE(windowListFromCF(cf, nullptr).empty());
}

TEST(MacValueConversion, AttributeValuesAndWindowElements) {
    FakeCFValues cf;
    ReferenceCounts counts;
    {
        MacAXElementTable table = tableCounting(counts);
        EXPECT_EQ(axValueFromCF(cf, cf.string("Inbox"), 7, table), AXValue{std::string("Inbox")});
        EXPECT_EQ(axValueFromCF(cf, cf.boolean(true), 7, table), AXValue{true});
        EXPECT_EQ(axValueFromCF(cf, cf.integer(1), 7, table), AXValue{OtherValue{""}})
            << "a number is not a Bool";
        EXPECT_EQ(axValueFromCF(cf, cf.array({cf.string("a")}), 7, table),
                  AXValue{OtherValue{"<CFArray>"}});
        EXPECT_EQ(axValueFromCF(cf, cf.array({nullptr}), 7, table),
                  AXValue{OtherValue{"<CFArray>"}});
        EXPECT_EQ(axValueFromCF(cf, cf.array({}), 7, table), AXValue{std::vector<AXUIElement>{}});

        const FakeCF* first = cf.element();
        const FakeCF* second = cf.element();
        const AXValue read = axValueFromCF(cf, cf.array({first, cf.string("x"), second}), 7, table);
        const auto* handles = std::get_if<std::vector<AXUIElement>>(&read);
        ASSERT_NE(handles, nullptr);
        ASSERT_EQ(handles->size(), 2u) << "only elements are kept";
        EXPECT_EQ(table.find((*handles)[0]), first);
        EXPECT_EQ(table.find((*handles)[1]), second);
        EXPECT_EQ((*handles)[0].pid, 7);
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
        EXPECT_EQ(table.find(otherProcess), nullptr);
        EXPECT_EQ(table.find(newOne), &elements[2]);
        EXPECT_EQ(table.size(), 2u);

        // Adding without beginning a read starts one; the same element twice is held twice.
        table.add(4, &elements[4]);
        table.add(4, &elements[4]);
        EXPECT_EQ(counts.held[&elements[4]], 2);
    }
    EXPECT_EQ(counts.total(), 0);
}

TEST(MacPlatformMapping, SystemCodesBecomeCorvanes) {
    const std::pair<std::int32_t, AXError> axErrors[] = {
        {0, kAXErrorSuccess},
        {-25200, kAXErrorFailure},
        {-25202, -25202}, // kAXErrorInvalidUIElement keeps its number
        {-25205, kAXErrorAttributeUnsupported},
        {-25212, kAXErrorNoValue},
        {-25214, -25214}, // the last documented code
        {-25215, kAXErrorFailure},
        {-25199, kAXErrorFailure},
        {1, kAXErrorFailure},
        {INT32_MIN, kAXErrorFailure},
    };
    for (const auto& [code, expected] : axErrors)
        EXPECT_EQ(axErrorFromSystem(code), expected) << code;

    const std::pair<long, LoginItemStatus> statuses[] = {
        {0, LoginItemStatus::notRegistered},    {1, LoginItemStatus::enabled},
        {2, LoginItemStatus::requiresApproval}, {3, LoginItemStatus::notFound},
        {4, LoginItemStatus::notRegistered},    {-1, LoginItemStatus::notRegistered},
    };
    for (const auto& [status, expected] : statuses)
        EXPECT_EQ(loginItemStatusFromSystem(status), expected) << status;

    const std::pair<long, ActivationPolicy> policies[] = {
        {0, ActivationPolicy::regular},     {1, ActivationPolicy::accessory},
        {2, ActivationPolicy::prohibited},  {3, ActivationPolicy::prohibited},
        {-1, ActivationPolicy::prohibited},
    };
    for (const auto& [policy, expected] : policies)
        EXPECT_EQ(activationPolicyFromSystem(policy), expected) << policy;

    const std::string denied =
        "Error Domain=SMAppServiceErrorDomain Code=1 \"Operation not permitted\"";
    EXPECT_EQ(loginItemFailureText(denied), denied);
    EXPECT_FALSE(loginItemFailureText(std::nullopt).empty());
    EXPECT_FALSE(loginItemFailureText(std::string()).empty());
}

struct CallbackRecord {
    int calls = 0;
    std::uint32_t type = 0;
    TapEvent event;
    TapResult answer = TapResult::pass;
};

TapResult recordingCallback(std::uint32_t type, const TapEvent& event, void* userInfo) {
    auto* record = static_cast<CallbackRecord*>(userInfo);
    ++record->calls;
    record->type = type;
    record->event = event;
    return record->answer;
}

TEST(MacEventTapDispatch, KeysAreDecidedByCorvaneAndDisabledNoticesReenableTheTap) {
    struct Case {
        std::uint32_t type;
        TapResult answer;
        bool tapWanted;
        bool reenable;
        bool swallow;
    };
    const Case cases[] = {
        {kCGEventKeyDown, TapResult::swallow, true, false, true},
        {kCGEventKeyDown, TapResult::pass, true, false, false},
        {kCGEventKeyUp, TapResult::swallow, true, false, true},
        {kCGEventFlagsChanged, TapResult::pass, true, false, false},
        {kCGEventTapDisabledByTimeout, TapResult::pass, true, true, false},
        {kCGEventTapDisabledByUserInput, TapResult::pass, true, true, false},
        // A notice is never swallowed, whatever the callback answers.
        {kCGEventTapDisabledByTimeout, TapResult::swallow, true, true, false},
        // Corvane disabled the tap itself: it stays off.
        {kCGEventTapDisabledByUserInput, TapResult::pass, false, false, false},
    };
    for (const Case& c : cases) {
        CallbackRecord record;
        record.answer = c.answer;
        const TapEvent event{kVK_Tab, kCGEventFlagMaskAlternate | kCGEventFlagMaskShift};
        const TapDispatch dispatch =
            dispatchTapEvent(c.type, event, recordingCallback, &record, c.tapWanted);
        EXPECT_EQ(dispatch.reenableTap, c.reenable) << c.type;
        EXPECT_EQ(dispatch.swallow, c.swallow) << c.type;
        EXPECT_EQ(record.calls, 1) << "the core sees every event, notices included";
        EXPECT_EQ(record.type, c.type);
        EXPECT_EQ(record.event.keyCode, kVK_Tab);
        EXPECT_EQ(record.event.flags, event.flags);
    }
    const TapDispatch unowned = dispatchTapEvent(kCGEventKeyDown, {}, nullptr, nullptr, true);
    EXPECT_FALSE(unowned.swallow);
    EXPECT_TRUE(
        dispatchTapEvent(kCGEventTapDisabledByTimeout, {}, nullptr, nullptr, true).reenableTap);
}

TEST(MacPlatformMapping, PremultipliedIconPixelsBecomeStraightARGB) {
    struct Case {
        const char* what;
        std::uint8_t rgba[4];
        std::uint32_t argb;
    };
    const Case cases[] = {
        {"opaque red", {255, 0, 0, 255}, 0xFFFF0000},
        {"opaque mixed", {18, 52, 86, 255}, 0xFF123456},
        {"half-transparent grey", {64, 64, 64, 128}, 0x80808080},
        {"rounded to nearest", {1, 2, 0, 3}, 0x0355AA00},
        {"fully transparent", {0, 0, 0, 0}, 0x00000000},
        {"transparent with stray colour", {9, 9, 9, 0}, 0x00000000},
        {"a channel above its alpha is clamped", {200, 0, 0, 100}, 0x64FF0000},
    };
    for (const Case& c : cases) {
        const Image image = imageFromPremultipliedRGBA(c.rgba, 1, 1, 4);
        ASSERT_EQ(image.argb.size(), 1u) << c.what;
        EXPECT_EQ(image.argb[0], c.argb) << c.what;
    }

    // Two rows of two pixels, each row padded to 12 bytes: rows stay top first, padding skipped.
    const std::uint8_t padded[24] = {255, 0, 0,   255, 0, 255, 0, 255, 7, 7, 7, 7,
                                     0,   0, 255, 255, 0, 0,   0, 0,   7, 7, 7, 7};
    const Image image = imageFromPremultipliedRGBA(padded, 2, 2, 12);
    EXPECT_EQ(image.width, 2);
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(image.argb, (std::vector<std::uint32_t>{0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0}));

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
