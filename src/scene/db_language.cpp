// Languages, the sound table and the Unicode text mode of the root database.
// (Work in progress: replaced by the full implementation.)
#include "scene/db.h"

namespace kq::scene {

struct TKQDB::UnicodeData {};
void TKQDB::UnicodeDeleter::operator()(UnicodeData* data) const {
    delete data;
}

std::string TKQDB::Translate(std::string_view) const {
    return {};
}
TKQDB::SoundRef TKQDB::SoundEntry(std::string_view) const {
    return {};
}
bool TKQDB::UnicodeMode() const {
    return unicode_ != nullptr;
}
void TKQDB::SetLang(const std::string& value) {
    Lang = value;
}
void TKQDB::SetSoundFile(const std::string& value) {
    SoundFile = value;
}

} // namespace kq::scene
