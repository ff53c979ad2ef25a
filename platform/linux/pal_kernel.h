// Kernel32 subset for the Linux build: last error, handles, events, mutexes,
// threads and waits, critical sections, interlocked operations, time,
// environment variables, files and dynamic modules.
//
// Every kernel object (event, mutex, thread, file) lives in one process-wide
// handle table; a HANDLE is an opaque number into it, never a pointer or a
// file descriptor. A handle of the wrong kind for a call fails with
// ERROR_INVALID_HANDLE. Calls report failure the Windows way (FALSE, NULL,
// INVALID_HANDLE_VALUE, WAIT_FAILED ...) and set the thread's last error.
//
// Limits shared by everything below: there is one process, so objects cannot
// be shared with other processes (names are per process, handle inheritance
// is meaningless and security attributes are ignored); there are no APCs, so
// nothing alertable is ever woken early.
#pragma once

#include "pal_types.h"

// ---- types ------------------------------------------------------------------------
typedef BYTE BOOLEAN;
typedef WORD ATOM;
typedef BOOL* LPBOOL;
typedef BYTE* LPBYTE;
typedef WORD* LPWORD;
typedef LONG* PLONG;
typedef DWORD* PDWORD;
typedef HANDLE* LPHANDLE;

typedef struct _SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *PSECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

typedef union _LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  struct {
    DWORD LowPart;
    LONG HighPart;
  };
  LONGLONG QuadPart;
} LARGE_INTEGER, *PLARGE_INTEGER;

typedef union _ULARGE_INTEGER {
  struct {
    DWORD LowPart;
    DWORD HighPart;
  } u;
  struct {
    DWORD LowPart;
    DWORD HighPart;
  };
  ULONGLONG QuadPart;
} ULARGE_INTEGER, *PULARGE_INTEGER;

typedef struct _FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
} FILETIME, *PFILETIME, *LPFILETIME;

typedef struct _SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;  // 0 = Sunday
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
} SYSTEMTIME, *PSYSTEMTIME, *LPSYSTEMTIME;

typedef struct _OVERLAPPED {
  ULONG_PTR Internal;
  ULONG_PTR InternalHigh;
  union {
    struct {
      DWORD Offset;
      DWORD OffsetHigh;
    };
    PVOID Pointer;
  };
  HANDLE hEvent;
} OVERLAPPED, *LPOVERLAPPED;

typedef DWORD(WINAPI* PTHREAD_START_ROUTINE)(LPVOID lpThreadParameter);
typedef PTHREAD_START_ROUTINE LPTHREAD_START_ROUTINE;
typedef INT_PTR(WINAPI* FARPROC)();

// A critical section is a plain struct, as on Windows; the recursive lock
// itself lives in Opaque (constructed by InitializeCriticalSection*).
typedef struct _RTL_CRITICAL_SECTION {
  ULONG_PTR SpinCount;
  alignas(16) unsigned char Opaque[64];
} RTL_CRITICAL_SECTION, CRITICAL_SECTION, *PCRITICAL_SECTION, *LPCRITICAL_SECTION;

