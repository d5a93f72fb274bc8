// The modal loop of pop-up menus and the file dialog: posted messages keep being
// dispatched in order, and sent ones served, until the surface says it is done.
#pragma once

#include <functional>

namespace murmel::gui {

// Returns when `done` is true, or when WM_QUIT arrives (it stays posted for the outer loop;
// the result is then false).
bool RunModalLoop(const std::function<bool()>& done);

}  // namespace murmel::gui
