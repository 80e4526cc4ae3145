// The native extraction rows' floor: what making the package's files costs on this file system,
// with nothing read and nothing decoded. For each line "RELATIVE/PATH<TAB>SIZE" of the list it
// makes the file's folders (each once), then the file, writes SIZE bytes in 32 KiB writes as the
// extractor does, and closes it.
//   fill LIST FOLDER
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

bool MakeFolders(const std::string& path, std::set<std::string>& made) {
    if (path.empty() || made.count(path) != 0) return true;
    const std::size_t cut = path.rfind('/');
    if (cut != std::string::npos && cut > 0 && !MakeFolders(path.substr(0, cut), made)) return false;
    if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) return false;
    made.insert(path);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: fill LIST FOLDER\n");
        return 2;
    }
    std::FILE* list = std::fopen(argv[1], "r");
    if (!list) return 2;
    const std::string root = argv[2];
    std::vector<char> bytes(32768, 'x');
    std::set<std::string> made;
    char line[4096];
    while (std::fgets(line, sizeof line, list)) {
        char* tab = std::strchr(line, '\t');
        if (!tab) continue;
        *tab = '\0';
        const std::string path = root + "/" + line;
        if (!MakeFolders(path.substr(0, path.rfind('/')), made)) return 1;
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) return 1;
        for (unsigned long left = std::strtoul(tab + 1, nullptr, 10); left > 0;) {
            const std::size_t piece = left < bytes.size() ? left : bytes.size();
            const ssize_t done = write(fd, bytes.data(), piece);
            if (done <= 0) return 1;
            left -= static_cast<unsigned long>(done);
        }
        close(fd);
    }
    std::fclose(list);
    return 0;
}
