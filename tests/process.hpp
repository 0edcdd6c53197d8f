// SPDX-License-Identifier: MIT
// Starts a program as a child process and records what a caller of it sees.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace proc {

enum class Output {
	pipe,   // captured into Result::out
	closed, // the child starts without a standard output
	full,   // every write fails for lack of space (POSIX only: /dev/full)
	file,   // written to Options::out_file
};

struct Options {
	std::vector<std::string> args; // after the program's own name; UTF-8 on Windows
	// Changes to our own environment: a value sets the variable, nullopt removes it.
	std::vector<std::pair<std::string, std::optional<std::string>>> env;
	std::string cwd;   // empty: ours
	std::string input; // bytes on the child's standard input, then end of file
	Output out = Output::pipe;
	std::string out_file;
	// Runs once the child has started, before its output is collected; given its process id.
	std::function<void(long pid)> while_running;
};

struct Result {
	// The exit status as the parent reads it; on POSIX, minus the signal number when a
	// signal ended the child.
	long status = 0;
	std::string out;
	std::string err;
};

Result run(const std::string &program, const Options &options);

// The path of an executable that the build put beside the running test program.
std::string sibling(const std::string &name);

// A new empty directory, removed again by ~TempDir.
class TempDir {
public:
	TempDir();
	~TempDir();
	TempDir(const TempDir &) = delete;
	TempDir &operator=(const TempDir &) = delete;
	const std::string &path() const { return path_; }
	std::string file(const std::string &name) const;

private:
	std::string path_;
};

std::optional<std::string> read_file(const std::string &path);
void write_file(const std::string &path, const std::string &bytes);

} // namespace proc
