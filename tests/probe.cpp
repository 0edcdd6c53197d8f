// SPDX-License-Identifier: MIT
// A stand-in for the command interpreter in the Windows tests. Named by COMSPEC, it writes the
// command line it was started with to stdout, as UTF-8, and ends with 0.
// "probe --delay-write MS FILE" instead lets go of its streams, sleeps MS milliseconds and
// then writes "done" to FILE.
#include <windows.h>

#include <shellapi.h>
#include <string>

int main()
{
	int argc = 0;
	wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
	if (argc == 4 && std::wstring(argv[1]) == L"--delay-write") {
		for (const DWORD stream : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE})
			CloseHandle(GetStdHandle(stream));
		Sleep(static_cast<DWORD>(std::stoul(argv[2])));
		const HANDLE file =
			CreateFileW(argv[3], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
		DWORD written = 0;
		return file != INVALID_HANDLE_VALUE && WriteFile(file, "done\r\n", 6, &written, nullptr) &&
				       CloseHandle(file)
			       ? 0
			       : 1;
	}

	const wchar_t *line = GetCommandLineW();
	const int length = static_cast<int>(wcslen(line));
	std::string utf8(
		static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, line, length, nullptr, 0, nullptr, nullptr)), '\0');
	WideCharToMultiByte(CP_UTF8, 0, line, length, utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr);
	DWORD written = 0;
	WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
	return 0;
}
