// The double against the contract that the Windows implementation meets under Wine.

#include "contract/file_system_contract.h"
#include "doubles/fake_file_system.h"

namespace quarnet {
namespace {

class FakeEnvironment {
public:
    FileSystem& files() { return files_; }
    std::string new_folder() {
        files_.add_directory("C:\\Contract");
        return "C:\\Contract";
    }
    void hold(const std::string& path, Sharing sharing) { files_.hold_open(path, sharing); }
    void release(const std::string& path) { files_.release(path); }
    void make_read_only(const std::string& path) { files_.add_file(path, files_.content(path).value(), true); }
    bool make_link(const std::string& path, const std::string& target) {
        files_.add_link(path, files_.is_directory(target));
        return true;
    }

private:
    FakeFileSystem files_;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Fake, FileSystemContract, FakeEnvironment);

}  // namespace
}  // namespace quarnet
