// Window classes and message-only windows.
#include <cstdio>
#include <cstring>
#include <unordered_map>

#include "pal_internal.h"

namespace pal {
namespace {

struct WindowClass {
  ATOM atom = 0;
  std::u16string key;  // ASCII-folded name
  WNDPROC proc = nullptr;
  UINT style = 0;
  int classExtra = 0;
  int windowExtra = 0;
  HINSTANCE instance = nullptr;
  int windows = 0;
};

struct Window {
  std::shared_ptr<WindowClass> windowClass;
  WNDPROC proc = nullptr;
  DWORD tid = 0;
  LONG_PTR userData = 0;
  LONG_PTR id = 0;
  HINSTANCE instance = nullptr;
  LONG_PTR style = 0;
  LONG_PTR exStyle = 0;
  std::vector<unsigned char> extra;
  bool destroying = false;
};

// Classes and windows, under syncLock. Never destroyed.
struct UserTables {
  std::unordered_map<std::u16string, std::shared_ptr<WindowClass>> classesByName;
  std::unordered_map<ATOM, std::shared_ptr<WindowClass>> classesByAtom;
  std::unordered_map<uintptr_t, Window> windows;
  uintptr_t nextWindow = 0x10010;
  unsigned nextAtom = 0xC000;
};

UserTables& tables() {
  static UserTables* instance = new UserTables;
  return *instance;
}

std::u16string foldName(LPCWSTR name) {
  std::u16string key(name);
  for (char16_t& c : key) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  }
  return key;
}

// Under syncLock.
std::shared_ptr<WindowClass> findClass(LPCWSTR name) {
  UserTables& t = tables();
  if (name == nullptr) return nullptr;
  if (IS_INTRESOURCE(name)) {
    auto it = t.classesByAtom.find(static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(name)));
    return it == t.classesByAtom.end() ? nullptr : it->second;
  }
  auto it = t.classesByName.find(foldName(name));
  return it == t.classesByName.end() ? nullptr : it->second;
}

// Under syncLock.
Window* findWindow(HWND hwnd) {
  auto& windows = tables().windows;
  auto it = windows.find(reinterpret_cast<uintptr_t>(hwnd));
  return it == windows.end() ? nullptr : &it->second;
}

// Under syncLock.
void removeWindow(HWND hwnd) {
  UserTables& t = tables();
  auto it = t.windows.find(reinterpret_cast<uintptr_t>(hwnd));
  if (it == t.windows.end()) return;
  it->second.windowClass->windows--;
  t.windows.erase(it);
}

// Calls hwnd's current window procedure (0 if the window is gone).
LRESULT callWindow(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  WNDPROC proc = nullptr;
  {
    std::lock_guard<std::mutex> guard(syncLock());
    if (!windowInfo(hwnd, nullptr, &proc)) return 0;
  }
  return proc ? proc(hwnd, message, wParam, lParam) : 0;
}

ATOM registerClass(UINT style, WNDPROC proc, int classExtra, int windowExtra, HINSTANCE instance, LPCWSTR name) {
  if (name == nullptr || IS_INTRESOURCE(name) || name[0] == 0 || proc == nullptr || classExtra < 0 || windowExtra < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  auto cls = std::make_shared<WindowClass>();
  cls->key = foldName(name);
  cls->proc = proc;
  cls->style = style;
  cls->classExtra = classExtra;
  cls->windowExtra = windowExtra;
  cls->instance = instance;
  UserTables& t = tables();
  std::lock_guard<std::mutex> guard(syncLock());
  if (t.classesByName.count(cls->key)) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  // Atoms come from 0xC000..0xFFFF; skip ones still in use after a wrap.
  for (unsigned tries = 0; tries < 0x4000; ++tries) {
    ATOM atom = static_cast<ATOM>(t.nextAtom);
    t.nextAtom = t.nextAtom == 0xFFFF ? 0xC000 : t.nextAtom + 1;
    if (!t.classesByAtom.count(atom)) {
      cls->atom = atom;
      break;
    }
  }
  if (cls->atom == 0) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  t.classesByAtom[cls->atom] = cls;
  t.classesByName[cls->key] = cls;
  return cls->atom;
}

}  // namespace

