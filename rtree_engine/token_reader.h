// Reads a file as one stream of tokens: maximal runs of characters other than white space
// (blank, tab, line feed, carriage return, vertical tab, form feed). Line ends carry no meaning.
// The file is read in chunks through one reused buffer.
#pragma once

#include <fstream>
#include <string>
#include <vector>

class TokenReader {
 public:
  explicit TokenReader(const std::string& path);

  bool isOpen() const { return file_.is_open(); }
  // Replaces `token` with the next token; false, with `token` empty, when none is left or the
  // file cannot be read further.
  bool next(std::string& token);
  // True once reading the file has failed for a reason other than its end.
  bool readFailed() const { return file_.bad(); }

 private:
  // Refills the buffer; false when nothing more could be read.
  bool fill();

  std::ifstream file_;
  std::vector<char> buffer_;
  size_t pos_ = 0;
  size_t end_ = 0;
};
