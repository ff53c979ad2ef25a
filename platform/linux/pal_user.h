// User32 subset for the Linux build: per-thread message queues, posted and
// sent messages, message-pumping waits and message-only windows.
//
// There is no display: windows have no position, size, painting, focus,
// parent/child tree or input devices. A window is a window procedure plus
// its data, owned by the thread that created it; its messages are delivered
// on that thread, exactly as Windows delivers them.
//
// Each thread gets a message queue on its first call to a function here that
// uses the queue (PeekMessageW, GetMessageW, WaitMessage,
// MsgWaitForMultipleObjects(Ex), CreateWindowExW, SendMessageW, or
// PostMessageW/PostThreadMessageW aimed at itself); the queue and the
// thread's remaining windows are destroyed when the thread ends (those
// windows get no WM_DESTROY, and messages still being sent to them return 0
// to their senders).
#pragma once

#include "pal_types.h"
#include "pal_kernel.h"

// ---- types ------------------------------------------------------------------------
struct HICON__;
typedef HICON__* HICON;
typedef HICON HCURSOR;
struct HBRUSH__;
typedef HBRUSH__* HBRUSH;
struct HMENU__;
typedef HMENU__* HMENU;

typedef LRESULT(CALLBACK* WNDPROC)(HWND, UINT, WPARAM, LPARAM);

typedef struct tagPOINT {
  LONG x;
  LONG y;
} POINT, *PPOINT, *LPPOINT;

typedef struct tagRECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
} RECT, *PRECT, *LPRECT;

typedef struct tagMSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;  // GetTickCount() when the message was posted
  POINT pt;    // always (0, 0): there is no cursor
} MSG, *PMSG, *LPMSG;

typedef struct tagWNDCLASSW {
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCWSTR lpszMenuName;
  LPCWSTR lpszClassName;
} WNDCLASSW, *PWNDCLASSW, *LPWNDCLASSW;

typedef struct tagCREATESTRUCTW {
  LPVOID lpCreateParams;
  HINSTANCE hInstance;
  HMENU hMenu;
  HWND hwndParent;
  int cy;
  int cx;
  int y;
  int x;
  LONG style;
  LPCWSTR lpszName;
  LPCWSTR lpszClass;
  DWORD dwExStyle;
} CREATESTRUCTW, *LPCREATESTRUCTW;

// ---- constants -----------------------------------------------------------------------
#ifndef ERROR_INVALID_WINDOW_HANDLE
#define ERROR_INVALID_WINDOW_HANDLE 1400L
#endif
#ifndef ERROR_CANNOT_FIND_WND_CLASS
#define ERROR_CANNOT_FIND_WND_CLASS 1407L
#endif
#ifndef ERROR_CLASS_ALREADY_EXISTS
#define ERROR_CLASS_ALREADY_EXISTS 1410L
#endif
#ifndef ERROR_CLASS_DOES_NOT_EXIST
#define ERROR_CLASS_DOES_NOT_EXIST 1411L
#endif
#ifndef ERROR_CLASS_HAS_WINDOWS
#define ERROR_CLASS_HAS_WINDOWS 1412L
#endif
#ifndef ERROR_INVALID_INDEX
#define ERROR_INVALID_INDEX 1413L
#endif
#ifndef ERROR_MESSAGE_SYNC_ONLY
#define ERROR_MESSAGE_SYNC_ONLY 1159L
#endif
#ifndef ERROR_NOT_ENOUGH_QUOTA
#define ERROR_NOT_ENOUGH_QUOTA 1816L
#endif

#define MAKEINTATOM(i) (reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(i))))
#define IS_INTRESOURCE(r) ((reinterpret_cast<ULONG_PTR>(r) >> 16) == 0)
#define LOWORD(l) (static_cast<WORD>(static_cast<DWORD_PTR>(l) & 0xffff))
#define HIWORD(l) (static_cast<WORD>((static_cast<DWORD_PTR>(l) >> 16) & 0xffff))

#define HWND_MESSAGE (reinterpret_cast<HWND>(static_cast<LONG_PTR>(-3)))
#define HWND_BROADCAST (reinterpret_cast<HWND>(static_cast<LONG_PTR>(0xffff)))
#define CW_USEDEFAULT (static_cast<int>(0x80000000))

