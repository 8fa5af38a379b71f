#include "io/file_path.h"

bool namesNoFile(const std::string& path) { return path.find('\0') != std::string::npos; }
