// Recognising the receiver's answer lines.
#pragma once

#include <cstddef>

namespace qlr {

// Prefix test of `line` against `pattern`: an 'x' in the pattern stands for
// one hexadecimal digit of either case (a literal 'x' in the line matches it
// too); every other pattern character must appear as it is. The line may go
// on beyond the pattern; a line shorter than the pattern does not match; an
// empty pattern matches every line.
bool LineMatchesPattern(const char* line, const char* pattern);

// The number written by the two hexadecimal digits at `position` of `line`,
// 0..255. The caller has matched the line against a pattern that puts two
// hexadecimal digits there; anything else reads as -1.
int HexPairAt(const char* line, std::size_t position);

}  // namespace qlr
