// SPDX-License-Identifier: MIT
#include "process.hpp"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace fs = std::filesystem;

namespace proc {

TempDir::TempDir()
{
	std::random_device random;
	for (int attempt = 0; attempt < 100; ++attempt) {
		const fs::path candidate = fs::temp_directory_path() / ("run3010-test-" + std::to_string(random()));
		if (fs::create_directory(candidate)) {
			path_ = candidate.u8string();
			return;
		}
	}
	throw std::runtime_error("no temporary directory could be made");
}

TempDir::~TempDir()
{
	std::error_code ignored;
	fs::remove_all(fs::u8path(path_), ignored);
}

std::string TempDir::file(const std::string &name) const { return (fs::u8path(path_) / fs::u8path(name)).u8string(); }

std::optional<std::string> read_file(const std::string &path)
{
	std::ifstream in(fs::u8path(path), std::ios::binary);
	if (!in)
		return std::nullopt;
	return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string &path, const std::string &bytes)
{
	std::ofstream out(fs::u8path(path), std::ios::binary);
	out << bytes;
	if (!out.flush())
		throw std::runtime_error("cannot write " + path);
}

} // namespace proc
