#pragma once

#include <string>
#include <vector>

// Each rvtool command takes the arguments after its name and returns the process exit status:
// 0 success, 1 nothing found, 2 usage error or failure.
int RunScan(const std::vector<std::string>& args);
int RunLookup(const std::vector<std::string>& args);
int RunInfo(const std::vector<std::string>& args);
int RunDecode(const std::vector<std::string>& args);
int RunDemo(const std::vector<std::string>& args);
// 0 success, 1 bad argument, 2 the writing failed.
int RunConvert(const std::vector<std::string>& args);

// Prints "usage: rvtool <usage>" on stderr and returns 2.
int UsageError(const std::string& usage);
// True when args hold -h or --help.
bool WantsHelp(const std::vector<std::string>& args);
