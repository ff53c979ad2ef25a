// VARIANTs as JSON, both ways, for the trx bridge.
//
// The structured form is {"vt":N,"value":V}:
//   VT_EMPTY (0) and VT_NULL (1)         no "value" (null is accepted on input)
//   integer types (2, 3, 16-23), 10      a JSON integer, range-checked on input
//   VT_R4, VT_R8, VT_DATE (4, 5, 7)      a JSON number
//   VT_CY (6)                            a JSON number (the currency amount)
//   VT_BSTR (8)                          a JSON string, or null for a null BSTR
//   VT_BOOL (11)                         true or false
//   VT_DISPATCH, VT_UNKNOWN (9, 13)      null (pointers cannot cross)
//   VT_ARRAY|T (8192|T)                  nested JSON arrays, one level per
//                                        dimension, the first dimension
//                                        outermost; VARIANT elements in the
//                                        structured form, typed elements bare;
//                                        null for an array pointer that is null
//   VT_BYREF|T (16384|T), input only     the value the reference points to
// Output of a by-reference VARIANT follows the reference and keeps the flag.
//
// Bare forms, where a VARIANT is expected on input: a string is VT_BSTR, an
// integer VT_I4, another number VT_R8, true/false VT_BOOL, null VT_NULL and
// an array a one-dimensional VT_ARRAY|VT_VARIANT of its converted elements.
#pragma once

#include <deque>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/trxplatform.h"

using TrxJson = nlohmann::ordered_json;

// Owns what by-reference VARIANTs point to. It must outlive every VARIANT
// converted with it; addresses stay put while it grows.
class TrxVariantStore {
 public:
  TrxVariant& Add() { return m_values.emplace_back(); }

 private:
  std::deque<TrxVariant> m_values;
};

// JSON to VARIANT (structured or bare form). False, with the reason in
// `error`, for JSON that does not describe a VARIANT we can build.
bool TrxJsonToVariant(const TrxJson& json, TrxVariant& out, TrxVariantStore& store, std::string& error);

// VARIANT to the structured form.
TrxJson TrxVariantToJson(const VARIANT& value);

// A BSTR as JSON: a string, or null for a null BSTR.
TrxJson TrxBstrToJson(BSTR text);
