// SPDX-License-Identifier: MIT
// Cases that only Windows can observe: the command line the interpreter receives, how the
// interpreter is found, and what the .exe file itself carries.
#include "platform.hpp"

#include <doctest/doctest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <set>

using proc::Options;

namespace {

Options with_probe_interpreter(std::vector<std::string> args)
{
	Options options = with_args(std::move(args));
	options.env = {{"COMSPEC", proc::sibling("probe.exe")}};
	return options;
}

} // namespace

TEST_SUITE("interpreter")
{
	TEST_CASE("the interpreter receives \"<COMSPEC> /c <text>\" with the text unchanged")
	{
		struct Case {
			const char *name;
			std::string text;
		};
		const Case cases[] = {
			{"quotes", "\"C:\\Program Files\\app.exe\" /s \"a b\" \"\""},
			{"carets", "echo ^& ^^ ^|"},
			{"ampersands", "a & b && c || d"},
			{"percent signs", "%PATH% %RUN3010_UNSET% 100%"},
			{"pipes and redirections", "a | b > c < d 2>&1"},
			{"backslashes", "C:\\dir\\ \\\\server\\share\\"},
			{"characters of the ANSI code page", "caf\xc3\xa9 \xc3\xbc \xc3\x9f"},
			{"characters outside the legacy code page", "\xe6\x97\xa5\xe6\x9c\xac \xd0\x96"},
			{"nothing", ""},
		};
		const std::string comspec = proc::sibling("probe.exe");
		for (const auto &c : cases) {
			CAPTURE(c.name);
			const auto r = run3010(with_probe_interpreter({c.text}));
			CHECK(r.out == comspec + " /c " + c.text);
			CHECK(r.err == "");
			CHECK(r.status == kCommandStatus);
		}
	}

	TEST_CASE("only the first argument reaches the interpreter")
	{
		const auto r = run3010(with_probe_interpreter({"first", "second"}));
		CHECK(r.out == proc::sibling("probe.exe") + " /c first");
		CHECK(r.status == kCommandStatus);
	}

	TEST_CASE("a text with several quoted parts needs one more pair of quotes around it")
	{
		proc::TempDir dir;
		const std::string folder = dir.file("with space");
		std::filesystem::create_directory(std::filesystem::u8path(folder));
		const std::string tool = "\"" + folder + "\\tool.bat\"";
		proc::write_file(folder + "\\tool.bat", "@echo ran %*\r\n");
		const std::string command = tool + " /log \"C:\\Logs\\setup log.txt\"";

		// cmd /c strips the first and the last quote: the path is cut at its space.
		auto r = run3010(with_args({command}));
		CHECK(r.out == "");
		CHECK(r.err != "");
		CHECK(r.status == kCommandStatus);

		r = run3010(with_args({"\"" + command + "\""}));
		CHECK(r.out == "ran /log \"C:\\Logs\\setup log.txt\"\r\n");
		CHECK(r.status == kCommandStatus);
	}

	TEST_CASE("without COMSPEC, cmd.exe is found through PATH")
	{
		Options options;
		options.args = {"echo found through PATH"};
		options.env = {{"COMSPEC", std::nullopt}};
		const auto r = run3010(options);
		CHECK(r.out == "found through PATH\r\n");
		CHECK(r.status == kCommandStatus);
	}

	TEST_CASE("with no interpreter to be found, nothing runs and the status is still 3010")
	{
		proc::TempDir dir;
		const std::string witness = dir.file("ran.txt");
		Options options;
		options.args = {"echo ran> \"" + witness + "\""};
		options.env = {{"COMSPEC", dir.file("missing.exe")}, {"PATH", dir.path()}};
		options.cwd = dir.path();
		const auto r = run3010(options);
		CHECK_FALSE(proc::read_file(witness));
		CHECK(r.out == "");
		CHECK(r.err == "");
		CHECK(r.status == kCommandStatus);
	}
}

namespace {

// The parts of a PE file that an administrator inspects before trusting it.
struct Image {
	std::string bytes;
	WORD machine = 0;
	DWORD timestamp = 0;
	WORD subsystem = 0;
	WORD dll_characteristics = 0;
	std::set<std::string> imports;

	template <typename T> T at(size_t offset) const
	{
		REQUIRE(offset + sizeof(T) <= bytes.size());
		T value;
		std::memcpy(&value, bytes.data() + offset, sizeof value);
		return value;
	}

