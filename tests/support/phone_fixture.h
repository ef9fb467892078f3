// A fresh simulated phone per test, and a way to run the real executables on it.
#ifndef VELMORA_TESTS_PHONE_FIXTURE_H
#define VELMORA_TESTS_PHONE_FIXTURE_H

#include "platform/host/host.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

struct CommandResult {
    int status = -1; // the process's exit status, 0-255
    std::string out, err;
};

// Runs a program with arguments (no shell), with the given standard input and extra
// environment (NAME=VALUE), waits for it and collects its output.
CommandResult runProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& input = {},
                         const std::vector<std::string>& environment = {});

// The phone's state as the host reads it; a read that fails fails the test (and gives back
// what could be read).
std::vector<control::MessageRecord> readBoxes();
std::vector<control::LineDevice> readLines();
control::LineDevice readLine(DWORD index);
std::vector<control::PendingStart> readPending();
std::optional<control::PendingStart> readPendingFor(const std::string& path);
control::TelephonyStatus readTelephony();
std::vector<control::OpenHandle> readHandles();
std::vector<control::CallRecord> readCalls();
std::vector<host::ForegroundRequest> readForegroundRequests();
std::optional<SYSTEMTIME> readPinnedClock();
std::optional<DWORD> readTickStep();
// Runs a statement on the store and gives back its rows, each column as text ("NULL" for none).
std::vector<std::vector<std::string>> query(const std::string& sql);

class TempPhone : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Runs velmora-phone / velmora on this test's phone.
    CommandResult phone(const std::vector<std::string>& args, const std::string& input = {});
    CommandResult velmora(const std::vector<std::string>& args, const std::string& input = {});

    // Pins the phone's clock: "YYYY-MM-DD HH:MM[:SS]".
    void setClock(const std::string& when);
    std::vector<control::MessageRecord> boxes() { return readBoxes(); }

    std::string dir;
    std::string dbPath;
};

#endif
