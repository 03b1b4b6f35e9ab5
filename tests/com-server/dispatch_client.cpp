// A client process of the session: creates the dispatch server by its CLSID
// and calls it through IDispatch by name, as a script host would.
//   dispatch_client <answer file>
// Writes "<name> <twice 21>", or "error 0x%08X" with the failing HRESULT.
#include <windows.h>

#include <cstdio>
#include <string>

#include "dispatch_server.h"

namespace {

HRESULT CallByName(IDispatch* object, const char16_t* name, WORD flags, VARIANT* argument,
                   VARIANT* result) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) {
        return hr;
    }
    DISPPARAMS params = {argument, nullptr, argument != nullptr ? 1u : 0u, 0};
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr,
                          nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: dispatch_client <answer file>\n");
        return 2;
    }
    CoInitialize(nullptr);
    IDispatch* object = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_DispatchServer, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IDispatch, reinterpret_cast<void**>(&object));
    VARIANT name;
    VARIANT doubled;
    VariantInit(&name);
    VariantInit(&doubled);
    if (SUCCEEDED(hr)) {
        hr = CallByName(object, u"NAME", DISPATCH_PROPERTYGET, nullptr, &name);
    }
    if (SUCCEEDED(hr)) {
        VARIANT argument;
        VariantInit(&argument);
        argument.vt = VT_BSTR;  // a script's string, converted to the declared long
        argument.bstrVal = SysAllocString(u"21");
        hr = CallByName(object, u"Twice", DISPATCH_METHOD | DISPATCH_PROPERTYGET, &argument,
                        &doubled);
        VariantClear(&argument);
    }
    std::string answer(64, '\0');
    if (SUCCEEDED(hr) && name.vt == VT_BSTR && doubled.vt == VT_I4) {
        std::string text;
        for (UINT i = 0; i < SysStringLen(name.bstrVal); ++i) {
            text += static_cast<char>(name.bstrVal[i]);
        }
        answer = text + " " + std::to_string(doubled.lVal);
    } else {
        answer.resize(static_cast<size_t>(
            snprintf(answer.data(), answer.size(), "error 0x%08X", static_cast<unsigned>(hr))));
    }
    VariantClear(&name);
    VariantClear(&doubled);
    if (object != nullptr) {
        object->Release();
    }
    CoUninitialize();
    FILE* file = fopen(argv[1], "w");
    if (file != nullptr) {
        fputs(answer.c_str(), file);
        fclose(file);
    }
    return SUCCEEDED(hr) ? 0 : 1;
}
