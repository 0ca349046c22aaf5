#include "store/file_in_use.h"

#include <algorithm>

namespace quarnet {

void InUseWait::begin() {
    began_ = clock_.now();
    next_wait_ = FIRST_IN_USE_WAIT;
    cancelled_ = false;
}

bool InUseWait::locked(const OsError& error) {
    return error.is_code(ERROR_CODE_SHARING_VIOLATION) || error.is_code(ERROR_CODE_LOCK_VIOLATION);
}

bool InUseWait::in_use(const OsError& error, Folder* folder, const std::string& name) {
    if (locked(error)) return true;
    if (!error.is_code(ERROR_CODE_ACCESS_DENIED)) return false;
    if (folder == nullptr) return true;
    auto info = folder->entry_info(name);
    return !info || (!info->directory && !info->reparse_point);
}

bool InUseWait::wait() {
    if (window_ != nullptr && window_->cancel_requested()) {
        cancelled_ = true;
        return false;
    }
    const auto spent = clock_.now() - began_;
    if (spent >= IN_USE_LIMIT) return false;
    const auto step = std::min(next_wait_, std::chrono::ceil<std::chrono::milliseconds>(IN_USE_LIMIT - spent));
    clock_.wait_milliseconds(static_cast<std::uint32_t>(step.count()));
    next_wait_ = std::min(next_wait_ * 2, LONGEST_IN_USE_WAIT);
    return true;
}

}  // namespace quarnet
