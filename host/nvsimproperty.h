// A property of a simulated object: its value, or, for a keyed property,
// one value per key of auxiliary parameters; and an optional failure.
#pragma once

#include <utility>
#include <vector>

#include "host/nvsimvalue.h"

struct CNVSimProperty {
  TrxString name;
  // The value; for a keyed property the value of a read without
  // auxiliary parameters or with a key that has no entry.
  CNVSimValue value;
  bool keyed = false;
  // Key: the auxiliary parameters' texts joined with '|'.
  std::vector<std::pair<TrxString, CNVSimValue>> entries;
  // A failure status makes every read of the property fail.
  HRESULT failStatus = S_OK;

  // The value for a key (an empty key reads `value`).
  const CNVSimValue& Lookup(TrxStringView key) const {
    if (keyed && !key.empty())
      for (const auto& entry : entries)
        if (entry.first == key) return entry.second;
    return value;
  }
  // The value stored for a key, created (as a copy of `value`) when missing;
  // `value` itself for an empty key or a property that is not keyed.
  CNVSimValue& Slot(TrxStringView key) {
    if (!keyed || key.empty()) return value;
    for (auto& entry : entries)
      if (entry.first == key) return entry.second;
    entries.emplace_back(TrxString(key), value);
    return entries.back().second;
  }
};
