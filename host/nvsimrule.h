// Rules of the simulated client: which requests change its state and how.
//
// A rule names the requests it applies to (and, for the application's
// general rules, the objects), patterns for the request's arguments, and
// the actions it takes. The first rule that matches a request runs all its
// actions; a request no rule matches succeeds and changes nothing.
#pragma once

#include <utility>
#include <vector>

#include "host/nvsimproperty.h"
#include "host/nvsimtemplate.h"
#include "host/nvsimvalue.h"

// The object an action works on.
struct CNVSimTarget {
  static constexpr LONG kSelf = -1;      // the object the request went to
  static constexpr LONG kRelative = -2;  // `relative`, from that object
  LONG index = kSelf;                    // or the object's index
  TrxString relative;                    // "..", "../Name", "./Name" ...
  TrxString source;                      // as written, for messages
};

struct CNVSimAction {
  enum class Kind {
    Set,         // property := value
    Append,      // list property += value
    Remove,      // list property -= value (every equal item)
    Increment,   // int property += by, kept within min .. max
    Show,        // the target becomes visible
    Hide,        // the target becomes invisible
    GotoScreen,  // the screen named by value becomes active, with its default view
    GotoView,    // the view named by value becomes current, and its screen active
    Fail,        // the request reports an error: code, text (value); and status (S_OK
                 // unless given: processed, with an error for GetLastErrorCode/Text)
    Delay,       // the request takes `ms` before it returns
    Busy,        // the client stays busy `ms` after the request returned
    Hang,        // the request does not return until the hang is released
    EndEnter,    // after an Enter key the user pressed, the client reports the end of the key
  };
  Kind kind = Kind::Set;
  CNVSimTarget target;
  TrxString property;
  CNVSimTemplate value;
  bool keyed = false;  // the property is addressed by `key`
  CNVSimTemplate key;
  bool typed = false;  // `type` given: the value is converted to it
  CNVSimValue::Kind type = CNVSimValue::Kind::String;
  bool unique = false;  // Append: not when the item is there already
  LONG limit = 0;       // Append: keep at most this many items (0: no limit)
  LONG by = 1;          // Increment
  bool hasMin = false, hasMax = false;
  LONG min = 0, max = 0;
  SHORT code = 0;          // Fail
  HRESULT status = S_OK;   // Fail
  DWORD milliseconds = 0;  // Delay, Busy
  LONG line = 0;           // where it was written

  // Set, Append, Remove and Increment: the property the action adds to a
  // target that has none of its name (empty, of the kind the action needs).
  CNVSimProperty NewProperty() const;
  // Set, Append, Remove and Increment: changes the property (the entry of
  // the expanded key, for a keyed one). False, with the reason in `error`,
  // when the change does not fit the property.
  bool ChangeProperty(CNVSimProperty& property, const CNVSimTemplateContext& context, TrxString& error) const;
};

struct CNVSimRule {
  std::vector<LONG> requests;                                  // empty: every request
  LONG objectType = -1;                                        // general rules: only objects of this type
  LONG object = -1;                                            // general rules: only this object
  std::vector<std::pair<size_t, TrxString>> argumentPatterns;  // index, pattern
  LONG argumentCount = -1;                                     // exactly this many arguments
  std::vector<CNVSimAction> actions;
  LONG line = 0;

  bool Matches(LONG request, LONG objectIndex, LONG type, const std::vector<TrxString>& arguments) const;
  // '*' matches any run of characters, '?' any one; everything else itself
  // (letter case counts).
  static bool Glob(TrxStringView pattern, TrxStringView text);
};
