#pragma once
// What is read of a JSON document, through one strict reader: the members of
// the outermost object, and the objects inside one array member.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quarnet {

struct JsonValue {
    enum class Kind : std::uint8_t { String, Number, Array, Other } kind = Kind::Other;
    std::string text;  // of a string, or of a number as the body writes it
};

// A member of the outermost object (item -1), or of the object that is item 0,
// 1, ... of the array under the key asked for; each once, with the value of its
// last occurrence.
struct JsonMember {
    int item;
    std::string key;
    JsonValue value;
};

struct JsonOutline {
    bool object = false;  // a document that is no object has no members
    std::vector<JsonMember> members;
    int first_item = 0;            // of the array under the key asked for (its last occurrence)
    int items = 0;                 // the end of its items
    bool item_not_object = false;  // one of them is no object
};

// Nothing when the body is no readable JSON: the grammar broken, nested too
// deep, a number out of range.
std::optional<JsonOutline> read_json_outline(std::string_view body, std::string_view array_key = {});

const JsonValue* find_member(const JsonOutline& outline, std::string_view key, int item = -1);

// The text of a string member; nothing when it is missing or of another type.
const std::string* string_member(const JsonOutline& outline, std::string_view key, int item = -1);

}  // namespace quarnet
