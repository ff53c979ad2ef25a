// Keyboard layout: the US English layout's printable keys.
#include "pal_types.h"
#include "pal_user.h"

namespace {

struct KeyEntry {
  WCHAR plain;
  WCHAR shifted;
  BYTE vk;
};

// Keys whose virtual-key code differs from the character's own code.
const KeyEntry kPunctuation[] = {
    {u';', u':', 0xBA}, {u'=', u'+', 0xBB}, {u',', u'<', 0xBC}, {u'-', u'_', 0xBD}, {u'.', u'>', 0xBE},
    {u'/', u'?', 0xBF}, {u'`', u'~', 0xC0}, {u'[', u'{', 0xDB}, {u'\\', u'|', 0xDC}, {u']', u'}', 0xDD},
    {u'\'', u'"', 0xDE},
};
const char kShiftedDigits[] = ")!@#$%^&*(";

}  // namespace

SHORT WINAPI VkKeyScanW(WCHAR ch) {
  if (ch >= u'a' && ch <= u'z') return static_cast<SHORT>(ch - u'a' + 'A');
  if (ch >= u'A' && ch <= u'Z') return static_cast<SHORT>(0x100 | ch);
  if (ch >= u'0' && ch <= u'9') return static_cast<SHORT>(ch);
  for (int d = 0; d < 10; ++d)
    if (ch == static_cast<WCHAR>(kShiftedDigits[d])) return static_cast<SHORT>(0x100 | ('0' + d));
  if (ch == u' ') return 0x20;
  if (ch == u'\r') return 0x0D;
  if (ch == u'\t') return 0x09;
  if (ch == 0x1B) return 0x1B;
  if (ch == u'\b') return 0x08;
  for (const KeyEntry& key : kPunctuation) {
    if (ch == key.plain) return key.vk;
    if (ch == key.shifted) return static_cast<SHORT>(0x100 | key.vk);
  }
  return -1;
}

UINT WINAPI MapVirtualKeyW(UINT uCode, UINT uMapType) {
  if (uMapType != MAPVK_VK_TO_CHAR) return 0;
  if ((uCode >= 'A' && uCode <= 'Z') || (uCode >= '0' && uCode <= '9')) return uCode;
  if (uCode == 0x20 || uCode == 0x0D || uCode == 0x09 || uCode == 0x1B || uCode == 0x08) return uCode;
  for (const KeyEntry& key : kPunctuation)
    if (uCode == key.vk) return key.plain;
  return 0;
}
