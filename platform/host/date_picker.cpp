// The date and time picker's display format: parsing the format language, the formats a new
// picker shows, and showing a time.
#include "dialog_internals.h"
#include "host.h"

namespace host {
namespace {

struct FormatLetter {
    char16_t letter;
    int width;
    PickerField::Kind kind;
};
// Longest first, so that a run of letters takes the widest field it can.
const FormatLetter kFormatLetters[] = {
    {u'H', 2, PickerField::Hour24},    {u'H', 1, PickerField::Hour24},
    {u'h', 2, PickerField::Hour12},    {u'h', 1, PickerField::Hour12},
    {u'm', 2, PickerField::Minute},    {u'm', 1, PickerField::Minute},
    {u's', 2, PickerField::Second},    {u's', 1, PickerField::Second},
    {u't', 2, PickerField::AmPm},      {u't', 1, PickerField::AmPm},
    {u'd', 4, PickerField::DayName},   {u'd', 3, PickerField::DayName},
    {u'd', 2, PickerField::Day},       {u'd', 1, PickerField::Day},
    {u'M', 4, PickerField::MonthName}, {u'M', 3, PickerField::MonthName},
    {u'M', 2, PickerField::Month},     {u'M', 1, PickerField::Month},
    {u'y', 4, PickerField::Year},      {u'y', 2, PickerField::Year},
    {u'y', 1, PickerField::Year},
};

const char* const kMonthNames[] = {"January",   "February", "March",    "April",
                                   "May",       "June",     "July",     "August",
                                   "September", "October",  "November", "December"};

void appendLiteral(std::vector<PickerField>& fields, std::u16string_view text) {
    if (fields.empty() || fields.back().kind != PickerField::Literal)
        fields.push_back({PickerField::Literal, 0, {}});
    fields.back().literal += text;
}

std::u16string number(int value, int width) {
    std::string text = std::to_string(value);
    while (static_cast<int>(text.size()) < width)
        text.insert(text.begin(), '0');
    return fromUtf8(text);
}

std::u16string name(const char* full, int width) {
    std::string text = full;
    return fromUtf8(width == 3 ? text.substr(0, 3) : text);
}

} // namespace

std::vector<PickerField> parsePickerFormat(std::u16string_view format) {
    std::vector<PickerField> fields;
    size_t i = 0;
    while (i < format.size()) {
        char16_t c = format[i];
        if (c == u'\'') {
            if (i + 1 < format.size() && format[i + 1] == u'\'') {
                appendLiteral(fields, u"'");
                i += 2;
                continue;
            }
            // Quoted text runs to the next lone quote; a doubled quote inside is a quote.
            ++i;
            std::u16string text;
            while (i < format.size()) {
                if (format[i] == u'\'') {
                    if (i + 1 < format.size() && format[i + 1] == u'\'') {
                        text += u'\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                text += format[i++];
            }
            appendLiteral(fields, text);
            continue;
        }
        size_t run = 1;
        while (i + run < format.size() && format[i + run] == c)
            ++run;
        const FormatLetter* letter = nullptr;
        for (const FormatLetter& s : kFormatLetters)
            if (s.letter == c && static_cast<size_t>(s.width) <= run) {
                letter = &s;
                break;
            }
        if (!letter) {
            appendLiteral(fields, format.substr(i, 1));
            ++i;
            continue;
        }
        fields.push_back({letter->kind, letter->width, {}});
        i += static_cast<size_t>(letter->width);
    }
    return fields;
}

std::u16string formatPickerField(const PickerField& f, const SYSTEMTIME& t) {
    switch (f.kind) {
    case PickerField::Literal:
        return f.literal;
    case PickerField::Hour24:
        return number(t.wHour, f.width);
    case PickerField::Hour12:
        return number(t.wHour % 12 == 0 ? 12 : t.wHour % 12, f.width);
    case PickerField::Minute:
        return number(t.wMinute, f.width);
    case PickerField::Second:
        return number(t.wSecond, f.width);
    case PickerField::AmPm: {
        std::u16string marker = t.wHour < 12 ? u"AM" : u"PM";
        return f.width == 1 ? marker.substr(0, 1) : marker;
    }
    case PickerField::Day:
        return number(t.wDay, f.width);
    case PickerField::DayName:
        return name(weekdayName(dayOfWeek(t.wYear, t.wMonth, t.wDay)), f.width);
    case PickerField::Month:
        return number(t.wMonth, f.width);
    case PickerField::MonthName:
        return name(kMonthNames[(t.wMonth + 11) % 12], f.width);
    case PickerField::Year:
        if (f.width == 2)
            return number(t.wYear % 100, 2);
        // "y" is the year's last digit.
        return f.width == 1 ? number(t.wYear % 10, 1) : number(t.wYear, 4);
    }
    return {};
}

std::u16string defaultPickerFormat(DWORD style) {
    if ((style & DTS_TIMEFORMAT) == DTS_TIMEFORMAT)
        return u"h:mm:ss tt";
    if (style & DTS_LONGDATEFORMAT)
        return u"dddd, MMMM dd, yyyy";
    return u"M/d/yyyy";
}

std::u16string formatPickerTime(const std::vector<PickerField>& fields, const SYSTEMTIME& time) {
    std::u16string out;
    for (const PickerField& f : fields)
        out += formatPickerField(f, time);
    return out;
}

} // namespace host
