// Texts of the stand-in host: the system's code pages to and from UTF-8 (the
// transcript is UTF-8; the plug-in's texts are Mazovia or Windows-1250
// bytes), and words and parts of a line. Nothing here keeps any state.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace torval {

// A text of the system in UTF-8, its markup bytes and tabs made visible.
std::string from_mazovia(const char* text);
std::string from_windows_1250(const char* text);
// Mazovia bytes of a UTF-8 text typed in a session script; a character the
// code page lacks becomes "?".
std::string to_mazovia(const std::string& utf8);
// The same into out, answering the place (from 1, in characters) of the first
// character the code page lacks or that is not UTF-8, or 0 when there is none;
// miss_byte, when given, gets the byte where that character begins.
std::size_t to_mazovia_checked(const std::string& utf8, std::string& out,
                               std::size_t* miss_byte = nullptr);
// Characters of a UTF-8 text.
std::size_t utf8_length(const std::string& utf8);
// The words of a line, separated by blanks.
std::vector<std::string> split_words(const std::string& line);
// The parts of a text between separators.
std::vector<std::string> split_text(const std::string& text, char separator);

}  // namespace torval
