// Standard input as raw bytes, read as they come (a line typed on a terminal is not held
// back until a block is full).
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace qvr::tools {

// Up to `capacity` bytes, at least one unless the input has ended (0); none on failure.
std::optional<std::size_t> ReadInput(char* buffer, std::size_t capacity);

// All of standard input appended to `bytes`; false on failure.
bool ReadAllInput(std::string& bytes);

}  // namespace qvr::tools
