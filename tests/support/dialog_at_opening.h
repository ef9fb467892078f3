// One phone state, and the dump the schedule dialog gives of it at opening: the simulated
// phone's dialog manager and Wine's are both held to this text, so that the two agree.
// Monday takes no part: its pickers are disabled yet show their stored times.
#ifndef VELMORA_TESTS_DIALOG_AT_OPENING_H
#define VELMORA_TESTS_DIALOG_AT_OPENING_H

// A Sunday morning, before Sunday's switch-on.
inline constexpr char kOpeningClock[] = "2006-03-12 06:30";
// Stored as "Enabled" in 14 bytes, as the program stores it.
inline constexpr char kOpeningFlags[] = "1001010";
struct OpeningMinute {
    const char* name;
    unsigned minute;
};
inline constexpr OpeningMinute kOpeningMinutes[] = {
    {"S0", 425}, {"C0", 1380}, {"S1", 440}, {"C1", 1439}, {"S3", 390}, {"C3", 75}, {"C5", 1200},
};

inline constexpr char kOpeningDump[] = "1000\tButton\t\"SUN\"\t1\t1\t-\tfocus\n"
                                       "1009\tSysDateTimePick32\t\"7:05 \"\t-\t1\t\"7:05 \"\t-\n"
                                       "1010\tSysDateTimePick32\t\"23:00 \"\t-\t1\t\"23:00 \"\t-\n"
                                       "1001\tButton\t\"MON\"\t0\t1\t-\t-\n"
                                       "1011\tSysDateTimePick32\t\"7:20 \"\t-\t0\t\"7:20 \"\t-\n"
                                       "1012\tSysDateTimePick32\t\"23:59 \"\t-\t0\t\"23:59 \"\t-\n"
                                       "1002\tButton\t\"TUE\"\t0\t1\t-\t-\n"
                                       "1013\tSysDateTimePick32\t\"7:00 \"\t-\t0\t\"7:00 \"\t-\n"
                                       "1014\tSysDateTimePick32\t\"0:00 \"\t-\t0\t\"0:00 \"\t-\n"
                                       "1003\tButton\t\"WED\"\t1\t1\t-\t-\n"
                                       "1015\tSysDateTimePick32\t\"6:30 \"\t-\t1\t\"6:30 \"\t-\n"
                                       "1016\tSysDateTimePick32\t\"1:15 \"\t-\t1\t\"1:15 \"\t-\n"
                                       "1004\tButton\t\"THU\"\t0\t1\t-\t-\n"
                                       "1017\tSysDateTimePick32\t\"7:00 \"\t-\t0\t\"7:00 \"\t-\n"
                                       "1018\tSysDateTimePick32\t\"0:00 \"\t-\t0\t\"0:00 \"\t-\n"
                                       "1005\tButton\t\"FRI\"\t1\t1\t-\t-\n"
                                       "1019\tSysDateTimePick32\t\"7:00 \"\t-\t1\t\"7:00 \"\t-\n"
                                       "1020\tSysDateTimePick32\t\"20:00 \"\t-\t1\t\"20:00 \"\t-\n"
                                       "1006\tButton\t\"SAT\"\t0\t1\t-\t-\n"
                                       "1021\tSysDateTimePick32\t\"7:00 \"\t-\t0\t\"7:00 \"\t-\n"
                                       "1022\tSysDateTimePick32\t\"0:00 \"\t-\t0\t\"0:00 \"\t-\n"
                                       "1023\tStatic\t\"Next : 2006/3/12 7:05 \"\t-\t1\t-\t-\n"
                                       "1024\tButton\t\"To All\"\t-\t1\t-\t-\n"
                                       "1025\tButton\t\"About\"\t-\t1\t-\t-\n"
                                       "1\tButton\t\"Ok\"\t-\t1\t-\t-\n"
                                       "2\tButton\t\"Cancel\"\t-\t1\t-\t-\n"
                                       "0\tStatic\t\"#101\"\t-\t1\t-\t-\n"
                                       "0\tStatic\t\"TO\"\t-\t1\t-\t-\n"
                                       "-1\tStatic\t\"Radio timetable\"\t-\t1\t-\t-\n"
                                       "0\tStatic\t\"TO\"\t-\t1\t-\t-\n"
                                       "0\tStatic\t\"TO\"\t-\t1\t-\t-\n"
                                       "0\tStatic\t\"TO\"\t-\t1\t-\t-\n"
                                       "0\tStatic\t\"TO\"\t-\t1\t-\t-\n"
                                       "0\tStatic\t\"TO\"\t-\t1\t-\t-\n"
                                       "0\tStatic\t\"TO\"\t-\t1\t-\t-\n"
                                       "0\tButton\t\"\"\t-\t1\t-\t-\n";

#endif
