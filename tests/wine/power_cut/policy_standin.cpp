// Test-only stand-in of the local group policy object, which Wine does not register: registered as
// its class in a test prefix, it lets the installer switch the restore-point setting off and the
// engine read and put it back, as on Windows. The machine part is a registry key of the 64-bit view
// (kMachineKey), so that 32- and 64-bit programs share it; Save writes nothing more, the key is the
// policy's whole store. Never shipped.
#include <windows.h>
#include <prsht.h>
#include <gpedit.h>

#include <new>

#include "policy_standin.h"

namespace {

const GUID kPolicyClass = {0xEA502722, 0xA23D, 0x11D1, {0xA7, 0xD3, 0x00, 0x00, 0xF8, 0x75, 0x71, 0xE3}};
const GUID kPolicyInterface = {0xEA502723, 0xA23D, 0x11D1, {0xA7, 0xD3, 0x00, 0x00, 0xF8, 0x75, 0x71, 0xE3}};

LONG objects = 0;

class local_policy final : public IGroupPolicyObject {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, kPolicyInterface)) {
      *out = static_cast<IGroupPolicyObject*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }
  STDMETHODIMP_(ULONG) Release() override {
    LONG left = ::InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }
  STDMETHODIMP OpenLocalMachineGPO(DWORD) override {
    opened_ = true;
    return S_OK;
  }
  STDMETHODIMP GetRegistryKey(DWORD section, HKEY* key) override {
    if (key == nullptr) return E_POINTER;
    *key = nullptr;
    if (!opened_ || section != GPO_SECTION_MACHINE) return E_INVALIDARG;
    LONG r = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kPolicyStandinMachineKey, 0, nullptr, 0,
                               KEY_READ | KEY_WRITE | KEY_WOW64_64KEY, nullptr, key, nullptr);
    return HRESULT_FROM_WIN32(r);
  }
  STDMETHODIMP Save(BOOL, BOOL, GUID*, GUID*) override {
    if (!opened_) return E_UNEXPECTED;
    // The policy's file stands for what survives a restart: the key, flushed.
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPolicyStandinMachineKey, 0, KEY_READ | KEY_WOW64_64KEY, &key) ==
        ERROR_SUCCESS) {
      ::RegFlushKey(key);
      ::RegCloseKey(key);
    }
    return S_OK;
  }
  STDMETHODIMP New(LPOLESTR, LPOLESTR, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP OpenDSGPO(LPOLESTR, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP OpenRemoteMachineGPO(LPOLESTR, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP Delete() override { return E_NOTIMPL; }
  STDMETHODIMP GetName(LPOLESTR, int) override { return E_NOTIMPL; }
  STDMETHODIMP GetDisplayName(LPOLESTR, int) override { return E_NOTIMPL; }
  STDMETHODIMP SetDisplayName(LPOLESTR) override { return E_NOTIMPL; }
  STDMETHODIMP GetPath(LPOLESTR, int) override { return E_NOTIMPL; }
  STDMETHODIMP GetDSPath(DWORD, LPOLESTR, int) override { return E_NOTIMPL; }
  STDMETHODIMP GetFileSysPath(DWORD, LPOLESTR, int) override { return E_NOTIMPL; }
  STDMETHODIMP GetOptions(DWORD*) override { return E_NOTIMPL; }
  STDMETHODIMP SetOptions(DWORD, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP GetType(GROUP_POLICY_OBJECT_TYPE*) override { return E_NOTIMPL; }
  STDMETHODIMP GetMachineName(LPOLESTR, int) override { return E_NOTIMPL; }
  STDMETHODIMP GetPropertySheetPages(HPROPSHEETPAGE**, UINT*) override { return E_NOTIMPL; }

  local_policy() { ::InterlockedIncrement(&objects); }
  ~local_policy() { ::InterlockedDecrement(&objects); }

 private:
  LONG refs_ = 1;
  bool opened_ = false;
};

class factory final : public IClassFactory {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IClassFactory)) {
      *out = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  // One static object: counting it would only keep the module loaded.
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    auto* policy = new (std::nothrow) local_policy();
    if (policy == nullptr) return E_OUTOFMEMORY;
    HRESULT hr = policy->QueryInterface(riid, out);
    policy->Release();
    return hr;
  }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

factory the_factory;

}  // namespace

extern "C" __declspec(dllexport) HRESULT __stdcall DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (!IsEqualGUID(clsid, kPolicyClass)) return CLASS_E_CLASSNOTAVAILABLE;
  return the_factory.QueryInterface(riid, out);
}

extern "C" __declspec(dllexport) HRESULT __stdcall DllCanUnloadNow() { return objects == 0 ? S_OK : S_FALSE; }