// ---- constants -----------------------------------------------------------------------
#ifndef ERROR_INVALID_FUNCTION
#define ERROR_INVALID_FUNCTION 1L
#endif
#ifndef ERROR_TOO_MANY_OPEN_FILES
#define ERROR_TOO_MANY_OPEN_FILES 4L
#endif
#ifndef ERROR_OUTOFMEMORY
#define ERROR_OUTOFMEMORY 14L
#endif
#ifndef ERROR_WRITE_PROTECT
#define ERROR_WRITE_PROTECT 19L
#endif
#ifndef ERROR_GEN_FAILURE
#define ERROR_GEN_FAILURE 31L
#endif
#ifndef ERROR_SHARING_VIOLATION
#define ERROR_SHARING_VIOLATION 32L
#endif
#ifndef ERROR_HANDLE_EOF
#define ERROR_HANDLE_EOF 38L
#endif
#ifndef ERROR_DISK_FULL
#define ERROR_DISK_FULL 112L
#endif
#ifndef ERROR_CALL_NOT_IMPLEMENTED
#define ERROR_CALL_NOT_IMPLEMENTED 120L
#endif
#ifndef ERROR_INVALID_NAME
#define ERROR_INVALID_NAME 123L
#endif
#ifndef ERROR_MOD_NOT_FOUND
#define ERROR_MOD_NOT_FOUND 126L
#endif
#ifndef ERROR_PROC_NOT_FOUND
#define ERROR_PROC_NOT_FOUND 127L
#endif
#ifndef ERROR_NEGATIVE_SEEK
#define ERROR_NEGATIVE_SEEK 131L
#endif
#ifndef ERROR_DIR_NOT_EMPTY
#define ERROR_DIR_NOT_EMPTY 145L
#endif
#ifndef ERROR_BAD_PATHNAME
#define ERROR_BAD_PATHNAME 161L
#endif
#ifndef ERROR_FILENAME_EXCED_RANGE
#define ERROR_FILENAME_EXCED_RANGE 206L
#endif
#ifndef ERROR_DIRECTORY
#define ERROR_DIRECTORY 267L
#endif
#ifndef ERROR_NOT_OWNER
#define ERROR_NOT_OWNER 288L
#endif
#ifndef ERROR_INVALID_FLAGS
#define ERROR_INVALID_FLAGS 1004L
#endif

#define MAXIMUM_WAIT_OBJECTS 64
#define STATUS_WAIT_0 0x00000000u
#define STATUS_ABANDONED_WAIT_0 0x00000080u
#define WAIT_OBJECT_0 0x00000000u
#define WAIT_ABANDONED 0x00000080u
#define WAIT_ABANDONED_0 0x00000080u
#define WAIT_TIMEOUT 258u
#define WAIT_FAILED 0xFFFFFFFFu
#define STILL_ACTIVE 259u

// Access rights.
#define DELETE 0x00010000u
#define READ_CONTROL 0x00020000u
#define WRITE_DAC 0x00040000u
#define WRITE_OWNER 0x00080000u
#define SYNCHRONIZE 0x00100000u
#define STANDARD_RIGHTS_REQUIRED 0x000F0000u
#define STANDARD_RIGHTS_READ READ_CONTROL
#define STANDARD_RIGHTS_WRITE READ_CONTROL
#define STANDARD_RIGHTS_EXECUTE READ_CONTROL
#define STANDARD_RIGHTS_ALL 0x001F0000u
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define GENERIC_EXECUTE 0x20000000u
#define GENERIC_ALL 0x10000000u
#define EVENT_QUERY_STATE 0x0001u
#define EVENT_MODIFY_STATE 0x0002u
#define EVENT_ALL_ACCESS (STANDARD_RIGHTS_REQUIRED | SYNCHRONIZE | 0x3u)
#define MUTANT_QUERY_STATE 0x0001u
#define MUTEX_ALL_ACCESS (STANDARD_RIGHTS_REQUIRED | SYNCHRONIZE | MUTANT_QUERY_STATE)
#define THREAD_TERMINATE 0x0001u
#define THREAD_SUSPEND_RESUME 0x0002u
#define THREAD_QUERY_INFORMATION 0x0040u
#define THREAD_QUERY_LIMITED_INFORMATION 0x0800u
#define THREAD_ALL_ACCESS (STANDARD_RIGHTS_REQUIRED | SYNCHRONIZE | 0xFFFFu)

// DuplicateHandle options.
#define DUPLICATE_CLOSE_SOURCE 0x00000001u
#define DUPLICATE_SAME_ACCESS 0x00000002u

// CreateThread flags.
#define CREATE_SUSPENDED 0x00000004u
#define STACK_SIZE_PARAM_IS_A_RESERVATION 0x00010000u

