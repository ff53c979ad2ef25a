// The service's last error: one code and text per service process.
//
// The root application object owns the record and makes it current for its
// lifetime; the reporting operations of the log set it and function entries
// clear it. While no record is current, reports still reach the log but
// nothing is recorded. The record is guarded so that the apartment thread
// and the notifier thread can report at the same time; whichever writes
// last wins, as a single thread would see it.
#pragma once

#include "platform/trxplatform.h"

class CNVTRXLastError {
 public:
  CNVTRXLastError() = default;
  CNVTRXLastError(const CNVTRXLastError&) = delete;
  CNVTRXLastError& operator=(const CNVTRXLastError&) = delete;
  ~CNVTRXLastError();

  LONG GetCode() const;
  TrxString GetText() const;
  // Code and text read together.
  void Get(LONG& code, TrxString& text) const;
  void Set(LONG code, TrxStringView text);
  void Clear();

  // The record that reports go to: at most one at a time. MakeCurrent
  // replaces any earlier one; a record stops being current when it is
  // destroyed or when Release is called on it.
  void MakeCurrent();
  void Release();
  static CNVTRXLastError* Current() noexcept;

 private:
  mutable TrxCriticalSection m_lock;
  LONG m_code = 0;
  TrxString m_text;
};
