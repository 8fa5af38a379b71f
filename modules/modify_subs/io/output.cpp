#include "io/output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <deque>
#include <memory>
#include <optional>
#include <ostream>
#include <random>
#include <streambuf>
#include <system_error>
#include <utility>

#include "io/file_path.h"
#include "io/json_text.h"
#include "text/utf8_text.h"

std::string outputName(const std::string& subfile, const std::string& ending) {
    std::string nfilename = "[Quorvanted] " + subfile;
    const std::size_t lastDotIndex = nfilename.find_last_of('.');
    if (lastDotIndex != std::string::npos) {
        nfilename = nfilename.substr(0, lastDotIndex) + ending;
    }
    return nfilename;
}

namespace {

// Makes the texts of a (flat) export document valid UTF-8, see utf8_text.h;
// only the rare invalid ones are copied.
void repairTexts(Json::Value& document) {
    if (!document.isObject()) return;
    for (Json::Value& member : document) {
        const char* begin = nullptr;
        const char* end = nullptr;
        if (!member.isString() || !member.getString(&begin, &end)) continue;
        const std::string_view text(begin, static_cast<std::size_t>(end - begin));
        if (!isValidUtf8(text)) member = withValidUtf8(text);
    }
}

void writeDocument(Json::Value& document, std::ostream& stream) {
    repairTexts(document);
    writeJsonText(document, stream);
}

// The permission bits of the regular file at `path`, if there is one. The special
// bits are not carried over to the file that replaces it.
std::optional<mode_t> permissionsOf(const std::string& path) {
    struct stat existing{};
    if (::stat(path.c_str(), &existing) != 0 || !S_ISREG(existing.st_mode)) return std::nullopt;
    return existing.st_mode & 0777;
}

// A fresh file beside the target that is removed again unless it is committed.
// The write steps return 0 or the errno of their failure.
class TemporaryFile {
public:
    TemporaryFile(const std::string& target, mode_t mode) {
        const std::size_t slash = target.find_last_of('/');
        const std::string directory = slash == std::string::npos ? "" : target.substr(0, slash + 1);
        // Keep the temporary name within NAME_MAX even for a target name close to it.
        const std::string base = target.substr(directory.size(), 200);
        std::random_device entropy;
        for (int attempt = 0; attempt < 16 && _fd < 0; ++attempt) {
            _path = directory + "." + base + "." + std::to_string(entropy()) + ".tmp";
            _fd = ::open(_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
            if (_fd < 0 && errno != EEXIST) break;
        }
        _openError = _fd < 0 ? errno : 0;
        _created = _fd >= 0;
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        if (_fd >= 0) ::close(_fd);
        if (_created && !_committed) ::unlink(_path.c_str());
    }

    bool isOpen() const { return _fd >= 0; }
    int openError() const { return _openError; }

    // Exactly `mode`, past the umask. A filesystem without permission bits refuses,
    // and then there are none to keep.
    void setPermissions(mode_t mode) const { static_cast<void>(::fchmod(_fd, mode)); }

    int writeAll(std::string_view content) const {
        while (!content.empty()) {
            const ssize_t written = ::write(_fd, content.data(), content.size());
            if (written < 0) {
                if (errno == EINTR) continue;
                return errno;
            }
            content.remove_prefix(static_cast<std::size_t>(written));
        }
        return 0;
    }

    // Some filesystems report a failed write only when the file is closed.
    int close() {
        const int fd = std::exchange(_fd, -1);
        return ::close(fd) == 0 ? 0 : errno;
    }

    // 0, or the errno of the failed rename.
    int commitAs(const std::string& target) {
        _committed = ::rename(_path.c_str(), target.c_str()) == 0;
        return _committed ? 0 : errno;
    }

private:
    std::string _path;
    int _fd = -1;
    int _openError = 0;
    bool _created = false;
    bool _committed = false;
};

// An output stream's buffer that hands full chunks to the temporary file and keeps
// the first failure's errno, since the stream itself only knows that it failed.
class TemporaryFileBuffer : public std::streambuf {
public:
    explicit TemporaryFileBuffer(const TemporaryFile& file) : _file(file) {
        setp(_chunk.data(), _chunk.data() + _chunk.size());
    }

    // Writes what is still buffered; 0 or the errno of the first failure.
    int finish() {
        sync();
        return _error;
    }

protected:
    int_type overflow(int_type c) override {
        if (sync() != 0) return traits_type::eof();
        if (!traits_type::eq_int_type(c, traits_type::eof())) sputc(traits_type::to_char_type(c));
        return traits_type::not_eof(c);
    }

