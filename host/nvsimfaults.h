// The faults a test injects into the simulated client: slow, busy-making,
// hanging and failing requests, failing property reads, and refusals of
// the service connection's calls. It has its own lock; hanging requests
// wait in it until they are released.
#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <utility>

#include "platform/trxplatform.h"

// How a request or an action ends: S_OK and no error code when it went well.
struct CNVSimFailure {
  HRESULT status = S_OK;
  SHORT code = 0;
  TrxString text;
};

class CNVSimFaults {
 public:
  // The faults of one request, fixed when it arrives.
  struct Request {
    DWORD delay = 0;        // it takes this much longer
    DWORD busyAfter = 0;    // the client stays busy this long after it
    bool hang = false;      // it waits until hanging requests are released
    bool injected = false;  // it fails with `failure` and runs no rule
    CNVSimFailure failure;
  };

  // The description's start values of the connection's faults.
  CNVSimFaults(HRESULT registrationStatus, bool controlInterface);

  // The faults the next request meets; it uses up one injected failure.
  Request TakeRequestFaults();
  void SetRequestDelay(DWORD milliseconds);
  void SetBusyAfterRequest(DWORD milliseconds);
  void SetHangRequests(bool hang);
  // The next `count` requests (every request for -1) fail.
  void FailRequests(CNVSimFailure failure, LONG count);
  void ClearRequestFailures();

  // A hanging request: waits until ReleaseHangingRequests, dispatching the
  // calling thread's messages meanwhile, as a client's modal loop does.
  void Hang();
  void ReleaseHangingRequests();
  LONG GetHangingRequests() const;
  bool WaitForHangingRequests(LONG count, DWORD milliseconds) const;

  // Reads of a property of the object of that index fail with `status`: the
  // next `count` reads, or all of them when `count` is negative.
  void FailProperty(LONG object, TrxStringView property, HRESULT status, LONG count = -1);
  // The failure the next read of that property meets; it uses up one counted failure.
  bool TakePropertyFailure(LONG object, TrxStringView property, HRESULT& status);
  void ClearPropertyFailures();

  // The service connection: RegisterTRX, QueryInterface for INVAppControl,
  // EnableRecorder and SetOperationId.
  void SetRegistrationStatus(HRESULT status);
  HRESULT GetRegistrationStatus() const;
  void SetControlInterface(bool offered);
  bool OffersControlInterface() const;
  void SetRecorderSwitchStatus(HRESULT status);
  HRESULT GetRecorderSwitchStatus() const;
  void SetOperationIdStatus(HRESULT status);
  HRESULT GetOperationIdStatus() const;

 private:
  mutable std::mutex m_lock;
  DWORD m_requestDelay = 0;
  DWORD m_busyAfterRequest = 0;
  bool m_hangRequests = false;
  LONG m_failCount = 0;
  CNVSimFailure m_requestFailure;
  std::map<std::pair<LONG, TrxString>, std::pair<HRESULT, LONG>> m_failingProperties;  // status, reads left
  HRESULT m_registrationStatus;
  bool m_controlInterface;
  HRESULT m_recorderSwitchStatus = S_OK;
  HRESULT m_operationIdStatus = S_OK;

  // Hanging requests, and who waits for them.
  mutable std::condition_variable m_hangChanged;
  ULONGLONG m_hangGeneration = 0;  // counts the releases
  LONG m_hanging = 0;
};
