// What a message box can answer, for every platform layer: the buttons of each type of box, the
// safe default it takes when nobody picks one, and the answers' names in scripts and listings.
#ifndef VELMORA_PLATFORM_BOX_ANSWERS_H
#define VELMORA_PLATFORM_BOX_ANSWERS_H

// After the platform's declarations: the seam's header, or windows.h within the Win32 layer,
// where the seam's header would also bring strsafe.h's bans.
#if !defined(IDOK) || !defined(MB_TYPEMASK)
#error "include the platform's declarations before platform/box_answers.h"
#endif

#include <string_view>
#include <vector>

namespace box_answers {

struct AnswerName {
    int answer;
    const char* name;
};
inline constexpr AnswerName kAnswerNames[] = {
    {IDOK, "ok"},         {IDCANCEL, "cancel"}, {IDABORT, "abort"}, {IDRETRY, "retry"},
    {IDIGNORE, "ignore"}, {IDYES, "yes"},       {IDNO, "no"}};

inline std::vector<int> buttons(UINT type) {
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
        return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE:
        return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL:
        return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO:
        return {IDYES, IDNO};
    case MB_RETRYCANCEL:
        return {IDRETRY, IDCANCEL};
    default:
        return {IDOK};
    }
}

inline const char* answerName(int answer) {
    for (const AnswerName& a : kAnswerNames)
        if (a.answer == answer)
            return a.name;
    return "none";
}

// 0 when the name is no answer's.
inline int answerFromName(std::string_view name) {
    for (const AnswerName& a : kAnswerNames)
        if (name == a.name)
            return a.answer;
    return 0;
}

// The answer a box of this type gets when nobody picks one: Cancel where there is one, else No,
// else Abort, else OK.
inline int defaultAnswer(UINT type) {
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
    case MB_YESNOCANCEL:
    case MB_RETRYCANCEL:
        return IDCANCEL;
    case MB_YESNO:
        return IDNO;
    case MB_ABORTRETRYIGNORE:
        return IDABORT;
    default:
        return IDOK;
    }
}

inline bool answerFits(UINT type, int answer) {
    for (int b : buttons(type))
        if (b == answer)
            return true;
    return false;
}

} // namespace box_answers

#endif
