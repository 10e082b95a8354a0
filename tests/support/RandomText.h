// Seeded random texts made of pieces that matter to the library's parsers.
#pragma once

#include <random>
#include <string>
#include <vector>

namespace testing_support {

// Text made of 0 to maxPieces pieces drawn from the given ones.
std::string RandomText(std::mt19937& random, const std::vector<std::string>& pieces, size_t maxPieces);

// Pieces that matter to path and number text: separators, dots, colons,
// question marks, signs, digits, hex letters, blanks, and double-byte
// characters of code pages 949 and 932 whose trail bytes look like ASCII.
std::vector<std::string> TrickyPieces();

} // namespace testing_support
