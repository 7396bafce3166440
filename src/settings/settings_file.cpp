// The settings file on disk: reading it (with retries and a size limit), the atomic save, and the
// refusal to save over a file that could not be read.
#include "settings/settings.h"

#include <cstdio>
#include <mutex>
#include <set>
#include <string>

#include "platform/log.h"
#include "platform/platform.h"
#include "platform/utf8.h"

namespace kelvane {
namespace {

enum class ReadOutcome { complete, too_large, failed };

// Reads no more than one byte past the limit: a huge file is refused without being read whole.
ReadOutcome read_limited(std::FILE* file, std::string& text) {
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        text.append(buffer, got);
        if (text.size() > settings_file_limit) {
            return ReadOutcome::too_large;
        }
    }
    return std::ferror(file) == 0 ? ReadOutcome::complete : ReadOutcome::failed;
}

// Settings files that could not be read this run: saving over them would replace the user's values
// with defaults. Loading and saving run on the user-interface thread; the lock is for tests.
struct RefusedPaths {
    std::mutex lock;
    std::set<std::wstring> paths;
};

RefusedPaths& refused_paths() {
    static RefusedPaths refused;
    return refused;
}

void refuse_saving_over(const std::wstring& path) {
    RefusedPaths& refused = refused_paths();
    const std::lock_guard<std::mutex> guard(refused.lock);
    refused.paths.insert(path);
}

void allow_saving_over(const std::wstring& path) {
    RefusedPaths& refused = refused_paths();
    const std::lock_guard<std::mutex> guard(refused.lock);
    refused.paths.erase(path);
}

bool saving_refused(const std::wstring& path) {
    RefusedPaths& refused = refused_paths();
    const std::lock_guard<std::mutex> guard(refused.lock);
    return refused.paths.count(path) != 0;
}

}  // namespace

std::wstring settings_path() {
    const std::wstring folder = data_folder();
    if (folder.empty()) {
        return {};
    }
    return folder + platform::path_separator + L"settings.ini";
}

bool load_settings(Settings& settings) {
    return load_settings_from(settings_path(), settings);
}

bool save_settings(const Settings& settings) {
    return save_settings_to(settings_path(), settings);
}

bool load_settings_from(const std::wstring& path, Settings& settings, SettingsFiles& files) {
    if (path.empty()) {
        return true;
    }
    std::FILE* file = nullptr;
    for (int attempt = 1;; ++attempt) {
        unsigned long error = 0;
        file = files.open_for_reading(path, error);
        if (file != nullptr) {
            break;
        }
        if (platform::classify_file_error(error) == platform::FileFailure::missing) {
            allow_saving_over(path);
            log_message("settings: no file yet (first run), using defaults");
            return true;
        }
        if (attempt == settings_open_attempts) {
            refuse_saving_over(path);
            log_message("settings: cannot read the file (err=%lu); using defaults, not saving over it this run", error);
            return false;
        }
        files.pause(settings_open_pause_ms);
    }
    std::string text;
    const ReadOutcome outcome = read_limited(file, text);
    std::fclose(file);
    if (outcome == ReadOutcome::too_large) {
        refuse_saving_over(path);
        log_message("settings: file larger than 64 KiB; using defaults, not saving over it this run");
        return false;
    }
    if (outcome == ReadOutcome::failed) {
        // Half a file could set some values and miss others: take none of it.
        refuse_saving_over(path);
        log_message("settings: read error; using defaults, not saving over it this run");
        return false;
    }
    allow_saving_over(path);
    apply_settings_text(text, settings);
    log_message("settings: loaded (monitor='%s' active=%d mirrorH=%d mirrorV=%d ktb=%.3f klr=%.3f rot=%.1f)",
                wide_to_utf8(settings.monitor).c_str(), settings.active ? 1 : 0, settings.warp.mirror_h ? 1 : 0,
                settings.warp.mirror_v ? 1 : 0, static_cast<double>(settings.warp.keystone_tb),
                static_cast<double>(settings.warp.keystone_lr), static_cast<double>(settings.warp.rotation));
    return true;
}

bool save_settings_to(const std::wstring& path, const Settings& settings, SettingsFiles& files) {
    if (path.empty() || saving_refused(path)) {
        return false;  // the refusal was logged when the file could not be read
    }
    const std::wstring temp = path + L".tmp";
    std::FILE* file = platform::open_file_shared(temp, L"wb");
    if (file == nullptr) {
        log_message("settings: failed to open temp file for write");
        return false;
    }
    const std::string text = format_settings_text(settings);
    bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (written) {
        // Some file systems (network shares, RAM disks) cannot flush: the data is still written.
        const unsigned long flush_error = files.flush_to_disk(file);
        written = flush_error == 0 || platform::classify_file_error(flush_error) == platform::FileFailure::unsupported;
    }
    written = written && std::ferror(file) == 0;
    // A failed close can lose buffered data too, so it counts as a failed write.
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        log_message("settings: write to temp file failed");
        return false;
    }
    unsigned long error = 0;
    for (int attempt = 1;; ++attempt) {
        error = files.replace(temp, path);
        if (error == 0) {
            return true;
        }
        // A virus scanner or a backup that has the file open lets go within moments.
        if (attempt == settings_replace_attempts ||
            platform::classify_file_error(error) != platform::FileFailure::busy) {
            break;
        }
        files.pause(settings_replace_pause_ms);
    }
    log_message("settings: atomic rename failed, err=%lu", error);
    platform::delete_file(temp);
    return false;
}

std::FILE* SettingsFiles::open_for_reading(const std::wstring& path, unsigned long& error) {
    return platform::open_file_for_reading(path, error);
}

unsigned long SettingsFiles::flush_to_disk(std::FILE* file) {
    return platform::flush_file_to_disk(file);
}

unsigned long SettingsFiles::replace(const std::wstring& source, const std::wstring& target) {
    return platform::replace_file(source, target);
}

void SettingsFiles::pause(unsigned milliseconds) {
    platform::sleep_ms(milliseconds);
}

SettingsFiles& system_settings_files() {
    static SettingsFiles files;
    return files;
}

}  // namespace kelvane