// Window messages.
#define WM_NULL 0x0000u
#define WM_CREATE 0x0001u
#define WM_DESTROY 0x0002u
#define WM_MOVE 0x0003u
#define WM_SIZE 0x0005u
#define WM_ACTIVATE 0x0006u
#define WM_SETFOCUS 0x0007u
#define WM_KILLFOCUS 0x0008u
#define WM_ENABLE 0x000Au
#define WM_SETTEXT 0x000Cu
#define WM_GETTEXT 0x000Du
#define WM_GETTEXTLENGTH 0x000Eu
#define WM_PAINT 0x000Fu
#define WM_CLOSE 0x0010u
#define WM_QUERYENDSESSION 0x0011u
#define WM_QUIT 0x0012u
#define WM_ERASEBKGND 0x0014u
#define WM_SHOWWINDOW 0x0018u
#define WM_ACTIVATEAPP 0x001Cu
#define WM_TIMECHANGE 0x001Eu
#define WM_GETMINMAXINFO 0x0024u
#define WM_COPYDATA 0x004Au
#define WM_NCCREATE 0x0081u
#define WM_NCDESTROY 0x0082u
#define WM_NCCALCSIZE 0x0083u
#define WM_KEYFIRST 0x0100u
#define WM_KEYDOWN 0x0100u
#define WM_KEYUP 0x0101u
#define WM_CHAR 0x0102u
#define WM_DEADCHAR 0x0103u
#define WM_SYSKEYDOWN 0x0104u
#define WM_SYSKEYUP 0x0105u
#define WM_SYSCHAR 0x0106u
#define WM_SYSDEADCHAR 0x0107u
#define WM_UNICHAR 0x0109u
#define WM_KEYLAST 0x0109u
#define WM_COMMAND 0x0111u
#define WM_SYSCOMMAND 0x0112u
#define WM_TIMER 0x0113u
#define WM_MOUSEFIRST 0x0200u
#define WM_MOUSEMOVE 0x0200u
#define WM_LBUTTONDOWN 0x0201u
#define WM_LBUTTONUP 0x0202u
#define WM_LBUTTONDBLCLK 0x0203u
#define WM_RBUTTONDOWN 0x0204u
#define WM_RBUTTONUP 0x0205u
#define WM_RBUTTONDBLCLK 0x0206u
#define WM_MBUTTONDOWN 0x0207u
#define WM_MBUTTONUP 0x0208u
#define WM_MBUTTONDBLCLK 0x0209u
#define WM_MOUSEWHEEL 0x020Au
#define WM_MOUSELAST 0x020Eu
#define WM_USER 0x0400u
#define WM_APP 0x8000u

// PeekMessage options. PM_NOYIELD is accepted and has no effect.
#define PM_NOREMOVE 0x0000u
#define PM_REMOVE 0x0001u
#define PM_NOYIELD 0x0002u

// Queue status bits (the Windows 7 set: QS_INPUT has no touch/pointer bits).
#define QS_KEY 0x0001u
#define QS_MOUSEMOVE 0x0002u
#define QS_MOUSEBUTTON 0x0004u
#define QS_POSTMESSAGE 0x0008u
#define QS_TIMER 0x0010u
#define QS_PAINT 0x0020u
#define QS_SENDMESSAGE 0x0040u
#define QS_HOTKEY 0x0080u
#define QS_ALLPOSTMESSAGE 0x0100u
#define QS_RAWINPUT 0x0400u
#define QS_MOUSE (QS_MOUSEMOVE | QS_MOUSEBUTTON)
#define QS_INPUT (QS_MOUSE | QS_KEY | QS_RAWINPUT)
#define QS_ALLEVENTS (QS_INPUT | QS_POSTMESSAGE | QS_TIMER | QS_PAINT | QS_HOTKEY)
#define QS_ALLINPUT (QS_INPUT | QS_POSTMESSAGE | QS_TIMER | QS_PAINT | QS_HOTKEY | QS_SENDMESSAGE)

