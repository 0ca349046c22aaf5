#include "doubles/fake_file_system.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <utility>

namespace quarnet {

namespace {

struct Node {
    bool directory = false;
    bool read_only = false;
    std::string content;
    std::optional<Sharing> held;  // another program's handle
    bool link = false;            // a reparse point
    int held_by_us = 0;           // open handles that share reading only, and held folders
    bool foreign = false;         // owned by another user
    bool private_acl = false;     // made by create_private_directory
    bool ownerless = false;       // on a volume without security
};

// Our own handles share reading only: writing, deleting and renaming must wait.
bool held_here(const Node& node) { return node.held_by_us > 0; }

bool has_nul(const std::string& path) { return path.find('\0') != std::string::npos; }

// "X:" or "\\server\share".
bool is_root(const std::string& key) {
    if (key.size() == 2 && key[1] == ':') return true;
    if (key.rfind("\\\\", 0) == 0) {
        auto server_end = key.find('\\', 2);
        return server_end != std::string::npos && key.find('\\', server_end + 1) == std::string::npos;
    }
    return false;
}

// One spelling per path: "\" only, no doubled or trailing separators.
std::string normalize(const std::string& path) {
    std::string key;
    key.reserve(path.size());
    for (std::size_t i = 0; i < path.size(); ++i) {
        char c = path[i] == '/' ? '\\' : path[i];
        bool keeps_unc_prefix = i == 1 && !key.empty() && key[0] == '\\';
        if (c == '\\' && !key.empty() && key.back() == '\\' && !keeps_unc_prefix) continue;
        key += c;
    }
    while (key.size() > 1 && key.back() == '\\' && !(key.size() == 2 && key[0] == '\\')) key.pop_back();
    return key;
}

std::string parent_of(const std::string& key) {
    auto cut = key.rfind('\\');
    if (cut == std::string::npos || cut == 0) return {};
    return key.substr(0, cut);
}

std::unexpected<OsError> code(std::uint32_t value) { return std::unexpected(OsError::from_code(value)); }

// One name inside a folder, as Windows takes it relative to the folder's handle:
// nothing that leads out of it.
bool plain_name(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find_first_of("\\/") == std::string::npos;
}

}  // namespace

struct FakeFileSystem::State {
    std::map<std::string, std::shared_ptr<Node>> entries;  // by normalized path
    OsResult<std::string> temp = std::string(DEFAULT_TEMP_DIRECTORY);
    std::vector<ScriptedFailure> failures;
    std::vector<FsCall> calls;
    std::optional<std::size_t> write_limit;
    std::optional<std::uint64_t> capacity;
    DiskFullMode disk_full_mode = DiskFullMode::Error;

    std::shared_ptr<Node> find(const std::string& key) const {
        if (is_root(key)) {
            static const auto root = std::make_shared<Node>(Node{true, false, {}, {}});
            return root;
        }
        auto it = entries.find(key);
        return it == entries.end() ? nullptr : it->second;
    }

    bool parent_is_directory(const std::string& key) const {
        auto parent = parent_of(key);
        if (parent.empty()) return true;  // relative names live in the current folder
        auto node = find(parent);
        return node && node->directory;
    }

    // ERROR_FILE_NOT_FOUND, or ERROR_PATH_NOT_FOUND when the folder above is missing too.
    std::unexpected<OsError> missing(const std::string& key) const {
        return code(parent_is_directory(key) ? ERROR_CODE_FILE_NOT_FOUND : ERROR_CODE_PATH_NOT_FOUND);
    }

    // Logs the call, then answers with a NUL refusal or a scripted failure if one applies.
    std::optional<OsError> enter(FsOp op, const std::string& path, std::uint64_t size = 0, const std::string& to = {}) {
        calls.push_back({op, path, size, to});
        if (has_nul(path) || has_nul(to)) return OsError::interior_nul();
        for (auto& f : failures) {
            if (f.op != op || f.times <= 0) continue;
            if (!f.path.empty() && normalize(f.path) != normalize(path)) continue;
            if (f.skip > 0) {
                --f.skip;
                continue;
            }
            --f.times;
            return f.error;
        }
        return std::nullopt;
    }

