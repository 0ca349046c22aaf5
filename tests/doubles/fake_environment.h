#pragma once
// A process environment the test fills in; every variable is unset until set.

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/environment.h"

namespace quarnet {

class FakeEnvironment : public Environment {
public:
    void set(const std::string& name, std::string value) {
        values_[name] = {EnvironmentValue::State::Set, std::move(value)};
    }
    // The variable holds an unpaired surrogate.
    void set_not_unicode(const std::string& name) { values_[name] = {EnvironmentValue::State::NotUnicode, {}}; }
    void unset(const std::string& name) { values_.erase(name); }

    std::vector<std::string> reads;  // names asked for, in order

    EnvironmentValue read(std::string_view name) override {
        reads.emplace_back(name);
        auto it = values_.find(std::string(name));
        if (it == values_.end()) return {};
        return it->second;
    }

private:
    std::map<std::string, EnvironmentValue, std::less<>> values_;
};

}  // namespace quarnet
