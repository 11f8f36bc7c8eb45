// Saved game state of the root database.
// (Work in progress: replaced by the full implementation.)
#include "scene/db.h"

namespace kq::scene {

void TKQDB::SetFileRS(const std::string& value) {
    FileRS = value;
}
bool TKQDB::SaveState() {
    return false;
}
bool TKQDB::LoadState() {
    return false;
}

} // namespace kq::scene
