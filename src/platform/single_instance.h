#pragma once
// One copy of the program per user session: a claim held for the life of the process.

#include <cstdint>
#include <string>

namespace quarnet {

enum class InstanceClaim : std::uint8_t {
    Taken,      // ours now
    Abandoned,  // ours now; the copy that held it ended without letting go (it was killed)
    HeldElsewhere,
    Denied,       // the name may not even be opened: another's object shuts us out
    Unavailable,  // the claim could not be made at all
};

class SingleInstance {
public:
    virtual ~SingleInstance() = default;
    // The named mutex Local\Quarnet-setup, taken without waiting and held until the process ends.
    virtual InstanceClaim claim() = 0;
    // Brings the top-level window of that caption to the foreground, where Windows
    // lets it; false when there is no such window.
    virtual bool bring_forward(const std::u16string& caption) = 0;
};

}  // namespace quarnet