// MsgWaitForMultipleObjectsEx flags.
#define MWMO_WAITALL 0x0001u
#define MWMO_ALERTABLE 0x0002u
#define MWMO_INPUTAVAILABLE 0x0004u

// Window long indexes.
#define GWLP_WNDPROC (-4)
#define GWLP_HINSTANCE (-6)
#define GWLP_HWNDPARENT (-8)
#define GWLP_ID (-12)
#define GWL_STYLE (-16)
#define GWL_EXSTYLE (-20)
#define GWLP_USERDATA (-21)

// Window styles (stored, without visual effect).
#define WS_OVERLAPPED 0x00000000L
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_VISIBLE 0x10000000L
#define WS_DISABLED 0x08000000L
#define WS_CAPTION 0x00C00000L
#define WS_SYSMENU 0x00080000L
#define WS_THICKFRAME 0x00040000L
#define WS_MINIMIZEBOX 0x00020000L
#define WS_MAXIMIZEBOX 0x00010000L
#define WS_OVERLAPPEDWINDOW (WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX)
#define WS_EX_TOOLWINDOW 0x00000080L
#define WS_EX_NOACTIVATE 0x08000000L

// Class styles (stored, without effect).
#define CS_VREDRAW 0x0001u
#define CS_HREDRAW 0x0002u
#define CS_DBLCLKS 0x0008u
#define CS_OWNDC 0x0020u
#define CS_GLOBALCLASS 0x4000u

// MessageBox.
#define MB_OK 0x00000000u
#define MB_OKCANCEL 0x00000001u
#define MB_ABORTRETRYIGNORE 0x00000002u
#define MB_YESNOCANCEL 0x00000003u
#define MB_YESNO 0x00000004u
#define MB_RETRYCANCEL 0x00000005u
#define MB_CANCELTRYCONTINUE 0x00000006u
#define MB_ICONHAND 0x00000010u
#define MB_ICONQUESTION 0x00000020u
#define MB_ICONEXCLAMATION 0x00000030u
#define MB_ICONASTERISK 0x00000040u
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONSTOP MB_ICONHAND
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONINFORMATION MB_ICONASTERISK
#define MB_DEFBUTTON1 0x00000000u
#define MB_DEFBUTTON2 0x00000100u
#define MB_DEFBUTTON3 0x00000200u
#define MB_APPLMODAL 0x00000000u
#define MB_SYSTEMMODAL 0x00001000u
#define MB_TASKMODAL 0x00002000u
#define MB_SETFOREGROUND 0x00010000u
#define MB_TOPMOST 0x00040000u
#define MB_SERVICE_NOTIFICATION 0x00200000u
#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7
#define IDTRYAGAIN 10
#define IDCONTINUE 11

