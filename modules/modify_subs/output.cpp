#include "output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <ostream>
#include <random>
#include <sstream>
#include <utility>

#include <json/writer.h>

#include "utf8_text.h"

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

}  // namespace

std::string exportDocumentText(Json::Value document) {
    repairTexts(document);
    Json::StreamWriterBuilder writerBuilder;
    writerBuilder["indentation"] = "  ";
    const std::unique_ptr<Json::StreamWriter> writer(writerBuilder.newStreamWriter());
    std::ostringstream text;
    writer->write(document, &text);
    // Moved out, not copied: for a large file the text is as big as the document.
    return std::move(text).str();
}

namespace {

// A fresh file beside the target that is removed again unless it is committed.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::string& target) {
        const std::size_t slash = target.find_last_of('/');
        const std::string directory = slash == std::string::npos ? "" : target.substr(0, slash + 1);
        // Keep the temporary name within NAME_MAX even for a target name close to it.
        const std::string base = target.substr(directory.size(), 200);
        std::random_device entropy;
        for (int attempt = 0; attempt < 16 && _fd < 0; ++attempt) {
            _path = directory + "." + base + "." + std::to_string(entropy()) + ".tmp";
            _fd = ::open(_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (_fd < 0 && errno != EEXIST) break;
        }
        _created = _fd >= 0;
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        if (_fd >= 0) ::close(_fd);
        if (_created && !_committed) ::unlink(_path.c_str());
    }

    bool isOpen() const { return _fd >= 0; }

    bool writeAll(std::string_view content) {
        while (!content.empty()) {
            const ssize_t written = ::write(_fd, content.data(), content.size());
            if (written < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            content.remove_prefix(static_cast<std::size_t>(written));
        }
        return true;
    }

    bool commitAs(const std::string& target) {
        const int fd = std::exchange(_fd, -1);
        if (::close(fd) != 0) return false;
        _committed = ::rename(_path.c_str(), target.c_str()) == 0;
        return _committed;
    }

private:
    std::string _path;
    int _fd = -1;
    bool _created = false;
    bool _committed = false;
};

}  // namespace

bool writeWholeFile(const std::string& path, std::string_view content) {
    TemporaryFile file(path);
    return file.isOpen() && file.writeAll(content) && file.commitAs(path);
}

void reportLine(std::ostream& stream, std::string_view message) {
    stream << message << std::endl;
}
