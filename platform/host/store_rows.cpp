// Reading a row of the phone's store: each column checked against what the read expects, so
// that a damaged or hand-edited store reads as an error with the column named, never as a crash
// and never as "nothing there". A bad row is also said once on standard error.
#include "host.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <set>

namespace host {
namespace {

bool badRowsEchoed = true;
std::set<std::string> badRowsSaid;

// How a value a row holds is named in a problem: briefly, and on one line.
std::string describeColumn(const Row::Column& c) {
    switch (c.kind) {
    case SQLITE_NULL:
        return "nothing (NULL)";
    case SQLITE_INTEGER:
        return "the number " + std::to_string(c.number);
    case SQLITE_FLOAT:
        return "the number " + c.bytes;
    case SQLITE_TEXT:
        return "the text '" +
               oneLine(c.bytes.size() > 40 ? c.bytes.substr(0, 40) + "..." : c.bytes) + "'";
    default:
        return std::to_string(c.bytes.size()) + " bytes of binary data";
    }
}

} // namespace

void echoBadRows(bool enabled) {
    badRowsEchoed = enabled;
}

void Row::markBad(const std::string& what, const std::string& wanted) {
    // The first bad column of a row is the one worth naming.
    if (bad_)
        return;
    bad_ = true;
    refuse(ERROR_BADDB, "a row of the phone's store " + what + ", where " + wanted + " belongs");
    if (badRowsEchoed && badRowsSaid.insert(storeProblem()).second)
        std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, storeProblem().c_str());
}

const Row::Column* Row::expect(size_t column, bool nullAllowed, int kind, const char* wanted) {
    const Column* c = column < columns_.size() ? &columns_[column] : nullptr;
    if (c && (c->kind == kind || (nullAllowed && c->kind == SQLITE_NULL)))
        return c;
    markBad(c ? "holds " + describeColumn(*c) + " in column '" + c->name + "'"
              : "has no column " + std::to_string(column + 1),
            wanted);
    return nullptr;
}

std::optional<long long> Row::number(size_t column, bool nullAllowed, long long lowest,
                                     long long highest) {
    const Column* c = expect(column, nullAllowed, SQLITE_INTEGER, "a whole number");
    if (!c)
        return 0;
    if (c->kind == SQLITE_NULL)
        return std::nullopt;
    if (c->number >= lowest && c->number <= highest)
        return c->number;
    markBad("holds " + describeColumn(*c) + " in column '" + c->name + "'",
            "a whole number from " + std::to_string(lowest) + " to " + std::to_string(highest));
    return 0;
}

long long Row::integer(size_t column, long long lowest, long long highest) {
    return number(column, false, lowest, highest).value_or(0);
}

std::optional<long long> Row::integerOrNull(size_t column, long long lowest, long long highest) {
    return number(column, true, lowest, highest);
}

std::string Row::text(size_t column) {
    const Column* c = expect(column, false, SQLITE_TEXT, "text");
    return c ? c->bytes : std::string();
}

std::optional<std::string> Row::textOrNull(size_t column) {
    const Column* c = expect(column, true, SQLITE_TEXT, "text");
    if (!c)
        return std::string();
    if (c->kind == SQLITE_NULL)
        return std::nullopt;
    return c->bytes;
}

std::string Row::blob(size_t column) {
    const Column* c = expect(column, false, SQLITE_BLOB, "binary data");
    return c ? c->bytes : std::string();
}

} // namespace host
