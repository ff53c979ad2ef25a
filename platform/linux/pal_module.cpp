// Dynamic modules (dlopen) and module file names.
#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include "pal_internal.h"

namespace {

std::string executablePath() {
  std::string path(256, '\0');
  for (;;) {
    ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
    if (n < 0) return std::string();
    if (static_cast<size_t>(n) < path.size()) {
      path.resize(static_cast<size_t>(n));
      return path;
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace

using namespace pal;

HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName) {
  if (lpLibFileName == nullptr || lpLibFileName[0] == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  void* module = dlopen(narrow(lpLibFileName).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return static_cast<HMODULE>(module);
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  if (hModule == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (reinterpret_cast<ULONG_PTR>(lpProcName) >> 16 == 0) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  dlerror();
  void* symbol = dlsym(hModule, lpProcName);
  if (!symbol) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(symbol);
}

DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
  std::string path;
  if (hModule != nullptr) {
    link_map* map = nullptr;
    if (dlinfo(hModule, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return 0;
    }
    if (map->l_name && map->l_name[0]) path = map->l_name;
  }
  if (path.empty()) path = executablePath();
  std::u16string text = widen(path);
  if (nSize == 0 || lpFilename == nullptr) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (text.size() + 1 > nSize) {
    std::char_traits<char16_t>::copy(lpFilename, text.data(), nSize - 1);
    lpFilename[nSize - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
  }
  std::char_traits<char16_t>::copy(lpFilename, text.data(), text.size());
  lpFilename[text.size()] = 0;
  return static_cast<DWORD>(text.size());
}
