// AppController construction and the global instance pointer.
#include "app/app_controller_win32.h"

#include <utility>

#include "ui/control_window_win32.h"

namespace kelvane {

AppController* app_instance = nullptr;

AppController::AppController(HINSTANCE instance_handle, Settings initial_settings, bool pattern_mode,
                             bool no_capture_exclusion)
    : instance(instance_handle),
      settings(std::move(initial_settings)),
      pattern(pattern_mode),
      no_exclude(no_capture_exclusion) {
    app_instance = this;
}

unsigned AppController::run() {
    return run_application(*this);
}

}  // namespace kelvane