// ---- message queue ----------------------------------------------------------------------
// Posts a message to a thread's queue. FALSE with ERROR_INVALID_THREAD_ID if
// the thread has no queue (it never called a queue function, or it ended);
// a thread posting to itself gets its queue created. ERROR_NOT_ENOUGH_QUOTA
// when the queue already holds 10,000 posted messages, as Windows.
BOOL WINAPI PostThreadMessageW(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam);
// Posts a message to the queue of the thread that owns hWnd; hWnd NULL posts a
// thread message to the calling thread. FALSE with
// ERROR_INVALID_WINDOW_HANDLE for an unknown window; HWND_BROADCAST fails with
// ERROR_NOT_SUPPORTED.
BOOL WINAPI PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
// Processes pending sent messages, then looks for a posted message.
// hWnd: NULL = any message of this thread; (HWND)-1 = thread messages only
// (hwnd NULL); a window = messages of that window. wMsgFilterMin/Max: an
// inclusive range, 0/0 = all. wRemoveMsg: PM_REMOVE or PM_NOREMOVE, plus
// PM_NOYIELD; the PM_QS_* filters are not supported (ERROR_INVALID_FLAGS).
// Returns FALSE when nothing matches; ERROR_INVALID_WINDOW_HANDLE for an
// unknown window, ERROR_INVALID_PARAMETER for a null lpMsg.
// Looking at the queue (here or in GetMessageW) resets the "new input" state
// that MsgWaitForMultipleObjects waits for.
BOOL WINAPI PeekMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg);
// As PeekMessageW with PM_REMOVE, but waits (processing sent messages) until
// a message matches. Returns 0 for WM_QUIT, -1 on error (unknown window,
// null lpMsg), otherwise nonzero.
BOOL WINAPI GetMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax);
// No keyboard layout exists, so no WM_CHAR is ever generated. Returns TRUE
// for WM_KEYDOWN, WM_KEYUP, WM_SYSKEYDOWN and WM_SYSKEYUP (as Windows does for
// every key message), FALSE for anything else or a null lpMsg.
BOOL WINAPI TranslateMessage(const MSG* lpMsg);
// Calls the window procedure of lpMsg->hwnd and returns its result. A thread
// message (hwnd NULL) is not dispatched: 0. 0 with ERROR_INVALID_WINDOW_HANDLE
// for an unknown window, ERROR_MESSAGE_SYNC_ONLY for another thread's window.
LRESULT WINAPI DispatchMessageW(const MSG* lpMsg);
// ANSI forms. Every window here is Unicode and no message is converted
// between ANSI and UTF-16 text, so these are the W forms under another name;
// code must not rely on them to convert WM_CHAR or text-carrying messages.
BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg);
BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax);
LRESULT WINAPI DispatchMessageA(const MSG* lpMsg);
// Calls hWnd's window procedure and returns its result. For a window of the
// calling thread the call is direct. For another thread's window the message
// joins that thread's sent-message list and runs on that thread inside its
// next PeekMessageW/GetMessageW/WaitMessage/MsgWaitForMultipleObjects(Ex) or
// while it waits in its own SendMessageW; sent messages run before posted
// ones. The sender blocks until then, processing messages sent to itself
// meanwhile. 0 with ERROR_INVALID_WINDOW_HANDLE for an unknown window; 0 if the
// window is destroyed or its thread ends before the message is processed.
// HWND_BROADCAST fails with ERROR_NOT_SUPPORTED.
LRESULT WINAPI SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
// Waits for the handles (as WaitForMultipleObjects with bWaitAll FALSE, up to
// MAXIMUM_WAIT_OBJECTS - 1) or for queue input of dwWakeMask. Input counts only
// if it arrived after the thread last looked at its queue (PeekMessageW,
// GetMessageW): already-queued input does not end the wait (the Windows rule).
// Pending sent messages are processed before it returns and while it waits;
// their arrival counts as input when dwWakeMask has QS_SENDMESSAGE. Returns
// WAIT_OBJECT_0+i / WAIT_ABANDONED_0+i for a handle, WAIT_OBJECT_0+nCount for
// input, WAIT_TIMEOUT or WAIT_FAILED.
// bWaitAll TRUE fails with ERROR_NOT_SUPPORTED; unknown wake-mask bits fail
// with ERROR_INVALID_FLAGS.
DWORD WINAPI MsgWaitForMultipleObjects(DWORD nCount, const HANDLE* pHandles, BOOL fWaitAll, DWORD dwMilliseconds,
                                       DWORD dwWakeMask);
// dwFlags: MWMO_INPUTAVAILABLE makes any input already in the queue count;
// MWMO_ALERTABLE is accepted (there are no APCs to wait for); MWMO_WAITALL
// fails with ERROR_NOT_SUPPORTED; other bits fail with ERROR_INVALID_PARAMETER.
DWORD WINAPI MsgWaitForMultipleObjectsEx(DWORD nCount, const HANDLE* pHandles, DWORD dwMilliseconds, DWORD dwWakeMask,
                                         DWORD dwFlags);
// Waits until new input arrives (same rule as MsgWaitForMultipleObjects with
// QS_ALLINPUT), processing sent messages. Returns TRUE.
BOOL WINAPI WaitMessage();

