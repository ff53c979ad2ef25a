#include "support/trxtestlog.h"

#include <atomic>
#include <fstream>

namespace {
std::atomic<int> g_counter{0};
}

TrxTempFile::TrxTempFile(const std::string& stem) {
  // The process id keeps test programs that ctest runs side by side apart
  // (their addresses and counters can be the same).
  m_path = std::filesystem::temp_directory_path() /
           ("trx-" + stem + "-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(g_counter++) + "-" +
            std::to_string(reinterpret_cast<uintptr_t>(this) & 0xFFFFFF) + ".log");
  std::error_code ec;
  std::filesystem::remove(m_path, ec);
}

TrxTempFile::~TrxTempFile() {
  std::error_code ec;
  std::filesystem::remove(m_path, ec);
}

std::vector<unsigned char> TrxTempFile::Bytes() const {
  std::ifstream in(m_path, std::ios::binary);
  return std::vector<unsigned char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<std::string> TrxTempFile::Lines() const {
  std::vector<unsigned char> bytes = Bytes();
  size_t start = (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) ? 2 : 0;
  TrxString text;
  for (size_t i = start; i + 1 < bytes.size(); i += 2)
    text.push_back(static_cast<OLECHAR>(bytes[i] | (bytes[i + 1] << 8)));
  std::string utf8 = TrxNarrow(text);
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < utf8.size()) {
    size_t end = utf8.find("\r\n", pos);
    if (end == std::string::npos) {
      lines.push_back(utf8.substr(pos));
      break;
    }
    lines.push_back(utf8.substr(pos, end + 2 - pos));
    pos = end + 2;
  }
  return lines;
}
