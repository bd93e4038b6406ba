// What every command of tarrow-host shares on its command line: checks of option values that say
// what the option takes, the exit statuses and example its help closes with, and the parse that
// turns any usage error into one line with the command's name and exit status 2.
#pragma once

#include <CLI/CLI.hpp>

#include <initializer_list>
#include <string>
#include <vector>

namespace tarrow::host {

// Exit statuses every command shares; a command's help lists the ones it can give.
inline constexpr int kExitFailed = 1;  // the command could not do its work; one line says why
inline constexpr int kExitUsage = 2;   // the command line is wrong; one line says what

// A whole number from low to high: "takes a whole number from 0 to 1024, not -1".
CLI::Validator wholeNumber(long long low, long long high);
// One of the words: "takes ja or en, not fr".
CLI::Validator oneOf(std::initializer_list<const char*> words);

struct ExitStatus {
  int status;
  std::string meaning;
};

// Closes the command's help with its exit statuses (one line each, in order, 0 and 2 added) and
// an example.
void describeCommand(CLI::App& command, std::vector<ExitStatus> statuses, const std::string& example);

// Parses and runs the command line: help and --version are printed (exit 0), a usage error is
// one line on stderr, "tarrow-host COMMAND: OPTION: what it takes" (exit 2), and a command's own
// failure gives the status it threw with CLI::RuntimeError. Returns the exit status.
int runCommandLine(CLI::App& app, int argc, char** argv);

// Adds `help [COMMAND]`, which prints the program's or the command's help.
void addHelpCommand(CLI::App& app);

}  // namespace tarrow::host
