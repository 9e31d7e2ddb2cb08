#include <gtest/gtest.h>

#include "text/Base64.h"
#include "text/Error.h"

namespace tarvelo {
namespace {

TEST(Base64, StandardVectorsRoundTrip) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {std::string("\xff\xfe\x00\x80", 4), "//4AgA=="},
        {"密码", "5a+G56CB"},  // UTF-8 bytes of a Chinese password
    };
    for (const auto& [plain, encoded] : cases) {
        EXPECT_EQ(base64Encode(plain), encoded) << plain;
        EXPECT_EQ(base64Decode(encoded), plain) << encoded;
    }
}

TEST(Base64, BreaksLinesAfterEvery76CharactersButNotAtTheEnd) {
    // 57 bytes fill one line exactly: no break. One byte more starts a second line.
    const std::string line57(57, 'a');
    EXPECT_EQ(base64Encode(line57).size(), 76u);
    EXPECT_EQ(base64Encode(line57).find('\r'), std::string::npos);

    const std::string encoded58 = base64Encode(line57 + "a");
    EXPECT_EQ(encoded58.substr(76, 2), "\r\n");
    EXPECT_EQ(encoded58.size(), 76u + 2 + 4);

    const std::string encoded = base64Encode(std::string(300, 'x'));
    for (std::size_t pos = 76; pos < encoded.size(); pos += 78)
        EXPECT_EQ(encoded.substr(pos, 2), "\r\n");
    EXPECT_NE(encoded.substr(encoded.size() - 2), "\r\n");
}

TEST(Base64, DecodeIgnoresLineBreaksAndRoundTripsEveryLength) {
    std::string bytes;
    for (int n = 0; n < 200; ++n) {
        EXPECT_EQ(base64Decode(base64Encode(bytes)), bytes) << n;
        bytes += static_cast<char>(n * 37);
    }
    EXPECT_EQ(base64Decode("Zm9v\r\nYmFy\n"), "foobar");
}

TEST(Base64, RefusesWhatIsNotBase64) {
    const char* cases[] = {
        "Zm9v YmFy",   // blank
        "Zm9v\tYmFy",  // tab
        "Zm9*",        // outside the alphabet
        "Zg",          // incomplete group
        "Z===",        // padding too early
        "Zg==Zg==",    // text after padding
        "Zm=v",        // padding in the middle
        "=",
    };
    for (const char* text : cases) {
        try {
            base64Decode(text);
            ADD_FAILURE() << "accepted " << text;
        } catch (const Error& e) {
            EXPECT_NE(e.message().find("Base64"), std::string::npos);
            EXPECT_NE(e.detail().find("位置"), std::string::npos) << e.what();
        }
    }
}

}  // namespace
}  // namespace tarvelo
