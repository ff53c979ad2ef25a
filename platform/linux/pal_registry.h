// Registry subset for the Linux build: opening, creating and deleting keys,
// enumerating subkeys, reading, setting and deleting values, in one text file
// in the .reg format that regedit exports and installers write
// (docs/registry.md).
//
// Where the file is: $TRX_REGISTRY if set and not empty, else
// $XDG_CONFIG_HOME/trx/registry.reg, else $HOME/.config/trx/registry.reg.
// A missing or unreadable file is an empty registry.
//
// The file is read again at each RegOpenKeyExW relative to a predefined key
// (and by RegEnumKeyExW / RegQueryValueExW on a predefined key), so a file
// rewritten by a tool is seen at the next open. An open key is a snapshot of
// that key and everything below it as the file was when it was opened; keys
// opened relative to it come from the same snapshot. Handles may be used and
// closed from any thread.
//
// HKEY_CLASSES_ROOT is, as on Windows, the merged view of
// HKEY_LOCAL_MACHINE\SOFTWARE\Classes and HKEY_CURRENT_USER\SOFTWARE\Classes
// (the user's keys and values win); lines written under HKEY_CLASSES_ROOT in
// the file belong to HKEY_LOCAL_MACHINE\SOFTWARE\Classes.
//
// Writing (RegCreateKeyExW, RegSetValueExW, RegDeleteValueW, RegDeleteTreeW):
// each change reads the file again, applies itself and replaces the file in
// one step (a new file "<name>.writing" beside it, renamed over it), so
// readers see the file before or after the change, never half of it. Changes
// from the threads of one process are serialised by one lock; two processes
// changing the file at the same moment may lose one of the changes. The file
// is written anew from its keys and values: comments, blank lines and the
// order of sections are not kept, and it is written as UTF-8. Through
// HKEY_CLASSES_ROOT, new keys go to HKEY_LOCAL_MACHINE\SOFTWARE\Classes,
// values go to the user's key when HKEY_CURRENT_USER\Software\Classes has it
// (else the machine's), and deleting removes the key from both. A handle's
// snapshot is refreshed by the changes made through it (and a handle from
// RegCreateKeyExW shows the key as it is after its creation); other handles
// keep their snapshots.
//
// Limits: only the three predefined keys below exist. There are no key
// classes, security descriptors (rights are checked against the handle's
// access only), links, volatile keys, or 32/64-bit views (KEY_WOW64_32KEY and
// KEY_WOW64_64KEY are accepted and ignored).
#pragma once

#include "pal_types.h"
#include "pal_kernel.h"

// ---- types and predefined keys ----------------------------------------------------
struct HKEY__;
typedef HKEY__* HKEY;
typedef HKEY* PHKEY;
typedef DWORD REGSAM;
typedef LONG LSTATUS;

// The Windows values (sign-extended 32-bit numbers).
#define TRX_PREDEFINED_HKEY(x) \
  (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG_PTR>(static_cast<LONG>(x)))))
#define HKEY_CLASSES_ROOT TRX_PREDEFINED_HKEY(0x80000000u)
#define HKEY_CURRENT_USER TRX_PREDEFINED_HKEY(0x80000001u)
#define HKEY_LOCAL_MACHINE TRX_PREDEFINED_HKEY(0x80000002u)

// ---- access rights -------------------------------------------------------------------
#define KEY_QUERY_VALUE 0x0001u
#define KEY_SET_VALUE 0x0002u
#define KEY_CREATE_SUB_KEY 0x0004u
#define KEY_ENUMERATE_SUB_KEYS 0x0008u
#define KEY_NOTIFY 0x0010u
#define KEY_CREATE_LINK 0x0020u
#define KEY_WOW64_64KEY 0x0100u
#define KEY_WOW64_32KEY 0x0200u
#define KEY_READ 0x20019u
#define KEY_EXECUTE KEY_READ
#define KEY_WRITE 0x20006u
#define KEY_ALL_ACCESS 0xF003Fu
#ifndef MAXIMUM_ALLOWED
#define MAXIMUM_ALLOWED 0x02000000u
#endif

// ---- value types -------------------------------------------------------------------
#define REG_NONE 0u
#define REG_SZ 1u
#define REG_EXPAND_SZ 2u
#define REG_BINARY 3u
#define REG_DWORD 4u
#define REG_DWORD_LITTLE_ENDIAN 4u
#define REG_DWORD_BIG_ENDIAN 5u
#define REG_MULTI_SZ 7u
#define REG_QWORD 11u

#define REG_OPTION_NON_VOLATILE 0x0u

// RegCreateKeyExW dispositions.
#define REG_CREATED_NEW_KEY 0x1u
#define REG_OPENED_EXISTING_KEY 0x2u

// ---- status codes (also GetLastError numbers) ----------------------------------------
#ifndef ERROR_MORE_DATA
#define ERROR_MORE_DATA 234L
#endif
#ifndef ERROR_NO_MORE_ITEMS
#define ERROR_NO_MORE_ITEMS 259L
#endif
#ifndef ERROR_KEY_DELETED
#define ERROR_KEY_DELETED 1018L
#endif
#ifndef ERROR_WRITE_FAULT
#define ERROR_WRITE_FAULT 29L
#endif
#ifndef ERROR_ALREADY_EXISTS
#define ERROR_ALREADY_EXISTS 183L
#endif
#ifndef ERROR_BAD_PATHNAME
#define ERROR_BAD_PATHNAME 161L
#endif

// ---- functions -------------------------------------------------------------------
// None of them sets the thread's last error: the status is the return value.

