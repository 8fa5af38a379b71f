#include "io/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "io/file_path.h"

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : _fd(fd) {}
    ~Descriptor() {
        if (_fd >= 0) ::close(_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return _fd; }

private:
    int _fd;
};

InputFile failed(ReadFailure failure, int error) { return {{}, failure, error}; }

}  // namespace

InputFile readInputFile(const std::string& path) {
    if (namesNoFile(path)) return failed(ReadFailure::CannotOpen, ENOENT);
    const Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) return failed(ReadFailure::CannotOpen, errno);
    struct stat status{};
    if (::fstat(file.get(), &status) != 0) return failed(ReadFailure::CannotRead, errno);
    // A directory opens like a file on Linux and then fails to read.
    if (S_ISDIR(status.st_mode)) return failed(ReadFailure::CannotRead, EISDIR);
    InputFile read;
    // Sized once for a regular file; a pipe or device is read until it ends.
    if (S_ISREG(status.st_mode)) read.bytes.reserve(static_cast<std::size_t>(status.st_size));
    std::string chunk(1 << 16, '\0');
    for (;;) {
        const ssize_t got = ::read(file.get(), chunk.data(), chunk.size());
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            return failed(ReadFailure::CannotRead, errno);
        }
        read.bytes.append(chunk.data(), static_cast<std::size_t>(got));
    }
    return read;
}

InputFileError::InputFileError(const std::string& path, int error)
    : std::runtime_error(path + ": " + std::strerror(error)), _path(path), _error(error) {}

std::string readInputBytes(const std::string& path) {
    InputFile file = readInputFile(path);
    if (!file) throw InputFileError(path, file.error);
    return std::move(file.bytes);
}
