#include "model/nvtrxxmlwriter.h"

CNVTRXXmlWriter::CNVTRXXmlWriter(TrxString& target) : m_target(&target) {}

CNVTRXXmlWriter::CNVTRXXmlWriter(const OLECHAR* fileName)
    : m_file(CreateFileW(fileName, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                         nullptr)) {
  m_fileFailed = !m_file;
}

CNVTRXXmlWriter::~CNVTRXXmlWriter() { Close(); }

bool CNVTRXXmlWriter::IsOpen() const noexcept { return m_target != nullptr || m_file.IsValid(); }

void CNVTRXXmlWriter::WriteHeader() {
  if (!m_target && m_file) {
    static const BYTE kByteOrderMark[] = {0xFF, 0xFE};
    DWORD written = 0;
    WriteFile(m_file.Get(), kByteOrderMark, 2, &written, nullptr);
  }
  Put(OLESTR("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n"));
}

void CNVTRXXmlWriter::CloseStartTag() {
  if (!m_startTagOpen) return;
  Put(OLESTR(">\n"));
  m_startTagOpen = false;
}

void CNVTRXXmlWriter::StartElement(TrxStringView name) {
  if (!m_stack.empty()) {
    CloseStartTag();
    m_stack.back().hasContent = true;
  }
  Put(OLESTR("<"));
  Put(name);
  m_stack.push_back({TrxString(name), false});
  m_startTagOpen = true;
}

void CNVTRXXmlWriter::WriteAttribute(TrxStringView name, TrxStringView value) {
  if (!m_startTagOpen) return;
  Put(OLESTR(" "));
  Put(name);
  Put(OLESTR("=\""));
  PutEscaped(value);
  Put(OLESTR("\""));
}

void CNVTRXXmlWriter::WriteText(TrxStringView text) {
  if (m_stack.empty()) return;
  if (m_startTagOpen) {
    Put(OLESTR(">"));
    m_startTagOpen = false;
  }
  m_stack.back().hasContent = true;
  PutEscaped(text);
}

void CNVTRXXmlWriter::EndElement() {
  if (m_stack.empty()) return;
  Open open = std::move(m_stack.back());
  m_stack.pop_back();
  if (m_startTagOpen && !open.hasContent) {
    Put(OLESTR("/>\n"));
    m_startTagOpen = false;
  } else {
    Put(OLESTR("</"));
    Put(open.name);
    Put(OLESTR(">\n"));
  }
  if (m_stack.empty()) Flush();
}

void CNVTRXXmlWriter::Close() {
  while (!m_stack.empty()) EndElement();
  Flush();
}

void CNVTRXXmlWriter::Put(TrxStringView text) {
  if (m_target) {
    m_target->append(text.data(), text.size());
  } else if (m_file) {
    m_buffer.append(text.data(), text.size());
    if (m_buffer.size() >= 32768) Flush();
  }
}

void CNVTRXXmlWriter::PutEscaped(TrxStringView text) {
  size_t run = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const OLECHAR* entity = nullptr;
    switch (text[i]) {
      case '&':
        entity = OLESTR("&amp;");
        break;
      case '<':
        entity = OLESTR("&lt;");
        break;
      case '>':
        entity = OLESTR("&gt;");
        break;
      case '"':
        entity = OLESTR("&quot;");
        break;
      case '\'':
        entity = OLESTR("&apos;");
        break;
      default:
        continue;
    }
    Put(text.substr(run, i - run));
    Put(entity);
    run = i + 1;
  }
  Put(text.substr(run));
}

void CNVTRXXmlWriter::Flush() {
  if (!m_file || m_buffer.empty()) return;
  const std::vector<unsigned char> bytes = TrxUtf16LEBytes(m_buffer);
  DWORD written = 0;
  if (!WriteFile(m_file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) m_fileFailed = true;
  m_buffer.clear();
}
