#pragma once

class DX7Sound;
class ErrorLog;
class MainWindow;

// The output devices, listed into Combo1.
namespace DeviceList {

// Appends every device's description to Combo1 in list order, hands the device list to the
// engine for set-up and selects entry 0. The first failing step ends it; the failure is
// logged under "GetDevices: " while logErrors > 0 and never passes to the caller.
void GetDevices(MainWindow& main, DX7Sound& sound, const ErrorLog& log);

} // namespace DeviceList
