#include "platform/new_file.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "platform/paths.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

NewFileResult create_new_file(const std::string& path, std::FILE*& file) {
    file = nullptr;
    // The narrow path, as `fopen` takes it: on Windows the program's code page is UTF-8.
#ifdef _WIN32
    const int fd = _open(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY | _O_NOINHERIT,
                         _S_IREAD | _S_IWRITE);
#else
    const int fd = open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
#endif
    if (fd < 0) {
        // Windows refuses a name a folder holds as access denied, not as taken.
        std::error_code ec;
        const bool stands =
            errno == EEXIST ||
            std::filesystem::exists(std::filesystem::symlink_status(native_path(path), ec));
        return stands ? NewFileResult::taken : NewFileResult::failed;
    }
#ifdef _WIN32
    file = _fdopen(fd, "wb");
    if (!file) _close(fd);
#else
    file = fdopen(fd, "wb");
    if (!file) close(fd);
#endif
    if (file) return NewFileResult::created;
    std::remove(path.c_str());  // ours, and empty
    return NewFileResult::failed;
}
