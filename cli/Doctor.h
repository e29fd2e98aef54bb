#pragma once

#include <QString>
#include <QStringList>
#include <functional>

#include "cli/CliApp.h"

// qlarkw-cli doctor: what stands between this user and the Writer, and what
// to do about each, in plain words.
namespace cli {

struct Request;

// Where the doctor looks; tests lay out trees of their own.
struct DoctorRoots {
    QString sys = QStringLiteral("/sys");
    QString dev = QStringLiteral("/dev");
    QString proc = QStringLiteral("/proc");
    // The folders udev reads its rules from.
    QStringList udevRules = {QStringLiteral("/etc/udev/rules.d"),
                             QStringLiteral("/usr/lib/udev/rules.d"),
                             QStringLiteral("/lib/udev/rules.d")};
    // The library names tried for libftdi1 and for D2XX.
    QStringList ftdiLibrary = {QStringLiteral("libftdi1.so.2"), QStringLiteral("ftdi1")};
    QStringList d2xxLibrary = {QStringLiteral("libftd2xx.so"),
                               QStringLiteral("/usr/local/lib/libftd2xx.so")};
    // Opens and closes the Writer QLARKW_DEVICE names; an empty text when
    // it opened, else why not. Empty: the backends are asked.
    std::function<QString()> openWriter;
};

// Prints each finding ("ok" or "!!", then what to do) on stdout; with
// --json the findings as one JSON document. kSuccess when a Writer can be
// opened, else kLinkFailure.
int RunDoctor(const Request& request, Streams streams, const DoctorRoots& roots);

}  // namespace cli
