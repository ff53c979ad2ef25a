#include "log/nvtrxlasterror.h"

#include <atomic>

namespace {
std::atomic<CNVTRXLastError*> g_current{nullptr};
}

CNVTRXLastError::~CNVTRXLastError() { Release(); }

LONG CNVTRXLastError::GetCode() const {
  TrxLock lock(m_lock);
  return m_code;
}

TrxString CNVTRXLastError::GetText() const {
  TrxLock lock(m_lock);
  return m_text;
}

void CNVTRXLastError::Get(LONG& code, TrxString& text) const {
  TrxLock lock(m_lock);
  code = m_code;
  text = m_text;
}

void CNVTRXLastError::Set(LONG code, TrxStringView text) {
  TrxLock lock(m_lock);
  m_code = code;
  m_text.assign(text.data() ? text.data() : OLESTR(""), text.size());
}

void CNVTRXLastError::Clear() {
  TrxLock lock(m_lock);
  m_code = 0;
  m_text.clear();
}

void CNVTRXLastError::MakeCurrent() { g_current.store(this); }

void CNVTRXLastError::Release() {
  CNVTRXLastError* self = this;
  g_current.compare_exchange_strong(self, nullptr);
}

CNVTRXLastError* CNVTRXLastError::Current() noexcept { return g_current.load(); }
