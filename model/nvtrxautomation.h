// Base class of every automation object in the tree.
//
// An automation object stands for one host UI object: it holds a counted
// reference to the host object (empty for objects the service synthesises),
// knows its parent, owns its children, and carries its catalogue class name
// and repository name. Two mapping tables, filled row by row by each
// subclass's constructor, translate the test tool's property and method
// names into host property reads and host requests. The fifteen virtual
// operations below, in this slot order, are the contract every subclass
// fills in; the base versions are the table-driven defaults.
#pragma once

#include <span>
#include <vector>

#include "log/nvtrxlog.h"
#include "log/nvtrxresult.h"
#include "model/nvtrxarray.h"
#include "model/nvtrxhost.h"
#include "model/nvtrxrequestargs.h"
#include "model/nvtrxvalues.h"
#include "platform/trxplatform.h"

class CNVTRXXmlWriter;
class CNVTRXXmlNode;

// Kinds of property mapping rows (column 2 of the property table).
enum TRXPROP : LONG {
  TRXPROP_HOST = 0,      // plain host property
  TRXPROP_COUNT = 1,     // element count of the host property's array
  TRXPROP_CONST = 2,     // the stored constant
  TRXPROP_NEGATED = 3,   // negated host boolean
  TRXPROP_OVERLOAD = 4,  // served by the subclass's own GetProperty
};

// Kinds of method mapping rows (column 2 of the method table).
enum TRXMETHOD : LONG {
  TRXMETHOD_REQUEST = 0,       // one host request
  TRXMETHOD_PROPERTY = 1,      // a host property read with the arguments as auxiliary parameters
  TRXMETHOD_FOCUS_WRAPPED = 2, // set focus, the request, clear focus
  TRXMETHOD_FOCUS_FIRST = 3,   // set focus, then the request
};

// Timing modes of NWEInvoke.
enum TRXTIMING : LONG {
  TRXTIMING_NONE = 0,
  TRXTIMING_SET = 1,           // last operation time := the host's "LastOperationTime"
  TRXTIMING_ADD = 2,           // last operation time += the host's "LastOperationTime"
  TRXTIMING_DOUBLE_CLICK = 3,  // as SET, after sleeping the double-click time + 30 ms
};

// What NWEInvoke does with the calling object's host reference once the
// request is handed over.
enum TRXHOSTREF : LONG {
  TRXHOSTREF_KEEP = 0,
  TRXHOSTREF_DROP = 1,  // release it (never the root's): the request may replace the host object
};

// How a class's own method table compares names.
enum TRXMATCH : LONG {
  TRXMATCH_EXACT = 0,
  TRXMATCH_NOCASE = 1,
};

// One row of a property table, as a class's constructor adds it, in order:
// test tool's name, its value type, the host property (the constant itself
// for TRXPROP_CONST), the host's value type, the kind, the description.
struct TrxPropertyRow {
  const OLECHAR* name;
  LONG type;
  const OLECHAR* mapped;
  LONG hostType;
  LONG kind;
  const OLECHAR* description;
};

// One row of a method table: method name, argument type, host request id,
// the host's argument type, the kind, the description; a TRXMETHOD_PROPERTY
// row names its host property last instead of a request.
struct TrxMethodRow {
  const OLECHAR* name;
  LONG type;
  LONG requestId;
  LONG hostType;
  LONG kind;
  const OLECHAR* description;
  const OLECHAR* hostProperty = nullptr;
};

// Methods and computed properties a class serves itself: one row per name,
// in a static table of the class, searched with TrxFindRow.
template <class Class>
struct TrxOwnMethod {
  const OLECHAR* name;
  LONG match;
  TRXRESULT (Class::*handler)(const VARIANT& arguments, VARIANT* result);
};
template <class Class>
struct TrxOwnProperty {
  const OLECHAR* name;
  LONG match;
  TRXRESULT (Class::*handler)(VARIANT* value);
};

// The value of a TRXPROP_CONST row that stands for the object's own class
// name or repository name, as they are when the row is added.
extern const OLECHAR kTrxOwnClassName[];
extern const OLECHAR kTrxOwnRepositoryName[];

// The row of a class's own table (any row type with `name` and `match`)
// whose name matches, or nullptr. Classes search their own tables before
// passing a name on to the class above.
template <class Row>
const Row* TrxFindRow(std::span<const Row> rows, TrxStringView name) {
  for (const Row& row : rows)
    if (row.match == TRXMATCH_NOCASE ? TrxEqualsNoCase(name, row.name) : name == TrxStringView(row.name)) return &row;
  return nullptr;
}

using TrxHostObjects = std::vector<TrxComPtr<INVAutomation>>;

class CNVTRXAutomation : public CNVTRXLogSubject {
 public:
  // Creates the object as the last child of `parent` (which owns it from
  // then on), or as a root when `parent` is null.
  CNVTRXAutomation(TrxStringView name, CNVTRXAutomation* parent);
  CNVTRXAutomation(const CNVTRXAutomation&) = delete;
  CNVTRXAutomation& operator=(const CNVTRXAutomation&) = delete;

