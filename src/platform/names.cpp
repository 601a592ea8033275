// Giving the exchange file its upper-case name. See names.h.
#include "platform/names.h"

#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/textfile.h"

namespace {

namespace fs = std::filesystem;

// ASCII upper case of one character of a name (narrow or wide); other
// characters are left alone.
template <typename Char>
Char asciiUpper(Char ch) {
    return (ch >= 'a' && ch <= 'z') ? static_cast<Char>(ch - 'a' + 'A') : ch;
}

// Whether a stored name equals the ASCII name `wanted` ignoring case.
bool sameIgnoringCase(const fs::path::string_type& name, const char* wanted) {
    if (name.size() != std::strlen(wanted)) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        auto ch = name[i];
        if (static_cast<unsigned long>(ch) > 0x7F) return false;
        if (asciiUpper(ch) != asciiUpper(static_cast<decltype(ch)>(wanted[i]))) return false;
    }
    return true;
}

// The name under which the current directory holds `wanted`, compared
// ignoring case; the exact spelling when the directory holds it (a file
// system that tells case apart can hold several). Empty when none matches.
std::string storedName(const char* wanted) {
    std::string found;
    std::error_code ec;
    for (fs::directory_iterator it(".", ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path file = it->path().filename();
        const fs::path::string_type& name = file.native();
        if (!sameIgnoringCase(name, wanted)) continue;
        // A match is all ASCII, so each character narrows as it is.
        found.clear();
        for (auto ch : name) found += static_cast<char>(ch);
        if (found == wanted) break;
    }
    return found;
}

}  // namespace

void pf_normalise_by_rename(const char* lower, const char* upper) { pf_rename(lower, upper); }

void pf_normalise_by_search(const char* upper) {
    std::string name = storedName(upper);
    if (name.empty() || name == upper) return;
    pf_rename(name.c_str(), upper);
    name = storedName(upper);
    if (name.empty() || name == upper) return;
    // The one rename kept the old spelling: a rename to a different name and
    // on to the wanted one takes the new spelling.
    if (pf_rename(name.c_str(), kCaseTempName) != 0) return;
    if (pf_rename(kCaseTempName, upper) != 0) pf_rename(kCaseTempName, name.c_str());
}

void pf_normalise_name(const char* lower, const char* upper) {
#ifdef _WIN32
    (void)lower;
    pf_normalise_by_search(upper);
#else
    pf_normalise_by_rename(lower, upper);
#endif
}
