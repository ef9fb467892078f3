// The timeline's small writers: escaped text, numbers to a tenth, times as the picture shows
// them, where a minute falls across the chart, and the triangles of the switches.
#include "svg_drawing.h"

#include <cstdio>

namespace phone::timeline {

std::string xml(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\n':
            out += ' ';
            break;
        default:
            // Other control characters are not allowed in XML at all.
            if (static_cast<unsigned char>(c) >= 0x20 || c == '\t')
                out += c;
        }
    }
    return out;
}

std::string num(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", v);
    return buf;
}

std::string stamp(const SYSTEMTIME& t) {
    return formatDateTime(t);
}

std::string minuteText(const SYSTEMTIME& t) {
    return clock_text::formatMinute(t);
}

std::string clockText(const SYSTEMTIME& t) {
    char text[16];
    std::snprintf(text, sizeof text, "%02u:%02u", t.wHour, t.wMinute);
    return text;
}

SYSTEMTIME dateOf(const SYSTEMTIME& t) {
    SYSTEMTIME d = t;
    d.wHour = d.wMinute = d.wSecond = d.wMilliseconds = 0;
    d.wDayOfWeek = static_cast<WORD>(dayOfWeek(d.wYear, d.wMonth, d.wDay));
    return d;
}

long long dayNumber(const SYSTEMTIME& t) {
    return wallSeconds(dateOf(t)) / 86400;
}

double minuteOfDay(const SYSTEMTIME& t) {
    return t.wHour * 60.0 + t.wMinute + t.wSecond / 60.0;
}

double xAt(double minute) {
    return kChartX + kChartWidth * minute / kMinutesPerDrawnDay;
}

const char* radioClass(DWORD state) {
    switch (radioOf(state)) {
    case Radio::On:
        return "on";
    case Radio::Off:
        return "off";
    case Radio::Neither:
        break;
    }
    return "neither";
}

std::string triangle(double x, double y, bool up, const char* cls) {
    const double w = 4.2, h = 7;
    std::string points = up ? num(x - w) + "," + num(y + h) + " " + num(x + w) + "," + num(y + h) +
                                  " " + num(x) + "," + num(y)
                            : num(x - w) + "," + num(y) + " " + num(x + w) + "," + num(y) + " " +
                                  num(x) + "," + num(y + h);
    return "<polygon class=\"" + std::string(cls) + "\" points=\"" + points + "\"/>";
}

} // namespace phone::timeline
