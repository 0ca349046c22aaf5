#pragma once
// The one-copy claim with a scripted answer; records where it sent the user.

#include <string>
#include <vector>

#include "platform/single_instance.h"
#include "platform/text.h"

namespace quarnet {

class FakeSingleInstance final : public SingleInstance {
public:
    InstanceClaim answer = InstanceClaim::Taken;
    int claims = 0;
    std::vector<std::string> brought_forward;  // captions, UTF-8

    InstanceClaim claim() override {
        ++claims;
        return answer;
    }
    bool bring_forward(const std::u16string& caption) override {
        brought_forward.push_back(to_utf8_lossy(caption));
        return true;
    }
};

}  // namespace quarnet
