// The timeline picture, drawn from a span built by hand: rows, bands cut at midnight, marks and
// escaped texts, read back from its attributes rather than its pixels.
#include "tools/velmora-phone/svg.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>

using namespace phone;

namespace {

SYSTEMTIME at(const std::string& text) {
    SYSTEMTIME t{};
    EXPECT_TRUE(clock_text::parseDateTime(text, &t)) << text;
    return t;
}

control::LineDevice line(DWORD index, DWORD media, DWORD state) {
    return {index, "line", media, state, true, "-"};
}

// The attributes of an element's text, name to value.
std::map<std::string, std::string> attributesOf(const std::string& text) {
    std::map<std::string, std::string> out;
    for (size_t equals = text.find("=\""); equals != std::string::npos;) {
        size_t name = equals;
        while (name > 0 &&
               (std::isalpha(static_cast<unsigned char>(text[name - 1])) || text[name - 1] == '-'))
            --name;
        const size_t value = equals + 2;
        const size_t end = text.find('"', value);
        if (end == std::string::npos)
            break;
        if (name < equals)
            out[text.substr(name, equals - name)] = text.substr(value, end - value);
        equals = text.find("=\"", end + 1);
    }
    return out;
}

// Every element of a kind that carries times, as its attributes, name to value. (A hand-made
// reader: <regex> would cost this test more to compile than everything else in it.)
std::vector<std::map<std::string, std::string>>
elements(const std::string& svg, const std::string& tag, const std::string& classPrefix) {
    std::vector<std::map<std::string, std::string>> out;
    const std::string open = "<" + tag + " ";
    for (size_t start = svg.find(open); start != std::string::npos;) {
        const size_t from = start + open.size();
        const size_t end = svg.find('>', from);
        if (end == std::string::npos)
            break;
        std::map<std::string, std::string> attributes = attributesOf(svg.substr(from, end - from));
        // The legend's swatches share the classes but carry no times.
        if (attributes["class"].rfind(classPrefix, 0) == 0 && attributes.count("data-from"))
            out.push_back(attributes);
        start = svg.find(open, end + 1);
    }
    return out;
}

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

TEST(TimelineSvg, RowsBandsAndMarksCarryTheirTimes) {
    SimulatedSpan span;
    span.begin = at("2026-12-12 22:00");
    span.end = at("2026-12-14 06:00");
    // Line 0 carries voice; line 1 data only, and gets no band.
    span.first = {line(0, 0x14, 5), line(1, 0x10, 5)};
    StartRecord off;
    off.fired = at("2026-12-13 00:00");
    off.due = off.fired;
    off.before = span.first;
    off.after = {line(0, 0x14, 1), line(1, 0x10, 5)};
    StartRecord failing;
    failing.fired = at("2026-12-13 07:00");
    failing.due = at("2026-12-13 07:00");
    failing.before = failing.after = off.after;
    failing.boxes = {{1, 1, "Error", "lineGetDevCaps ret: <-5> & \"more\"", 0, 1}};
    span.starts = {off, failing};
    span.last = failing.after;
    span.off = {{at("2026-12-13 23:00"), at("2026-12-14 01:00")}};

    std::vector<Switch> switches = {{at("2026-12-13 00:00"), false},
                                    {at("2026-12-13 07:00"), true}};
    MissedSwitch missed;
    missed.missed = switches[1];
    missed.checked = span.end;
    missed.cause = Cause::Failed;
    missed.detail = "box [Error] <text>";
    const std::string svg = timelineSvg(span, switches, {missed}, {}, "Sun 00:00 off, 07:00 on");

    EXPECT_NE(std::string::npos, svg.find("viewBox=\"0 0 "));
    EXPECT_NE(std::string::npos, svg.find("width=\"100%\""));
    EXPECT_EQ(3u, count(svg, "<g class=\"day\"")) << "Saturday, Sunday and Monday";

    struct Band {
        std::string state, from, to;
    };
    std::vector<Band> bands;
    for (auto& b : elements(svg, "rect", "band")) {
        EXPECT_EQ("0", b["data-line"]) << "only the voice line has a band";
        bands.push_back({b["data-state"], b["data-from"], b["data-to"]});
    }
    const Band expected[] = {
        {"5", "2026-12-12 22:00:00", "2026-12-13 00:00:00"},
        {"1", "2026-12-13 00:00:00", "2026-12-14 00:00:00"}, // cut at midnight
        {"1", "2026-12-14 00:00:00", "2026-12-14 06:00:00"},
    };
    ASSERT_EQ(std::size(expected), bands.size()) << svg;
    for (size_t i = 0; i < bands.size(); ++i) {
        EXPECT_EQ(expected[i].state, bands[i].state) << i;
        EXPECT_EQ(expected[i].from, bands[i].from) << i;
        EXPECT_EQ(expected[i].to, bands[i].to) << i;
    }

    EXPECT_EQ(1u, count(svg, "<g class=\"start switched\" data-fired=\"2026-12-13 00:00:00\""));
    EXPECT_EQ(1u, count(svg, "<g class=\"start\" data-fired=\"2026-12-13 07:00:00\""))
        << "the failing start switched nothing";
    EXPECT_EQ(1u, count(svg, "<g class=\"boxes\" data-fired=\"2026-12-13 07:00:00\""));
    EXPECT_NE(std::string::npos, svg.find("lineGetDevCaps ret: &lt;-5&gt; &amp; &quot;more&quot;"))
        << "box texts are escaped";
    EXPECT_EQ(1u, count(svg, "<g class=\"missed\" data-switch=\"2026-12-13 07:00:00\" "
                             "data-kind=\"on\" data-cause=\"failed\""));
    EXPECT_NE(std::string::npos, svg.find("<title>missed switch-on 2026-12-13 07:00: failed: box "
                                          "[Error] &lt;text&gt;</title>"));
    EXPECT_EQ(2u, elements(svg, "rect", "phone-off").size()) << "an off span across midnight";
    EXPECT_EQ(2u, count(svg, "<g class=\"switch\""));
}

TEST(TimelineSvg, DaysTheClocksChangeAreMarked) {
    SimulatedSpan span;
    span.begin = at("2027-03-27 12:00");
    span.end = at("2027-03-28 12:00");
    span.first = span.last = {line(0, 0x14, 5)};
    const std::string svg =
        timelineSvg(span, {}, {}, {{at("2027-03-28 02:00"), at("2027-03-28 03:00")}}, "");
    std::vector<std::map<std::string, std::string>> clock = elements(svg, "rect", "clock");
    ASSERT_EQ(1u, clock.size());
    EXPECT_EQ("2027-03-28 02:00:00", clock[0]["data-from"]);
    EXPECT_EQ("2027-03-28 03:00:00", clock[0]["data-to"]);
    EXPECT_NE(std::string::npos, svg.find(">23 h</text>"));
    // The band runs on across the skipped hour, in clock time.
    std::vector<std::map<std::string, std::string>> bands = elements(svg, "rect", "band");
    ASSERT_EQ(2u, bands.size());
    EXPECT_EQ("2027-03-28 12:00:00", bands[1]["data-to"]);
}

} // namespace
