// The skin engine's private window messages. The signature value in LParam marks the messages
// that share their number with a notification of the class library: SKM_SKINNED has the number
// of the reflected WM_NOTIFY (CN_NOTIFY), whose LParam is an NMHDR pointer and never 0x41A2.
#pragma once

#include <windows.h>

namespace kivo {

constexpr LPARAM kSkinSignature = 0x41A2;

constexpr UINT SKM_RECOLOR = 0x3401;        // to a skinned form: apply the skin colours again
constexpr UINT SKM_PAINTFRAME = 0x3502;     // repaint the skinned frame
constexpr UINT SKM_ACTIVATE = 0x3503;       // posted after attachment (LParam 1000): the first pass
constexpr UINT SKM_ENABLE = 0x3506;         // to a skinned control: WParam 0 switches its skinner off
constexpr UINT SKM_BUTTONACTION = 0x3514;   // a caption button with an action of its own; WParam the action
constexpr UINT SKM_BUTTONVISIBLE = 0x3515;  // is the caption button of code WParam (action LParam) shown?
constexpr UINT SKM_REDRAWFRAME = 0x3516;    // to the MDI client: redraw the MDI frame
constexpr UINT SKM_RESKINSCROLL = 0x3517;   // WParam a control's window: make its scroll-bar skinner anew
constexpr UINT SKM_OPENMENU = 0x3518;       // LParam a screen point: open the menu-bar item under it
constexpr UINT SKM_ISSKINNED = 0x3523;      // a skinned window or control answers 1
constexpr UINT SKM_PRINTCONTROL = 0xBC4A;   // WParam a DC, LParam the signature
constexpr UINT SKM_PRINT = 0xBC4B;          // WParam a DC, LParam the signature: paint the frame into it
constexpr UINT SKM_QUERY = 0xBC4D;          // answers the signature when LParam is the signature
constexpr UINT SKM_SKINNED = 0xBC4E;        // WParam 0, LParam the signature: the window is skinned

// The message carries the skin signature (a skin message, not a library notification).
inline bool IsSkinSignal(LPARAM l) { return l == kSkinSignature; }
// SKM_SKINNED: the number and the signature.
inline bool IsSkinnedNotice(UINT msg, LPARAM l) { return msg == SKM_SKINNED && IsSkinSignal(l); }
// A reflected WM_NOTIFY (its LParam an NMHDR), never the skin's notice of the same number.
inline bool IsReflectedNotify(UINT msg, LPARAM l) { return msg == SKM_SKINNED && !IsSkinSignal(l) && l != 0; }

}  // namespace kivo