    std::uint64_t used() const {
        std::uint64_t total = 0;
        for (const auto& [key, node] : entries) total += node->content.size();
        return total;
    }

    std::uint32_t names_of(const std::shared_ptr<Node>& node) const {
        return static_cast<std::uint32_t>(
            std::count_if(entries.begin(), entries.end(), [&](const auto& entry) { return entry.second == node; }));
    }

    std::string key_of(const std::shared_ptr<Node>& node) const {
        for (const auto& [key, entry] : entries) {
            if (entry == node) return key;
        }
        return {};
    }

    // A file of the program's own is one file of one name: a link or a second
    // name in its place is removed first, so nothing is written through it.
    std::shared_ptr<Node> own_file(const std::string& key) {
        auto node = find(key);
        if (node && (node->link || names_of(node) > 1)) {
            entries.erase(key);
            node = nullptr;
        }
        if (!node && parent_is_directory(key)) node = entries[key] = std::make_shared<Node>();
        return node;
    }

    void make_parents(const std::string& key) {
        for (auto parent = parent_of(key); !parent.empty() && !is_root(parent); parent = parent_of(parent)) {
            auto& slot = entries[parent];
            if (!slot) slot = std::make_shared<Node>(Node{true, false, {}, {}});
        }
    }
};

namespace {

enum class Mode : std::uint8_t { Reading, Writing, Appending, Held, Own };

OsResult<void> move_entry(FakeFileSystem::State& state, const std::string& from, const std::string& to);

// Every mode's file; only open_own hands one out as an OwnFile, with its folder.
class FakeFile final : public OwnFile {
public:
    FakeFile(std::shared_ptr<FakeFileSystem::State> state, std::shared_ptr<Node> node, std::string path, Mode mode)
        : state_(std::move(state)), node_(std::move(node)), path_(std::move(path)), mode_(mode) {
        if (holds()) ++node_->held_by_us;
    }
    ~FakeFile() override {
        if (holds()) --node_->held_by_us;
    }
    FakeFile(const FakeFile&) = delete;
    FakeFile& operator=(const FakeFile&) = delete;

    OsResult<std::size_t> read(std::span<std::byte> buffer) override {
        if (auto error = state_->enter(FsOp::Read, path_, buffer.size())) return std::unexpected(*error);
        if (mode_ == Mode::Writing || mode_ == Mode::Appending) return code(ERROR_CODE_ACCESS_DENIED);
        const auto& content = node_->content;
        if (position_ >= content.size()) return 0;
        std::size_t count = std::min(buffer.size(), content.size() - static_cast<std::size_t>(position_));
        std::memcpy(buffer.data(), content.data() + position_, count);
        position_ += count;
        return count;
    }

    OsResult<std::size_t> write(std::span<const std::byte> bytes) override {
        if (auto error = state_->enter(FsOp::Write, path_, bytes.size())) return std::unexpected(*error);
        if (mode_ == Mode::Reading || mode_ == Mode::Held) return code(ERROR_CODE_ACCESS_DENIED);
        auto& content = node_->content;
        if (mode_ == Mode::Appending) position_ = content.size();
        std::size_t accepted = bytes.size();
        if (state_->write_limit) accepted = std::min(accepted, *state_->write_limit);
        if (state_->capacity) {
            std::uint64_t used = state_->used();
            std::uint64_t room = *state_->capacity > used ? *state_->capacity - used : 0;
            std::uint64_t end_allowed = content.size() + room;
            std::uint64_t fits = end_allowed > position_ ? end_allowed - position_ : 0;
            if (fits < accepted) accepted = static_cast<std::size_t>(fits);
            if (accepted == 0 && !bytes.empty()) {
                if (state_->disk_full_mode == DiskFullMode::Error) return code(ERROR_CODE_DISK_FULL);
                return 0;
            }
        }
        if (content.size() < position_ + accepted) content.resize(static_cast<std::size_t>(position_ + accepted));
        std::memcpy(content.data() + position_, bytes.data(), accepted);
        position_ += accepted;
        return accepted;
    }