bool windowInfo(HWND hwnd, DWORD* ownerTid, WNDPROC* proc) {
  Window* w = findWindow(hwnd);
  if (!w) return false;
  if (ownerTid) *ownerTid = w->tid;
  if (proc) *proc = w->proc;
  return true;
}

void destroyThreadWindows(DWORD tid) {
  UserTables& t = tables();
  for (auto it = t.windows.begin(); it != t.windows.end();) {
    if (it->second.tid == tid) {
      it->second.windowClass->windows--;
      it = t.windows.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace pal

using namespace pal;

ATOM WINAPI RegisterClassW(const WNDCLASSW* lpWndClass) {
  if (lpWndClass == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return registerClass(lpWndClass->style, lpWndClass->lpfnWndProc, lpWndClass->cbClsExtra, lpWndClass->cbWndExtra,
                       lpWndClass->hInstance, lpWndClass->lpszClassName);
}

BOOL WINAPI UnregisterClassW(LPCWSTR lpClassName, HINSTANCE) {
  std::shared_ptr<WindowClass> cls;  // dropped after the lock
  std::lock_guard<std::mutex> guard(syncLock());
  cls = findClass(lpClassName);
  if (!cls) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  if (cls->windows > 0) {
    SetLastError(ERROR_CLASS_HAS_WINDOWS);
    return FALSE;
  }
  tables().classesByName.erase(cls->key);
  tables().classesByAtom.erase(cls->atom);
  return TRUE;
}

HWND WINAPI CreateWindowExW(DWORD dwExStyle, LPCWSTR lpClassName, LPCWSTR lpWindowName, DWORD dwStyle, int X, int Y,
                            int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance,
                            LPVOID lpParam) {
  if (hWndParent != nullptr && hWndParent != HWND_MESSAGE) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  MessageQueue& q = ensureQueue();
  HWND hwnd = nullptr;
  {
    std::lock_guard<std::mutex> guard(syncLock());
    std::shared_ptr<WindowClass> cls = findClass(lpClassName);
    if (!cls) {
      SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
      return nullptr;
    }
    UserTables& t = tables();
    uintptr_t value = t.nextWindow;
    t.nextWindow += 4;
    Window& w = t.windows[value];
    w.windowClass = cls;
    w.proc = cls->proc;
    w.tid = q.tid;
    w.id = reinterpret_cast<LONG_PTR>(hMenu);
    w.instance = hInstance;
    w.style = static_cast<LONG>(dwStyle);
    w.exStyle = static_cast<LONG_PTR>(dwExStyle);
    w.extra.assign(static_cast<size_t>(cls->windowExtra), 0);
    cls->windows++;
    hwnd = reinterpret_cast<HWND>(value);
  }
  CREATESTRUCTW cs{lpParam,      hInstance,   hMenu,    hWndParent, nHeight, nWidth, Y, X, static_cast<LONG>(dwStyle),
                   lpWindowName, lpClassName, dwExStyle};
  if (!callWindow(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) {
    std::lock_guard<std::mutex> guard(syncLock());
    purgeWindowMessages(q, hwnd);
    removeWindow(hwnd);
    return nullptr;
  }
  if (callWindow(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
    DestroyWindow(hwnd);
    return nullptr;
  }
  return hwnd;
}

BOOL WINAPI DestroyWindow(HWND hWnd) {
  {
    std::lock_guard<std::mutex> guard(syncLock());
    Window* w = findWindow(hWnd);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    if (w->tid != GetCurrentThreadId()) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    if (w->destroying) return TRUE;  // already on its way out (DestroyWindow inside WM_DESTROY)
    w->destroying = true;
  }
  MessageQueue& q = ensureQueue();
  callWindow(hWnd, WM_DESTROY, 0, 0);
  callWindow(hWnd, WM_NCDESTROY, 0, 0);
  std::lock_guard<std::mutex> guard(syncLock());
  purgeWindowMessages(q, hWnd);
  removeWindow(hWnd);
  return TRUE;
}

LRESULT WINAPI DefWindowProcW(HWND hWnd, UINT Msg, WPARAM, LPARAM) {
  switch (Msg) {
    case WM_NCCREATE:
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_CLOSE:
      DestroyWindow(hWnd);
      return 0;
    default:
      return 0;
  }
}

LRESULT WINAPI CallWindowProcW(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  return lpPrevWndFunc ? lpPrevWndFunc(hWnd, Msg, wParam, lParam) : 0;
}

BOOL WINAPI IsWindow(HWND hWnd) {
  std::lock_guard<std::mutex> guard(syncLock());
  return findWindow(hWnd) ? TRUE : FALSE;
}

BOOL WINAPI IsWindowUnicode(HWND hWnd) { return IsWindow(hWnd); }

namespace {

// The stored field for a negative index, or null (unknown index).
LONG_PTR* windowField(Window& w, int index) {
  switch (index) {
    case GWLP_USERDATA:
      return &w.userData;
    case GWLP_ID:
      return &w.id;
    case GWL_STYLE:
      return &w.style;
    case GWL_EXSTYLE:
      return &w.exStyle;
    default:
      return nullptr;
  }
}

}  // namespace

LONG_PTR WINAPI GetWindowLongPtrW(HWND hWnd, int nIndex) {
  std::lock_guard<std::mutex> guard(syncLock());
  Window* w = findWindow(hWnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (nIndex >= 0) {
    if (static_cast<size_t>(nIndex) + sizeof(LONG_PTR) > w->extra.size()) {
      SetLastError(ERROR_INVALID_INDEX);
      return 0;
    }
    LONG_PTR value;
    std::memcpy(&value, w->extra.data() + nIndex, sizeof value);
    return value;
  }
  switch (nIndex) {
    case GWLP_WNDPROC:
      return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_HINSTANCE:
      return reinterpret_cast<LONG_PTR>(w->instance);
    case GWLP_HWNDPARENT:
      return 0;
    default:
      break;
  }
  if (LONG_PTR* field = windowField(*w, nIndex)) return *field;
  SetLastError(ERROR_INVALID_INDEX);
  return 0;
}

LONG_PTR WINAPI SetWindowLongPtrW(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
  std::lock_guard<std::mutex> guard(syncLock());
  Window* w = findWindow(hWnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  LONG_PTR previous = 0;
  if (nIndex >= 0) {
    if (static_cast<size_t>(nIndex) + sizeof(LONG_PTR) > w->extra.size()) {
      SetLastError(ERROR_INVALID_INDEX);
      return 0;
    }
    std::memcpy(&previous, w->extra.data() + nIndex, sizeof previous);
    std::memcpy(w->extra.data() + nIndex, &dwNewLong, sizeof dwNewLong);
    return previous;
  }
  switch (nIndex) {
    case GWLP_WNDPROC:
      previous = reinterpret_cast<LONG_PTR>(w->proc);
      w->proc = reinterpret_cast<WNDPROC>(dwNewLong);
      return previous;
    case GWLP_HINSTANCE:
      previous = reinterpret_cast<LONG_PTR>(w->instance);
      w->instance = reinterpret_cast<HINSTANCE>(dwNewLong);
      return previous;
    case GWLP_HWNDPARENT:
      SetLastError(ERROR_NOT_SUPPORTED);
      return 0;
    default:
      break;
  }
  if (LONG_PTR* field = windowField(*w, nIndex)) {
    previous = *field;
    *field = dwNewLong;
    return previous;
  }
  SetLastError(ERROR_INVALID_INDEX);
  return 0;
}

UINT WINAPI GetDoubleClickTime() { return 500; }

int WINAPI MessageBoxW(HWND, LPCWSTR lpText, LPCWSTR lpCaption, UINT) {
  std::string line = (lpCaption ? narrow(lpCaption) : std::string("Error")) + ": " + narrow(lpText) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
  return IDOK;
}
