// Reading the text files of a machine image into numbered lines.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qx::sim::image {

struct TextLine {
  int number = 0;         // counted from 1
  std::string_view text;  // without its line end
};

enum class TextSource {
  // A .reg file: UTF-16LE or UTF-8 when it starts with their byte-order mark, else code
  // page 932. The lines come out in code page 932.
  kRegistry,
  // machine.ini: UTF-8, with or without a byte-order mark. The lines stay UTF-8 (checked).
  kUtf8,
};

// A text file decoded: its lines, read one at a time. UTF-8 text (machine.ini) is read where
// it lies (the bytes decoded must outlive it). A .reg file is decoded a line at a time as it
// is read, from bytes held here or, opened with OpenRegistryText, from disk a piece at a
// time (an export of a million keys is never held whole); such a line stays valid until the
// next is read.
class DecodedText {
 public:
  DecodedText() = default;
  DecodedText(DecodedText&&) = default;
  DecodedText& operator=(DecodedText&&) = default;
  ~DecodedText();

  // The next line, numbered from 1; false after the last, or at a line that cannot be read
  // (then error() says why).
  bool Next(TextLine& line);
  // Back to the first line.
  void Rewind();
  // What stopped a .reg file's lines ("file:line: ..."); empty when nothing did.
  const std::string& error() const { return error_; }

 private:
  friend bool DecodeText(std::string_view, std::string_view, TextSource, DecodedText&, std::string&);
  friend bool OpenRegistryText(const std::filesystem::path&, std::string_view, DecodedText&, std::string&);
  enum class Encoding { kCp932, kUtf8, kUtf16 };
  bool TakeMark(std::string_view start, std::string_view fileName, std::string& error);
  bool NextDecoded(TextLine& line);
  bool ReadMore();
  bool FailLine(const std::string& message);

  std::string_view text_;  // UTF-8 text, read where it lies
  std::size_t pos_ = 0;
  int number_ = 0;

  // A .reg file, decoded line by line.
  bool byLine_ = false;
  std::unique_ptr<std::ifstream> file_;  // null when the bytes are all in buffer_
  std::string fileName_;
  Encoding encoding_ = Encoding::kCp932;
  std::streamoff dataStart_ = 0;  // after the byte-order mark
  std::uintmax_t fileSize_ = 0;   // as it was when opened
  std::uintmax_t unread_ = 0;     // of that, the bytes not read yet
  std::string buffer_;            // bytes read and not yet taken, from begin_
  std::size_t begin_ = 0;
  std::size_t scanned_ = 0;       // from begin_: no line end before this
  bool eof_ = false;
  std::string line_;              // the line last converted
  std::string error_;
};

// Checks and decodes a whole file: lines end at LF (a CR before it is dropped); a last line
// without a line end counts. Refuses NUL characters and text that is invalid or has no code
// page 932 form, naming the first such line in error ("file:line: ...").
bool DecodeText(std::string_view fileName, std::string_view bytes, TextSource source, DecodedText& out,
                std::string& error);

// A .reg file (TextSource::kRegistry) opened to be read a piece at a time, each line checked
// and converted as DecodeText would when it is read (a line that cannot be read ends the
// lines, and error() says why).
bool OpenRegistryText(const std::filesystem::path& path, std::string_view fileName, DecodedText& out,
                      std::string& error);

// The same, all lines at once (for UTF-8 text, whose lines stay where they lie).
bool DecodeTextFile(std::string_view fileName, std::string_view bytes, TextSource source, DecodedText& decoded,
                    std::vector<TextLine>& lines, std::string& error);

// "file:line: "
std::string Where(std::string_view fileName, int line);

// The text without the blanks (spaces, tabs, carriage returns) at either end. A carriage
// return beside the one of a CR LF line end is no part of a value: the writer, ending its
// lines in LF, would give it back as the line end itself.
std::string_view Trim(std::string_view s);

// Splits at commas into at most maxParts pieces, each trimmed; the last piece keeps any
// further commas.
std::vector<std::string> SplitCommas(std::string_view s, std::size_t maxParts);

}  // namespace qx::sim::image
