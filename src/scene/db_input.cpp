// Keys, typed characters and cheat codes of the root database.
// (Work in progress: replaced by the full implementation.)
#include "scene/db.h"

namespace kq::scene {

void TKQDB::CharInput(uint16_t) {}
void TKQDB::KeyDown(int32_t code) {
    runtime_.keyDowned = code;
}
void TKQDB::Exit() {}
void TKQDB::LIProcess() {}

} // namespace kq::scene