// Files.
#define FILE_READ_DATA 0x0001u
#define FILE_WRITE_DATA 0x0002u
#define FILE_APPEND_DATA 0x0004u
#define FILE_READ_EA 0x0008u
#define FILE_WRITE_EA 0x0010u
#define FILE_READ_ATTRIBUTES 0x0080u
#define FILE_WRITE_ATTRIBUTES 0x0100u
#define FILE_GENERIC_READ (STANDARD_RIGHTS_READ | FILE_READ_DATA | FILE_READ_ATTRIBUTES | FILE_READ_EA | SYNCHRONIZE)
#define FILE_GENERIC_WRITE \
  (STANDARD_RIGHTS_WRITE | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES | FILE_WRITE_EA | FILE_APPEND_DATA | SYNCHRONIZE)
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u
#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define TRUNCATE_EXISTING 5u
#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_HIDDEN 0x00000002u
#define FILE_ATTRIBUTE_SYSTEM 0x00000004u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_ATTRIBUTE_TEMPORARY 0x00000100u
#define FILE_FLAG_WRITE_THROUGH 0x80000000u
#define FILE_FLAG_OVERLAPPED 0x40000000u
#define FILE_FLAG_NO_BUFFERING 0x20000000u
#define FILE_FLAG_RANDOM_ACCESS 0x10000000u
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000u
#define FILE_FLAG_DELETE_ON_CLOSE 0x04000000u
#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000u
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu
#define INVALID_FILE_SIZE 0xFFFFFFFFu
#define INVALID_SET_FILE_POINTER 0xFFFFFFFFu
#define FILE_BEGIN 0u
#define FILE_CURRENT 1u
#define FILE_END 2u
#define MAX_PATH 260

// Pseudo handles. GetCurrentProcess() is the same value as INVALID_HANDLE_VALUE,
// as on Windows.
#define TRX_PSEUDO_PROCESS_HANDLE (reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)))
#define TRX_PSEUDO_THREAD_HANDLE (reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2)))

// ---- last error --------------------------------------------------------------------
// The calling thread's last error code. Every thread starts at ERROR_SUCCESS.
DWORD WINAPI GetLastError();
void WINAPI SetLastError(DWORD dwErrCode);

// ---- handles -----------------------------------------------------------------------
// Closes a handle from the handle table; the object goes away with its last
// handle (a running thread keeps its own thread object). FALSE with
// ERROR_INVALID_HANDLE for anything not in the table (NULL, INVALID_HANDLE_VALUE,
// a closed handle). The two pseudo handles are accepted and left alone (TRUE).
BOOL WINAPI CloseHandle(HANDLE hObject);

// Duplicates a handle within this process. Both process handles must be
// GetCurrentProcess() (else ERROR_INVALID_HANDLE). The source may be the
// GetCurrentThread() pseudo handle, which yields a real handle to the calling
// thread. DUPLICATE_SAME_ACCESS keeps the source's rights, otherwise
// dwDesiredAccess is used (generic rights are mapped per object kind).
// DUPLICATE_CLOSE_SOURCE closes the source even when duplication fails.
// bInheritHandle is ignored. lpTargetHandle NULL: ERROR_INVALID_PARAMETER.
BOOL WINAPI DuplicateHandle(HANDLE hSourceProcessHandle, HANDLE hSourceHandle, HANDLE hTargetProcessHandle,
                            PHANDLE lpTargetHandle, DWORD dwDesiredAccess, BOOL bInheritHandle, DWORD dwOptions);

// ---- events and mutexes --------------------------------------------------------------
// Names are one namespace per process shared by events and mutexes; a
// "Global\" or "Local\" prefix is simply part of the name. A named object
// lives while any handle to it is open (or a wait on it is in progress).
// An empty name is the same as no name. Security attributes are ignored.

