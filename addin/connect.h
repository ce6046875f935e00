// CConnect: the one object Outlook creates from the add-in's class. It is the
// add-in connection object, the ribbon provider, the ribbon callback target
// and the owner of the three event sinks (two menu items, the main window).
//
// Its methods live with their features: connection and sinks in addin/,
// ribbon markup and images in ribbon/, the send commands in send/, the
// legacy menu, About box and help in menu/.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <ocidl.h>
#include <string_view>

#include "addin/host_interfaces.h"
#include "server/owners.h"
#include "server/typeinfo.h"
#include "KestrinSelect_h.h"

namespace ks {

// The three sink ids of the connection object.
enum SinkId : int {
    kAboutClickSink = 1050,
    kHelpClickSink = 1051,
    kExplorerSink = 1052,
};

// Marks a sink that is not connected.
constexpr DWORD kSinkNotConnected = 0xFEFEFEFE;

// Process-wide cached bitmap of the About box; deleted and forgotten at each
// connection and when the module unloads (menu/about_box.cpp).
extern HBITMAP g_aboutBitmap;

class CConnect;

// What one select command needs to undo its own branding, and only it.
struct BodyUndo {
    UniqueBstr read;        // the body as the command read it
    UniqueBstr handedBack;  // the body as the host handed it back after the write
    bool written = false;   // whether a branded body went to the host
    bool handedBackRead = false;
};

// A dispatch object that receives one host event interface for CConnect.
// It has no reference count of its own: a connected sink keeps CConnect alive.
class CEventSink final : public IDispatch {
public:
    CEventSink(CConnect& owner, SinkId id, const IID& eventIid) noexcept
        : m_owner(owner), m_id(id), m_eventIid(eventIid) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* excepInfo, UINT* argErr) override;

    // Advises the source's connection point for this sink's event interface.
    HRESULT Connect(IUnknown* source) noexcept;
    // Unadvises, ignoring the outcome; the sink is then not connected.
    void Disconnect(IUnknown* source) noexcept;

private:
    CConnect& m_owner;
    SinkId m_id;
    const IID& m_eventIid;
    DWORD m_cookie = kSinkNotConnected;
};

// IDispatch for one dual interface of CConnect, answered from that
// interface's type information.
template <typename Interface, CTypeInfoHolder& (*Holder)()>
class DualInterface : public Interface {
public:
    STDMETHODIMP GetTypeInfoCount(UINT* count) override { return Holder().GetTypeInfoCount(count); }
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override {
        return Holder().GetTypeInfo(index, lcid, info);
    }
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override {
        return Holder().GetIDsOfNames(iid, names, count, lcid, ids);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* excepInfo, UINT* argErr) override {
        return Holder().Invoke(static_cast<Interface*>(this), id, iid, lcid, flags, params, result, excepInfo,
                               argErr);
    }
};

CTypeInfoHolder& ExtensibilityTypeInfo() noexcept;
CTypeInfoHolder& RibbonExtensibilityTypeInfo() noexcept;
CTypeInfoHolder& RibbonCallbackTypeInfo() noexcept;