    OsResult<void> truncate(std::uint64_t length) override {
        if (auto error = state_->enter(FsOp::Truncate, path_, length)) return std::unexpected(*error);
        if (mode_ == Mode::Reading || mode_ == Mode::Held) return code(ERROR_CODE_ACCESS_DENIED);
        node_->content.resize(static_cast<std::size_t>(length));
        position_ = length;
        return {};
    }

    OsResult<std::uint64_t> length() override {
        if (auto error = state_->enter(FsOp::Length, path_)) return std::unexpected(*error);
        return node_->content.size();
    }

    // Wherever the file is now.
    OsResult<std::string> final_path() override { return "\\\\?\\" + state_->key_of(node_); }

    const std::shared_ptr<Node>& node() const { return node_; }
    const std::string& path() const { return path_; }
    void set_folder(std::shared_ptr<Node> folder) { folder_ = std::move(folder); }

    OsResult<void> rename_replacing(const std::string& name) override { return rename(name, FsOp::MoveReplacing); }
    OsResult<void> rename_replacing_in_use(const std::string& name) override {
        return rename(name, FsOp::RenameByHandle);
    }

private:
    bool holds() const { return mode_ == Mode::Held || mode_ == Mode::Appending || mode_ == Mode::Own; }

    // Through the file's own handle, within its folder wherever that is now: it
    // may rename what it holds itself.
    OsResult<void> rename(const std::string& name, FsOp op) {
        if (!plain_name(name)) {
            return code(ERROR_CODE_INVALID_NAME);
        }
        const std::string to = state_->key_of(folder_) + "\\" + name;
        if (auto error = state_->enter(op, path_, 0, to)) return std::unexpected(*error);
        --node_->held_by_us;
        auto moved = move_entry(*state_, state_->key_of(node_), to);
        ++node_->held_by_us;
        return moved;
    }

    std::shared_ptr<FakeFileSystem::State> state_;
    std::shared_ptr<Node> folder_;
    std::shared_ptr<Node> node_;
    std::string path_;
    Mode mode_;
    std::uint64_t position_ = 0;
};

// Yields "." and "..", then each entry whose name sorts after the last one given,
// so entries deleted or added while listing behave as on a real volume.
class FakeListing final : public DirectoryListing {
public:
    FakeListing(std::shared_ptr<FakeFileSystem::State> state, std::string folder_key)
        : state_(std::move(state)), prefix_(folder_key + "\\") {}

