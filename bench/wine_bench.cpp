// SPDX-License-Identifier: MIT
// Times run3010.exe against cmd.exe and the floor program, interleaved round by round, and
// reads run3010.exe's peak working set while it waits. Prints a Markdown table.
//   wine_bench [ROUNDS]
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::wstring beside_me(const wchar_t *name)
{
	wchar_t self[MAX_PATH];
	const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
	std::wstring path(self, n);
	return path.substr(0, path.find_last_of(L"\\/") + 1) + name;
}

std::wstring comspec()
{
	wchar_t buffer[MAX_PATH];
	const DWORD n = GetEnvironmentVariableW(L"COMSPEC", buffer, MAX_PATH);
	return n > 0 && n < MAX_PATH ? buffer : L"cmd.exe";
}

constexpr DWORD kAnyStatus = 0xFFFFFFFF;

struct Subject {
	const char *label;
	std::wstring command_line;
	DWORD expected_status; // kAnyStatus: recorded, not checked
	DWORD status;
	std::vector<double> milliseconds;
};

PROCESS_INFORMATION start(std::wstring command_line, HANDLE input = nullptr)
{
	STARTUPINFOW startup{};
	startup.cb = sizeof startup;
	if (input != nullptr) {
		startup.dwFlags = STARTF_USESTDHANDLES;
		startup.hStdInput = input;
		startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
		startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
	}
	PROCESS_INFORMATION child{};
	if (!CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, input != nullptr, 0, nullptr, nullptr,
			    &startup, &child)) {
		std::fprintf(stderr, "cannot start %ls: error %lu\n", command_line.c_str(), GetLastError());
		std::exit(2);
	}
	return child;
}

DWORD finish(const PROCESS_INFORMATION &child)
{
	WaitForSingleObject(child.hProcess, INFINITE);
	DWORD status = 0;
	GetExitCodeProcess(child.hProcess, &status);
	CloseHandle(child.hThread);
	CloseHandle(child.hProcess);
	return status;
}

double median(std::vector<double> v)
{
	std::sort(v.begin(), v.end());
	return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// Peak working set of a program while it waits for "set /p" to read from a pipe we hold open.
SIZE_T peak_while_waiting(const std::wstring &command_line)
{
	SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
	HANDLE read_end = nullptr, write_end = nullptr;
	CreatePipe(&read_end, &write_end, &inherit, 0);
	SetHandleInformation(write_end, HANDLE_FLAG_INHERIT, 0);
	const PROCESS_INFORMATION child = start(command_line, read_end);
	CloseHandle(read_end);
	Sleep(1000);
	PROCESS_MEMORY_COUNTERS counters{};
	counters.cb = sizeof counters;
	const BOOL ok = GetProcessMemoryInfo(child.hProcess, &counters, sizeof counters);
	CloseHandle(write_end);
	finish(child);
	return ok ? counters.PeakWorkingSetSize : 0;
}

} // namespace

int main(int argc, char **argv)
{
	const int rounds = argc > 1 ? std::atoi(argv[1]) : 200;
	const std::wstring run3010 = L"\"" + beside_me(L"run3010.exe") + L"\"";
	const std::wstring cmd = L"\"" + comspec() + L"\"";
	std::vector<Subject> subjects{
		{"run3010.exe \"exit\"", run3010 + L" exit", 3010, 0, {}},
		{"floor (CreateProcess of cmd /c exit)", L"\"" + beside_me(L"floor.exe") + L"\"", 0, 0, {}},
		{"cmd /c exit", cmd + L" /c exit", kAnyStatus, 0, {}},
		{"cmd /c \"exit & exit 3010\"", cmd + L" /c \"exit & exit 3010\"", kAnyStatus, 0, {}},
	};

	LARGE_INTEGER frequency;
	QueryPerformanceFrequency(&frequency);
	for (int round = 0; round < rounds; ++round) {
		// Rotate the order each round, so that no subject always follows the same one.
		for (size_t i = 0; i < subjects.size(); ++i) {
			Subject &s = subjects[(i + static_cast<size_t>(round)) % subjects.size()];
			LARGE_INTEGER begin, end;
			QueryPerformanceCounter(&begin);
			s.status = finish(start(s.command_line));
			QueryPerformanceCounter(&end);
			if (s.expected_status != kAnyStatus && s.status != s.expected_status) {
				std::fprintf(stderr, "%s ended with %lu, not %lu\n", s.label, s.status,
					     s.expected_status);
				return 1;
			}
			s.milliseconds.push_back(1000.0 * static_cast<double>(end.QuadPart - begin.QuadPart) /
						 static_cast<double>(frequency.QuadPart));
		}
	}

	const double floor = median(subjects[1].milliseconds);
	std::printf("| Command (under Wine, %d interleaved rounds) | Exit status | Median ms | Times the floor |\n"
		    "|---|---:|---:|---:|\n",
		    rounds);
	for (const auto &s : subjects)
		std::printf("| %s | %lu | %.2f | %.2f |\n", s.label, s.status, median(s.milliseconds),
			    median(s.milliseconds) / floor);
	std::printf("\n| Peak working set while the command waits (under Wine) | KiB |\n|---|---:|\n");
	std::printf("| run3010.exe \"set /p X=\" | %lu |\n",
		    static_cast<unsigned long>(peak_while_waiting(run3010 + L" \"set /p X=\"") / 1024));
	std::printf("| cmd /c \"set /p X=\" | %lu |\n",
		    static_cast<unsigned long>(peak_while_waiting(cmd + L" /c \"set /p X=\"") / 1024));
	return 0;
}
