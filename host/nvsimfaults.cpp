#include "host/nvsimfaults.h"

#include <chrono>

#include "host/nvsimcallwindow.h"

CNVSimFaults::CNVSimFaults(HRESULT registrationStatus, bool controlInterface)
    : m_registrationStatus(registrationStatus), m_controlInterface(controlInterface) {}

// ---- requests ----------------------------------------------------------------------------------

CNVSimFaults::Request CNVSimFaults::TakeRequestFaults() {
  std::lock_guard<std::mutex> lock(m_lock);
  Request faults;
  faults.delay = m_requestDelay;
  faults.busyAfter = m_busyAfterRequest;
  faults.hang = m_hangRequests;
  if (m_failCount != 0) {
    faults.injected = true;
    faults.failure = m_requestFailure;
    if (m_failCount > 0) --m_failCount;
  }
  return faults;
}

void CNVSimFaults::SetRequestDelay(DWORD milliseconds) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_requestDelay = milliseconds;
}

void CNVSimFaults::SetBusyAfterRequest(DWORD milliseconds) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_busyAfterRequest = milliseconds;
}

void CNVSimFaults::SetHangRequests(bool hang) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_hangRequests = hang;
}

void CNVSimFaults::FailRequests(CNVSimFailure failure, LONG count) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_requestFailure = std::move(failure);
  m_failCount = count;
}

void CNVSimFaults::ClearRequestFailures() {
  std::lock_guard<std::mutex> lock(m_lock);
  m_failCount = 0;
}

// ---- hanging requests ----------------------------------------------------------------------------

void CNVSimFaults::Hang() {
  // Calls to the client's other objects from another process arrive as
  // messages of this thread; they are still answered while it hangs.
  std::unique_lock<std::mutex> lock(m_lock);
  const ULONGLONG generation = m_hangGeneration;
  ++m_hanging;
  m_hangChanged.notify_all();
  while (!m_hangChanged.wait_for(lock, std::chrono::milliseconds(10), [&] { return m_hangGeneration != generation; })) {
    lock.unlock();
    CNVSimCallWindow::PumpMessages();
    lock.lock();
  }
  --m_hanging;
}

void CNVSimFaults::ReleaseHangingRequests() {
  {
    std::lock_guard<std::mutex> lock(m_lock);
    ++m_hangGeneration;
  }
  m_hangChanged.notify_all();
}

LONG CNVSimFaults::GetHangingRequests() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_hanging;
}

bool CNVSimFaults::WaitForHangingRequests(LONG count, DWORD milliseconds) const {
  std::unique_lock<std::mutex> lock(m_lock);
  return m_hangChanged.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return m_hanging >= count; });
}

// ---- property reads ------------------------------------------------------------------------------

void CNVSimFaults::FailProperty(LONG object, TrxStringView property, HRESULT status, LONG count) {
  std::lock_guard<std::mutex> lock(m_lock);
  if (count == 0)
    m_failingProperties.erase({object, TrxString(property)});
  else
    m_failingProperties[{object, TrxString(property)}] = {status, count};
}

bool CNVSimFaults::TakePropertyFailure(LONG object, TrxStringView property, HRESULT& status) {
  std::lock_guard<std::mutex> lock(m_lock);
  if (m_failingProperties.empty()) return false;
  const auto found = m_failingProperties.find({object, TrxString(property)});
  if (found == m_failingProperties.end()) return false;
  status = found->second.first;
  LONG& left = found->second.second;
  if (left > 0 && --left == 0) m_failingProperties.erase(found);
  return true;
}

void CNVSimFaults::ClearPropertyFailures() {
  std::lock_guard<std::mutex> lock(m_lock);
  m_failingProperties.clear();
}

// ---- the service connection ----------------------------------------------------------------------

void CNVSimFaults::SetRegistrationStatus(HRESULT status) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_registrationStatus = status;
}

HRESULT CNVSimFaults::GetRegistrationStatus() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_registrationStatus;
}

void CNVSimFaults::SetControlInterface(bool offered) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_controlInterface = offered;
}

bool CNVSimFaults::OffersControlInterface() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_controlInterface;
}

void CNVSimFaults::SetRecorderSwitchStatus(HRESULT status) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_recorderSwitchStatus = status;
}

HRESULT CNVSimFaults::GetRecorderSwitchStatus() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_recorderSwitchStatus;
}

void CNVSimFaults::SetOperationIdStatus(HRESULT status) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_operationIdStatus = status;
}

HRESULT CNVSimFaults::GetOperationIdStatus() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_operationIdStatus;
}