    std::optional<std::string> next() override {
        if (dots_ < 2) return ++dots_ == 1 ? "." : "..";
        auto it = last_ ? state_->entries.upper_bound(prefix_ + *last_) : state_->entries.lower_bound(prefix_);
        for (; it != state_->entries.end(); ++it) {
            if (it->first.compare(0, prefix_.size(), prefix_) != 0) return std::nullopt;
            std::string name = it->first.substr(prefix_.size());
            if (name.find('\\') != std::string::npos) continue;  // deeper down
            last_ = name;
            return name;
        }
        return std::nullopt;
    }

private:
    std::shared_ptr<FakeFileSystem::State> state_;
    std::string prefix_;
    int dots_ = 0;
    std::optional<std::string> last_;
};

}  // namespace

FakeFileSystem::FakeFileSystem() : state_(std::make_shared<State>()) { add_directory(DEFAULT_TEMP_DIRECTORY); }
FakeFileSystem::~FakeFileSystem() = default;

void FakeFileSystem::set_temp_directory(std::string path) { state_->temp = std::move(path); }
void FakeFileSystem::set_temp_directory_error(OsError error) { state_->temp = std::unexpected(error); }

void FakeFileSystem::add_file(const std::string& path, std::string content, bool read_only) {
    auto key = normalize(path);
    state_->make_parents(key);
    state_->entries[key] = std::make_shared<Node>(Node{false, read_only, std::move(content), {}});
}

void FakeFileSystem::add_directory(const std::string& path) {
    auto key = normalize(path);
    if (is_root(key)) return;
    state_->make_parents(key);
    auto& slot = state_->entries[key];
    if (!slot || !slot->directory) slot = std::make_shared<Node>(Node{true, false, {}, {}});
}

void FakeFileSystem::add_hard_link(const std::string& existing, const std::string& path) {
    auto node = state_->find(normalize(existing));
    if (!node) return;
    auto key = normalize(path);
    state_->make_parents(key);
    state_->entries[key] = node;
}

void FakeFileSystem::add_link(const std::string& path, bool to_directory) {
    auto key = normalize(path);
    state_->make_parents(key);
    state_->entries[key] = std::make_shared<Node>(Node{to_directory, false, {}, {}, true, 0});
}

void FakeFileSystem::hold_open(const std::string& path, Sharing sharing) {
    if (auto node = state_->find(normalize(path))) node->held = sharing;
}

void FakeFileSystem::release(const std::string& path) {
    if (auto node = state_->find(normalize(path))) node->held.reset();
}

void FakeFileSystem::fail(ScriptedFailure failure) { state_->failures.push_back(std::move(failure)); }
void FakeFileSystem::set_write_limit(std::optional<std::size_t> bytes) { state_->write_limit = bytes; }
void FakeFileSystem::set_capacity(std::optional<std::uint64_t> bytes, DiskFullMode mode) {
    state_->capacity = bytes;
    state_->disk_full_mode = mode;
}

std::optional<std::string> FakeFileSystem::content(const std::string& path) const {
    auto node = state_->find(normalize(path));
    if (!node || node->directory) return std::nullopt;
    return node->content;
}

bool FakeFileSystem::exists(const std::string& path) const { return state_->find(normalize(path)) != nullptr; }

bool FakeFileSystem::is_directory(const std::string& path) const {
    auto node = state_->find(normalize(path));
    return node && node->directory;
}

bool FakeFileSystem::is_read_only(const std::string& path) const {
    auto node = state_->find(normalize(path));
    return node && node->read_only;
}

bool FakeFileSystem::is_link(const std::string& path) const {
    auto node = state_->find(normalize(path));
    return node && node->link;
}

std::vector<std::string> FakeFileSystem::names_in(const std::string& folder) const {
    std::vector<std::string> names;
    FakeListing listing(state_, normalize(folder));
    while (auto name = listing.next()) {
        if (*name != "." && *name != "..") names.push_back(*name);
    }
    return names;
}

const std::vector<FsCall>& FakeFileSystem::calls() const { return state_->calls; }

std::vector<FsCall> FakeFileSystem::calls_of(FsOp op, const std::string& path) const {
    std::vector<FsCall> matching;
    for (const auto& call : state_->calls) {
        if (call.op == op && (path.empty() || normalize(call.path) == normalize(path))) matching.push_back(call);
    }
    return matching;
}

std::vector<std::uint64_t> FakeFileSystem::read_sizes(const std::string& path) const {
    std::vector<std::uint64_t> sizes;
    for (const auto& call : calls_of(FsOp::Read, path)) sizes.push_back(call.size);
    return sizes;
}

OsResult<std::string> FakeFileSystem::temp_directory() {
    if (auto error = state_->enter(FsOp::TempDirectory, {})) return std::unexpected(*error);
    return state_->temp;
}

OsResult<void> FakeFileSystem::create_directory(const std::string& path) {
    if (auto error = state_->enter(FsOp::CreateDirectory, path)) return std::unexpected(*error);
    auto key = normalize(path);
    if (is_root(key)) return code(ERROR_CODE_ACCESS_DENIED);
    if (state_->find(key)) return code(ERROR_CODE_ALREADY_EXISTS);
    if (!state_->parent_is_directory(key)) return code(ERROR_CODE_PATH_NOT_FOUND);
    state_->entries[key] = std::make_shared<Node>(Node{true, false, {}, {}});
    return {};
}

OsResult<FileInfo> FakeFileSystem::file_info(const std::string& path) {
    if (auto error = state_->enter(FsOp::FileInfo, path)) return std::unexpected(*error);
    auto key = normalize(path);
    auto node = state_->find(key);
    if (!node) return state_->missing(key);
    // Opened with no access at all, so no share mode of another handle stands in the way.
    return FileInfo{node->directory, node->read_only, node->directory ? 0 : node->content.size()};
}

OsResult<FileInfo> FakeFileSystem::entry_info(const std::string& path) {
    if (auto error = state_->enter(FsOp::EntryInfo, path)) return std::unexpected(*error);
    auto key = normalize(path);
    auto node = state_->find(key);
    if (!node) return state_->missing(key);
    FileInfo info{node->directory, node->read_only, node->directory ? 0 : node->content.size()};
    info.reparse_point = node->link;
    info.links = state_->names_of(node);
    return info;
}

OsResult<HeldFile> FakeFileSystem::open_held(const std::string& path) {
    if (auto error = state_->enter(FsOp::OpenHeld, path)) return std::unexpected(*error);
    auto info = entry_info(path);
    state_->calls.pop_back();  // entry_info is this call's own look, not the caller's
    if (!info) return std::unexpected(info.error());
    auto node = state_->find(normalize(path));
    if (node->directory) return code(ERROR_CODE_ACCESS_DENIED);
    // Another program's handle has write access, which reading-only sharing refuses.
    if (node->held) return code(ERROR_CODE_SHARING_VIOLATION);
    HeldFile held;
    held.file = std::make_unique<FakeFile>(state_, node, path, Mode::Held);
    held.reparse_point = info->reparse_point;
    held.links = info->links;
    return held;
}

OsResult<std::unique_ptr<File>> FakeFileSystem::open_for_reading(const std::string& path) {
    if (auto error = state_->enter(FsOp::OpenForReading, path)) return std::unexpected(*error);
    auto key = normalize(path);
    auto node = state_->find(key);
    if (!node) return state_->missing(key);
    if (node->directory) return code(ERROR_CODE_ACCESS_DENIED);
    if (node->held && !node->held->read) return code(ERROR_CODE_SHARING_VIOLATION);
    return std::make_unique<FakeFile>(state_, node, path, Mode::Reading);
}

OsResult<std::unique_ptr<File>> FakeFileSystem::open_emptied(const std::string& path) {
    if (auto error = state_->enter(FsOp::OpenEmptied, path)) return std::unexpected(*error);
    auto key = normalize(path);
    auto node = state_->own_file(key);
    if (!node) return code(ERROR_CODE_PATH_NOT_FOUND);
    if (node->directory || node->read_only) return code(ERROR_CODE_ACCESS_DENIED);
    if ((node->held && !node->held->write) || held_here(*node)) return code(ERROR_CODE_SHARING_VIOLATION);
    node->content.clear();
    return std::make_unique<FakeFile>(state_, node, path, Mode::Writing);
}

OsResult<std::unique_ptr<File>> FakeFileSystem::open_for_appending(const std::string& path) {
    if (auto error = state_->enter(FsOp::OpenForAppending, path)) return std::unexpected(*error);
    auto key = normalize(path);
    auto node = state_->find(key);
    if (!node) {
        if (!state_->parent_is_directory(key)) return code(ERROR_CODE_PATH_NOT_FOUND);
        node = state_->entries[key] = std::make_shared<Node>();
    }
    if (node->directory || node->read_only) return code(ERROR_CODE_ACCESS_DENIED);
    // Shared for reading only: another program's write access stands in the way.
    if (node->held || held_here(*node)) return code(ERROR_CODE_SHARING_VIOLATION);
    return std::make_unique<FakeFile>(state_, node, path, Mode::Appending);
}

OsResult<void> FakeFileSystem::delete_file(const std::string& path) {
    if (auto error = state_->enter(FsOp::Delete, path)) return std::unexpected(*error);
    auto key = normalize(path);
    auto node = state_->find(key);
    if (!node) return state_->missing(key);
    if (!node->link && (node->directory || node->read_only)) return code(ERROR_CODE_ACCESS_DENIED);
    if ((node->held && !node->held->del) || held_here(*node)) return code(ERROR_CODE_SHARING_VIOLATION);
    state_->entries.erase(key);  // a link goes as a link
    return {};
}

OsResult<void> FakeFileSystem::clear_read_only(const std::string& path) {
    if (auto error = state_->enter(FsOp::ClearReadOnly, path)) return std::unexpected(*error);
    auto key = normalize(path);
    auto node = state_->find(key);
    if (!node) return state_->missing(key);
    node->read_only = false;
    return {};
}

OsResult<std::unique_ptr<DirectoryListing>> FakeFileSystem::list_directory(const std::string& folder) {
    if (auto error = state_->enter(FsOp::ListDirectory, folder)) return std::unexpected(*error);
    auto key = normalize(folder);
    auto node = state_->find(key);
    if (!node || !node->directory) return code(ERROR_CODE_PATH_NOT_FOUND);
    return std::make_unique<FakeListing>(state_, key);
}

namespace {

OsResult<void> move_entry(FakeFileSystem::State& state, const std::string& from, const std::string& to) {
    auto from_key = normalize(from);
    auto to_key = normalize(to);
    auto node = state.find(from_key);
    if (!node) return state.missing(from_key);
    if ((node->held && !node->held->del) || held_here(*node)) return code(ERROR_CODE_SHARING_VIOLATION);
    if (from_key == to_key) return {};
    if (auto target = state.find(to_key)) {
        if (target->directory || target->read_only) return code(ERROR_CODE_ACCESS_DENIED);
        if ((target->held && !target->held->del) || held_here(*target)) return code(ERROR_CODE_ACCESS_DENIED);
    } else if (!state.parent_is_directory(to_key)) {
        return code(ERROR_CODE_PATH_NOT_FOUND);
    }
    state.entries.erase(from_key);
    state.entries[to_key] = std::move(node);
    return {};
}

}  // namespace

OsResult<void> FakeFileSystem::move_replacing(const std::string& from, const std::string& to) {
    if (auto error = state_->enter(FsOp::MoveReplacing, from, 0, to)) return std::unexpected(*error);
    return move_entry(*state_, from, to);
}

namespace {

// A folder held by its node: wherever the folder is moved, its entries are
// reached there, and it cannot be moved or deleted by path while held.
class FakeFolder final : public Folder {
public:
    FakeFolder(FakeFileSystem& files, std::shared_ptr<FakeFileSystem::State> state, std::shared_ptr<Node> node,
               bool removable)
        : files_(files), state_(std::move(state)), node_(std::move(node)), removable_(removable) {
        ++node_->held_by_us;
    }
    ~FakeFolder() override { --node_->held_by_us; }
    FakeFolder(const FakeFolder&) = delete;
    FakeFolder& operator=(const FakeFolder&) = delete;

