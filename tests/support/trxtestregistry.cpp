#include "support/trxtestregistry.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace {

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
  return text;
}

// A quoted .reg string: backslashes and quotes escaped.
std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

}  // namespace

// ---- TrxScopedEnvironment --------------------------------------------------------------

TrxScopedEnvironment::TrxScopedEnvironment(const std::string& name, const char* value) : m_name(TrxWiden(name)) {
  DWORD size = GetEnvironmentVariableW(m_name.c_str(), nullptr, 0);
  if (size > 0 || GetLastError() != static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND)) {
    TrxString previous(size, u'\0');
    DWORD length = GetEnvironmentVariableW(m_name.c_str(), previous.data(), size);
    previous.resize(length);
    m_previous = previous;
  }
  TrxString wide = value ? TrxWiden(value) : TrxString();
  SetEnvironmentVariableW(m_name.c_str(), value ? wide.c_str() : nullptr);
}

TrxScopedEnvironment::~TrxScopedEnvironment() {
  SetEnvironmentVariableW(m_name.c_str(), m_previous ? m_previous->c_str() : nullptr);
}

// ---- TrxTestRegistry ----------------------------------------------------------------------

TrxTestRegistry::TrxTestRegistry() : m_file("registry"), m_environment("TRX_REGISTRY", m_file.Path().string().c_str()) {
  Write();
}

TrxTestRegistry::~TrxTestRegistry() {
  std::error_code ec;
  std::filesystem::remove(m_file.Path().string() + ".new", ec);
}

TrxTestRegistry::Key& TrxTestRegistry::Find(const std::string& keyPath) {
  for (Key& key : m_keys)
    if (lower(key.path) == lower(keyPath)) return key;
  m_keys.push_back(Key{keyPath, {}});
  return m_keys.back();
}

void TrxTestRegistry::AddKey(const std::string& keyPath) {
  Find(keyPath);
  Write();
}

void TrxTestRegistry::SetData(const std::string& keyPath, const std::string& valueName, const std::string& data) {
  Key& key = Find(keyPath);
  for (auto& [name, written] : key.values) {
    if (lower(name) == lower(valueName)) {
      written = data;
      Write();
      return;
    }
  }
  key.values.emplace_back(valueName, data);
  Write();
}

void TrxTestRegistry::SetString(const std::string& keyPath, const std::string& valueName, const std::string& value) {
  SetData(keyPath, valueName, quoted(value));
}

void TrxTestRegistry::SetDword(const std::string& keyPath, const std::string& valueName, DWORD value) {
  char digits[9];
  std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(value));
  SetData(keyPath, valueName, std::string("dword:") + digits);
}

void TrxTestRegistry::RegisterInprocServer(const std::string& clsidText, const std::string& libraryPath) {
  SetString("HKEY_CLASSES_ROOT\\CLSID\\" + clsidText + "\\InprocServer32", "", libraryPath);
}

void TrxTestRegistry::Remove(const std::string& keyPath) {
  const std::string gone = lower(keyPath);
  std::erase_if(m_keys, [&](const Key& key) {
    std::string path = lower(key.path);
    return path == gone || path.rfind(gone + "\\", 0) == 0;
  });
  Write();
}

std::string TrxTestRegistry::Text() const {
  std::ostringstream text;
  text << "Windows Registry Editor Version 5.00\r\n";
  for (const Key& key : m_keys) {
    text << "\r\n[" << key.path << "]\r\n";
    for (const auto& [name, data] : key.values) text << (name.empty() ? "@" : quoted(name)) << "=" << data << "\r\n";
  }
  return text.str();
}

void TrxTestRegistry::Write() const {
  // Written beside the file, then renamed over it in one step.
  std::filesystem::path next = m_file.Path().string() + ".new";
  {
    std::ofstream out(next, std::ios::binary | std::ios::trunc);
    out << Text();
  }
  std::filesystem::rename(next, m_file.Path());
}

// ---- TrxNotifierJournal ------------------------------------------------------------------

TrxNotifierJournal::TrxNotifierJournal()
    : m_file("notifier"), m_environment("TRX_TEST_NOTIFIER_LOG", m_file.Path().string().c_str()) {}

std::vector<std::string> TrxNotifierJournal::Lines() const {
  std::vector<unsigned char> bytes = m_file.Bytes();
  std::vector<std::string> lines;
  std::string line;
  for (unsigned char byte : bytes) {
    if (byte == '\n') {
      lines.push_back(line);
      line.clear();
    } else {
      line += static_cast<char>(byte);
    }
  }
  return lines;  // a last line without its end is not complete yet
}

std::vector<std::string> TrxNotifierJournal::WaitForLines(size_t count, DWORD ms) const {
  const ULONGLONG deadline = GetTickCount64() + ms;
  std::vector<std::string> lines = Lines();
  while (lines.size() < count && GetTickCount64() < deadline) {
    Sleep(10);
    lines = Lines();
  }
  return lines;
}
