// The simulated client's journal: the requests it received and the calls
// of its service connection, in the order they happened, for tests to
// read. It has its own lock; a request is added as it arrives and
// completed when it ends.
#pragma once

#include <condition_variable>
#include <mutex>
#include <vector>

#include "platform/trxplatform.h"

// One request the client received.
struct CNVSimRequestRecord {
  LONG requestId = 0;
  TrxString object;  // the object's path ("" for the application)
  LONG objectType = 0;
  std::vector<TrxString> arguments;  // the parameter's elements as text
  TrxString argumentText;            // the parameter as the service writes it: "(a,b)"
  TrxString operationId;             // the operation id set when it arrived
  DWORD threadId = 0;                // the thread that called HandleAutoRequest
  bool finished = false;
  HRESULT status = S_OK;
  SHORT errorCode = 0;
  TrxString errorText;
};

class CNVSimJournal {
 public:
  // Adds a request that has arrived; the number to complete it with.
  ULONGLONG Add(CNVSimRequestRecord record);
  // Marks the request finished with its status and error. Nothing happens
  // when the journal was cleared since it arrived.
  void Finish(ULONGLONG number, HRESULT status, SHORT code, const TrxString& text);
  std::vector<CNVSimRequestRecord> GetRequests() const;
  void Clear();
  // Waits until the journal holds at least `count` requests; false on
  // time-out.
  bool WaitFor(size_t count, DWORD milliseconds) const;

  // A call of the service connection: "RegisterTRX", "OnAppReady failed
  // 0x80004005", ...
  void AddControl(TrxString entry);
  std::vector<TrxString> GetControlLog() const;

 private:
  mutable std::mutex m_lock;
  mutable std::condition_variable m_added;
  std::vector<CNVSimRequestRecord> m_requests;
  ULONGLONG m_firstNumber = 0;  // the number of m_requests[0]
  std::vector<TrxString> m_controlLog;
};
