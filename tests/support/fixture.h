// Shared test support: every test starts from the program's start values in
// a fresh temporary directory, with the work file open for writing.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "support/state.h"

// Reads a whole file as bytes.
std::string read_file(const std::filesystem::path& path);
// Writes bytes to a file as they are.
void write_file(const std::filesystem::path& path, const std::string& bytes);

// Files by name as stored: bytes.
using Files = std::map<std::string, std::string>;
// Every file of the current directory.
Files files_here();
// Makes the current directory hold exactly `files`.
void make_files_here(const Files& files);

// A test in its own temporary directory (the current directory during the
// test), with all program state at its start values.
class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Opens the work file for writing as `fpw` (and `path` for reading as
    // `fp`, when given bytes for it).
    void openWork();
    void openInput(const std::string& bytes);
    // Closes the files that are open and returns the work file's bytes.
    std::string closeWork();

    std::filesystem::path dir_;
    std::filesystem::path oldDir_;
};
