#include "service/nvtrxregistrar.h"

namespace {

bool isSpace(OLECHAR c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == 0xFEFF; }

// One token of the script: a bare word or a quoted string, with the line it
// starts on.
struct Token {
  TrxString text;
  bool quoted = false;
  int line = 0;
  bool Is(const OLECHAR* word) const { return !quoted && TrxEqualsNoCase(text, TrxView(word)); }
};

TrxString lineMessage(int line, TrxStringView message) {
  return OLESTR("line ") + TrxDecimal(line) + OLESTR(": ") + TrxString(message);
}

class Tokenizer {
 public:
  explicit Tokenizer(TrxStringView text) : m_text(text) {}

  // False at the end of the text (and with `error` set for an unclosed
  // quote).
  bool Next(Token* token, TrxString* error) {
    while (m_pos < m_text.size() && isSpace(m_text[m_pos])) {
      if (m_text[m_pos] == '\n') ++m_line;
      ++m_pos;
    }
    if (m_pos >= m_text.size()) return false;
    token->line = m_line;
    token->text.clear();
    if (m_text[m_pos] == '\'') {
      token->quoted = true;
      ++m_pos;
      for (;;) {
        if (m_pos >= m_text.size()) {
          *error = lineMessage(token->line, OLESTR("quoted text is not closed"));
          return false;
        }
        OLECHAR c = m_text[m_pos++];
        if (c == '\n') ++m_line;
        if (c == '\'') {
          if (m_pos < m_text.size() && m_text[m_pos] == '\'') {
            ++m_pos;
          } else {
            return true;
          }
        }
        token->text += c;
      }
    }
    token->quoted = false;
    while (m_pos < m_text.size() && !isSpace(m_text[m_pos])) {
      if (m_text[m_pos] == '\'') {
        *error = lineMessage(token->line, OLESTR("a quote inside '") + token->text + OLESTR("'"));
        return false;
      }
      token->text += m_text[m_pos++];
    }
    return true;
  }

  int Line() const { return m_line; }

 private:
  TrxStringView m_text;
  size_t m_pos = 0;
  int m_line = 1;
};

// Recursive descent over the token list.
class ScriptParser {
 public:
  ScriptParser(std::vector<Token> tokens, const std::vector<std::pair<TrxString, TrxString>>& replacements,
               int lastLine)
      : m_tokens(std::move(tokens)), m_replacements(replacements), m_lastLine(lastLine) {}

  bool Parse(std::vector<CNVTRXRegistrar::Root>* roots) {
    while (m_pos < m_tokens.size()) {
      const Token& name = m_tokens[m_pos++];
      CNVTRXRegistrar::Root root;
      root.key = RootKey(name);
      if (!root.key) return Fail(name.line, OLESTR("unknown root key '") + name.text + OLESTR("'"));
      if (!Expect(OLESTR("{"))) return false;
      if (!Block(&root.subkeys, &root.values)) return false;
      roots->push_back(std::move(root));
    }
    return true;
  }

  const TrxString& Error() const { return m_error; }

 private:
  static HKEY RootKey(const Token& token) {
    if (token.Is(OLESTR("HKCR")) || token.Is(OLESTR("HKEY_CLASSES_ROOT"))) return HKEY_CLASSES_ROOT;
    if (token.Is(OLESTR("HKCU")) || token.Is(OLESTR("HKEY_CURRENT_USER"))) return HKEY_CURRENT_USER;
    if (token.Is(OLESTR("HKLM")) || token.Is(OLESTR("HKEY_LOCAL_MACHINE"))) return HKEY_LOCAL_MACHINE;
    return nullptr;
  }

  bool Fail(int line, TrxStringView message) {
    if (m_error.empty()) m_error = lineMessage(line, message);
    return false;
  }

  int CurrentLine() const { return m_pos < m_tokens.size() ? m_tokens[m_pos].line : m_lastLine; }

  bool AtWord(const OLECHAR* word) const { return m_pos < m_tokens.size() && m_tokens[m_pos].Is(word); }

