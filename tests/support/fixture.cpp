#include "support/fixture.h"

#include <fstream>
#include <random>
#include <sstream>

#include "exchange/reader.h"
#include "options/options.h"
#include "platform/textfile.h"
#include "support/state.h"

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_file(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

Files files_here() {
    Files all;
    for (const auto& e : std::filesystem::directory_iterator(".")) all[e.path().filename().string()] = read_file(e.path());
    return all;
}

void make_files_here(const Files& files) {
    for (const auto& e : std::filesystem::directory_iterator(".")) std::filesystem::remove(e.path());
    for (const auto& [name, bytes] : files) write_file(name, bytes);
}

void TempDirTest::SetUp() {
    reset_program_state();
    std::random_device rnd;
    oldDir_ = std::filesystem::current_path();
    dir_ = std::filesystem::temp_directory_path() / ("qx_unit_" + std::to_string(rnd()));
    std::filesystem::create_directories(dir_);
    std::filesystem::current_path(dir_);
}

void TempDirTest::TearDown() {
    if (fp) pf_close(fp);
    if (fpw) pf_close(fpw);
    reset_program_state();
    std::filesystem::current_path(oldDir_);
    std::filesystem::remove_all(dir_);
}

void TempDirTest::openWork() { fpw = pf_create_work("work.out", nullptr); }

void TempDirTest::openInput(const std::string& bytes) {
    write_file("input.txt", bytes);
    fp = pf_open_input("input.txt");
}

std::string TempDirTest::closeWork() {
    if (fp) pf_close(fp);
    fp = nullptr;
    if (fpw) pf_close(fpw);
    fpw = nullptr;
    return read_file("work.out");
}
