// Bounded reading of regular files.
#include "RegularFile.h"

#include <fstream>

namespace towerlink {

Result<std::string, FileProblem> readRegularFile(const std::filesystem::path& path,
                                                 std::uintmax_t limit) {
    const std::string name = path.string();
    auto problem = [&](const std::string& why) { return FileProblem{"cannot read " + name + why}; };
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (!std::filesystem::exists(status)) return problem(": no such file");
    if (!std::filesystem::is_regular_file(status)) return problem(": not a regular file");
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error) return problem(": " + error.message());
    if (size > limit) {
        return problem(": it holds " + std::to_string(size) + " bytes, more than the " +
                       std::to_string(limit) + " allowed");
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) return problem("");
    // No more than the size seen above, even if the file grows meanwhile.
    std::string text(static_cast<std::size_t>(size), '\0');
    file.read(text.data(), static_cast<std::streamsize>(size));
    if (file.bad()) return problem("");
    text.resize(static_cast<std::size_t>(file.gcount()));
    return text;
}

}  // namespace towerlink
