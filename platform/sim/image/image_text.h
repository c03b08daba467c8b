// Reading the text files of a machine image into numbered lines.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qx::sim::image {

struct TextLine {
  int number = 0;    // counted from 1
  std::string text;  // without its line end
};

enum class TextSource {
  // A .reg file: UTF-16LE or UTF-8 when it starts with their byte-order mark, else code
  // page 932. The lines come out in code page 932.
  kRegistry,
  // machine.ini: UTF-8, with or without a byte-order mark. The lines stay UTF-8 (checked).
  kUtf8,
};

// Splits bytes into lines at LF (a CR before it is dropped); a last line without a line end
// counts. Refuses NUL characters and text that is invalid or has no code page 932 form,
// with "file:line: ..." in error.
bool DecodeTextFile(std::string_view fileName, std::string_view bytes, TextSource source,
                    std::vector<TextLine>& lines, std::string& error);

// "file:line: "
std::string Where(std::string_view fileName, int line);

// The text without the blanks (spaces and tabs) at either end.
std::string_view Trim(std::string_view s);

// Splits at commas into at most maxParts pieces, each trimmed; the last piece keeps any
// further commas.
std::vector<std::string> SplitCommas(std::string_view s, std::size_t maxParts);

}  // namespace qx::sim::image
