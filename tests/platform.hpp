// SPDX-License-Identifier: MIT
// What a caller sees differs by platform; the cases are shared, these expectations are not.
#pragma once

#include "process.hpp"

#include <string>
#include <vector>

#ifdef _WIN32

inline const std::string kRun3010 = "run3010.exe";
constexpr long kCommandStatus = 3010;
// The prompt goes through a text-mode stream.
inline const std::string kNewline = "\r\n";
constexpr bool kHasFullDevice = false;
inline const std::string kMissingCommandMessage = "no-such-command-run3010";
inline const std::string kEchoVariable = "echo %RUN3010_PROBE%";
inline const std::string kPrintDirectory = "cd";
inline const std::string kCopyStdin = "more";
inline const std::string kScriptName = "caller.bat";

inline std::string caller_script(const std::string &run3010)
{
	return "@\"" + run3010 + "\" \"exit 5\"\r\n@echo %ERRORLEVEL%\r\n";
}

inline std::vector<std::string> run_script(const std::string &script) { return {"/c", script}; }
std::string interpreter();

// cmd /c strips the first and last quote of a text with more than two: the outer pair keeps
// the inner ones.
inline std::string delayed_write(const std::string &path)
{
	return "\"\"" + proc::sibling("probe.exe") + "\" --delay-write 1000 \"" + path + "\"\"";
}

#else

inline const std::string kRun3010 = "run3010";
// 3010 mod 256: a POSIX parent sees only the low 8 bits of an exit status.
constexpr long kCommandStatus = 194;
inline const std::string kNewline = "\n";
constexpr bool kHasFullDevice = true;
inline const std::string kMissingCommandMessage = "no-such-command-run3010: not found";
inline const std::string kEchoVariable = "echo \"$RUN3010_PROBE\"";
inline const std::string kPrintDirectory = "pwd -P";
inline const std::string kCopyStdin = "cat";
inline const std::string kScriptName = "caller.sh";

// Single quotes keep a POSIX path literal, as long as the path holds none itself.
inline std::string caller_script(const std::string &run3010) { return "'" + run3010 + "' 'exit 5'\necho $?\n"; }

inline std::vector<std::string> run_script(const std::string &script) { return {script}; }
inline std::string interpreter() { return "/bin/sh"; }

// The streams are let go first: the test must see run3010 end, not the pipes close.
inline std::string delayed_write(const std::string &path)
{
	return "exec </dev/null >/dev/null 2>&1; sleep 1 && echo done > '" + path + "'";
}

#endif

inline proc::Result run3010(const proc::Options &options) { return proc::run(proc::sibling(kRun3010), options); }

inline proc::Options with_args(std::vector<std::string> args)
{
	proc::Options options;
	options.args = std::move(args);
	return options;
}
