// Test-only writer of .ico files, the form vendors hand in their icons.
#ifndef OV_TESTS_SUPPORT_ICON_FILE_H
#define OV_TESTS_SUPPORT_ICON_FILE_H

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// A square 32-bit bitmap image in one colour, with its (empty) mask.
std::string IconBitmap(int size, uint32_t bgra);
// A stand-in for a PNG image: only the signature is real.
extern const std::string kIconPng;
// An .ico file of the images; PNG entries leave planes and bit count 0, as
// some icon writers do.
std::string IconFile(const std::vector<std::string>& images);

} // namespace testsupport

#endif
