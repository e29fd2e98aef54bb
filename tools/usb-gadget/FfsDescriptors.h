#pragma once

#include <QByteArray>

// What the gadget writes to FunctionFS's ep0 before it goes on the bus: the
// FT232R's one interface (vendor class, bulk IN 0x81 and bulk OUT 0x02 of
// 64 bytes, full speed) and its string. The descriptors ask for every
// control request addressed to the device: the FTDI vendor requests are
// (recipient device), and FunctionFS passes those on only when asked.
namespace ffsdesc {

inline constexpr char kProduct[] = "Q-LARK USB Programmer";

QByteArray Descriptors();
QByteArray Strings();

}  // namespace ffsdesc