// ---- window classes and windows -------------------------------------------------------
// Registers a window class for this process. Class names compare without
// regard to ASCII case; hInstance is stored but not part of the class's
// identity. Returns the class atom, or 0 with ERROR_CLASS_ALREADY_EXISTS, or
// ERROR_INVALID_PARAMETER (null class, name or window procedure, negative
// extra sizes).
ATOM WINAPI RegisterClassW(const WNDCLASSW* lpWndClass);
// Removes a class (by name or MAKEINTATOM). FALSE with
// ERROR_CLASS_DOES_NOT_EXIST or ERROR_CLASS_HAS_WINDOWS.
BOOL WINAPI UnregisterClassW(LPCWSTR lpClassName, HINSTANCE hInstance);
// Creates a window owned by the calling thread. hWndParent must be
// HWND_MESSAGE or NULL (either way a message-only window with no visuals);
// anything else fails with ERROR_NOT_SUPPORTED. Position, size, menu and
// styles are stored only. Sends WM_NCCREATE then WM_CREATE with a
// CREATESTRUCTW (lpCreateParams = lpParam); FALSE from WM_NCCREATE or -1 from
// WM_CREATE destroys the window (the latter with WM_DESTROY and WM_NCDESTROY)
// and returns NULL. ERROR_CANNOT_FIND_WND_CLASS for an unknown class.
// System classes ("STATIC", "BUTTON" ...) do not exist here.
HWND WINAPI CreateWindowExW(DWORD dwExStyle, LPCWSTR lpClassName, LPCWSTR lpWindowName, DWORD dwStyle, int X, int Y,
                            int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance, LPVOID lpParam);
// Sends WM_DESTROY and WM_NCDESTROY, then destroys the window: its queued
// posted messages are removed and pending sent messages return 0. Only the
// owner thread may destroy it (else ERROR_ACCESS_DENIED).
// ERROR_INVALID_WINDOW_HANDLE for an unknown window.
BOOL WINAPI DestroyWindow(HWND hWnd);
// Default processing: WM_NCCREATE returns TRUE, WM_CLOSE destroys the window,
// WM_QUERYENDSESSION returns TRUE, everything else returns 0.
LRESULT WINAPI DefWindowProcW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
// Calls lpPrevWndFunc (0 if it is NULL).
LRESULT WINAPI CallWindowProcW(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
// TRUE while the window exists (including during WM_DESTROY/WM_NCDESTROY).
BOOL WINAPI IsWindow(HWND hWnd);
// Always TRUE for an existing window (every window here is Unicode).
BOOL WINAPI IsWindowUnicode(HWND hWnd);
// Window data: GWLP_USERDATA, GWLP_WNDPROC, GWLP_ID, GWLP_HINSTANCE, GWL_STYLE,
// GWL_EXSTYLE, GWLP_HWNDPARENT (always 0: there are no owners; setting it
// fails with ERROR_NOT_SUPPORTED), or a byte offset into the cbWndExtra area (8 bytes must fit).
// Set returns the previous value; as on Windows a previous value of 0 leaves
// the last error untouched, so callers clear it first to detect failure.
// 0 with ERROR_INVALID_INDEX for other indexes, ERROR_INVALID_WINDOW_HANDLE
// for an unknown window. Any thread of the process may use them.
LONG_PTR WINAPI GetWindowLongPtrW(HWND hWnd, int nIndex);
LONG_PTR WINAPI SetWindowLongPtrW(HWND hWnd, int nIndex, LONG_PTR dwNewLong);
// 500: the Windows default (there is no mouse).
UINT WINAPI GetDoubleClickTime();

// ---- keyboard layout ---------------------------------------------------------
// The US English layout only. VkKeyScanW: the virtual-key code of a
// character in the low byte, the shift state in the high byte (1 Shift);
// -1 for a character the layout has no key for.
SHORT WINAPI VkKeyScanW(WCHAR ch);
#define MAPVK_VK_TO_VSC 0
#define MAPVK_VSC_TO_VK 1
#define MAPVK_VK_TO_CHAR 2
// Only MAPVK_VK_TO_CHAR: the unshifted character of a virtual key (letters
// upper case), 0 when the key gives none. Other map types return 0.
UINT WINAPI MapVirtualKeyW(UINT uCode, UINT uMapType);
// There is no desktop to show a box on: writes "caption: text" (UTF-8, one
// line; a null caption reads "Error", as Windows) to stderr and returns IDOK at once, whatever the buttons (the caller
// sees OK even for a Yes/No box). hWnd is ignored. Never blocks.
int WINAPI MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType);