// Creates an event (manual or auto reset). If lpName names an existing event,
// a new handle to it is returned (bManualReset and bInitialState ignored) and
// the last error is ERROR_ALREADY_EXISTS; otherwise the last error is
// ERROR_SUCCESS. NULL with ERROR_INVALID_HANDLE if the name belongs to a mutex.
HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                           LPCWSTR lpName);
// Opens a named event with the given rights (EVENT_ALL_ACCESS, SYNCHRONIZE,
// EVENT_MODIFY_STATE; generic rights are mapped). Waiting needs SYNCHRONIZE,
// SetEvent/ResetEvent need EVENT_MODIFY_STATE (else ERROR_ACCESS_DENIED).
// NULL with ERROR_FILE_NOT_FOUND if no object has the name,
// ERROR_INVALID_HANDLE if it is not an event, ERROR_INVALID_PARAMETER for a
// null or empty name.
HANDLE WINAPI OpenEventW(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCWSTR lpName);
// Signals an event. An auto-reset event releases exactly one waiter (chosen
// first-come first-served) or stays signalled until one arrives.
BOOL WINAPI SetEvent(HANDLE hEvent);
// Puts an event in the non-signalled state.
BOOL WINAPI ResetEvent(HANDLE hEvent);

// Creates a mutex, owned by the calling thread when bInitialOwner is TRUE.
// Named reopen as for CreateEventW (bInitialOwner then ignored);
// ERROR_INVALID_HANDLE if the name belongs to an event.
HANDLE WINAPI CreateMutexW(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner, LPCWSTR lpName);
// Releases one level of the calling thread's ownership (ownership is
// recursive: each successful wait by the owner adds a level). FALSE with
// ERROR_NOT_OWNER if the calling thread does not own it. When an owner thread
// ends while owning mutexes, the next thread to acquire each one gets
// WAIT_ABANDONED (and owns it).
BOOL WINAPI ReleaseMutex(HANDLE hMutex);

// ---- waits ------------------------------------------------------------------------
// Waits for an event, mutex or thread handle (files and other handles fail
// with ERROR_INVALID_HANDLE; a handle without SYNCHRONIZE right fails with
// ERROR_ACCESS_DENIED). Returns WAIT_OBJECT_0, WAIT_ABANDONED (mutex whose
// owner ended), WAIT_TIMEOUT, or WAIT_FAILED. A successful wait resets an
// auto-reset event and takes ownership of a mutex. INFINITE waits forever.
// Sent window messages are not processed here (use MsgWaitForMultipleObjects).
DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
// Waits for 1..MAXIMUM_WAIT_OBJECTS handles. bWaitAll FALSE: returns
// WAIT_OBJECT_0+i (or WAIT_ABANDONED_0+i) for the lowest signalled index i,
// acquiring only that object. bWaitAll TRUE: returns when all are signalled at
// the same time and acquires them all at once (WAIT_OBJECT_0, or
// WAIT_ABANDONED_0+i where i is the first abandoned mutex). WAIT_FAILED with
// ERROR_INVALID_PARAMETER for a count of 0 or above 64, a null array or (with
// bWaitAll) the same object twice; ERROR_INVALID_HANDLE for a bad handle.
DWORD WINAPI WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll, DWORD dwMilliseconds);
// Suspends the calling thread. Sleep(0) yields; Sleep(INFINITE) never returns.
void WINAPI Sleep(DWORD dwMilliseconds);
// Yields the processor. Always returns TRUE (Linux does not tell whether
// another thread ran).
BOOL WINAPI SwitchToThread();

// ---- threads and processes -------------------------------------------------------------
// Starts a thread running lpStartAddress(lpParameter); its return value is the
// exit code. Returns a handle (THREAD_ALL_ACCESS) that becomes signalled when
// the thread has ended; closing it while the thread runs just detaches the
// thread. *lpThreadId (optional) gets the thread id. dwStackSize and the
// attributes are ignored. Fails with ERROR_NOT_SUPPORTED for CREATE_SUSPENDED,
// ERROR_INVALID_PARAMETER for other unknown flags or a null start address,
// ERROR_NOT_ENOUGH_MEMORY if no thread can be started.
HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, SIZE_T dwStackSize,
                           LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter, DWORD dwCreationFlags,
                           LPDWORD lpThreadId);