	explicit Image(const std::string &path)
	{
		const auto content = proc::read_file(path);
		REQUIRE(content);
		bytes = *content;
		REQUIRE(at<WORD>(0) == IMAGE_DOS_SIGNATURE);
		const size_t nt = at<DWORD>(offsetof(IMAGE_DOS_HEADER, e_lfanew));
		REQUIRE(at<DWORD>(nt) == IMAGE_NT_SIGNATURE);
		const auto file = at<IMAGE_FILE_HEADER>(nt + 4);
		machine = file.Machine;
		timestamp = file.TimeDateStamp;
		const size_t optional = nt + 4 + sizeof(IMAGE_FILE_HEADER);
		IMAGE_DATA_DIRECTORY import_directory{};
		if (at<WORD>(optional) == IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
			const auto header = at<IMAGE_OPTIONAL_HEADER64>(optional);
			subsystem = header.Subsystem;
			dll_characteristics = header.DllCharacteristics;
			import_directory = header.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
		} else {
			const auto header = at<IMAGE_OPTIONAL_HEADER32>(optional);
			subsystem = header.Subsystem;
			dll_characteristics = header.DllCharacteristics;
			import_directory = header.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
		}
		const size_t sections = optional + file.SizeOfOptionalHeader;
		const auto offset_of = [&](DWORD rva) -> size_t {
			for (WORD i = 0; i < file.NumberOfSections; ++i) {
				const auto s = at<IMAGE_SECTION_HEADER>(sections + i * sizeof(IMAGE_SECTION_HEADER));
				if (rva >= s.VirtualAddress &&
				    rva < s.VirtualAddress + std::max(s.Misc.VirtualSize, s.SizeOfRawData))
					return s.PointerToRawData + (rva - s.VirtualAddress);
			}
			FAIL("RVA outside every section: " << rva);
			return 0;
		};
		for (size_t d = offset_of(import_directory.VirtualAddress);; d += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
			const auto descriptor = at<IMAGE_IMPORT_DESCRIPTOR>(d);
			if (descriptor.Name == 0)
				break;
			imports.insert(bytes.c_str() + offset_of(descriptor.Name));
		}
	}
};

std::wstring version_string(const std::vector<char> &info, const wchar_t *name)
{
	void *value = nullptr;
	UINT length = 0;
	const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
	if (!VerQueryValueW(info.data(), key.c_str(), &value, &length) || length == 0)
		return L"<missing>";
	return std::wstring(static_cast<const wchar_t *>(value), length - 1);
}

} // namespace

TEST_SUITE("image")
{
	TEST_CASE("imports only KERNEL32.dll and msvcrt.dll")
	{
		const Image image(proc::sibling(kRun3010));
		CHECK(image.imports == std::set<std::string>{"KERNEL32.dll", "msvcrt.dll"});
	}

	TEST_CASE("a hardened console program for the test's own machine, stamped with no time")
	{
		const Image image(proc::sibling(kRun3010));
		const bool wide_pointers = sizeof(void *) == 8;
		CHECK(image.machine == (wide_pointers ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386));
		CHECK(image.subsystem == IMAGE_SUBSYSTEM_WINDOWS_CUI);
		CHECK(image.timestamp == 0);
		const WORD wanted = IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE | IMAGE_DLLCHARACTERISTICS_NX_COMPAT |
				    IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE;
		CHECK((image.dll_characteristics & wanted) == wanted);
		CHECK(((image.dll_characteristics & IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA) != 0) == wide_pointers);
	}

	TEST_CASE("the version resource carries the project version")
	{
		const std::wstring path = std::filesystem::u8path(proc::sibling(kRun3010)).wstring();
		DWORD ignored = 0;
		std::vector<char> info(GetFileVersionInfoSizeW(path.c_str(), &ignored));
		REQUIRE(!info.empty());
		REQUIRE(GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));

		VS_FIXEDFILEINFO *fixed = nullptr;
		UINT length = 0;
		REQUIRE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void **>(&fixed), &length));
		CHECK(fixed->dwFileType == VFT_APP);
		CHECK(fixed->dwFileVersionMS == MAKELONG(RUN3010_VERSION_MINOR, RUN3010_VERSION_MAJOR));
		CHECK(fixed->dwFileVersionLS == MAKELONG(0, RUN3010_VERSION_PATCH));
		CHECK(fixed->dwProductVersionMS == fixed->dwFileVersionMS);

		const std::wstring version = L"" RUN3010_VERSION;
		CHECK(version_string(info, L"FileVersion") == version);
		CHECK(version_string(info, L"ProductVersion") == version);
		CHECK(version_string(info, L"ProductName") == L"run3010");
		CHECK(version_string(info, L"OriginalFilename") == L"run3010.exe");
		CHECK(version_string(info, L"FileDescription") != L"<missing>");
		CHECK(version_string(info, L"LegalCopyright").find(L"MIT") != std::wstring::npos);
	}

	TEST_CASE("the manifest runs as invoker, with UTF-8 as its code page, on Vista to 11")
	{
		const std::wstring path = std::filesystem::u8path(proc::sibling(kRun3010)).wstring();
		const HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
		REQUIRE(module != nullptr);
		const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)); // RT_MANIFEST
		REQUIRE(found != nullptr);
		const std::string manifest(static_cast<const char *>(LockResource(LoadResource(module, found))),
					   SizeofResource(module, found));
		FreeLibrary(module);

		CHECK(manifest.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>") !=
		      std::string::npos);
		CHECK(manifest.find(">UTF-8</activeCodePage>") != std::string::npos);
		for (const char *os : {"e2011457-1546-43c5-a5fe-008deee3d3f0", "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
				       "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "1f676c76-80e1-4239-95bb-83d0f6d0da78",
				       "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"}) {
			CAPTURE(os);
			CHECK(manifest.find(std::string("<supportedOS Id=\"{") + os + "}\"/>") != std::string::npos);
		}
	}
}
