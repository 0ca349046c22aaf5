#pragma once
// Every platform service the logic reaches, lent together to the driver.
// The Windows build passes the real ones (platform/windows), tests pass doubles.

#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/error_texts.h"
#include "platform/file_system.h"
#include "platform/installer_signature.h"
#include "platform/list_trust.h"
#include "platform/shell.h"
#include "platform/single_instance.h"
#include "platform/win_http.h"

namespace quarnet {

struct Platform {
    Environment& environment;
    ErrorTexts& error_texts;
    FileSystem& files;
    WinHttp& http;
    Shell& shell;
    Clock& clock;
    SingleInstance& instance;
    InstallerPublisher publisher = {};  // no check unless the build names one
    ListTrust list_trust = {};          // the unsigned list unless the build pins keys
};

}  // namespace quarnet
