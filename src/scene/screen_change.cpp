// Screen changes of the root database.
// (Work in progress: replaced by the full implementation.)
#include "scene/db.h"

namespace kq::scene {

void TKQDB::FinishScreenChange() {}
void TKQDB::MarkAlwaysLoaded() {}

} // namespace kq::scene
