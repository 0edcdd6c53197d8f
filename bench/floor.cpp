// SPDX-License-Identifier: MIT
// The least any launcher does: start "cmd.exe /c exit" with CreateProcess, wait, return.
// Under Wine a process that starts a child pays far more than an empty one; this is the fair
// reference for run3010.exe.
#include <windows.h>

int main()
{
	wchar_t command_line[] = L"cmd.exe /c exit";
	STARTUPINFOW startup{};
	startup.cb = sizeof startup;
	PROCESS_INFORMATION child{};
	if (!CreateProcessW(nullptr, command_line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child))
		return 1;
	WaitForSingleObject(child.hProcess, INFINITE);
	CloseHandle(child.hThread);
	CloseHandle(child.hProcess);
	return 0;
}
