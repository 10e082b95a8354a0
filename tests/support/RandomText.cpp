#include "tests/support/RandomText.h"

namespace testing_support {

std::string RandomText(std::mt19937& random, const std::vector<std::string>& pieces, size_t maxPieces)
{
    std::uniform_int_distribution<size_t> count(0, maxPieces);
    std::uniform_int_distribution<size_t> pick(0, pieces.size() - 1);
    std::string text;
    for (size_t n = count(random); n > 0; --n)
        text += pieces[pick(random)];
    return text;
}

std::vector<std::string> TrickyPieces()
{
    return {
        "\\", "/", ".", "..", ":", "?", "#", "+", "-", "0", "1", "9", "a", "F", "g", "Z", "x", " ", "\t", ",", "*",
        "\xE9",                       // a single high byte in code page 1252
        "\xB0\x41", "\xC7\xD1",       // code page 949: trail "A", and a Hangul syllable
        "\x95\x5C", "\x83\x5C",       // code page 932: trail "\"
        "\x81\x40", "\x88\x3F",       // trail "@" and trail "?"
    };
}

} // namespace testing_support
