// The browser side that an Internet Explorer add-on and its host share: the
// browser, its document and window, and the browser's events. Each interface
// declares the members the system uses.
#pragma once

#include "w32/oleauto.h"

struct IHTMLWindow2;

struct IWebBrowser2 : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Document(IDispatch** ppDisp) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_LocationURL(BSTR* pbstrLocationURL) = 0;
};

struct IHTMLDocument2 : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_parentWindow(IHTMLWindow2** p) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_URL(BSTR* p) = 0;
};

struct IHTMLWindow2 : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_document(IHTMLDocument2** p) = 0;
};

inline constexpr IID IID_IWebBrowser2 = {
    0xD30C1661, 0xCDAF, 0x11D0, {0x8A, 0x3E, 0x00, 0xC0, 0x4F, 0xC9, 0xE2, 0x6E}};
inline constexpr IID IID_IWebBrowserApp = {
    0x0002DF05, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IHTMLDocument2 = {
    0x332C4425, 0x26CB, 0x11D0, {0xB4, 0x83, 0x00, 0xC0, 0x4F, 0xD9, 0x01, 0x19}};
// Also the service id under which a browser's site offers the page's window.
inline constexpr IID IID_IHTMLWindow2 = {
    0x332C4427, 0x26CB, 0x11D0, {0xB4, 0x83, 0x00, 0xC0, 0x4F, 0xD9, 0x01, 0x19}};
// The service of the top-level browser.
inline constexpr GUID SID_SWebBrowserApp = IID_IWebBrowserApp;
// The browser's event interface (a dispatch interface).
inline constexpr IID DIID_DWebBrowserEvents2 = {
    0x34A715A0, 0x6587, 0x11D0, {0x92, 0x4A, 0x00, 0x20, 0xAF, 0xC7, 0xAC, 0x4D}};
W32_INTERFACE_ID(IWebBrowser2, IID_IWebBrowser2);
W32_INTERFACE_ID(IHTMLDocument2, IID_IHTMLDocument2);
W32_INTERFACE_ID(IHTMLWindow2, IID_IHTMLWindow2);

// DISPIDs of the browser's events.
#define DISPID_STATUSTEXTCHANGE 102
#define DISPID_DOWNLOADCOMPLETE 104
#define DISPID_COMMANDSTATECHANGE 105
#define DISPID_DOWNLOADBEGIN 106
#define DISPID_PROGRESSCHANGE 108
#define DISPID_TITLECHANGE 113
#define DISPID_BEFORENAVIGATE2 250
#define DISPID_NAVIGATECOMPLETE2 252
#define DISPID_ONQUIT 253
#define DISPID_DOCUMENTCOMPLETE 259