    // A piece larger than the buffer goes straight to the file.
    std::streamsize xsputn(const char* data, std::streamsize count) override {
        if (count < static_cast<std::streamsize>(_chunk.size())) return std::streambuf::xsputn(data, count);
        if (sync() != 0) return 0;
        _error = _file.writeAll(std::string_view(data, static_cast<std::size_t>(count)));
        return _error == 0 ? count : 0;
    }

    int sync() override {
        if (_error == 0) _error = _file.writeAll(std::string_view(pbase(), static_cast<std::size_t>(pptr() - pbase())));
        setp(_chunk.data(), _chunk.data() + _chunk.size());
        return _error == 0 ? 0 : -1;
    }

private:
    const TemporaryFile& _file;
    std::array<char, 1 << 16> _chunk{};
    int _error = 0;
};

// Replaces `path` with what `writeContent` writes into the new file (0 or an errno).
template <class WriteContent>
WriteResult replaceFile(const std::string& path, unsigned permissionCeiling, WriteContent writeContent) {
    if (namesNoFile(path)) return WriteResult::notOpened(ENOENT);
    // Created with the replaced file's bits, so its content is never more exposed than before.
    std::optional<mode_t> replacedPermissions = permissionsOf(path);
    if (replacedPermissions) *replacedPermissions &= permissionCeiling;
    TemporaryFile file(path, replacedPermissions.value_or(0666 & permissionCeiling));
    if (!file.isOpen()) return WriteResult::notOpened(file.openError());
    if (replacedPermissions) file.setPermissions(*replacedPermissions);
    if (const int error = writeContent(file)) return WriteResult::failedPartWay(path, error);
    if (const int error = file.close()) return WriteResult::failedPartWay(path, error);
    // A target that can't be replaced (a directory of that name) is one that can't be opened.
    const int error = file.commitAs(path);
    return error == 0 ? WriteResult::written() : WriteResult::notOpened(error);
}

}  // namespace

WriteResult WriteResult::failedPartWay(const std::string& path, int error) {
    return WriteResult(false, "Could not write the output file: " + path + ": " + std::system_category().message(error),
                       error);
}

std::string WriteResult::failureLine(std::string cannotOpen) const {
    return _failedWrite.empty() ? std::move(cannotOpen) : _failedWrite;
}

WriteResult writeWholeFile(const std::string& path, std::string_view content, unsigned permissionCeiling) {
    return replaceFile(path, permissionCeiling, [&](const TemporaryFile& file) { return file.writeAll(content); });
}

WriteResult writeFilePieces(const std::string& path, const std::function<void(const PieceWriter&)>& produce,
                            unsigned permissionCeiling) {
    return replaceFile(path, permissionCeiling, [&](const TemporaryFile& file) {
        TemporaryFileBuffer buffer(file);
        produce(
            [&](std::string_view piece) { buffer.sputn(piece.data(), static_cast<std::streamsize>(piece.size())); });
        return buffer.finish();
    });
}

WriteResult writeExportDocument(const std::string& path, Json::Value document, unsigned permissionCeiling) {
    return replaceFile(path, permissionCeiling, [&](const TemporaryFile& file) {
        TemporaryFileBuffer buffer(file);
        std::ostream stream(&buffer);
        writeDocument(document, stream);
        return buffer.finish();
    });
}

WriteResult writeExportMembers(const std::string& path, std::vector<JsonMember> members, unsigned permissionCeiling) {
    // jsoncpp's object is a map ordered by key bytes, where a later member replaces an earlier one.
    std::stable_sort(members.begin(), members.end(),
                     [](const JsonMember& left, const JsonMember& right) { return left.key < right.key; });
    std::vector<JsonMember> kept;
    kept.reserve(members.size());
    for (std::size_t index = 0; index < members.size(); ++index) {
        if (index + 1 == members.size() || members[index + 1].key != members[index].key) kept.push_back(members[index]);
    }
    // Only the rare texts that are not UTF-8 are copied; a deque keeps the copies where they are.
    std::deque<std::string> repaired;
    for (JsonMember& member : kept) {
        if (!isValidUtf8(member.key)) member.key = repaired.emplace_back(withValidUtf8(member.key));
        if (!isValidUtf8(member.text)) member.text = repaired.emplace_back(withValidUtf8(member.text));
    }
    return replaceFile(path, permissionCeiling, [&](const TemporaryFile& file) {
        TemporaryFileBuffer buffer(file);
        std::ostream stream(&buffer);
        writeJsonMembers(kept, stream);
        return buffer.finish();
    });
}

void reportLine(std::ostream& stream, std::string_view message) { stream << message << std::endl; }
