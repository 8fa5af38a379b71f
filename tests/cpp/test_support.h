#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace test_support {

// What one call gave back, threw and printed on the two standard streams.
struct CapturedCall {
    std::string result;
    std::string thrown;
    std::string out;
    std::string err;
};

// The streams are released before any check runs, so gtest's own failure messages
// stay visible.
template <class Call>
CapturedCall captureCall(Call&& call) {
    CapturedCall captured;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    try {
        if constexpr (std::is_void_v<std::invoke_result_t<Call&>>) {
            call();
        } else {
            captured.result = call();
        }
    } catch (const std::exception& failure) {
        captured.thrown = failure.what();
    }
    captured.out = testing::internal::GetCapturedStdout();
    captured.err = testing::internal::GetCapturedStderr();
    return captured;
}

// A private directory that the test works in; removed with everything in it.
class TempDir {
public:
    TempDir() {
        std::random_device entropy;
        _path = std::filesystem::temp_directory_path() / ("quorvant-test-" + std::to_string(entropy()));
        std::filesystem::create_directories(_path);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(_path, ignored);
    }

    const std::filesystem::path& path() const { return _path; }
    std::string file(std::string_view name) const { return (_path / name).string(); }

private:
    std::filesystem::path _path;
};

// Makes `dir` the working directory for the lifetime of the object.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::filesystem::path& dir) : _previous(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;
    ~WorkingDirectory() { std::filesystem::current_path(_previous); }

private:
    std::filesystem::path _previous;
};

inline void writeFile(const std::string& path, std::string_view content) {
    std::ofstream out(path, std::ios::binary);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::vector<std::string> linesOf(const std::string& data) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < data.size()) {
        const std::size_t end = std::min(data.find('\n', start), data.size());
        lines.push_back(data.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// The sample files under `folder`, but for those kept local and the notes.
inline std::vector<std::filesystem::path> sampleFiles(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file() || entry.path().string().find("local-only") != std::string::npos ||
            entry.path().extension() == ".md") {
            continue;
        }
        files.push_back(entry.path());
    }
    return files;
}

}  // namespace test_support
