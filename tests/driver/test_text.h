// Text helpers of the driver tests: UTF-8 to UTF-16 (the form of the string tables) and UTF-16
// to the two single-byte code pages the tests run under (1250 Central European, 1252 Western).
#ifndef WQDUPDATE_TESTS_DRIVER_TEST_TEXT_H
#define WQDUPDATE_TESTS_DRIVER_TEST_TEXT_H

#include <cstdint>
#include <string>
#include <vector>

// Decodes UTF-8 text of the Basic Multilingual Plane into UTF-16 units.
std::vector<uint16_t> utf16FromUtf8(const std::string& text);

// Encodes one UTF-16 unit in code page 1250 or 1252; false when the page has no such character
// (or the page is neither of the two).
bool encodeUnit(uint32_t codePage, uint16_t unit, char* byte);

// UTF-8 text in code page 1250 or 1252, '?' for a character the page lacks.
std::string inCodePage(uint32_t codePage, const std::string& utf8);

// Bytes as escaped text, for readable failure messages.
std::string printable(const std::string& bytes);

#endif  // WQDUPDATE_TESTS_DRIVER_TEST_TEXT_H
