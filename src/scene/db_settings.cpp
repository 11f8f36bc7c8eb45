// The per-user folder, the settings file and the root's own script names.
// (Work in progress: replaced by the full implementation.)
#include "scene/db.h"
#include "script/value.h"

namespace kq::scene {

struct TKQDB::Ini {};
void TKQDB::IniDeleter::operator()(Ini* ini) const {
    delete ini;
}

std::filesystem::path TKQDB::UserFolder() const {
    return {};
}
std::optional<std::string> TKQDB::GetIni(std::string_view, std::string_view, std::string_view) {
    return std::nullopt;
}
bool TKQDB::SetIni(std::string_view, std::string_view, std::string_view) {
    return false;
}
void TKQDB::SetMusicVolumeSetting(int32_t) {}
void TKQDB::SetSoundVolumeSetting(int32_t) {}
void TKQDB::SetFullScreenSetting(bool on) {
    runtime_.wantFullScreen = on;
}
void TKQDB::SetSystemCursorSetting(bool on) {
    runtime_.systemCursor = on;
}
void TKQDB::SetIniFile(const std::string& value) {
    IniFile = value;
}
bool TKQDB::GetProp(std::string_view name, script::Value& out) {
    return TKQElement::GetProp(name, out);
}
bool TKQDB::SetProp(std::string_view name, const script::Value& value) {
    return TKQElement::SetProp(name, value);
}

} // namespace kq::scene