    OsResult<std::unique_ptr<DirectoryListing>> list() override { return files_.list_directory(key()); }
    OsResult<FileInfo> entry_info(const std::string& name) override { return files_.entry_info(TRY(at(name))); }
    OsResult<HeldFile> open_held(const std::string& name) override { return files_.open_held(TRY(at(name))); }
    OsResult<std::unique_ptr<File>> open_emptied(const std::string& name) override {
        return files_.open_emptied(TRY(at(name)));
    }
    OsResult<void> delete_entry(const std::string& name) override { return files_.delete_file(TRY(at(name))); }
    OsResult<void> clear_read_only(const std::string& name) override { return files_.clear_read_only(TRY(at(name))); }

    OsResult<std::unique_ptr<OwnFile>> open_own(const std::string& name) override {
        const std::string path = TRY(at(name));
        if (auto error = state_->enter(FsOp::OpenOwn, path)) return std::unexpected(*error);
        auto node = state_->own_file(normalize(path));
        if (!node) return code(ERROR_CODE_PATH_NOT_FOUND);
        if (node->directory || node->read_only) return code(ERROR_CODE_ACCESS_DENIED);
        if (node->held || held_here(*node)) return code(ERROR_CODE_SHARING_VIOLATION);
        auto own = std::make_unique<FakeFile>(state_, node, path, Mode::Own);
        own->set_folder(node_);
        return own;
    }

