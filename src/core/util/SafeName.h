#pragma once

#include <string>
#include <string_view>

namespace talvix {

// A name from a disk made fit to be one path component of an output file: separators, NUL and
// control characters become '_', "", "." and ".." become "_", "__" and "___" ... never a path
// that leaves its folder. Cut to 255 bytes on a UTF-8 boundary, keeping a short extension.
std::string safeName(std::string_view name);

}  // namespace talvix
