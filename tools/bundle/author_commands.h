// `bundle hash`, `bundle check` and `bundle ini`: the tool's helpers for
// writing a configuration. Each takes the arguments after its name and
// returns the exit code: 0 done (check: clean), 1 failed (check: problems
// found), 2 bad arguments or an unreadable input.
#pragma once
#include <string>
#include <vector>

int RunHash(const std::vector<std::string>& args);
int RunCheck(const std::vector<std::string>& args);
int RunIni(const std::vector<std::string>& args);
