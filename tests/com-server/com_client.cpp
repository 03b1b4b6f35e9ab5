// A client process of the session: creates a class by its CLSID and calls
// it through IDispatch by name, as a script host does.
//   com_client {clsid} <answer file>
// Writes "<Greet("Vexlo")>|<Add(2, 40)>" to the file, or "error 0x%08X" with
// the first failing HRESULT; exits 0 only when both calls succeeded.
#include <windows.h>

#include <cstdio>
#include <string>

#include "framework/com_ptr.h"
#include "framework/text.h"

namespace {

HRESULT CallByName(IDispatch* object, const char16_t* name, VARIANTARG* args, UINT count,
                   VARIANT* result) {
    DISPID id = 0;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) {
        return hr;
    }
    DISPPARAMS params = {args, nullptr, count, 0};
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result,
                          nullptr, nullptr);
}

HRESULT Run(const char* clsidText, std::string& answer) {
    CLSID clsid;
    HRESULT hr = CLSIDFromString(fw::ToWide(CP_UTF8, clsidText).c_str(), &clsid);
    if (FAILED(hr)) {
        return hr;
    }
    fw::CComPtr<IDispatch> object;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                          reinterpret_cast<void**>(&object));
    if (FAILED(hr)) {
        return hr;
    }
    // Names in another case than declared, as scripts write them.
    VARIANT greeting;
    VariantInit(&greeting);
    VARIANTARG name;
    name.vt = VT_BSTR;
    name.bstrVal = SysAllocString(u"Vexlo");
    hr = CallByName(object, u"GREET", &name, 1, &greeting);
    VariantClear(&name);
    if (FAILED(hr)) {
        return hr;
    }
    if (greeting.vt == VT_BSTR) {
        answer = fw::FromWide(CP_UTF8, greeting.bstrVal);
    }
    VariantClear(&greeting);
    // Arguments travel in reverse order: Add(2, 40).
    VARIANTARG numbers[2];
    numbers[0].vt = VT_I4;
    numbers[0].lVal = 40;
    numbers[1].vt = VT_I4;
    numbers[1].lVal = 2;
    VARIANT sum;
    VariantInit(&sum);
    hr = CallByName(object, u"add", numbers, 2, &sum);
    if (FAILED(hr)) {
        return hr;
    }
    answer += "|" + std::to_string(sum.vt == VT_I4 ? sum.lVal : -1);
    return S_OK;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: com_client {clsid} <answer file>\n");
        return 2;
    }
    CoInitialize(nullptr);
    std::string answer;
    HRESULT hr = Run(argv[1], answer);
    CoUninitialize();
    if (FAILED(hr)) {
        char text[32];
        snprintf(text, sizeof text, "error 0x%08X", static_cast<unsigned>(hr));
        answer = text;
    }
    FILE* file = fopen(argv[2], "w");
    if (file != nullptr) {
        fputs(answer.c_str(), file);
        fclose(file);
    }
    return SUCCEEDED(hr) ? 0 : 1;
}
