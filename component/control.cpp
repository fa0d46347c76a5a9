// The Vorlantix control: an object that scripts drive through IDispatch and that tells its
// host, through IObjectSafety, that it is safe to script and to initialise.
//
// Scripts see two members:
//   Version      read-only property, the library's version text (VORLANTIX_VERSION)
//   Echo(value)  method, answers its argument converted to a string
// There is no type library: the members are few and fixed, so GetIDsOfNames and Invoke are
// written out by hand.
#include <windows.h>
#include <ole2.h>
#include <objsafe.h>

#include "server.h"

namespace vorlantix {
namespace {

constexpr wchar_t kVersion[] = L"" VORLANTIX_VERSION;

constexpr DISPID kDispidVersion = 1;
constexpr DISPID kDispidEcho = 2;

struct Member {
  const wchar_t* name;
  DISPID id;
};

constexpr Member kMembers[] = {
    {L"Version", kDispidVersion},
    {L"Echo", kDispidEcho},
};

// Member names are matched without regard to case, as IDispatch clients expect. They are ASCII,
// so the fold is done here rather than by the user's locale, which may fold 'I' differently.
bool SameNameIgnoringCase(const wchar_t* a, const wchar_t* b) {
  auto fold = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? wchar_t(c - L'A' + L'a') : c; };
  for (;; ++a, ++b) {
    if (fold(*a) != fold(*b)) return false;
    if (*a == 0) return true;
  }
}

constexpr DWORD kSafetyOptions = INTERFACESAFE_FOR_UNTRUSTED_CALLER |
                                 INTERFACESAFE_FOR_UNTRUSTED_DATA;

class Control final : public IDispatch, public IObjectSafety {
 public:
  // Allocation failure answers null, so CreateControl can report E_OUTOFMEMORY without exceptions.
  static void* operator new(size_t size) noexcept { return HeapAlloc(GetProcessHeap(), 0, size); }
  static void operator delete(void* memory) { HeapFree(GetProcessHeap(), 0, memory); }

  Control() { LockModule(); }
  ~Control() { UnlockModule(); }
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  // IUnknown

  HRESULT WINAPI QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
      *out = static_cast<IDispatch*>(this);
    } else if (IsEqualIID(riid, IID_IObjectSafety)) {
      *out = static_cast<IObjectSafety*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }

  ULONG WINAPI AddRef() override { return InterlockedIncrement(&references_); }

  ULONG WINAPI Release() override {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return left;
  }

  // IDispatch

  HRESULT WINAPI GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }

  HRESULT WINAPI GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (!info) return E_POINTER;
    *info = nullptr;
    return DISP_E_BADINDEX;
  }

  HRESULT WINAPI GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                               DISPID* ids) override {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (!names || !ids || count == 0) return E_INVALIDARG;
    // Names after the first would name parameters, and no member takes named parameters.
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    if (names[0]) {
      for (const Member& member : kMembers) {
        if (SameNameIgnoringCase(names[0], member.name)) ids[0] = member.id;
      }
    }
    return ids[0] != DISPID_UNKNOWN && count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
  }

  HRESULT WINAPI Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO*, UINT* bad_argument) override {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (!params) return E_INVALIDARG;
    switch (id) {
      case kDispidVersion:
        return GetVersion(flags, *params, result);
      case kDispidEcho:
        return Echo(flags, *params, result, bad_argument);
    }
    return DISP_E_MEMBERNOTFOUND;
  }

  // IObjectSafety: every interface the control answers is safe both ways. The host's choice is
  // kept once for the whole object, since all interfaces lead to the same two members.

  HRESULT WINAPI GetInterfaceSafetyOptions(REFIID riid, DWORD* supported,
                                           DWORD* enabled) override {
    if (!supported || !enabled) return E_POINTER;
    *supported = 0;
    *enabled = 0;
    if (!Answers(riid)) return E_NOINTERFACE;
    *supported = kSafetyOptions;
    *enabled = safety_options_;
    return S_OK;
  }

  HRESULT WINAPI SetInterfaceSafetyOptions(REFIID riid, DWORD mask, DWORD options) override {
    if (!Answers(riid)) return E_NOINTERFACE;
    if (mask & ~kSafetyOptions) return E_FAIL;
    safety_options_ = (safety_options_ & ~mask) | (options & mask);
    return S_OK;
  }

 private:
  bool Answers(REFIID riid) {
    IUnknown* probe = nullptr;
    if (FAILED(QueryInterface(riid, reinterpret_cast<void**>(&probe)))) return false;
    probe->Release();
    return true;
  }

  static HRESULT GetVersion(WORD flags, const DISPPARAMS& params, VARIANT* result) {
    // Read-only: a put finds no member, as it would through a type library.
    if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
    if (params.cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    if (params.cArgs != 0) return DISP_E_BADPARAMCOUNT;
    if (!result) return S_OK;
    BSTR text = SysAllocString(kVersion);
    if (!text) return E_OUTOFMEMORY;
    V_VT(result) = VT_BSTR;
    V_BSTR(result) = text;
    return S_OK;
  }

  static HRESULT Echo(WORD flags, const DISPPARAMS& params, VARIANT* result,
                      UINT* bad_argument) {
    if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    if (params.cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    if (params.cArgs != 1) return DISP_E_BADPARAMCOUNT;
    VARIANT text;
    VariantInit(&text);
    // VariantChangeType also reads through a by-reference argument, as VBScript passes them.
    if (FAILED(VariantChangeType(&text, &params.rgvarg[0], 0, VT_BSTR))) {
      if (bad_argument) *bad_argument = 0;
      return DISP_E_TYPEMISMATCH;
    }
    if (result) {
      *result = text;
    } else {
      VariantClear(&text);
    }
    return S_OK;
  }

  LONG references_ = 1;
  DWORD safety_options_ = 0;
};

}  // namespace

HRESULT CreateControl(REFIID riid, void** out) {
  Control* control = new Control;
  if (!control) return E_OUTOFMEMORY;
  // The control starts with one reference, ours; the caller's comes from QueryInterface.
  const HRESULT result = control->QueryInterface(riid, out);
  control->Release();
  return result;
}

}  // namespace vorlantix