// Opens hKey\lpSubKey into *phkResult. hKey is a predefined key (the file is
// read now) or a key opened before (its snapshot is used). lpSubKey is a path
// of names separated by backslashes, compared without regard to case; NULL or
// "" opens hKey itself again, empty names between backslashes and a trailing
// backslash are ignored, a leading backslash gives ERROR_BAD_PATHNAME. The
// parents of a key in the file exist even without lines of their own.
// samDesired: the KEY_* rights (KEY_ALL_ACCESS and its parts), DELETE,
// READ_CONTROL, WRITE_DAC, WRITE_OWNER, the generic rights (GENERIC_READ as
// KEY_READ, GENERIC_WRITE as KEY_WRITE, GENERIC_ALL and MAXIMUM_ALLOWED as
// KEY_ALL_ACCESS) and the WOW64 flags; any other bit gives
// ERROR_ACCESS_DENIED. The rights are what later calls on the handle check;
// the predefined keys have every right. ulOptions is ignored. Errors: ERROR_FILE_NOT_FOUND (no such key),
// ERROR_INVALID_HANDLE (hKey is not an open key), ERROR_INVALID_PARAMETER (phkResult NULL). *phkResult is NULL on
// failure.
LSTATUS WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);

// Names the dwIndex-th direct subkey of hKey, in the order of their names
// compared without regard to case. *lpcchName is the buffer size in
// characters; on success it becomes the name's length without the
// terminator. ERROR_NO_MORE_ITEMS past the last subkey; ERROR_MORE_DATA if the
// name and its terminator do not fit (buffer and *lpcchName left as they
// were; key names in the file may be longer than Windows' 255 characters, so
// a 256-character buffer is not always enough here).
// There are no classes: a non-null lpClass receives "" (*lpcchClass 0;
// ERROR_MORE_DATA if *lpcchClass is 0). lpftLastWriteTime (optional)
// receives the file's modification time. Needs KEY_ENUMERATE_SUB_KEYS (else
// ERROR_ACCESS_DENIED). ERROR_INVALID_PARAMETER for a null lpName or
// lpcchName, a non-null lpReserved, or lpClass without lpcchClass.
LSTATUS WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                             LPWSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime);

// Reads the value lpValueName of hKey (NULL or "" is the key's default value)
// as Windows stores it: REG_SZ and REG_EXPAND_SZ as UTF-16 bytes including
// the terminator, REG_DWORD as 4 little-endian bytes, hex values as written.
// *lpType (optional) receives the type. lpData NULL: ERROR_SUCCESS with the
// size in *lpcbData (if lpcbData is given). A buffer smaller than the data:
// ERROR_MORE_DATA with the size needed in *lpcbData, buffer untouched.
// ERROR_FILE_NOT_FOUND if there is no such value (a key without a "@=" line
// has no default value). Needs KEY_QUERY_VALUE (else ERROR_ACCESS_DENIED).
// ERROR_INVALID_PARAMETER for a non-null lpReserved or lpData without
// lpcbData.
LSTATUS WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                                LPDWORD lpcbData);

// Closes a key opened by RegOpenKeyExW. Predefined keys: ERROR_SUCCESS,
// nothing happens. ERROR_INVALID_HANDLE for anything else (a closed handle,
// NULL).
LSTATUS WINAPI RegCloseKey(HKEY hKey);

// Creates hKey\lpSubKey with every missing key on the way (each named as
// spelled here), or opens it if it exists, into *phkResult with samDesired
// (rights as for RegOpenKeyExW). *lpdwDisposition (optional):
// REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY. lpSubKey NULL or "" opens
// hKey again. Creating needs KEY_CREATE_SUB_KEY on hKey. lpClass, dwOptions
// and lpSecurityAttributes are ignored. Errors: ERROR_INVALID_PARAMETER
// (phkResult NULL, Reserved not 0), ERROR_BAD_PATHNAME (leading backslash),
// ERROR_ACCESS_DENIED (rights; or the file cannot be written),
// ERROR_KEY_DELETED (hKey's key was deleted since it was opened),
// ERROR_INVALID_HANDLE. *phkResult is NULL on failure.
LSTATUS WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass, DWORD dwOptions,
                               REGSAM samDesired, const SECURITY_ATTRIBUTES* lpSecurityAttributes, PHKEY phkResult,
                               LPDWORD lpdwDisposition);
// Sets the value lpValueName of hKey (NULL or "" is the default value) to
// cbData bytes of type dwType, stored as given (any type; a REG_SZ should
// include its terminator, as on Windows). A REG_DWORD needs exactly 4 bytes
// and a REG_QWORD 8 (else ERROR_INVALID_PARAMETER). Needs KEY_SET_VALUE
// (else ERROR_ACCESS_DENIED). ERROR_INVALID_PARAMETER for Reserved not 0 or
// lpData NULL with cbData > 0; ERROR_KEY_DELETED if hKey's key is gone.
LSTATUS WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                              DWORD cbData);
// Deletes the value lpValueName of hKey (NULL or "": the default value).
// ERROR_FILE_NOT_FOUND if there is none. Needs KEY_SET_VALUE.
LSTATUS WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName);
// Deletes hKey\lpSubKey with its values and everything below it
// (ERROR_FILE_NOT_FOUND if there is no such key). lpSubKey NULL or "" deletes
// hKey's values and subkeys but keeps the key. hKey needs DELETE,
// KEY_ENUMERATE_SUB_KEYS and KEY_QUERY_VALUE, and KEY_SET_VALUE when lpSubKey
// is NULL (else ERROR_ACCESS_DENIED).
LSTATUS WINAPI RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey);
