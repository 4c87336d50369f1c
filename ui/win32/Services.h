// The toolkit services the forms need, over Win32: a single-shot timer on a
// window, the modal dialogs, the registry as the settings store, and the
// serial component as the window's port. User-interface thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "Win32Ui.h"
#include "files/UserDialogs.h"
#include "forms/FormInterfaces.h"
#include "forms/WindowPort.h"
#include "link/Comm32SerialLink.h"
#include "serial/Comm32.h"

namespace vemkard::win32 {

// SetTimer on the owner window with its own id; the window hands WM_TIMER
// with that id to Fire.
class TTimer : public ITimer {
  public:
    explicit TTimer(UINT_PTR id) : id_(id) {}
    void SetWindow(HWND window) { window_ = window; }
    void Start(int milliseconds) override;
    void Stop() override;
    bool Active() const override { return active_; }
    void Fire();

  private:
    UINT_PTR id_;
    HWND window_ = nullptr;
    bool active_ = false;
};

class TUserDialogs : public IUserDialogs {
  public:
    void SetOwner(HWND owner) { owner_ = owner; }
    std::optional<std::string> OpenFile(std::string_view filter, int filterIndex,
                                        std::string_view defaultExtension) override;
    bool ConfirmWarning(std::string_view text) override;

  private:
    HWND owner_ = nullptr;
};

// HKEY_CURRENT_USER\Software\Tarvisk\Vemkard: strings REG_SZ, integers
// REG_DWORD.
class TRegistryStore : public ISettingsStore {
  public:
    std::optional<std::string> ReadString(std::string_view name) override;
    void WriteString(std::string_view name, std::string_view value) override;
    // A REG_DWORD, as a signed number.
    std::optional<int> ReadInteger(std::string_view name) override;
    void WriteInteger(std::string_view name, int value) override;
};

// `Comm321` with the main window's settings. The component's threads post
// to its own message-only window, which the thread's message loop
// dispatches: WM_COMM_DATA reaches the receive handler through GetMessage.
class TPort : public IWindowPort, public ICommMessageTarget {
  public:
    TPort();
    // Threads stopped before the target goes.
    ~TPort() override { comm_.ClosePort(); }

    // ICommMessageTarget: the Windows component posts to its own window,
    // so nothing arrives here.
    bool Post(TCommMessage) override { return false; }

    // IWindowPort
    void SetReceiveHandler(std::function<void(const void*, std::uint16_t)> handler) override;
    void ProbePort(const std::string& name) override;
    ISerialLink& Link() override { return link_; }
    std::uint32_t BaudRate() const override { return comm_.BaudRate(); }
    void SetBaudRate(std::uint32_t rate) override;

  private:
    TComm32 comm_;
    Comm32SerialLink link_{comm_};
};

}  // namespace vemkard::win32