  bool Expect(const OLECHAR* word) {
    if (AtWord(word)) {
      ++m_pos;
      return true;
    }
    if (m_pos >= m_tokens.size())
      return Fail(m_lastLine, OLESTR("expected '") + TrxString(word) + OLESTR("' at the end of the script"));
    return Fail(m_tokens[m_pos].line,
                OLESTR("expected '") + TrxString(word) + OLESTR("', found '") + m_tokens[m_pos].text + OLESTR("'"));
  }

  // A name or data token with its variables replaced.
  bool Text(const OLECHAR* what, TrxString* out) {
    if (m_pos >= m_tokens.size()) return Fail(m_lastLine, OLESTR("expected ") + TrxString(what));
    const Token& token = m_tokens[m_pos];
    if (!token.quoted && (token.text == OLESTR("{") || token.text == OLESTR("}") || token.text == OLESTR("=")))
      return Fail(token.line, OLESTR("expected ") + TrxString(what) + OLESTR(", found '") + token.text + OLESTR("'"));
    ++m_pos;
    return Replace(token, out);
  }

  bool Replace(const Token& token, TrxString* out) {
    out->clear();
    const TrxString& text = token.text;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] != '%') {
        *out += text[i];
        continue;
      }
      const size_t end = text.find('%', i + 1);
      if (end == TrxString::npos) return Fail(token.line, OLESTR("unclosed variable in '") + text + OLESTR("'"));
      const TrxStringView name(text.data() + i + 1, end - i - 1);
      if (name.empty()) {
        *out += '%';
      } else {
        bool found = false;
        for (const auto& [variable, value] : m_replacements) {
          if (TrxEqualsNoCase(variable, name)) {
            *out += value;
            found = true;
            break;
          }
        }
        if (!found) return Fail(token.line, OLESTR("unknown variable %") + TrxString(name) + OLESTR("%"));
      }
      i = end;
    }
    return true;
  }

  // "= type data" after a name.
  bool ValueData(CNVTRXRegistrar::Value* value) {
    if (!Expect(OLESTR("="))) return false;
    const int line = CurrentLine();
    TrxString type, data;
    if (!Text(OLESTR("a value type (s, d or b)"), &type)) return false;
    if (!Text(OLESTR("the value's data"), &data)) return false;
    if (TrxEqualsNoCase(type, OLESTR("s"))) {
      value->type = REG_SZ;
      for (OLECHAR c : data) {
        value->data.push_back(static_cast<BYTE>(c & 0xFF));
        value->data.push_back(static_cast<BYTE>((c >> 8) & 0xFF));
      }
      value->data.push_back(0);
      value->data.push_back(0);
      return true;
    }
    if (TrxEqualsNoCase(type, OLESTR("d"))) {
      uint64_t number = 0;
      size_t start = 0;
      unsigned base = 10;
      if (data.size() > 2 && data[0] == '0' && (data[1] == 'x' || data[1] == 'X')) {
        base = 16;
        start = 2;
      }
      if (start >= data.size()) return Fail(line, OLESTR("'") + data + OLESTR("' is not a number"));
      for (size_t i = start; i < data.size(); ++i) {
        const int digit = Digit(data[i]);
        if (digit < 0 || static_cast<unsigned>(digit) >= base)
          return Fail(line, OLESTR("'") + data + OLESTR("' is not a number"));
        number = number * base + static_cast<unsigned>(digit);
        if (number > 0xFFFFFFFFull) return Fail(line, OLESTR("'") + data + OLESTR("' does not fit in a DWORD"));
      }
      value->type = REG_DWORD;
      for (int shift = 0; shift < 32; shift += 8) value->data.push_back(static_cast<BYTE>(number >> shift));
      return true;
    }
    if (TrxEqualsNoCase(type, OLESTR("b"))) {
      if (data.size() % 2 != 0) return Fail(line, OLESTR("binary data needs an even number of hex digits"));
      for (size_t i = 0; i < data.size(); i += 2) {
        const int high = Digit(data[i]), low = Digit(data[i + 1]);
        if (high < 0 || high > 15 || low < 0 || low > 15)
          return Fail(line, OLESTR("'") + data + OLESTR("' is not hex data"));
        value->data.push_back(static_cast<BYTE>(high << 4 | low));
      }
      value->type = REG_BINARY;
      return true;
    }
    return Fail(line, OLESTR("unknown value type '") + type + OLESTR("'"));
  }

  static int Digit(OLECHAR c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  // The items of a block up to its closing brace (the opening one is read).
  bool Block(std::vector<std::unique_ptr<CNVTRXRegistrar::Key>>* keys, std::vector<CNVTRXRegistrar::Value>* values) {
    const int opened = m_pos > 0 ? m_tokens[m_pos - 1].line : 1;
    for (;;) {
      if (m_pos >= m_tokens.size()) return Fail(opened, OLESTR("the block opened here is not closed"));
      if (AtWord(OLESTR("}"))) {
        ++m_pos;
        return true;
      }
      if (AtWord(OLESTR("val"))) {
        ++m_pos;
        CNVTRXRegistrar::Value value;
        if (!Text(OLESTR("a value name"), &value.name)) return false;
        if (!ValueData(&value)) return false;
        values->push_back(std::move(value));
        continue;
      }
      auto key = std::make_unique<CNVTRXRegistrar::Key>();
      key->line = CurrentLine();
      for (;;) {
        if (AtWord(OLESTR("NoRemove"))) {
          key->flags |= CNVTRXRegistrar::kNoRemove;
        } else if (AtWord(OLESTR("ForceRemove"))) {
          key->flags |= CNVTRXRegistrar::kForceRemove;
        } else if (AtWord(OLESTR("Delete"))) {
          key->flags |= CNVTRXRegistrar::kDelete;
        } else {
          break;
        }
        ++m_pos;
      }
      if (!Text(OLESTR("a key name"), &key->name)) return false;
      if (key->name.empty()) return Fail(key->line, OLESTR("a key name is empty"));
      if (key->name.find('\\') != TrxString::npos)
        return Fail(key->line, OLESTR("a key name holds a backslash: '") + key->name + OLESTR("'"));
      if (AtWord(OLESTR("="))) {
        CNVTRXRegistrar::Value value;
        if (!ValueData(&value)) return false;
        key->values.push_back(std::move(value));
      }
      if (AtWord(OLESTR("{"))) {
        ++m_pos;
        if (!Block(&key->subkeys, &key->values)) return false;
      }
      keys->push_back(std::move(key));
    }
  }

  std::vector<Token> m_tokens;
  const std::vector<std::pair<TrxString, TrxString>>& m_replacements;
  int m_lastLine;
  size_t m_pos = 0;
  TrxString m_error;
};