// The kernel's id of the calling thread (never 0).
DWORD WINAPI GetCurrentThreadId();
// The process id.
DWORD WINAPI GetCurrentProcessId();
// Pseudo handles for the calling thread and process. The thread pseudo handle
// works with waits, GetExitCodeThread, GetThreadId and DuplicateHandle; the
// process pseudo handle only with DuplicateHandle and CloseHandle.
HANDLE WINAPI GetCurrentThread();
HANDLE WINAPI GetCurrentProcess();
// Exit code of a thread: STILL_ACTIVE while it runs, then its start routine's
// return value (0 for a thread not started by CreateThread). Needs
// THREAD_QUERY_INFORMATION or THREAD_QUERY_LIMITED_INFORMATION.
BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode);
// Id of the thread behind a thread handle; 0 with ERROR_INVALID_HANDLE otherwise.
DWORD WINAPI GetThreadId(HANDLE Thread);

// ---- critical sections --------------------------------------------------------------
// A recursive lock. Initialize* cannot fail (the spin count is stored and
// otherwise ignored; InitializeCriticalSectionAndSpinCount returns TRUE).
// Leaving a section the caller does not own, or using one after
// DeleteCriticalSection, is undefined, as on Windows.
void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
BOOL WINAPI InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION lpCriticalSection, DWORD dwSpinCount);
void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection);

