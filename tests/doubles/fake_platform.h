#pragma once
// Every platform double, wired into the Platform the driver takes.

#include "doubles/fake_clock.h"
#include "doubles/fake_environment.h"
#include "doubles/fake_error_texts.h"
#include "doubles/fake_file_system.h"
#include "doubles/fake_shell.h"
#include "doubles/fake_single_instance.h"
#include "doubles/fake_win_http.h"
#include "platform/platform.h"

namespace quarnet {

struct FakePlatform {
    FakeEnvironment environment;
    FakeErrorTexts texts;
    FakeFileSystem files;
    FakeWinHttp http;
    FakeShell shell;
    FakeClock clock;
    FakeSingleInstance instance;
    Platform platform{environment, texts, files, http, shell, clock, instance};
};

}  // namespace quarnet
