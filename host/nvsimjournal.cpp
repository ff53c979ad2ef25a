#include "host/nvsimjournal.h"

#include <chrono>

ULONGLONG CNVSimJournal::Add(CNVSimRequestRecord record) {
  ULONGLONG number = 0;
  {
    std::lock_guard<std::mutex> lock(m_lock);
    number = m_firstNumber + m_requests.size();
    m_requests.push_back(std::move(record));
  }
  m_added.notify_all();
  return number;
}

void CNVSimJournal::Finish(ULONGLONG number, HRESULT status, SHORT code, const TrxString& text) {
  std::lock_guard<std::mutex> lock(m_lock);
  if (number < m_firstNumber || number - m_firstNumber >= m_requests.size()) return;
  CNVSimRequestRecord& record = m_requests[static_cast<size_t>(number - m_firstNumber)];
  record.finished = true;
  record.status = status;
  record.errorCode = code;
  record.errorText = text;
}

std::vector<CNVSimRequestRecord> CNVSimJournal::GetRequests() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_requests;
}

void CNVSimJournal::Clear() {
  std::lock_guard<std::mutex> lock(m_lock);
  m_firstNumber += m_requests.size();
  m_requests.clear();
}

bool CNVSimJournal::WaitFor(size_t count, DWORD milliseconds) const {
  std::unique_lock<std::mutex> lock(m_lock);
  return m_added.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return m_requests.size() >= count; });
}

void CNVSimJournal::AddControl(TrxString entry) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_controlLog.push_back(std::move(entry));
}

std::vector<TrxString> CNVSimJournal::GetControlLog() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_controlLog;
}
