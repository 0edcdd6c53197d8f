// SPDX-License-Identifier: MIT
#include "process.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace proc {
namespace {

void fail(const std::string &what) { throw std::runtime_error(what + ": " + std::strerror(errno)); }

// Closes on scope exit; -1 means nothing is held.
struct Fd {
	int fd = -1;
	Fd() = default;
	explicit Fd(int f) : fd(f) {}
	Fd(const Fd &) = delete;
	Fd &operator=(const Fd &) = delete;
	~Fd() { reset(); }
	void reset()
	{
		if (fd >= 0)
			::close(fd);
		fd = -1;
	}
};

void make_pipe(Fd &read_end, Fd &write_end)
{
	int fds[2];
	if (::pipe2(fds, O_CLOEXEC) != 0)
		fail("pipe2");
	read_end.fd = fds[0];
	write_end.fd = fds[1];
}

std::vector<std::string> environment(const Options &options)
{
	std::vector<std::string> env;
	for (char **e = environ; *e != nullptr; ++e)
		env.emplace_back(*e);
	for (const auto &[name, value] : options.env) {
		const std::string prefix = name + "=";
		env.erase(std::remove_if(env.begin(), env.end(),
					 [&](const std::string &entry) {
						 return entry.compare(0, prefix.size(), prefix) == 0;
					 }),
			  env.end());
		if (value)
			env.push_back(prefix + *value);
	}
	return env;
}

// Between fork and exec: async-signal-safe calls only.
[[noreturn]] void exec_child(const char *program, char *const argv[], char *const envp[], const char *cwd, int in,
			     int out, int err)
{
	if (::dup2(in, 0) < 0 || ::dup2(err, 2) < 0 || (out >= 0 && ::dup2(out, 1) < 0))
		::_exit(127);
	if (out < 0)
		::close(1);
	if (*cwd != '\0' && ::chdir(cwd) != 0)
		::_exit(127);
	::execve(program, argv, envp);
	::_exit(127);
}

} // namespace

Result run(const std::string &program, const Options &options)
{
	// A child that stops reading its stdin must not end the test program.
	::signal(SIGPIPE, SIG_IGN);
	std::vector<std::string> args{program};
	args.insert(args.end(), options.args.begin(), options.args.end());
	std::vector<char *> argv;
	for (auto &a : args)
		argv.push_back(a.data());
	argv.push_back(nullptr);
	std::vector<std::string> env = environment(options);
	std::vector<char *> envp;
	for (auto &e : env)
		envp.push_back(e.data());
	envp.push_back(nullptr);

	Fd in_read, in_write, out_read, out_write, err_read, err_write;
	make_pipe(in_read, in_write);
	make_pipe(err_read, err_write);
	switch (options.out) {
	case Output::pipe:
		make_pipe(out_read, out_write);
		break;
	case Output::closed:
		break;
	case Output::full:
		out_write.fd = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
		break;
	case Output::file:
		out_write.fd = ::open(options.out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
		break;
	}
	if (options.out != Output::pipe && options.out != Output::closed && out_write.fd < 0)
		fail("open stdout");

	const pid_t pid = ::fork();
	if (pid < 0)
		fail("fork");
	if (pid == 0)
		exec_child(program.c_str(), argv.data(), envp.data(), options.cwd.c_str(), in_read.fd, out_write.fd,
			   err_write.fd);
	in_read.reset();
	out_write.reset();
	err_write.reset();

	if (options.while_running)
		options.while_running(pid);

	// Feed stdin and drain both outputs together, so that no pipe fills up and stalls the child.
	Result result;
	size_t written = 0;
	if (options.input.empty())
		in_write.reset();
	else
		::fcntl(in_write.fd, F_SETFL, O_NONBLOCK);
	while (in_write.fd >= 0 || out_read.fd >= 0 || err_read.fd >= 0) {
		pollfd fds[3] = {{in_write.fd, POLLOUT, 0}, {out_read.fd, POLLIN, 0}, {err_read.fd, POLLIN, 0}};
		if (::poll(fds, 3, -1) < 0) {
			if (errno == EINTR)
				continue;
			fail("poll");
		}
		if (fds[0].revents != 0) {
			const ssize_t n =
				::write(in_write.fd, options.input.data() + written, options.input.size() - written);
			if (n > 0)
				written += static_cast<size_t>(n);
			if (n < 0 || written == options.input.size())
				in_write.reset(); // done, or the child stopped reading
		}
		for (int i = 1; i < 3; ++i) {
			if (fds[i].revents == 0)
				continue;
			char buffer[65536];
			const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
			if (n > 0)
				(i == 1 ? result.out : result.err).append(buffer, static_cast<size_t>(n));
			else
				(i == 1 ? out_read : err_read).reset();
		}
	}

	int status = 0;
	while (::waitpid(pid, &status, 0) < 0)
		if (errno != EINTR)
			fail("waitpid");
	result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
	return result;
}

std::string sibling(const std::string &name)
{
	char self[4096];
	const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
	if (n < 0)
		fail("readlink /proc/self/exe");
	std::string path(self, static_cast<size_t>(n));
	return path.substr(0, path.rfind('/') + 1) + name;
}

} // namespace proc
