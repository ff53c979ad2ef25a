// The arguments of a host request: a one-dimensional array of VARIANT,
// zero-based, that this object owns and frees.
//
//   NWEInvoke(host, REQID_SETCELLFOCUS, CNVTRXRequestArgs{row, column}, ...);
#pragma once

#include <initializer_list>

#include "platform/trxplatform.h"

class CNVTRXRequestArgs {
 public:
  CNVTRXRequestArgs(std::initializer_list<TrxVariant> values);
  CNVTRXRequestArgs(const CNVTRXRequestArgs&) = delete;
  CNVTRXRequestArgs& operator=(const CNVTRXRequestArgs&) = delete;

  // The array as a VARIANT (VT_ARRAY | VT_VARIANT); an empty VARIANT when
  // the array could not be made or filled (asserted).
  const VARIANT* Get() const noexcept { return &m_value; }
  operator const VARIANT*() const noexcept { return &m_value; }

 private:
  TrxVariant m_value;
};