  // ---- the virtual operations, in slot order ----
  virtual ~CNVTRXAutomation();
  // The child of that class and repository name. Base: not supported (-1023).
  virtual TRXRESULT CreateChild(TrxStringView className, TrxStringView repositoryName, CNVTRXAutomation** ppChild);
  // Creates the automation object for a host object of the given type as a
  // child of this one. Base: does nothing (-110).
  virtual TRXRESULT OnBuildHierarchy(INVAutomation* pNWEAuto, LONG eventId, LONG objectType,
                                     INVPropertySet* pEventArgs, CNVTRXAutomation** ppChild);
  // The host children of this object, by the child-type table.
  virtual TRXRESULT GetNWEChildren(TrxHostObjects& children);
  // Depth-first search for the object whose "HtmlId" is `htmlId`,
  // building objects as it goes.
  virtual TRXRESULT GetObjectFromId(TrxString htmlId, bool& found, CNVTRXAutomation*& object);
  // Lets a subclass substitute another object for a match; base: false.
  virtual bool GetSpecializedObjectFromId(TrxString htmlId, CNVTRXAutomation*& object);
  // Builds the whole subtree below this object, depth first.
  virtual TRXRESULT BuildTRXObjectHierarchy();
  // Writes this object and its subtree into the contents document.
  virtual TRXRESULT OutputActiveScreenXMLContents(LONG mode, TrxStringView activeElement, CNVTRXXmlWriter& writer,
                                                  bool close);
  // The value of a mapped property (`name` must hold a string).
  virtual TRXRESULT GetProperty(const VARIANT& name, VARIANT* value);
  // Tabular data; base: TRX_OK, value untouched.
  virtual TRXRESULT GetData(VARIANT* value);
  // Text data; base: TRX_OK, value untouched.
  virtual TRXRESULT GetTextData(const VARIANT& argument, VARIANT* value);
  // Descriptors of the children (built from the host's children) as an
  // array of strings.
  virtual TRXRESULT GetChildren(const VARIANT& argument, VARIANT* value);
  // A method through the method mapping table.
  virtual TRXRESULT HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments, VARIANT* result);
  // Turns a recorded host request back into a method name and arguments.
  virtual TRXRESULT ConvertNWEMethod(const VARIANT& first, LONG requestId, CNVTRXArray& hostArguments,
                                     TrxString& methodName, CNVTRXArray& arguments);
  // First child with exactly this class and repository name, or nullptr.
  virtual CNVTRXAutomation* FindChild(TrxStringView className, TrxStringView repositoryName);

  // ---- class quirks ----
  // Whether a recorded call of `method` carries the converted arguments;
  // base: always.
  virtual bool RecordsArguments(TrxStringView method) const;
  // Whether the contents document shows "Count" as 0 and "ActiveItem" empty
  // without asking the host (item lists that are costly to read); base: no.
  virtual bool OmitsItemStateFromContents() const;

  // ---- non-virtual operations ----
  TRXRESULT InsertChild(CNVTRXAutomation* child);
  // Several properties at once: a two-column table of name and value.
  TRXRESULT GetProperties(const VARIANT& names, VARIANT* value);
  // Composes this object's descriptor into m_strODS.
  void BuildODS();
  // BuildODS, then the descriptor. The flag has no effect.
  void GetODS(TrxString& text, bool flag = false);
  const TrxString& GetStoredODS() const noexcept { return m_strODS; }
  // Repository names from the root down to this object, joined by ".".
  TrxString GetFullName() const override;
  TrxString GetLogClassName() const override { return m_strClassName; }
  // Builds the automation object for a host object as a child of this one.
  TRXRESULT CreateChildFromNWE(INVAutomation* pNWEAuto, CNVTRXAutomation** ppChild);
  // Walks a descriptor level by level from this object; a null node yields
  // this object.
  TRXRESULT CreateObjectFromODSNode(const CNVTRXXmlNode* node, CNVTRXAutomation** ppObject);
  // One host GetProperty without auxiliary parameters; E_POINTER without a host.
  static HRESULT ReadHostProperty(INVAutomation* host, TrxStringView name, TrxVariant& value);
  // A host GetProperty that is retried up to 10 times, 200 ms apart.
  HRESULT GetNWEProperty(TrxStringView name, VARIANT* auxParams, SHORT count, VARIANT* value);
  // Runs a host request on the request executor and waits for the host to
  // be idle. TRXHOSTREF_DROP releases this object's host reference after
  // the hand-over (never the root's). Returns TRX_OK, -1019, -1022, or
  // -1023 with the client's text when the client refused the request.
  TRXRESULT NWEInvoke(INVAutomation* pNWEAuto, LONG requestId, const VARIANT* arguments, TRXHOSTREF hostReference,
                      LONG timingMode);
  // Waits for `event` while dispatching the calling thread's messages:
  // 0 when signalled, 258 (WAIT_TIMEOUT) when `timeout` ms passed;
  // INFINITE waits without limit.
  static DWORD WaitOnTRXEvent(HANDLE event, DWORD timeout);
  // Destroys the children, in order, leaving this object alone.
  void ReleaseChildren();
  // Destroys one child and leaves its slot empty (null), so that positions
  // of the other children do not move; null slots are skipped everywhere.
  void DestroyChild(CNVTRXAutomation* child);

  // A class's table rows, added in order (a later row with an equal key
  // replaces the earlier one).
  void AddPropertyRows(std::span<const TrxPropertyRow> rows);
  void AddMethodRows(std::span<const TrxMethodRow> rows);
  void AddPropertyMapping(TrxStringView key, LONG type0, TrxStringView hostProperty, LONG type1, LONG kind,
                          TrxStringView description) {
    m_propertyMap.AddPropertyMapping(key, type0, hostProperty, type1, kind, description);
  }
  void AddMethodMapping(TrxStringView key, LONG type0, LONG requestId, LONG type1, LONG kind,
                        TrxStringView description) {
    m_methodMap.AddMethodMapping(key, type0, requestId, type1, kind, description);
  }

  const TrxString& GetTRXClassName() const noexcept { return m_strClassName; }
  const TrxString& GetRepositoryName() const noexcept { return m_strRepositoryName; }
  CNVTRXAutomation* GetParent() const noexcept { return m_pParent; }
  INVAutomation* GetNWEAuto() const noexcept { return m_spNWEAuto.Get(); }
  void SetNWEAuto(INVAutomation* pNWEAuto) { m_spNWEAuto = pNWEAuto; }
  const std::vector<CNVTRXAutomation*>& GetChildObjects() const noexcept { return m_arrChildren; }
  CNVTRXArray& GetPropertyMap() noexcept { return m_propertyMap; }
  CNVTRXArray& GetMethodMap() noexcept { return m_methodMap; }
  CNVTRXAutomation* GetRoot() noexcept;

  // Automation objects alive in the process.
  static LONG GetLiveObjectCount() noexcept;

 protected:
  // Report and return in one statement, naming this object:
  // `return Fail(TRX_E_ARG_VALUE, ...)` reports a user error and returns its
  // code; `return Warn(TRX_E_ARG_VALUE, ...)` reports the caller's mistake as
  // a user trace and returns +N.
  template <class... Args>
  TRXRESULT Fail(TrxHere code, const Args&... args) const {
    return TrxFailOn(this, code, args...);
  }
  template <class... Args>
  TRXRESULT Warn(TrxHere code, const Args&... args) const {
    return TrxWarnOn(this, code, args...);
  }
  // A host read that reports: the property of `host` (no auxiliary
  // parameters) into `value`, or -103 naming the property.
  TRXRESULT ReadHost(INVAutomation* host, TrxStringView property, TrxVariant& value,
                     std::source_location where = std::source_location::current()) const;
  // The host child of `host` with that type and name. HostChild answers the
  // host's status (E_FAIL for a success without a child); GetHostChild
  // reports -106 with `what` on failure and returns it.
  static HRESULT HostChild(INVAutomation* host, AUTO_OBJECTTYPE type, TrxStringView name,
                           TrxComPtr<INVAutomation>& child);
  TRXRESULT GetHostChild(INVAutomation* host, AUTO_OBJECTTYPE type, TrxStringView name,
                         TrxComPtr<INVAutomation>& child, TrxStringView what,
                         std::source_location where = std::source_location::current()) const;
  // User error 1012 (count, method, expected) unless `arguments` has
  // exactly `expected` elements.
  TRXRESULT CheckArgumentCount(CNVTRXArray& arguments, TrxStringView method, LONG expected,
                               std::source_location where = std::source_location::current()) const;
  // GetChildren's answer: the descriptors of `children` (empty slots left
  // out) as a one-dimensional array of strings, empty when there are none.
  static TRXRESULT AnswerDescriptors(const std::vector<CNVTRXAutomation*>& children, VARIANT* value);
  // The current view of the client: the root's host child OBJTYPE_VIEW
  // asked for without a name (E_FAIL when none comes back).
  HRESULT CurrentView(TrxComPtr<INVAutomation>& view);

  TrxComPtr<INVAutomation> m_spNWEAuto;
  CNVTRXAutomation* m_pParent = nullptr;
  TrxString m_strClassName;
  TrxString m_strRepositoryName;
  TrxString m_strODS;
  std::vector<CNVTRXAutomation*> m_arrChildren;
  CNVTRXArray m_methodMap;
  CNVTRXArray m_propertyMap;

 private:
  void ApplyTiming(LONG timingMode);
  // Reports the error the host recorded for the last request; false when it recorded none.
  bool ReportHostError();
};
