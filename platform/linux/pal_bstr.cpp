// BSTR allocation.
//
// Memory layout of one allocation (8-byte header so the text stays aligned):
//   [4 bytes unused][4 bytes byte length][text bytes][2 zero bytes][padding]
// The BSTR points at the text. Two zero bytes follow the text even when its
// byte length is odd, so the string is null-terminated for any length.
#include "pal_oleauto.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

constexpr size_t kHeaderSize = 8;
// Largest byte length whose allocation (header, text, terminator) still fits
// in the 32-bit length the layout stores.
constexpr UINT kMaxByteLength = std::numeric_limits<UINT>::max() - 16;

unsigned char* BlockOf(BSTR str) { return reinterpret_cast<unsigned char*>(str) - kHeaderSize; }

// Allocates a BSTR for byteLength bytes, sets the length and the terminator.
// The text bytes are left for the caller to fill.
BSTR AllocateBytes(UINT byteLength) {
  if (byteLength > kMaxByteLength) return nullptr;
  // Text, then 2 zero bytes, rounded up to a whole OLECHAR when the length is odd.
  const size_t size = kHeaderSize + static_cast<size_t>(byteLength) + 3;
  auto* block = static_cast<unsigned char*>(std::malloc(size));
  if (!block) return nullptr;
  const uint32_t length = byteLength;
  std::memset(block, 0, 4);
  std::memcpy(block + 4, &length, sizeof length);
  std::memset(block + kHeaderSize + byteLength, 0, 3);
  return reinterpret_cast<BSTR>(block + kHeaderSize);
}

size_t TextLength(const OLECHAR* text) {
  size_t n = 0;
  while (text[n]) ++n;
  return n;
}

}  // namespace

extern "C" {

UINT WINAPI SysStringByteLen(BSTR bstr) {
  if (!bstr) return 0;
  uint32_t length;
  std::memcpy(&length, BlockOf(bstr) + 4, sizeof length);
  return length;
}

UINT WINAPI SysStringLen(BSTR pbstr) { return SysStringByteLen(pbstr) / sizeof(OLECHAR); }

void WINAPI SysFreeString(BSTR bstrString) {
  if (bstrString) std::free(BlockOf(bstrString));
}

BSTR WINAPI SysAllocStringByteLen(LPCSTR psz, UINT len) {
  BSTR result = AllocateBytes(len);
  if (!result) return nullptr;
  if (psz)
    std::memcpy(result, psz, len);
  else
    std::memset(result, 0, len);
  return result;
}

BSTR WINAPI SysAllocStringLen(const OLECHAR* strIn, UINT ui) {
  if (ui > kMaxByteLength / sizeof(OLECHAR)) return nullptr;
  return SysAllocStringByteLen(reinterpret_cast<LPCSTR>(strIn), ui * static_cast<UINT>(sizeof(OLECHAR)));
}

BSTR WINAPI SysAllocString(const OLECHAR* psz) {
  if (!psz) return nullptr;
  const size_t length = TextLength(psz);
  if (length > kMaxByteLength / sizeof(OLECHAR)) return nullptr;
  return SysAllocStringLen(psz, static_cast<UINT>(length));
}

INT WINAPI SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, unsigned int len) {
  if (!pbstr || len > kMaxByteLength / sizeof(OLECHAR)) return FALSE;
  BSTR old = *pbstr;
  const UINT oldLength = SysStringLen(old);
  // The characters to copy and from where: psz may point into the old string
  // (then only what the old string holds from there is there to copy), and a
  // null psz keeps the old text.
  const OLECHAR* from = psz ? psz : old;
  UINT available = psz ? len : oldLength;
  const auto at = reinterpret_cast<uintptr_t>(psz), begin = reinterpret_cast<uintptr_t>(old);
  if (psz && old && at >= begin && at <= begin + oldLength * sizeof(OLECHAR))
    available = static_cast<UINT>((begin + oldLength * sizeof(OLECHAR) - at) / sizeof(OLECHAR));
  const UINT copied = available < len ? available : len;
  if (old && len <= oldLength) {
    // Shrinking keeps the block, as Windows does: a second copy of the
    // pointer stays valid.
    std::memmove(old, from, copied * sizeof(OLECHAR));
    const uint32_t byteLength = len * sizeof(OLECHAR);
    std::memcpy(BlockOf(old) + 4, &byteLength, sizeof byteLength);
    old[len] = 0;
    return TRUE;
  }
  BSTR fresh = SysAllocStringLen(nullptr, len);
  if (!fresh) return FALSE;
  if (from) std::memcpy(fresh, from, copied * sizeof(OLECHAR));
  SysFreeString(old);
  *pbstr = fresh;
  return TRUE;
}

}  // extern "C"
