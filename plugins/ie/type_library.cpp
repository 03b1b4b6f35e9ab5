// The type library VexloIePluginLib, kept as the module's "TYPELIB" resource 1:
// IVexloDisp, IVexloPlugin, the coclasses VexloPlugin and VexloStatusCallback,
// and IVexloStatusCallback, in that order.
#include "plugins/ie/type_library.h"

#include <iterator>

#include "plugins/ie/vexlo_interfaces.h"

namespace vexlo {

namespace {

constexpr USHORT kIn = PARAMFLAG_FIN;
constexpr USHORT kOptional = PARAMFLAG_FIN | PARAMFLAG_FOPT;
constexpr USHORT kRetval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
constexpr VARTYPE kVariantRef = VT_VARIANT | VT_BYREF;

constexpr W32_PARAM_DATA kVersionParams[] = {{u"pbstrVersion", VT_BSTR | VT_BYREF, kRetval}};
constexpr W32_PARAM_DATA kDoScanParams[] = {
    {u"pbstrApiKey", VT_BSTR, kIn},
    {u"nMessageId", VT_I4, kIn},
    {u"nType", VT_I4, kIn},
    {u"pStatusCallback", kVariantRef, kOptional},
    {u"varJobId", kVariantRef, kRetval},
};
constexpr W32_PARAM_DATA kSelectScannerParams[] = {
    {u"nInterface", VT_I4, kIn},
    {u"pVarStatusCallback", kVariantRef, kIn},
};
constexpr W32_PARAM_DATA kDoPrintParams[] = {
    {u"pbstrApiKey", VT_BSTR, kIn},
    {u"pbstrPrintCommand", VT_BSTR, kIn},
    {u"pStatusCallback", kVariantRef, kOptional},
};
constexpr W32_PARAM_DATA kSetScanModeParams[] = {{u"nScanMode", VT_I4, kIn}};
constexpr W32_PARAM_DATA kStopScanParams[] = {{u"nJobId", VT_I4, kIn}};
constexpr W32_PARAM_DATA kLoadDesktopParams[] = {{u"nJobId", kVariantRef, kRetval}};
constexpr W32_PARAM_DATA kGetScanModeParams[] = {{u"nScanMode", kVariantRef, kRetval}};
constexpr W32_PARAM_DATA kGetSelectedScannerParams[] = {
    {u"nScanMode", VT_I4, kIn},
    {u"strScanner", kVariantRef, kRetval},
};
constexpr W32_PARAM_DATA kStatusParams[] = {{u"pvarResult", kVariantRef, kRetval}};

#define VEXLO_FUNC(id, name, kind, params, member)                    \
    W32_FUNC_DATA {                                                   \
        id, name, kind, params, std::size(params), W32_MEMBER(member) \
    }

const W32_FUNC_DATA kDispFuncs[] = {
    VEXLO_FUNC(kDispidVersion, u"version", INVOKE_PROPERTYGET, kVersionParams,
               &IVexloDisp::get_version),
    VEXLO_FUNC(kDispidDoScan, u"doScan", INVOKE_FUNC, kDoScanParams, &IVexloDisp::doScan),
    VEXLO_FUNC(kDispidSelectScanner, u"selectScanner", INVOKE_FUNC, kSelectScannerParams,
               &IVexloDisp::selectScanner),
    VEXLO_FUNC(kDispidDoPrint, u"doPrint", INVOKE_FUNC, kDoPrintParams, &IVexloDisp::doPrint),
    VEXLO_FUNC(kDispidSetScanMode, u"setScanMode", INVOKE_FUNC, kSetScanModeParams,
               &IVexloDisp::setScanMode),
    VEXLO_FUNC(kDispidStopScan, u"stopScan", INVOKE_FUNC, kStopScanParams, &IVexloDisp::stopScan),
    VEXLO_FUNC(kDispidLoadDesktop, u"loadDesktop", INVOKE_FUNC, kLoadDesktopParams,
               &IVexloDisp::loadDesktop),
    VEXLO_FUNC(kDispidGetScanMode, u"getScanMode", INVOKE_FUNC, kGetScanModeParams,
               &IVexloDisp::getScanMode),
    VEXLO_FUNC(kDispidGetSelectedScanner, u"getSelectedScanner", INVOKE_FUNC,
               kGetSelectedScannerParams, &IVexloDisp::getSelectedScanner),
};

const W32_FUNC_DATA kStatusFuncs[] = {
    VEXLO_FUNC(kDispidState, u"state", INVOKE_PROPERTYGET, kStatusParams,
               &IVexloStatusCallback::get_state),
    VEXLO_FUNC(kDispidInfo, u"info", INVOKE_PROPERTYGET, kStatusParams,
               &IVexloStatusCallback::get_info),
    VEXLO_FUNC(kDispidDescription, u"description", INVOKE_PROPERTYGET, kStatusParams,
               &IVexloStatusCallback::get_description),
};

#undef VEXLO_FUNC

constexpr W32_IMPL_DATA kPluginImpls[] = {{IID_IVexloPlugin, IMPLTYPEFLAG_FDEFAULT}};
constexpr W32_IMPL_DATA kStatusImpls[] = {{IID_IVexloStatusCallback, IMPLTYPEFLAG_FDEFAULT}};

constexpr WORD kDual = TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION;

const W32_TYPE_DATA kTypes[] = {
    {TKIND_DISPATCH, IID_IVexloDisp, u"IVexloDisp", u"IVexloDisp Interface", kDual, kDispFuncs,
     std::size(kDispFuncs), nullptr, 0},
    {TKIND_DISPATCH, IID_IVexloPlugin, u"IVexloPlugin", u"IVexloPlugin Interface", kDual, nullptr,
     0, nullptr, 0},
    {TKIND_COCLASS, CLSID_VexloPlugin, u"VexloPlugin", u"VexloBHO Class", TYPEFLAG_FCANCREATE,
     nullptr, 0, kPluginImpls, std::size(kPluginImpls)},
    {TKIND_COCLASS, CLSID_VexloStatusCallback, u"VexloStatusCallback", u"VexloStatusCallback Class",
     TYPEFLAG_FCANCREATE, nullptr, 0, kStatusImpls, std::size(kStatusImpls)},
    {TKIND_DISPATCH, IID_IVexloStatusCallback, u"IVexloStatusCallback",
     u"IVexloStatusCallback Interface", kDual, kStatusFuncs, std::size(kStatusFuncs), nullptr, 0},
};

}  // namespace

const W32_TYPELIB_DATA kVexloIePluginLib = {
    W32_TYPELIB_MAGIC,
    W32_TYPELIB_FORMAT,
    LIBID_VexloIePluginLib,
    u"VexloIePluginLib",
    u"VexloIePlugin 1.0 Type Library",
    kTypeLibMajor,
    kTypeLibMinor,
    LOCALE_NEUTRAL,
    0,
    kTypes,
    std::size(kTypes),
};

}  // namespace vexlo

W32_TYPELIB_RESOURCE(vexlo::kVexloIePluginLib)