LSTATUS setValue(HKEY key, const CNVTRXRegistrar::Value& value) {
  return RegSetValueExW(key, value.name.empty() ? nullptr : value.name.c_str(), 0, value.type,
                        value.data.empty() ? nullptr : value.data.data(), static_cast<DWORD>(value.data.size()));
}

// Deletes parent\name with everything below it; a missing key is fine.
LSTATUS deleteTree(HKEY parent, const TrxString& name) {
  const LSTATUS status = RegDeleteTreeW(parent, name.c_str());
  return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

LSTATUS registerKeys(HKEY parent, const std::vector<std::unique_ptr<CNVTRXRegistrar::Key>>& keys) {
  for (const auto& key : keys) {
    if (key->flags & (CNVTRXRegistrar::kForceRemove | CNVTRXRegistrar::kDelete)) {
      if (LSTATUS status = deleteTree(parent, key->name); status != ERROR_SUCCESS) return status;
      if (key->flags & CNVTRXRegistrar::kDelete) continue;
    }
    HKEY created = nullptr;
    LSTATUS status = RegCreateKeyExW(parent, key->name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_READ | KEY_WRITE | DELETE, nullptr, &created, nullptr);
    if (status != ERROR_SUCCESS) return status;
    for (const auto& value : key->values) {
      status = setValue(created, value);
      if (status != ERROR_SUCCESS) break;
    }
    if (status == ERROR_SUCCESS) status = registerKeys(created, key->subkeys);
    RegCloseKey(created);
    if (status != ERROR_SUCCESS) return status;
  }
  return ERROR_SUCCESS;
}

// Removes the named values of a kept key (a missing value is fine).
LSTATUS removeValues(HKEY key, const std::vector<CNVTRXRegistrar::Value>& values) {
  LSTATUS first = ERROR_SUCCESS;
  for (const auto& value : values) {
    if (value.name.empty()) continue;  // a kept key keeps its default value
    LSTATUS status = RegDeleteValueW(key, value.name.c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND && first == ERROR_SUCCESS) first = status;
  }
  return first;
}

LSTATUS unregisterKeys(HKEY parent, const std::vector<std::unique_ptr<CNVTRXRegistrar::Key>>& keys) {
  LSTATUS first = ERROR_SUCCESS;
  auto keep = [&first](LSTATUS status) {
    if (status != ERROR_SUCCESS && first == ERROR_SUCCESS) first = status;
  };
  for (const auto& key : keys) {
    if (key->flags & CNVTRXRegistrar::kDelete) continue;
    if (key->flags & CNVTRXRegistrar::kNoRemove) {
      HKEY opened = nullptr;
      LSTATUS status = RegOpenKeyExW(parent, key->name.c_str(), 0, KEY_READ | KEY_WRITE | DELETE, &opened);
      if (status == ERROR_FILE_NOT_FOUND) continue;
      keep(status);
      if (status != ERROR_SUCCESS) continue;
      keep(removeValues(opened, key->values));
      keep(unregisterKeys(opened, key->subkeys));
      RegCloseKey(opened);
      continue;
    }
    keep(deleteTree(parent, key->name));
  }
  return first;
}

}  // namespace

