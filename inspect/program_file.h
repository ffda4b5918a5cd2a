// The inspection program's file: plain text, one record a line, versioned,
// with the part model inside (base64 of the gauge library's bytes). Lines:
//
//   # any comment (and blank lines) are skipped
//   orvane-program 1                    first record: the format and its version
//   model BYTES                         the part model's size (none: fixtured)
//   model-data BASE64                   its bytes, up to 57 a line, in order
//   step point|line|width LABEL X0 Y0 X1 Y1       a feature's segment
//   step circle LABEL X1 Y1 X2 Y2 X3 Y3            three points near a rim
//   step distance|angle LABEL A B                  a dimension of earlier features
//   tolerance LABEL NOMINAL UPPER LOWER [UNIT]     the step's limits' deviations
//   part-id X Y W H                      where the part's code is read (optional)
//   part-id required                     no part passes without an identity (optional)
//   end                                  last record: a cut file has none
//
// Coordinates are pixels in the part's frame (origin at the taught
// rectangle's centre, axes of the picture it was taught in), or picture
// coordinates for a fixtured program. Numbers are written shortest
// round-trip and read back to the same double, whatever the locale.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "inspect/program.h"

namespace orvane {

inline constexpr int kProgramFormatVersion = 1;
// The longest program file read: the largest model in base64 and the most
// steps with room to spare.
inline constexpr size_t kMaxProgramFileBytes = size_t{4} << 20;
// The file of a program called NAME in the working folder: NAME.OIP.
inline constexpr const char* kProgramExtension = ".OIP";

// The program as its file holds it (the name is the file's).
std::string ProgramText(const Program& program);

// Reads a program file's text into *program (its name left as it is);
// false, with *program untouched and "line N: what is wrong" in *error,
// for anything that is not a whole, consistent program of a known version:
// an unknown record, a bad number or label, a label twice, a dimension of
// features it cannot take or that come later, a model that is cut or
// damaged, a missing end.
bool ParseProgram(std::string_view text, Program* program, std::string* error);

// A program name: 1 to 32 letters, digits, '-' and '_' (so that its file
// stays in the working folder).
bool IsProgramName(std::string_view name);

std::string Base64(const std::vector<uint8_t>& bytes);
// False for anything but whole base64 quads (padding only at the end).
bool FromBase64(std::string_view text, std::vector<uint8_t>* bytes);

} // namespace orvane
