#include "KVInstance.h"

#include <memory>

#include "Forms.h"
#include "Handles.h"
#include "Registry.h"

namespace kivo {

namespace {
THandleOwner InstanceSemaphore;
TWindowOwner InstanceWnd;

void CreateInstanceWindow(const std::wstring& name) {
  HINSTANCE instance = HInstance();
  WNDCLASSW existing{};
  const bool registered = ::GetClassInfoW(instance, name.c_str(), &existing) != FALSE;
  if (registered && existing.lpfnWndProc != &::DefWindowProcW) ::UnregisterClassW(name.c_str(), instance);
  if (!registered || existing.lpfnWndProc != &::DefWindowProcW) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &::DefWindowProcW;
    wc.hInstance = instance;
    wc.lpszClassName = name.c_str();
    ::RegisterClassW(&wc);
  }
  HWND wnd = ::CreateWindowExW(WS_EX_TOOLWINDOW, name.c_str(), L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance,
                               nullptr);
  if (!wnd) return;
  ::SetWindowLongPtrW(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&InstanceWindowProc));
  InstanceWnd.Reset(wnd);
}
}  // namespace

std::wstring InstanceName(const std::wstring& mainFormClassName) {
  return L"$" + (mainFormClassName.empty() ? std::wstring() : mainFormClassName.substr(1));
}

bool CheckSingleInstance(const std::wstring& mainFormClassName, bool activate) {
  const std::wstring name = InstanceName(mainFormClassName);
  SECURITY_DESCRIPTOR sd;
  ::InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
  ::SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE);  // null DACL: every user may open it
  SECURITY_ATTRIBUTES sa{sizeof(sa), &sd, TRUE};
  THandleOwner semaphore(::CreateSemaphoreW(&sa, 0, 0x7FFFFFFF, name.c_str()));
  const DWORD error = ::GetLastError();
  if (!semaphore || (error != 0 && error != ERROR_ALREADY_EXISTS)) {
    ::MessageBoxW(nullptr, SysErrorMessage(semaphore ? error : ::GetLastError()).c_str(), nullptr, MB_OK);
    return false;
  }
  if (error == 0) {
    InstanceSemaphore = std::move(semaphore);
    CreateInstanceWindow(name);
    return true;
  }
  if (activate) {
    if (HWND first = ::FindWindowW(name.c_str(), nullptr)) {
      ::SetForegroundWindow(first);
      ::SendMessageW(first, WM_RESTORE_INSTANCE, 0, 0);
    }
  }
  return false;
}

HWND InstanceWindow() { return InstanceWnd.Get(); }

void DoneSingleInstance() { InstanceWnd.Reset(); }

LRESULT CALLBACK InstanceWindowProc(HWND wnd, UINT msg, WPARAM w, LPARAM l) {
  if (msg == WM_RESTORE_INSTANCE && !Application()->Terminated()) {
    Application()->Restore();
    RestoreMainWindow();
  }
  return ::DefWindowProcW(wnd, msg, w, l);
}

void RestoreMainWindow() {
  TApplication* app = Application();
  app->BringToFront();
  if (TCustomForm* main = app->MainForm()) {
    ::ShowWindow(main->Handle(), SW_RESTORE);
    main->SetVisible(true);
    for (TComponent* c : main->ComponentList()) {
      auto* w = dynamic_cast<TWinControl*>(c);
      if (!w || !w->Visible() || !w->HandleAllocated()) continue;
      ::ShowWindow(w->HandleIfAllocated(), SW_SHOWDEFAULT);
      for (TComponent* inner : w->ComponentList()) {
        auto* iw = dynamic_cast<TWinControl*>(inner);
        if (iw && iw->Visible() && iw->HandleAllocated()) ::ShowWindow(iw->HandleIfAllocated(), SW_SHOWDEFAULT);
      }
    }
  }
  app->Restore();
}

bool SetRunValue(const std::wstring& valueName, const std::wstring& programPath, const std::wstring& parameters,
                 bool enable) {
  const std::wstring data = L"\"" + programPath + L"\" " + parameters;
  TObjectPtr<TRegistry> reg(new TRegistry());
  reg->SetRootKey(HKEY_LOCAL_MACHINE);
  if (!reg->OpenKey(std::wstring(L"\\") + kRunKey, false)) return !enable;
  if (enable) {
    if (reg->ValueExists(valueName) && reg->GetDataType(valueName) == TRegDataType::rdString &&
        SameText(reg->ReadString(valueName), data))
      return true;
    reg->WriteString(valueName, data);
    return false;
  }
  return reg->DeleteValue(valueName);
}

bool SetAutoRun(bool enable) {
  const std::wstring path = ParamStr(0);
  return SetRunValue(ChangeFileExt(ExtractFileName(path), L""), path, L"", enable);
}

}  // namespace kivo
