#include "usb-gadget/FfsDescriptors.h"

#include <linux/usb/ch9.h>
#include <linux/usb/functionfs.h>

namespace ffsdesc {
namespace {

void Put16(QByteArray& out, uint16_t value) {
    out.append(static_cast<char>(value & 0xFF));
    out.append(static_cast<char>(value >> 8));
}

void Put32(QByteArray& out, uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

void Endpoint(QByteArray& out, uint8_t address) {
    out.append(char(USB_DT_ENDPOINT_SIZE));
    out.append(char(USB_DT_ENDPOINT));
    out.append(static_cast<char>(address));
    out.append(char(USB_ENDPOINT_XFER_BULK));
    Put16(out, 64);
    out.append(char(0));
}

}  // namespace

QByteArray Descriptors() {
    QByteArray body;
    body.append(char(USB_DT_INTERFACE_SIZE));
    body.append(char(USB_DT_INTERFACE));
    body.append(char(0));  // interface 0
    body.append(char(0));  // alternate setting 0
    body.append(char(2));  // two endpoints
    body.append(char(USB_CLASS_VENDOR_SPEC));
    body.append(char(USB_SUBCLASS_VENDOR_SPEC));
    body.append(char(0xFF));  // vendor protocol
    body.append(char(1));     // its string: the product's
    Endpoint(body, USB_DIR_IN | 1);
    Endpoint(body, USB_DIR_OUT | 2);

    QByteArray out;
    Put32(out, FUNCTIONFS_DESCRIPTORS_MAGIC_V2);
    Put32(out, 0);  // the length, filled in below
    Put32(out, FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_ALL_CTRL_RECIP);
    Put32(out, 3);  // full-speed descriptors: the interface and two endpoints
    out += body;
    const uint32_t length = static_cast<uint32_t>(out.size());
    for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<char>((length >> (8 * i)) & 0xFF);
    return out;
}

QByteArray Strings() {
    QByteArray out;
    Put32(out, FUNCTIONFS_STRINGS_MAGIC);
    Put32(out, 0);
    Put32(out, 1);  // one string
    Put32(out, 1);  // in one language
    Put16(out, 0x0409);
    out.append(kProduct);
    out.append(char(0));
    const uint32_t length = static_cast<uint32_t>(out.size());
    for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<char>((length >> (8 * i)) & 0xFF);
    return out;
}

}  // namespace ffsdesc
