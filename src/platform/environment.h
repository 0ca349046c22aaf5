#pragma once

#include <string>
#include <string_view>

namespace quarnet {

struct EnvironmentValue {
    enum class State { Unset, NotUnicode, Set };
    State state = State::Unset;
    std::string value;  // UTF-8; filled only for State::Set
};

// The process environment (GetEnvironmentVariableW).
class Environment {
public:
    virtual ~Environment() = default;
    // A variable set to the empty text is Set with an empty value; one holding an
    // unpaired UTF-16 surrogate is NotUnicode.
    virtual EnvironmentValue read(std::string_view name) = 0;
};

}  // namespace quarnet
