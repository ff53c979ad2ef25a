// The one header through which the core reaches Win32, COM and OLE Automation.
//
// On Windows it is the real SDK. On Linux it is our own implementation of the
// subset the service uses, with the same names, signatures and behaviour; the
// limits of that subset are written at each declaration in platform/linux/.
// After the platform names come the owner types (counted COM pointers, BSTR,
// VARIANT, SAFEARRAY and handle owners) that both platforms share.
#pragma once

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>
#include <objbase.h>
#include <ole2.h>
#include <oleauto.h>
#include <ocidl.h>
#include <servprov.h>
#include <exdisp.h>
#include <shlguid.h>
#include <olectl.h>
#ifndef CHARS_IN_GUID
#define CHARS_IN_GUID 39
#endif
#define TRX_DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
  EXTERN_C const GUID DECLSPEC_SELECTANY name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}
// An HRESULT from its hexadecimal spelling (0x8004000C), without a narrowing
// conversion.
#define TRX_HR(x) static_cast<HRESULT>(x##u)
#else
#include "linux/pal_types.h"
#include "linux/pal_oleauto.h"
#include "linux/pal_kernel.h"
#include "linux/pal_registry.h"
#include "linux/pal_user.h"
#include "linux/pal_com.h"
#include "linux/pal_ole.h"
#include "linux/pal_string.h"
#endif

#include "trxstring.h"
#include "trxcom.h"
#include "trxoleauto.h"
#include "trxresource.h"
