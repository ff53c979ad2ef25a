// The process-wide handle table shared by every kernel object kind.
#include <unordered_map>

#include "pal_internal.h"

namespace pal {
namespace {

struct Entry {
  std::shared_ptr<KernelObject> object;
  DWORD access;
};

// Handle values are never reused: a stale handle fails instead of reaching
// an unrelated object. They are multiples of 4, as on Windows.
struct HandleTable {
  std::mutex lock;
  std::unordered_map<uintptr_t, Entry> entries;
  uintptr_t next = 0x1000;
};

// Never destroyed: detached threads may still close handles during exit.
HandleTable& table() {
  static HandleTable* instance = new HandleTable;
  return *instance;
}

}  // namespace

DWORD mapGenericAccess(Kind kind, DWORD access) {
  DWORD read = 0, write = 0, execute = 0, all = 0;
  switch (kind) {
    case Kind::Event:
      read = READ_CONTROL | EVENT_QUERY_STATE;
      write = READ_CONTROL | EVENT_MODIFY_STATE;
      execute = READ_CONTROL | SYNCHRONIZE;
      all = EVENT_ALL_ACCESS;
      break;
    case Kind::Mutex:
      read = READ_CONTROL | MUTANT_QUERY_STATE;
      write = READ_CONTROL;
      execute = READ_CONTROL | SYNCHRONIZE;
      all = MUTEX_ALL_ACCESS;
      break;
    case Kind::Thread:
      read = READ_CONTROL | THREAD_QUERY_INFORMATION | THREAD_QUERY_LIMITED_INFORMATION;
      write = READ_CONTROL | THREAD_TERMINATE | THREAD_SUSPEND_RESUME;
      execute = READ_CONTROL | SYNCHRONIZE | THREAD_QUERY_LIMITED_INFORMATION;
      all = THREAD_ALL_ACCESS;
      break;
    case Kind::File:
      read = FILE_GENERIC_READ;
      write = FILE_GENERIC_WRITE;
      execute = READ_CONTROL | SYNCHRONIZE | FILE_READ_ATTRIBUTES;
      all = STANDARD_RIGHTS_REQUIRED | SYNCHRONIZE | 0x1FFu;
      break;
  }
  DWORD mapped = access & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL);
  if (access & GENERIC_READ) mapped |= read;
  if (access & GENERIC_WRITE) mapped |= write;
  if (access & GENERIC_EXECUTE) mapped |= execute;
  if (access & GENERIC_ALL) mapped |= all;
  return mapped;
}

HANDLE addHandle(std::shared_ptr<KernelObject> obj, DWORD access) {
  HandleTable& t = table();
  std::lock_guard<std::mutex> guard(t.lock);
  uintptr_t value = t.next;
  t.next += 4;
  t.entries.emplace(value, Entry{std::move(obj), access});
  return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> findHandle(HANDLE h, DWORD* access) {
  if (h == TRX_PSEUDO_THREAD_HANDLE) {
    if (access) *access = THREAD_ALL_ACCESS;
    return currentThreadObject();
  }
  HandleTable& t = table();
  std::lock_guard<std::mutex> guard(t.lock);
  auto it = t.entries.find(reinterpret_cast<uintptr_t>(h));
  if (it == t.entries.end()) return nullptr;
  if (access) *access = it->second.access;
  return it->second.object;
}

}  // namespace pal

using namespace pal;

BOOL WINAPI CloseHandle(HANDLE hObject) {
  if (hObject == TRX_PSEUDO_THREAD_HANDLE || hObject == TRX_PSEUDO_PROCESS_HANDLE) return TRUE;
  std::shared_ptr<KernelObject> released;  // dropped after the table lock
  {
    HandleTable& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    auto it = t.entries.find(reinterpret_cast<uintptr_t>(hObject));
    if (it == t.entries.end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    released = std::move(it->second.object);
    t.entries.erase(it);
  }
  return TRUE;
}

BOOL WINAPI DuplicateHandle(HANDLE hSourceProcessHandle, HANDLE hSourceHandle, HANDLE hTargetProcessHandle,
                            PHANDLE lpTargetHandle, DWORD dwDesiredAccess, BOOL /*bInheritHandle*/, DWORD dwOptions) {
  if (hSourceProcessHandle != TRX_PSEUDO_PROCESS_HANDLE || hTargetProcessHandle != TRX_PSEUDO_PROCESS_HANDLE) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (dwOptions & ~(DUPLICATE_CLOSE_SOURCE | DUPLICATE_SAME_ACCESS)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD access = 0;
  std::shared_ptr<KernelObject> obj = findHandle(hSourceHandle, &access);
  if (!obj) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (lpTargetHandle == nullptr) {
    if (dwOptions & DUPLICATE_CLOSE_SOURCE) CloseHandle(hSourceHandle);
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD newAccess = (dwOptions & DUPLICATE_SAME_ACCESS) ? access : mapGenericAccess(obj->kind, dwDesiredAccess);
  *lpTargetHandle = addHandle(std::move(obj), newAccess);
  if (dwOptions & DUPLICATE_CLOSE_SOURCE) CloseHandle(hSourceHandle);
  return TRUE;
}
