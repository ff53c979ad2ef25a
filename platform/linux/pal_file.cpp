// Files and directories.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "pal_internal.h"

namespace pal {
namespace {

struct FileObject final : KernelObject {
  FileObject(int descriptor, std::string deletePath)
      : KernelObject(Kind::File), fd(descriptor), deleteOnClose(std::move(deletePath)) {}
  ~FileObject() override {
    if (!deleteOnClose.empty()) unlink(deleteOnClose.c_str());
    close(fd);
  }
  const int fd;
  const std::string deleteOnClose;
};

bool isDirectory(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool parentExists(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return true;  // relative to the current directory
  return isDirectory(slash == 0 ? std::string("/") : path.substr(0, slash));
}

// The Windows error for a failed path operation.
DWORD pathError(int error, const std::string& path) {
  switch (error) {
    case ENOENT:
      return parentExists(path) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    case ENOTDIR:
    case ELOOP:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
    case ETXTBSY:
      return ERROR_ACCESS_DENIED;
    case EEXIST:
      return ERROR_FILE_EXISTS;
    case ENOTEMPTY:
      return ERROR_DIR_NOT_EMPTY;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    case EMFILE:
    case ENFILE:
      return ERROR_TOO_MANY_OPEN_FILES;
    case ENOSPC:
    case EDQUOT:
      return ERROR_DISK_FULL;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL:
      return ERROR_INVALID_PARAMETER;
    default:
      return ERROR_GEN_FAILURE;
  }
}

// The Windows error for a failed operation on an open file.
DWORD ioError(int error) {
  switch (error) {
    case EBADF:
    case EACCES:
    case EPERM:
    case EISDIR:
      return ERROR_ACCESS_DENIED;
    case ENOSPC:
    case EDQUOT:
      return ERROR_DISK_FULL;
    case EFBIG:
    case EINVAL:
      return ERROR_INVALID_PARAMETER;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      return ERROR_GEN_FAILURE;
  }
}

// The UTF-8 path, or false with ERROR_PATH_NOT_FOUND (null or empty).
bool toPath(LPCWSTR name, std::string& path) {
  if (name == nullptr || name[0] == 0) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  path = narrow(name);
  return true;
}

std::shared_ptr<FileObject> fileFor(HANDLE h, DWORD anyOf) { return findHandleAs<FileObject>(h, Kind::File, anyOf); }

}  // namespace
}  // namespace pal

using namespace pal;

HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD /*dwShareMode*/,
                          LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
  if ((dwFlagsAndAttributes & FILE_FLAG_OVERLAPPED) || hTemplateFile != nullptr) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return INVALID_HANDLE_VALUE;
  }
  std::string path;
  if (!toPath(lpFileName, path)) return INVALID_HANDLE_VALUE;
  const DWORD access = mapGenericAccess(Kind::File, dwDesiredAccess);
  const bool canRead = access & FILE_READ_DATA;
  const bool canWrite = access & FILE_WRITE_DATA;
  const bool appendOnly = !canWrite && (access & FILE_APPEND_DATA);
  if (dwCreationDisposition == TRUNCATE_EXISTING && !canWrite) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  int flags = O_CLOEXEC;
  if (canWrite || appendOnly) {
    flags |= canRead ? O_RDWR : O_WRONLY;
  } else {
    flags |= O_RDONLY;
  }
  if (appendOnly) flags |= O_APPEND;
  if (dwFlagsAndAttributes & FILE_FLAG_WRITE_THROUGH) flags |= O_DSYNC;
  const mode_t mode = (dwFlagsAndAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;

  int fd = -1;
  bool existed = false;
  switch (dwCreationDisposition) {
    case CREATE_NEW:
      fd = open(path.c_str(), flags | O_CREAT | O_EXCL, mode);
      break;
    case CREATE_ALWAYS:
    case OPEN_ALWAYS:
      // Create exclusively first to learn whether the file existed; retry if
      // it vanishes between the two attempts.
      for (int attempt = 0; attempt < 16; ++attempt) {
        fd = open(path.c_str(), flags | O_CREAT | O_EXCL, mode);
        if (fd >= 0 || errno != EEXIST) break;
        fd = open(path.c_str(), flags | (dwCreationDisposition == CREATE_ALWAYS ? O_TRUNC : 0));
        if (fd >= 0) {
          existed = true;
          break;
        }
        if (errno != ENOENT) break;
      }
      break;
    case OPEN_EXISTING:
      fd = open(path.c_str(), flags);
      break;
    case TRUNCATE_EXISTING:
      fd = open(path.c_str(), flags | O_TRUNC);
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return INVALID_HANDLE_VALUE;
  }
  if (fd < 0) {
    SetLastError(pathError(errno, path));
    return INVALID_HANDLE_VALUE;
  }
  struct stat st {};
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    close(fd);
    SetLastError((dwFlagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS) ? ERROR_NOT_SUPPORTED : ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  std::string deletePath;
  if (dwFlagsAndAttributes & FILE_FLAG_DELETE_ON_CLOSE) {
    // Kept absolute so a later change of directory cannot redirect it.
    char* absolute = realpath(path.c_str(), nullptr);
    deletePath = absolute ? absolute : path;
    std::free(absolute);
  }
  HANDLE h = addHandle(std::make_shared<FileObject>(fd, std::move(deletePath)), access);
  SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return h;
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                     LPOVERLAPPED lpOverlapped) {
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
  auto file = fileFor(hFile, FILE_READ_DATA);
  if (!file) return FALSE;
  if (lpOverlapped) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  if (lpBuffer == nullptr && nNumberOfBytesToRead > 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD total = 0;
  auto* out = static_cast<unsigned char*>(lpBuffer);
  while (total < nNumberOfBytesToRead) {
    ssize_t n = read(file->fd, out + total, nNumberOfBytesToRead - total);
    if (n < 0) {
      if (errno == EINTR) continue;
      SetLastError(ioError(errno));
      return FALSE;
    }
    if (n == 0) break;  // end of file
    total += static_cast<DWORD>(n);
  }
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = total;
  return TRUE;
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
                      LPOVERLAPPED lpOverlapped) {
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
  auto file = fileFor(hFile, FILE_WRITE_DATA | FILE_APPEND_DATA);
  if (!file) return FALSE;
  if (lpOverlapped) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  if (lpBuffer == nullptr && nNumberOfBytesToWrite > 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD total = 0;
  const auto* in = static_cast<const unsigned char*>(lpBuffer);
  while (total < nNumberOfBytesToWrite) {
    ssize_t n = write(file->fd, in + total, nNumberOfBytesToWrite - total);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = total;
      SetLastError(ioError(errno));
      return FALSE;
    }
    total += static_cast<DWORD>(n);
  }
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = total;
  return TRUE;
}

BOOL WINAPI SetFilePointerEx(HANDLE hFile, LARGE_INTEGER liDistanceToMove, PLARGE_INTEGER lpNewFilePointer,
                             DWORD dwMoveMethod) {
  auto file = fileFor(hFile, 0);
  if (!file) return FALSE;
  int whence;
  switch (dwMoveMethod) {
    case FILE_BEGIN:
      whence = SEEK_SET;
      break;
    case FILE_CURRENT:
      whence = SEEK_CUR;
      break;
    case FILE_END:
      whence = SEEK_END;
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
  }
  off_t position = lseek(file->fd, static_cast<off_t>(liDistanceToMove.QuadPart), whence);
  if (position < 0) {
    SetLastError(errno == EINVAL ? ERROR_NEGATIVE_SEEK : ioError(errno));
    return FALSE;
  }
  if (lpNewFilePointer) lpNewFilePointer->QuadPart = position;
  return TRUE;
}

DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh, DWORD dwMoveMethod) {
  LARGE_INTEGER distance;
  if (lpDistanceToMoveHigh) {
    distance.QuadPart =
        static_cast<LONGLONG>((static_cast<ULONGLONG>(static_cast<DWORD>(*lpDistanceToMoveHigh)) << 32) |
                              static_cast<DWORD>(lDistanceToMove));
  } else {
    distance.QuadPart = lDistanceToMove;
  }
  LARGE_INTEGER position;
  if (!SetFilePointerEx(hFile, distance, &position, dwMoveMethod)) return INVALID_SET_FILE_POINTER;
  if (lpDistanceToMoveHigh) *lpDistanceToMoveHigh = position.HighPart;
  if (position.LowPart == INVALID_SET_FILE_POINTER) SetLastError(NO_ERROR);
  return position.LowPart;
}

BOOL WINAPI SetEndOfFile(HANDLE hFile) {
  auto file = fileFor(hFile, FILE_WRITE_DATA);
  if (!file) return FALSE;
  off_t position = lseek(file->fd, 0, SEEK_CUR);
  if (position < 0 || ftruncate(file->fd, position) != 0) {
    SetLastError(ioError(errno));
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI GetFileSizeEx(HANDLE hFile, PLARGE_INTEGER lpFileSize) {
  auto file = fileFor(hFile, 0);
  if (!file) return FALSE;
  struct stat st {};
  if (fstat(file->fd, &st) != 0) {
    SetLastError(ioError(errno));
    return FALSE;
  }
  lpFileSize->QuadPart = st.st_size;
  return TRUE;
}

DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(hFile, &size)) return INVALID_FILE_SIZE;
  if (lpFileSizeHigh) *lpFileSizeHigh = static_cast<DWORD>(size.HighPart);
  if (size.LowPart == INVALID_FILE_SIZE) SetLastError(NO_ERROR);
  return size.LowPart;
}

BOOL WINAPI FlushFileBuffers(HANDLE hFile) {
  auto file = fileFor(hFile, FILE_WRITE_DATA | FILE_APPEND_DATA);
  if (!file) return FALSE;
  if (fsync(file->fd) != 0) {
    SetLastError(ioError(errno));
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI DeleteFileW(LPCWSTR lpFileName) {
  std::string path;
  if (!toPath(lpFileName, path)) return FALSE;
  if (unlink(path.c_str()) != 0) {
    SetLastError(pathError(errno, path));
    return FALSE;
  }
  return TRUE;
}

DWORD WINAPI GetFileAttributesW(LPCWSTR lpFileName) {
  std::string path;
  if (!toPath(lpFileName, path)) return INVALID_FILE_ATTRIBUTES;
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    SetLastError(pathError(errno, path));
    return INVALID_FILE_ATTRIBUTES;
  }
  DWORD attributes = 0;
  if (S_ISDIR(st.st_mode)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
  if ((st.st_mode & S_IWUSR) == 0) attributes |= FILE_ATTRIBUTE_READONLY;
  return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

BOOL WINAPI CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES) {
  std::string path;
  if (!toPath(lpPathName, path)) return FALSE;
  if (mkdir(path.c_str(), 0777) != 0) {
    int error = errno;
    SetLastError(error == EEXIST   ? ERROR_ALREADY_EXISTS
                 : error == ENOENT ? ERROR_PATH_NOT_FOUND
                                   : pathError(error, path));
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI RemoveDirectoryW(LPCWSTR lpPathName) {
  std::string path;
  if (!toPath(lpPathName, path)) return FALSE;
  if (rmdir(path.c_str()) != 0) {
    int error = errno;
    struct stat st {};
    if (error == ENOTDIR && stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
      SetLastError(ERROR_DIRECTORY);
    } else if (error == EEXIST || error == ENOTEMPTY) {
      SetLastError(ERROR_DIR_NOT_EMPTY);
    } else {
      SetLastError(pathError(error, path));
    }
    return FALSE;
  }
  return TRUE;
}

DWORD WINAPI GetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer) {
  std::string dir;
  {
    std::lock_guard<std::mutex> guard(envLock());
    const char* tmp = std::getenv("TMPDIR");
    dir = (tmp && *tmp) ? tmp : "/tmp";
  }
  if (dir.back() != '/') dir += '/';
  return copyOut(widen(dir), lpBuffer, nBufferLength);
}
