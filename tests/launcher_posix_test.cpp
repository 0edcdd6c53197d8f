// SPDX-License-Identifier: MIT
// Cases that only a POSIX parent can observe: signals, /bin/sh's quoting, long arguments.
#include "platform.hpp"

#include <doctest/doctest.h>

#include <chrono>
#include <csignal>
#include <thread>

using proc::Options;

namespace {

// A here-document with a quoted delimiter makes the shell print the text exactly as it
// received it, so any change on the way shows in the output.
std::string print_verbatim(const std::string &text) { return "cat <<'RUN3010_END'\n" + text + "\nRUN3010_END"; }

std::string kilobytes(size_t n)
{
	std::string text;
	for (size_t i = 0; text.size() < n * 1024; ++i)
		text += "word" + std::to_string(i) + (i % 16 == 15 ? "\n" : " ");
	return text;
}

} // namespace

TEST_SUITE("command")
{
	TEST_CASE("a command killed by a signal")
	{
		const auto r = run3010(with_args({"kill -KILL $$"}));
		CHECK(r.out == "");
		CHECK(r.status == kCommandStatus);
	}
}

TEST_SUITE("text")
{
	TEST_CASE("the shell receives the text byte for byte")
	{
		struct Case {
			const char *name;
			std::string text;
		};
		const Case cases[] = {
			{"quotes", "He said \"hi\" and 'bye', \\\"escaped\\\""},
			{"expansions", "$HOME ${PATH} $(id) `id` $$ ~"},
			{"separators", "a; b && c || d | e & f > g < h"},
			{"globs", "* ? [a-z]* **/*"},
			{"non-UTF-8 bytes", "\xff\xfe \x80\xc3( \xe2\x82"},
			{"100 KiB", kilobytes(100)},
		};
		for (const auto &c : cases) {
			CAPTURE(c.name);
			const auto r = run3010(with_args({print_verbatim(c.text)}));
			CHECK(r.out == c.text + "\n");
			CHECK(r.err == "");
			CHECK(r.status == kCommandStatus);
		}
	}

	TEST_CASE("the shell, not run3010, expands and splits the text")
	{
		proc::TempDir dir;
		proc::write_file(dir.file("a.txt"), "");
		proc::write_file(dir.file("b.txt"), "");
		Options options;
		options.args = {"echo \"$RUN3010_PROBE\" *.txt; echo 'second command'"};
		options.env = {{"RUN3010_PROBE", "expanded"}};
		options.cwd = dir.path();
		const auto r = run3010(options);
		CHECK(r.out == "expanded a.txt b.txt\nsecond command\n");
		CHECK(r.status == kCommandStatus);
	}
}

TEST_SUITE("waiting")
{
	TEST_CASE("an interrupt sent to run3010 alone does not cut the command short")
	{
		proc::TempDir dir;
		const std::string started = dir.file("started");
		const std::string done = dir.file("done");
		Options options;
		options.args = {"touch '" + started + "'; sleep 1; echo done > '" + done + "'"};
		options.while_running = [&](long pid) {
			// A bound on waiting for the command to start, so that a fault fails the case
			// instead of hanging it.
			for (int i = 0; i < 1000 && !proc::read_file(started); ++i)
				std::this_thread::sleep_for(std::chrono::milliseconds(10));
			REQUIRE(proc::read_file(started));
			REQUIRE(::kill(static_cast<pid_t>(pid), SIGINT) == 0);
		};
		const auto r = run3010(options);
		CHECK(proc::read_file(done) == "done\n");
		CHECK(r.status == kCommandStatus);
	}
}
