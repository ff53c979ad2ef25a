// Counted COM references and QueryInterface, the same on both platforms.
#pragma once

#include <initializer_list>
#include <utility>

// The interface id of an interface type, for TrxComPtr::As. Our own
// interfaces and the few SDK ones we query for are registered with
// TRX_INTERFACE_IID next to their declaration.
template <class T>
struct TrxIid;

#define TRX_INTERFACE_IID(Interface, iid) \
  template <>                             \
  struct TrxIid<Interface> {              \
    static const IID& Get() { return iid; } \
  }

TRX_INTERFACE_IID(IUnknown, IID_IUnknown);
TRX_INTERFACE_IID(IDispatch, IID_IDispatch);

// A counted reference to a COM interface: AddRef on copy, Release on
// destruction or reset. Put() releases the current reference and hands out
// the slot for an out-parameter.
template <class T>
class TrxComPtr {
 public:
  TrxComPtr() noexcept = default;
  TrxComPtr(std::nullptr_t) noexcept {}
  TrxComPtr(T* p) noexcept : m_p(p) {
    if (m_p) m_p->AddRef();
  }
  TrxComPtr(const TrxComPtr& other) noexcept : TrxComPtr(other.m_p) {}
  TrxComPtr(TrxComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
  ~TrxComPtr() { Reset(); }

  TrxComPtr& operator=(const TrxComPtr& other) noexcept {
    if (other.m_p) other.m_p->AddRef();
    Reset();
    m_p = other.m_p;
    return *this;
  }
  TrxComPtr& operator=(TrxComPtr&& other) noexcept {
    if (this != &other) {
      Reset();
      m_p = std::exchange(other.m_p, nullptr);
    }
    return *this;
  }
  TrxComPtr& operator=(T* p) noexcept { return *this = TrxComPtr(p); }

  T* Get() const noexcept { return m_p; }
  T* operator->() const noexcept { return m_p; }
  T& operator*() const noexcept { return *m_p; }
  explicit operator bool() const noexcept { return m_p != nullptr; }

  // Releases the reference held and returns the slot for a callee to fill.
  T** Put() noexcept {
    Reset();
    return &m_p;
  }
  void** PutVoid() noexcept { return reinterpret_cast<void**>(Put()); }

  void Reset() noexcept {
    if (T* p = std::exchange(m_p, nullptr)) p->Release();
  }
  // Takes over a reference without AddRef.
  void Attach(T* p) noexcept {
    Reset();
    m_p = p;
  }
  // Gives up the reference without Release.
  T* Detach() noexcept { return std::exchange(m_p, nullptr); }

  // Hands out a new reference for an out-parameter.
  HRESULT CopyTo(T** pp) const noexcept {
    if (!pp) return E_POINTER;
    *pp = m_p;
    if (m_p) m_p->AddRef();
    return S_OK;
  }

  // QueryInterface for another interface type.
  template <class Q>
  HRESULT As(TrxComPtr<Q>& out) const noexcept {
    if (!m_p) {
      out.Reset();
      return E_POINTER;
    }
    return m_p->QueryInterface(TrxIid<Q>::Get(), out.PutVoid());
  }

  bool operator==(const TrxComPtr& other) const noexcept { return m_p == other.m_p; }

 private:
  T* m_p = nullptr;
};

// ---- QueryInterface, written once -------------------------------------------------------
// A class lists the interfaces it offers, each id with the interface
// pointer it hands out, and its QueryInterface returns TrxQueryInterface
// over that list:
//
//   HRESULT CNVSimObject::QueryInterface(REFIID riid, void** ppv) {
//     return TrxQueryInterface(ppv, riid,
//                              {{IID_IUnknown, static_cast<INVAutomation*>(this)},
//                               {IID_INVAutomation, static_cast<INVAutomation*>(this)}});
//   }
//
// COM's identity rule stays with the list: the row of IID_IUnknown names
// the same pointer on every call. A row with a null pointer is an
// interface the object does not offer at present.

// One row: an interface id and the object's interface for it.
struct TrxQiEntry {
  // `pointer` is the object's interface for `id`; it must derive from
  // IUnknown, through which the reference is added.
  template <class Interface>
  TrxQiEntry(const IID& id, Interface* pointer) noexcept : iid(&id), object(pointer), unknown(pointer) {}

  const IID* iid;
  void* object;       // handed out in *ppv
  IUnknown* unknown;  // the same interface, for AddRef
};

// The row for `riid`: its pointer in *ppv, AddRef through it, and S_OK.
// E_NOINTERFACE, with *ppv null, when no row names `riid` or its pointer
// is null (the first row for an id decides). E_POINTER for a null ppv.
inline HRESULT TrxQueryInterface(void** ppv, REFIID riid, std::initializer_list<TrxQiEntry> entries) noexcept {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  for (const TrxQiEntry& entry : entries) {
    if (!IsEqualIID(riid, *entry.iid)) continue;
    if (!entry.unknown) return E_NOINTERFACE;
    entry.unknown->AddRef();
    *ppv = entry.object;
    return S_OK;
  }
  return E_NOINTERFACE;
}
