#include "media/load_error.h"

#include <fmt/format.h>

namespace kq::media {

std::string LoadError::Where() const {
    switch (problem) {
    case Problem::Unreadable:
        return fmt::format("cannot be read: {}", what);
    case Problem::Truncated:
        return fmt::format("is truncated at byte {}: {}", offset, what);
    case Problem::Corrupt:
        break;
    }
    return fmt::format("is corrupt at byte {}: {}", offset, what);
}

std::string LoadError::Message(std::string_view kind) const {
    return fmt::format("{} file {} {}", kind, file.empty() ? "(in memory)" : file, Where());
}

} // namespace kq::media
