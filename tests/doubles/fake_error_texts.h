#pragma once
// The system's error texts, scripted per (code, table). By default Windows knows
// no text at all: the allocating call gives nothing and the buffered one fails.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/error_texts.h"

namespace quarnet {

class FakeErrorTexts : public ErrorTexts {
public:
    using Key = std::pair<std::uint32_t, MessageTable>;
    struct Lookup {
        bool allocated = false;  // allocated_text, else buffer_text
        std::uint32_t code = 0;
        MessageTable table = MessageTable::System;
        friend bool operator==(const Lookup&, const Lookup&) = default;
    };

    std::map<Key, std::u16string> allocated;
    std::map<Key, std::u16string> buffered;
    std::uint32_t format_error = 317;  // ERROR_MR_MID_NOT_FOUND
    bool ntdll = false;
    std::vector<Lookup> lookups;

    std::optional<std::u16string> allocated_text(std::uint32_t code, MessageTable table) override {
        lookups.push_back({true, code, table});
        auto it = allocated.find({code, table});
        if (it == allocated.end()) return std::nullopt;
        return it->second;
    }

    Expected<std::u16string, std::uint32_t> buffer_text(std::uint32_t code, MessageTable table) override {
        lookups.push_back({false, code, table});
        auto it = buffered.find({code, table});
        if (it == buffered.end()) return std::unexpected(format_error);
        return it->second;
    }

    bool ntdll_loaded() override { return ntdll; }
};

}  // namespace quarnet
