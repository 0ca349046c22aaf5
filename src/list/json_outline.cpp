// The JSON reader: RapidJSON's SAX reader, strict, with two things of its own. The view below and the handler's
// callbacks were proven against one RapidJSON release; another one may call them in another order or scan numbers
// otherwise, so the build stops until it is proven again (the list fuzzers).

#include "list/json_outline.h"

#include <rapidjson/reader.h>

#include <algorithm>
#include <charconv>
#include <optional>
#include <string>
#include <utility>

static_assert(RAPIDJSON_VERSION_CODE(RAPIDJSON_MAJOR_VERSION, RAPIDJSON_MINOR_VERSION, RAPIDJSON_PATCH_VERSION) ==
                  RAPIDJSON_VERSION_CODE(1, 1, 0),
              "the list reader was proven with RapidJSON 1.1.0 (Debian 12's rapidjson-dev): run the list fuzzers "
              "against this one before changing the pin");

namespace quarnet {
namespace {

// Arrays and objects nest at most this deep, the outermost counting as one.
constexpr int NESTING_LIMIT = 127;

// 2^1024 - 2^970, halfway between the largest double and 2^1024: a number of at
// least this size rounds to infinity, which makes the body unreadable.
constexpr std::string_view DOUBLE_OVERFLOW_DIGITS =
    "17976931348623158079372897140530341507993413271003782693617377898044496829276475094664901797758720709633028641669"
    "28879109465555478519404026306574886715058206819089020007083836762738548458177115317644757302700698555713669596228"
    "42914819860834936475292719074168444365510704342711559699508093042880177904174497792";

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Whether a JSON number's value, rounded to a double, would be infinite. Decided
// on the digits alone: the program parses no floating point.
bool beyond_double_range(std::string_view number) {
    if (number.starts_with('-')) number.remove_prefix(1);
    std::size_t mantissa_end = number.find_first_of("eE");
    std::string_view mantissa = number.substr(0, mantissa_end);
    long long exponent = 0;  // of the mantissa's integer part, saturated far beyond any decision
    if (mantissa_end != std::string_view::npos) {
        std::string_view text = number.substr(mantissa_end + 1);
        if (text.starts_with('+')) text.remove_prefix(1);
        auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), exponent);
        if (error == std::errc::result_out_of_range) exponent = text.starts_with('-') ? -1'000'000 : 1'000'000;
        exponent = std::clamp(exponent, -1'000'000LL, 1'000'000LL);
    }
    std::size_t point = mantissa.find('.');
    std::string digits(mantissa.substr(0, point));
    exponent += static_cast<long long>(digits.size());
    if (point != std::string_view::npos) digits += mantissa.substr(point + 1);
    // Now the value is 0.<digits> x 10^exponent; compare it with 0.<limit> x 10^309.
    std::size_t first = digits.find_first_not_of('0');
    if (first == std::string::npos) return false;  // zero
    exponent -= static_cast<long long>(first);
    std::string_view significant = std::string_view(digits).substr(first);
    significant = significant.substr(0, significant.find_last_not_of('0') + 1);
    constexpr long long LIMIT_EXPONENT = static_cast<long long>(DOUBLE_OVERFLOW_DIGITS.size());
    if (exponent != LIMIT_EXPONENT) return exponent > LIMIT_EXPONENT;
    return significant >= DOUBLE_OVERFLOW_DIGITS;
}

// What the JSON reader is shown of the body. Its number scanner guards against
// overflow with inexact double arithmetic and so refuses some numbers that are in
// range (0e400, or 1.7976931348623157e308 written out in digits). It is shown
// every digit run outside strings shortened to at most two digits of the same
// shape ("0", "1", "00" or "10"), which keeps the grammar and leaves the numbers'
// values to be judged here, on the body's own text. Strings pass unchanged.
class ReaderView {
public:
    using Ch = char;

    explicit ReaderView(std::string_view body) : body_(body) {}

    char Peek() const {
        if (at_ == body_.size()) return '\0';
        char c = body_[at_];
        if (in_string_ || !is_digit(c)) return c;
        return run_ == 0 && c != '0' ? '1' : '0';
    }
    char Take() {
        char shown = Peek();
        if (at_ < body_.size()) step(body_[at_++]);
        return shown;
    }
    std::size_t Tell() const { return at_; }

    // The number that ends where the reader stands, as the body gives it.
    std::string_view number_before() const {
        std::size_t start = body_.find_last_not_of("0123456789+-.eE", at_ - 1);
        start = start == std::string_view::npos ? 0 : start + 1;
        return body_.substr(start, at_ - start);
    }

    // Only for reading in place, which is not used.
    char* PutBegin() { return nullptr; }
    void Put(char) {}
    void Flush() {}
    std::size_t PutEnd(char*) { return 0; }

private:
    void step(char c) {
        if (in_string_) {
            if (escaped_) {
                escaped_ = false;
            } else {
                escaped_ = c == '\\';
                in_string_ = c != '"';
            }
        } else if (!is_digit(c)) {
            run_ = 0;
            in_string_ = c == '"';
        } else if (++run_ == 2) {
            while (at_ < body_.size() && is_digit(body_[at_])) ++at_;
        }
    }

