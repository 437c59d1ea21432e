// Message maps: each window class lists the messages it handles in a static table, chained to its
// base class's table. A handler is stored as a pointer to a member of CCmdTarget together with a
// signature tag that says how to call it; the macros check each handler's real signature at compile
// time before the pointer is converted.
#pragma once

#include <windows.h>

class CCmdTarget;
typedef void (CCmdTarget::*AFX_PMSG)();

// How the dispatcher calls a handler.
enum AfxSig {
  AfxSig_end = 0,
  AfxSig_vv,       // void ()                          commands, notifications, WM_PAINT
  AfxSig_vwl,      // void (UINT, LPARAM)              WM_SYSCOMMAND
  AfxSig_vt,       // void (UINT_PTR)                  WM_TIMER
  AfxSig_hv,       // HCURSOR ()                       WM_QUERYDRAGICON
  AfxSig_ctlcolor, // HBRUSH (CDC*, CWnd*, UINT)       WM_CTLCOLOR*
  AfxSig_vv_destroy, // void ()                        WM_DESTROY
};

struct AFX_MSGMAP_ENTRY {
  UINT nMessage;  // WM_xxx; WM_COMMAND for commands and notifications
  UINT nCode;     // notification code for WM_COMMAND (0 for a menu/accelerator command)
  UINT nID;       // control or command id (0 for window messages)
  UINT nLastID;   // last id of a range (equal to nID otherwise)
  UINT_PTR nSig;  // AfxSig
  AFX_PMSG pfn;
};

struct AFX_MSGMAP {
  const AFX_MSGMAP* (*pfnGetBaseMap)();
  const AFX_MSGMAP_ENTRY* lpEntries;
};

#define DECLARE_MESSAGE_MAP()                   \
 protected:                                     \
  static const AFX_MSGMAP* GetThisMessageMap(); \
  const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                           \
  const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); }     \
  const AFX_MSGMAP* theClass::GetThisMessageMap() {                                      \
    typedef theClass ThisClass [[maybe_unused]];                                         \
    typedef baseClass TheBaseClass;                                                      \
    static const AFX_MSGMAP_ENTRY _messageEntries[] = {
#define END_MESSAGE_MAP()                                                            \
  {0, 0, 0, 0, AfxSig_end, nullptr}                                                  \
  }                                                                                  \
  ;                                                                                  \
  static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, _messageEntries}; \
  return &messageMap;                                                                \
  }

// The conversion: a member of the derived class, checked against the expected signature on a
// framework base, then stored type-erased. The dispatcher converts back with the same signature.
template <class Base, class Sig>
using afx_member_t = Sig Base::*;
#define AFX_MAP_PTR(Base, Sig, fn) reinterpret_cast<AFX_PMSG>(static_cast<afx_member_t<Base, Sig>>(fn))

#define ON_COMMAND(id, fn) \
  {WM_COMMAND, 0, (UINT)(id), (UINT)(id), AfxSig_vv, AFX_MAP_PTR(CCmdTarget, void(), fn)},
#define ON_CONTROL(code, id, fn) \
  {WM_COMMAND, (UINT)(code), (UINT)(id), (UINT)(id), AfxSig_vv, AFX_MAP_PTR(CCmdTarget, void(), fn)},
#define ON_BN_CLICKED(id, fn) ON_CONTROL(BN_CLICKED, id, fn)
#define ON_CBN_SELCHANGE(id, fn) ON_CONTROL(CBN_SELCHANGE, id, fn)
#define ON_WM_SYSCOMMAND() \
  {WM_SYSCOMMAND, 0, 0, 0, AfxSig_vwl, AFX_MAP_PTR(CWnd, void(UINT, LPARAM), &ThisClass::OnSysCommand)},
#define ON_WM_PAINT() {WM_PAINT, 0, 0, 0, AfxSig_vv, AFX_MAP_PTR(CWnd, void(), &ThisClass::OnPaint)},
#define ON_WM_QUERYDRAGICON() \
  {WM_QUERYDRAGICON, 0, 0, 0, AfxSig_hv, AFX_MAP_PTR(CWnd, HCURSOR(), &ThisClass::OnQueryDragIcon)},
#define ON_WM_TIMER() {WM_TIMER, 0, 0, 0, AfxSig_vt, AFX_MAP_PTR(CWnd, void(UINT_PTR), &ThisClass::OnTimer)},
#define ON_WM_CTLCOLOR()                               \
  {WM_CTLCOLOR, 0, 0, 0, AfxSig_ctlcolor,              \
   AFX_MAP_PTR(CWnd, HBRUSH(CDC*, CWnd*, UINT), &ThisClass::OnCtlColor)},
#define ON_WM_DESTROY() \
  {WM_DESTROY, 0, 0, 0, AfxSig_vv_destroy, AFX_MAP_PTR(CWnd, void(), &ThisClass::OnDestroy)},

#ifndef WM_CTLCOLOR
#define WM_CTLCOLOR 0x0019
#endif
#ifndef CTLCOLOR_STATIC
#define CTLCOLOR_MSGBOX 0
#define CTLCOLOR_EDIT 1
#define CTLCOLOR_LISTBOX 2
#define CTLCOLOR_BTN 3
#define CTLCOLOR_DLG 4
#define CTLCOLOR_SCROLLBAR 5
#define CTLCOLOR_STATIC 6
#endif
