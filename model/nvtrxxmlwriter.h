// A small streaming XML writer for the object contents document.
//
// It writes UTF-16 text to a file or appends it to a string. Layout: no
// indentation; a start tag that gets children is closed with ">" and a line
// feed before the first child; an element without children or text ends
// with "/>" and a line feed; any other element ends with "</name>" and a
// line feed. Attribute values and text have the five XML special
// characters escaped.
#pragma once

#include <vector>

#include "platform/trxplatform.h"

class CNVTRXXmlWriter {
 public:
  // Appends to `target`.
  explicit CNVTRXXmlWriter(TrxString& target);
  // Writes to a file, created or replaced. IsOpen tells whether it could be.
  explicit CNVTRXXmlWriter(const OLECHAR* fileName);
  ~CNVTRXXmlWriter();
  CNVTRXXmlWriter(const CNVTRXXmlWriter&) = delete;
  CNVTRXXmlWriter& operator=(const CNVTRXXmlWriter&) = delete;

  bool IsOpen() const noexcept;
  // The declaration and a line feed; a file gets the byte-order mark FF FE
  // before it.
  void WriteHeader();
  void StartElement(TrxStringView name);
  void WriteAttribute(TrxStringView name, TrxStringView value);
  void WriteText(TrxStringView text);
  void EndElement();
  // Ends every element still open and writes pending file output.
  void Close();

 private:
  void CloseStartTag();
  void Put(TrxStringView text);
  void PutEscaped(TrxStringView text);
  void Flush();

  TrxString* m_target = nullptr;
  TrxHandle m_file;
  TrxString m_buffer;  // pending file output
  bool m_fileFailed = false;
  struct Open {
    TrxString name;
    bool hasContent;
  };
  std::vector<Open> m_stack;
  bool m_startTagOpen = false;
};
