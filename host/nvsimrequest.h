// One HandleAutoRequest on its way through the simulated client, step by
// step:
//   Arrive  journalled, the client busy, its faults or matching rule fixed;
//   Wait    a hang until released, then the delay;
//   End     the rule's changes, the last error, the journal's record, the
//           busy period after it; the loopback echo decided;
//   Echo    the echo posted to the event window (see
//           CNVSimApplication::SetEventWindow).
// The client's lock is held within Arrive and End only.
#pragma once

#include <vector>

#include "host/nvsimfaults.h"
#include "host/nvsimrule.h"

class CNVSimApplication;
class CNVSimObject;

class CNVSimRequest {
 public:
  CNVSimRequest(CNVSimApplication& application, CNVSimObject& object, LONG request, const VARIANT& parameter);
  CNVSimRequest(const CNVSimRequest&) = delete;
  CNVSimRequest& operator=(const CNVSimRequest&) = delete;

  // Runs the steps; the status HandleAutoRequest returns.
  HRESULT Run();

  // The elements of a request parameter or of auxiliary parameters, as
  // text: the rows of an array (the first column of a two-dimensional
  // one), or the single value; none for VT_EMPTY, VT_NULL or null.
  static std::vector<TrxString> ArgumentTexts(const VARIANT* parameter);

 private:
  void Arrive();
  void Wait() const;
  // The window to post the echo to; null for none.
  HWND End();
  void Echo(HWND window) const;

  CNVSimApplication& m_application;
  CNVSimObject& m_object;
  const LONG m_request;
  const std::vector<TrxString> m_arguments;
  const TrxString m_argumentText;  // as the service's traces write it: "(a,b)"
  const ULONGLONG m_started;
  ULONGLONG m_record = 0;  // its number in the journal
  CNVSimFaults::Request m_faults;
  const CNVSimRule* m_rule = nullptr;
  // The service keeps the recorder on during its own requests only when it
  // wants them echoed; a recorder switched on later (at the end of the
  // call that made a hanging request) does not ask for an echo.
  bool m_echoAsked = false;
  CNVSimFailure m_result;
};
