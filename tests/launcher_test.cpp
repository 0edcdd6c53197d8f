// SPDX-License-Identifier: MIT
// Black-box tests of run3010: each case starts the built program and looks only at its exit
// status, the bytes on its stdout and stderr, and the files its command wrote.
#include "platform.hpp"

#include <doctest/doctest.h>

#include <filesystem>

using proc::Options;
using proc::Output;

TEST_SUITE("no_argument")
{
	TEST_CASE("prints the prompt line on stdout and ends with 1")
	{
		const auto r = run3010({});
		CHECK(r.out == "Please input a exe file or command" + kNewline);
		CHECK(r.err == "");
		CHECK(r.status == 1);
	}

	TEST_CASE("a prompt that cannot be written still ends with 1, silently")
	{
		std::vector<Output> outputs{Output::closed};
		if (kHasFullDevice)
			outputs.push_back(Output::full);
		for (const Output out : outputs) {
			CAPTURE(static_cast<int>(out));
			Options options;
			options.out = out;
			const auto r = run3010(options);
			CHECK(r.err == "");
			CHECK(r.status == 1);
		}
	}
}

TEST_SUITE("command")
{
	TEST_CASE("every outcome of the command gives the same status")
	{
		struct Case {
			const char *name;
			std::string command;
			std::string out;
		};
		const Case cases[] = {
			{"succeeds", "echo hello", "hello" + kNewline},
			{"fails with 7", "exit 7", ""},
			{"ends with 3010 itself", "exit 3010", ""},
			{"ends with 1, the no-command status", "exit 1", ""},
		};
		for (const auto &c : cases) {
			CAPTURE(c.name);
			const auto r = run3010(with_args({c.command}));
			CHECK(r.out == c.out);
			CHECK(r.err == "");
			CHECK(r.status == kCommandStatus);
		}
	}

	TEST_CASE("a command that does not exist: only the interpreter speaks")
	{
		const auto r = run3010(with_args({"no-such-command-run3010"}));
		CHECK(r.out == "");
		CHECK(r.err.find(kMissingCommandMessage) != std::string::npos);
		CHECK(r.status == kCommandStatus);
	}

	TEST_CASE("an empty argument still goes to the interpreter")
	{
		const auto r = run3010(with_args({""}));
		CHECK(r.out == "");
		CHECK(r.err == "");
		CHECK(r.status == kCommandStatus);
	}

	TEST_CASE("only the first argument runs")
	{
		const auto r = run3010(with_args({"echo one", "echo two"}));
		CHECK(r.out == "one" + kNewline);
		CHECK(r.status == kCommandStatus);
	}

	TEST_CASE("a calling script reads the fixed status")
	{
		proc::TempDir dir;
		const std::string script = dir.file(kScriptName);
		proc::write_file(script, caller_script(proc::sibling(kRun3010)));
		const auto r = proc::run(interpreter(), with_args(run_script(script)));
		CHECK(r.out == std::to_string(kCommandStatus) + kNewline);
		CHECK(r.err == "");
	}
}

TEST_SUITE("inheritance")
{
	TEST_CASE("the command sees our environment, directory and stdin")
	{
		proc::TempDir dir;
		Options options;
		options.env = {{"RUN3010_PROBE", "value with spaces"}};
		options.cwd = dir.path();
		options.input = "line from stdin" + kNewline;

		options.args = {kEchoVariable};
		CHECK(run3010(options).out == "value with spaces" + kNewline);

		options.args = {kPrintDirectory};
		const std::string here = std::filesystem::canonical(std::filesystem::u8path(dir.path())).u8string();
		CHECK(run3010(options).out == here + kNewline);

		options.args = {kCopyStdin};
		const auto r = run3010(options);
		CHECK(r.out == options.input);
		CHECK(r.status == kCommandStatus);
	}

	TEST_CASE("redirecting our stdout to a file redirects the command's output")
	{
		proc::TempDir dir;
		Options options = with_args({"echo redirected"});
		options.out = Output::file;
		options.out_file = dir.file("out.txt");
		const auto r = run3010(options);
		CHECK(proc::read_file(options.out_file) == "redirected" + kNewline);
		CHECK(r.status == kCommandStatus);
	}
}

TEST_SUITE("waiting")
{
	TEST_CASE("ends only after the command has ended")
	{
		proc::TempDir dir;
		const std::string done = dir.file("done");
		const auto r = run3010(with_args({delayed_write(done)}));
		CHECK(proc::read_file(done) == "done" + kNewline);
		CHECK(r.status == kCommandStatus);
	}
}
