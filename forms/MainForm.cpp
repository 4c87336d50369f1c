#include "forms/MainForm.h"

#include "forms/SettingsForm.h"

namespace vemkard {

MainForm::MainForm(IWindowPort& port, TForm1Toolkit toolkit)
    : port_(port),
      view_(toolkit.view),
      display_(toolkit.queueView, toolkit.displayTimer,
               [this] { return session_.Link.QueueLength(); }),
      timer1_(toolkit.timer1, clock_, [this] { session_.Link.Timer1Timer(); }),
      session_(port.Link(), display_, timer1_, sleeper_, toolkit.dialogs,
               [this] { return PortName(); }) {}

void MainForm::FormShow() {
    FormResize();
    try {
        session_.Link.ActivateComm();
        session_.Listing.RefreshDirectory();
    } catch (...) {
    }
}

void MainForm::FormResize() {
    const TRect grid = GridRect(kForm1Width);
    view_.PlaceGrid(grid);
    for (int i = 0; i < kGridColumns; ++i) {
        view_.SetColumnWidth(i, ColumnWidth(grid.width, i));
        session_.Grid.SetCell(0, i, std::string(kGridTitles[static_cast<std::size_t>(i)]));
    }
}

void MainForm::ToolClick(TToolId button) {
    switch (button) {
        case TToolId::ToolButton12:
        case TToolId::ToolButton13:
        case TToolId::ToolButton14:
            return ToolButton12Click(button);
        case TToolId::ToolButton1:
            return ToolButton1Click();
        case TToolId::ToolButton4:
            return ToolButton4Click();
        case TToolId::ToolButton10:
            return session_.Firmware.ToolButton10Click();
        case TToolId::ToolButton6:
            return session_.Removal.ToolButton6Click();
        case TToolId::ToolButton8:
            return session_.Upload.ToolButton8Click();
        default:
            return;  // a separator
    }
}

void MainForm::ToolButton12Click(TToolId sender) {
    // Another speed would cut a firmware run off halfway.
    if (!session_.Firmware.ConfirmAbandonRun()) return;
    for (const TDevice& device : kDevices) {
        if (device.button != sender || Down(sender)) continue;
        for (std::size_t i = 0; i < kDevices.size(); ++i) {
            const bool chosen = kDevices[i].button == sender;
            down_[i] = chosen;
            view_.SetDeviceButton(kDevices[i].button, chosen, !chosen);
        }
        port_.SetBaudRate(device.baudRate);
    }
    title_ = DeviceTitle(sender);
    view_.SetTitle(title_);
    // Re-open at the new speed; a failed open goes to the top-level handler.
    ISerialLink& link = port_.Link();
    if (link.PortOpen()) {
        link.ClosePort();
        link.OpenPort();
    }
}

void MainForm::ToolButton1Click() {
    // The dialog closes the port, which would cut a firmware run off.
    if (!session_.Firmware.ConfirmAbandonRun()) return;
    if (settings_ && view_.ShowSettings()) display_.SetStatus(kTextSettingsSaved);
}

void MainForm::ToolButton4Click() {
    session_.Listing.ToolButton4Click();
}

void MainForm::StringGrid1DblClick(int row) {
    session_.Grid.SetCurrentRow(row);
    session_.Removal.StringGrid1DblClick();
}

void MainForm::Comm321ReceiveData(const void* buffer, std::uint16_t length) {
    // What a chunk changes is shown once it is handled, paced.
    struct TReceiving {
        QueueDisplay& display;
        explicit TReceiving(QueueDisplay& d) : display(d) { display.BeginReceive(); }
        ~TReceiving() { display.EndReceive(); }
    } receiving(display_);
    session_.Link.Comm321ReceiveData(buffer, length);
}

bool MainForm::FormCloseQuery() {
    return session_.Firmware.ConfirmAbandonRun();
}

void MainForm::FormDestroy() {
    timer1_.Disable();
    if (port_.Link().PortOpen()) port_.Link().ClosePort();
}

bool MainForm::Down(TToolId button) const {
    for (std::size_t i = 0; i < kDevices.size(); ++i)
        if (kDevices[i].button == button) return down_[i];
    return false;
}

std::string MainForm::PortName() const {
    return settings_ ? settings_->PortName() : std::string();
}

}  // namespace vemkard
