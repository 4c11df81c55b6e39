#pragma once
#include <ctime>
#include <string>

// The current local date and time as the user's locale writes a date with a
// time (LC_TIME of the process; the program calls setlocale(LC_ALL, "") at
// start-up), seconds precision. "Invalid DateTime" when it cannot be made.
std::string LogTimeStamp();
// The same for a given time; exposed for tests.
std::string LogTimeStamp(std::time_t when);
