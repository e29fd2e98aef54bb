#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "backends/serial/TtyFinder.h"

// Finding the Writer's COM port on Windows by the description its USB device
// reports on the bus ("Q-LARK USB Programmer"): the FTDI driver names the port
// "USB Serial Port (COM5)" whatever the device, but keeps the USB product
// string as the port's bus-reported device description (Device Manager,
// Details). Every present device of the Ports class is asked through
// SetupAPI: its port name (the device key's "PortName"), its ids and that
// description, of the port itself or, where its driver reports none, of its
// parent, the USB device.
namespace comports {

// One COM port as SetupAPI lists it.
struct PortDevice {
    QString portName;         // "COM5"
    QString description;      // the bus-reported device description
    QString instanceId;       // "FTDIBUS\VID_0403+PID_6001+A50285BIA\0000"
    QStringList hardwareIds;  // "FTDIBUS\COMPORT&VID_0403&PID_6001", ...
};

// The Writers among `ports`: an FTDI device (vendor id 0403 in its ids) whose
// description is exactly `product`, in port number order (COM2 before
// COM10); the other ports as notes, the reason when there is no Writer.
ttyfinder::Listing Match(std::vector<PortDevice> ports, const QString& product);

// The USB serial number a device instance id holds: "A50285BI" of
// "FTDIBUS\VID_0403+PID_6001+A50285BIA\0000" (the FTDI driver adds the
// channel letter) and of "USB\VID_0403&PID_6001\A50285BI"; empty when the id
// holds none (Windows makes one up with '&' for a device without a number).
QString SerialNumberOf(const QString& instanceId);

#ifdef _WIN32
// Every present COM port; nothing with `error` set when SetupAPI cannot list
// the ports.
std::vector<PortDevice> PresentPorts(QString* error);

// The Writers among the present COM ports.
ttyfinder::Listing List(const QString& product);

// Whether the system has the port `name` ("COM5", "\\.\COM5"); for a path,
// whether the file is there.
bool PortExists(const QString& name);
#endif

}  // namespace comports
