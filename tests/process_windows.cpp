// SPDX-License-Identifier: MIT
#include "process.hpp"

#include <windows.h>

#include <algorithm>
#include <stdexcept>
#include <thread>

namespace proc {
namespace {

void fail(const std::string &what)
{
	throw std::runtime_error(what + " failed: error " + std::to_string(GetLastError()));
}

std::wstring wide(const std::string &utf8)
{
	if (utf8.empty())
		return {};
	const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
					  nullptr, 0);
	if (n <= 0)
		fail("MultiByteToWideChar");
	std::wstring w(static_cast<size_t>(n), L'\0');
	MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
	return w;
}

std::string narrow(const std::wstring &w)
{
	if (w.empty())
		return {};
	const int n =
		WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
	std::string s(static_cast<size_t>(n), '\0');
	WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
	return s;
}

// Quotes one argument so that the C runtime's start-up splits it back out unchanged.
std::wstring quote(const std::wstring &arg)
{
	if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos)
		return arg;
	std::wstring q = L"\"";
	size_t backslashes = 0;
	for (const wchar_t c : arg) {
		if (c == L'\\') {
			++backslashes;
			continue;
		}
		q.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
		backslashes = 0;
		q.push_back(c);
	}
	q.append(backslashes * 2, L'\\');
	q.push_back(L'"');
	return q;
}

bool same_name(const std::wstring &entry, const std::wstring &name)
{
	return entry.size() > name.size() && entry[name.size()] == L'=' &&
	       CompareStringOrdinal(entry.data(), static_cast<int>(name.size()), name.data(),
				    static_cast<int>(name.size()), TRUE) == CSTR_EQUAL;
}

// Our environment with the changes applied, as the sorted block CreateProcessW takes.
std::wstring environment_block(const Options &options)
{
	std::vector<std::wstring> entries;
	const LPWCH strings = GetEnvironmentStringsW();
	for (const wchar_t *e = strings; *e != L'\0'; e += wcslen(e) + 1)
		entries.emplace_back(e);
	FreeEnvironmentStringsW(strings);
	for (const auto &[name, value] : options.env) {
		const std::wstring w = wide(name);
		entries.erase(std::remove_if(entries.begin(), entries.end(),
					     [&](const std::wstring &e) { return same_name(e, w); }),
			      entries.end());
		if (value)
			entries.push_back(w + L"=" + wide(*value));
	}
	std::sort(entries.begin(), entries.end(), [](const std::wstring &a, const std::wstring &b) {
		return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()),
					    TRUE) == CSTR_LESS_THAN;
	});
	std::wstring block;
	for (const auto &e : entries)
		block += e + L'\0';
	return block + L'\0';
}

// Closes on scope exit.
struct Handle {
	HANDLE h = nullptr;
	Handle() = default;
	Handle(const Handle &) = delete;
	Handle &operator=(const Handle &) = delete;
	~Handle() { reset(); }
	void reset()
	{
		if (h != nullptr && h != INVALID_HANDLE_VALUE)
			CloseHandle(h);
		h = nullptr;
	}
};

// The child's end is inheritable, ours is not.
void make_pipe(Handle &read_end, Handle &write_end, bool child_reads)
{
	SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
	if (!CreatePipe(&read_end.h, &write_end.h, &inherit, 0))
		fail("CreatePipe");
	SetHandleInformation(child_reads ? write_end.h : read_end.h, HANDLE_FLAG_INHERIT, 0);
}

void drain(HANDLE from, std::string &into)
{
	char buffer[65536];
	DWORD n = 0;
	while (ReadFile(from, buffer, sizeof buffer, &n, nullptr) && n > 0)
		into.append(buffer, n);
}

} // namespace

Result run(const std::string &program, const Options &options)
{
	std::wstring command_line = quote(wide(program));
	for (const auto &a : options.args)
		command_line += L" " + quote(wide(a));
	std::wstring env = environment_block(options);
	const std::wstring cwd = wide(options.cwd);

	Handle in_read, in_write, out_read, out_write, err_read, err_write;
	make_pipe(in_read, in_write, true);
	make_pipe(err_read, err_write, false);
	switch (options.out) {
	case Output::pipe:
		make_pipe(out_read, out_write, false);
		break;
	case Output::closed:
		break;
	case Output::full:
		throw std::logic_error("Windows has no device that is always full");
	case Output::file: {
		SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
		out_write.h = CreateFileW(wide(options.out_file).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
					  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
		if (out_write.h == INVALID_HANDLE_VALUE)
			fail("CreateFileW " + options.out_file);
		break;
	}
	}

	STARTUPINFOW startup{};
	startup.cb = sizeof startup;
	startup.dwFlags = STARTF_USESTDHANDLES;
	startup.hStdInput = in_read.h;
	startup.hStdOutput = out_write.h;
	startup.hStdError = err_write.h;
	PROCESS_INFORMATION child{};
	// Wine now and then fails to bring up a new process with ERROR_INTERNAL_ERROR before any of
	// the child's code has run (seen once in a CI run): a fault of the host, not of the program
	// under test, so such a start is tried again a few times. Any other failure is final.
	for (int attempt = 1;; ++attempt) {
		if (CreateProcessW(wide(program).c_str(), command_line.data(), nullptr, nullptr, TRUE,
				   CREATE_UNICODE_ENVIRONMENT, env.data(), cwd.empty() ? nullptr : cwd.c_str(),
				   &startup, &child))
			break;
		if (GetLastError() != ERROR_INTERNAL_ERROR || attempt == 3)
			fail("CreateProcessW " + program);
	}
	Handle process, thread;
	process.h = child.hProcess;
	thread.h = child.hThread;
	in_read.reset();
	out_write.reset();
	err_write.reset();

	if (options.while_running)
		options.while_running(static_cast<long>(child.dwProcessId));

	// Feed stdin and drain both outputs together, so that no pipe fills up and stalls the child.
	Result result;
	std::thread feeder([&] {
		DWORD n = 0;
		WriteFile(in_write.h, options.input.data(), static_cast<DWORD>(options.input.size()), &n, nullptr);
		in_write.reset();
	});
	std::thread err_reader([&] { drain(err_read.h, result.err); });
	if (out_read.h != nullptr)
		drain(out_read.h, result.out);
	err_reader.join();
	feeder.join();

	WaitForSingleObject(process.h, INFINITE);
	DWORD status = 0;
	if (!GetExitCodeProcess(process.h, &status))
		fail("GetExitCodeProcess");
	result.status = static_cast<long>(status);
	return result;
}

std::string sibling(const std::string &name)
{
	std::wstring self(MAX_PATH, L'\0');
	DWORD n = 0;
	while ((n = GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()))) == self.size())
		self.resize(self.size() * 2);
	self.resize(n);
	return narrow(self.substr(0, self.find_last_of(L"\\/") + 1)) + name;
}

} // namespace proc

std::string interpreter()
{
	wchar_t buffer[MAX_PATH];
	const DWORD n = GetEnvironmentVariableW(L"COMSPEC", buffer, MAX_PATH);
	if (n == 0 || n >= MAX_PATH)
		throw std::runtime_error("COMSPEC is not set");
	return proc::narrow(buffer);
}
