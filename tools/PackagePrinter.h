#pragma once
// The readable form of an update package, as `norvik-pack show` prints it.

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

// The text in double quotes, with quotes, backslashes and bytes outside printable ASCII escaped.
std::string Quoted(std::string_view text);

// block: payload::kPackageSize bytes.
void PrintPackage(std::ostream& out, const uint8_t* block);
