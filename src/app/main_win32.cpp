// Process entry: start-up order, single-instance guard, settings and command line, shutdown.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "app/application_win32.h"
#include "app/command_line.h"
#include "app/remote_sender_win32.h"
#include "platform/crash_handler_win32.h"
#include "platform/dpi_win32.h"
#include "platform/log.h"
#include "platform/os_version.h"
#include "display/monitor_list.h"
#include "platform/unique_handle_win32.h"
#include "platform/utf8.h"
#include "settings/settings.h"

namespace {

constexpr wchar_t single_instance_name[] = L"Kelvane2SingleInstance";
constexpr int exit_com_failed = 1;
constexpr int exit_already_running = 2;
constexpr int exit_no_running_copy = 3;
constexpr int exit_unknown_command = 4;

// --send: the exit code when the command was handed over (or could not be), none when this process is
// to start as the running copy instead.
std::optional<int> send_command(kelvane::CommandLineOptions& options) {
    using namespace kelvane;
    const std::optional<RemoteCommand> command = remote_command_from_name(wide_to_utf8(options.send_command));
    if (!command) {
        open_log(LogOpenMode::append);
        log_message("send: unknown command");
        return exit_unknown_command;
    }
    switch (send_to_running_copy(*command)) {
        case SendResult::delivered:
            return 0;
        case SendResult::unanswered:
            return exit_no_running_copy;
        case SendResult::no_copy:
            break;
    }
    // A button that switches the mirror on works also before Kelvane2 runs.
    if (*command == RemoteCommand::on || *command == RemoteCommand::toggle) {
        options.force_active = true;
        return std::nullopt;
    }
    open_log(LogOpenMode::append);
    log_message("send: %s: no running copy", remote_command_name(*command));
    return exit_no_running_copy;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*command_line*/, int /*show*/) {
    using namespace kelvane;

    // Started again by the running copy to watch it for a crash: nothing else of the program runs.
    if (const std::optional<int> code = run_crash_watcher_if_asked()) {
        return *code;
    }

    // From here on every window and monitor coordinate is in physical pixels.
    platform::set_per_monitor_dpi_awareness();

    CommandLineOptions options = parse_command_line();
    if (options.send) {
        if (const std::optional<int> code = send_command(options)) {
            return *code;
        }
    }

    // The guard comes before the log is opened, so that a second copy adds its line to the running
    // instance's log instead of emptying it.
    SetLastError(ERROR_SUCCESS);
    UniqueHandle guard(CreateMutexW(nullptr, TRUE, single_instance_name));
    // An elevated copy's guard cannot be opened by this one: access denied means it runs all the same.
    const DWORD guard_error = GetLastError();
    if (guard_error == ERROR_ALREADY_EXISTS || guard_error == ERROR_ACCESS_DENIED) {
        open_log(LogOpenMode::append);
        log_message("another instance is running; exiting");
        return exit_already_running;
    }

    open_log(LogOpenMode::truncate);
    log_message("Kelvane2 starting");
    const std::wstring folder = data_folder();
    install_crash_handler(folder.empty() ? std::wstring() : log_file_path(folder));

    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(com)) {
        log_failed_call("CoInitializeEx", com);
        return exit_com_failed;
    }

    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_BAR_CLASSES | ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&controls);

    Settings settings;
    // Before the first run there is no settings file: every start saves one.
    const std::wstring settings_file = settings_path();
    const bool first_start = !settings_file.empty() &&
                             GetFileAttributesW(settings_file.c_str()) == INVALID_FILE_ATTRIBUTES &&
                             (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND);
    const bool settings_read = load_settings(settings);
    if (!options.monitor_arg.empty()) {
        // An argument that matches nothing is logged there and keeps the saved monitor.
        const std::vector<MonitorEntry> monitors = enumerate_monitors();
        std::wstring resolved = resolve_monitor_argument(options.monitor_arg);
        if (!resolved.empty()) {
            const int chosen = find_monitor_by_name(monitors, resolved);
            settings.monitor_id = chosen >= 0 ? monitors[static_cast<std::size_t>(chosen)].id : std::wstring();
            settings.monitor = std::move(resolved);
        }
    }
    apply_source_arguments(options, enumerate_monitors(), settings);
    apply_active_overrides(options, settings);

    // The application outlives the mutex and COM, as the shutdown order asks; its session thread has
    // been joined inside run.
    auto app = std::make_unique<Application>(instance, std::move(settings), options.pattern, options.no_exclude);
    if (!settings_read) {
        app->notify_at_start(Notice::settings_unreadable);
    }
    if (first_start) {
        app->controller().first_start();
    }
    OsVersion version;
    if (read_os_version(version)) {
        log_message("windows: version %u.%u build %u", version.major, version.minor, version.build);
        // Before that build the system captures an excluded window as black: the mirror would show
        // black forever.
        if (!excludes_from_capture(version) && options.no_exclude) {
            log_message("windows: too old to exclude the overlay from capture; running because exclusion is off");
        } else if (!excludes_from_capture(version)) {
            log_message(
                "windows: too old to exclude the overlay from capture; the mirror stays off over the monitor it "
                "captures");
            app->controller().refuse_mirror(Notice::old_windows);
        }
    }
    const int code = static_cast<int>(app->run());

    log_message("Kelvane2 exiting (%d)", code);
    CoUninitialize();
    guard.reset();
    app.reset();
    return code;
}