// ---- interlocked operations (sequentially consistent) ---------------------------------------
// Return the new value (Increment/Decrement) or the previous value (the others).
inline LONG InterlockedIncrement(LONG volatile* Addend) { return __atomic_add_fetch(Addend, 1, __ATOMIC_SEQ_CST); }
inline LONG InterlockedDecrement(LONG volatile* Addend) { return __atomic_sub_fetch(Addend, 1, __ATOMIC_SEQ_CST); }
inline LONG InterlockedExchange(LONG volatile* Target, LONG Value) {
  return __atomic_exchange_n(Target, Value, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedExchangeAdd(LONG volatile* Addend, LONG Value) {
  return __atomic_fetch_add(Addend, Value, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedCompareExchange(LONG volatile* Destination, LONG Exchange, LONG Comperand) {
  __atomic_compare_exchange_n(Destination, &Comperand, Exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
  return Comperand;
}
inline LONGLONG InterlockedIncrement64(LONGLONG volatile* Addend) {
  return __atomic_add_fetch(Addend, 1, __ATOMIC_SEQ_CST);
}
inline LONGLONG InterlockedDecrement64(LONGLONG volatile* Addend) {
  return __atomic_sub_fetch(Addend, 1, __ATOMIC_SEQ_CST);
}
inline PVOID InterlockedExchangePointer(PVOID volatile* Target, PVOID Value) {
  return __atomic_exchange_n(Target, Value, __ATOMIC_SEQ_CST);
}
inline PVOID InterlockedCompareExchangePointer(PVOID volatile* Destination, PVOID Exchange, PVOID Comperand) {
  __atomic_compare_exchange_n(Destination, &Comperand, Exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
  return Comperand;
}

// ---- time --------------------------------------------------------------------------
// Milliseconds of a monotonic clock since an arbitrary start (system boot);
// the 32-bit value wraps after 49.7 days.
DWORD WINAPI GetTickCount();
ULONGLONG WINAPI GetTickCount64();
// Current local time (time zone from TZ as it is at the call, else the
// system's) and UTC time.
void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime);
void WINAPI GetSystemTime(LPSYSTEMTIME lpSystemTime);
// UTC time as 100 ns intervals since 1601-01-01.
void WINAPI GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime);
// A monotonic high-resolution counter; the frequency is 1,000,000,000 (ns).
BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER* lpPerformanceCount);
BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER* lpFrequency);

// ---- environment ------------------------------------------------------------------
// Values are converted between UTF-16 and the UTF-8 process environment
// (bytes that are not UTF-8 read as U+FFFD). Unlike Windows, names are case
// sensitive. These two calls are thread-safe among themselves (and with
// GetLocalTime, which reads TZ); direct getenv/setenv elsewhere is not.

// Copies the value of lpName into lpBuffer. Returns its length in UTF-16
// units without the terminator; if nSize is too small, returns the size
// needed including the terminator and leaves the buffer alone. A variable
// set to "" returns 0 with ERROR_SUCCESS. 0 with ERROR_ENVVAR_NOT_FOUND if
// the variable does not exist.
DWORD WINAPI GetEnvironmentVariableW(LPCWSTR lpName, LPWSTR lpBuffer, DWORD nSize);
// Sets lpName to lpValue, or deletes it when lpValue is NULL (deleting a
// missing variable succeeds). FALSE with ERROR_INVALID_PARAMETER for a null or
// empty name or one containing '='.
BOOL WINAPI SetEnvironmentVariableW(LPCWSTR lpName, LPCWSTR lpValue);

// ---- files --------------------------------------------------------------------------
// Paths are UTF-16, converted to UTF-8 for Linux. '/' is the separator; a
// backslash is NOT translated and stays an ordinary file-name character, so
// callers must build paths with '/'. Sharing modes are accepted but not
// enforced (Linux has no mandatory sharing): opening, deleting or renaming a
// file that is open elsewhere always succeeds. There are no overlapped
// (asynchronous) operations.

// Opens or creates a file. dwDesiredAccess: GENERIC_READ, GENERIC_WRITE,
// GENERIC_ALL, FILE_READ_DATA, FILE_WRITE_DATA, FILE_APPEND_DATA (append only
// when given without write data access) or 0 (no data access); other rights
// are accepted and grant nothing (the file must still be readable when no
// data access is asked for). dwCreationDisposition: CREATE_NEW,
// CREATE_ALWAYS (truncates; ERROR_ALREADY_EXISTS when it existed),
// OPEN_EXISTING, OPEN_ALWAYS (ERROR_ALREADY_EXISTS when it existed),
// TRUNCATE_EXISTING (needs GENERIC_WRITE). Attributes: FILE_ATTRIBUTE_READONLY
// makes a new file read-only, the others are ignored. Flags:
// FILE_FLAG_WRITE_THROUGH (synchronous writes), FILE_FLAG_DELETE_ON_CLOSE
// (deleted when the last handle closes), FILE_FLAG_SEQUENTIAL_SCAN,
// FILE_FLAG_RANDOM_ACCESS, FILE_FLAG_NO_BUFFERING (hints, ignored);
// FILE_FLAG_OVERLAPPED, a template file, or opening a directory with
// FILE_FLAG_BACKUP_SEMANTICS fail with ERROR_NOT_SUPPORTED. Errors:
// ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND (a directory on the way is
// missing or the path is empty), ERROR_ACCESS_DENIED (permissions, or the path
// is a directory), ERROR_FILE_EXISTS (CREATE_NEW), ERROR_INVALID_PARAMETER.
HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
// Reads up to nNumberOfBytesToRead bytes at the file position; fewer only at
// the end of the file (0 at the end: TRUE with 0 bytes). lpOverlapped must be
// NULL (else ERROR_NOT_SUPPORTED). ERROR_ACCESS_DENIED without read access.
BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                     LPOVERLAPPED lpOverlapped);
// Writes all bytes at the file position (at the end for append-only handles).
// lpOverlapped must be NULL (else ERROR_NOT_SUPPORTED). ERROR_ACCESS_DENIED
// without write access, ERROR_DISK_FULL when the disk is full.
BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
                      LPOVERLAPPED lpOverlapped);