void CNVTRXRegistrar::AddReplacement(TrxStringView name, TrxStringView value) {
  for (auto& [variable, text] : m_replacements) {
    if (TrxEqualsNoCase(variable, name)) {
      text = TrxString(value);
      return;
    }
  }
  m_replacements.emplace_back(TrxString(name), TrxString(value));
}

bool CNVTRXRegistrar::Parse(TrxStringView script, std::vector<Root>* roots, TrxString* error) const {
  roots->clear();
  error->clear();
  Tokenizer tokenizer(script);
  std::vector<Token> tokens;
  Token token;
  while (tokenizer.Next(&token, error)) tokens.push_back(token);
  if (!error->empty()) return false;
  ScriptParser parser(std::move(tokens), m_replacements, tokenizer.Line());
  if (!parser.Parse(roots)) {
    *error = parser.Error();
    roots->clear();
    return false;
  }
  return true;
}

HRESULT CNVTRXRegistrar::Register(TrxStringView script) {
  std::vector<Root> roots;
  if (!Parse(script, &roots, &m_error)) return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
  for (const Root& root : roots) {
    for (const Value& value : root.values)
      if (LSTATUS status = setValue(root.key, value); status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    if (LSTATUS status = registerKeys(root.key, root.subkeys); status != ERROR_SUCCESS)
      return HRESULT_FROM_WIN32(status);
  }
  return S_OK;
}

HRESULT CNVTRXRegistrar::Unregister(TrxStringView script) {
  std::vector<Root> roots;
  if (!Parse(script, &roots, &m_error)) return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
  LSTATUS first = ERROR_SUCCESS;
  for (const Root& root : roots) {
    // A root is never deleted: its named values go, its keys as the script says.
    LSTATUS status = removeValues(root.key, root.values);
    if (status != ERROR_SUCCESS && first == ERROR_SUCCESS) first = status;
    status = unregisterKeys(root.key, root.subkeys);
    if (status != ERROR_SUCCESS && first == ERROR_SUCCESS) first = status;
  }
  return first == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(first);
}
