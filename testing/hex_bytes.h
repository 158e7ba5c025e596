#pragma once

#include <sstream>
#include <string>
#include <vector>

namespace zorvik::test_support {

/// Bytes written as hex pairs separated by blanks, as a capture shows them; "*N"
/// stands for N zero bytes.
inline std::vector<unsigned char> hexBytes(const std::string& text) {
  std::vector<unsigned char> bytes;
  std::istringstream words(text);
  std::string word;
  while (words >> word) {
    if (word[0] == '*') {
      bytes.insert(bytes.end(), std::stoul(word.substr(1)), 0);
    } else {
      bytes.push_back(static_cast<unsigned char>(std::stoul(word, nullptr, 16)));
    }
  }
  return bytes;
}

}  // namespace zorvik::test_support