    std::string_view body_;
    std::size_t at_ = 0;
    int run_ = 0;  // digits of the current run shown so far
    bool in_string_ = false;
    bool escaped_ = false;
};

// Collects the outline from the reader's events: a member of the outermost
// object sets its key's value each time it occurs (so the last one wins), and
// so does a member of an object inside the array under the key asked for.
class OutlineHandler : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, OutlineHandler> {
public:
    OutlineHandler(const ReaderView& view, std::string_view array_key) : view_(view), array_key_(array_key) {}

    JsonOutline outline;

    bool Default() { return value(JsonValue::Kind::Other, {}), true; }
    bool String(const char* text, rapidjson::SizeType length, bool) {
        std::string_view string(text, length);
        if (!without_surrogates(string)) return false;
        return value(JsonValue::Kind::String, string), true;
    }
    bool RawNumber(const char*, rapidjson::SizeType, bool) {
        std::string_view number = view_.number_before();
        if (beyond_double_range(number)) return false;
        return value(JsonValue::Kind::Number, number), true;
    }
    bool Key(const char* text, rapidjson::SizeType length, bool) {
        std::string_view key(text, length);
        if (!without_surrogates(key)) return false;
        if (depth_ == 1) key_ = key;
        if (depth_ == 3) item_key_ = key;
        return true;
    }
    bool StartObject() { return open(true); }
    bool StartArray() { return open(false); }
    bool EndObject(rapidjson::SizeType) { return close(); }
    bool EndArray(rapidjson::SizeType) { return close(); }

private:
    // The reader lets a lone low surrogate escape (\udc00) through, as the
    // three-byte form that UTF-8 forbids; it cannot come from the body's own bytes.
    static bool without_surrogates(std::string_view text) {
        for (std::size_t i = 0; i + 1 < text.size(); ++i) {
            if (text[i] == '\xED' && static_cast<unsigned char>(text[i + 1]) >= 0xA0) return false;
        }
        return true;
    }

    void set(int item, const std::string& key, JsonValue::Kind kind, std::string_view text) {
        auto found = std::find_if(outline.members.begin(), outline.members.end(),
                                  [&](const JsonMember& m) { return m.item == item && m.key == key; });
        if (found == outline.members.end()) found = outline.members.insert(found, {item, key, {}});
        found->value = {kind, std::string(text)};
    }

    // A value starts at the current depth.
    void value(JsonValue::Kind kind, std::string_view text) {
        if (depth_ == 0) {
            outline.object = kind == JsonValue::Kind::Other && opening_object_;
        } else if (depth_ == 1 && outline.object) {
            set(-1, key_, kind, text);
            if (key_ != array_key_ || array_key_.empty()) return;
            // The last occurrence of the array's key counts: its items are numbered on from the earlier ones'.
            outline.first_item = outline.items;
            outline.item_not_object = false;
            in_items_ = kind == JsonValue::Kind::Array;
        } else if (depth_ == 2 && in_items_) {
            ++outline.items;
            if (!opening_object_) outline.item_not_object = true;
        } else if (depth_ == 3 && in_items_) {
            set(outline.items - 1, item_key_, kind, text);
        }
    }

    bool open(bool object) {
        if (depth_ == NESTING_LIMIT) return false;
        opening_object_ = object;
        value(object ? JsonValue::Kind::Other : JsonValue::Kind::Array, {});
        opening_object_ = false;
        ++depth_;
        return true;
    }

    bool close() {
        if (--depth_ == 1) in_items_ = false;
        return true;
    }

    const ReaderView& view_;
    std::string_view array_key_;
    int depth_ = 0;
    bool opening_object_ = false;
    bool in_items_ = false;  // inside the array under array_key_
    std::string key_;        // of the outermost object's current member
    std::string item_key_;   // of the current member of an item
};

}  // namespace

const JsonValue* find_member(const JsonOutline& outline, std::string_view key, int item) {
    for (const JsonMember& member : outline.members) {
        if (member.item == item && member.key == key) return &member.value;
    }
    return nullptr;
}

const std::string* string_member(const JsonOutline& outline, std::string_view key, int item) {
    const JsonValue* value = find_member(outline, key, item);
    return value && value->kind == JsonValue::Kind::String ? &value->text : nullptr;
}

std::optional<JsonOutline> read_json_outline(std::string_view body, std::string_view array_key) {
    // A NUL byte is JSON nowhere, and the reader would take it for the end of the body.
    if (body.find('\0') != std::string_view::npos) return std::nullopt;
    ReaderView view(body);
    OutlineHandler handler(view, array_key);
    rapidjson::Reader reader;
    constexpr unsigned FLAGS = rapidjson::kParseValidateEncodingFlag | rapidjson::kParseNumbersAsStringsFlag;
    if (reader.Parse<FLAGS>(view, handler).IsError()) return std::nullopt;
    return std::move(handler.outline);
}

}  // namespace quarnet