class CConnect final : public DualInterface<_IDTExtensibility2, ExtensibilityTypeInfo>,
                       public DualInterface<IRibbonExtensibility, RibbonExtensibilityTypeInfo>,
                       public DualInterface<IRibbonCallback, RibbonCallbackTypeInfo> {
public:
    // The class object's creation step.
    static HRESULT CreateInstance(REFIID iid, void** object) noexcept;

    // IUnknown, shared by the three interfaces and the sinks.
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // _IDTExtensibility2 (addin/connect.cpp)
    STDMETHODIMP OnConnection(IDispatch* application, long connectMode, IDispatch* addInInstance,
                              SAFEARRAY** custom) override;
    STDMETHODIMP OnDisconnection(long removeMode, SAFEARRAY** custom) override;
    STDMETHODIMP OnAddInsUpdate(SAFEARRAY** custom) override;
    STDMETHODIMP OnStartupComplete(SAFEARRAY** custom) override;
    STDMETHODIMP OnBeginShutdown(SAFEARRAY** custom) override;

    // IRibbonExtensibility (ribbon/)
    STDMETHODIMP GetCustomUI(BSTR ribbonId, BSTR* markup) override;

    // IRibbonCallback (send/ and ribbon/)
    STDMETHODIMP onClickSelect(IDispatch* ribbonControl) override;
    STDMETHODIMP onClickUnselect(IDispatch* ribbonControl) override;
    STDMETHODIMP getImage(BSTR imageName, IPictureDisp** ppDispPicture) override;

    // The event handlers the sinks call (menu/).
    void OnAboutClick(IDispatch* control, VARIANT_BOOL* cancelDefault) noexcept;
    void OnHelpClick(IDispatch* control, VARIANT_BOOL* cancelDefault) noexcept;
    void OnExplorerClose() noexcept;

private:
    friend class CEventSink;

    CConnect() noexcept;
    ~CConnect();

    // Legacy menu (menu/legacy_menu.cpp)
    HRESULT RemoveLegacyMenu() noexcept;
    HRESULT AddLegacyMenu() noexcept;

    // Send commands (send/)
    bool LocateCurrentMailItem(ComRef<_MailItem>& mailItem) noexcept;
    // On false, `outOfMemory` tells a body that could not be made from a
    // write the host refused.
    bool BrandMessageBody(_MailItem* mailItem, BodyUndo& undo, bool& outOfMemory) noexcept;
    // Takes out the footers that encrypted sends the host refused left. Fails,
    // after its box, when the message may still claim to be secured.
    bool UnbrandMessageBody(_MailItem* mailItem, bool encryptionRequested, bool& outOfMemory) noexcept;
    // Its two cases; they may throw for lack of memory.
    bool TakeOutClaims(_MailItem* mailItem, std::wstring_view body, bool& outOfMemory);
    bool TakeOutExactFooters(_MailItem* mailItem, std::wstring_view body, bool& outOfMemory);
    // Puts back the body that BrandMessageBody read, unless something else
    // changed the message since.
    void RestoreMessageBody(_MailItem* mailItem, const BodyUndo& undo) noexcept;
    // Reads, once, what the host hands back of the branded body. Called
    // before anything that may let the sender type (a box, the host's own
    // Send) and only on the way to a restore, so that a send that goes
    // through costs no read.
    void ReadHandedBackBody(_MailItem* mailItem, BodyUndo& undo) noexcept;
    bool SetEncryptionHeader(bool select, _MailItem* mailItem) noexcept;
    // Whether the message carries "x-rdz-select"; false after its box when
    // that cannot be read.
    bool ReadEncryptionRequest(_MailItem* mailItem, bool& requested) noexcept;
    // With `undo`, a branded body is read back before the host may let the
    // sender type.
    HRESULT SendCurrentMessage(_MailItem* mailItem, BodyUndo* undo = nullptr) noexcept;
    // SendCurrentMessage, with the send-failure box when it fails.
    HRESULT SendOrWarn(_MailItem* mailItem, BodyUndo* undo = nullptr) noexcept;

    // Connects sinks 1050, 1051 and 1052 to their sources (addin/connect.cpp).
    HRESULT ConnectSinks() noexcept;

    IUnknown* Identity() noexcept { return static_cast<IRibbonCallback*>(this); }

    ULONG m_ref = 0;  // apartment-threaded: a plain counter

    ComRef<IDispatch> m_application;
    ComRef<IDispatch> m_addInInstance;
    ComRef<CommandBarControl> m_aboutButton;
    ComRef<CommandBarControl> m_helpButton;
    ComRef<_Explorer> m_explorer;

    CEventSink m_aboutSink;
    CEventSink m_helpSink;
    CEventSink m_explorerSink;
};

// The shared error box: modal, no owner, title "KestrinSelect Error".
void ShowErrorBox(const char* text) noexcept;

}  // namespace ks
