// The phone's queue of answers that boxes take with nobody at a terminal
// (platform/phone/answers.h), in the store's table answers: one row an answer, the lowest id
// taken first.
#include "host.h"

#include <cstdio>

namespace answers_state {

using namespace host;

LONG appendAnswer(int answer) {
    return execute("INSERT INTO answers(answer) VALUES(?)", {Param::integer(answer)});
}

LONG takeFirstAnswer(int* answer) {
    *answer = 0;
    // Taken in one statement, so that two boxes shown at once never get the same answer.
    std::vector<Row> rows;
    LONG status = execute(
        "DELETE FROM answers WHERE id = (SELECT MIN(id) FROM answers) RETURNING answer", {}, &rows);
    // A store that cannot be reached has no queue: the box takes its default, unrecorded.
    if (status != ERROR_SUCCESS)
        return status;
    if (rows.empty())
        return ERROR_NO_MORE_ITEMS;
    int first = rows[0].int32(0);
    // An entry that is no number (said on standard error as it is read) answers nothing; it is
    // taken off the queue so that it does not stand in front of the others.
    *answer = rows[0].status() == ERROR_SUCCESS ? first : -1;
    return rows[0].status();
}

void sayOnStandardError(const std::string& line) {
    std::fputs(line.c_str(), stderr);
}

} // namespace answers_state
