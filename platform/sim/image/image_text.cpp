#include "platform/sim/image/image_text.h"

#include "platform/sim/encoding.h"
#include "platform/sim/sim_text.h"

#include <algorithm>
#include <fstream>
#include <memory>

namespace qx::sim::image {
namespace {

bool Fail(std::string& error, std::string_view file, int line, const std::string& message) {
  error = Where(file, line) + message;
  return false;
}

// The line ending at or after start: its end (without a CR before the LF when crlf) and
// where the next line starts.
std::string_view LineAt(std::string_view text, std::size_t start, bool crlf, std::size_t& next) {
  std::size_t end = text.find('\n', start);
  next = end == std::string_view::npos ? text.size() : end + 1;
  std::string_view raw = text.substr(start, (end == std::string_view::npos ? text.size() : end) - start);
  if (crlf && !raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
  return raw;
}

bool IsAscii(std::string_view text) { return cp932::AsciiPrefix(text) == text.size(); }

// A .reg file is read a piece at a time into the same few pages of memory (memory touched
// for the first time costs more than the reads of a large file in small pieces).
constexpr std::size_t kPiece = 1 << 15;

// The memory of those pieces, handed from file to file: freed between files, it would be
// taken up by the machine's keys, and each file's pieces would touch new pages. One per
// thread (a thread reads one file at a time).
thread_local std::string spareBuffer;

}  // namespace

DecodedText::~DecodedText() {
  if (file_ && buffer_.capacity() <= 2 * kPiece && buffer_.capacity() > spareBuffer.capacity()) {
    buffer_.clear();
    spareBuffer.swap(buffer_);
  }
}

bool DecodedText::Next(TextLine& line) {
  if (byLine_) return NextDecoded(line);
  if (pos_ >= text_.size()) return false;
  line.text = LineAt(text_, pos_, true, pos_);
  line.number = ++number_;
  return true;
}

void DecodedText::Rewind() {
  pos_ = 0;
  number_ = 0;
  begin_ = scanned_ = 0;
  error_.clear();
  if (!file_) return;  // bytes held whole stay where they are
  file_->clear();
  file_->seekg(dataStart_);
  buffer_.clear();
  eof_ = false;
  unread_ = fileSize_ > static_cast<std::uintmax_t>(dataStart_) ? fileSize_ - static_cast<std::uintmax_t>(dataStart_) : 0;
}

bool DecodedText::FailLine(const std::string& message) {
  error_ = Where(fileName_, number_) + message;
  return false;
}

// Appends the next piece of the file to the bytes not yet taken; false at its end.
bool DecodedText::ReadMore() {
  if (eof_ || !file_) return false;
  if (begin_ > 0) {
    buffer_.erase(0, begin_);
    begin_ = 0;
  }
  // No more than the file holds: the room is zeroed before it is read into.
  const std::size_t piece = static_cast<std::size_t>(std::min<std::uintmax_t>(kPiece, unread_));
  if (piece == 0) {
    eof_ = true;
    return false;
  }
  const std::size_t had = buffer_.size();
  buffer_.resize(had + piece);
  file_->read(buffer_.data() + had, static_cast<std::streamsize>(piece));
  const std::size_t got = static_cast<std::size_t>(file_->gcount());
  buffer_.resize(had + got);
  unread_ -= got;
  if (got < piece || unread_ == 0) eof_ = true;
  if (file_->bad()) {
    error_ = fileName_ + ": cannot be read";
    return false;
  }
  return got > 0;
}

bool DecodedText::NextDecoded(TextLine& line) {
  if (!error_.empty()) return false;
  const bool utf16 = encoding_ == Encoding::kUtf16;
  // Where the line ends: an LF (in UTF-16 a whole unit 0x000A), or the end of the file.
  std::size_t end = std::string::npos;
  for (;;) {
    if (utf16) {
      for (std::size_t i = begin_ + scanned_; i + 1 < buffer_.size(); i += 2, scanned_ += 2) {
        if (buffer_[i] == '\n' && buffer_[i + 1] == '\0') {
          end = i;
          break;
        }
      }
    } else {
      std::size_t lf = buffer_.find('\n', begin_ + scanned_);
      if (lf != std::string::npos) end = lf;
      else scanned_ = buffer_.size() - begin_;
    }
    if (end != std::string::npos || !ReadMore()) break;
  }
  if (!error_.empty()) return false;
  const bool last = end == std::string::npos;
  if (last && begin_ >= buffer_.size()) return false;
  if (last) end = buffer_.size();
  std::string_view raw(buffer_.data() + begin_, end - begin_);
  begin_ = last ? end : end + (utf16 ? 2 : 1);
  scanned_ = 0;
  line.number = ++number_;

  if (utf16) {
    if (raw.size() % 2 != 0) return FailLine("UTF-16 text ends in half a character");
    for (std::size_t i = 0; i < raw.size(); i += 2)
      if (raw[i] == '\0' && raw[i + 1] == '\0') return FailLine("NUL character in a text file");
    if (raw.size() >= 2 && raw[raw.size() - 2] == '\r' && raw[raw.size() - 1] == '\0') raw.remove_suffix(2);
    if (!Utf16LeToCp932(raw, line_)) return FailLine("text that is invalid UTF-16 or has no Shift-JIS form");
    line.text = line_;
    return true;
  }
  if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
  if (raw.find('\0') != std::string_view::npos) return FailLine("NUL byte in a text file");
  if (encoding_ == Encoding::kUtf8 && !IsAscii(raw)) {
    if (!Utf8ToCp932(raw, line_)) return FailLine("text that is invalid or has no Shift-JIS form");
    line.text = line_;
  } else {  // code page 932 as it is, or ASCII: the same bytes in UTF-8
    line.text = raw;
  }
  return true;
}

// The encoding a .reg file's first bytes announce and how many bytes they take, or false
// (with the error) for one that is not supported.
bool DecodedText::TakeMark(std::string_view start, std::string_view fileName, std::string& error) {
  fileName_ = std::string(fileName);
  byLine_ = true;
  if (start.substr(0, 2) == "\xFF\xFE") {
    encoding_ = Encoding::kUtf16;
    dataStart_ = 2;
  } else if (start.substr(0, 2) == "\xFE\xFF") {
    return Fail(error, fileName, 1, "UTF-16 big-endian is not supported");
  } else if (start.substr(0, 3) == "\xEF\xBB\xBF") {
    encoding_ = Encoding::kUtf8;
    dataStart_ = 3;
  }
  return true;
}

bool OpenRegistryText(const std::filesystem::path& path, std::string_view fileName, DecodedText& out,
                      std::string& error) {
  out = DecodedText();
  out.buffer_.swap(spareBuffer);
  out.file_ = std::make_unique<std::ifstream>();
  out.file_->rdbuf()->pubsetbuf(nullptr, 0);  // the pieces are read whole: no buffer of its own
  out.file_->open(path, std::ios::binary);
  std::error_code sizeError;
  out.fileSize_ = std::filesystem::file_size(path, sizeError);
  if (!*out.file_ || sizeError) {
    error = std::string(fileName) + ": cannot be read";
    return false;
  }
  char mark[3] = {};
  out.file_->read(mark, 3);
  if (!out.TakeMark(std::string_view(mark, static_cast<std::size_t>(out.file_->gcount())), fileName, error))
    return false;
  out.Rewind();
  return true;
}

bool DecodeText(std::string_view fileName, std::string_view bytes, TextSource source, DecodedText& out,
                std::string& error) {
  out = DecodedText();
  if (source == TextSource::kRegistry) {
    // Decoded line by line as a file read from disk is, every line checked now.
    if (!out.TakeMark(bytes.substr(0, 3), fileName, error)) return false;
    out.buffer_.assign(bytes.substr(static_cast<std::size_t>(out.dataStart_)));
    out.eof_ = true;
    for (TextLine line; out.Next(line);) {
    }
    if (!out.error_.empty()) {
      error = out.error_;
      return false;
    }
    out.Rewind();
    return true;
  }
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  // Each line must be UTF-8 with a Shift-JIS form; the lines stay as they are.
  int number = 0;
  std::string unused;
  for (std::size_t start = 0, next = 0; start < bytes.size(); start = next) {
    std::string_view raw = LineAt(bytes, start, true, next);
    ++number;
    if (raw.find('\0') != std::string_view::npos) return Fail(error, fileName, number, "NUL byte in a text file");
    if (!(Utf8ToCp932(raw, unused) || raw.empty()))
      return Fail(error, fileName, number, "text that is invalid or has no Shift-JIS form");
  }
  out.text_ = bytes;
  return true;
}

bool DecodeTextFile(std::string_view fileName, std::string_view bytes, TextSource source, DecodedText& decoded,
                    std::vector<TextLine>& lines, std::string& error) {
  lines.clear();
  if (!DecodeText(fileName, bytes, source, decoded, error)) return false;
  for (TextLine line; decoded.Next(line);) lines.push_back(line);
  return true;
}

std::string Where(std::string_view fileName, int line) {
  return std::string(fileName) + ":" + std::to_string(line) + ": ";
}

std::string_view Trim(std::string_view s) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

std::vector<std::string> SplitCommas(std::string_view s, std::size_t maxParts) {
  std::vector<std::string> parts;
  while (parts.size() + 1 < maxParts) {
    std::size_t comma = s.find(',');
    if (comma == std::string_view::npos) break;
    parts.emplace_back(Trim(s.substr(0, comma)));
    s.remove_prefix(comma + 1);
  }
  parts.emplace_back(Trim(s));
  return parts;
}

}  // namespace qx::sim::image