// Moves the file position (FILE_BEGIN, FILE_CURRENT, FILE_END). Without
// lpDistanceToMoveHigh the distance is a signed 32-bit value; with it, the
// two form a signed 64-bit distance and the high part of the new position is
// stored back. Returns the low 32 bits of the new position, or
// INVALID_SET_FILE_POINTER with ERROR_NEGATIVE_SEEK (before the start),
// ERROR_INVALID_PARAMETER (bad method) or ERROR_INVALID_HANDLE. When a valid
// position's low part equals INVALID_SET_FILE_POINTER the last error is set
// to NO_ERROR. Moving past the end is allowed.
DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh, DWORD dwMoveMethod);
// 64-bit form; lpNewFilePointer is optional.
BOOL WINAPI SetFilePointerEx(HANDLE hFile, LARGE_INTEGER liDistanceToMove, PLARGE_INTEGER lpNewFilePointer,
                             DWORD dwMoveMethod);
// Truncates or extends the file to the current position (needs write access).
BOOL WINAPI SetEndOfFile(HANDLE hFile);
// File size: low part returned, high part in *lpFileSizeHigh (optional).
// INVALID_FILE_SIZE with an error on failure; NO_ERROR is set when a valid
// size's low part equals INVALID_FILE_SIZE.
DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh);
BOOL WINAPI GetFileSizeEx(HANDLE hFile, PLARGE_INTEGER lpFileSize);
// Writes buffered data to the disk (fsync). ERROR_ACCESS_DENIED for a handle
// without write access, as Windows.
BOOL WINAPI FlushFileBuffers(HANDLE hFile);
// Deletes a file. ERROR_ACCESS_DENIED for a directory or without permission;
// ERROR_FILE_NOT_FOUND / ERROR_PATH_NOT_FOUND. Open files can be deleted.
BOOL WINAPI DeleteFileW(LPCWSTR lpFileName);
// FILE_ATTRIBUTE_DIRECTORY for directories; FILE_ATTRIBUTE_READONLY when the
// owner has no write permission; FILE_ATTRIBUTE_NORMAL when neither applies.
// INVALID_FILE_ATTRIBUTES with ERROR_FILE_NOT_FOUND / ERROR_PATH_NOT_FOUND.
// Symbolic links are followed.
DWORD WINAPI GetFileAttributesW(LPCWSTR lpFileName);
// Creates one directory (mode 0777 less umask). ERROR_ALREADY_EXISTS,
// ERROR_PATH_NOT_FOUND (parent missing), ERROR_ACCESS_DENIED.
BOOL WINAPI CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes);
// Removes an empty directory. ERROR_DIR_NOT_EMPTY, ERROR_DIRECTORY (not a
// directory), ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED.
BOOL WINAPI RemoveDirectoryW(LPCWSTR lpPathName);
// The temporary directory: $TMPDIR if set and not empty, else "/tmp", always
// with a trailing '/'. Returns the length without terminator, or (buffer too
// small) the size needed including the terminator. The directory's existence
// is not checked.
DWORD WINAPI GetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer);

// ---- modules ------------------------------------------------------------------------
// Loads a shared object by path or by name as dlopen searches it (no ".dll"
// is appended and no Windows search order applies). NULL with
// ERROR_MOD_NOT_FOUND if it cannot be loaded. A loaded module stays loaded
// for the rest of the process.
HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName);
// Address of an exported symbol; NULL with ERROR_PROC_NOT_FOUND. Lookup by
// ordinal (lpProcName below 0x10000) fails with ERROR_NOT_SUPPORTED.
FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
// Full path of a module; NULL is the executable. A non-null hModule must come
// from LoadLibraryW.
// Returns the length without terminator; if nSize is too small the path is
// truncated to nSize-1 units plus terminator, nSize is returned and the last
// error is ERROR_INSUFFICIENT_BUFFER (nSize 0: 0 with that error).
DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);
