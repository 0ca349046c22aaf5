#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "base/hex.h"
#include "doubles/test_bytes.h"
#include "platform/sha256.h"

namespace quarnet {
namespace {

std::string hex(const Sha256::Digest& digest) { return hex_text(digest); }

struct KnownAnswer {
    std::string input;
    std::string_view digest;
};

// FIPS 180-4 examples, the empty input and one million "a".
const KnownAnswer KNOWN_ANSWERS[] = {
    {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
     "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
     "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
    {std::string(1'000'000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
};

TEST(Sha256, KnownAnswersWholeAndInUnevenChunks) {
    for (const auto& known : KNOWN_ANSWERS) {
        Sha256 whole;
        whole.update(bytes_of(known.input));
        EXPECT_EQ(hex(whole.finish()), known.digest) << "input of " << known.input.size() << " bytes";

        Sha256 chunked;
        std::string_view rest = known.input;
        for (std::size_t step = 1; !rest.empty(); step = step * 3 + 1) {
            auto piece = rest.substr(0, step);
            chunked.update(bytes_of(piece));
            rest.remove_prefix(piece.size());
        }
        EXPECT_EQ(hex(chunked.finish()), known.digest) << "chunked input of " << known.input.size() << " bytes";
    }
}

TEST(Sha256, CopyContinuesIndependentlyOfTheOriginal) {
    Sha256 original;
    original.update(bytes_of("ab"));
    Sha256 copy = original;
    EXPECT_EQ(hex(copy.finish()), "fb8e20fc2e4c3f248c60c39bd652f3c1347298bb977b8b4d5903b85055620603");  // "ab"
    original.update(bytes_of("c"));
    EXPECT_EQ(hex(original.finish()), KNOWN_ANSWERS[1].digest);

    Sha256 assigned;
    assigned.update(bytes_of("unrelated"));
    Sha256 source;
    source.update(bytes_of("a"));
    assigned = source;
    assigned.update(bytes_of("bc"));
    EXPECT_EQ(hex(assigned.finish()), KNOWN_ANSWERS[1].digest);
}

}  // namespace
}  // namespace quarnet