    OsResult<std::uint64_t> free_space() override {
        const std::uint64_t capacity = state_->capacity.value_or(std::uint64_t{1} << 40);
        return capacity - std::min(capacity, state_->used());
    }

    OsResult<void> remove() override {
        const std::string key = this->key();
        if (auto error = state_->enter(FsOp::RemoveFolder, key)) return std::unexpected(*error);
        if (!removable_) return code(ERROR_CODE_ACCESS_DENIED);
        if (!node_->link && !files_.names_in(key).empty()) return code(145);  // ERROR_DIR_NOT_EMPTY
        state_->entries.erase(key);
        return {};
    }

    OsResult<void> make_private() override {
        node_->private_acl = true;
        return {};
    }

private:
    std::string key() const { return state_->key_of(node_); }
    OsResult<std::string> at(const std::string& name) const {
        if (!plain_name(name)) {
            return code(ERROR_CODE_INVALID_NAME);
        }
        return key() + "\\" + name;
    }

    FakeFileSystem& files_;
    std::shared_ptr<FakeFileSystem::State> state_;
    std::shared_ptr<Node> node_;
    bool removable_;
};

}  // namespace

OsResult<void> FakeFileSystem::create_private_directory(const std::string& path) {
    auto created = create_directory(path);
    if (created) state_->find(normalize(path))->private_acl = true;
    return created;
}

OsResult<OpenedFolder> FakeFileSystem::open_folder(const std::string& path, FolderUse use) {
    if (auto error = state_->enter(FsOp::OpenFolder, path)) return std::unexpected(*error);
    auto key = normalize(path);
    auto node = state_->find(key);
    if (!node) return state_->missing(key);
    // Removing asks for delete access, which a held folder does not share.
    if (use == FolderUse::Remove && held_here(*node)) return code(ERROR_CODE_SHARING_VIOLATION);
    OpenedFolder opened;
    opened.directory = node->directory;
    opened.reparse_point = node->link;
    opened.owner = node->foreign ? FolderOwner::Stranger : node->ownerless ? FolderOwner::None : FolderOwner::Trusted;
    opened.folder = std::make_unique<FakeFolder>(*this, state_, node, use == FolderUse::Remove);
    return opened;
}

void FakeFileSystem::add_foreign_directory(const std::string& path) {
    add_directory(path);
    state_->find(normalize(path))->foreign = true;
}

void FakeFileSystem::add_ownerless_directory(const std::string& path) {
    add_directory(path);
    state_->find(normalize(path))->ownerless = true;
}

void FakeFileSystem::move_tree(const std::string& from, const std::string& to) {
    const std::string from_key = normalize(from);
    const std::string to_key = normalize(to);
    std::map<std::string, std::shared_ptr<Node>> moved;
    for (auto it = state_->entries.begin(); it != state_->entries.end();) {
        if (it->first == from_key || it->first.starts_with(from_key + "\\")) {
            moved[to_key + it->first.substr(from_key.size())] = it->second;
            it = state_->entries.erase(it);
        } else {
            ++it;
        }
    }
    state_->entries.merge(moved);
}

std::unique_ptr<Folder> FakeFileSystem::held_folder(const std::string& path) {
    auto opened = open_folder(path, FolderUse::Hold);
    state_->calls.pop_back();  // set up by the test, not a call of the program's
    return opened ? std::move(opened->folder) : nullptr;
}

bool FakeFileSystem::is_private(const std::string& path) const {
    auto node = state_->find(normalize(path));
    return node && node->private_acl;
}

}  // namespace quarnet
