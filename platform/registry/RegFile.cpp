#include "platform/registry/RegFile.h"

namespace platform::registry {

RegFileError::RegFileError(size_t line, const std::string& reason)
    : std::runtime_error("line " + std::to_string(line) + ": " + reason), line(line) {}

RegFile ParseRegFile(std::string_view /*bytes*/) { throw RegFileError(1, "not implemented yet"); }

std::string WriteRegFile(const RegFile& /*file*/) { return {}; }

}  // namespace platform::registry
